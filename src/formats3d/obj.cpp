// Wavefront OBJ models and their ".mtl" material libraries. The loader reads
// both kinds of file with one keyword table; the saver writes one group per
// object with per-point normals and texture coordinates, the library beside
// the model and the textures as Targa pictures.
//
// The file is read whole into memory and parsed in one pass; numbers are
// read with from_chars. Lists read from the file grow with what the file
// holds, never by a count it announces.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using model_text::ParseDouble;
using model_text::ParseInteger;
using model_text::TextLines;

constexpr size_t kMaxPhysicalLine = 999;
constexpr size_t kMaxLogicalLine = 1000;
constexpr size_t kMaxToken = 254;
constexpr uint32_t kMaxFacePoints = 100;
// Normals and texture coordinates kept at most: far beyond what the model
// can give points to, and a bound on what a hostile file can make us hold.
constexpr size_t kMaxTableEntries = size_t{1} << 22;
// Libraries naming further libraries are followed this deep, no deeper, so
// that a library naming itself cannot recurse without end.
constexpr int kMaxLibraryDepth = 4;

enum Keyword {
  kComment,
  kGroup,
  kVertex,
  kNormal,
  kFace,
  kMtllib,
  kUsemtl,
  kTexcoord,
  kSmoothing,
  kNewmtl,
  kAmbient,
  kDiffuse,
  kSpecular,
  kShininess,
  kMapKd,
  kGroupWord,
  kFaceOutline,
  kUnknown,
};

constexpr const char* kKeywords[] = {"#",  "g",  "v",  "vn", "f",      "mtllib", "usemtl", "vt", "s",
                                     "newmtl", "Ka", "Kd", "Ks", "Ns", "map_Kd", "group", "fo"};

Keyword FindKeyword(std::string_view token) {
  for (size_t i = 0; i < std::size(kKeywords); ++i)
    if (token == kKeywords[i]) return static_cast<Keyword>(i);
  return kUnknown;
}

class ObjReader {
 public:
  ObjReader(ModelData& model, int depth) : model_(model), depth_(depth) {
    normals_.reserve(500);
    texcoords_.reserve(500);
  }

  void Parse(const std::vector<uint8_t>& bytes);
  void Finish();

 private:
  bool ReadLogicalLine(TextLines& lines);
  void BuildRest();
  void Act(Keyword keyword);
  void StartGroup();
  void ReadVertex();
  void ReadFace();
  void ReadLibrary();
  bool ReadLibraryFile(std::string_view name, bool quiet);
  void UseMaterial();
  void SetColour(uint8_t* bytes);
  void ReadTextureMap(std::string_view line);
  void EndMaterialDefinition();
  bool Room(size_t size) {
    if (size < kMaxTableEntries) return true;
    if (!table_full_logged_) LogMessage("Error growing memory !\n", LOG_ERROR);
    table_full_logged_ = true;
    return false;
  }

  ModelData& model_;
  int depth_;
  std::vector<Vec3d> normals_;
  std::vector<TexCoord> texcoords_;
  int32_t current_material_ = kNoMaterial;
  bool defining_material_ = false;
  bool table_full_logged_ = false;
  uint64_t known_lines_ = 0;
  uint64_t unknown_lines_ = 0;
  uint64_t bad_indexes_ = 0;
  uint64_t long_lines_ = 0;
  std::string line_;
  std::string rest_;
  std::vector<std::string_view> tokens_;
  std::vector<uint32_t> face_vertexes_;
  std::vector<int64_t> face_texcoords_;
  std::vector<int64_t> face_normals_;
};

// One logical line into line_: the next non-empty physical line, joined with
// the following ones while it ends in a backslash.
bool ObjReader::ReadLogicalLine(TextLines& lines) {
  std::string_view physical;
  if (!lines.NextNonEmpty(physical)) return false;
  line_.assign(physical);
  while (!line_.empty() && line_.back() == '\\') {
    line_.pop_back();
    std::string_view next;
    if (!lines.Next(next)) break;
    if (line_.size() + next.size() >= kMaxLogicalLine) {
      LogMessage("Line too long, skipping end\n", LOG_ERROR);
      break;
    }
    line_.append(next);
  }
  return true;
}

// Tokens 1, 2, ... joined by single blanks; a keyword alone leaves one blank.
void ObjReader::BuildRest() {
  rest_.clear();
  for (size_t i = 1; i <= tokens_.size(); ++i) {
    const std::string_view token = i < tokens_.size() ? tokens_[i] : std::string_view();
    if (rest_.size() + token.size() + 1 > kMaxLogicalLine) {
      LogFormatted(LOG_DETAIL, "  Name too long '%s'\n", rest_.c_str());
      break;
    }
    rest_.append(token);
    rest_.push_back(' ');
  }
  if (rest_.size() > 1) rest_.resize(rest_.size() - 2);
}

void ObjReader::Parse(const std::vector<uint8_t>& bytes) {
  TextLines lines(bytes.data(), bytes.size(), kMaxPhysicalLine);
  while (ReadLogicalLine(lines)) {
    model_text::SplitTokens(line_, tokens_, kMaxFacePoints + 1, kMaxToken);
    if (tokens_.empty()) continue;
    const Keyword keyword = FindKeyword(tokens_[0]);
    if (keyword == kUnknown && tokens_[0].front() != '#') {
      ++unknown_lines_;
      LogFormatted(LOG_ERROR, " Line of unknown type [%s]\n", line_.c_str());
      continue;
    }
    ++known_lines_;
    if (defining_material_ && keyword != kAmbient && keyword != kDiffuse && keyword != kSpecular &&
        keyword != kShininess && keyword != kMapKd)
      EndMaterialDefinition();
    BuildRest();
    Act(keyword);
  }
  long_lines_ = lines.CutLines();
}

void ObjReader::Act(Keyword keyword) {
  switch (keyword) {
    case kGroup:
      StartGroup();
      break;
    case kVertex:
      ReadVertex();
      break;
    case kNormal:
      if (!Room(normals_.size())) break;
      normals_.push_back({tokens_.size() > 1 ? ParseDouble(tokens_[1]) : 0.0,
                          tokens_.size() > 2 ? ParseDouble(tokens_[2]) : 0.0,
                          tokens_.size() > 3 ? ParseDouble(tokens_[3]) : 0.0});
      break;
    case kTexcoord:
      if (!Room(texcoords_.size())) break;
      texcoords_.push_back({tokens_.size() > 1 ? ParseDouble(tokens_[1]) : 0.0,
                            1.0 - (tokens_.size() > 2 ? ParseDouble(tokens_[2]) : 0.0)});
      break;
    case kFace:
    case kFaceOutline:
      ReadFace();
      break;
    case kMtllib:
      ReadLibrary();
      break;
    case kUsemtl:
      UseMaterial();
      break;
    case kNewmtl:
      model_.ResetMaterial();
      model_.SetMaterialName(rest_.c_str());
      defining_material_ = true;
      break;
    case kAmbient:
      SetColour(model_.material.ambient);
      break;
    case kDiffuse:
      SetColour(model_.material.diffuse);
      break;
    case kSpecular:
      SetColour(model_.material.specular);
      break;
    case kMapKd:
      ReadTextureMap(line_);
      break;
    default:
      break;
  }
}

void ObjReader::StartGroup() {
  if (model_.settings.obj_one_object) return;
  ObjectRecord current;
  if (model_.GetObjectInfo(model_.CurrentObject(), &current) && model_.polygons_count > current.first_polygon)
    model_.NewObject();
  model_.SetObjectName(rest_.c_str());
}

void ObjReader::ReadVertex() {
  float xyz[3] = {0.0f, 0.0f, 0.0f};
  for (size_t i = 0; i < 3; ++i)
    if (i + 1 < tokens_.size()) xyz[i] = static_cast<float>(ParseDouble(tokens_[i + 1]));
  model_.StoreVertex(xyz[0], xyz[1], xyz[2]);
}

// An index field of a face point: n counts from 1, a negative n back from
// the end of its list. -1 when the field is empty or names nothing.
int64_t ResolveIndex(std::string_view field, uint64_t list_size, bool* bad) {
  if (field.empty()) return -1;
  bool ok = false;
  const int64_t n = ParseInteger(field, &ok);
  int64_t index = -1;
  if (ok && n > 0 && static_cast<uint64_t>(n) <= list_size) index = n - 1;
  if (ok && n < 0 && n != INT64_MIN && static_cast<uint64_t>(-n) <= list_size)
    index = static_cast<int64_t>(list_size) + n;
  if (index < 0) *bad = true;
  return index;
}

void ObjReader::ReadFace() {
  face_vertexes_.clear();
  face_texcoords_.clear();
  face_normals_.clear();
  for (size_t t = 1; t < tokens_.size() && face_vertexes_.size() < kMaxFacePoints; ++t) {
    std::string_view fields[3];
    std::string_view token = tokens_[t];
    for (int f = 0; f < 3; ++f) {
      const size_t slash = token.find('/');
      fields[f] = token.substr(0, slash);
      if (slash == std::string_view::npos) break;
      token.remove_prefix(slash + 1);
    }
    bool bad = false;
    const int64_t vertex = ResolveIndex(fields[0], model_.vertexs_count, &bad);
    // A vertex that does not exist is left one past the last for the model
    // check to repair.
    face_vertexes_.push_back(vertex < 0 ? model_.vertexs_count : static_cast<uint32_t>(vertex));
    bool ignored = false;
    face_texcoords_.push_back(ResolveIndex(fields[1], texcoords_.size(), &ignored));
    face_normals_.push_back(ResolveIndex(fields[2], normals_.size(), &ignored));
    if (bad) ++bad_indexes_;
  }
  const uint32_t count = static_cast<uint32_t>(face_vertexes_.size());
  const uint32_t points_before = model_.points_count;
  if (!model_.StorePolygon(count, face_vertexes_.data())) return;
  const uint32_t polygon = model_.polygons_count - 1;
  if (current_material_ != kNoMaterial) model_.SetPolygonMaterial(polygon, current_material_);
  // Points as stored (a short polygon was filled up to three).
  const uint32_t stored = model_.points_count - points_before;
  for (uint32_t i = 0; i < count && i < stored; ++i) {
    const uint32_t point = points_before + i;
    if (face_normals_[i] >= 0) model_.SetPointNormal(point, normals_[static_cast<size_t>(face_normals_[i])]);
    if (face_texcoords_[i] >= 0) {
      const TexCoord& uv = texcoords_[static_cast<size_t>(face_texcoords_[i])];
      model_.SetPointTexcoord(point, uv.u, uv.v);
    }
  }
}

void ObjReader::ReadLibrary() {
  LogFormatted(LOG_DETAIL, " Found reference to mat file [%s]...", rest_.c_str());
  if (depth_ >= kMaxLibraryDepth) {
    LogMessage(" libraries nested too deep, not read\n", LOG_ERROR);
    return;
  }
  // Several libraries may share one line; the whole rest is tried first,
  // since a name may hold blanks.
  const std::string rest = rest_;
  if (ReadLibraryFile(rest, tokens_.size() > 2) || tokens_.size() <= 2) return;
  std::vector<std::string> names;
  for (size_t i = 1; i < tokens_.size(); ++i) names.emplace_back(tokens_[i]);
  for (const std::string& name : names) ReadLibraryFile(name, false);
}

bool ObjReader::ReadLibraryFile(std::string_view name, bool quiet) {
  const ConversionSettings& settings = model_.settings;
  std::string path;
  // A drive letter or a leading separator names the library absolutely.
  if ((name.size() > 1 && name[1] == ':') || (!name.empty() && name[0] == '/'))
    path.assign(name);
  else
    path.assign(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder)).append(name);
  if (model_.companions) {
    const std::string found = model_.companions->FindFile(path.c_str());
    if (!found.empty()) path = found;
  }
  std::vector<uint8_t> bytes;
  const char* why = "";
  if (!model_text::ReadCompanionText(path, bytes, &why)) {
    if (!quiet) {
      LogMessage(" could not open\n", LOG_DETAIL);
      LogFormatted(LOG_ERROR, "LoadObj: material library [%s] %s\n", path.c_str(), why);
    }
    return false;
  }
  ObjReader library(model_, depth_ + 1);
  library.Parse(bytes);
  library.Finish();
  LogMessage("  parsed mat file\n", LOG_DETAIL);
  return true;
}

void ObjReader::UseMaterial() {
  current_material_ = kNoMaterial;
  char name[sizeof MaterialRecord::name];
  for (uint32_t i = 0; i < model_.materials_count; ++i) {
    model_.GetMaterial(i);
    model_.GetMaterialName(name, sizeof name);
    if (rest_ == name) {
      current_material_ = static_cast<int32_t>(i);
      break;
    }
  }
}

// Components 0..1 become bytes: × 255, cut to an integer (kept in 0..255).
void ObjReader::SetColour(uint8_t* bytes) {
  if (!defining_material_) return;
  for (size_t i = 0; i < 3; ++i) {
    const double value = i + 1 < tokens_.size() ? ParseDouble(tokens_[i + 1]) * 255.0 : 0.0;
    bytes[i] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
  }
}

// The first word of the text and the text after it (blanks dropped).
std::string_view FirstWord(std::string_view text, std::string_view* rest) {
  size_t end = 0;
  while (end < text.size() && !model_text::IsTokenSeparator(text[end])) ++end;
  *rest = model_text::Trim(text.substr(end));
  return text.substr(0, end);
}

// Texture map options ("-o 0.1 0.2", "-clamp on") come before the file
// name; they are passed so that the name is the file's own.
std::string_view SkipMapOptions(std::string_view text) {
  static const struct {
    const char* option;
    int arguments;  // -1: one to three numbers
  } kOptions[] = {{"-blendu", 1}, {"-blendv", 1}, {"-bm", 1},  {"-boost", 1}, {"-cc", 1},
                  {"-clamp", 1},  {"-imfchan", 1}, {"-mm", 2}, {"-texres", 1}, {"-type", 1},
                  {"-o", -1},     {"-s", -1},     {"-t", -1}};
  for (;;) {
    std::string_view rest;
    const std::string_view word = FirstWord(text, &rest);
    int arguments = 0;
    bool known = false;
    for (const auto& option : kOptions)
      if (word == option.option) {
        known = true;
        arguments = option.arguments;
      }
    if (!known || rest.empty()) return text;
    if (arguments < 0) {
      for (int i = 0; i < 3; ++i) {
        std::string_view after;
        const std::string_view number = FirstWord(rest, &after);
        bool ok = false;
        ParseDouble(number, &ok);
        if (!ok || after.empty()) break;
        rest = after;
      }
    } else {
      for (int i = 0; i < arguments && !rest.empty(); ++i) FirstWord(rest, &rest);
    }
    text = rest;
  }
}

void ObjReader::ReadTextureMap(std::string_view line) {
  if (!defining_material_) return;
  std::string_view name = model_text::Trim(line);
  name.remove_prefix(std::min(name.size(), std::strlen("map_Kd")));
  name = SkipMapOptions(model_text::Trim(name));
  if (name.empty()) return;
  const ConversionSettings& settings = model_.settings;
  std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
  path.append(name);
  // The texture operations scratch the material record: keep it.
  const MaterialRecord defined = model_.material;
  const int32_t texture = model_.LoadTexture(path.c_str());
  model_.material = defined;
  model_.material.texture = texture;
}

void ObjReader::EndMaterialDefinition() {
  model_.AddMaterial();
  defining_material_ = false;
}

void ObjReader::Finish() {
  if (defining_material_) EndMaterialDefinition();
  if (!normals_.empty()) model_.point_normals_present = 1;
  if (!texcoords_.empty()) model_.point_texcoords_present = 1;
  model_.poly_materials_present = 1;
  if (bad_indexes_)
    LogFormatted(LOG_ERROR, "LoadObj: %" PRIu64 " face points name no vertex (left for the model check)\n",
                 bad_indexes_);
  if (long_lines_)
    LogFormatted(LOG_ERROR, "LoadObj: %" PRIu64 " lines longer than %zu characters were cut\n", long_lines_,
                 kMaxPhysicalLine);
  LogFormatted(LOG_DETAIL, " Normals: %lu\n", static_cast<unsigned long>(normals_.size()));
  LogFormatted(LOG_DETAIL, " Lines known: %lu Lines unknown: %lu\n", static_cast<unsigned long>(known_lines_),
               static_cast<unsigned long>(unknown_lines_));
}

// ---- Saving -----------------------------------------------------------------

void MakeMaterialNamesUnique(ModelData& model) {
  std::vector<std::string> names;
  char name[sizeof MaterialRecord::name];
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    model.GetMaterialName(name, sizeof name);
    names.emplace_back(name);
  }
  for (uint32_t i = 1; i < names.size(); ++i) {
    bool renamed = false;
    for (uint32_t j = 0; j < i; ++j) {
      if (names[j] != names[i]) continue;
      // Cut so that the number always fits the name field.
      names[i] = names[i].substr(0, 28) + "#" + std::to_string(i);
      renamed = true;
      break;
    }
    if (renamed) {
      model.GetMaterial(i);
      model.SetMaterialName(names[i].c_str());
      model.SetMaterial(i);
      --i;  // check the new name again
    }
  }
}

// 1/256: the colour byte 255 is written 0.996094.
constexpr double kColourScale = 0.00390625;

void WriteLibrary(ModelData& model) {
  const ConversionSettings& settings = model.settings;
  std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
  path.append(settings.file_name, strnlen(settings.file_name, sizeof settings.file_name)).append(".mtl");
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  {
    model_text::TextWriter out(file);
    out.Text("# created by Zepcon\n# materials for file ")
        .Text(std::string_view(settings.file_name, strnlen(settings.file_name, sizeof settings.file_name)))
        .Text(".obj\n\n");
    const auto colour = [&out](const char* key, const uint8_t* bytes) {
      out.Text(key);
      for (int i = 0; i < 3; ++i) out.Char(' ').Fixed(bytes[i] * kColourScale);
      out.Char('\n');
    };
    for (uint32_t i = 0; i < model.materials_count; ++i) {
      model.GetMaterial(i);
      const MaterialRecord m = model.material;
      out.Text("newmtl ").Text(std::string_view(m.name, strnlen(m.name, sizeof m.name))).Char('\n');
      colour("Ka", m.ambient);
      colour("Kd", m.diffuse);
      colour("Ks", m.specular);
      if (m.texture >= 0 && static_cast<uint32_t>(m.texture) < model.textures_count) {
        const char* base = model.Texture(static_cast<uint32_t>(m.texture)).base_name;
        out.Text("map_Kd ").Text(std::string_view(base, strnlen(base, 512))).Text(".tga\n");
      }
      out.Char('\n');
    }
  }
  std::fclose(file);
}

bool Unset(double value) { return value == kUnsetValue; }

}  // namespace

int LoadObj(ModelData& model, FILE* file) {
  LogMessage("Loading from Wavefront obj...\n", LOG_MAJOR);
  model.relative_writes = 0;
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadObj")) return 0;
  ObjReader reader(model, 0);
  reader.Parse(bytes);
  reader.Finish();
  if (model.settings.obj_one_object) model.SetObjectName("Converted object");
  model.FinishObjects();
  LogMessage("... obj loaded\n", LOG_ERROR);
  return 1;
}

int SaveObj(ModelData& model, FILE* file) {
  LogMessage("Saving to Wavefront obj...\n", LOG_MAJOR);
  uint32_t requirements = ModelData::need_polygon_materials | ModelData::need_objects_by_materials |
                          ModelData::need_vertexs_by_objects;
  if (model.vert_normals_present || model.poly_normals_present || model.point_normals_present)
    requirements |= ModelData::need_point_normals;
  const bool texcoords = model.vert_texcoords_present || model.point_texcoords_present;
  if (texcoords) requirements |= ModelData::need_point_texcoords;
  model.ConvertProperties(requirements);
  MakeMaterialNamesUnique(model);
  // Absolute indexes throughout: each object's ranges come from its record.
  model.relative_reads = 0;
  const bool normals = model.point_normals_present != 0;
  const bool materials = model.poly_materials_present && model.materials_count > 0;

  std::vector<std::string> material_names;
  char name[sizeof MaterialRecord::name];
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    model.GetMaterialName(name, sizeof name);
    material_names.emplace_back(name);
  }

  model_text::TextWriter out(file);
  out.Text("# created by: Zepcon ver 0.84a4\n# Wavefront obj written by the Zepcon converter\n");
  out.Text("# ------------------------------------\n# ")
      .Unsigned(model.vertexs_count).Text(" vertices, ")
      .Unsigned(model.polygons_count).Text(" polygons, ")
      .Unsigned(model.points_count).Text(" points, ")
      .Unsigned(model.materials_count).Text(" materials\n\n");
  const ConversionSettings& settings = model.settings;
  if (materials) {
    LogMessage(" Exporting materials\n", LOG_DETAIL);
    out.Text("\nmtllib ")
        .Text(std::string_view(settings.file_name, strnlen(settings.file_name, sizeof settings.file_name)))
        .Text(".mtl\n");
    WriteLibrary(model);
  }

  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (!model.GetObjectInfo(o, &object)) continue;
    const std::string_view object_name(object.name, strnlen(object.name, sizeof object.name));
    out.Text("\n#-- object '").Text(object_name).Text("' --\n# ")
        .Unsigned(object.vertex_count).Text(" vertices, ")
        .Unsigned(object.polygon_count).Text(" polygons, ")
        .Unsigned(object.point_count).Text(" points\n\ng ").Text(object_name).Char('\n');
    out.Text("\n# vertexs: ").Unsigned(object.vertex_count).Char('\n');
    for (uint32_t v = 0; v < object.vertex_count; ++v) {
      double x = 0.0, y = 0.0, z = 0.0;
      model.ReadVertex(object.first_vertex + v, x, y, z);
      out.Text("v ").Fixed(x).Char(' ').Fixed(y).Char(' ').Fixed(z).Char('\n');
    }
    if (normals) {
      out.Text("\n# normals: ").Unsigned(object.point_count).Char('\n');
      for (uint32_t p = 0; p < object.point_count; ++p) {
        Vec3d n{0.0, 0.0, 0.0};
        model.GetPointNormal(object.first_point + p, n);
        if (Unset(n.x) || Unset(n.y) || Unset(n.z)) n = {0.0, 0.0, 0.0};
        out.Text("vn ").Fixed(n.x).Char(' ').Fixed(n.y).Char(' ').Fixed(n.z).Char('\n');
      }
    }
    if (texcoords) {
      out.Text("\n# texture coords: ").Unsigned(object.point_count).Char('\n');
      for (uint32_t p = 0; p < object.point_count; ++p) {
        double u = kUnsetValue, v = kUnsetValue;
        model.GetPointTexcoord(object.first_point + p, u, v);
        out.Text("vt ").Fixed(Unset(u) ? 0.0 : u).Char(' ').Fixed(Unset(v) ? 0.0 : 1.0 - v).Char('\n');
      }
    }
    out.Text("\n# polygons: ").Unsigned(object.polygon_count).Char('\n');
    int32_t previous_material = kNoMaterial;
    for (uint32_t p = 0; p < object.polygon_count; ++p) {
      const uint32_t polygon = object.first_polygon + p;
      if (materials) {
        const int32_t material = model.GetPolygonMaterial(polygon);
        if ((p == 0 || material != previous_material) && material >= 0 &&
            static_cast<uint32_t>(material) < material_names.size())
          out.Text("usemtl ").Text(material_names[static_cast<size_t>(material)]).Char('\n');
        previous_material = material;
      }
      uint32_t first = 0, count = 0;
      if (!model.ReadPolygonPointData(polygon, first, count)) continue;
      out.Char('f');
      for (uint32_t k = 0; k < count; ++k) {
        const uint32_t point = first + k;
        out.Char(' ').Unsigned(uint64_t{model.GetPointVertex(point)} + 1);
        bool wrote_texcoord = false;
        if (texcoords) {
          double u = kUnsetValue, v = kUnsetValue;
          model.GetPointTexcoord(point, u, v);
          if (!(Unset(u) && Unset(v))) {
            out.Char('/').Unsigned(uint64_t{point} + 1);
            wrote_texcoord = true;
          }
        }
        if (normals) {
          if (!wrote_texcoord) out.Char('/');
          out.Char('/').Unsigned(uint64_t{point} + 1);
        }
      }
      out.Char('\n');
    }
    out.Text("\n# object end '").Text(object_name).Text("'\n");
  }
  out.Flush();
  LogMessage(" saving textures to tga\n", LOG_DETAIL);
  model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  LogMessage("... obj saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
