// Milkshape binary models: a header, then one global list each of vertices,
// triangles (with corner normals and mapping), groups (lists of triangles
// sharing a material), materials, and the keyframer with the joints and
// their keys. Every count is 16 bits. Data after the joints (comments and
// extra vertex data of later versions) are left unread.
//
// The whole file is read into memory; every count is checked against the
// bytes that remain before its records are read, so a cut or lying file is
// refused with its reason instead of reading past its end.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/ms3d_skeleton.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

constexpr char kMagic[] = "MS3D000000";
constexpr size_t kMagicSize = 10;
constexpr size_t kVertexSize = 15;
constexpr size_t kTriangleSize = 70;
constexpr size_t kGroupHeadSize = 35;
constexpr size_t kMaterialSize = 361;
constexpr size_t kKeyframerSize = 14;
constexpr size_t kJointSize = 93;
constexpr size_t kKeySize = 16;
constexpr size_t kNameSize = 32;
constexpr size_t kFileNameSize = 128;
constexpr uint32_t kMaxCount = 65535;
constexpr uint32_t kMaxMaterials = 255;  // a group names its material in a signed byte, -1 none
constexpr size_t kMaxTextureName = 70;

// Reads floats, counting those that are not finite (read as 0).
class Numbers {
 public:
  explicit Numbers(ByteReader& reader) : reader_(reader) {}
  double Next() {
    const float value = reader_.F32Le();
    if (std::isfinite(value)) return value;
    ++bad_;
    return 0.0;
  }
  uint64_t Bad() const { return bad_; }

 private:
  ByteReader& reader_;
  uint64_t bad_ = 0;
};

uint8_t ToByte(double value) {
  if (!(value > 0.0)) return 0;
  return static_cast<uint8_t>(std::min(value, 255.0));
}

// A name read from a file: folders written with backslashes work here too.
std::string TexturePath(const ModelData& model, const char* name) {
  std::string path(model.settings.file_folder, strnlen(model.settings.file_folder, sizeof model.settings.file_folder));
  std::string file(name);
  std::replace(file.begin(), file.end(), '\\', '/');
  while (file.compare(0, 2, "./") == 0) file.erase(0, 2);
  return path + file;
}

int Refuse(const char* why) {
  LogFormatted(LOG_ERROR, "LoadMs3d: %s\n", why);
  return 0;
}

struct Loaded {
  std::vector<int32_t> polygon_of;  // per file triangle: model polygon, -1 dropped
  std::vector<int> vertex_joint;    // per vertex: file joint, -1 none
};

int ReadVertexs(ModelData& model, ByteReader& in, Numbers& numbers, Loaded& loaded) {
  const uint16_t count = in.U16Le();
  LogFormatted(LOG_DETAIL, " Reading vertexs (%u)\n", static_cast<unsigned>(count));
  if (!in.Ok() || !in.Fits(count, kVertexSize)) return Refuse("the vertexs run past the end of the file");
  for (uint32_t v = 0; v < count; ++v) {
    in.U8();  // flags
    const double x = numbers.Next(), y = numbers.Next(), z = numbers.Next();
    const int8_t bone = in.I8();
    in.U8();  // reference count
    if (model.vertexs_count != v) return Refuse("the model holds no more vertexs");
    model.StoreVertex(x, y, z);
    loaded.vertex_joint.push_back(bone);
  }
  return 1;
}

int ReadTriangles(ModelData& model, ByteReader& in, Numbers& numbers, Loaded& loaded) {
  const uint16_t count = in.U16Le();
  LogFormatted(LOG_DETAIL, " Reading polygons (%u)\n", static_cast<unsigned>(count));
  if (!in.Ok() || !in.Fits(count, kTriangleSize)) return Refuse("the triangles run past the end of the file");
  uint32_t dropped = 0;
  for (uint32_t t = 0; t < count; ++t) {
    in.U16Le();  // flags
    uint32_t corners[3];
    for (uint32_t& c : corners) c = in.U16Le();
    Vec3d normals[3];
    for (Vec3d& n : normals) n = {numbers.Next(), numbers.Next(), numbers.Next()};
    double s[3], tc[3];
    for (double& v : s) v = numbers.Next();
    for (double& v : tc) v = numbers.Next();
    in.U8();  // smoothing group
    in.U8();  // group
    const bool named = corners[0] < model.vertexs_count && corners[1] < model.vertexs_count &&
                       corners[2] < model.vertexs_count;
    const uint32_t polygon = model.polygons_count;
    if (!named || !model.StorePolygon(3, corners)) {
      ++dropped;
      loaded.polygon_of.push_back(-1);
      continue;
    }
    loaded.polygon_of.push_back(static_cast<int32_t>(polygon));
    uint32_t first = 0, points = 0;
    model.ReadPolygonPointData(polygon, first, points);
    for (uint32_t k = 0; k < 3 && k < points; ++k) {
      model.SetPointNormal(first + k, normals[k]);
      model.SetPointTexcoord(first + k, s[k], tc[k]);
    }
  }
  if (dropped)
    LogFormatted(LOG_ERROR, "LoadMs3d: %lu triangles name vertexs the file does not have, dropped\n",
                 static_cast<unsigned long>(dropped));
  model.point_normals_present = 1;
  model.point_texcoords_present = 1;
  return 1;
}

// Groups name their material after the triangle list; materials come after
// all groups, so indexes beyond them are undone once they are known.
int ReadGroups(ModelData& model, ByteReader& in, const Loaded& loaded) {
  const uint16_t count = in.U16Le();
  LogFormatted(LOG_DETAIL, " Reading groups (%u)\n", static_cast<unsigned>(count));
  if (!in.Ok() || !in.Fits(count, kGroupHeadSize + 1)) return Refuse("the groups run past the end of the file");
  for (uint32_t g = 0; g < count; ++g) {
    in.U8();  // flags
    char name[kNameSize + 1];
    in.ReadFixedString(name, sizeof name, kNameSize);
    const uint16_t triangles = in.U16Le();
    if (!in.Fits(triangles, 2) || !in.Fits(uint64_t{triangles} * 2 + 1)) return Refuse("a group runs past the end of the file");
    const uint8_t* list = in.Take(size_t{triangles} * 2);
    const int8_t material = in.I8();
    LogFormatted(LOG_DETAIL, "  '%s' %u triangles, material %i\n", name, static_cast<unsigned>(triangles),
                 static_cast<int>(material));
    for (uint32_t i = 0; list && i < triangles; ++i) {
      const uint16_t t = LoadLe16(list + 2 * i);
      if (t < loaded.polygon_of.size() && loaded.polygon_of[t] >= 0)
        model.SetPolygonMaterial(static_cast<uint32_t>(loaded.polygon_of[t]), material < 0 ? kNoMaterial : material);
    }
  }
  model.poly_materials_present = 1;
  return 1;
}

int ReadMaterials(ModelData& model, ByteReader& in, Numbers& numbers) {
  const uint16_t count = in.U16Le();
  LogFormatted(LOG_DETAIL, " Reading materials (%u)\n", static_cast<unsigned>(count));
  if (!in.Ok() || !in.Fits(count, kMaterialSize)) return Refuse("the materials run past the end of the file");
  for (uint32_t m = 0; m < count; ++m) {
    char name[kNameSize + 1];
    in.ReadFixedString(name, sizeof name, kNameSize);
    double colours[4][4];
    for (auto& colour : colours)
      for (double& c : colour) c = numbers.Next();
    const double shininess = numbers.Next();
    const double transparency = numbers.Next();
    in.U8();  // mode
    char texture[kFileNameSize + 1], alpha[kFileNameSize + 1];
    in.ReadFixedString(texture, sizeof texture, kFileNameSize);
    in.ReadFixedString(alpha, sizeof alpha, kFileNameSize);
    model.ResetMaterial();
    for (int k = 0; k < 3; ++k) {
      model.material.ambient[k] = ToByte(colours[0][k] * 255.0);
      model.material.diffuse[k] = ToByte(colours[1][k] * 255.0);
      model.material.specular[k] = ToByte(colours[2][k] * 255.0);
      model.material.emissive[k] = ToByte(colours[3][k] * 255.0);
    }
    model.material.shininess = ToByte(shininess * 2.0);
    model.material.transparency = ToByte(transparency * 255.0);
    model.SetMaterialName(name);
    LogFormatted(LOG_DETAIL, "  '%s' texture [%s] alpha map [%s]\n", name, texture, alpha);
    if (texture[0] != '\0') {
      const MaterialRecord defined = model.material;
      const int32_t index = model.LoadTexture(TexturePath(model, texture).c_str());
      model.material = defined;
      model.material.texture = index;
    }
    if (model.AddMaterial() < 0) return Refuse("the model holds no more materials");
  }
  // Group material indexes that name no material mean none.
  uint32_t undone = 0;
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    const int32_t material = model.GetPolygonMaterial(p);
    if (material != kNoMaterial && (material < 0 || static_cast<uint32_t>(material) >= model.materials_count)) {
      model.SetPolygonMaterial(p, kNoMaterial);
      ++undone;
    }
  }
  if (undone)
    LogFormatted(LOG_ERROR, "LoadMs3d: %lu triangles name a material the file does not have, left without\n",
                 static_cast<unsigned long>(undone));
  return 1;
}

int ReadKeys(ByteReader& in, Numbers& numbers, uint32_t count, double fps, std::vector<ms3d::Key>& keys) {
  if (!in.Fits(count, kKeySize)) return 0;
  keys.resize(count);
  for (ms3d::Key& key : keys) {
    key.frame = numbers.Next() * fps;  // stored in seconds
    for (double& v : key.value) v = numbers.Next();
  }
  return 1;
}

int ReadKeyframer(ModelData& model, ByteReader& in, Numbers& numbers, Loaded& loaded) {
  LogMessage(" Reading keyframer data\n", LOG_DETAIL);
  if (in.AtEnd()) return 1;  // written without one
  if (!in.Fits(kKeyframerSize)) return Refuse("the keyframer runs past the end of the file");
  double fps = numbers.Next();
  numbers.Next();  // current time
  const uint32_t frames = in.U32Le();
  const uint16_t count = in.U16Le();
  LogFormatted(LOG_DETAIL, "  %.2f fps, %lu frames, %u joints\n", fps, static_cast<unsigned long>(frames),
               static_cast<unsigned>(count));
  if (!(fps > 0.0)) fps = 24.0;
  if (!in.Fits(count, kJointSize)) return Refuse("the joints run past the end of the file");
  std::vector<ms3d::JointSource> joints(count);
  for (ms3d::JointSource& joint : joints) {
    if (!in.Fits(kJointSize)) return Refuse("the joints run past the end of the file");
    in.U8();  // flags
    char name[kNameSize + 1], parent[kNameSize + 1];
    in.ReadFixedString(name, sizeof name, kNameSize);
    in.ReadFixedString(parent, sizeof parent, kNameSize);
    joint.name = name;
    joint.parent = parent;
    for (double& r : joint.rotation) r = numbers.Next();
    for (double& p : joint.position) p = numbers.Next();
    const uint16_t rotations = in.U16Le();
    const uint16_t positions = in.U16Le();
    if (!ReadKeys(in, numbers, rotations, fps, joint.rotation_keys) ||
        !ReadKeys(in, numbers, positions, fps, joint.position_keys))
      return Refuse("the keys of a joint run past the end of the file");
  }
  if (in.Remaining() > 0)
    LogFormatted(LOG_DETAIL, "  %lu bytes after the joints left unread\n", static_cast<unsigned long>(in.Remaining()));
  ms3d::SortKeys(joints);
  const std::vector<int> parents = ms3d::ResolveParents(joints, "LoadMs3d");
  const std::vector<int32_t> bones = ms3d::StoreSkeleton(model, joints, parents, "LoadMs3d");
  bool owned = false;
  for (uint32_t v = 0; v < loaded.vertex_joint.size(); ++v) {
    int& joint = loaded.vertex_joint[v];
    if (joint >= static_cast<int>(joints.size())) joint = -1;
    const int32_t bone = joint >= 0 ? bones[static_cast<size_t>(joint)] : -1;
    model.SetVertexOwner(v, bone >= 0 ? static_cast<uint16_t>(bone) : kNoOwner);
    owned = owned || bone >= 0;
  }
  if (owned) model.SkeletOwningType = so_vertexs;
  if (owned && ms3d::HasKeys(joints))
    ms3d::StoreKeyframeAnimation(model, joints, parents, loaded.vertex_joint, frames, "LoadMs3d");
  return 1;
}

// ---- Saving -------------------------------------------------------------------

using Writer = ByteWriter;

// Joint names as written: cut to the field, and told apart when cutting
// made two the same (children find their parent by name).
std::vector<std::string> JointNames(ModelData& model) {
  std::vector<std::string> names(model.joints_count);
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    JointRecord record{};
    model.GetJointInfo(j, &record);
    std::string name(record.name, strnlen(record.name, sizeof record.name));
    if (name.size() > kNameSize - 1) name.resize(kNameSize - 1);
    for (uint32_t n = 2; j > 0 && std::find(names.begin(), names.begin() + j, name) != names.begin() + j; ++n) {
      const std::string suffix = "#" + std::to_string(n);
      name = name.substr(0, std::min(name.size(), kNameSize - 1 - suffix.size())) + suffix;
    }
    names[j] = name;
  }
  return names;
}

void WriteKeys(Writer& out, const std::vector<ms3d::Key>& keys, double fps) {
  for (const ms3d::Key& key : keys) {
    out.F32(key.frame / fps);
    for (double v : key.value) out.F32(v);
  }
}

// The animation goes in as keys of the joints that reproduce it.
void WriteJoints(ModelData& model, Writer& out) {
  constexpr double kFps = 24.0;
  std::vector<ms3d::WrittenKeys> keys = ms3d::KeysFromAnimation(model);
  if (!keys.empty() && model.anim_frames_count > kMaxCount) {
    // A joint counts its keys in 16 bits.
    LogFormatted(LOG_ERROR, "SaveMs3d: %lu frames are more keys than a joint holds, the animation is left out\n",
                 static_cast<unsigned long>(model.anim_frames_count));
    keys.clear();
  }
  out.F32(kFps);
  out.F32(1.0);  // current time
  out.U32(keys.empty() ? 30 : model.anim_frames_count);
  const uint32_t joints = model.joints_count > 1 ? model.joints_count - 1 : 0;  // the root is implied
  out.U16(joints);
  const std::vector<std::string> names = JointNames(model);
  static const std::vector<ms3d::Key> kNone;
  for (uint32_t j = 1; j < model.joints_count; ++j) {
    const int32_t parent = model.GetParentJoint(static_cast<int32_t>(j));
    double x = 0, y = 0, z = 0, px = 0, py = 0, pz = 0;
    model.GetJointPosition(j, x, y, z);
    if (parent > 0) model.GetJointPosition(static_cast<uint32_t>(parent), px, py, pz);
    out.U8(0);
    out.Field(names[j].c_str(), kNameSize);
    out.Field(parent > 0 ? names[static_cast<size_t>(parent)].c_str() : "", kNameSize);
    for (int k = 0; k < 3; ++k) out.F32(0.0);
    out.F32(x - px);
    out.F32(y - py);
    out.F32(z - pz);
    const std::vector<ms3d::Key>& rotations = j < keys.size() ? keys[j].rotation : kNone;
    const std::vector<ms3d::Key>& positions = j < keys.size() ? keys[j].position : kNone;
    out.U16(static_cast<uint32_t>(rotations.size()));
    out.U16(static_cast<uint32_t>(positions.size()));
    WriteKeys(out, rotations, kFps);
    WriteKeys(out, positions, kFps);
  }
}

// The file's joint index of a vertex owner (a bone): the joint the bone
// ends at, less the implied root; -1 for none or beyond a signed byte.
int8_t OwnerJoint(ModelData& model, uint16_t owner, uint32_t* lost) {
  if (owner == kNoOwner || owner >= model.bones_count) return -1;
  int16_t first = 0, second = 0;
  if (!model.GetBoneJoints(owner, first, second) || second <= 0) return -1;
  if (second - 1 > 127) {
    ++*lost;
    return -1;
  }
  return static_cast<int8_t>(second - 1);
}

}  // namespace

int LoadMs3d(ModelData& model, FILE* file) {
  LogMessage("Loading ms3d...\n", LOG_MAJOR);
  model.relative_writes = 0;
  model.SetModelOrientation(2, 0, 4);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMs3d")) return 0;
  ByteReader in(bytes);
  const uint8_t* magic = in.Take(kMagicSize);
  if (!magic || std::memcmp(magic, kMagic, kMagicSize) != 0) return Refuse("not a Milkshape file (no MS3D000000)");
  const uint32_t version = in.U32Le();
  if (!in.Ok()) return Refuse("the header is cut short");
  LogFormatted(LOG_DETAIL, " Version %lu\n", static_cast<unsigned long>(version));
  Numbers numbers(in);
  Loaded loaded;
  if (!ReadVertexs(model, in, numbers, loaded) || !ReadTriangles(model, in, numbers, loaded) ||
      !ReadGroups(model, in, loaded) || !ReadMaterials(model, in, numbers) ||
      !ReadKeyframer(model, in, numbers, loaded))
    return 0;
  if (numbers.Bad())
    LogFormatted(LOG_ERROR, "LoadMs3d: %" PRIu64 " numbers that are not finite read as 0\n", numbers.Bad());
  model.CalcBoneLengths();
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.FinishObjects();
  LogMessage("...ms3d loaded\n", LOG_MAJOR);
  return 1;
}

int SaveMs3d(ModelData& model, FILE* file) {
  LogMessage("Saving ms3d...\n", LOG_MAJOR);
  model.relative_reads = 0;
  const uint32_t needed = ModelData::need_polygon_materials | ModelData::need_point_texcoords |
                          ModelData::need_point_normals | ModelData::need_triangles |
                          ModelData::need_objects_by_materials | ModelData::need_vertexs_by_objects |
                          ModelData::need_polygon_valid_materials;
  const uint32_t met = model.ConvertProperties(needed);
  if (met != needed) {
    LogFormatted(LOG_ERROR, "SaveMs3d: the model could not be given the properties the format needs (%lX of %lX)\n",
                 static_cast<unsigned long>(met), static_cast<unsigned long>(needed));
    return 0;
  }
  if (!model.ConvertModelOrientation(2, 0, 4)) {
    LogMessage("SaveMs3d: the model could not be turned to the format's axes\n", LOG_ERROR);
    return 0;
  }
  model.relative_reads = 0;
  if (model.materials_count > kMaxMaterials) model.Fix_LimitNoOfPolygonMaterialsToX(kMaxMaterials);
  // Counts are 16 bits and indexes global: a larger model cannot be written
  // without wrapping them.
  if (model.vertexs_count > kMaxCount || model.polygons_count > kMaxCount || model.materials_count > kMaxMaterials) {
    LogFormatted(LOG_ERROR,
                 "SaveMs3d: %lu vertexs, %lu triangles and %lu materials; the format holds at most %lu, %lu and %lu\n",
                 static_cast<unsigned long>(model.vertexs_count), static_cast<unsigned long>(model.polygons_count),
                 static_cast<unsigned long>(model.materials_count), static_cast<unsigned long>(kMaxCount),
                 static_cast<unsigned long>(kMaxCount), static_cast<unsigned long>(kMaxMaterials));
    return 0;
  }
  for (uint32_t i = 0; i < model.textures_count; ++i) {
    if (!model.GetTextureInfo(i)) continue;
    if (std::strlen(model.texture.base_name) > kMaxTextureName) model.texture.base_name[kMaxTextureName] = '\0';
    model.SetTextureInfo(i);
  }

  LogMessage("Writing header\n", LOG_DETAIL);
  Writer w;
  for (size_t i = 0; i < kMagicSize; ++i) w.U8(static_cast<uint8_t>(kMagic[i]));
  w.U32(4);
  LogMessage("Writing vertexs\n", LOG_DETAIL);
  w.U16(model.vertexs_count);
  uint32_t lost_owners = 0;
  const bool owners = model.SkeletOwningType == so_vertexs;
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0, y = 0, z = 0;
    model.ReadVertex(v, x, y, z);
    w.U8(0);
    w.F32(x);
    w.F32(y);
    w.F32(z);
    w.U8(static_cast<uint8_t>(owners ? OwnerJoint(model, model.GetVertexOwner(v), &lost_owners) : -1));
    w.U8(0);
  }
  if (lost_owners)
    LogFormatted(LOG_ERROR, "SaveMs3d: %lu vertexs belong to joints beyond the 128th, written without\n",
                 static_cast<unsigned long>(lost_owners));

  LogMessage("Writing polygons\n", LOG_DETAIL);
  w.U16(model.polygons_count);
  std::vector<std::vector<uint16_t>> groups(model.materials_count);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t first = 0, count = 0;
    model.ReadPolygonPointData(p, first, count);
    const int32_t material = model.GetPolygonMaterial(p);
    uint32_t corners[3] = {0, 0, 0};
    Vec3d normals[3] = {};
    double s[3] = {0, 0, 0}, t[3] = {0, 0, 0};
    for (uint32_t k = 0; k < 3 && k < count; ++k) {
      corners[k] = model.GetPointVertex(first + k);
      if (corners[k] >= model.vertexs_count) corners[k] = 0;
      model.GetPointNormal(first + k, normals[k]);
      model.GetPointTexcoord(first + k, s[k], t[k]);
      if (normals[k].x == kUnsetValue || normals[k].y == kUnsetValue || normals[k].z == kUnsetValue) normals[k] = {};
      if (s[k] == kUnsetValue) s[k] = 0;
      if (t[k] == kUnsetValue) t[k] = 0;
    }
    w.U16(0);
    for (uint32_t c : corners) w.U16(c);
    for (const Vec3d& n : normals) {
      w.F32(n.x);
      w.F32(n.y);
      w.F32(n.z);
    }
    for (double v : s) w.F32(v);
    for (double v : t) w.F32(v);
    w.U8(1);  // smoothing group
    const bool grouped = material >= 0 && static_cast<uint32_t>(material) < model.materials_count;
    w.U8(grouped ? static_cast<uint32_t>(material) : 0);
    if (grouped) groups[static_cast<size_t>(material)].push_back(static_cast<uint16_t>(p));
  }

  LogMessage("Writing groups\n", LOG_DETAIL);
  w.U16(model.materials_count);
  for (uint32_t g = 0; g < model.materials_count; ++g) {
    char name[kNameSize];
    std::snprintf(name, sizeof name, "Group %lu", static_cast<unsigned long>(g));
    w.U8(0);
    w.Field(name, kNameSize);
    w.U16(static_cast<uint32_t>(groups[g].size()));
    for (uint16_t t : groups[g]) w.U16(t);
    w.U8(g);
  }

  LogMessage("Writing materials\n", LOG_DETAIL);
  w.U16(model.materials_count);
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    model.GetMaterial(m);
    const MaterialRecord material = model.material;
    char name[sizeof material.name + 1];
    std::snprintf(name, sizeof name, "%.*s", static_cast<int>(strnlen(material.name, sizeof material.name)), material.name);
    w.Field(name, kNameSize);
    for (const uint8_t* colour : {material.ambient, material.diffuse, material.specular}) {
      for (int k = 0; k < 3; ++k) w.F32(colour[k] * 0.003921569);
      w.F32(0.9);
    }
    for (int k = 0; k < 4; ++k) w.F32(0.0);  // emissive
    w.F32(material.shininess * 0.5);
    w.F32(material.transparency * 0.003921569);
    w.U8(0);
    char texture[kFileNameSize];
    texture[0] = '\0';
    if (material.texture >= 0 && static_cast<uint32_t>(material.texture) < model.textures_count)
      std::snprintf(texture, sizeof texture, "%.120s.jpg", model.Texture(static_cast<uint32_t>(material.texture)).base_name);
    w.Field(texture, kFileNameSize);
    w.Field("", kFileNameSize);  // alpha map
  }
  WriteJoints(model, w);

  const std::vector<uint8_t>& data = w.Data();
  if (std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
    LogMessage("SaveMs3d: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...ms3d saved\n", LOG_MAJOR);
  if (model.textures_count > 0) {
    LogMessage(" saving textures to jpg's\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_JPG, MODE_RGB888, 0);
  }
  return 1;
}

}  // namespace zepcon
