// DirectX text models ("xof 0302txt" / "xof 0303txt"): a tree of data
// objects "Type [name] { data children }". Frames carry a transform matrix
// and hold meshes (defined in place or referenced as "{ name }"); meshes
// carry positions, n-gon faces, normals with their own face list, texture
// coordinates and a material list whose materials may be references to
// top-level materials. Every mesh placement becomes one model object with
// its positions moved into the scene by the frames' matrices.
//
// The file is read whole and cut into tokens; objects are opened and closed
// through a bounded stack. The data of objects that are not understood
// (skins, animations, application objects) is passed over word by word, so
// that frames and meshes an application nests inside its own objects are
// still found; templates, and objects nested deeper than the stack, are
// passed over by counting braces. Nothing in the file makes the reader
// recurse. Counts from
// the file are checked against the bytes left before anything is sized.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/braced_text.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

using braced_text::BracedText;
using braced_text::Token;

// Comments start with "//" or "#"; templates carry GUIDs.
constexpr braced_text::Syntax kSyntax{true, true, 1};

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxLevels = 64;
constexpr size_t kMaxName = 255;
// The fewest bytes a number can take in the file: a digit and a separator.
constexpr uint64_t kMinNumberBytes = 2;

using Matrix = std::array<double, 16>;  // row vectors: p' = p * M

constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix result{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
      result[r * 4 + c] = sum;
    }
  return result;
}

struct XMaterial {
  std::string name;
  double diffuse[4] = {1, 1, 1, 1};
  double power = 0;
  double specular[3] = {0, 0, 0};
  double emissive[3] = {0, 0, 0};
  std::string texture;
  int32_t model_index = -1;  // once stored
};

struct XMesh {
  std::string name;
  std::vector<Vec3d> positions;
  std::vector<std::vector<uint32_t>> faces;
  std::vector<Vec3d> normals;
  std::vector<std::vector<uint32_t>> normal_faces;
  std::vector<TexCoord> texcoords;
  std::vector<uint32_t> face_materials;
  std::vector<int32_t> materials;            // indexes into the file's materials, -1 unresolved
  std::vector<std::string> material_names;   // a referenced material's name, else empty
  bool top_level = false;
  bool placed = false;
};

struct Placement {
  int32_t mesh = -1;      // resolved mesh, or
  std::string reference;  // the name of a mesh defined elsewhere
  Matrix world = kIdentity;
  std::string frame;
};

// kOther: an object not understood, whose data is passed over but whose
// frames, meshes and materials are read.
enum class Level { kFrame, kMesh, kMaterialList, kMaterial, kOther };

struct Open {
  Level level;
  int32_t index;  // the mesh or material it builds
  Matrix world;   // frames: their placement in the scene
  std::string name;
};

class XReader {
 public:
  XReader(ModelData& model, const uint8_t* data, size_t size)
      : model_(model), tokens_(data, size, kSyntax, "LoadX") {}

  int Read();

 private:
  bool Fail(const char* why) { return tokens_.Fail(why); }
  bool Number(double& value) { return tokens_.Number(value); }
  bool Count(uint64_t& value, uint64_t min_bytes_each) { return tokens_.Count(value, min_bytes_each); }
  bool SkipBlock() { return tokens_.SkipBlock(); }
  bool OpenObject(std::string_view type);
  bool ReadVectorsAndFaces(std::vector<Vec3d>& vectors, std::vector<std::vector<uint32_t>>& faces);
  bool ReadMesh(XMesh& mesh);
  bool ReadNormals(XMesh& mesh);
  bool ReadTexcoords(XMesh& mesh);
  bool ReadMaterialList(XMesh& mesh);
  bool ReadMaterial(XMaterial& material);
  bool ReadFrameMatrix(Matrix& local);
  bool ReadTextureName(XMaterial& material);
  bool Reference(std::string_view name);
  void Close();
  int32_t FindMaterial(const std::string& name) const;
  int32_t FindMesh(const std::string& name) const;
  int32_t StoreMaterial(XMaterial& material);
  bool StoreMesh(XMesh& mesh, const Matrix& world, const std::string& frame);

  ModelData& model_;
  BracedText tokens_;
  std::vector<Open> open_;
  std::vector<XMaterial> materials_;
  std::vector<XMesh> meshes_;
  std::vector<Placement> placements_;
  uint64_t skipped_ = 0;
  uint64_t bad_faces_ = 0;
};

bool XReader::ReadFrameMatrix(Matrix& local) {
  for (double& value : local)
    if (!Number(value)) return false;
  return SkipBlock();
}

// "count; vectors; count; faces" as Mesh and MeshNormals store them; a
// corner index beyond 32 bits names no vector.
bool XReader::ReadVectorsAndFaces(std::vector<Vec3d>& vectors, std::vector<std::vector<uint32_t>>& faces) {
  uint64_t count = 0;
  if (!Count(count, 3 * kMinNumberBytes)) return false;
  vectors.resize(count);
  for (Vec3d& v : vectors)
    if (!Number(v.x) || !Number(v.y) || !Number(v.z)) return false;
  if (!Count(count, kMinNumberBytes)) return false;
  faces.resize(count);
  for (auto& face : faces) {
    uint64_t corners = 0;
    if (!Count(corners, kMinNumberBytes)) return false;
    face.resize(corners);
    for (uint32_t& index : face) {
      double value = 0;
      if (!Number(value)) return false;
      index = value >= 0 && value < 4294967295.0 ? static_cast<uint32_t>(value) : UINT32_MAX;
    }
  }
  return true;
}

bool XReader::ReadMesh(XMesh& mesh) { return ReadVectorsAndFaces(mesh.positions, mesh.faces); }

bool XReader::ReadNormals(XMesh& mesh) {
  return ReadVectorsAndFaces(mesh.normals, mesh.normal_faces) && SkipBlock();
}

bool XReader::ReadTexcoords(XMesh& mesh) {
  uint64_t count = 0;
  if (!Count(count, 2 * kMinNumberBytes)) return false;
  mesh.texcoords.resize(count);
  for (TexCoord& t : mesh.texcoords)
    if (!Number(t.u) || !Number(t.v)) return false;
  return SkipBlock();
}

bool XReader::ReadMaterialList(XMesh& mesh) {
  uint64_t materials = 0, count = 0;
  if (!Count(materials, kMinNumberBytes) || !Count(count, kMinNumberBytes)) return false;
  (void)materials;  // the list below tells how many there are
  mesh.face_materials.resize(count);
  for (uint32_t& index : mesh.face_materials) {
    double value = 0;
    if (!Number(value)) return false;
    index = value >= 0 && value < 4294967295.0 ? static_cast<uint32_t>(value) : UINT32_MAX;
  }
  return true;
}

bool XReader::ReadMaterial(XMaterial& material) {
  for (double& v : material.diffuse)
    if (!Number(v)) return false;
  if (!Number(material.power)) return false;
  for (double& v : material.specular)
    if (!Number(v)) return false;
  for (double& v : material.emissive)
    if (!Number(v)) return false;
  return true;
}

bool XReader::ReadTextureName(XMaterial& material) {
  std::string_view text;
  Token token;
  do token = tokens_.Next(text);
  while (token == Token::kSeparator);
  if (token != Token::kString && token != Token::kName) return Fail("texture file name expected");
  material.texture.assign(text.substr(0, std::min(text.size(), kMaxName)));
  return SkipBlock();
}

// "{ name }": a mesh placed in a frame or a material used by a mesh.
bool XReader::Reference(std::string_view) {
  std::string_view text;
  Token token = tokens_.Next(text);
  if (token != Token::kName) return Fail("reference without a name");
  const std::string name(text.substr(0, std::min(text.size(), kMaxName)));
  token = tokens_.Next(text);
  if (token != Token::kClose) return Fail("reference not closed");
  if (open_.empty()) return true;
  Open& parent = open_.back();
  if (parent.level == Level::kFrame) {
    Placement placement;
    placement.reference = name;
    placement.world = parent.world;
    placement.frame = parent.name;
    placements_.push_back(std::move(placement));
  } else if (parent.level == Level::kMaterialList) {
    XMesh& mesh = meshes_[static_cast<size_t>(parent.index)];
    mesh.materials.push_back(-1);
    mesh.material_names.push_back(name);
  }
  return true;
}

bool XReader::OpenObject(std::string_view type) {
  std::string_view text;
  std::string name;
  const BracedText after_type = tokens_;
  Token token = tokens_.Next(text);
  if (token == Token::kName) {
    name.assign(text.substr(0, std::min(text.size(), kMaxName)));
    token = tokens_.Next(text);
  }
  if (token != Token::kOpen) {
    // Inside an object not understood, words are its data.
    if (!open_.empty() && open_.back().level == Level::kOther) {
      tokens_ = after_type;
      return true;
    }
    return Fail("object without \"{\"");
  }
  if (type == "template") return SkipBlock();
  if (open_.size() >= kMaxLevels) {
    ++skipped_;
    return SkipBlock();
  }
  const Level parent = open_.empty() ? Level::kOther : open_.back().level;
  const Matrix parent_world = open_.empty() ? kIdentity : open_.back().world;
  const bool in_frame = parent == Level::kFrame;
  const bool loose = parent == Level::kOther;  // at the top or in an object not understood
  if (type == "Frame" && (in_frame || loose)) {
    open_.push_back({Level::kFrame, -1, parent_world, name});
    return true;
  }
  if (type == "FrameTransformMatrix" && in_frame) {
    Matrix local = kIdentity;
    if (!ReadFrameMatrix(local)) return false;
    // The matrix is relative to the frame's parent.
    const Matrix outer = open_.size() > 1 ? open_[open_.size() - 2].world : kIdentity;
    open_.back().world = Multiply(local, outer);
    return true;
  }
  if (type == "Mesh" && (in_frame || loose)) {
    XMesh mesh;
    mesh.name = name;
    mesh.top_level = loose;
    if (!ReadMesh(mesh)) return false;
    meshes_.push_back(std::move(mesh));
    const int32_t index = static_cast<int32_t>(meshes_.size() - 1);
    if (in_frame) {
      Placement placement;
      placement.mesh = index;
      placement.world = parent_world;
      placement.frame = open_.back().name;
      placements_.push_back(std::move(placement));
    }
    open_.push_back({Level::kMesh, index, kIdentity, name});
    return true;
  }
  if (parent == Level::kMesh) {
    XMesh& mesh = meshes_[static_cast<size_t>(open_.back().index)];
    if (type == "MeshNormals") return ReadNormals(mesh);
    if (type == "MeshTextureCoords") return ReadTexcoords(mesh);
    if (type == "MeshMaterialList") {
      if (!ReadMaterialList(mesh)) return false;
      open_.push_back({Level::kMaterialList, open_.back().index, kIdentity, name});
      return true;
    }
  }
  if (type == "Material" && (loose || parent == Level::kMaterialList)) {
    XMaterial material;
    material.name = name;
    if (!ReadMaterial(material)) return false;
    materials_.push_back(std::move(material));
    const int32_t index = static_cast<int32_t>(materials_.size() - 1);
    if (parent == Level::kMaterialList) {
      XMesh& mesh = meshes_[static_cast<size_t>(open_.back().index)];
      mesh.materials.push_back(index);
      mesh.material_names.emplace_back();
    }
    open_.push_back({Level::kMaterial, index, kIdentity, name});
    return true;
  }
  if ((type == "TextureFilename" || type == "TextureFileName") && parent == Level::kMaterial)
    return ReadTextureName(materials_[static_cast<size_t>(open_.back().index)]);
  ++skipped_;
  open_.push_back({Level::kOther, -1, parent_world, name});
  return true;
}

int32_t XReader::FindMaterial(const std::string& name) const {
  for (size_t i = 0; i < materials_.size(); ++i)
    if (materials_[i].name == name) return static_cast<int32_t>(i);
  return -1;
}

int32_t XReader::FindMesh(const std::string& name) const {
  for (size_t i = 0; i < meshes_.size(); ++i)
    if (!meshes_[i].name.empty() && meshes_[i].name == name) return static_cast<int32_t>(i);
  return -1;
}

int32_t XReader::StoreMaterial(XMaterial& material) {
  if (material.model_index >= 0) return material.model_index;
  const auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  model_.ResetMaterial();
  MaterialRecord built = model_.material;
  for (int k = 0; k < 3; ++k) {
    built.diffuse[k] = byte(material.diffuse[k]);
    built.ambient[k] = byte(material.diffuse[k]);
    built.specular[k] = byte(material.specular[k]);
    built.emissive[k] = byte(material.emissive[k]);
  }
  built.transparency = byte(material.diffuse[3]);
  built.shininess = static_cast<uint8_t>(std::clamp(material.power, 0.0, 255.0));
  if (!material.texture.empty()) {
    // Names are written on Windows: a relative one is taken from the
    // model's folder, and one found nowhere is looked for beside the model.
    const ConversionSettings& settings = model_.settings;
    const std::string folder(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
    const std::string& name = material.texture;
    std::string path = name;
    const bool absolute = name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':');
    if (!absolute) {
      std::replace(path.begin(), path.end(), '\\', '/');
      path = folder + path;
    }
    if (model_.companions && model_.companions->FindFile(path.c_str()).empty()) {
      const size_t slash = name.find_last_of("/\\");
      const std::string beside = folder + name.substr(slash == std::string::npos ? 0 : slash + 1);
      if (!model_.companions->FindFile(beside.c_str()).empty()) path = beside;
    }
    built.texture = model_.LoadTexture(path.c_str());
  }
  model_.material = built;
  model_.SetMaterialName(material.name.empty() ? "Material" : material.name.c_str());
  material.model_index = model_.AddMaterial();
  return material.model_index;
}

bool XReader::StoreMesh(XMesh& mesh, const Matrix& world, const std::string& frame) {
  if (!model_.NewObject()) return false;
  const std::string& name = !mesh.name.empty() ? mesh.name : !frame.empty() ? frame : std::string("Mesh");
  model_.SetObjectName(name.c_str());
  const uint32_t first = model_.vertexs_count;
  const bool texcoords = mesh.texcoords.size() == mesh.positions.size() && !mesh.texcoords.empty();
  for (size_t i = 0; i < mesh.positions.size(); ++i) {
    const Vec3d& p = mesh.positions[i];
    const double x = p.x * world[0] + p.y * world[4] + p.z * world[8] + world[12];
    const double y = p.x * world[1] + p.y * world[5] + p.z * world[9] + world[13];
    const double z = p.x * world[2] + p.y * world[6] + p.z * world[10] + world[14];
    // The vertex's index is the count before: only the count tells success.
    (void)model_.StoreVertex(x, y, z);
    if (model_.vertexs_count != first + i + 1)
      return Fail("too many vertices");
    if (texcoords) model_.SetVertexTexcoord(first + static_cast<uint32_t>(i), mesh.texcoords[i].u,
                                            mesh.texcoords[i].v);
  }
  if (texcoords) model_.vert_texcoords_present = 1;
  std::vector<int32_t> slots(mesh.materials.size(), -1);
  for (size_t i = 0; i < mesh.materials.size(); ++i) {
    int32_t index = mesh.materials[i];
    if (index < 0) {
      index = FindMaterial(mesh.material_names[i]);
      if (index < 0)
        LogFormatted(LOG_ERROR, "LoadX: material [%s] not found\n", mesh.material_names[i].c_str());
    }
    if (index >= 0) slots[i] = StoreMaterial(materials_[static_cast<size_t>(index)]);
  }
  const bool normals = mesh.normal_faces.size() == mesh.faces.size() && !mesh.normals.empty();
  std::vector<uint32_t> corners;
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const auto& face = mesh.faces[f];
    corners.clear();
    bool good = face.size() >= 3 && face.size() <= ModelData::kMaxPolygonPoints;
    for (uint32_t index : face) {
      if (index >= mesh.positions.size()) good = false;
      corners.push_back(first + index);
    }
    if (!good) {
      ++bad_faces_;
      continue;
    }
    const uint32_t polygon = model_.polygons_count;
    if (!model_.StorePolygon(static_cast<uint32_t>(corners.size()), corners.data()) ||
        model_.polygons_count != polygon + 1)
      return Fail("too many polygons");
    if (f < mesh.face_materials.size() && mesh.face_materials[f] < slots.size())
      model_.SetPolygonMaterial(polygon, slots[mesh.face_materials[f]]);
    else
      model_.SetPolygonMaterial(polygon, -1);
    if (!normals || mesh.normal_faces[f].size() != face.size()) continue;
    uint32_t point = 0, count = 0;
    if (!model_.ReadPolygonPointData(polygon, point, count) || count != face.size()) continue;
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t n = mesh.normal_faces[f][k];
      if (n >= mesh.normals.size()) continue;
      const Vec3d& v = mesh.normals[n];
      Vec3d turned{v.x * world[0] + v.y * world[4] + v.z * world[8], v.x * world[1] + v.y * world[5] + v.z * world[9],
                   v.x * world[2] + v.y * world[6] + v.z * world[10]};
      const double length = std::sqrt(turned.x * turned.x + turned.y * turned.y + turned.z * turned.z);
      if (length > 0) turned = {turned.x / length, turned.y / length, turned.z / length};
      model_.SetPointNormal(point + k, turned);
      model_.point_normals_present = 1;
    }
  }
  return true;
}

void XReader::Close() {
  if (open_.empty()) {
    LogMessage("LoadX: stray \"}\" ignored\n", LOG_ERROR);
    return;
  }
  open_.pop_back();
}

int XReader::Read() {
  std::string_view text;
  for (;;) {
    const Token token = tokens_.Next(text);
    if (token == Token::kEnd) break;
    if (token == Token::kSeparator || token == Token::kString) continue;
    if (token == Token::kClose) {
      Close();
      continue;
    }
    if (token == Token::kOpen) {
      if (!Reference(text)) return 0;
      continue;
    }
    const std::string type(text.substr(0, std::min(text.size(), kMaxName)));
    if (type == "xof" && open_.empty()) {
      // Files joined end to end: the next one's header goes on.
      LogMessage(" another header found, reading on\n", LOG_DETAIL);
      tokens_.SkipLine();
      continue;
    }
    if (!OpenObject(type)) return 0;
  }
  if (!open_.empty()) {
    Fail("unclosed braces");
    return 0;
  }
  for (Placement& placement : placements_) {
    int32_t mesh = placement.mesh;
    if (mesh < 0) mesh = FindMesh(placement.reference);
    if (mesh < 0) {
      LogFormatted(LOG_ERROR, "LoadX: mesh [%s] not found\n", placement.reference.c_str());
      continue;
    }
    meshes_[static_cast<size_t>(mesh)].placed = true;
    if (!StoreMesh(meshes_[static_cast<size_t>(mesh)], placement.world, placement.frame)) return 0;
  }
  // Meshes outside every frame and placed by none stand where they are.
  for (XMesh& mesh : meshes_)
    if (mesh.top_level && !mesh.placed && !StoreMesh(mesh, kIdentity, std::string())) return 0;
  if (bad_faces_)
    LogFormatted(LOG_ERROR, "LoadX: %" PRIu64 " faces with fewer than three corners or a corner out of range dropped\n",
                 bad_faces_);
  LogFormatted(LOG_DETAIL, " Meshes: %zu Materials: %zu Objects passed over: %" PRIu64 "\n", meshes_.size(),
               materials_.size(), skipped_);
  return 1;
}

}  // namespace

int LoadX(ModelData& model, FILE* file) {
  LogMessage("Loading from Direct X ascii...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadX")) return 0;
  ByteReader reader(bytes);
  const uint8_t* header = reader.Peek(kHeaderSize);
  if (!header || std::memcmp(header, "xof ", 4) != 0) {
    LogMessage("LoadX: not a DirectX file\n", LOG_ERROR);
    return 0;
  }
  const std::string_view format(reinterpret_cast<const char*>(header) + 8, 4);
  if (format == "bin " || format == "tzip" || format == "bzip") {
    LogFormatted(LOG_ERROR, "LoadX: binary and compressed DirectX files are not supported (format [%.4s])\n",
                 format.data());
    return 0;
  }
  if (format != "txt ") {
    LogFormatted(LOG_ERROR, "LoadX: unknown DirectX format [%.4s]\n", format.data());
    return 0;
  }
  reader.Skip(kHeaderSize);
  model.relative_writes = 0;
  XReader x(model, bytes.data() + kHeaderSize, bytes.size() - kHeaderSize);
  if (!x.Read()) return 0;
  // Left-handed, y up.
  model.SetModelOrientation(2, 0, 5);
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.FinishObjects();
  LogMessage("... x loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
