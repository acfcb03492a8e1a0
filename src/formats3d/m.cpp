// "Revolt" meshes (extension M): polygon and vertex counts, 60-byte polygon
// records, then 24-byte vertexs with normals. The type is read-only.
//
// Bit 0 of a polygon's type word marks a quad; without it the polygon is a
// triangle and its fourth index is filler (usually 0), which must not become
// a corner.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr size_t kHeaderSize = 4;
constexpr size_t kPolygonSize = 60;
constexpr size_t kVertexSize = 24;
constexpr uint16_t kQuadFlag = 1;

}  // namespace

int LoadM(ModelData& model, FILE* file) {
  LogMessage("Loading Revolt 3d model...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadM")) return 0;
  ByteReader reader(bytes);
  if (!reader.Fits(kHeaderSize)) {
    LogMessage("LoadM: the file is too short for its header\n", LOG_ERROR);
    return 0;
  }
  const uint32_t polygons = reader.U16Le();
  const uint32_t vertexs = reader.U16Le();
  LogFormatted(LOG_DETAIL, " polys: %lu, verts: %lu\n", static_cast<unsigned long>(polygons),
               static_cast<unsigned long>(vertexs));
  const uint64_t expected = kPolygonSize * polygons + kVertexSize * vertexs;
  if (!reader.Fits(expected)) {
    LogFormatted(LOG_ERROR, "LoadM: the file holds %zu bytes of records, the header announces %" PRIu64 "\n",
                 reader.Remaining(), expected);
    return 0;
  }

  for (uint32_t p = 0; p < polygons; ++p) {
    ByteReader record = reader.Chunk(kPolygonSize);
    const uint16_t type = record.U16Le();
    record.Skip(2);  // texture page
    uint32_t corners[4];
    for (uint32_t& corner : corners) corner = record.U16Le();
    model.StorePolygon(type & kQuadFlag ? 4 : 3, corners);
  }
  for (uint32_t v = 0; v < vertexs; ++v) {
    const double x = reader.F32Le(), y = reader.F32Le(), z = reader.F32Le();
    Vec3d normal;
    normal.x = reader.F32Le();
    normal.y = reader.F32Le();
    normal.z = reader.F32Le();
    const uint32_t before = model.vertexs_count;
    model.StoreVertex(x, y, z);
    if (model.vertexs_count == before) break;
    model.SetVertexNormal(v, normal);
  }
  LogMessage("... Revolt 3d model loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
