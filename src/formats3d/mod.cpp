// "Viper racing model" files: a 60-byte header, the vertexs (position,
// normal, texture coordinate), one record per texture naming its file and
// the vertex and triangle ranges it covers, then the triangles. Each texture
// record becomes an object with its own material; the saver writes one
// record per textured object.
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

constexpr size_t kHeaderSize = 60;
constexpr size_t kVertexSize = 32;
constexpr size_t kTextureRecordSize = 32;
constexpr size_t kTriangleSize = 8;
constexpr size_t kRecordNameSize = 24;
constexpr size_t kNameLookedAt = 15;  // characters of a record's name that count
constexpr uint32_t kMaxIndex = 0xFFFF;  // ranges and vertex indexes are 16-bit
// Records beyond the object limit cannot become objects; each one costs a
// texture search, so a hostile count is cut here.
constexpr uint32_t kMaxRecordsRead = ModelData::kMaxObjects;

constexpr uint8_t kMagic[20] = {'0', 'S', 'E', 'R', 'F', 'N', 'I', 'M', 0x01, 0, 0, 0, 0, 0, 0, 0, '!', 'I', 'G', 'M'};

struct TextureEntry {
  char name[kRecordNameSize + 1];
  uint16_t first_vertex, end_vertex, first_triangle, end_triangle;
};

TextureEntry ReadTextureEntry(ByteReader& reader) {
  TextureEntry entry{};
  reader.ReadFixedString(entry.name, sizeof entry.name, kRecordNameSize);
  entry.first_vertex = reader.U16Le();
  entry.end_vertex = reader.U16Le();
  entry.first_triangle = reader.U16Le();
  entry.end_triangle = reader.U16Le();
  return entry;
}

// The record's name as a file stem: its first 15 characters, cut at the last
// dot among them.
void RecordStem(const char* name, char* stem, size_t capacity) {
  size_t length = strnlen(name, kNameLookedAt);
  for (size_t i = length; i-- > 0;) {
    if (name[i] == '.') {
      length = i;
      break;
    }
  }
  std::snprintf(stem, capacity, "%.*s", static_cast<int>(length), name);
}

uint32_t Clip(uint32_t value, uint32_t limit) { return value < limit ? value : limit; }

void ApplyTextureRecord(ModelData& model, const TextureEntry& entry, uint32_t k) {
  char stem[kNameLookedAt + 1];
  RecordStem(entry.name, stem, sizeof stem);
  char path[sizeof model.settings.file_folder + sizeof stem + 8];
  std::snprintf(path, sizeof path, "%.*s%s.tga",
                static_cast<int>(strnlen(model.settings.file_folder, sizeof model.settings.file_folder)),
                model.settings.file_folder, stem);
  model.ResetMaterial();
  model.material.texture = model.LoadTexture(path);
  model.SetMaterialName(stem);
  const int32_t material = model.AddMaterial();

  // Ranges past the model's ends are cut to them.
  const uint32_t first_triangle = Clip(entry.first_triangle, model.polygons_count);
  const uint32_t end_triangle = Clip(entry.end_triangle, model.polygons_count);
  const uint32_t first_vertex = Clip(entry.first_vertex, model.vertexs_count);
  const uint32_t end_vertex = Clip(entry.end_vertex, model.vertexs_count);
  if (end_triangle < entry.end_triangle || end_vertex < entry.end_vertex)
    LogFormatted(LOG_ERROR, "LoadMod: texture record %" PRIu32 " covers more than the model has, cut\n", k);
  for (uint32_t p = first_triangle; p < end_triangle; ++p) model.SetPolygonMaterial(p, material);
  char object_name[64];
  std::snprintf(object_name, sizeof object_name, "%i_%s", static_cast<int>(k), stem);
  model.AddObjectByRanges(first_vertex, end_vertex, first_triangle, end_triangle, 0, 0, 3 * first_triangle,
                          3 * end_triangle, object_name);
}

// A value for a 32-bit float field: never-set and out-of-range values
// become 0 and the largest float.
float ToFloat(double value) {
  if (value == kUnsetValue || std::isnan(value)) return 0.0f;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

}  // namespace

int LoadMod(ModelData& model, FILE* file) {
  LogMessage("Loading Viper Racing mod...\n", LOG_MAJOR);
  model.FinishObjects();
  model.SetModelOrientation(2, 4, 1);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMod")) return 0;
  ByteReader reader(bytes);
  if (!reader.Fits(kHeaderSize)) {
    LogMessage(" file is too small, probably corrupted, quitting\n", LOG_ERROR);
    return 0;
  }
  reader.Seek(20);
  const uint32_t vertexs = reader.U32Le();
  reader.Seek(28);
  const uint32_t records = reader.U32Le();
  reader.Seek(36);
  const uint32_t triangles = reader.U32Le();
  LogFormatted(LOG_DETAIL, " Header - verts: %lu, polys %lu, texs: %lu\n", static_cast<unsigned long>(vertexs),
               static_cast<unsigned long>(triangles), static_cast<unsigned long>(records));
  const uint64_t expected = kHeaderSize + kVertexSize * uint64_t{vertexs} + kTextureRecordSize * uint64_t{records} +
                            kTriangleSize * uint64_t{triangles};
  if (bytes.size() < expected) {
    LogMessage(" file is too small, probably corrupted, quitting\n", LOG_ERROR);
    return 0;
  }
  if (bytes.size() > expected) LogMessage(" file is too big\n", LOG_ERROR);
  reader.Seek(kHeaderSize);

  LogMessage(" reading vertexs\n", LOG_DETAIL);
  for (uint32_t i = 0; i < vertexs; ++i) {
    const double x = reader.F32Le(), y = reader.F32Le(), z = reader.F32Le();
    Vec3d normal;
    normal.x = reader.F32Le();
    normal.y = reader.F32Le();
    normal.z = reader.F32Le();
    const double u = reader.F32Le(), v = reader.F32Le();
    const uint32_t before = model.vertexs_count;
    model.StoreVertex(x, y, z);
    if (model.vertexs_count == before) {
      LogFormatted(LOG_ERROR, "LoadMod: only %" PRIu32 " of %" PRIu32 " vertexs kept\n", before, vertexs);
      break;
    }
    model.SetVertexNormal(i, normal);
    model.SetVertexTexcoord(i, u, v);
  }

  LogMessage(" skipping textures\n", LOG_DETAIL);
  const size_t records_at = kHeaderSize + kVertexSize * size_t{vertexs};
  reader.Seek(records_at + kTextureRecordSize * size_t{records});

  LogMessage(" reading polygons\n", LOG_DETAIL);
  for (uint32_t t = 0; t < triangles; ++t) {
    uint32_t corners[3];
    for (uint32_t& corner : corners) corner = reader.U16Le();
    reader.Skip(2);
    if (!model.StorePolygon(3, corners)) {
      LogFormatted(LOG_ERROR, "LoadMod: only %" PRIu32 " of %" PRIu32 " triangles kept\n", t, triangles);
      break;
    }
  }

  LogMessage(" reading textures and setting materials\n", LOG_DETAIL);
  reader.Seek(records_at);
  if (records > kMaxRecordsRead)
    LogFormatted(LOG_ERROR, "LoadMod: %" PRIu32 " texture records, only the first %" PRIu32 " are used\n", records,
                 kMaxRecordsRead);
  for (uint32_t k = 0; k < records && k < kMaxRecordsRead; ++k)
    ApplyTextureRecord(model, ReadTextureEntry(reader), k);

  model.vert_normals_present = 1;
  model.poly_materials_present = 1;
  model.vert_texcoords_present = 1;
  model.FinishObjects();
  LogMessage("... Viper Racing mod loaded\n", LOG_MAJOR);
  return 1;
}

int SaveMod(ModelData& model, FILE* file) {
  LogMessage("Saving Viper Racing mod...\n", LOG_MAJOR);
  // Normals and texture coordinates are asked for as well: the format has
  // room for both, and values never set would otherwise be written.
  model.ConvertProperties(ModelData::need_polygon_materials | ModelData::need_vertex_materials |
                          ModelData::need_triangles | ModelData::need_objects_by_materials |
                          ModelData::need_vertexs_by_objects | ModelData::need_vertex_normals |
                          ModelData::need_vertex_texcoords);
  if (!model.ConvertModelOrientation(2, 4, 1)) return 0;
  model.relative_reads = 0;
  // Ranges and vertex indexes are 16-bit: a bigger model cannot be written
  // without wrapping them.
  if (model.vertexs_count > kMaxIndex || model.polygons_count > kMaxIndex) {
    LogFormatted(LOG_ERROR,
                 "SaveMod: %" PRIu32 " vertexs and %" PRIu32
                 " polygons, the format holds at most 65535 of each; nothing written\n",
                 model.vertexs_count, model.polygons_count);
    return 0;
  }

  // Texture records first (the header counts them): one per object whose
  // material has a texture, covering the object's own ranges.
  std::vector<uint8_t> records;
  uint32_t record_count = 0;
  for (uint32_t k = 0; k < model.objects_count; ++k) {
    ObjectRecord object;
    if (!model.GetObjectInfo(k, &object) || object.polygon_count == 0) continue;
    model.GetMaterial(static_cast<uint32_t>(model.GetPolygonMaterial(object.first_polygon)));
    if (model.material.texture < 0 || static_cast<uint32_t>(model.material.texture) >= model.textures_count) continue;
    uint8_t record[kTextureRecordSize] = {};
    char name[kRecordNameSize];
    std::snprintf(name, sizeof name, "%.11s.tex",
                  model.Texture(static_cast<uint32_t>(model.material.texture)).base_name);
    std::memcpy(record, name, std::strlen(name));
    StoreLe16(record + 24, object.first_vertex);
    StoreLe16(record + 26, object.first_vertex + object.vertex_count);
    StoreLe16(record + 28, object.first_polygon);
    StoreLe16(record + 30, object.first_polygon + object.polygon_count);
    records.insert(records.end(), record, record + sizeof record);
    ++record_count;
  }

  LogMessage(" writing header\n", LOG_DETAIL);
  uint8_t header[kHeaderSize] = {};
  std::memcpy(header, kMagic, sizeof kMagic);
  StoreLe32(header + 20, model.vertexs_count);
  StoreLe32(header + 28, record_count);
  StoreLe32(header + 36, model.polygons_count);
  ByteWriter out;
  out.Bytes(header, sizeof header);

  LogMessage(" writing verts\n", LOG_DETAIL);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    VertexProperties vertex{};
    model.GetVertexAllProperties(v, &vertex);
    for (double value : {vertex.x, vertex.y, vertex.z, vertex.normal.x, vertex.normal.y, vertex.normal.z,
                         vertex.texcoord.u, vertex.texcoord.v})
      out.F32(ToFloat(value));
  }

  LogMessage(" writing texture infos\n", LOG_DETAIL);
  out.Bytes(records.data(), records.size());

  LogMessage(" writing polys\n", LOG_DETAIL);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t count = 0, corners[3] = {0, 0, 0};
    model.ReadPolygon(p, &count, corners, 3);
    for (uint32_t corner : corners) out.U16(corner);
    out.U16(0);
  }
  if (std::fwrite(out.Data().data(), 1, out.Size(), file) != out.Size()) {
    LogMessage("SaveMod: could not write the file\n", LOG_ERROR);
    return 0;
  }

  model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  LogMessage("... Viper Racing mod saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
