// glTF 2.0 models, written two ways from one scene description: ".gltf"
// (JSON, the geometry in a ".bin" file beside it and the textures as PNG
// files beside it) and ".glb" (the JSON, the geometry and the PNG textures
// in one binary container).
//
// Every object becomes a node with a mesh, one primitive per material its
// triangles use; a point (a polygon corner with its own normal and texture
// coordinate) becomes a glTF vertex, equal points shared. Objects owned by
// other objects hang below them in the node tree. A skeleton whose bones own
// vertices becomes joint nodes and a skin bound in the rest pose. Animation
// of any kind (vertex or bone) is baked: every frame is a morph target
// holding the displacement of each vertex from its rest position, and every
// animation segment an animation that blends those targets in frame order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/atomic_file.h"
#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using Json = nlohmann::json;

// glTF's axes in the model's direction codes: y up, right-handed, the same
// arrangement as the Milkshape formats (+y, +x, +z).
constexpr int32_t kGltfOrientation[3] = {2, 0, 4};
// Frames are played at this rate; the model keeps no rate of its own.
constexpr double kFramesPerSecond = 10.0;
// The baked animation is left out when its targets would take more than this.
constexpr uint64_t kMaxMorphBytes = uint64_t{256} << 20;

constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

bool Unset(double value) { return value == kUnsetValue; }

float Finite(double value) {
  const float f = static_cast<float>(value);
  return std::isfinite(f) ? f : 0.0f;
}

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// A relative URI for a file name: unreserved characters as they are, every
// other byte percent-encoded.
std::string UriOf(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      uri.push_back(c);
    } else {
      uri.push_back('%');
      uri.push_back(kHex[u >> 4]);
      uri.push_back(kHex[u & 15]);
    }
  }
  return uri;
}

// The binary buffer with its views and accessors.
class BufferBuilder {
 public:
  // A view of the bytes, started on a 4-byte boundary as accessors need.
  size_t AddView(const void* data, size_t size, int target) {
    while (bytes_.size() % 4) bytes_.push_back(0);
    Json view = {{"buffer", 0}, {"byteOffset", bytes_.size()}, {"byteLength", size}};
    if (target) view["target"] = target;
    const uint8_t* from = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), from, from + size);
    views_.push_back(std::move(view));
    return views_.size() - 1;
  }

  // Float triples (or pairs) with their bounds when asked.
  size_t AddFloats(const std::vector<float>& values, int width, bool bounds) {
    const size_t count = values.size() / static_cast<size_t>(width);
    const size_t view = AddView(values.data(), values.size() * sizeof(float), kArrayBuffer);
    Json accessor = {{"bufferView", view}, {"componentType", kFloat}, {"count", count},
                     {"type", width == 3 ? "VEC3" : width == 2 ? "VEC2" : "SCALAR"}};
    if (bounds) AddBounds(accessor, values, width);
    return AddAccessor(std::move(accessor));
  }

  // Floats read by animations: no buffer target.
  size_t AddAnimationFloats(const std::vector<float>& values, bool bounds) {
    const size_t view = AddView(values.data(), values.size() * sizeof(float), 0);
    Json accessor = {{"bufferView", view}, {"componentType", kFloat}, {"count", values.size()}, {"type", "SCALAR"}};
    if (bounds) AddBounds(accessor, values, 1);
    return AddAccessor(std::move(accessor));
  }

  size_t AddIndices(const std::vector<uint32_t>& indices, uint32_t vertex_count) {
    size_t view;
    int component;
    if (vertex_count <= 65535) {
      std::vector<uint16_t> narrow(indices.begin(), indices.end());
      view = AddView(narrow.data(), narrow.size() * sizeof(uint16_t), kElementArrayBuffer);
      component = kUnsignedShort;
    } else {
      view = AddView(indices.data(), indices.size() * sizeof(uint32_t), kElementArrayBuffer);
      component = kUnsignedInt;
    }
    return AddAccessor({{"bufferView", view}, {"componentType", component}, {"count", indices.size()},
                        {"type", "SCALAR"}});
  }

  size_t AddAccessor(Json accessor) {
    accessors_.push_back(std::move(accessor));
    return accessors_.size() - 1;
  }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  Json& Views() { return views_; }
  Json& Accessors() { return accessors_; }

 private:
  static void AddBounds(Json& accessor, const std::vector<float>& values, int width) {
    std::vector<float> low(static_cast<size_t>(width), 0.0f), high(static_cast<size_t>(width), 0.0f);
    for (size_t i = 0; i < values.size(); ++i) {
      const size_t k = i % static_cast<size_t>(width);
      if (i < static_cast<size_t>(width) || values[i] < low[k]) low[k] = values[i];
      if (i < static_cast<size_t>(width) || values[i] > high[k]) high[k] = values[i];
    }
    accessor["min"] = low;
    accessor["max"] = high;
  }

  std::vector<uint8_t> bytes_;
  Json views_ = Json::array();
  Json accessors_ = Json::array();
};

// One glTF vertex: the model's vertex, normal and texture coordinate.
using PointKey = std::tuple<uint32_t, float, float, float, float, float>;

struct Primitive {
  int32_t material = kNoMaterial;
  std::vector<uint32_t> indices;
  std::vector<uint32_t> vertexes;  // the model vertex of each glTF vertex
  std::vector<float> positions, normals, texcoords;
  std::map<PointKey, uint32_t> known;
};

Vec3d Normalised(const Vec3d& n) {
  if (Unset(n.x) || Unset(n.y) || Unset(n.z)) return {0.0, 0.0, 0.0};
  const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 1e-12) || !std::isfinite(length)) return {0.0, 0.0, 0.0};
  return {n.x / length, n.y / length, n.z / length};
}

Vec3d Cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

class GltfWriter {
 public:
  GltfWriter(ModelData& model, bool binary) : model_(model), binary_(binary) {}
  int Write(FILE* file);

 private:
  void PrepareModel();
  void AddMaterials();
  int AddImages();
  void AddObjects();
  std::vector<Primitive> CollectPrimitives(const ObjectRecord& object);
  void AddPoint(Primitive& primitive, uint32_t point, const Vec3d& face_normal);
  Json MorphTargets(const Primitive& primitive);
  void AddAnimations();
  void CaptureSkeleton();
  void AddSkeleton(Json& roots);
  void AddSkinAttributes(Json& attributes, const Primitive& primitive);
  std::string Folder() const { return FieldText(model_.settings.file_folder, sizeof model_.settings.file_folder); }
  std::string BaseName() const { return FieldText(model_.settings.file_name, sizeof model_.settings.file_name); }
  bool EncodePng(uint32_t texture, std::vector<uint8_t>& png);
  int Emit(FILE* file);

  ModelData& model_;
  bool binary_;
  bool texcoords_ = false;
  bool animated_ = false;
  uint32_t frames_ = 0;
  BufferBuilder buffer_;
  Json root_ = Json::object();
  Json nodes_ = Json::array();
  Json meshes_ = Json::array();
  std::vector<int32_t> image_of_texture_;
  std::vector<size_t> animated_nodes_;
  // The skeleton in its rest pose, taken before any frame is posed.
  bool skinned_ = false;
  std::vector<Vec3d> joint_positions_;
  std::vector<int32_t> joint_parents_;
  std::vector<std::string> joint_names_;
};

void GltfWriter::PrepareModel() {
  if (!model_.ConvertModelOrientation(kGltfOrientation[0], kGltfOrientation[1], kGltfOrientation[2]))
    LogMessage("SaveGltf: the model keeps its own axes\n", LOG_ERROR);
  texcoords_ = model_.vert_texcoords_present || model_.point_texcoords_present;
  uint32_t requirements = ModelData::need_polygon_materials | ModelData::need_triangles |
                          ModelData::need_point_normals;
  if (texcoords_) requirements |= ModelData::need_point_texcoords;
  model_.ConvertProperties(requirements);
  texcoords_ = model_.point_texcoords_present != 0;
  model_.relative_reads = 0;
  animated_ = (model_.vertex_animation_present || model_.bone_animation_present) && model_.anim_frames_count > 0;
  frames_ = animated_ ? model_.anim_frames_count : 0;
  if (animated_) {
    const uint64_t bytes = uint64_t{frames_} * model_.points_count * 3 * sizeof(float);
    if (bytes > kMaxMorphBytes) {
      LogFormatted(LOG_ERROR, "SaveGltf: %u frames of %u points are too many to bake, animation left out\n",
                   frames_, model_.points_count);
      animated_ = false;
      frames_ = 0;
    }
  }
  CaptureSkeleton();
}

// Joints become a skin when bones own vertices; the joint a vertex follows
// is the one its bone ends at.
void GltfWriter::CaptureSkeleton() {
  const uint32_t joints = std::min(model_.joints_count, ModelData::kMaxJoints);
  skinned_ = model_.SkeletOwningType == so_vertexs && joints > 1 && model_.bones_count > 0;
  if (!skinned_) return;
  for (uint32_t j = 0; j < joints; ++j) {
    JointRecord record{};
    model_.GetJointInfo(j, &record);
    joint_positions_.push_back({record.position[0], record.position[1], record.position[2]});
    joint_names_.push_back(j == 0 ? std::string("root") : FieldText(record.name, sizeof record.name));
    const int32_t parent = model_.GetParentJoint(static_cast<int32_t>(j));
    joint_parents_.push_back(parent >= 0 && static_cast<uint32_t>(parent) < joints && parent != static_cast<int32_t>(j)
                                 ? parent
                                 : -1);
  }
  // Readers find bones by name: a name met before gets the joint's number.
  for (uint32_t j = 1; j < joints; ++j)
    if (std::find(joint_names_.begin(), joint_names_.begin() + j, joint_names_[j]) != joint_names_.begin() + j)
      joint_names_[j] += "#" + std::to_string(j);
  // A joint on a circle of parents hangs from the skeleton's top instead.
  for (uint32_t j = 0; j < joints; ++j) {
    int32_t walk = joint_parents_[j];
    for (uint32_t steps = 0; walk >= 0; ++steps) {
      if (static_cast<uint32_t>(walk) == j || steps > joints) {
        joint_parents_[j] = -1;
        break;
      }
      walk = joint_parents_[static_cast<size_t>(walk)];
    }
  }
}

void GltfWriter::AddSkinAttributes(Json& attributes, const Primitive& primitive) {
  std::vector<uint16_t> joints(primitive.vertexes.size() * 4, 0);
  std::vector<float> weights(primitive.vertexes.size() * 4, 0.0f);
  for (size_t i = 0; i < primitive.vertexes.size(); ++i) {
    const uint16_t owner = model_.GetVertexOwner(primitive.vertexes[i]);
    int16_t first = 0, second = 0;
    if (owner != kNoOwner && owner < model_.bones_count && model_.GetBoneJoints(owner, first, second) &&
        second > 0 && static_cast<size_t>(second) < joint_positions_.size())
      joints[i * 4] = static_cast<uint16_t>(second);
    weights[i * 4] = 1.0f;
  }
  const size_t joint_view = buffer_.AddView(joints.data(), joints.size() * sizeof(uint16_t), kArrayBuffer);
  attributes["JOINTS_0"] = buffer_.AddAccessor(
      {{"bufferView", joint_view}, {"componentType", kUnsignedShort}, {"count", primitive.vertexes.size()}, {"type", "VEC4"}});
  const size_t weight_view = buffer_.AddView(weights.data(), weights.size() * sizeof(float), kArrayBuffer);
  attributes["WEIGHTS_0"] = buffer_.AddAccessor(
      {{"bufferView", weight_view}, {"componentType", kFloat}, {"count", primitive.vertexes.size()}, {"type", "VEC4"}});
}

// The joints as nodes below one "skeleton" node, each placed relative to its
// parent, and the skin binding them in the rest pose.
void GltfWriter::AddSkeleton(Json& roots) {
  if (!skinned_) return;
  const size_t top = nodes_.size(), first = top + 1;
  std::vector<Json> children(joint_positions_.size(), Json::array());
  Json top_children = Json::array();
  for (size_t j = 0; j < joint_positions_.size(); ++j) {
    if (joint_parents_[j] >= 0)
      children[static_cast<size_t>(joint_parents_[j])].push_back(first + j);
    else
      top_children.push_back(first + j);
  }
  nodes_.push_back({{"name", "skeleton"}, {"children", std::move(top_children)}});
  std::vector<float> inverse_binds;
  Json joints = Json::array();
  for (size_t j = 0; j < joint_positions_.size(); ++j) {
    const Vec3d& at = joint_positions_[j];
    const Vec3d parent = joint_parents_[j] >= 0 ? joint_positions_[static_cast<size_t>(joint_parents_[j])] : Vec3d{0, 0, 0};
    Json node = {{"name", joint_names_[j]},
                 {"translation", {Finite(at.x - parent.x), Finite(at.y - parent.y), Finite(at.z - parent.z)}}};
    if (!children[j].empty()) node["children"] = std::move(children[j]);
    nodes_.push_back(std::move(node));
    joints.push_back(first + j);
    // The joint's world matrix is a translation; its inverse moves back.
    inverse_binds.insert(inverse_binds.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0});
    inverse_binds.insert(inverse_binds.end(), {-Finite(at.x), -Finite(at.y), -Finite(at.z), 1});
  }
  const size_t view = buffer_.AddView(inverse_binds.data(), inverse_binds.size() * sizeof(float), 0);
  const size_t accessor = buffer_.AddAccessor(
      {{"bufferView", view}, {"componentType", kFloat}, {"count", joint_positions_.size()}, {"type", "MAT4"}});
  root_["skins"] = Json::array({{{"joints", std::move(joints)}, {"inverseBindMatrices", accessor}, {"skeleton", top}}});
  roots.push_back(top);
}

// One glTF vertex per distinct point of the primitive.
void GltfWriter::AddPoint(Primitive& primitive, uint32_t point, const Vec3d& face_normal) {
  const uint32_t vertex = model_.GetPointVertex(point);
  Vec3d normal{kUnsetValue, kUnsetValue, kUnsetValue};
  model_.GetPointNormal(point, normal);
  normal = Normalised(normal);
  if (normal.x == 0.0 && normal.y == 0.0 && normal.z == 0.0) normal = face_normal;
  double u = kUnsetValue, v = kUnsetValue;
  if (texcoords_) model_.GetPointTexcoord(point, u, v);
  const float fu = Unset(u) ? 0.0f : Finite(u), fv = Unset(v) ? 0.0f : Finite(v);
  const PointKey key{vertex, Finite(normal.x), Finite(normal.y), Finite(normal.z), fu, fv};
  const auto [found, added] = primitive.known.emplace(key, static_cast<uint32_t>(primitive.vertexes.size()));
  primitive.indices.push_back(found->second);
  if (!added) return;
  double x = 0.0, y = 0.0, z = 0.0;
  model_.ReadVertex(vertex, x, y, z);
  primitive.vertexes.push_back(vertex);
  primitive.positions.insert(primitive.positions.end(), {Finite(x), Finite(y), Finite(z)});
  primitive.normals.insert(primitive.normals.end(), {std::get<1>(key), std::get<2>(key), std::get<3>(key)});
  if (texcoords_) primitive.texcoords.insert(primitive.texcoords.end(), {fu, fv});
}

std::vector<Primitive> GltfWriter::CollectPrimitives(const ObjectRecord& object) {
  std::vector<Primitive> primitives;
  std::map<int32_t, size_t> of_material;
  for (uint32_t p = 0; p < object.polygon_count; ++p) {
    const uint32_t polygon = object.first_polygon + p;
    uint32_t first = 0, count = 0;
    if (!model_.ReadPolygonPointData(polygon, first, count) || count < 3) continue;
    int32_t material = model_.GetPolygonMaterial(polygon);
    if (material < 0 || static_cast<uint32_t>(material) >= model_.materials_count) material = kNoMaterial;
    auto [slot, added] = of_material.emplace(material, primitives.size());
    if (added) {
      primitives.emplace_back();
      primitives.back().material = material;
    }
    Primitive& primitive = primitives[slot->second];
    // A fan, should the triangulation have left a larger polygon.
    for (uint32_t k = 1; k + 1 < count; ++k) {
      const uint32_t corners[3] = {first, first + k, first + k + 1};
      Vec3d at[3];
      for (int c = 0; c < 3; ++c) {
        at[c] = {0.0, 0.0, 0.0};
        model_.ReadVertex(model_.GetPointVertex(corners[c]), at[c].x, at[c].y, at[c].z);
      }
      Vec3d face = Normalised(Cross({at[1].x - at[0].x, at[1].y - at[0].y, at[1].z - at[0].z},
                                    {at[2].x - at[0].x, at[2].y - at[0].y, at[2].z - at[0].z}));
      // A degenerate triangle still needs a unit normal.
      if (face.x == 0.0 && face.y == 0.0 && face.z == 0.0) face = {0.0, 1.0, 0.0};
      for (const uint32_t corner : corners) AddPoint(primitive, corner, face);
    }
  }
  return primitives;
}

// Frame f's target moves each vertex from its rest position to where frame f
// puts it; vertices the animation does not hold stay.
Json GltfWriter::MorphTargets(const Primitive& primitive) {
  Json targets = Json::array();
  std::vector<float> displacement(primitive.positions.size());
  for (uint32_t f = 0; f < frames_; ++f) {
    model_.current_frame = static_cast<float>(f);
    for (size_t i = 0; i < primitive.vertexes.size(); ++i) {
      double x = 0.0, y = 0.0, z = 0.0;
      const bool moved = model_.ReadVertex(primitive.vertexes[i], x, y, z) != 0;
      const float at[3] = {Finite(x), Finite(y), Finite(z)};
      for (size_t k = 0; k < 3; ++k)
        displacement[i * 3 + k] = moved ? at[k] - primitive.positions[i * 3 + k] : 0.0f;
    }
    targets.push_back({{"POSITION", buffer_.AddFloats(displacement, 3, true)}});
  }
  model_.current_frame = -2.0f;
  return targets;
}

void GltfWriter::AddMaterials() {
  Json materials = Json::array();
  for (uint32_t i = 0; i < model_.materials_count; ++i) {
    model_.GetMaterial(i);
    const MaterialRecord m = model_.material;
    const double alpha = m.transparency / 255.0;
    Json pbr = {{"baseColorFactor", {m.diffuse[0] / 255.0, m.diffuse[1] / 255.0, m.diffuse[2] / 255.0, alpha}},
                {"metallicFactor", 0.0},
                {"roughnessFactor", 1.0}};
    // A texture needs texture coordinates to be drawn with.
    if (texcoords_ && m.texture >= 0 && static_cast<size_t>(m.texture) < image_of_texture_.size() &&
        image_of_texture_[static_cast<size_t>(m.texture)] >= 0)
      pbr["baseColorTexture"] = {{"index", image_of_texture_[static_cast<size_t>(m.texture)]}};
    Json material = {{"name", FieldText(m.name, sizeof m.name)}, {"pbrMetallicRoughness", std::move(pbr)}};
    if (m.transparency < 255) material["alphaMode"] = "BLEND";
    materials.push_back(std::move(material));
  }
  if (!materials.empty()) root_["materials"] = std::move(materials);
}

// The texture as a PNG file's bytes, made through the picture codecs in a
// folder of its own.
bool GltfWriter::EncodePng(uint32_t texture, std::vector<uint8_t>& png) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return false;
  std::string pattern = (base / "zepcon-glb-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return false;
  const std::string path = pattern + "/texture.png";
  bool done = model_.SaveTextureToFile(static_cast<int32_t>(texture), path.c_str(), TYPE_PNG, MODE_BGRA8888, 0) != 0;
  if (done) {
    FILE* file = std::fopen(path.c_str(), "rb");
    done = file && ReadRestOfFile(file, png, "SaveGlb");
    if (file) std::fclose(file);
  }
  std::filesystem::remove_all(pattern, error);
  return done && !png.empty();
}

// Images, one per texture that could be written; textures name them.
int GltfWriter::AddImages() {
  Json images = Json::array(), textures = Json::array();
  image_of_texture_.assign(model_.textures_count, -1);
  for (uint32_t t = 0; t < model_.textures_count; ++t) {
    const std::string name = FieldText(model_.Texture(t).base_name, sizeof model_.Texture(t).base_name);
    Json image = {{"name", name}};
    if (binary_) {
      std::vector<uint8_t> png;
      if (!EncodePng(t, png)) {
        LogFormatted(LOG_ERROR, "SaveGlb: texture [%s] could not be made a PNG picture, left out\n", name.c_str());
        continue;
      }
      image["bufferView"] = buffer_.AddView(png.data(), png.size(), 0);
      image["mimeType"] = "image/png";
    } else {
      const std::string path = Folder() + name + ".png";
      model_.SaveTextureToFile(static_cast<int32_t>(t), path.c_str(), TYPE_PNG, MODE_BGRA8888, 0);
      // A picture kept from before (textures are not overwritten unless the
      // options say so) serves as well as a new one.
      if (!std::filesystem::exists(path)) {
        LogFormatted(LOG_ERROR, "SaveGltf: texture [%s] could not be written, left out\n", path.c_str());
        continue;
      }
      image["uri"] = UriOf(name + ".png");
    }
    image_of_texture_[t] = static_cast<int32_t>(textures.size());
    textures.push_back({{"source", images.size()}});
    images.push_back(std::move(image));
  }
  if (!images.empty()) {
    root_["images"] = std::move(images);
    root_["textures"] = std::move(textures);
  }
  return 1;
}

// The parent object of an object, -1 when it has none or when following the
// owners would come round in a circle.
int32_t ParentObject(ModelData& model, uint32_t index) {
  if (model.SkeletOwningType == so_objects) return -1;  // the owner is a bone then
  ObjectRecord record;
  if (!model.GetObjectInfo(index, &record)) return -1;
  const int32_t parent = record.owner;
  if (parent < 0 || static_cast<uint32_t>(parent) >= model.objects_count) return -1;
  int32_t walk = parent;
  for (uint32_t steps = 0; walk >= 0; ++steps) {
    if (static_cast<uint32_t>(walk) == index || steps > model.objects_count) return -1;
    ObjectRecord up;
    if (!model.GetObjectInfo(static_cast<uint32_t>(walk), &up)) break;
    walk = up.owner >= 0 && static_cast<uint32_t>(up.owner) < model.objects_count ? up.owner : -1;
  }
  return parent;
}

void GltfWriter::AddObjects() {
  std::vector<Json> children(model_.objects_count, Json::array());
  std::vector<int32_t> parents(model_.objects_count, -1);
  for (uint32_t o = 0; o < model_.objects_count; ++o) {
    ObjectRecord object;
    ModelData::ResetObjectRecord(&object);
    model_.GetObjectInfo(o, &object);
    Json node = {{"name", FieldText(object.name, sizeof object.name)}};
    std::vector<Primitive> primitives = CollectPrimitives(object);
    if (!primitives.empty()) {
      Json mesh = {{"name", FieldText(object.name, sizeof object.name)}, {"primitives", Json::array()}};
      for (Primitive& primitive : primitives) {
        Json attributes = {{"POSITION", buffer_.AddFloats(primitive.positions, 3, true)},
                           {"NORMAL", buffer_.AddFloats(primitive.normals, 3, false)}};
        if (texcoords_) attributes["TEXCOORD_0"] = buffer_.AddFloats(primitive.texcoords, 2, false);
        if (skinned_) AddSkinAttributes(attributes, primitive);
        Json entry = {{"attributes", std::move(attributes)},
                      {"indices", buffer_.AddIndices(primitive.indices, static_cast<uint32_t>(primitive.vertexes.size()))},
                      {"mode", 4}};
        if (primitive.material != kNoMaterial) entry["material"] = primitive.material;
        if (animated_) entry["targets"] = MorphTargets(primitive);
        mesh["primitives"].push_back(std::move(entry));
      }
      if (animated_) mesh["weights"] = std::vector<double>(frames_, 0.0);
      node["mesh"] = meshes_.size();
      if (skinned_) node["skin"] = 0;
      meshes_.push_back(std::move(mesh));
      if (animated_) animated_nodes_.push_back(o);
    }
    nodes_.push_back(std::move(node));
    parents[o] = ParentObject(model_, o);
    if (parents[o] >= 0) children[static_cast<size_t>(parents[o])].push_back(o);
  }
  Json roots = Json::array();
  for (uint32_t o = 0; o < model_.objects_count; ++o) {
    if (!children[o].empty()) nodes_[o]["children"] = std::move(children[o]);
    if (parents[o] < 0) roots.push_back(o);
  }
  AddSkeleton(roots);
  // A scene lists its nodes only when it has any.
  Json scene = Json::object();
  if (!roots.empty()) scene["nodes"] = std::move(roots);
  root_["scenes"] = Json::array({std::move(scene)});
  root_["scene"] = 0;
}

// An animation per segment (or one of all frames when there are none): the
// weight moves from target to target, one frame after the other.
void GltfWriter::AddAnimations() {
  if (!animated_ || animated_nodes_.empty()) return;
  struct Run {
    std::string name;
    uint32_t first, frames;
  };
  std::vector<Run> runs;
  for (uint32_t s = 0; s < model_.animation_segments_count; ++s) {
    if (!model_.Animation_GetSegmentInfo(static_cast<int32_t>(s))) continue;
    const ModelData::AnimationSegment& segment = model_.animation_segment;
    if (segment.first_frame >= frames_ || segment.frames == 0) continue;
    const uint32_t frames = std::min(segment.frames, frames_ - segment.first_frame);
    runs.push_back({FieldText(segment.name, sizeof segment.name), segment.first_frame, frames});
  }
  if (runs.empty()) runs.push_back({"all frames", 0, frames_});
  Json animations = Json::array();
  for (const Run& run : runs) {
    std::vector<float> times(run.frames), weights(size_t{run.frames} * frames_, 0.0f);
    for (uint32_t k = 0; k < run.frames; ++k) {
      times[k] = static_cast<float>(k / kFramesPerSecond);
      weights[size_t{k} * frames_ + run.first + k] = 1.0f;
    }
    const size_t input = buffer_.AddAnimationFloats(times, true);
    const size_t output = buffer_.AddAnimationFloats(weights, false);
    Json channels = Json::array();
    for (const size_t node : animated_nodes_)
      channels.push_back({{"sampler", 0}, {"target", {{"node", node}, {"path", "weights"}}}});
    animations.push_back({{"name", run.name},
                          {"samplers", Json::array({{{"input", input}, {"output", output}, {"interpolation", "LINEAR"}}})},
                          {"channels", std::move(channels)}});
  }
  root_["animations"] = std::move(animations);
}

int GltfWriter::Emit(FILE* file) {
  const std::vector<uint8_t>& bin = buffer_.Bytes();
  if (!bin.empty()) {
    Json buffer = {{"byteLength", bin.size()}};
    if (!binary_) {
      const std::string name = BaseName() + ".bin";
      std::string why;
      if (!WriteFileAtomically(Folder() + name, bin.data(), bin.size(), &why)) {
        LogFormatted(LOG_ERROR, "SaveGltf: the buffer file [%s] could not be written: %s\n", name.c_str(),
                     why.c_str());
        return 0;
      }
      buffer["uri"] = UriOf(name);
    }
    root_["buffers"] = Json::array({std::move(buffer)});
    root_["bufferViews"] = std::move(buffer_.Views());
    if (!buffer_.Accessors().empty()) root_["accessors"] = std::move(buffer_.Accessors());
  }
  // Names come from files in any encoding: bytes that are no UTF-8 are replaced.
  std::string text = root_.dump(binary_ ? -1 : 1, ' ', false, Json::error_handler_t::replace);
  if (!binary_) {
    text.push_back('\n');
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
      LogMessage("SaveGltf: the file could not be written\n", LOG_ERROR);
      return 0;
    }
    return 1;
  }
  while (text.size() % 4) text.push_back(' ');
  const size_t bin_padded = (bin.size() + 3) / 4 * 4;
  const uint64_t total = 12 + 8 + uint64_t{text.size()} + (bin.empty() ? 0 : 8 + bin_padded);
  if (total > UINT32_MAX) {
    LogMessage("SaveGlb: the model is too large for one binary file\n", LOG_ERROR);
    return 0;
  }
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(total));
  const auto u32 = [&out](uint64_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  out.insert(out.end(), {'g', 'l', 'T', 'F'});
  u32(2);
  u32(total);
  u32(text.size());
  out.insert(out.end(), {'J', 'S', 'O', 'N'});
  out.insert(out.end(), text.begin(), text.end());
  if (!bin.empty()) {
    u32(bin_padded);
    out.insert(out.end(), {'B', 'I', 'N', 0});
    out.insert(out.end(), bin.begin(), bin.end());
    out.resize(static_cast<size_t>(total), 0);
  }
  if (std::fwrite(out.data(), 1, out.size(), file) != out.size()) {
    LogMessage("SaveGlb: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  return 1;
}

int GltfWriter::Write(FILE* file) {
  PrepareModel();
  root_["asset"] = {{"version", "2.0"}, {"generator", "Zepcon"}};
  AddImages();
  AddMaterials();
  AddObjects();
  AddAnimations();
  if (!nodes_.empty()) root_["nodes"] = std::move(nodes_);
  if (!meshes_.empty()) root_["meshes"] = std::move(meshes_);
  return Emit(file);
}

int SaveGltfModel(ModelData& model, FILE* file, bool binary) {
  LogMessage(binary ? "Saving glb...\n" : "Saving gltf...\n", LOG_MAJOR);
  // Rest positions are read with no frame selected; the frame is given back.
  const float frame = model.current_frame;
  model.current_frame = -2.0f;
  int result = 0;
  try {
    GltfWriter writer(model, binary);
    result = writer.Write(file);
  } catch (const std::exception& error) {
    // The JSON library reports its failures (memory, mostly) so.
    LogFormatted(LOG_ERROR, "SaveGltf: %s\n", error.what());
    result = 0;
  }
  model.current_frame = frame;
  if (result) LogMessage(binary ? "... glb saved\n" : "... gltf saved\n", LOG_MAJOR);
  return result;
}

}  // namespace

int SaveGltf(ModelData& model, FILE* file) { return SaveGltfModel(model, file, false); }

int SaveGlb(ModelData& model, FILE* file) { return SaveGltfModel(model, file, true); }

}  // namespace zepcon
