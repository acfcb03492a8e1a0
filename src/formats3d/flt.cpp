// Open Flight databases: a stream of big-endian records, each a 16-bit
// opcode and a 16-bit length that counts its own 4 header bytes. Push and
// pop records open and close a level of the node tree; ancillary records
// (names, matrices, comments) follow the node they belong to; continuation
// records extend the record before them. Geometry is a vertex palette of
// vertex records named by their byte offset from the palette's start, faces
// whose vertex lists pick palette vertices, and meshes that carry their own
// vertex pool and strips, fans or polygons of it. External references name
// further databases, placed by the matrix that follows them.
//
// A file is first split into records, every length checked against the
// file, before anything is stored: a broken top file fails the load and a
// broken referenced file is skipped without leaving half its geometry. Each
// node's matrix is applied to everything below it; every object record
// opens a model object. The data are z up.
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/byte_reader.h"
#include "core/companion_files.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

enum Opcode : uint16_t {
  kHeader = 1,
  kObject = 4,
  kFace = 5,
  kPush = 10,
  kPop = 11,
  kPushSubface = 19,
  kPopSubface = 20,
  kPushExtension = 21,
  kPopExtension = 22,
  kContinuation = 23,
  kColorPalette = 32,
  kLongId = 33,
  kMatrix = 49,
  kInstanceReference = 61,
  kInstanceDefinition = 62,
  kExternalReference = 63,
  kTexturePalette = 64,
  kVertexPalette = 67,
  kVertexColor = 68,
  kVertexColorNormal = 69,
  kVertexColorNormalUv = 70,
  kVertexColorUv = 71,
  kVertexList = 72,
  kMesh = 84,
  kMorphVertexList = 89,
  kLocalVertexPool = 85,
  kMeshPrimitive = 86,
  kPushAttribute = 122,
  kPopAttribute = 123,
};

constexpr int kMaxReferenceDepth = 16;  // nested external references
constexpr int kMaxInstanceDepth = 16;   // instances placed inside instances
constexpr size_t kMaxLevels = 4096;     // push levels of one file
// References and instances may repeat whole subtrees, each repeat
// repeating others: the records walked and files read in all are bounded.
constexpr uint64_t kMaxRecordsWalked = 20000000;
constexpr uint32_t kMaxReferenceLoads = 10000;
constexpr uint32_t kMaxPolygonPoints = 65535;
constexpr uint32_t kNoVertex = UINT32_MAX;

// Records that describe the node before them instead of starting a node.
bool IsAncillary(uint16_t opcode) {
  switch (opcode) {
    case 31: case 33: case 49: case 50: case 52: case 53: case 60: case 74: case 76: case 78: case 79:
    case 80: case 81: case 82: case 94: case 105: case 106: case 107: case 108: case 109: case 116:
    case 119: case 132:
      return true;
    default:
      return false;
  }
}

// Nodes of the tree: anything that may own a matrix and children.
bool IsNode(uint16_t opcode) {
  switch (opcode) {
    case 2: case 4: case 5: case 14: case 55: case 61: case 63: case 73: case 84: case 87: case 91:
    case 95: case 96: case 98: case 101: case 111: case 127: case 130: case 131:
      return true;
    default:
      return false;
  }
}

// Row-vector transform: a point p becomes p × M, the translation in the last row.
using Matrix = std::array<double, 16>;
constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix product{};
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + column];
      product[row * 4 + column] = sum;
    }
  return product;
}

Vec3d TransformPoint(const Matrix& m, const Vec3d& p) {
  return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
          p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

Vec3d TransformDirection(const Matrix& m, const Vec3d& d) {
  Vec3d r{d.x * m[0] + d.y * m[4] + d.z * m[8], d.x * m[1] + d.y * m[5] + d.z * m[9],
          d.x * m[2] + d.y * m[6] + d.z * m[10]};
  const double length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
  if (length > 0 && std::isfinite(length)) r = {r.x / length, r.y / length, r.z / length};
  return r;
}

// One record with its continuations joined; `bytes` include the 4 header
// bytes, so field offsets are counted from the opcode.
struct Record {
  uint16_t opcode = 0;
  size_t offset = 0;  // in the file
  std::vector<uint8_t> bytes;
};

// Splits the file into records; 0 (logged) when a length is below the
// header or runs past the end of the file.
int SplitRecords(const std::vector<uint8_t>& data, const char* name, std::vector<Record>& records) {
  ByteReader file(data);
  while (!file.AtEnd()) {
    const size_t at = file.Position();
    const uint16_t opcode = file.U16Be();
    const uint16_t length = file.U16Be();
    if (!file.Ok()) {
      LogFormatted(LOG_ERROR, "LoadFlt: [%s] ends inside a record header at %zu\n", name, at);
      return 0;
    }
    if (length < 4 || !file.Fits(length - 4u)) {
      LogFormatted(LOG_ERROR, "LoadFlt: [%s] record %u at %zu has length %u, %s\n", name, opcode, at, length,
                   length < 4 ? "below its own header" : "past the end of the file");
      return 0;
    }
    const uint8_t* body = file.Take(length - 4u);
    if (opcode == kContinuation && !records.empty()) {
      records.back().bytes.insert(records.back().bytes.end(), body, body + (length - 4u));
      continue;
    }
    Record record;
    record.opcode = opcode;
    record.offset = at;
    record.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(at + length));
    records.push_back(std::move(record));
  }
  if (records.empty() || records.front().opcode != kHeader) {
    LogFormatted(LOG_ERROR, "LoadFlt: [%s] does not begin with a header record\n", name);
    return 0;
  }
  return 1;
}

struct PaletteVertex {
  Vec3d position{};
  bool has_normal = false;
  Vec3d normal{};
  bool has_uv = false;
  double u = 0, v = 0;
};

// What a face or mesh record says about the look of its polygons.
struct Look {
  int32_t texture_pattern = -1;
  uint8_t red = 255, green = 255, blue = 255;
  uint8_t transparency = 255;  // 255 opaque
};

struct Level {
  Matrix transform = kIdentity;
  uint64_t generation = 0;  // vertices are shared only under one transform
  bool has_look = false;    // the level holds the children of a face or mesh
  Look look;
  std::vector<PaletteVertex> pool;  // a mesh's local vertex pool
  uint64_t pool_serial = 0;
};

// The node whose ancillary records are being read.
struct Pending {
  uint16_t opcode = 0;
  size_t record = 0;
  bool has_matrix = false;
  Matrix matrix = kIdentity;
  Look look;
  char name[40] = {};
};

std::string Normalised(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && path[0] == '/') || (path.size() > 1 && path[1] == ':');
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class FltLoader {
 public:
  explicit FltLoader(ModelData& model) : model_(model) {}

  // Loads the top file; `path` names it for references and loops (empty
  // when unknown).
  int LoadTop(const std::vector<uint8_t>& data, const std::string& path) {
    std::vector<Record> records;
    const std::string name = path.empty() ? std::string("file") : path;
    if (!SplitRecords(data, name.c_str(), records)) return 0;
    if (!path.empty()) open_.insert(Canonical(path));
    if (!Walk(records, FolderOf(path), kIdentity, 0)) return 0;
    return 1;
  }

 private:
  // Per-file state: palettes and the record list.
  struct FileState {
    const std::vector<Record>* records = nullptr;
    std::string folder;  // ends in '/', or empty for the working folder
    int depth = 0;       // of external references
    int32_t version = 0;
    size_t palette_at = 0;
    bool have_palette = false;
    std::unordered_map<uint32_t, PaletteVertex> palette;  // by offset from the palette record
    std::array<uint32_t, 1024> colors{};
    bool have_colors = false;
    std::map<int32_t, std::string> texture_names;  // pattern index → name as written
    std::map<int32_t, int32_t> textures;           // pattern index → model texture
    std::map<int32_t, std::pair<size_t, size_t>> instances;  // definition → record range
    uint32_t bad_offsets = 0;
    int instance_depth = 0;
  };

  static std::string Canonical(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
  }

  std::string FindFile(const std::string& path) const {
    if (path.empty()) return {};
    if (model_.companions) return model_.companions->FindFile(path.c_str());
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
      std::fclose(file);
      return path;
    }
    return {};
  }

  // The path of a file named relative to `folder` (each folder of the name
  // looked up ignoring case), or the name's last component in `folder`;
  // empty when neither exists.
  std::string Resolve(const std::string& folder, const std::string& written) const {
    const std::string name = Normalised(written);
    if (name.empty()) return {};
    std::string path = IsAbsolute(name) ? std::string() : folder;
    std::string component;
    for (size_t i = 0; i <= name.size(); ++i) {
      if (i < name.size() && name[i] != '/') {
        component += name[i];
        continue;
      }
      if (i == name.size()) break;
      if (component.empty() && i == 0) {
        path = "/";
        continue;
      }
      if (component.empty() || component == ".") {
        component.clear();
        continue;
      }
      const std::string found = component == ".." ? std::string() : FindFile(path + component);
      path = (found.empty() ? path + component : found) + '/';
      component.clear();
    }
    std::string found = FindFile(path + component);
    if (found.empty()) found = FindFile(folder + LastComponent(name));
    return found;
  }

  int Walk(const std::vector<Record>& records, const std::string& folder, const Matrix& base, int depth) {
    FileState file;
    file.records = &records;
    file.folder = folder;
    file.depth = depth;
    const Record& header = records.front();
    if (header.bytes.size() >= 16) file.version = static_cast<int32_t>(LoadBe32(header.bytes.data() + 12));
    LogFormatted(LOG_DETAIL, " Open Flight revision %" PRId32 "\n", file.version);
    ReadPalettes(file);
    if (!WalkRange(file, 1, records.size(), base)) return 0;
    if (file.bad_offsets)
      LogFormatted(LOG_ERROR, "LoadFlt: %" PRIu32 " vertex offsets outside the vertex palette, points dropped\n",
                   file.bad_offsets);
    return 1;
  }

  // Palettes lie before the node tree but are read first so that nothing
  // depends on their order.
  void ReadPalettes(FileState& file) {
    for (const Record& record : *file.records) {
      ByteReader r(record.bytes);
      r.Skip(4);
      switch (record.opcode) {
        case kVertexPalette:
          if (!file.have_palette) {
            file.have_palette = true;
            file.palette_at = record.offset;
          }
          break;
        case kVertexColor: case kVertexColorNormal: case kVertexColorNormalUv: case kVertexColorUv:
          if (file.have_palette && record.offset > file.palette_at) ReadPaletteVertex(file, record);
          break;
        case kColorPalette:
          if (!file.have_colors && r.Skip(128) && r.Fits(1024, 4)) {
            for (uint32_t& color : file.colors) color = r.U32Be();
            file.have_colors = true;
          }
          break;
        case kTexturePalette: {
          char name[201];
          r.ReadFixedString(name, sizeof name, 200);
          const int32_t pattern = r.I32Be();
          if (r.Ok() && !file.texture_names.count(pattern)) file.texture_names[pattern] = name;
          break;
        }
        default:
          break;
      }
    }
  }

  static void ReadPaletteVertex(FileState& file, const Record& record) {
    ByteReader r(record.bytes);
    r.Skip(8);  // header, colour name index, flags
    PaletteVertex vertex;
    vertex.position.x = r.F64Be();
    vertex.position.y = r.F64Be();
    vertex.position.z = r.F64Be();
    if (record.opcode == kVertexColorNormal || record.opcode == kVertexColorNormalUv) {
      vertex.normal.x = r.F32Be();
      vertex.normal.y = r.F32Be();
      vertex.normal.z = r.F32Be();
      vertex.has_normal = true;
    }
    if (record.opcode == kVertexColorNormalUv || record.opcode == kVertexColorUv) {
      vertex.u = r.F32Be();
      vertex.v = r.F32Be();
      vertex.has_uv = true;
    }
    if (!r.Ok()) return;  // a short vertex record names no vertex
    const uint64_t offset = record.offset - file.palette_at;
    if (offset <= UINT32_MAX) file.palette[static_cast<uint32_t>(offset)] = vertex;
  }

  // The colour of a palette index: the upper bits pick the colour, the low
  // seven its intensity.
  void IndexedColor(const FileState& file, uint32_t index, Look& look) const {
    if (!file.have_colors) return;
    const uint32_t color = file.colors[(index >> 7) % 1024];
    const double intensity = (index & 127) / 127.0;
    look.red = static_cast<uint8_t>(std::lround((color & 0xFF) * intensity));
    look.green = static_cast<uint8_t>(std::lround(((color >> 8) & 0xFF) * intensity));
    look.blue = static_cast<uint8_t>(std::lround(((color >> 16) & 0xFF) * intensity));
  }

  // Faces and meshes share the layout of their look fields.
  Look ReadLook(const FileState& file, const Record& record) const {
    Look look;
    ByteReader r(record.bytes);
    r.Seek(20);
    const uint16_t color_name = r.U16Be();
    r.Seek(28);
    look.texture_pattern = r.I16Be();
    r.Seek(40);
    const uint16_t transparency = r.U16Be();
    r.Seek(44);
    const uint32_t flags = r.U32Be();
    r.Seek(56);
    const uint32_t packed = r.U32Be();
    r.Seek(68);
    const uint32_t color_index = r.U32Be();
    const bool long_record = record.bytes.size() >= 72;
    look.transparency = static_cast<uint8_t>(255 - transparency * 255 / 65535);
    if (flags & 0x10000000u) {  // packed colour: a, b, g, r
      look.red = static_cast<uint8_t>(packed);
      look.green = static_cast<uint8_t>(packed >> 8);
      look.blue = static_cast<uint8_t>(packed >> 16);
    } else if (!(flags & 0x40000000u)) {  // not "no colour"
      if (long_record && color_index != 0xFFFFFFFFu)
        IndexedColor(file, color_index, look);
      else if (color_name != 0xFFFF)
        IndexedColor(file, color_name, look);
    }
    return look;
  }

  int32_t TextureOf(FileState& file, int32_t pattern) {
    if (pattern < 0) return -1;
    const auto known = file.textures.find(pattern);
    if (known != file.textures.end()) return known->second;
    int32_t texture = -1;
    const auto named = file.texture_names.find(pattern);
    if (named == file.texture_names.end()) {
      LogFormatted(LOG_ERROR, "LoadFlt: texture pattern %" PRId32 " is not in the texture palette\n", pattern);
    } else {
      std::string path = Resolve(file.folder, named->second);
      if (path.empty()) {
        const std::string written = Normalised(named->second);
        path = IsAbsolute(written) ? written : file.folder + written;
      }
      texture = model_.LoadTexture(path.c_str());
    }
    file.textures[pattern] = texture;
    return texture;
  }

  int32_t MaterialOf(FileState& file, const Look& look) {
    const int32_t texture = TextureOf(file, look.texture_pattern);
    const uint64_t key = (uint64_t{static_cast<uint32_t>(texture)} << 32) | (uint64_t{look.red} << 24) |
                         (uint64_t{look.green} << 16) | (uint64_t{look.blue} << 8) | look.transparency;
    const auto known = materials_.find(key);
    if (known != materials_.end()) return known->second;
    int32_t material;
    if (texture < 0) {
      material = model_.MaterialOfColorAlpha(look.red, look.green, look.blue, look.transparency);
    } else {
      model_.ResetMaterial();
      model_.material.diffuse[0] = look.red;
      model_.material.diffuse[1] = look.green;
      model_.material.diffuse[2] = look.blue;
      model_.material.transparency = look.transparency;
      model_.material.texture = texture;
      model_.SetMaterialName(model_.Texture(static_cast<uint32_t>(texture)).base_name);
      material = model_.AddMaterial();
    }
    materials_[key] = material;
    return material;
  }

  // The model vertex (object-relative) of a file vertex seen under `level`.
  uint32_t StoreCached(uint64_t key, const Level& level, const PaletteVertex& vertex) {
    const auto known = vertex_cache_.find(key);
    if (known != vertex_cache_.end()) return known->second;
    const Vec3d p = TransformPoint(level.transform, vertex.position);
    const uint32_t before = model_.vertexs_count;
    const uint32_t index = model_.StoreVertex(p.x, p.y, p.z);
    if (model_.vertexs_count == before) return kNoVertex;  // the model is full
    if (vertex.has_normal) {
      model_.SetVertexNormal(index, TransformDirection(level.transform, vertex.normal));
      model_.vert_normals_present = 1;
    }
    if (vertex.has_uv) {
      model_.SetVertexTexcoord(index, vertex.u, 1.0 - vertex.v);
      model_.vert_texcoords_present = 1;
    }
    vertex_cache_[key] = index;
    return index;
  }

  void StorePolygon(FileState& file, const Level& level, const std::vector<uint32_t>& vertexes) {
    for (uint32_t v : vertexes)
      if (v == kNoVertex) return;
    if (vertexes.size() < 3 || vertexes.size() > kMaxPolygonPoints) {
      if (vertexes.size() > kMaxPolygonPoints)
        LogFormatted(LOG_ERROR, "LoadFlt: a polygon of %zu points is dropped\n", vertexes.size());
      return;
    }
    const uint32_t polygon = model_.polygons_count;
    if (!model_.StorePolygon(static_cast<uint32_t>(vertexes.size()), vertexes.data()) ||
        model_.polygons_count == polygon)
      return;
    model_.SetPolygonMaterial(polygon, MaterialOf(file, level.look));
    model_.poly_materials_present = 1;
  }

  // A morph vertex list pairs each corner's rest and fully morphed vertex;
  // the rest shape is kept.
  void VertexList(FileState& file, const Level& level, const Record& record) {
    if (!level.has_look) return;  // a vertex list outside a face draws nothing
    const size_t entry = record.opcode == kMorphVertexList ? 8 : 4;
    ByteReader r(record.bytes);
    r.Skip(4);
    std::vector<uint32_t> vertexes;
    while (r.Fits(entry)) {
      const uint32_t offset = r.U32Be();
      r.Skip(entry - 4);
      const auto found = file.palette.find(offset);
      if (found == file.palette.end()) {
        ++file.bad_offsets;
        continue;
      }
      vertexes.push_back(StoreCached((level.generation << 32) | offset, level, found->second));
    }
    StorePolygon(file, level, vertexes);
  }

  void LocalVertexPool(Level& level, const Record& record) {
    level.pool.clear();
    level.pool_serial = ++pool_serials_;
    ByteReader r(record.bytes);
    r.Skip(4);
    const uint32_t count = r.U32Be();
    const uint32_t mask = r.U32Be();
    uint32_t stride = 0;
    if (mask & 0x80000000u) stride += 24;
    if (mask & 0x40000000u) stride += 4;
    if (mask & 0x20000000u) stride += 4;
    if (mask & 0x10000000u) stride += 12;
    for (uint32_t bit = 0x08000000u; bit >= 0x00200000u; bit >>= 1)
      if (mask & bit) stride += 8;
    if (!r.Ok() || stride == 0 || !r.Fits(count, stride)) {
      LogFormatted(LOG_ERROR, "LoadFlt: local vertex pool of %" PRIu32 " vertexs does not fit its record\n",
                   count);
      return;
    }
    level.pool.resize(count);
    for (PaletteVertex& vertex : level.pool) {
      const size_t start = r.Position();
      if (mask & 0x80000000u) vertex.position = {r.F64Be(), r.F64Be(), r.F64Be()};
      if (mask & 0x40000000u) r.Skip(4);
      if (mask & 0x20000000u) r.Skip(4);
      if (mask & 0x10000000u) {
        vertex.normal.x = r.F32Be();
        vertex.normal.y = r.F32Be();
        vertex.normal.z = r.F32Be();
        vertex.has_normal = true;
      }
      if (mask & 0x08000000u) {
        vertex.u = r.F32Be();
        vertex.v = r.F32Be();
        vertex.has_uv = true;
      }
      r.Seek(start + stride);
    }
  }

  void MeshPrimitive(FileState& file, const Level& level, const Record& record) {
    if (!level.has_look) return;
    ByteReader r(record.bytes);
    r.Skip(4);
    const int16_t type = r.I16Be();
    const uint16_t index_size = r.U16Be();
    const uint32_t count = r.U32Be();
    if (!r.Ok() || (index_size != 1 && index_size != 2 && index_size != 4) || !r.Fits(count, index_size)) {
      LogMessage("LoadFlt: a mesh primitive does not fit its record\n", LOG_ERROR);
      return;
    }
    std::vector<uint32_t> vertexes;
    vertexes.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t index = index_size == 1 ? r.U8() : index_size == 2 ? r.U16Be() : r.U32Be();
      if (index >= level.pool.size()) {
        ++file.bad_offsets;
        return;  // strips lose their shape without every corner
      }
      vertexes.push_back(StoreCached((level.pool_serial << 32) | index, level, level.pool[index]));
    }
    switch (type) {
      case 1:  // triangle strip: every other triangle turned back
        for (size_t i = 2; i < vertexes.size(); ++i) {
          if (i % 2 == 0)
            StorePolygon(file, level, {vertexes[i - 2], vertexes[i - 1], vertexes[i]});
          else
            StorePolygon(file, level, {vertexes[i - 1], vertexes[i - 2], vertexes[i]});
        }
        break;
      case 2:  // triangle fan
        for (size_t i = 2; i < vertexes.size(); ++i) StorePolygon(file, level, {vertexes[0], vertexes[i - 1], vertexes[i]});
        break;
      case 3:  // quadrilateral strip
        for (size_t i = 3; i < vertexes.size(); i += 2)
          StorePolygon(file, level, {vertexes[i - 3], vertexes[i - 2], vertexes[i], vertexes[i - 1]});
        break;
      case 4:  // one polygon
        StorePolygon(file, level, vertexes);
        break;
      default:
        LogFormatted(LOG_ERROR, "LoadFlt: mesh primitive of unknown type %d\n", type);
        break;
    }
  }

  void OpenObject(const char* name) {
    model_.NewObject();
    if (name[0]) model_.SetObjectName(name);
    vertex_cache_.clear();
  }

  // Ends the node whose ancillary records were being read: a reference or
  // an instance is placed now that its matrix is known.
  int FinishNode(FileState& file, Pending& pending, const Level& level) {
    const Pending node = pending;
    pending = Pending{};
    const uint16_t opcode = node.opcode;
    if (opcode != kExternalReference && opcode != kInstanceReference) return 1;
    const Matrix placement = node.has_matrix ? Multiply(node.matrix, level.transform) : level.transform;
    const Record& record = (*file.records)[node.record];
    ByteReader r(record.bytes);
    r.Skip(4);
    if (opcode == kInstanceReference) {
      r.Skip(2);
      const int16_t number = r.I16Be();
      const auto found = file.instances.find(number);
      if (!r.Ok() || found == file.instances.end()) {
        LogFormatted(LOG_ERROR, "LoadFlt: instance %d is not defined, skipped\n", number);
        return 1;
      }
      if (file.instance_depth >= kMaxInstanceDepth) {
        LogFormatted(LOG_ERROR, "LoadFlt: instance %d nests too deep, skipped\n", number);
        return 1;
      }
      if (!WithinBudget()) {
        ExpansionStopped();
        return 1;
      }
      ++file.instance_depth;
      const int result = WalkRange(file, found->second.first, found->second.second, placement);
      --file.instance_depth;
      return result;
    }
    char written[201];
    r.ReadFixedString(written, sizeof written, 200);
    if (char* node = std::strchr(written, '<')) *node = '\0';  // a node within the file: the whole file is read
    LoadReference(file, written, placement);
    return 1;
  }

  void LoadReference(const FileState& file, const char* written, const Matrix& placement) {
    if (!written[0]) {
      LogMessage("LoadFlt: an external reference without a file name, skipped\n", LOG_ERROR);
      return;
    }
    if (file.depth + 1 > kMaxReferenceDepth) {
      LogFormatted(LOG_ERROR, "LoadFlt: external reference [%s] nests deeper than %d files, skipped\n", written,
                   kMaxReferenceDepth);
      return;
    }
    const std::string path = Resolve(file.folder, written);
    if (path.empty()) {
      LogFormatted(LOG_ERROR, "LoadFlt: external reference [%s] not found, skipped\n", written);
      return;
    }
    const std::string canonical = Canonical(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
      LogFormatted(LOG_ERROR, "LoadFlt: external reference [%s] is not a file, skipped\n", written);
      return;
    }
    if (!WithinBudget() || ++reference_loads_ > kMaxReferenceLoads) {
      ExpansionStopped();
      return;
    }
    if (open_.count(canonical)) {
      LogFormatted(LOG_ERROR, "LoadFlt: external reference [%s] refers back to a file being read, skipped\n",
                   written);
      return;
    }
    FILE* stream = std::fopen(path.c_str(), "rb");
    std::vector<uint8_t> data;
    const bool read = stream && ReadRestOfFile(stream, data, "LoadFlt");
    if (stream) std::fclose(stream);
    std::vector<Record> records;
    if (!read || !SplitRecords(data, path.c_str(), records)) {
      LogFormatted(LOG_ERROR, "LoadFlt: external reference [%s] cannot be read, skipped\n", written);
      return;
    }
    LogFormatted(LOG_DETAIL, " external reference [%s]\n", path.c_str());
    open_.insert(canonical);
    vertex_cache_.clear();
    Walk(records, FolderOf(path), placement, file.depth + 1);
    vertex_cache_.clear();
    open_.erase(canonical);
  }

  int WalkRange(FileState& file, size_t begin, size_t end, const Matrix& base) {
    const std::vector<Record>& records = *file.records;
    std::vector<Level> levels(1);
    levels[0].transform = base;
    levels[0].generation = ++generations_;
    Pending pending;
    int skipping = 0;  // inside extension or attribute brackets
    for (size_t i = begin; i < end; ++i) {
      const Record& record = records[i];
      const uint16_t opcode = record.opcode;
      ++records_walked_;
      if (opcode == kPushExtension || opcode == kPushAttribute) {
        ++skipping;
        continue;
      }
      if (opcode == kPopExtension || opcode == kPopAttribute) {
        if (skipping > 0) --skipping;
        continue;
      }
      if (skipping) continue;
      if (IsAncillary(opcode)) {
        if (pending.opcode && opcode == kMatrix && record.bytes.size() >= 68) {
          ByteReader r(record.bytes);
          r.Skip(4);
          for (double& value : pending.matrix) value = r.F32Be();
          pending.has_matrix = true;
        } else if (pending.opcode == kObject && opcode == kLongId) {
          ByteReader r(record.bytes);
          r.Skip(4);
          r.ReadFixedString(pending.name, sizeof pending.name, record.bytes.size() - 4);
          model_.SetObjectName(pending.name);
        }
        continue;
      }
      if (opcode == kPush || opcode == kPushSubface) {
        const Pending node = pending;
        if (!FinishNode(file, pending, levels.back())) return 0;
        if (levels.size() >= kMaxLevels) {
          LogFormatted(LOG_ERROR, "LoadFlt: more than %zu levels at record %zu\n", kMaxLevels, record.offset);
          return 0;
        }
        Level level;
        level.transform = levels.back().transform;
        level.generation = levels.back().generation;
        if (node.has_matrix) {
          level.transform = Multiply(node.matrix, level.transform);
          level.generation = ++generations_;
        }
        level.has_look = node.opcode == kFace || node.opcode == kMesh;
        level.look = node.look;
        levels.push_back(std::move(level));
        continue;
      }
      if (opcode == kPop || opcode == kPopSubface) {
        if (!FinishNode(file, pending, levels.back())) return 0;
        if (levels.size() > 1) levels.pop_back();
        continue;
      }
      if (opcode == kVertexList || opcode == kMorphVertexList) {
        VertexList(file, levels.back(), record);
        continue;
      }
      if (opcode == kLocalVertexPool) {
        LocalVertexPool(levels.back(), record);
        continue;
      }
      if (opcode == kMeshPrimitive) {
        MeshPrimitive(file, levels.back(), record);
        continue;
      }
      if (opcode == kInstanceDefinition) {
        if (!FinishNode(file, pending, levels.back())) return 0;
        i = SkipDefinition(file, i, end);
        continue;
      }
      if (!IsNode(opcode)) continue;  // palettes and records not drawn
      if (!FinishNode(file, pending, levels.back())) return 0;
      pending = Pending{};
      pending.opcode = opcode;
      pending.record = i;
      if (opcode == kFace || opcode == kMesh) pending.look = ReadLook(file, record);
      if (opcode == kObject) {
        ByteReader r(record.bytes);
        r.Skip(4);
        r.ReadFixedString(pending.name, sizeof pending.name, 8);
        OpenObject(pending.name);
      }
    }
    return FinishNode(file, pending, levels.back());
  }

  // Notes where an instance definition's subtree lies and passes it; the
  // index of its last record.
  size_t SkipDefinition(FileState& file, size_t at, size_t end) {
    const std::vector<Record>& records = *file.records;
    ByteReader r(records[at].bytes);
    r.Skip(6);
    const int16_t number = r.I16Be();
    size_t i = at + 1;
    if (i >= end || records[i].opcode != kPush) return at;
    int depth = 0;
    for (; i < end; ++i) {
      if (records[i].opcode == kPush) ++depth;
      if (records[i].opcode == kPop && --depth == 0) break;
    }
    if (i >= end) i = end - 1;
    if (r.Ok() && !file.instances.count(number)) file.instances[number] = {at + 1, i + 1};
    return i;
  }

  bool WithinBudget() const { return records_walked_ < kMaxRecordsWalked; }
  void ExpansionStopped() {
    if (!expansion_stopped_)
      LogMessage("LoadFlt: references and instances repeat too much, the rest of them is skipped\n", LOG_ERROR);
    expansion_stopped_ = true;
  }

  ModelData& model_;
  uint64_t records_walked_ = 0;
  uint32_t reference_loads_ = 0;
  bool expansion_stopped_ = false;
  std::set<std::string> open_;  // files being read, against reference loops
  std::unordered_map<uint64_t, uint32_t> vertex_cache_;
  std::unordered_map<uint64_t, int32_t> materials_;
  uint64_t generations_ = 0;
  uint64_t pool_serials_ = 0;
};

std::string PathOfLoadedFile(const ModelData& model) {
  const ConversionSettings& s = model.settings;
  const std::string folder(s.file_folder, strnlen(s.file_folder, sizeof s.file_folder));
  const std::string name(s.file_name, strnlen(s.file_name, sizeof s.file_name));
  const std::string extension(s.file_extension, strnlen(s.file_extension, sizeof s.file_extension));
  if (name.empty()) return {};
  return Normalised(folder + name + (extension.empty() ? "" : "." + extension));
}

}  // namespace

int LoadFlt(ModelData& model, FILE* file) {
  LogMessage("Loading Open Flight ...\n", LOG_MAJOR);
  // The loader keeps absolute indexes: its vertex cache outlives no object.
  model.relative_writes = 0;
  model.SetModelOrientation(4, 3, 1);
  std::vector<uint8_t> data;
  int result = ReadRestOfFile(file, data, "LoadFlt");
  if (result) {
    FltLoader loader(model);
    result = loader.LoadTop(data, PathOfLoadedFile(model));
  }
  model.relative_writes = 1;
  if (!result) return 0;
  model.FinishObjects();
  if (model.polygons_count == 0) {
    LogMessage("LoadFlt: no faces in the file or its references (only a node hierarchy)\n", LOG_ERROR);
    return 0;
  }
  LogMessage("... Open Flight loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
