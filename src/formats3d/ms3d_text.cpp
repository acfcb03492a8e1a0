// Milkshape text models: sections of meshes, materials and bones, each
// opened by a line "Meshes: n", "Materials: n" or "Bones: n". A mesh has its
// own vertex list (with mapping and owning bone), its own normal list and
// triangles naming both by index; names are in double quotes; "//" starts
// a comment. Key times count frames from 1.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "formats3d/ms3d_skeleton.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using model_text::ParseDouble;
using model_text::ParseInteger;

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxWords = 16;
constexpr size_t kMaxWord = 255;
constexpr const char* kHomePage = "http://tavok.zepcon.net";

// Channels are written with six decimals, which may leave a byte / 255
// written out a hair below the byte: a thousandth is given back before
// the value is cut.
uint8_t ToByte(double value) {
  value += 1e-3;
  if (!(value > 0.0)) return 0;
  return static_cast<uint8_t>(std::min(value, 255.0));
}

// Meaningful lines: comments cut off, blanks trimmed, empty lines skipped.
class Lines {
 public:
  explicit Lines(const std::vector<uint8_t>& bytes) : raw_(bytes.data(), bytes.size(), kMaxLine) {}

  bool Next(std::string_view& line) {
    while (raw_.Next(line)) {
      ++number_;
      const size_t comment = line.find("//");
      if (comment != std::string_view::npos) line = line.substr(0, comment);
      line = model_text::Trim(line);
      if (!line.empty()) return true;
    }
    return false;
  }
  // The next line as words; false at the end of the text.
  bool Words(std::vector<std::string_view>& words) {
    std::string_view line;
    if (!Next(line)) return false;
    model_text::SplitTokens(line, words, kMaxWords, kMaxWord);
    return true;
  }
  // The text between the first two double quotes of the next line (the rest
  // of the line when the second is missing), and what follows it.
  bool Quoted(std::string& text, std::string_view* rest = nullptr) {
    std::string_view line;
    if (!Next(line)) return false;
    const size_t open = line.find('"');
    if (open == std::string_view::npos) return false;
    const size_t close = line.find('"', open + 1);
    text.assign(line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
    if (rest) *rest = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
    return true;
  }
  uint64_t Number() const { return number_; }

 private:
  model_text::TextLines raw_;
  uint64_t number_ = 0;
};

bool Numbers(const std::vector<std::string_view>& words, size_t count, double* out) {
  if (words.size() < count) return false;
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    bool ok = false;
    out[i] = ParseDouble(words[i], &ok);
    all = all && ok;
  }
  return all;
}

bool Integer(std::string_view word, int64_t* value) {
  bool ok = false;
  *value = ParseInteger(word, &ok);
  return ok;
}

// A count line: one non-negative integer.
bool Count(Lines& lines, uint64_t* count) {
  std::vector<std::string_view> words;
  int64_t value = 0;
  if (!lines.Words(words) || words.empty() || !Integer(words[0], &value) || value < 0) return false;
  *count = static_cast<uint64_t>(value);
  return true;
}

class TextLoader {
 public:
  TextLoader(ModelData& model, Lines& lines) : model_(model), lines_(lines) {}

  int Run() {
    std::vector<std::string_view> words;
    while (lines_.Words(words)) {
      if (words.size() < 2) continue;
      int64_t n = 0;
      const bool counted = Integer(words[1], &n) && n >= 0;
      if (words[0] == "Frames:" && counted) {
        frames_ = static_cast<uint64_t>(n);
      } else if (words[0] == "Meshes:" && counted) {
        LogFormatted(LOG_DETAIL, " Meshes (%i)\n", static_cast<int>(n));
        for (int64_t i = 0; i < n; ++i)
          if (!Mesh()) return Fail("a mesh");
      } else if (words[0] == "Materials:" && counted) {
        LogFormatted(LOG_DETAIL, " Materials (%i)\n", static_cast<int>(n));
        for (int64_t i = 0; i < n; ++i)
          if (!Material()) return Fail("a material");
      } else if (words[0] == "Bones:" && counted) {
        LogFormatted(LOG_DETAIL, " Bones (%i)\n", static_cast<int>(n));
        for (int64_t i = 0; i < n; ++i)
          if (!Bone()) return Fail("a bone");
      }
    }
    Finish();
    return 1;
  }

 private:
  int Fail(const char* what) {
    LogFormatted(LOG_ERROR, "LoadMs3dText: %s could not be read (line %" PRIu64 ")\n", what, lines_.Number());
    return 0;
  }

  bool Mesh() {
    std::string name;
    std::string_view rest;
    if (!lines_.Quoted(name, &rest)) return false;
    std::vector<std::string_view> words;
    model_text::SplitTokens(rest, words, kMaxWords, kMaxWord);
    int64_t material = -1;
    if (words.size() < 2 || !Integer(words[1], &material)) return false;
    model_.SetObjectName(name.c_str());
    LogFormatted(LOG_DETAIL, "  '%s', ", name.c_str());
    const uint32_t first_vertex = model_.vertexs_count;
    uint64_t vertexs = 0, normals = 0, polygons = 0;
    if (!Count(lines_, &vertexs)) return false;
    LogFormatted(LOG_DETAIL, " %i vertexs", static_cast<int>(vertexs));
    for (uint64_t v = 0; v < vertexs; ++v) {
      double n[6];
      int64_t bone = -1;
      if (!lines_.Words(words) || !Numbers(words, 6, n) || words.size() < 7 || !Integer(words[6], &bone)) return false;
      if (model_.vertexs_count != first_vertex + v) return false;  // the model holds no more
      const uint32_t index = model_.StoreVertex(n[1], n[2], n[3]);
      model_.SetVertexTexcoord(index, n[4], n[5]);
      vertex_bone_.push_back(bone >= 0 && bone < INT32_MAX ? static_cast<int>(bone) : -1);
    }
    if (!Count(lines_, &normals)) return false;
    LogFormatted(LOG_DETAIL, " %i normals", static_cast<int>(normals));
    std::vector<Vec3d> normal_list;
    for (uint64_t k = 0; k < normals; ++k) {
      double n[3];
      if (!lines_.Words(words) || !Numbers(words, 3, n)) return false;
      normal_list.push_back({n[0], n[1], n[2]});
    }
    if (!Count(lines_, &polygons)) return false;
    LogFormatted(LOG_DETAIL, " %i polygons\n", static_cast<int>(polygons));
    for (uint64_t p = 0; p < polygons; ++p) {
      int64_t n[7];
      if (!lines_.Words(words) || words.size() < 7) return false;
      for (size_t i = 0; i < 7; ++i)
        if (!Integer(words[i], &n[i])) return false;
      const bool named = n[1] >= 0 && n[2] >= 0 && n[3] >= 0 && static_cast<uint64_t>(n[1]) < vertexs &&
                         static_cast<uint64_t>(n[2]) < vertexs && static_cast<uint64_t>(n[3]) < vertexs;
      const uint32_t corners[3] = {first_vertex + static_cast<uint32_t>(named ? n[1] : 0),
                                   first_vertex + static_cast<uint32_t>(named ? n[2] : 0),
                                   first_vertex + static_cast<uint32_t>(named ? n[3] : 0)};
      const uint32_t polygon = model_.polygons_count;
      if (!named || !model_.StorePolygon(3, corners)) {
        ++dropped_;
        continue;
      }
      if (material >= 0) {
        model_.SetPolygonMaterial(polygon, material < INT32_MAX ? static_cast<int32_t>(material) : INT32_MAX);
        model_.poly_materials_present = 1;
      }
      uint32_t first = 0, count = 0;
      model_.ReadPolygonPointData(polygon, first, count);
      for (uint32_t k = 0; k < 3 && k < count; ++k) {
        const int64_t normal = n[4 + k];
        if (normal >= 0 && static_cast<uint64_t>(normal) < normal_list.size())
          model_.SetPointNormal(first + k, normal_list[static_cast<size_t>(normal)]);
        else
          ++bad_normals_;
      }
    }
    model_.NewObject();
    return true;
  }

  bool Material() {
    std::string name;
    if (!lines_.Quoted(name)) return false;
    LogFormatted(LOG_DETAIL, "  '%s'\n", name.c_str());
    model_.ResetMaterial();
    std::vector<std::string_view> words;
    uint8_t* colours[4] = {model_.material.ambient, model_.material.diffuse, model_.material.specular,
                           model_.material.emissive};
    for (uint8_t* colour : colours) {
      double c[3];
      if (!lines_.Words(words) || !Numbers(words, 3, c)) return false;
      for (int k = 0; k < 3; ++k) colour[k] = ToByte(c[k] * 255.0);
    }
    double shininess = 0, transparency = 0;
    if (!lines_.Words(words) || !Numbers(words, 1, &shininess)) return false;
    if (!lines_.Words(words) || !Numbers(words, 1, &transparency)) return false;
    // Shininess runs from 0 to 128 as in the binary form.
    model_.material.shininess = ToByte(shininess * 2.0);
    model_.material.transparency = ToByte(transparency * 255.0);
    std::string texture, alpha;
    if (!lines_.Quoted(texture) || !lines_.Quoted(alpha)) return false;
    model_.SetMaterialName(name.c_str());
    if (!texture.empty()) {
      std::string path(model_.settings.file_folder,
                       strnlen(model_.settings.file_folder, sizeof model_.settings.file_folder));
      for (char& c : texture)
        if (c == '\\') c = '/';
      while (texture.compare(0, 2, "./") == 0) texture.erase(0, 2);
      const MaterialRecord defined = model_.material;
      const int32_t index = model_.LoadTexture((path + texture).c_str());
      model_.material = defined;
      model_.material.texture = index;
    }
    return model_.AddMaterial() >= 0;
  }

  bool Keys(std::vector<ms3d::Key>& keys) {
    uint64_t count = 0;
    if (!Count(lines_, &count)) return false;
    std::vector<std::string_view> words;
    for (uint64_t i = 0; i < count; ++i) {
      double n[4];
      if (!lines_.Words(words) || !Numbers(words, 4, n)) return false;
      keys.push_back({n[0], {n[1], n[2], n[3]}});
    }
    return true;
  }

  bool Bone() {
    ms3d::JointSource joint;
    if (!lines_.Quoted(joint.name) || !lines_.Quoted(joint.parent)) return false;
    std::vector<std::string_view> words;
    double n[7];
    if (!lines_.Words(words) || !Numbers(words, 7, n)) return false;
    for (int k = 0; k < 3; ++k) {
      joint.position[k] = n[1 + k];
      joint.rotation[k] = n[4 + k];
    }
    if (!Keys(joint.position_keys) || !Keys(joint.rotation_keys)) return false;
    joints_.push_back(std::move(joint));
    return true;
  }

  void Finish() {
    uint32_t undone = 0;
    for (uint32_t p = 0; p < model_.polygons_count && model_.poly_materials_present; ++p) {
      const int32_t material = model_.GetPolygonMaterial(p);
      if (material != kNoMaterial && (material < 0 || static_cast<uint32_t>(material) >= model_.materials_count)) {
        model_.SetPolygonMaterial(p, kNoMaterial);
        ++undone;
      }
    }
    if (undone)
      LogFormatted(LOG_ERROR, "LoadMs3dText: %lu triangles name a material the file does not have, left without\n",
                   static_cast<unsigned long>(undone));
    if (dropped_)
      LogFormatted(LOG_ERROR, "LoadMs3dText: %" PRIu64 " triangles name vertexs their mesh does not have, dropped\n",
                   dropped_);
    if (bad_normals_)
      LogFormatted(LOG_ERROR, "LoadMs3dText: %" PRIu64 " triangle corners name normals their mesh does not have\n",
                   bad_normals_);
    ms3d::SortKeys(joints_);
    const std::vector<int> parents = ms3d::ResolveParents(joints_, "LoadMs3dText");
    const std::vector<int32_t> bones = ms3d::StoreSkeleton(model_, joints_, parents, "LoadMs3dText");
    bool owned = false;
    for (uint32_t v = 0; v < vertex_bone_.size(); ++v) {
      int& joint = vertex_bone_[v];
      if (joint >= static_cast<int>(joints_.size())) joint = -1;
      const int32_t bone = joint >= 0 ? bones[static_cast<size_t>(joint)] : -1;
      model_.SetVertexOwner(v, bone >= 0 ? static_cast<uint16_t>(bone) : kNoOwner);
      owned = owned || bone >= 0;
    }
    if (owned) model_.SkeletOwningType = so_vertexs;
    if (owned && ms3d::HasKeys(joints_) && frames_ > 0)
      ms3d::StoreKeyframeAnimation(model_, joints_, parents, vertex_bone_,
                                   static_cast<uint32_t>(std::min<uint64_t>(frames_, UINT32_MAX)), "LoadMs3dText");
  }

  ModelData& model_;
  Lines& lines_;
  uint64_t frames_ = 0;
  uint64_t dropped_ = 0;
  uint64_t bad_normals_ = 0;
  std::vector<int> vertex_bone_;  // per model vertex: the file's bone, -1 none
  std::vector<ms3d::JointSource> joints_;
};

// The written form of a vertex within its mesh: the same vertex with other
// mapping is another vertex of the text.
using Corner = std::tuple<uint32_t, double, double>;

void WriteMesh(ModelData& model, model_text::TextWriter& out, const ObjectRecord& object,
               const std::vector<int32_t>& owner_bone) {
  std::map<Corner, uint32_t> index_of;
  std::vector<Corner> vertexs;
  std::vector<Vec3d> normals;
  std::vector<uint32_t> triangles;
  int32_t material = -1;
  for (uint32_t p = 0; p < object.polygon_count; ++p) {
    const uint32_t polygon = object.first_polygon + p;
    uint32_t first = 0, count = 0;
    if (!model.ReadPolygonPointData(polygon, first, count) || count < 3) continue;
    if (p == 0 && model.poly_materials_present) material = model.GetPolygonMaterial(polygon);
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t vertex = model.GetPointVertex(first + k);
      double u = 0, v = 0;
      model.GetPointTexcoord(first + k, u, v);
      if (u == kUnsetValue) u = 0;
      if (v == kUnsetValue) v = 0;
      const Corner corner{vertex < model.vertexs_count ? vertex : 0, u, v};
      const auto found = index_of.emplace(corner, static_cast<uint32_t>(vertexs.size()));
      if (found.second) vertexs.push_back(corner);
      triangles.push_back(found.first->second);
      Vec3d normal{0, 0, 0};
      model.GetPointNormal(first + k, normal);
      if (normal.x == kUnsetValue || normal.y == kUnsetValue || normal.z == kUnsetValue) normal = {0, 0, 0};
      normals.push_back(normal);
    }
  }
  const std::string_view name(object.name, strnlen(object.name, sizeof object.name));
  out.Char('"').Text(name).Text("\" 0 ");
  if (material < 0)
    out.Text("-1");
  else
    out.Unsigned(static_cast<uint32_t>(material));
  out.Char('\n').Unsigned(vertexs.size()).Char('\n');
  for (const Corner& corner : vertexs) {
    double x = 0, y = 0, z = 0;
    model.ReadVertex(std::get<0>(corner), x, y, z);
    const int32_t bone = owner_bone.empty() ? -1 : owner_bone[std::get<0>(corner)];
    out.Text("0 ").Fixed(x).Char(' ').Fixed(y).Char(' ').Fixed(z).Char(' ').Fixed(std::get<1>(corner)).Char(' ');
    out.Fixed(std::get<2>(corner)).Char(' ');
    if (bone < 0)
      out.Text("-1");
    else
      out.Unsigned(static_cast<uint32_t>(bone));
    out.Char('\n');
  }
  // One normal per corner keeps hard edges as they are.
  out.Unsigned(normals.size()).Char('\n');
  for (const Vec3d& n : normals) out.Fixed(n.x).Char(' ').Fixed(n.y).Char(' ').Fixed(n.z).Char('\n');
  out.Unsigned(triangles.size() / 3).Char('\n');
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    out.Text("0 ").Unsigned(triangles[t]).Char(' ').Unsigned(triangles[t + 1]).Char(' ').Unsigned(triangles[t + 2]);
    out.Char(' ').Unsigned(t).Char(' ').Unsigned(t + 1).Char(' ').Unsigned(t + 2).Text(" 1\n");
  }
}

void WriteKeys(model_text::TextWriter& out, const std::vector<ms3d::Key>& keys) {
  out.Unsigned(keys.size()).Char('\n');
  for (const ms3d::Key& key : keys) {
    out.Fixed(key.frame);
    for (double v : key.value) out.Char(' ').Fixed(v);
    out.Char('\n');
  }
}

void WriteColour(model_text::TextWriter& out, const uint8_t rgb[3]) {
  for (int k = 0; k < 3; ++k) out.Fixed(rgb[k] * 0.003921569).Char(' ');
  out.Text("1.000000\n");
}

}  // namespace

int LoadMs3dText(ModelData& model, FILE* file) {
  model.SetModelOrientation(2, 0, 4);
  LogMessage("Loading ms3d ascii...\n", LOG_MAJOR);
  model.relative_writes = 0;  // meshes are placed by their own first vertex
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMs3dText")) return 0;
  Lines lines(bytes);
  TextLoader loader(model, lines);
  const int result = loader.Run();
  model.FinishObjects();
  model.relative_writes = 1;
  if (!result) return 0;
  model.CalcBoneLengths();
  model.point_normals_present = 1;
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.vert_texcoords_present = 1;
  LogMessage("... ms3d ascii loaded\n", LOG_MAJOR);
  return 1;
}

int SaveMs3dText(ModelData& model, FILE* file) {
  LogMessage("Saving Milkshape Ascii...\n", LOG_MAJOR);
  if (!model.TriangulatePolygons()) {
    LogMessage("SaveMs3dText: the polygons could not be cut into triangles\n", LOG_ERROR);
    return 0;
  }
  uint32_t needed = ModelData::need_point_normals | ModelData::need_point_texcoords;
  if (model.materials_count > 0)
    needed |= ModelData::need_polygon_materials | ModelData::need_polygon_valid_materials |
              ModelData::need_objects_by_materials;
  if (model.ConvertProperties(needed) != needed) {
    LogMessage("SaveMs3dText: the model could not be given the properties the format needs\n", LOG_ERROR);
    return 0;
  }
  if (!model.ConvertModelOrientation(2, 0, 4)) {
    LogMessage("SaveMs3dText: the model could not be turned to the format's axes\n", LOG_ERROR);
    return 0;
  }
  model.relative_reads = 0;
  std::vector<int32_t> owner_bone;
  if (model.SkeletOwningType == so_vertexs) {
    owner_bone.resize(model.vertexs_count, -1);
    for (uint32_t v = 0; v < model.vertexs_count; ++v) {
      const uint16_t owner = model.GetVertexOwner(v);
      if (owner != kNoOwner && owner < model.bones_count) owner_bone[v] = owner;
    }
  }
  // The animation goes in as keys of the bones that reproduce it.
  const std::vector<ms3d::WrittenKeys> keys = ms3d::KeysFromAnimation(model);
  model_text::TextWriter out(file);
  out.Text("// MilkShape 3D ASCII\n\n// generated by Zepcon\n// Zepcon by tavok, ").Text(kHomePage).Text("\n");
  out.Text("Frames: ").Unsigned(keys.empty() ? 1 : model.anim_frames_count).Text("\nFrame: 1\n\nMeshes: ");
  out.Unsigned(model.objects_count).Char('\n');
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (!model.GetObjectInfo(o, &object)) ModelData::ResetObjectRecord(&object);
    WriteMesh(model, out, object, owner_bone);
  }
  out.Text("\nMaterials: ").Unsigned(model.materials_count).Char('\n');
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    model.GetMaterial(m);
    const MaterialRecord material = model.material;
    out.Char('"').Text(std::string_view(material.name, strnlen(material.name, sizeof material.name))).Text("\"\n");
    WriteColour(out, material.ambient);
    WriteColour(out, material.diffuse);
    WriteColour(out, material.specular);
    WriteColour(out, material.emissive);
    out.Fixed(material.shininess * 0.5).Char('\n');
    out.Fixed(material.transparency * 0.003921569).Char('\n');
    if (material.texture >= 0 && static_cast<uint32_t>(material.texture) < model.textures_count)
      out.Char('"').Text(model.Texture(static_cast<uint32_t>(material.texture)).base_name).Text(".jpg\"\n");
    else
      out.Text("\"\"\n");
    out.Text("\"\"\n");
  }
  out.Text("\nBones: ").Unsigned(model.bones_count).Char('\n');
  for (uint32_t b = 0; b < model.bones_count; ++b) {
    int16_t start = 0, end = 0;
    model.GetBoneJoints(b, start, end);
    JointRecord from{}, to{};
    if (start >= 0) model.GetJointInfo(static_cast<uint32_t>(start), &from);
    if (end >= 0) model.GetJointInfo(static_cast<uint32_t>(end), &to);
    out.Char('"').Text(std::string_view(to.name, strnlen(to.name, sizeof to.name))).Text("\"\n");
    out.Char('"').Text(std::string_view(from.name, strnlen(from.name, sizeof from.name))).Text("\"\n");
    // Positions are written within the parent, as they are read.
    out.Text("0 ").Fixed(to.position[0] - from.position[0]).Char(' ').Fixed(to.position[1] - from.position[1]);
    out.Char(' ').Fixed(to.position[2] - from.position[2]).Text(" 0.0 0.0 0.0\n");
    const bool keyed = end > 0 && static_cast<size_t>(end) < keys.size();
    WriteKeys(out, keyed ? keys[static_cast<size_t>(end)].position : std::vector<ms3d::Key>());
    WriteKeys(out, keyed ? keys[static_cast<size_t>(end)].rotation : std::vector<ms3d::Key>());
    out.Char('\n');
  }
  out.Flush();
  if (std::ferror(file)) {
    LogMessage("SaveMs3dText: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  if (model.textures_count > 0) {
    LogMessage(" saving textures to jpg's\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_JPG, MODE_RGB888, 0);
  }
  LogMessage("... ms3d ascii saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
