// 3D Studio binary models: a tree of chunks, each a 16-bit identifier and a
// 32-bit length counting its 6 header bytes, its data and its sub-chunks.
// Objects hold vertices, triangles, per-vertex mapping coordinates and
// per-face material lists; materials hold colours and a texture name.
//
// The whole file is read into memory and walked through bounded readers: a
// chunk never reads past its parent or the file, whatever its length says,
// and a length below the header size ends the walk instead of looping.
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
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

constexpr uint32_t kChunkHeader = 6;
constexpr int kMaxLevels = 49;
constexpr size_t kMaxNameBytes = 501;  // names of at most 500 bytes are kept whole

// Containers whose sub-chunks follow their header directly.
bool IsPlainContainer(uint16_t id) {
  switch (id) {
    case 0x4D4D: case 0x3D3D: case 0x3DAA: case 0x4100: case 0xA010: case 0xA020: case 0xA030:
    case 0xA040: case 0xA041: case 0xA050: case 0xA200: case 0xB000: case 0xB002: case 0xC23D:
      return true;
    default:
      return false;
  }
}

uint8_t ColourByte(double value) {
  if (!(value > 0.0)) return 0;  // NaN too
  return static_cast<uint8_t>(std::min(value, 255.0));
}

class ChunkLoader {
 public:
  explicit ChunkLoader(ModelData& model) : model_(model) {}

  void Walk(ByteReader& reader) {
    while (!stop_ && reader.Remaining() > 0) {
      if (!reader.Fits(kChunkHeader)) {
        cut_ = true;
        break;
      }
      const uint16_t id = reader.U16Le();
      const uint32_t length = reader.U32Le();
      LogFormatted(LOG_DETAIL, "%.*s%04X - %10lu\n", static_cast<int>(levels_.size()), kIndent, id,
                   static_cast<unsigned long>(length));
      if (length < kChunkHeader) {
        LogFormatted(LOG_ERROR, "Load3ds: chunk %04X has the impossible length %lu\n", id,
                     static_cast<unsigned long>(length));
        cut_ = true;
        stop_ = true;
        break;
      }
      ByteReader body = reader.Chunk(length - kChunkHeader);
      if (body.Clipped()) cut_ = true;
      Handle(id, length, body);
    }
  }

  bool Cut() const { return cut_ || stop_; }
  uint64_t BadNumbers() const { return bad_numbers_; }

 private:
  static constexpr char kIndent[] = "                                                  ";

  void Handle(uint16_t id, uint32_t length, ByteReader& body) {
    if (IsPlainContainer(id)) {
      Level(id, body);
      return;
    }
    switch (id) {
      case 0x0002:
        LogFormatted(LOG_DETAIL, "%sVersion: %lu\n", Indent(), static_cast<unsigned long>(body.U32Le()));
        break;
      case 0x3D3E:
        LogFormatted(LOG_DETAIL, "%sMesh version: %lu\n", Indent(), static_cast<unsigned long>(body.U32Le()));
        break;
      case 0x0100:
        LogFormatted(LOG_DETAIL, "%sscale: %f\n", Indent(), static_cast<double>(body.F32Le()));
        break;
      case 0x0010:
      case 0x0013: {
        uint8_t rgb[3];
        for (uint8_t& c : rgb) c = ColourByte(static_cast<double>(body.F32Le()) * 255.0);
        if (body.Ok()) StoreColour(rgb);
        break;
      }
      case 0x0011:
      case 0x0012: {
        uint8_t rgb[3];
        if (body.ReadBytes(rgb, 3)) StoreColour(rgb);
        break;
      }
      case 0x0030:
        Percentage(body);
        break;
      case 0x2100:
        model_.ResetLight();
        model_.light.kind = 0;
        Level(id, body);
        break;
      case 0x4000:
        NamedObject(body);
        break;
      case 0x4110:
        Vertexs(length, body);
        break;
      case 0x4120:
        Faces(body);
        break;
      case 0x4130:
        FaceMaterials(length, body);
        break;
      case 0x4140:
        Mapping(body);
        break;
      case 0x4600:
        model_.ResetLight();
        model_.light.kind = 2;
        for (double& c : model_.light.first) c = Finite(body.F32Le());
        Level(id, body);
        break;
      case 0x4610:
        model_.light.kind = 1;
        for (double& c : model_.light.second) c = Finite(body.F32Le());
        body.Skip(8);
        break;
      case 0x4700: {
        float camera[8];
        for (float& c : camera) c = body.F32Le();
        LogFormatted(LOG_DETAIL, "%scamera at %f %f %f\n", Indent(), static_cast<double>(camera[0]),
                     static_cast<double>(camera[1]), static_cast<double>(camera[2]));
        Level(id, body);
        break;
      }
      case 0xA000: {
        char name[40];
        if (body.ReadZString(name, sizeof name)) model_.SetMaterialName(name);
        break;
      }
      case 0xA300:
        TextureName(body);
        break;
      case 0xAFFF:
        model_.ResetMaterial();
        Level(id, body);
        break;
      default:
        // Anything else (and what was read of a known chunk) is passed whole:
        // the bounded body reader already stands for the chunk's bytes.
        break;
    }
  }

  const char* Indent() const { return kIndent + (sizeof kIndent - 1 - std::min<size_t>(levels_.size(), 49)); }

  void Level(uint16_t id, ByteReader& body) {
    if (levels_.size() >= static_cast<size_t>(kMaxLevels)) {
      LogMessage("Extend Maxlevels !\n", LOG_ERROR);
      cut_ = true;
      return;
    }
    levels_.push_back(id);
    Walk(body);
    levels_.pop_back();
    if (id == 0x2100) model_.AddLight();
    if (id == 0xAFFF) {
      model_.AddMaterial();
      LogFormatted(LOG_DETAIL, " Added material, name: %s\n", model_.material.name);
    }
  }

  bool Inside(uint16_t id) const { return std::find(levels_.begin(), levels_.end(), id) != levels_.end(); }

  // The innermost open level among those that take a colour.
  void StoreColour(const uint8_t rgb[3]) {
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
      uint8_t* target = nullptr;
      switch (*level) {
        case 0x2100: target = model_.light.first_colour; break;
        case 0xA010: target = model_.material.ambient; break;
        case 0xA020: target = model_.material.diffuse; break;
        case 0xA030: target = model_.material.specular; break;
        default: continue;
      }
      std::memcpy(target, rgb, 3);
      return;
    }
  }

  void Percentage(ByteReader& body) {
    const uint16_t raw = body.U16Le();
    if (!body.Ok() || levels_.empty()) return;
    const double f = raw * 0.01;
    const uint16_t parent = levels_.back();
    if (parent == 0xA041) model_.material.shininess = ColourByte(f * 255.0);
    if (parent == 0xA050) model_.material.transparency = static_cast<uint8_t>(255 - ColourByte(f * 255.0));
  }

  double Finite(float value) {
    if (std::isfinite(value)) return value;
    ++bad_numbers_;
    return 0.0;
  }

  void NamedObject(ByteReader& body) {
    char name[kMaxNameBytes];
    if (!body.ReadZString(name, sizeof name)) name[0] = '\0';
    LogFormatted(LOG_DETAIL, "%sObject name: %s\n", Indent(), name);
    model_.NewObject();
    model_.SetObjectName(name);
    object_first_vertex_ = model_.vertexs_count;
    object_first_polygon_ = model_.polygons_count;
    Level(0x4000, body);
  }

  void Vertexs(uint32_t length, ByteReader& body) {
    const uint16_t count = body.U16Le();
    if (uint64_t{12} * count + 8 != length)
      LogFormatted(LOG_ERROR, "Vertex: Data size: %u, should be: %u\n", length, 12u * count + 8u);
    uint32_t read = 0;
    for (; read < count && body.Fits(12); ++read) {
      const double x = Finite(body.F32Le()), y = Finite(body.F32Le()), z = Finite(body.F32Le());
      model_.StoreVertex(x, y, z);
    }
    LogFormatted(LOG_DETAIL, "%sRead %i vertexs\n", Indent(), static_cast<int>(read));
  }

  void Faces(ByteReader& body) {
    const uint16_t count = body.U16Le();
    uint32_t read = 0;
    for (; read < count && body.Fits(8); ++read) {
      uint32_t corners[3];
      for (uint32_t& c : corners) c = body.U16Le();
      body.U16Le();  // edge flags
      model_.StorePolygon(3, corners);
    }
    if (read < count) cut_ = true;
    LogFormatted(LOG_DETAIL, "%sRead %i polygons\n", Indent(), static_cast<int>(read));
    Level(0x4120, body);
  }

  void FaceMaterials(uint32_t length, ByteReader& body) {
    char name[kMaxNameBytes];
    const bool named = body.ReadZString(name, sizeof name);
    const uint16_t count = body.U16Le();
    if (!named || !body.Ok() || uint64_t{std::strlen(name)} + 9 + 2ull * count != length) {
      LogMessage("Load3ds: face material list does not add up\n", LOG_ERROR);
      stop_ = true;
      return;
    }
    int32_t material = 0;
    for (uint32_t i = 0; i < model_.materials_count; ++i) {
      MaterialRecord saved = model_.material;
      model_.GetMaterial(i);
      const bool same = std::strncmp(model_.material.name, name, sizeof model_.material.name) == 0;
      model_.material = saved;
      if (same) {
        material = static_cast<int32_t>(i);
        break;
      }
    }
    const uint32_t object_polygons = model_.polygons_count - object_first_polygon_;
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t face = body.U16Le();
      if (face < object_polygons) model_.SetPolygonMaterial(face, material);
    }
  }

  void Mapping(ByteReader& body) {
    const uint16_t count = body.U16Le();
    model_.vert_texcoords_present = 1;
    const uint32_t object_vertexs = model_.vertexs_count - object_first_vertex_;
    for (uint32_t i = 0; i < count && body.Fits(8); ++i) {
      const double u = Finite(body.F32Le());
      const double v = Finite(body.F32Le());
      if (i < object_vertexs) model_.SetVertexTexcoord(i, u, 1.0 - v);
    }
  }

  void TextureName(ByteReader& body) {
    char name[kMaxNameBytes];
    if (!body.ReadZString(name, sizeof name) || !Inside(0xA200) || name[0] == '\0') return;
    const ConversionSettings& settings = model_.settings;
    std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
    path.append(name);
    const MaterialRecord defined = model_.material;
    const int32_t texture = model_.LoadTexture(path.c_str());
    model_.material = defined;
    model_.material.texture = texture;
  }

  ModelData& model_;
  std::vector<uint16_t> levels_;
  uint32_t object_first_vertex_ = 0;
  uint32_t object_first_polygon_ = 0;
  bool cut_ = false;
  bool stop_ = false;
  uint64_t bad_numbers_ = 0;
};

// ---- Saving -------------------------------------------------------------------

// Chunks are 16-bit id and 32-bit length, the length counting the header.
class ChunkWriter : public ByteWriter {
 public:
  void Open(uint16_t id) {
    open_.push_back(Size());
    U16(id);
    U32(0);
  }
  void Close() {
    const size_t start = open_.back();
    open_.pop_back();
    PatchU32(start + 2, static_cast<uint32_t>(Size() - start));
  }
  void CloseAll() {
    while (!open_.empty()) Close();
  }
  void Percentage(uint16_t id, uint32_t value) {
    Open(id);
    Open(0x0030);
    U16(value);
    Close();
    Close();
  }

 private:
  std::vector<size_t> open_;
};

// Texture base names fit 8.3 file names and differ ignoring case.
void FitTextureNames(ModelData& model) {
  std::minstd_rand numbers(12345);
  std::vector<std::string> taken;
  for (uint32_t i = 0; i < model.textures_count; ++i) {
    if (!model.GetTextureInfo(i)) continue;
    char* base = model.texture.base_name;
    if (std::strlen(base) > 7) base[7] = '\0';
    const auto clashes = [&taken](const char* name) {
      for (const std::string& other : taken)
        if (strcasecmp(other.c_str(), name) == 0) return true;
      return false;
    };
    for (int tries = 0; clashes(base) && tries < 1000; ++tries)
      std::snprintf(base, sizeof model.texture.base_name, "t%i", static_cast<int>(numbers() % 100000));
    taken.emplace_back(base);
    model.SetTextureInfo(i);
  }
}

// The name as written: one longer than 10 characters keeps its first 8 and
// its last 2.
std::string ShortObjectName(const char* name) {
  std::string text(name);
  if (text.size() > 10) text = text.substr(0, 8) + text.substr(text.size() - 2);
  return text;
}

void WriteColour(ChunkWriter& out, uint16_t id, const uint8_t rgb[3]) {
  out.Open(id);
  for (uint16_t kind : {uint16_t{0x0011}, uint16_t{0x0012}}) {
    out.Open(kind);
    out.Bytes(rgb, 3);
    out.Close();
  }
  out.Close();
}

struct SaveContext {
  std::vector<std::string> names;  // as written, unique
  std::vector<bool> written;       // materials that have a chunk
  bool texcoords = false;
  bool materials = false;
};

void WriteMaterials(ModelData& model, ChunkWriter& out, SaveContext& context) {
  LogMessage("  materials\n", LOG_DETAIL);
  std::vector<bool> used(model.materials_count, false);
  if (context.materials)
    for (uint32_t p = 0; p < model.polygons_count; ++p) {
      const int32_t m = model.GetPolygonMaterial(p);
      if (m >= 0 && static_cast<uint32_t>(m) < used.size()) used[static_cast<size_t>(m)] = true;
    }
  context.written = used;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    std::string name(model.material.name, strnlen(model.material.name, sizeof model.material.name));
    // The file ties faces to materials by name: every name must be there and
    // tell its material apart.
    if (name.empty()) name = "Material" + std::to_string(i);
    while (std::find(context.names.begin(), context.names.end(), name) != context.names.end())
      name = name.substr(0, 30) + "#" + std::to_string(i);
    context.names.push_back(name);
  }
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    if (!used[i]) continue;
    model.GetMaterial(i);
    const MaterialRecord m = model.material;
    out.Open(0xAFFF);
    out.Open(0xA000);
    out.ZString(context.names[i].c_str());
    out.Close();
    WriteColour(out, 0xA010, m.ambient);
    WriteColour(out, 0xA020, m.diffuse);
    WriteColour(out, 0xA030, m.specular);
    out.Percentage(0xA040, 15);
    out.Percentage(0xA041, static_cast<uint32_t>(m.shininess * 0.39215687));
    out.Percentage(0xA050, 100 - static_cast<uint32_t>(m.transparency * 0.39215687));
    out.Open(0xA100);
    out.U16(3);
    out.Close();
    if (m.texture >= 0 && static_cast<uint32_t>(m.texture) < model.textures_count) {
      out.Open(0xA200);
      out.Open(0x0030);
      out.U16(100);
      out.Close();
      out.Open(0xA300);
      const std::string file = std::string(model.Texture(static_cast<uint32_t>(m.texture)).base_name) + ".bmp";
      out.ZString(file.c_str());
      out.Close();
      out.Close();
    }
    out.Close();
  }
}

// One mesh as written: its vertices (absolute indexes) and its triangles
// with corners as indexes into that vertex list.
struct MeshPart {
  std::vector<uint32_t> vertexs;
  std::vector<uint32_t> polygons;  // absolute polygon indexes
  std::vector<uint16_t> corners;   // three per polygon
};

void WriteMesh(ModelData& model, ChunkWriter& out, const SaveContext& context, const std::string& name,
               const MeshPart& part) {
  out.Open(0x4000);
  out.ZString(name.c_str());
  LogMessage("   4100\n", LOG_DETAIL);
  out.Open(0x4100);
  if (!part.vertexs.empty()) {
    LogMessage("    4110 - vertexs\n", LOG_DETAIL);
    out.Open(0x4110);
    out.U16(static_cast<uint32_t>(part.vertexs.size()));
    for (uint32_t v : part.vertexs) {
      double x = 0.0, y = 0.0, z = 0.0;
      model.ReadVertex(v, x, y, z);
      out.F32(x);
      out.F32(y);
      out.F32(z);
    }
    out.Close();
    if (context.texcoords) {
      LogMessage("    4140 - vert coords\n", LOG_DETAIL);
      out.Open(0x4140);
      out.U16(static_cast<uint32_t>(part.vertexs.size()));
      for (uint32_t v : part.vertexs) {
        double u = kUnsetValue, t = kUnsetValue;
        model.GetVertexTexcoord(v, u, t);
        out.F32(u == kUnsetValue ? 0.0 : u);
        out.F32(t == kUnsetValue ? 0.0 : 1.0 - t);
      }
      out.Close();
    }
  }
  if (!part.polygons.empty()) {
    LogMessage("    4120 - polygons\n", LOG_DETAIL);
    out.Open(0x4120);
    out.U16(static_cast<uint32_t>(part.polygons.size()));
    for (size_t p = 0; p < part.polygons.size(); ++p) {
      for (int k = 0; k < 3; ++k) out.U16(part.corners[3 * p + k]);
      out.U16(6);
    }
    if (context.materials) {
      std::vector<std::vector<uint16_t>> faces(model.materials_count);
      for (size_t p = 0; p < part.polygons.size(); ++p) {
        const int32_t m = model.GetPolygonMaterial(part.polygons[p]);
        if (m >= 0 && static_cast<uint32_t>(m) < faces.size()) faces[static_cast<size_t>(m)].push_back(static_cast<uint16_t>(p));
      }
      bool logged = false;
      for (uint32_t m = 0; m < faces.size(); ++m) {
        if (faces[m].empty() || !context.written[m]) continue;
        if (!logged) LogMessage("     4130\n", LOG_DETAIL);
        logged = true;
        out.Open(0x4130);
        out.ZString(context.names[m].c_str());
        out.U16(static_cast<uint32_t>(faces[m].size()));
        for (uint16_t f : faces[m]) out.U16(f);
        out.Close();
      }
    }
    out.Open(0x4150);
    for (size_t p = 0; p < part.polygons.size(); ++p) out.U32(1);
    out.Close();
    out.Close();
  }
  out.Close();
  out.Close();
}

constexpr uint32_t kMax16 = 65535;

// An object within the 16-bit counts is written as it is; a larger one is
// cut into parts of whole triangles, each part taking the vertices its
// triangles use.
void WriteObject(ModelData& model, ChunkWriter& out, const SaveContext& context, const ObjectRecord& object) {
  const std::string name = ShortObjectName(object.name);
  const auto corner = [&model](uint32_t polygon, uint32_t k) {
    uint32_t first = 0, count = 0;
    if (!model.ReadPolygonPointData(polygon, first, count) || k >= count) return UINT32_MAX;
    return model.GetPointVertex(first + k);
  };
  bool own_vertexs = true;
  for (uint32_t p = 0; p < object.polygon_count && own_vertexs; ++p)
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t v = corner(object.first_polygon + p, k);
      if (v < object.first_vertex || v - object.first_vertex >= object.vertex_count) own_vertexs = false;
    }
  if (own_vertexs && object.vertex_count <= kMax16 && object.polygon_count <= kMax16) {
    MeshPart part;
    part.vertexs.resize(object.vertex_count);
    for (uint32_t v = 0; v < object.vertex_count; ++v) part.vertexs[v] = object.first_vertex + v;
    for (uint32_t p = 0; p < object.polygon_count; ++p) {
      const uint32_t polygon = object.first_polygon + p;
      part.polygons.push_back(polygon);
      for (uint32_t k = 0; k < 3; ++k) part.corners.push_back(static_cast<uint16_t>(corner(polygon, k) - object.first_vertex));
    }
    WriteMesh(model, out, context, name, part);
    return;
  }
  if (object.vertex_count > kMax16 || object.polygon_count > kMax16)
  LogFormatted(LOG_MAJOR, "Save3ds: object %s has %lu vertexs and %lu polygons, written in parts\n", object.name,
               static_cast<unsigned long>(object.vertex_count), static_cast<unsigned long>(object.polygon_count));
  std::vector<uint32_t> local(model.vertexs_count, UINT32_MAX);
  std::vector<uint32_t> stamp(model.vertexs_count, UINT32_MAX);
  uint32_t part_number = 0;
  MeshPart part;
  const auto flush = [&]() {
    if (part.polygons.empty()) return;
    char part_name[40];
    if (part_number == 0 && !(object.vertex_count > kMax16 || object.polygon_count > kMax16))
      std::snprintf(part_name, sizeof part_name, "%s", name.c_str());
    else
      std::snprintf(part_name, sizeof part_name, "%.7s_%u", object.name, part_number);
    WriteMesh(model, out, context, part_name, part);
    part = MeshPart();
    ++part_number;
  };
  for (uint32_t p = 0; p < object.polygon_count; ++p) {
    const uint32_t polygon = object.first_polygon + p;
    uint32_t v[3];
    uint32_t fresh = 0;
    bool whole = true;
    for (uint32_t k = 0; k < 3 && whole; ++k) {
      v[k] = corner(polygon, k);
      whole = v[k] < model.vertexs_count;  // a corner naming no vertex: nothing to write
      if (whole && stamp[v[k]] != part_number) ++fresh;
    }
    if (!whole) continue;
    if (part.vertexs.size() + fresh > kMax16 || part.polygons.size() + 1 > kMax16) flush();
    for (uint32_t k = 0; k < 3; ++k) {
      if (stamp[v[k]] != part_number) {
        stamp[v[k]] = part_number;
        local[v[k]] = static_cast<uint32_t>(part.vertexs.size());
        part.vertexs.push_back(v[k]);
      }
      part.corners.push_back(static_cast<uint16_t>(local[v[k]]));
    }
    part.polygons.push_back(polygon);
  }
  flush();
}

}  // namespace

int Load3ds(ModelData& model, FILE* file) {
  LogMessage("Loading 3ds...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(4, 3, 1);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "Load3ds")) return 0;
  ByteReader reader(bytes);
  ChunkLoader loader(model);
  loader.Walk(reader);
  if (loader.Cut()) LogMessage(" Eof too soon !\n", LOG_ERROR);
  if (loader.BadNumbers())
    LogFormatted(LOG_ERROR, "Load3ds: %" PRIu64 " numbers that are not finite read as 0\n", loader.BadNumbers());
  LogFormatted(LOG_MAJOR, ".Polygons read : %i\n", static_cast<int>(model.polygons_count));
  LogFormatted(LOG_MAJOR, ".Vertexs read  : %i\n", static_cast<int>(model.vertexs_count));
  LogFormatted(LOG_MAJOR, ".Materials read: %i\n", static_cast<int>(model.materials_count));
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.FinishObjects();
  LogMessage("...3ds loaded\n", LOG_MAJOR);
  return 1;
}

int Save3ds(ModelData& model, FILE* file) {
  LogMessage("Saving 3ds...\n", LOG_MAJOR);
  model.ConvertModelOrientation(4, 3, 1);
  SaveContext context;
  context.texcoords = model.vert_texcoords_present || model.point_texcoords_present;
  uint32_t requirements = ModelData::need_polygon_materials | ModelData::need_triangles |
                          ModelData::need_polygon_valid_materials;
  if (context.texcoords) requirements |= ModelData::need_vertex_texcoords;
  model.ConvertProperties(requirements);
  model.Fix_LimitNoOfPolygonMaterialsToX(255);
  context.texcoords = model.vert_texcoords_present != 0;
  context.materials = model.poly_materials_present && model.materials_count > 0;
  FitTextureNames(model);
  model.relative_reads = 0;

  ChunkWriter out;
  LogMessage("4D4D\n", LOG_DETAIL);
  out.Open(0x4D4D);
  LogMessage(" 0002\n", LOG_DETAIL);
  out.Open(0x0002);
  out.U32(3);
  out.Close();
  LogMessage(" 3D3D\n", LOG_DETAIL);
  out.Open(0x3D3D);
  LogMessage("  3D3E\n", LOG_DETAIL);
  out.Open(0x3D3E);
  out.U32(3);
  out.Close();
  WriteMaterials(model, out, context);
  LogMessage("  0100\n", LOG_DETAIL);
  out.Open(0x0100);
  out.F32(1.0);
  out.Close();
  LogMessage("  Objects\n", LOG_DETAIL);
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (model.GetObjectInfo(o, &object)) WriteObject(model, out, context, object);
  }
  out.CloseAll();
  const std::vector<uint8_t>& data = out.Data();
  if (std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
    LogMessage("Save3ds: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  if (model.textures_count > 0) {
    LogMessage(" converting textures to bmp\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_BMP, MODE_BGRA8888, 0);
  }
  LogMessage("...3ds saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
