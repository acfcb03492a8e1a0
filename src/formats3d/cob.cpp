// "Truespace object bin" files: a 32-byte header ("Caligari V00.01" with 'B'
// for binary and "LH" or "HL" for the byte order), then chunks, each with a
// 20-byte head (type, major and minor version, its id, its parent's id, the
// size of its body). The loader reads the polygon objects (PolH) and their
// materials (Mat1, whose parent is the object they belong to); groups,
// units, layers, animation channels and the rest are passed over.
//
// A PolH holds its name, its local axes, the matrix of its current position
// (three rows of four: the object's vertices are stored in its own frame and
// this matrix places them in the world), its vertices, its texture
// coordinates, and its faces: flags, a corner count, a material number and
// per corner a vertex index and a texture-coordinate index. A face flagged
// as a hole has no material number and cuts the face before it.
//
// The local axes and the matrix are both given in world terms (an object's
// axis centre is where its matrix puts its origin), so a member of a group is
// placed by its own matrix alone; composing the group's matrix on top of it
// would place it twice.
//
// The whole file is read into memory and every count is checked against its
// chunk before anything is read by it. Chunks whose size runs past the end of
// the file are not read; what came before them is kept, with the reason in
// the log. Text (ASCII) files of the same program are refused with a reason.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr size_t kFileHeaderSize = 32;
constexpr size_t kChunkHeadSize = 20;
constexpr uint8_t kHoleFlag = 0x08;
constexpr size_t kNameBytes = 64;

// Numbers in the byte order the file header names.
struct Numbers {
  bool big = false;
  uint16_t U16(ByteReader& r) const { return big ? r.U16Be() : r.U16Le(); }
  int16_t I16(ByteReader& r) const { return static_cast<int16_t>(U16(r)); }
  uint32_t U32(ByteReader& r) const { return big ? r.U32Be() : r.U32Le(); }
  int32_t I32(ByteReader& r) const { return static_cast<int32_t>(U32(r)); }
  float F32(ByteReader& r) const { return big ? r.F32Be() : r.F32Le(); }
};

struct ChunkHead {
  char type[5];
  uint16_t major, minor;
  int32_t id, parent;
  uint32_t size;
};

struct Face {
  int16_t material;
  uint32_t first_corner;
  uint32_t corners;
};

struct Mesh {
  int32_t id = 0;
  char name[kNameBytes] = "";
  double matrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  std::vector<float> vertexs;  // x, y, z
  std::vector<float> uvs;      // u, v
  std::vector<Face> faces;
  std::vector<std::pair<uint32_t, uint32_t>> corners;  // vertex, texture coordinate
  uint32_t holes = 0;
  uint32_t short_faces = 0;
};

struct Material {
  int32_t parent = 0;
  int16_t number = 0;
  float rgb[3] = {1, 1, 1};
  float alpha = 1, ka = 0, ks = 0, exponent = 0;
  std::string texture;  // empty when the material has no texture map
  float uv_offset[2] = {0, 0};
  float uv_repeat[2] = {1, 1};
};

uint8_t ColourByte(double value) {
  if (!(value > 0)) return 0;  // also NaN
  if (value >= 255) return 255;
  return static_cast<uint8_t>(std::lround(value));
}

// A length-prefixed string (16-bit length, no terminator) into `text`,
// cut to its capacity. False when the string runs past the chunk.
bool ReadString(ByteReader& body, const Numbers& n, char* text, size_t capacity) {
  const uint16_t length = n.U16(body);
  const uint8_t* chars = body.Ok() ? body.Take(length) : nullptr;
  if (!chars) return false;
  const size_t kept = std::min<size_t>(length, capacity - 1);
  std::memcpy(text, chars, kept);
  text[kept] = '\0';
  return true;
}

// The PolH body into `mesh`; 0 (logged) when its counts do not fit.
int ReadMesh(ByteReader& body, const Numbers& n, const ChunkHead& head, Mesh& mesh) {
  mesh.id = head.id;
  const int16_t duplicate = n.I16(body);
  char base[kNameBytes];
  if (!ReadString(body, n, base, sizeof base)) {
    LogMessage("LoadCob: polygon object name runs past its chunk\n", LOG_ERROR);
    return 0;
  }
  // Copies of one object share a name and differ by their duplicate number.
  if (duplicate > 0)
    std::snprintf(mesh.name, sizeof mesh.name, "%.50s,%d", base, static_cast<int>(duplicate));
  else
    std::snprintf(mesh.name, sizeof mesh.name, "%s", base);
  if (!body.Skip(12 * 4)) {  // local axes: centre and three directions
    LogFormatted(LOG_ERROR, "LoadCob: object [%s]: local axes run past its chunk\n", mesh.name);
    return 0;
  }
  for (double& m : mesh.matrix) m = n.F32(body);
  const uint32_t vertexs = n.U32(body);
  if (!body.Ok() || !body.Fits(vertexs, 12)) {
    LogFormatted(LOG_ERROR, "LoadCob: object [%s]: %" PRIu32 " vertexs do not fit in its chunk\n", mesh.name,
                 vertexs);
    return 0;
  }
  mesh.vertexs.resize(size_t{vertexs} * 3);
  for (float& v : mesh.vertexs) v = n.F32(body);
  const uint32_t uvs = n.U32(body);
  if (!body.Ok() || !body.Fits(uvs, 8)) {
    LogFormatted(LOG_ERROR, "LoadCob: object [%s]: %" PRIu32 " texture vertexs do not fit in its chunk\n",
                 mesh.name, uvs);
    return 0;
  }
  mesh.uvs.resize(size_t{uvs} * 2);
  for (float& v : mesh.uvs) v = n.F32(body);
  const uint32_t faces = n.U32(body);
  // The smallest face record is its flags and corner count.
  if (!body.Ok() || !body.Fits(faces, 3)) {
    LogFormatted(LOG_ERROR, "LoadCob: object [%s]: %" PRIu32 " faces do not fit in its chunk\n", mesh.name, faces);
    return 0;
  }
  for (uint32_t f = 0; f < faces; ++f) {
    const uint8_t flags = body.U8();
    const int16_t corners = n.I16(body);
    const int16_t material = (flags & kHoleFlag) ? int16_t{-1} : n.I16(body);
    if (!body.Ok() || corners < 0 || !body.Fits(static_cast<uint64_t>(corners), 8)) {
      LogFormatted(LOG_ERROR, "LoadCob: object [%s]: face %" PRIu32 " of %" PRIu32 " runs past its chunk\n",
                   mesh.name, f + 1, faces);
      return 0;
    }
    const uint32_t first = static_cast<uint32_t>(mesh.corners.size());
    for (int16_t k = 0; k < corners; ++k) {
      const uint32_t vertex = n.U32(body);
      const uint32_t uv = n.U32(body);
      mesh.corners.emplace_back(vertex, uv);
    }
    if (flags & kHoleFlag)
      ++mesh.holes;
    else if (corners < 3)
      ++mesh.short_faces;
    else
      mesh.faces.push_back({material, first, static_cast<uint32_t>(corners)});
  }
  // What follows the faces (drawing flags, radiosity settings) is not needed.
  return 1;
}

// The Mat1 body: number, shader and facet letters (an auto-facet angle
// follows an 'a'), colour, opacity, ambient and specular factors, exponent,
// refraction index, then optional maps, each "e:", "t:" or "b:" with flags
// and a file name; a texture map adds its offsets and repeats.
int ReadMaterial(ByteReader& body, const Numbers& n, const ChunkHead& head, Material& material) {
  material.parent = head.parent;
  material.number = n.I16(body);
  body.U8();  // shader: flat, phong or metal
  const uint8_t facet = body.U8();
  if (facet == 'a') body.U8();
  for (float& c : material.rgb) c = n.F32(body);
  material.alpha = n.F32(body);
  material.ka = n.F32(body);
  material.ks = n.F32(body);
  material.exponent = n.F32(body);
  n.F32(body);  // refraction index
  if (!body.Ok()) {
    LogFormatted(LOG_ERROR, "LoadCob: material %d is cut short\n", static_cast<int>(material.number));
    return 0;
  }
  // Later versions add a diffuse factor before the maps.
  for (int extra = 0; body.Fits(2) && extra < 2; ++extra) {
    const uint8_t* tag = body.Peek(2);
    if (tag[1] == ':' && (tag[0] == 'e' || tag[0] == 't' || tag[0] == 'b')) break;
    body.Skip(4);
  }
  while (body.Fits(2)) {
    const uint8_t* tag = body.Take(2);
    if (tag[1] != ':') break;
    body.U8();  // flags
    char name[260];
    if (!ReadString(body, n, name, sizeof name)) {
      LogFormatted(LOG_ERROR, "LoadCob: material %d: map file name runs past its chunk\n",
                   static_cast<int>(material.number));
      break;
    }
    if (tag[0] != 't') continue;
    material.uv_offset[0] = n.F32(body);
    material.uv_offset[1] = n.F32(body);
    material.uv_repeat[0] = n.F32(body);
    material.uv_repeat[1] = n.F32(body);
    if (!body.Ok()) {
      material.uv_offset[0] = material.uv_offset[1] = 0;
      material.uv_repeat[0] = material.uv_repeat[1] = 1;
    }
    material.texture = name;
    break;
  }
  return 1;
}

bool ReadChunkHead(ByteReader& reader, const Numbers& n, ChunkHead& head) {
  const uint8_t* type = reader.Take(4);
  if (!type) return false;
  for (int k = 0; k < 4; ++k) head.type[k] = static_cast<char>(type[k]);
  head.type[4] = '\0';
  head.major = n.U16(reader);
  head.minor = n.U16(reader);
  head.id = n.I32(reader);
  head.parent = n.I32(reader);
  head.size = n.U32(reader);
  return reader.Ok();
}

class CobLoader {
 public:
  explicit CobLoader(ModelData& model) : model_(model) {}

  int Store(const std::vector<Mesh>& meshes, const std::vector<Material>& materials) {
    for (size_t m = 0; m < meshes.size(); ++m) {
      if (!StoreMesh(static_cast<uint32_t>(m), meshes[m], materials)) return 0;
      if (!model_.NewObject()) return 0;
    }
    model_.FinishObjects();
    return 1;
  }

 private:
  // The model material of the mesh's material number, added on first use;
  // -1 when the file defines no such material for the mesh. The first
  // definition of a number counts.
  int32_t MaterialOf(const Mesh& mesh, uint32_t mesh_index, int16_t number, const std::vector<Material>& materials,
                     const Material** found) {
    *found = nullptr;
    if (by_owner_.empty())
      for (size_t i = 0; i < materials.size(); ++i)
        by_owner_.emplace(std::make_pair(materials[i].parent, materials[i].number), i);
    const auto defined = by_owner_.find(std::make_pair(mesh.id, number));
    if (defined == by_owner_.end()) return kNoMaterial;
    const Material& m = materials[defined->second];
    *found = &m;
    const auto known = added_.find(defined->second);
    if (known != added_.end()) return known->second;
    model_.ResetMaterial();
    char name[40];
    std::snprintf(name, sizeof name, "obj%u_mat%d", mesh_index, static_cast<int>(number));
    model_.SetMaterialName(name);
    const uint8_t diffuse[3] = {ColourByte(m.rgb[0] * 255.0), ColourByte(m.rgb[1] * 255.0),
                                ColourByte(m.rgb[2] * 255.0)};
    for (int k = 0; k < 3; ++k) {
      model_.material.diffuse[k] = diffuse[k];
      model_.material.ambient[k] = ColourByte(diffuse[k] * static_cast<double>(m.ka));
      model_.material.specular[k] = ColourByte(255.0 * m.ks);
    }
    model_.material.shininess = ColourByte(255.0 * m.exponent);
    model_.material.transparency = ColourByte(255.0 * m.alpha);
    model_.material.texture = TextureOf(m.texture);
    const int32_t index = model_.AddMaterial();
    added_[defined->second] = index;
    return index;
  }

  // The texture of a map's file name: the name's last part, looked for
  // beside the model (a placeholder under that name when it is missing).
  int32_t TextureOf(const std::string& file) {
    if (file.empty()) return -1;
    const size_t slash = file.find_last_of("/\\:");
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    if (base.empty()) return -1;
    const auto known = textures_.find(base);
    if (known != textures_.end()) return known->second;
    const ConversionSettings& settings = model_.settings;
    std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
    path += base;
    LogFormatted(LOG_DETAIL, " loading texture: [%s]\n", base.c_str());
    const MaterialRecord kept = model_.material;
    const int32_t texture = model_.LoadTexture(path.c_str());
    model_.material = kept;
    textures_[base] = texture;
    return texture;
  }

  int StoreMesh(uint32_t index, const Mesh& mesh, const std::vector<Material>& materials) {
    model_.SetObjectName(mesh.name);
    const uint32_t vertexs = static_cast<uint32_t>(mesh.vertexs.size() / 3);
    const uint32_t uvs = static_cast<uint32_t>(mesh.uvs.size() / 2);
    LogFormatted(LOG_DETAIL, "  obj %u. [%s], v:%u uv:%u f:%u\n", index + 1, mesh.name, vertexs, uvs,
                 static_cast<unsigned>(mesh.faces.size()));
    const uint32_t first_vertex = model_.vertexs_count;
    const uint32_t first_polygon = model_.polygons_count;
    const uint32_t first_point = model_.points_count;
    const double* m = mesh.matrix;
    for (uint32_t v = 0; v < vertexs; ++v) {
      const double x = mesh.vertexs[3 * v], y = mesh.vertexs[3 * v + 1], z = mesh.vertexs[3 * v + 2];
      model_.StoreVertex(Finite(m[0] * x + m[1] * y + m[2] * z + m[3]), Finite(m[4] * x + m[5] * y + m[6] * z + m[7]),
                         Finite(m[8] * x + m[9] * y + m[10] * z + m[11]));
    }
    if (model_.vertexs_count != first_vertex + vertexs) {
      LogFormatted(LOG_ERROR, "LoadCob: object [%s]: too many vertexs for the model\n", mesh.name);
      return 0;
    }
    // A mirroring matrix turns the faces inside out; their corners are
    // reversed to keep them facing out.
    const double determinant = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
                               m[2] * (m[4] * m[9] - m[5] * m[8]);
    const bool mirrored = determinant < 0;
    uint32_t dropped = 0;
    std::vector<uint32_t> corners;
    for (const Face& face : mesh.faces) {
      bool whole = true;
      corners.clear();
      for (uint32_t k = 0; k < face.corners; ++k) {
        const uint32_t c = face.first_corner + (mirrored ? face.corners - 1 - k : k);
        whole = whole && mesh.corners[c].first < vertexs;
        corners.push_back(mesh.corners[c].first);
      }
      if (!whole || face.corners > ModelData::kMaxPolygonPoints) {
        ++dropped;
        continue;
      }
      if (!model_.StorePolygon(face.corners, corners.data())) {
        LogFormatted(LOG_ERROR, "LoadCob: object [%s]: too many polygons for the model\n", mesh.name);
        return 0;
      }
      const Material* material = nullptr;
      const int32_t material_index = MaterialOf(mesh, index, face.material, materials, &material);
      const uint32_t polygon = model_.polygons_count - first_polygon - 1;
      model_.SetPolygonMaterial(polygon, material_index);
      const uint32_t point = model_.points_count - first_point - face.corners;
      for (uint32_t k = 0; k < face.corners; ++k) {
        const uint32_t c = face.first_corner + (mirrored ? face.corners - 1 - k : k);
        const uint32_t uv = mesh.corners[c].second;
        if (uv >= uvs) continue;
        double u = mesh.uvs[2 * uv], v = mesh.uvs[2 * uv + 1];
        if (material) {
          u = u * material->uv_repeat[0] + material->uv_offset[0];
          v = v * material->uv_repeat[1] + material->uv_offset[1];
        }
        // The file's v runs up from the bottom of the picture.
        model_.SetPointTexcoord(point + k, Finite(u), Finite(1.0 - v));
        model_.point_texcoords_present = 1;
      }
    }
    if (dropped)
      LogFormatted(LOG_ERROR, "LoadCob: object [%s]: %u faces name vertexs it does not have, dropped\n", mesh.name,
                   dropped);
    if (mesh.holes)
      LogFormatted(LOG_ERROR, "LoadCob: object [%s]: %u holes are not cut, their faces are kept whole\n", mesh.name,
                   mesh.holes);
    if (mesh.short_faces)
      LogFormatted(LOG_DETAIL, "  [%s]: %u faces of fewer than 3 corners passed over\n", mesh.name, mesh.short_faces);
    return 1;
  }

  double Finite(double value) {
    if (std::isfinite(value)) return value;
    ++bad_numbers_;
    return 0.0;
  }

 public:
  uint64_t BadNumbers() const { return bad_numbers_; }

 private:
  ModelData& model_;
  std::map<std::pair<int32_t, int16_t>, size_t> by_owner_;  // (object id, number) -> definition
  std::map<size_t, int32_t> added_;                            // definition -> model material
  std::map<std::string, int32_t> textures_;
  uint64_t bad_numbers_ = 0;
};

// Checks the file header; 0 (logged) for anything but a binary file.
int ReadFileHeader(ByteReader& reader, Numbers& numbers) {
  const uint8_t* header = reader.Take(kFileHeaderSize);
  if (!header || std::memcmp(header, "Caligari V00.", 13) != 0) {
    LogMessage("LoadCob: not a Caligari file (no \"Caligari V00.\" header)\n", LOG_ERROR);
    return 0;
  }
  if (header[15] == 'A') {
    LogMessage("LoadCob: text (ASCII) Truespace files are not read, only binary ones\n", LOG_ERROR);
    return 0;
  }
  if (header[15] != 'B') {
    LogFormatted(LOG_ERROR, "LoadCob: unknown file mode '%c'\n", header[15]);
    return 0;
  }
  if (header[16] == 'L' && header[17] == 'H') {
    numbers.big = false;
  } else if (header[16] == 'H' && header[17] == 'L') {
    numbers.big = true;
  } else {
    LogFormatted(LOG_ERROR, "LoadCob: unknown byte order \"%c%c\"\n", header[16], header[17]);
    return 0;
  }
  return 1;
}

}  // namespace

int LoadCob(ModelData& model, FILE* file) {
  LogMessage("Loading cob...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(4, 3, 1);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadCob")) return 0;
  ByteReader reader(bytes);
  Numbers numbers;
  if (!ReadFileHeader(reader, numbers)) return 0;

  std::vector<Mesh> meshes;
  std::vector<Material> materials;
  bool ended = false;
  while (!reader.AtEnd()) {
    ChunkHead head{};
    if (!ReadChunkHead(reader, numbers, head)) {
      LogFormatted(LOG_ERROR, "LoadCob: chunk head at %zu is cut short\n", reader.Position());
      break;
    }
    if (std::memcmp(head.type, "END ", 4) == 0) {
      ended = true;
      break;
    }
    ByteReader body = reader.Chunk(head.size);
    if (body.Clipped()) {
      LogFormatted(LOG_ERROR, "LoadCob: chunk %s of %" PRIu32 " bytes runs past the end of the file\n", head.type,
                   head.size);
      break;
    }
    if (std::memcmp(head.type, "PolH", 4) == 0) {
      Mesh mesh;
      if (!ReadMesh(body, numbers, head, mesh)) return 0;
      meshes.push_back(std::move(mesh));
    } else if (std::memcmp(head.type, "Mat1", 4) == 0) {
      Material material;
      if (ReadMaterial(body, numbers, head, material)) materials.push_back(std::move(material));
    }
  }
  if (!ended) LogMessage("LoadCob: the file ends without its END chunk\n", LOG_ERROR);
  if (meshes.empty()) {
    LogMessage("LoadCob: no polygon object (PolH) in the file\n", LOG_ERROR);
    return 0;
  }
  LogFormatted(LOG_DETAIL, " %u objects, %u materials\n", static_cast<unsigned>(meshes.size()),
               static_cast<unsigned>(materials.size()));
  CobLoader loader(model);
  if (!loader.Store(meshes, materials)) return 0;
  if (loader.BadNumbers())
    LogFormatted(LOG_ERROR, "LoadCob: %" PRIu64 " numbers that are not finite read as 0\n", loader.BadNumbers());
  if (model.materials_count > 0) model.poly_materials_present = 1;
  LogFormatted(LOG_MAJOR, ".Polygons read : %i\n", static_cast<int>(model.polygons_count));
  LogFormatted(LOG_MAJOR, ".Vertexs read  : %i\n", static_cast<int>(model.vertexs_count));
  LogMessage("...cob loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
