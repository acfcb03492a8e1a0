// dotXSI text models ("xsi 0300txt 0032" and later): a tree of templates
// "Type [name] { values, children }". Models (SI_Model) nest, each with a
// scale-rotation-translation (SI_Transform) relative to its parent, a
// material it hands down (SI_GlobalMaterial) and meshes. A mesh holds a
// shape (SI_Shape: arrays of positions, normals, colours and texture
// coordinates) and lists of triangles or polygons whose corners index those
// arrays, each list naming its material. Materials are the older
// SI_Material (colours, SI_Texture2D file) or XSI_Material, whose shaders
// carry the colours as named parameters and link textures to images of
// XSI_ImageLibrary. Every mesh becomes one model object, its positions moved
// into the scene by its models' transforms.
//
// The file is read whole and cut into tokens; templates are opened and
// closed through a bounded stack, and templates not understood are passed
// over word by word so that those nested inside them are still found.
// Nothing makes the reader recurse, and every count is checked against the
// bytes left before anything is sized.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/braced_text.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using braced_text::BracedText;
using braced_text::Token;

// Comments start with "//"; the reading starts on the line after the header.
constexpr braced_text::Syntax kSyntax{false, false, 2};

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxLevels = 64;
constexpr size_t kMaxName = 255;
// The fewest bytes a number can take in the file: a digit and a separator.
constexpr uint64_t kMinNumberBytes = 2;
constexpr uint32_t kNone = UINT32_MAX;
constexpr double kPi = 3.14159265358979323846;

// Column vectors: p' = M p, rows of [a b c translation].
using Matrix = std::array<double, 12>;
constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix result{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = c == 3 ? a[r * 4 + 3] : 0.0;
      for (int k = 0; k < 3; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
      result[r * 4 + c] = sum;
    }
  }
  return result;
}

// Scaling first, then the rotations about x, y and z in that order, then
// the translation.
Matrix FromSrt(const double srt[9], double angle_unit) {
  const double ax = srt[3] * angle_unit, ay = srt[4] * angle_unit, az = srt[5] * angle_unit;
  const Matrix scale = {srt[0], 0, 0, 0, 0, srt[1], 0, 0, 0, 0, srt[2], 0};
  const Matrix rx = {1, 0, 0, 0, 0, std::cos(ax), -std::sin(ax), 0, 0, std::sin(ax), std::cos(ax), 0};
  const Matrix ry = {std::cos(ay), 0, std::sin(ay), 0, 0, 1, 0, 0, -std::sin(ay), 0, std::cos(ay), 0};
  const Matrix rz = {std::cos(az), -std::sin(az), 0, 0, std::sin(az), std::cos(az), 0, 0, 0, 0, 1, 0};
  Matrix m = Multiply(rz, Multiply(ry, Multiply(rx, scale)));
  m[3] = srt[6];
  m[7] = srt[7];
  m[11] = srt[8];
  return m;
}

struct XsiMaterial {
  std::string name;
  double diffuse[3] = {0.7, 0.7, 0.7};
  double ambient[3] = {0.3, 0.3, 0.3};
  double specular[3] = {0, 0, 0};
  double emissive[3] = {0, 0, 0};
  double emissive_scale = 1;
  double transparency = 0;
  double shininess = -1;  // none given
  std::string image;      // an image of the library (on texture unit image_unit), or
  double image_unit = -1;
  std::string file;       // a picture file named directly
  int32_t model_index = -1;
};

struct XsiNode {
  std::string name;
  int32_t parent = -1;
  double srt[9] = {1, 1, 1, 0, 0, 0, 0, 0, 0};
  std::string material;
  bool framed = false;  // placed by a matrix (older files' frames)
  Matrix matrix = kIdentity;
};

struct Vec2 {
  double u, v;
};

// Faces of a mesh with every corner's indexes into the shape's arrays.
struct XsiMesh {
  int32_t node = -1;
  std::string name;
  bool shaped = false;
  std::vector<Vec3d> positions;
  std::vector<Vec3d> normals;
  std::vector<Vec2> uvs;
  std::vector<uint32_t> corner_counts;
  std::vector<uint32_t> face_lists;  // the list each face came from
  std::vector<uint32_t> position_corners, normal_corners, uv_corners;
  std::vector<std::string> list_materials;
  std::vector<uint32_t> face_starts;  // older meshes: each face's first corner
};

enum class Level { kModel, kMesh, kOldMesh, kMaterialList, kXsiMaterial, kSiMaterial, kShader, kOther };

struct Open {
  Level level;
  int32_t index;
};

class XsiReader {
 public:
  XsiReader(ModelData& model, const uint8_t* data, size_t size)
      : model_(model), tokens_(data, size, kSyntax, "LoadXsi") {}
  int Read();

 private:
  bool Fail(const char* why) { return tokens_.Fail(why); }
  Token NextValue(std::string_view& text) { return tokens_.NextValue(text); }
  bool Number(double& value) { return tokens_.Number(value); }
  bool Index(uint32_t& value);
  bool Count(uint64_t& value, uint64_t min_bytes_each) { return tokens_.Count(value, min_bytes_each); }
  bool String(std::string& value);
  bool OptionalString(std::string& value);
  bool OpenObject(std::string_view type);
  bool SkipBlock();
  bool ReadShape(XsiMesh& mesh);
  bool ReadFaceList(XsiMesh& mesh, bool polygons);
  bool ReadOldMesh(XsiMesh& mesh);
  bool ReadOldCorners(XsiMesh& mesh, bool normals);
  bool ReadOldMaterialList(XsiMesh& mesh);
  bool ReadSiMaterial(XsiMaterial& material);
  bool ReadShader(XsiMaterial& material);
  int32_t FindMaterial(const std::string& name) const;
  int32_t StoreMaterial(XsiMaterial& material);
  std::string TexturePath(const std::string& name) const;
  Matrix WorldOf(int32_t node) const;
  std::string MaterialOf(int32_t node) const;
  bool StoreMesh(XsiMesh& mesh);
  void SetOrientation();

  ModelData& model_;
  BracedText tokens_;
  std::vector<Open> open_;
  std::vector<XsiNode> nodes_;
  std::vector<XsiMesh> meshes_;
  std::vector<XsiMaterial> materials_;
  std::unordered_map<std::string, std::string> images_;
  int32_t axes_[6] = {1, 0, 1, 0, 2, 5};  // hand, u, v, x, y, z as the file states them
  double angle_unit_ = kPi / 180.0;
  uint64_t skipped_ = 0;
  uint64_t bad_faces_ = 0;
  uint64_t missing_materials_ = 0;
};

// An index into an array; a negative or huge one becomes kNone.
bool XsiReader::Index(uint32_t& value) {
  double number = 0;
  if (!Number(number)) return false;
  value = number >= 0 && number < 4294967295.0 ? static_cast<uint32_t>(number) : kNone;
  return true;
}

bool XsiReader::String(std::string& value) {
  std::string_view text;
  if (NextValue(text) != Token::kString) return Fail("quoted text expected");
  value.assign(text.substr(0, std::min(text.size(), kMaxName)));
  return true;
}

// A quoted text that later versions add to a template; absent in older ones.
bool XsiReader::OptionalString(std::string& value) {
  std::string_view text;
  value.clear();
  if (tokens_.Peek(text) != Token::kString) return true;
  return String(value);
}

// "nbArrays, layout, then per array: count, kind, [projection], values".
bool XsiReader::ReadShape(XsiMesh& mesh) {
  uint64_t arrays = 0;
  std::string layout;
  if (!Count(arrays, kMinNumberBytes) || !String(layout)) return false;
  const bool indexed = layout == "INDEXED";
  const bool keep = !mesh.shaped;  // later shapes are shape animation
  mesh.shaped = true;
  for (uint64_t a = 0; a < arrays; ++a) {
    uint64_t count = 0;
    std::string kind, projection;
    if (!Count(count, kMinNumberBytes) || !String(kind)) return false;
    const bool uv = kind.rfind("TEX_COORD_UV", 0) == 0;
    if (uv && !OptionalString(projection)) return false;
    uint64_t dimensions = 0;
    if (kind == "POSITION" || kind == "NORMAL")
      dimensions = 3;
    else if (kind == "COLOR")
      dimensions = 4;
    else if (uv)
      dimensions = 2;
    else
      return Fail("unknown shape array");
    if (indexed) ++dimensions;
    if (count > tokens_.Remaining() / (dimensions * kMinNumberBytes)) return Fail("count larger than the file");
    const bool positions = keep && kind == "POSITION" && mesh.positions.empty();
    const bool normals = keep && kind == "NORMAL" && mesh.normals.empty();
    const bool texcoords = keep && uv && mesh.uvs.empty();
    double values[5] = {0, 0, 0, 0, 0};
    for (uint64_t i = 0; i < count; ++i) {
      for (uint64_t k = 0; k < dimensions; ++k)
        if (!Number(values[k])) return false;
      const double* v = indexed ? values + 1 : values;
      if (positions) mesh.positions.push_back({v[0], v[1], v[2]});
      if (normals) mesh.normals.push_back({v[0], v[1], v[2]});
      if (texcoords) mesh.uvs.push_back({v[0], v[1]});
    }
  }
  return true;
}

// SI_TriangleList and SI_PolygonList: "count, elements, [material],
// ([total corners, corners of each polygon]), then index blocks for the
// positions and for each element named".
bool XsiReader::ReadFaceList(XsiMesh& mesh, bool polygons) {
  uint64_t faces = 0;
  std::string elements, material;
  if (!Count(faces, kMinNumberBytes) || !String(elements) || !OptionalString(material)) return false;
  const uint32_t list = static_cast<uint32_t>(mesh.list_materials.size());
  mesh.list_materials.push_back(material);
  uint64_t total = 3 * faces;
  std::vector<uint32_t> counts(faces, 3);
  if (polygons) {
    if (!Count(total, kMinNumberBytes)) return false;
    uint64_t sum = 0;
    for (uint32_t& c : counts) {
      if (!Index(c)) return false;
      if (c == kNone) return Fail("polygon corner count out of range");
      sum += c;
    }
    if (sum != total) return Fail("polygon corners do not add up to the total");
  }
  if (total > tokens_.Remaining() / kMinNumberBytes) return Fail("count larger than the file");
  // The blocks present, in file order: normals, colours, then each set of
  // texture coordinates; only the first set is kept.
  bool normals = false, colours = false;
  uint32_t uv_sets = 0;
  size_t start = 0;
  while (start <= elements.size()) {
    const size_t bar = std::min(elements.find('|', start), elements.size());
    const std::string_view element = std::string_view(elements).substr(start, bar - start);
    if (element == "NORMAL") normals = true;
    else if (element == "COLOR") colours = true;
    else if (element.rfind("TEX_COORD_UV", 0) == 0) ++uv_sets;
    start = bar + 1;
  }
  const size_t first = mesh.position_corners.size();
  mesh.position_corners.resize(first + total);
  mesh.normal_corners.resize(first + total, kNone);
  mesh.uv_corners.resize(first + total, kNone);
  for (uint64_t i = 0; i < total; ++i)
    if (!Index(mesh.position_corners[first + i])) return false;
  if (normals)
    for (uint64_t i = 0; i < total; ++i)
      if (!Index(mesh.normal_corners[first + i])) return false;
  uint32_t ignored = 0;
  if (colours)
    for (uint64_t i = 0; i < total; ++i)
      if (!Index(ignored)) return false;
  for (uint32_t set = 0; set < uv_sets; ++set)
    for (uint64_t i = 0; i < total; ++i)
      if (!Index(set == 0 ? mesh.uv_corners[first + i] : ignored)) return false;
  for (uint32_t c : counts) {
    mesh.corner_counts.push_back(c);
    mesh.face_lists.push_back(list);
  }
  return true;
}

// Older files (frames holding meshes): "count; positions; count; faces of
// corner count; corners", semicolons and commas alike as separators.
bool XsiReader::ReadOldMesh(XsiMesh& mesh) {
  uint64_t count = 0;
  if (!Count(count, 3 * kMinNumberBytes)) return false;
  mesh.positions.resize(count);
  for (Vec3d& p : mesh.positions)
    if (!Number(p.x) || !Number(p.y) || !Number(p.z)) return false;
  if (!Count(count, kMinNumberBytes)) return false;
  for (uint64_t f = 0; f < count; ++f) {
    uint64_t corners = 0;
    if (!Count(corners, kMinNumberBytes)) return false;
    mesh.face_starts.push_back(static_cast<uint32_t>(mesh.position_corners.size()));
    mesh.corner_counts.push_back(static_cast<uint32_t>(corners));
    mesh.face_lists.push_back(0);
    for (uint64_t k = 0; k < corners; ++k) {
      uint32_t index = 0;
      if (!Index(index)) return false;
      mesh.position_corners.push_back(index);
    }
  }
  mesh.normal_corners.assign(mesh.position_corners.size(), kNone);
  mesh.uv_corners.assign(mesh.position_corners.size(), kNone);
  mesh.list_materials.assign(1, std::string());
  return true;
}

// SI_MeshNormals and SI_MeshTextureCoords: "count; values; count; faces
// of polygon index; corner count; corners".
bool XsiReader::ReadOldCorners(XsiMesh& mesh, bool normals) {
  uint64_t count = 0;
  if (!Count(count, (normals ? 3 : 2) * kMinNumberBytes)) return false;
  if (normals) {
    mesh.normals.resize(count);
    for (Vec3d& n : mesh.normals)
      if (!Number(n.x) || !Number(n.y) || !Number(n.z)) return false;
  } else {
    mesh.uvs.resize(count);
    for (Vec2& t : mesh.uvs)
      if (!Number(t.u) || !Number(t.v)) return false;
  }
  if (!Count(count, 2 * kMinNumberBytes)) return false;
  std::vector<uint32_t>& corners = normals ? mesh.normal_corners : mesh.uv_corners;
  for (uint64_t f = 0; f < count; ++f) {
    uint32_t face = 0;
    uint64_t given = 0;
    if (!Index(face) || !Count(given, kMinNumberBytes)) return false;
    const bool known = face < mesh.face_starts.size() && given == mesh.corner_counts[face];
    for (uint64_t k = 0; k < given; ++k) {
      uint32_t index = 0;
      if (!Index(index)) return false;
      if (known) corners[mesh.face_starts[face] + k] = index;
    }
  }
  return true;
}

// MeshMaterialList: "materials; faces; each face's material", then the
// materials themselves in that order.
bool XsiReader::ReadOldMaterialList(XsiMesh& mesh) {
  uint64_t materials = 0, count = 0;
  if (!Count(materials, kMinNumberBytes) || !Count(count, kMinNumberBytes)) return false;
  std::vector<uint32_t> slots(count);
  for (uint32_t& slot : slots)
    if (!Index(slot)) return false;
  // Fewer given than faces: the last one goes on.
  for (size_t f = 0; f < mesh.face_lists.size() && !slots.empty(); ++f)
    mesh.face_lists[f] = slots[std::min(f, slots.size() - 1)];
  mesh.list_materials.clear();
  return true;
}

// "diffuse r, g, b, a, power, specular r, g, b, emissive r, g, b, shading
// model, ambient r, g, b".
bool XsiReader::ReadSiMaterial(XsiMaterial& material) {
  double alpha = 0, shading = 0;
  for (double& v : material.diffuse)
    if (!Number(v)) return false;
  if (!Number(alpha) || !Number(material.shininess)) return false;
  for (double& v : material.specular)
    if (!Number(v)) return false;
  for (double& v : material.emissive)
    if (!Number(v)) return false;
  if (!Number(shading)) return false;
  for (double& v : material.ambient)
    if (!Number(v)) return false;
  return true;
}

// "program id, three counts", then triples: parameters (name, type, value)
// and connections (name, source, kind). Colours come from the parameters,
// the texture from a connection to an image: the one on the first texture
// unit ("target" 0) when several are chained, else the first.
bool XsiReader::ReadShader(XsiMaterial& material) {
  std::string program;
  double counts[3] = {0, 0, 0};
  if (!String(program)) return false;
  for (double& c : counts)
    if (!Number(c)) return false;
  std::string image;
  double unit = 0;
  for (;;) {
    std::string_view first;
    if (tokens_.Peek(first) != Token::kString) break;  // the rest is passed over as data
    std::string name, middle;
    if (!String(name) || !String(middle)) return false;
    std::string_view third;
    const Token token = NextValue(third);
    if (token != Token::kString && token != Token::kName) return Fail("shader parameter value expected");
    if (token == Token::kString) {
      if (third == "IMAGE" && image.empty() && !middle.empty()) image = middle;
      continue;
    }
    bool ok = false;
    const double value = model_text::ParseDouble(third, &ok);
    if (!ok) continue;
    static constexpr const char* kChannels[] = {".red", ".green", ".blue"};
    for (int k = 0; k < 3; ++k) {
      if (name == std::string("diffuse") + kChannels[k]) material.diffuse[k] = value;
      if (name == std::string("ambient") + kChannels[k]) material.ambient[k] = value;
      if (name == std::string("specular") + kChannels[k]) material.specular[k] = value;
      if (name == std::string("incandescence") + kChannels[k]) material.emissive[k] = value;
    }
    if (name == "inc_inten") material.emissive_scale = value;
    if (name == "shiny") material.shininess = value;
    if (name == "transparency.red") material.transparency = value;
    if (name == "target") unit = value;
  }
  if (!image.empty() && (material.image.empty() || (unit == 0 && material.image_unit != 0))) {
    material.image = image;
    material.image_unit = unit;
  }
  return true;
}

// Passes over the rest of a template whose "{" was read.
bool XsiReader::SkipBlock() {
  ++skipped_;
  return tokens_.SkipBlock();
}

bool XsiReader::OpenObject(std::string_view type) {
  std::string_view text;
  std::string name;
  const BracedText after_type = tokens_;
  Token token = tokens_.Next(text);
  if (token == Token::kName) {
    name.assign(text.substr(0, std::min(text.size(), kMaxName)));
    token = tokens_.Next(text);
  }
  if (token != Token::kOpen) {
    // Not a template: a word of the data of the one around it.
    tokens_ = after_type;
    return true;
  }
  if (open_.size() >= kMaxLevels) return SkipBlock();
  const Level parent = open_.empty() ? Level::kOther : open_.back().level;
  const int32_t parent_index = open_.empty() ? -1 : open_.back().index;
  if (type == "SI_Model") {
    XsiNode node;
    node.name = name.rfind("MDL-", 0) == 0 ? name.substr(4) : name;
    // A model inside something else than a model stands in the scene.
    node.parent = parent == Level::kModel ? parent_index : -1;
    nodes_.push_back(std::move(node));
    open_.push_back({Level::kModel, static_cast<int32_t>(nodes_.size() - 1)});
    return true;
  }
  if (type == "Frame") {
    XsiNode node;
    node.name = name.rfind("frm-", 0) == 0 ? name.substr(4) : name;
    node.parent = parent == Level::kModel ? parent_index : -1;
    node.framed = true;
    nodes_.push_back(std::move(node));
    open_.push_back({Level::kModel, static_cast<int32_t>(nodes_.size() - 1)});
    return true;
  }
  if (type == "FrameTransformMatrix" && parent == Level::kModel) {
    // Row vectors in the file: the translation is the last row.
    double m[16];
    for (double& v : m)
      if (!Number(v)) return false;
    Matrix& matrix = nodes_[static_cast<size_t>(parent_index)].matrix;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) matrix[static_cast<size_t>(r * 4 + c)] = m[c * 4 + r];
  } else if (type == "Mesh" && (parent == Level::kModel || open_.empty())) {
    XsiMesh mesh;
    mesh.node = parent == Level::kModel ? parent_index : -1;
    mesh.name = name;
    if (!ReadOldMesh(mesh)) return false;
    meshes_.push_back(std::move(mesh));
    open_.push_back({Level::kOldMesh, static_cast<int32_t>(meshes_.size() - 1)});
    return true;
  } else if ((type == "SI_MeshNormals" || type == "SI_MeshTextureCoords") && parent == Level::kOldMesh) {
    if (!ReadOldCorners(meshes_[static_cast<size_t>(parent_index)], type == "SI_MeshNormals")) return false;
  } else if (type == "MeshMaterialList" && parent == Level::kOldMesh) {
    if (!ReadOldMaterialList(meshes_[static_cast<size_t>(parent_index)])) return false;
    open_.push_back({Level::kMaterialList, parent_index});
    return true;
  } else if (type == "SI_Transform" && parent == Level::kModel) {
    for (double& v : nodes_[static_cast<size_t>(parent_index)].srt)
      if (!Number(v)) return false;
  } else if (type == "SI_GlobalMaterial" && parent == Level::kModel) {
    if (!String(nodes_[static_cast<size_t>(parent_index)].material)) return false;
  } else if (type == "SI_Mesh" && parent == Level::kModel) {
    XsiMesh mesh;
    mesh.node = parent_index;
    mesh.name = name.rfind("MSH-", 0) == 0 ? name.substr(4) : name;
    meshes_.push_back(std::move(mesh));
    open_.push_back({Level::kMesh, static_cast<int32_t>(meshes_.size() - 1)});
    return true;
  } else if (type == "SI_Shape" && parent == Level::kMesh) {
    if (!ReadShape(meshes_[static_cast<size_t>(parent_index)])) return false;
  } else if ((type == "SI_TriangleList" || type == "SI_PolygonList") && parent == Level::kMesh) {
    if (!ReadFaceList(meshes_[static_cast<size_t>(parent_index)], type == "SI_PolygonList")) return false;
  } else if (type == "SI_CoordinateSystem" && open_.empty()) {
    for (int32_t& v : axes_) {
      uint32_t value = 0;
      if (!Index(value)) return false;
      v = value <= 5 ? static_cast<int32_t>(value) : -1;
    }
  } else if (type == "SI_Angle" && open_.empty()) {
    double unit = 0;
    if (!Number(unit)) return false;
    angle_unit_ = unit == 1 ? 1.0 : kPi / 180.0;
  } else if (type == "SI_Material" || type == "XSI_Material") {
    XsiMaterial material;
    material.name = name;
    if (type == "SI_Material" && !ReadSiMaterial(material)) return false;
    if (parent == Level::kMaterialList) {
      // A mesh's own material, found by a name of its own.
      XsiMesh& mesh = meshes_[static_cast<size_t>(parent_index)];
      if (material.name.empty())
        material.name = "\x01" + std::to_string(meshes_.size()) + "." + std::to_string(mesh.list_materials.size());
      mesh.list_materials.push_back(material.name);
    }
    materials_.push_back(std::move(material));
    const Level level = type == "SI_Material" ? Level::kSiMaterial : Level::kXsiMaterial;
    open_.push_back({level, static_cast<int32_t>(materials_.size() - 1)});
    return true;
  } else if (type == "XSI_Shader" && parent == Level::kXsiMaterial) {
    if (!ReadShader(materials_[static_cast<size_t>(parent_index)])) return false;
    open_.push_back({Level::kShader, parent_index});
    return true;
  } else if (type == "SI_Texture2D" && parent == Level::kSiMaterial) {
    XsiMaterial& material = materials_[static_cast<size_t>(parent_index)];
    std::string file;
    if (!String(file)) return false;
    if (material.file.empty()) material.file = file;
  } else if (type == "XSI_Image") {
    std::string file;
    if (!String(file)) return false;
    images_.emplace(name, file);
  } else {
    ++skipped_;
  }
  open_.push_back({Level::kOther, parent_index});
  return true;
}

int32_t XsiReader::FindMaterial(const std::string& name) const {
  for (size_t i = 0; i < materials_.size(); ++i)
    if (materials_[i].name == name) return static_cast<int32_t>(i);
  // Names may be given with or without their library in front.
  const auto last_part = [](const std::string& text) {
    const size_t dot = text.find_last_of('.');
    return dot == std::string::npos ? text : text.substr(dot + 1);
  };
  for (size_t i = 0; i < materials_.size(); ++i)
    if (!name.empty() && last_part(materials_[i].name) == last_part(name)) return static_cast<int32_t>(i);
  return -1;
}

// Picture names are relative to the model's folder; files exported with
// their models often keep pictures in a Textures folder beside the models'.
std::string XsiReader::TexturePath(const std::string& name) const {
  const ConversionSettings& settings = model_.settings;
  const std::string folder(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  const bool absolute = !path.empty() && (path[0] == '/' || (path.size() > 1 && path[1] == ':'));
  if (!absolute) path = folder + path;
  if (!model_.companions) return path;
  const size_t slash = name.find_last_of("/\\");
  const std::string base = name.substr(slash == std::string::npos ? 0 : slash + 1);
  for (const std::string& candidate :
       {path, folder + base, folder + "../Textures/" + base, folder + "Textures/" + base, folder + "../" + base})
    if (!model_.companions->FindFile(candidate.c_str()).empty()) return candidate;
  return path;
}

int32_t XsiReader::StoreMaterial(XsiMaterial& material) {
  if (material.model_index >= 0) return material.model_index;
  const auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  model_.ResetMaterial();
  MaterialRecord built = model_.material;
  for (int k = 0; k < 3; ++k) {
    built.diffuse[k] = byte(material.diffuse[k]);
    built.ambient[k] = byte(material.ambient[k]);
    built.specular[k] = byte(material.specular[k]);
    built.emissive[k] = byte(material.emissive[k] * material.emissive_scale);
  }
  built.transparency = static_cast<uint8_t>(255 - byte(material.transparency));
  if (material.shininess >= 0) built.shininess = static_cast<uint8_t>(std::min(material.shininess, 255.0) + 0.5);
  std::string file = material.file;
  if (!material.image.empty()) {
    const auto found = images_.find(material.image);
    if (found != images_.end())
      file = found->second;
    else
      LogFormatted(LOG_ERROR, "LoadXsi: image [%s] not in the image library\n", material.image.c_str());
  }
  if (!file.empty()) built.texture = model_.LoadTexture(TexturePath(file).c_str());
  model_.material = built;
  const bool unnamed = material.name.empty() || material.name[0] == '\x01';
  model_.SetMaterialName(unnamed ? "Material" : material.name.c_str());
  material.model_index = model_.AddMaterial();
  return material.model_index;
}

Matrix XsiReader::WorldOf(int32_t node) const {
  Matrix world = kIdentity;
  // Bounded by the node count: a parent always comes before its child.
  for (size_t steps = 0; node >= 0 && steps <= nodes_.size(); ++steps) {
    const XsiNode& n = nodes_[static_cast<size_t>(node)];
    world = Multiply(n.framed ? n.matrix : FromSrt(n.srt, angle_unit_), world);
    node = n.parent;
  }
  return world;
}

// The material a model gives its meshes: its own, else its parents'.
std::string XsiReader::MaterialOf(int32_t node) const {
  for (size_t steps = 0; node >= 0 && steps <= nodes_.size(); ++steps) {
    const XsiNode& n = nodes_[static_cast<size_t>(node)];
    if (!n.material.empty()) return n.material;
    node = n.parent;
  }
  return std::string();
}

bool XsiReader::StoreMesh(XsiMesh& mesh) {
  if (mesh.corner_counts.empty()) return true;
  if (!model_.NewObject()) return false;
  const std::string& name = !mesh.name.empty() ? mesh.name : mesh.node >= 0 ? nodes_[static_cast<size_t>(mesh.node)].name
                                                                             : std::string("Mesh");
  model_.SetObjectName(name.c_str());
  const Matrix world = WorldOf(mesh.node);
  // Normals turn with the inverse transpose, here the cofactors.
  const double* m = world.data();
  const double normal_matrix[9] = {
      m[5] * m[10] - m[6] * m[9], m[6] * m[8] - m[4] * m[10], m[4] * m[9] - m[5] * m[8],
      m[2] * m[9] - m[1] * m[10], m[0] * m[10] - m[2] * m[8], m[1] * m[8] - m[0] * m[9],
      m[1] * m[6] - m[2] * m[5],  m[2] * m[4] - m[0] * m[6],  m[0] * m[5] - m[1] * m[4]};
  const uint32_t first = model_.vertexs_count;
  for (size_t i = 0; i < mesh.positions.size(); ++i) {
    const Vec3d& p = mesh.positions[i];
    (void)model_.StoreVertex(m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
                             m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]);
    // The vertex's index is the count before: only the count tells success.
    if (model_.vertexs_count != first + i + 1) return Fail("too many vertices");
  }
  std::vector<int32_t> slots(mesh.list_materials.size(), -1);
  const std::string inherited = MaterialOf(mesh.node);
  for (size_t l = 0; l < slots.size(); ++l) {
    const std::string& wanted = mesh.list_materials[l].empty() ? inherited : mesh.list_materials[l];
    if (wanted.empty()) continue;
    const int32_t index = FindMaterial(wanted);
    if (index < 0) {
      LogFormatted(LOG_ERROR, "LoadXsi: material [%s] not found\n", wanted.c_str());
      ++missing_materials_;
      continue;
    }
    slots[l] = StoreMaterial(materials_[static_cast<size_t>(index)]);
  }
  const bool flip_u = axes_[1] == 1, flip_v = axes_[2] == 1;
  std::vector<uint32_t> corners;
  size_t at = 0;
  for (size_t f = 0; f < mesh.corner_counts.size(); ++f) {
    const uint32_t count = mesh.corner_counts[f];
    const size_t start = at;
    at += count;
    bool good = count >= 3 && count <= ModelData::kMaxPolygonPoints;
    corners.clear();
    for (size_t k = start; good && k < at; ++k) {
      const uint32_t index = mesh.position_corners[k];
      if (index >= mesh.positions.size()) good = false;
      corners.push_back(first + index);
    }
    if (!good) {
      ++bad_faces_;
      continue;
    }
    const uint32_t polygon = model_.polygons_count;
    if (!model_.StorePolygon(count, corners.data()) || model_.polygons_count != polygon + 1)
      return Fail("too many polygons");
    model_.SetPolygonMaterial(polygon, mesh.face_lists[f] < slots.size() ? slots[mesh.face_lists[f]] : -1);
    uint32_t point = 0, points = 0;
    if (!model_.ReadPolygonPointData(polygon, point, points) || points != count) continue;
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t n = mesh.normal_corners[start + k];
      if (n < mesh.normals.size()) {
        const Vec3d& v = mesh.normals[n];
        const double* c = normal_matrix;
        Vec3d turned{c[0] * v.x + c[1] * v.y + c[2] * v.z, c[3] * v.x + c[4] * v.y + c[5] * v.z,
                     c[6] * v.x + c[7] * v.y + c[8] * v.z};
        const double length = std::sqrt(turned.x * turned.x + turned.y * turned.y + turned.z * turned.z);
        if (length > 0) turned = {turned.x / length, turned.y / length, turned.z / length};
        model_.SetPointNormal(point + k, turned);
        model_.point_normals_present = 1;
      }
      const uint32_t t = mesh.uv_corners[start + k];
      if (t < mesh.uvs.size()) {
        // Pictures are stored top row first.
        const double u = flip_u ? 1.0 - mesh.uvs[t].u : mesh.uvs[t].u;
        const double v = flip_v ? 1.0 - mesh.uvs[t].v : mesh.uvs[t].v;
        model_.SetPointTexcoord(point + k, u, v);
        model_.point_texcoords_present = 1;
      }
    }
  }
  return true;
}

// The file's axes (0 right, 1 left, 2 up, 3 down, 4 in, 5 out) as the
// model's first (up), second (right) and third (towards the viewer)
// directions.
void XsiReader::SetOrientation() {
  int32_t codes[3] = {-1, -1, -1};
  for (int32_t axis = 0; axis < 3; ++axis) {
    const int32_t direction = axes_[3 + axis];
    if (direction < 0) break;
    static constexpr int32_t kSlot[6] = {1, 1, 0, 0, 2, 2};
    const bool negative = direction == 1 || direction == 3 || direction == 4;
    codes[kSlot[direction]] = 2 * axis + (negative ? 1 : 0);
  }
  if (codes[0] < 0 || codes[1] < 0 || codes[2] < 0 || !model_.SetModelOrientation(codes[0], codes[1], codes[2])) {
    LogMessage("LoadXsi: coordinate system not understood, taken as x right, y up, z out\n", LOG_ERROR);
    model_.SetModelOrientation(2, 0, 4);
  }
}

int XsiReader::Read() {
  std::string_view text;
  for (;;) {
    const Token token = tokens_.Next(text);
    if (token == Token::kEnd) break;
    if (token == Token::kSeparator || token == Token::kString) continue;
    if (token == Token::kOpen) {
      // A block without a type: passed over as one not understood.
      if (open_.size() >= kMaxLevels) {
        if (!SkipBlock()) return 0;
      } else {
        open_.push_back({Level::kOther, -1});
      }
      continue;
    }
    if (token == Token::kClose) {
      if (open_.empty())
        LogMessage("LoadXsi: stray \"}\" ignored\n", LOG_ERROR);
      else
        open_.pop_back();
      continue;
    }
    const std::string type(text.substr(0, std::min(text.size(), kMaxName)));
    if (!OpenObject(type)) return 0;
  }
  if (!open_.empty()) {
    Fail("unclosed braces");
    return 0;
  }
  SetOrientation();
  for (XsiMesh& mesh : meshes_)
    if (!StoreMesh(mesh)) return 0;
  if (bad_faces_)
    LogFormatted(LOG_ERROR, "LoadXsi: %" PRIu64 " faces with fewer than three corners or a corner out of range dropped\n",
                 bad_faces_);
  LogFormatted(LOG_DETAIL, " Models: %zu Meshes: %zu Materials: %zu Templates passed over: %" PRIu64 "\n",
               nodes_.size(), meshes_.size(), materials_.size(), skipped_);
  return 1;
}

// ---- Saving ----------------------------------------------------------------

// A name as it can stand unquoted after a template's type.
std::string TemplateName(std::string_view name) {
  std::string text(name);
  for (char& c : text)
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '{' || c == '}' || c == ',' || c == ';') c = '_';
  return text;
}

double Written(double value) { return value == kUnsetValue ? 0.0 : value; }

void Template(model_text::TextWriter& out, int depth, std::string_view type, std::string_view name) {
  for (int i = 0; i < depth; ++i) out.Char('\t');
  out.Text(type);
  if (!name.empty()) out.Char(' ').Text(name);
  out.Text(" { \n");
}

void Close(model_text::TextWriter& out, int depth) {
  for (int i = 0; i < depth; ++i) out.Char('\t');
  out.Text("}\n\n");
}

void Value(model_text::TextWriter& out, int depth, double value) {
  for (int i = 0; i < depth; ++i) out.Char('\t');
  out.Fixed(value).Text(", \n");
}

void Whole(model_text::TextWriter& out, int depth, uint64_t value) {
  for (int i = 0; i < depth; ++i) out.Char('\t');
  out.Unsigned(value).Text(", \n");
}

void Quoted(model_text::TextWriter& out, int depth, std::string_view text) {
  for (int i = 0; i < depth; ++i) out.Char('\t');
  out.Char('"').Text(text).Text("\", \n");
}

void Parameter(model_text::TextWriter& out, std::string_view name, double value) {
  out.Text("\t\t\t\"").Text(name).Text("\",\"FLOAT\",").Fixed(value).Text(",\n");
}

struct SavedMaterial {
  std::string name;
  std::string image;  // empty without a texture
};

void WriteMaterial(ModelData& model, model_text::TextWriter& out, uint32_t index, const SavedMaterial& saved) {
  model.GetMaterial(index);
  const MaterialRecord m = model.material;
  const bool textured = !saved.image.empty();
  Template(out, 1, "XSI_Material", saved.name);
  out.Text("\t\t10, \n");
  const char* slots[] = {"surface", "volume", "environment", "contour", "displacement",
                         "shadow",  "Photon", "PhotonVolume", "normal",  "RealTime"};
  for (const char* slot : slots) {
    const bool surface = std::strcmp(slot, "surface") == 0 || std::strcmp(slot, "shadow") == 0 ||
                         std::strcmp(slot, "Photon") == 0;
    const char* shader = surface ? "Phong" : std::strcmp(slot, "RealTime") == 0 && textured ? "OGL13Draw" : "";
    out.Text("\t\t\"").Text(slot).Text("\",\"").Text(shader).Text("\",\n");
  }
  Template(out, 2, "XSI_Shader", "Phong");
  Quoted(out, 3, "Softimage.material-phong.1");
  Whole(out, 3, 4);
  Whole(out, 3, 19);
  Whole(out, 3, 0);
  out.Text("\t\t\t\"Name\",\"STRING\",\"Phong\",\n");
  const char* channels[] = {".red", ".green", ".blue"};
  const auto colour = [&](const char* what, const uint8_t* rgb) {
    for (int k = 0; k < 3; ++k) Parameter(out, std::string(what) + channels[k], rgb[k] / 255.0);
  };
  colour("ambient", m.ambient);
  colour("diffuse", m.diffuse);
  colour("specular", m.specular);
  Parameter(out, "shiny", m.shininess);
  const double clear = 1.0 - m.transparency / 255.0;
  for (const char* channel : channels) Parameter(out, std::string("transparency") + channel, clear);
  colour("incandescence", m.emissive);
  Parameter(out, "inc_inten", 1.0);
  Close(out, 2);
  if (textured) {
    Template(out, 2, "XSI_Shader", "OGL13Draw");
    Quoted(out, 3, "Softimage.OGL13Draw.1");
    Whole(out, 3, 0);
    Whole(out, 3, 1);
    Whole(out, 3, 1);
    out.Text("\t\t\t\"Name\",\"STRING\",\"OGL13Draw\",\n");
    out.Text("\t\t\t\"previous\",\"OGL13Texture\",\"SHADER\",\n");
    Close(out, 2);
    Template(out, 2, "XSI_Shader", "OGL13Texture");
    Quoted(out, 3, "Softimage.OGL13Texture.1");
    Whole(out, 3, 0);
    Whole(out, 3, 1);
    Whole(out, 3, 1);
    out.Text("\t\t\t\"Name\",\"STRING\",\"OGL13Texture\",\n");
    out.Text("\t\t\t\"Texture\",\"").Text(saved.image).Text("\",\"IMAGE\",\n");
    Close(out, 2);
  }
  Template(out, 2, "XSI_MaterialInfo", "");
  Whole(out, 3, 1);
  Whole(out, 3, 1);
  Close(out, 2);
  Close(out, 1);
}

struct ObjectFaces {
  std::vector<uint32_t> polygons;          // the polygons written, in point order
  std::vector<std::vector<uint32_t>> lists;  // indexes into `polygons` by material
  std::vector<int32_t> list_materials;
};

// The polygons of an object that can be written (every corner a vertex of
// the object), grouped by material in order of first use.
ObjectFaces FacesOf(ModelData& model, const ObjectRecord& object, uint64_t* left_out) {
  ObjectFaces faces;
  for (uint32_t p = 0; p < object.polygon_count; ++p) {
    const uint32_t polygon = object.first_polygon + p;
    uint32_t first = 0, count = 0;
    bool good = model.ReadPolygonPointData(polygon, first, count) && count >= 3;
    for (uint32_t k = 0; k < count && good; ++k) {
      const uint32_t vertex = model.GetPointVertex(first + k);
      good = vertex >= object.first_vertex && vertex - object.first_vertex < object.vertex_count;
    }
    if (!good) {
      ++*left_out;
      continue;
    }
    int32_t material = model.GetPolygonMaterial(polygon);
    if (material >= 0 && static_cast<uint32_t>(material) >= model.materials_count) material = -1;
    size_t list = 0;
    while (list < faces.list_materials.size() && faces.list_materials[list] != material) ++list;
    if (list == faces.list_materials.size()) {
      faces.list_materials.push_back(material);
      faces.lists.emplace_back();
    }
    faces.lists[list].push_back(static_cast<uint32_t>(faces.polygons.size()));
    faces.polygons.push_back(polygon);
  }
  return faces;
}

void WriteObject(ModelData& model, model_text::TextWriter& out, const ObjectRecord& object, const ObjectFaces& faces,
                 const std::vector<SavedMaterial>& materials, bool texcoords) {
  const std::string name = TemplateName(std::string_view(object.name, strnlen(object.name, sizeof object.name)));
  const std::string shown = name.empty() ? std::string("object") : name;
  Template(out, 0, "SI_Model", "MDL-" + shown);
  Template(out, 1, "SI_Transform", "SRT-" + shown);
  for (double v : {1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}) Value(out, 2, v);
  Close(out, 1);
  Template(out, 1, "SI_Visibility", "");
  Whole(out, 2, 1);
  Close(out, 1);
  Template(out, 1, "SI_Mesh", "MSH-" + shown);
  Template(out, 2, "SI_Shape", "SHP-" + shown + "-ORG");
  Whole(out, 3, texcoords ? 3 : 2);
  Quoted(out, 3, "ORDERED");
  out.Char('\n');
  Whole(out, 3, object.vertex_count);
  Quoted(out, 3, "POSITION");
  for (uint32_t v = 0; v < object.vertex_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.ReadVertex(object.first_vertex + v, x, y, z);
    out.Text("\t\t\t").Fixed(x).Char(',').Fixed(y).Char(',').Fixed(z).Text(",\n");
  }
  uint64_t corners = 0;
  std::vector<uint32_t> first_corner;  // of each written polygon
  for (uint32_t polygon : faces.polygons) {
    uint32_t first = 0, count = 0;
    model.ReadPolygonPointData(polygon, first, count);
    first_corner.push_back(static_cast<uint32_t>(corners));
    corners += count;
  }
  const auto each_corner = [&](auto&& write) {
    for (uint32_t polygon : faces.polygons) {
      uint32_t first = 0, count = 0;
      model.ReadPolygonPointData(polygon, first, count);
      for (uint32_t k = 0; k < count; ++k) write(first + k);
    }
  };
  out.Char('\n');
  Whole(out, 3, corners);
  Quoted(out, 3, "NORMAL");
  each_corner([&](uint32_t point) {
    Vec3d n{0.0, 0.0, 0.0};
    model.GetPointNormal(point, n);
    out.Text("\t\t\t").Fixed(Written(n.x)).Char(',').Fixed(Written(n.y)).Char(',').Fixed(Written(n.z)).Text(",\n");
  });
  if (texcoords) {
    out.Char('\n');
    Whole(out, 3, corners);
    Quoted(out, 3, "TEX_COORD_UV0");
    Quoted(out, 3, "Texture_Projection");
    each_corner([&](uint32_t point) {
      double u = kUnsetValue, v = kUnsetValue;
      model.GetPointTexcoord(point, u, v);
      out.Text("\t\t\t").Fixed(Written(u)).Char(',').Fixed(u == kUnsetValue ? 0.0 : 1.0 - v).Text(",\n");
    });
  }
  Close(out, 2);
  for (size_t l = 0; l < faces.lists.size(); ++l) {
    const std::vector<uint32_t>& list = faces.lists[l];
    bool triangles = true;
    uint64_t total = 0;
    for (uint32_t f : list) {
      uint32_t first = 0, count = 0;
      model.ReadPolygonPointData(faces.polygons[f], first, count);
      triangles = triangles && count == 3;
      total += count;
    }
    Template(out, 2, triangles ? "SI_TriangleList" : "SI_PolygonList", shown);
    Whole(out, 3, list.size());
    Quoted(out, 3, texcoords ? "NORMAL|TEX_COORD_UV0" : "NORMAL");
    const int32_t material = faces.list_materials[l];
    Quoted(out, 3, material >= 0 ? std::string_view(materials[static_cast<size_t>(material)].name) : "");
    if (!triangles) {
      Whole(out, 3, total);
      for (uint32_t f : list) {
        uint32_t first = 0, count = 0;
        model.ReadPolygonPointData(faces.polygons[f], first, count);
        out.Text("\t\t\t").Unsigned(count).Text(",\n");
      }
    }
    // Positions, then normals and texture coordinates (one per corner).
    for (int block = 0; block < (texcoords ? 3 : 2); ++block) {
      out.Char('\n');
      for (uint32_t f : list) {
        uint32_t first = 0, count = 0;
        model.ReadPolygonPointData(faces.polygons[f], first, count);
        out.Text("\t\t\t");
        for (uint32_t k = 0; k < count; ++k) {
          const uint64_t index = block == 0 ? model.GetPointVertex(first + k) - object.first_vertex
                                            : uint64_t{first_corner[f]} + k;
          out.Unsigned(index).Char(',');
        }
        out.Char('\n');
      }
    }
    out.Char('\n');
    Close(out, 2);
  }
  Close(out, 1);
  Close(out, 0);
}

}  // namespace

int LoadXsi(ModelData& model, FILE* file) {
  LogMessage("Loading from SI asci xsi...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadXsi")) return 0;
  ByteReader reader(bytes);
  const uint8_t* header = reader.Peek(kHeaderSize);
  if (!header || std::memcmp(header, "xsi ", 4) != 0) {
    LogMessage("LoadXsi: not a dotXSI file\n", LOG_ERROR);
    return 0;
  }
  const std::string_view format(reinterpret_cast<const char*>(header) + 8, 4);
  if (format != "txt ") {
    LogFormatted(LOG_ERROR, "LoadXsi: only text dotXSI files are supported (format [%.4s])\n", format.data());
    return 0;
  }
  LogFormatted(LOG_DETAIL, " version %.4s\n", reinterpret_cast<const char*>(header) + 4);
  reader.Skip(kHeaderSize);
  model.relative_writes = 0;
  XsiReader xsi(model, bytes.data() + kHeaderSize, bytes.size() - kHeaderSize);
  if (!xsi.Read()) return 0;
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.FinishObjects();
  LogMessage("... xsi loaded\n", LOG_MAJOR);
  return 1;
}

int SaveXsi(ModelData& model, FILE* file) {
  LogMessage("Saving to SI asci xsi...\n", LOG_MAJOR);
  // x right, y up, z towards the viewer.
  model.ConvertModelOrientation(2, 0, 4);
  const bool texcoords = model.vert_texcoords_present || model.point_texcoords_present;
  uint32_t requirements = ModelData::need_polygon_materials | ModelData::need_point_normals |
                          ModelData::need_vertexs_by_objects;
  if (texcoords) requirements |= ModelData::need_point_texcoords;
  model.ConvertProperties(requirements);
  // Absolute indexes throughout: each object's ranges come from its record.
  model.relative_reads = 0;

  // Material and image names are how lists find their materials and
  // materials their pictures: each is made unique.
  std::vector<SavedMaterial> materials(model.materials_count);
  std::vector<std::string> images(model.textures_count);
  const auto unique = [](std::string name, const auto& taken, size_t index) {
    for (const auto& other : taken)
      if (!other.empty() && other == name) return name + "_" + std::to_string(index);
    return name;
  };
  for (uint32_t t = 0; t < model.textures_count; ++t) {
    const TextureRecord& texture = model.Texture(t);
    images[t] = unique(TemplateName(std::string_view(texture.base_name, strnlen(texture.base_name,
                                                                                sizeof texture.base_name))) +
                           "_tga",
                       images, t);
  }
  std::vector<std::string> taken;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    std::string name = TemplateName(std::string_view(model.material.name, strnlen(model.material.name,
                                                                                   sizeof model.material.name)));
    if (name.empty()) name = "Material";
    materials[i].name = unique(name, taken, i);
    taken.push_back(materials[i].name);
    const int32_t texture = model.material.texture;
    if (texture >= 0 && static_cast<uint32_t>(texture) < model.textures_count)
      materials[i].image = images[static_cast<size_t>(texture)];
  }

  model_text::TextWriter out(file);
  LogMessage(" writing header\n", LOG_DETAIL);
  out.Text("xsi 0360txt 0032\n\n");
  Template(out, 0, "SI_FileInfo", "");
  Quoted(out, 1, "");
  Quoted(out, 1, "Zepcon");
  Quoted(out, 1, model.reading.TimeStamp());
  Quoted(out, 1, "Zepcon 0.84a4");
  Close(out, 0);
  Template(out, 0, "SI_Scene", "Scene");
  Quoted(out, 1, "FRAMES");
  for (double v : {1.0, 100.0, 29.97003}) Value(out, 1, v);
  Close(out, 0);
  Template(out, 0, "SI_CoordinateSystem", "");
  for (uint64_t v : {1, 0, 1, 0, 2, 5}) Whole(out, 1, v);
  Close(out, 0);
  Template(out, 0, "SI_Angle", "");
  Whole(out, 1, 0);
  Close(out, 0);
  Template(out, 0, "SI_Ambience", "");
  for (int k = 0; k < 3; ++k) Value(out, 1, 0.2);
  Close(out, 0);

  LogMessage(" writing materials\n", LOG_DETAIL);
  Template(out, 0, "SI_MaterialLibrary", "MATLIB-Scene");
  Whole(out, 1, model.materials_count);
  for (uint32_t i = 0; i < model.materials_count; ++i) WriteMaterial(model, out, i, materials[i]);
  Close(out, 0);

  LogMessage(" writing geometry\n", LOG_DETAIL);
  uint64_t left_out = 0;
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (!model.GetObjectInfo(o, &object)) continue;
    const ObjectFaces faces = FacesOf(model, object, &left_out);
    if (faces.polygons.empty()) continue;
    WriteObject(model, out, object, faces, materials, texcoords);
  }

  if (model.textures_count > 0) {
    Template(out, 0, "XSI_ImageLibrary", "");
    Whole(out, 1, model.textures_count);
    for (uint32_t t = 0; t < model.textures_count; ++t) {
      const TextureRecord& texture = model.Texture(t);
      Template(out, 1, "XSI_Image", images[t]);
      Quoted(out, 2, std::string(texture.base_name, strnlen(texture.base_name, sizeof texture.base_name)) + ".tga");
      Whole(out, 2, texture.width);
      Whole(out, 2, texture.height);
      Whole(out, 2, 4);
      Whole(out, 2, 32);
      for (double v : {0.0, 1.0, 0.0, 1.0, 29.97003}) Value(out, 2, v);
      for (int k = 0; k < 3; ++k) Whole(out, 2, 0);
      Close(out, 1);
    }
    Close(out, 0);
  }
  out.Flush();
  if (std::ferror(file)) {
    LogMessage("SaveXsi: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  if (left_out)
    LogFormatted(LOG_ERROR, "SaveXsi: %" PRIu64 " polygons with a corner outside their object left out\n", left_out);
  if (model.textures_count > 0) {
    LogMessage(" saving model textures\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  }
  LogMessage("... xsi saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
