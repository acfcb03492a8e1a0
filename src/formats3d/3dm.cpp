// "Rhinoceros" (.3dm) files of archive version 2 and later: the mesh
// objects of the object table, and the render meshes other objects (surfaces,
// polysurfaces) keep cached inside their own data. Every object that brings a
// mesh becomes one model object; curves, points and surfaces without a cached
// mesh have no polygons to give and are passed over. The type is read-only.
//
// The whole file is read into memory and walked through its chunks; every
// chunk length, count and array size is checked against the bytes that hold
// it, and the CRC-32 of every chunk and array the meshes are read from must
// match, so a damaged file fails with its reason instead of loading garbage.
// Chunks this reader does not use are passed over by their lengths unchecked.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/3dm_archive.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

using rhino::Archive;
using rhino::Chunk;

// Interval pairs, surface scales and the vertex, normal and texture boxes
// between the counts and the closed flag of a mesh.
constexpr size_t kMeshBoxesSize = 8 * 8 + 2 * 8 + 6 * 4 + 6 * 4 + 4 * 4;
constexpr uint32_t kMeshMajorVersion = 3;
constexpr uint32_t kFirstArrayMinorVersion = 2;
constexpr size_t kFaceCorners = 4;
constexpr size_t kVertexSize = 12;

class MeshLoader {
 public:
  MeshLoader(ModelData& model, const Archive& archive) : model_(model), archive_(archive) {}

  int Walk(ByteReader& file);

  uint32_t Meshes() const { return meshes_; }
  uint32_t Objects() const { return objects_; }
  uint32_t SkippedMeshes() const { return skipped_meshes_; }
  uint64_t DroppedFaces() const { return dropped_faces_; }
  uint64_t BadNumbers() const { return bad_numbers_; }
  bool VertexsFull() const { return vertexs_full_; }

 private:
  int ObjectTable(ByteReader& table);
  int ObjectRecord(ByteReader& record);
  int ClassChunk(ByteReader& body, bool top_level);
  int RenderMeshes(const ByteReader& data);
  int Mesh(ByteReader data);
  void StartObject();

  ModelData& model_;
  const Archive& archive_;
  uint32_t meshes_ = 0;       // meshes stored
  uint32_t objects_ = 0;      // model objects made
  uint32_t record_ = 0;       // object records seen
  bool object_open_ = false;  // the current record already has a model object
  bool objects_full_ = false;
  bool vertexs_full_ = false;
  bool polygons_full_ = false;
  uint32_t skipped_meshes_ = 0;  // after the model's vertex limit
  uint64_t dropped_faces_ = 0;
  uint64_t bad_numbers_ = 0;
};

// The top level: tables one after another up to the end-of-file chunk.
int MeshLoader::Walk(ByteReader& file) {
  bool tables_seen = false;
  while (!file.AtEnd()) {
    Chunk chunk;
    if (!archive_.NextChunk(file, &chunk, "file")) return 0;
    if (chunk.typecode == rhino::kEndOfFile) return 1;
    if (chunk.typecode == rhino::kObjectTable) {
      tables_seen = true;
      LogFormatted(LOG_DETAIL, " object table at %zu\n", chunk.offset);
      if (!ObjectTable(chunk.body)) return 0;
    }
  }
  if (!tables_seen) {
    LogMessage("Load3dm: the file ends before its object table\n", LOG_ERROR);
    return 0;
  }
  // Files written by some programs stop without the end-of-file chunk.
  LogMessage("Load3dm: the file has no end-of-file chunk\n", LOG_DETAIL);
  return 1;
}

int MeshLoader::ObjectTable(ByteReader& table) {
  while (!table.AtEnd()) {
    Chunk chunk;
    if (!archive_.NextChunk(table, &chunk, "object table")) return 0;
    if (chunk.typecode == rhino::kEndOfTable) return 1;
    if (chunk.typecode != rhino::kObjectRecord) continue;
    ++record_;
    object_open_ = false;
    if (!ObjectRecord(chunk.body)) return 0;
  }
  LogMessage("Load3dm: the object table has no end mark\n", LOG_ERROR);
  return 0;
}

int MeshLoader::ObjectRecord(ByteReader& record) {
  while (!record.AtEnd()) {
    Chunk chunk;
    if (!archive_.NextChunk(record, &chunk, "object record")) return 0;
    if (chunk.typecode == rhino::kObjectRecordEnd) return 1;
    if (chunk.typecode == rhino::kObjectRecordType)
      LogFormatted(LOG_DETAIL, "  object %" PRIu32 ": type %" PRIu64 "\n", record_, chunk.value);
    if (chunk.typecode == rhino::kClass && !ClassChunk(chunk.body, true)) return 0;
  }
  return 1;
}

// A class chunk: the class's identifier, then its data. Mesh data is read;
// other classes are searched for the meshes they hold (only at the top of a
// record: a mesh holds no further meshes).
int MeshLoader::ClassChunk(ByteReader& body, bool top_level) {
  Chunk uuid;
  if (!archive_.NextChunk(body, &uuid, "class")) return 0;
  if (uuid.typecode != rhino::kClassUuid || uuid.body.Size() != 16) {
    LogFormatted(LOG_ERROR, "Load3dm: class chunk at %zu does not start with its identifier\n", uuid.offset);
    return 0;
  }
  if (!Archive::CrcMatches(uuid, "class identifier")) return 0;
  const bool mesh = std::memcmp(uuid.body.Data(), rhino::kMeshClassUuid, 16) == 0;
  Chunk data;
  if (!archive_.NextChunk(body, &data, "class")) return 0;
  if (data.typecode != rhino::kClassData) {
    LogFormatted(LOG_ERROR, "Load3dm: class chunk at %zu has no data chunk\n", uuid.offset);
    return 0;
  }
  if (mesh) return Mesh(data.body);
  return top_level ? RenderMeshes(data.body) : 1;
}

// Render meshes lie as whole class chunks inside the data of the object
// they belong to, at places only that class's layout tells; they are found
// by their class chunk head with the mesh identifier in it.
int MeshLoader::RenderMeshes(const ByteReader& data) {
  const size_t length_size = archive_.LengthSize();
  const size_t head = 4 + length_size;  // typecode and length
  const size_t probe = head + head + 16;  // class head, identifier head, identifier
  const uint8_t* bytes = data.Data();
  const size_t size = data.Size();
  size_t at = 0;
  while (at + probe <= size) {
    const uint8_t* p = bytes + at;
    const auto length_at = [&](const uint8_t* q) { return length_size == 8 ? LoadLe64(q) : LoadLe32(q); };
    if (LoadLe32(p) != rhino::kClass || LoadLe32(p + head) != rhino::kClassUuid || length_at(p + head + 4) != 20 ||
        std::memcmp(p + 2 * head, rhino::kMeshClassUuid, 16) != 0) {
      ++at;
      continue;
    }
    ByteReader rest(bytes + at, size - at);
    Chunk chunk;
    if (!archive_.NextChunk(rest, &chunk, "render mesh")) return 0;
    if (!ClassChunk(chunk.body, false)) return 0;
    at += rest.Position();
  }
  return 1;
}

void MeshLoader::StartObject() {
  if (object_open_ || objects_full_) return;
  object_open_ = true;
  if (!model_.NewObject()) {
    objects_full_ = true;  // the rest joins the last object
    return;
  }
  char name[ModelData::kNameLength + 1];
  std::snprintf(name, sizeof name, "object %" PRIu32, record_);
  model_.SetObjectName(name);
  ++objects_;
}

// Coordinates that are not finite numbers are read as 0.
double Finite(float value, uint64_t& bad) {
  if (std::isfinite(value)) return value;
  ++bad;
  return 0;
}

// Mesh data: a version byte (major, minor), the vertex and face counts, the
// domains and boxes, the closed flag, the optional parameter and curvature
// statistics chunks, the faces as four corners of 1, 2 or 4 bytes (a
// triangle repeats its third corner), then the arrays, vertexs first.
int MeshLoader::Mesh(ByteReader data) {
  const uint8_t version = data.U8();
  const uint32_t major = version >> 4, minor = version & 15;
  const int32_t vertexs = data.I32Le();
  const int32_t faces = data.I32Le();
  if (!data.Ok()) {
    LogMessage("Load3dm: mesh data cut before its counts\n", LOG_ERROR);
    return 0;
  }
  if (major != kMeshMajorVersion || minor < kFirstArrayMinorVersion) {
    LogFormatted(LOG_ERROR, "Load3dm: mesh layout %" PRIu32 ".%" PRIu32 " is not read\n", major, minor);
    return 0;
  }
  if (vertexs < 0 || faces < 0) {
    LogFormatted(LOG_ERROR, "Load3dm: mesh counts %" PRId32 " vertexs, %" PRId32 " faces are negative\n", vertexs,
                 faces);
    return 0;
  }
  LogFormatted(LOG_DETAIL, "   mesh %" PRIu32 ".%" PRIu32 ": %" PRId32 " vertexs, %" PRId32 " faces\n", major, minor,
               vertexs, faces);
  if (vertexs == 0 || faces == 0) return 1;  // nothing to show
  data.Skip(kMeshBoxesSize + 4);             // boxes, closed flag
  const uint8_t has_parameters = data.U8();
  if (has_parameters) {
    Chunk skipped;
    if (!archive_.NextChunk(data, &skipped, "mesh parameters")) return 0;
  }
  for (int k = 0; k < 4; ++k) {
    const uint8_t has_statistics = data.U8();
    if (!has_statistics) continue;
    Chunk skipped;
    if (!archive_.NextChunk(data, &skipped, "mesh statistics")) return 0;
  }
  const int32_t index_size = data.I32Le();
  if (!data.Ok()) {
    LogMessage("Load3dm: mesh data cut before its faces\n", LOG_ERROR);
    return 0;
  }
  if (index_size != 1 && index_size != 2 && index_size != 4) {
    LogFormatted(LOG_ERROR, "Load3dm: mesh face corners of %" PRId32 " bytes\n", index_size);
    return 0;
  }
  if (!data.Fits(uint64_t{static_cast<uint32_t>(faces)} * kFaceCorners, static_cast<uint64_t>(index_size))) {
    LogFormatted(LOG_ERROR, "Load3dm: %" PRId32 " faces run past the mesh data\n", faces);
    return 0;
  }
  ByteReader face_bytes = data.Chunk(uint64_t{static_cast<uint32_t>(faces)} * kFaceCorners * index_size);
  std::vector<uint8_t> positions;
  if (!archive_.ReadArray(data, uint64_t{static_cast<uint32_t>(vertexs)} * kVertexSize, positions, "mesh vertexs"))
    return 0;

  if (vertexs_full_) {
    ++skipped_meshes_;
    return 1;
  }
  StartObject();
  const uint32_t first = model_.vertexs_count;
  ByteReader position_reader(positions);
  for (int32_t v = 0; v < vertexs; ++v) {
    const double x = Finite(position_reader.F32Le(), bad_numbers_);
    const double y = Finite(position_reader.F32Le(), bad_numbers_);
    const double z = Finite(position_reader.F32Le(), bad_numbers_);
    const uint32_t before = model_.vertexs_count;
    model_.StoreVertex(x, y, z);
    if (model_.vertexs_count == before) {
      vertexs_full_ = true;
      break;
    }
  }
  const uint32_t stored = model_.vertexs_count - first;
  for (int32_t f = 0; f < faces; ++f) {
    uint32_t corners[kFaceCorners];
    for (uint32_t& c : corners)
      c = index_size == 1 ? face_bytes.U8() : index_size == 2 ? face_bytes.U16Le() : face_bytes.U32Le();
    const uint32_t count = corners[2] == corners[3] ? 3 : 4;
    bool inside = true;
    for (uint32_t k = 0; k < count; ++k) inside = inside && corners[k] < stored;
    if (!inside) {
      ++dropped_faces_;
      continue;
    }
    for (uint32_t k = 0; k < count; ++k) corners[k] += first;
    // Once the model takes no more polygons, the rest are only counted.
    if (polygons_full_ || !model_.StorePolygon(count, corners)) {
      polygons_full_ = true;
      ++dropped_faces_;
    }
  }
  ++meshes_;
  return 1;
}

}  // namespace

int Load3dm(ModelData& model, FILE* file) {
  LogMessage("Loading 3dm...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "Load3dm")) return 0;
  const int version = rhino::ArchiveVersion(bytes);
  if (version == 0) return 0;
  LogFormatted(LOG_DETAIL, " archive version %d\n", version);
  if (version < 2) {
    // Version 1 keeps its geometry in another layout, without tables.
    LogFormatted(LOG_ERROR, "Load3dm: archive version %d is not read (version 2 and later are)\n", version);
    return 0;
  }
  model.relative_writes = 0;
  model.SetModelOrientation(4, 3, 1);
  Archive archive(bytes, version);
  ByteReader reader(bytes);
  reader.Skip(rhino::kStartSize);
  MeshLoader loader(model, archive);
  if (!loader.Walk(reader)) return 0;
  if (loader.Meshes() == 0) {
    LogMessage("Load3dm: the file holds no meshes (no mesh objects, no render meshes stored with objects)\n",
               LOG_ERROR);
    return 0;
  }
  if (loader.VertexsFull())
    LogFormatted(LOG_ERROR, "Load3dm: the model's vertex limit cut the meshes short (%u more left out)\n",
                 static_cast<unsigned>(loader.SkippedMeshes()));
  if (loader.DroppedFaces() > 0)
    LogFormatted(LOG_ERROR, "Load3dm: %" PRIu64 " faces left out (corners past the vertexs, or model limits)\n",
                 loader.DroppedFaces());
  if (loader.BadNumbers() > 0)
    LogFormatted(LOG_ERROR, "Load3dm: %" PRIu64 " coordinates that are not finite read as 0\n", loader.BadNumbers());
  LogFormatted(LOG_MAJOR, ".Meshes read   : %u\n", static_cast<unsigned>(loader.Meshes()));
  LogFormatted(LOG_MAJOR, ".Polygons read : %i\n", static_cast<int>(model.polygons_count));
  LogFormatted(LOG_MAJOR, ".Vertexs read  : %i\n", static_cast<int>(model.vertexs_count));
  model.FinishObjects();
  LogMessage("...3dm loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
