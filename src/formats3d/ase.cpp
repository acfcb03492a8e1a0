// 3ds max ASCII exports: a tree of keyword lines beginning with "*", blocks
// in braces. Geometry objects become model objects with vertices, triangles,
// texture coordinates, vertex colours and normals; materials keep their
// colours and one diffuse texture. The saver writes one geometry object per
// model object, each with a single material.
//
// The file is read whole (UTF-16 files are decoded to the same text first)
// and parsed line by line without recursion: open blocks are a bounded stack
// of keyword numbers, blocks that are not understood are passed over by a
// counter of braces. Lists are sized from the counts the file announces only
// when the rest of the file could hold that many lines.
#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_stream.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

using model_text::ParseDouble;
using model_text::ParseInteger;

constexpr size_t kMaxLine = 999;
constexpr size_t kMaxWords = 24;
constexpr size_t kMaxWord = 254;
constexpr size_t kMaxLevels = 49;
constexpr uint32_t kVersion = 200;
// The shortest line a list item can take ("*MESH_TVERT" and a line end):
// an announced count needs at least this many bytes per item after it.
constexpr uint64_t kMinItemLineBytes = 12;
constexpr uint32_t kNoFace = UINT32_MAX;
constexpr int kJpegType = 39;
constexpr uint32_t kRgb888Mode = 11;
constexpr const char* kHomePage = "https://zepcon.example.org";

// The keyword table; a keyword's number is its position.
enum Keyword : int {
  kOpenBrace, kCloseBrace, k3dsMaxAsciiExport, kComment, kScene, kSceneFilename, kSceneFirstFrame,
  kSceneLastFrame, kSceneFrameSpeed, kSceneTicksPerFrame, kSceneBackgroundStatic, kSceneAmbientStatic,
  kMaterialList, kMaterialCount, kMaterial, kMaterialName, kMaterialClass, kMaterialAmbient,
  kMaterialDiffuse, kMaterialSpecular, kMaterialShine, kMaterialShineStrength, kMaterialTransparency,
  kMaterialWireSize, kMaterialShading, kMaterialXpFalloff, kMaterialSelfIllum, kMaterialFalloff,
  kMaterialXpType, kMapDiffuse, kMapName, kMapClass, kMapSubNo, kMapAmount, kBitmap, kMapType,
  kUvwUOffset, kUvwVOffset, kUvwUTiling, kUvwVTiling, kUvwAngle, kUvwBlur, kUvwBlurOffset,
  kUvwNouseAmt, kUvwNoiseSize, kUvwNoiseLevel, kUvwNoisePhase, kBitmapFilter, kGeomObject, kNodeName,
  kNodeTm, kInheritPos, kInheritRot, kInheritScl, kTmRow0, kTmRow1, kTmRow2, kTmRow3, kTmPos,
  kTmRotAxis, kTmRotAngle, kTmScale, kTmScaleAxis, kTmScaleAxisAng, kMesh, kTimeValue, kMeshNumVertex,
  kMeshNumFaces, kMeshVertexList, kMeshVertex, kMeshFaceList, kMeshFace, kMeshNumTVertex,
  kMeshTVertList, kMeshTVert, kMeshNumTVFaces, kMeshTFaceList, kMeshTFace, kMeshNormals,
  kMeshFaceNormal, kMeshVertexNormal, kPropMotionBlur, kPropCastShadow, kPropRecvShadow, kMaterialRef,
  kMeshNumCVertex, kMeshCVertList, kMeshVertCol, kMeshNumCVFaces, kMeshCFaceList, kMeshCFace, kGroup,
  kSubMaterial,
  kKeywordCount,
  kUnknownKeyword = -1,
};

constexpr const char* kKeywords[] = {
    "{", "}", "*3DSMAX_ASCIIEXPORT", "*COMMENT", "*SCENE", "*SCENE_FILENAME", "*SCENE_FIRSTFRAME",
    "*SCENE_LASTFRAME", "*SCENE_FRAMESPEED", "*SCENE_TICKSPERFRAME", "*SCENE_BACKGROUND_STATIC",
    "*SCENE_AMBIENT_STATIC", "*MATERIAL_LIST", "*MATERIAL_COUNT", "*MATERIAL", "*MATERIAL_NAME",
    "*MATERIAL_CLASS", "*MATERIAL_AMBIENT", "*MATERIAL_DIFFUSE", "*MATERIAL_SPECULAR", "*MATERIAL_SHINE",
    "*MATERIAL_SHINESTRENGTH", "*MATERIAL_TRANSPARENCY", "*MATERIAL_WIRESIZE", "*MATERIAL_SHADING",
    "*MATERIAL_XP_FALLOFF", "*MATERIAL_SELFILLUM", "*MATERIAL_FALLOFF", "*MATERIAL_XP_TYPE",
    "*MAP_DIFFUSE", "*MAP_NAME", "*MAP_CLASS", "*MAP_SUBNO", "*MAP_AMOUNT", "*BITMAP", "*MAP_TYPE",
    "*UVW_U_OFFSET", "*UVW_V_OFFSET", "*UVW_U_TILING", "*UVW_V_TILING", "*UVW_ANGLE", "*UVW_BLUR",
    "*UVW_BLUR_OFFSET", "*UVW_NOUSE_AMT", "*UVW_NOISE_SIZE", "*UVW_NOISE_LEVEL", "*UVW_NOISE_PHASE",
    "*BITMAP_FILTER", "*GEOMOBJECT", "*NODE_NAME", "*NODE_TM", "*INHERIT_POS", "*INHERIT_ROT",
    "*INHERIT_SCL", "*TM_ROW0", "*TM_ROW1", "*TM_ROW2", "*TM_ROW3", "*TM_POS", "*TM_ROTAXIS",
    "*TM_ROTANGLE", "*TM_SCALE", "*TM_SCALEAXIS", "*TM_SCALEAXISANG", "*MESH", "*TIMEVALUE",
    "*MESH_NUMVERTEX", "*MESH_NUMFACES", "*MESH_VERTEX_LIST", "*MESH_VERTEX", "*MESH_FACE_LIST",
    "*MESH_FACE", "*MESH_NUMTVERTEX", "*MESH_TVERTLIST", "*MESH_TVERT", "*MESH_NUMTVFACES",
    "*MESH_TFACELIST", "*MESH_TFACE", "*MESH_NORMALS", "*MESH_FACENORMAL", "*MESH_VERTEXNORMAL",
    "*PROP_MOTIONBLUR", "*PROP_CASTSHADOW", "*PROP_RECVSHADOW", "*MATERIAL_REF", "*MESH_NUMCVERTEX",
    "*MESH_CVERTLIST", "*MESH_VERTCOL", "*MESH_NUMCVFACES", "*MESH_CFACELIST", "*MESH_CFACE", "*GROUP",
    "*SUBMATERIAL",
};
static_assert(std::size(kKeywords) == kKeywordCount && kKeywordCount == 93);

Keyword FindKeyword(std::string_view word) {
  static const std::unordered_map<std::string_view, Keyword> table = [] {
    std::unordered_map<std::string_view, Keyword> map;
    for (int i = 0; i < kKeywordCount; ++i) map.emplace(kKeywords[i], static_cast<Keyword>(i));
    return map;
  }();
  const auto found = table.find(word);
  return found == table.end() ? kUnknownKeyword : found->second;
}

bool IsItemKeyword(Keyword keyword) {
  switch (keyword) {
    case kMeshVertex: case kMeshFace: case kMeshTVert: case kMeshTFace: case kMeshFaceNormal:
    case kMeshVertexNormal: case kMeshVertCol: case kMeshCFace: case kCloseBrace:
      return true;
    default:
      return false;
  }
}

bool IsListKeyword(int keyword) {
  switch (keyword) {
    case kMeshVertexList: case kMeshFaceList: case kMeshTVertList: case kMeshTFaceList:
    case kMeshNormals: case kMeshCVertList: case kMeshCFaceList:
      return true;
    default:
      return false;
  }
}

// ---- Text -------------------------------------------------------------------

void AppendUtf8(std::vector<uint8_t>& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<uint8_t>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<uint8_t>(0xC0 | (code >> 6)));
    out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<uint8_t>(0xE0 | (code >> 12)));
    out.push_back(static_cast<uint8_t>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<uint8_t>(0xF0 | (code >> 18)));
    out.push_back(static_cast<uint8_t>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
  }
}

// UTF-16 text (told by its byte order mark, or by a first character whose
// other byte is zero) becomes UTF-8, so that the keywords read as in an
// 8-bit file; a UTF-8 byte order mark is dropped. Other text is kept as is.
// True when the text was decoded.
bool DecodeText(std::vector<uint8_t>& bytes) {
  ByteReader reader(bytes);
  bool big_endian = false;
  const uint8_t* head = reader.Peek(3);
  if (head && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    bytes.erase(bytes.begin(), bytes.begin() + 3);
    return false;
  }
  head = reader.Peek(2);
  if (!head) return false;
  if (head[0] == 0xFF && head[1] == 0xFE) {
    reader.Skip(2);
  } else if (head[0] == 0xFE && head[1] == 0xFF) {
    big_endian = true;
    reader.Skip(2);
  } else if (head[0] != 0 && head[0] < 0x80 && head[1] == 0) {
    // little-endian without a mark
  } else if (head[0] == 0 && head[1] != 0 && head[1] < 0x80) {
    big_endian = true;
  } else {
    return false;
  }
  std::vector<uint8_t> text;
  text.reserve(reader.Remaining() / 2 + 1);
  uint64_t bad = 0;
  while (reader.Fits(2)) {
    uint32_t unit = big_endian ? reader.U16Be() : reader.U16Le();
    if (unit >= 0xD800 && unit < 0xDC00) {
      const uint8_t* next = reader.Peek(2);
      const uint32_t low = next ? (big_endian ? LoadBe16(next) : LoadLe16(next)) : 0;
      if (low >= 0xDC00 && low < 0xE000) {
        reader.Skip(2);
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      } else {
        unit = 0xFFFD;
        ++bad;
      }
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      unit = 0xFFFD;
      ++bad;
    }
    AppendUtf8(text, unit);
  }
  if (!reader.AtEnd()) ++bad;  // a lone last byte
  LogFormatted(LOG_DETAIL, " UTF-16 text (%s) decoded\n", big_endian ? "big-endian" : "little-endian");
  if (bad) LogFormatted(LOG_ERROR, "LoadAse: %" PRIu64 " broken UTF-16 characters replaced\n", bad);
  bytes.swap(text);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

// Non-empty lines of the text, each cut to kMaxLine characters. A line ends
// at LF, CR LF or a lone CR.
class LineReader {
 public:
  explicit LineReader(const std::vector<uint8_t>& text) : reader_(text) {}

  bool Next(std::string_view& line) {
    while (!reader_.AtEnd()) {
      const size_t remaining = reader_.Remaining();
      const char* start = reinterpret_cast<const char*>(reader_.Peek(remaining));
      size_t length = 0;
      while (length < remaining && start[length] != '\n' && start[length] != '\r') ++length;
      reader_.Skip(length < remaining ? length + 1 : length);
      if (length > kMaxLine) {
        length = kMaxLine;
        ++cut_lines_;
      }
      line = std::string_view(start, length);
      for (char c : line)
        if (!IsBlank(c)) return true;
    }
    return false;
  }

  // Whether `count` item lines could still follow.
  bool CouldHold(uint64_t count) const { return reader_.Fits(count, kMinItemLineBytes); }
  uint64_t CutLines() const { return cut_lines_; }

 private:
  ByteReader reader_;
  uint64_t cut_lines_ = 0;
};

// The words of a line split at blanks (and at `extra` characters), at most
// kMaxWords of at most kMaxWord characters.
void SplitWords(std::string_view line, std::vector<std::string_view>& words, const char* extra = "") {
  words.clear();
  const auto separator = [extra](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || (c != '\0' && std::strchr(extra, c));
  };
  size_t i = 0;
  while (i < line.size() && words.size() < kMaxWords) {
    while (i < line.size() && separator(line[i])) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && !separator(line[i])) ++i;
    words.push_back(line.substr(start, std::min(i - start, kMaxWord)));
  }
}

// The text between the first two double quotes (the rest of the line when
// the second is missing), and where the text after it starts. Without any
// quote: the second word, so unquoted names are kept too.
std::string_view Quoted(std::string_view line, size_t* after = nullptr) {
  const size_t open = line.find('"');
  if (open == std::string_view::npos) {
    std::vector<std::string_view> words;
    SplitWords(line, words);
    if (after) *after = line.size();
    return words.size() > 1 ? words[1] : std::string_view();
  }
  const size_t close = line.find('"', open + 1);
  if (after) *after = close == std::string_view::npos ? line.size() : close + 1;
  return line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
}

std::string Text(std::string_view view) { return std::string(view.substr(0, 511)); }

// Texture vertices are kept as floats; larger numbers are cut to the
// largest float.
float ToFloat(double value) {
  return static_cast<float>(std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// A number from 0 to 1 as a byte: × 255 to the nearest, kept within 0..255.
// Rounding, not cutting, so that the four decimals written for a byte give
// the same byte back.
uint8_t RoundedByte(double value) {
  const double scaled = value * 255.0 + 0.5;
  if (!(scaled > 0.0)) return 0;
  return static_cast<uint8_t>(std::min(scaled, 255.0));
}

// ---- Loading ----------------------------------------------------------------

class AseReader {
 public:
  explicit AseReader(ModelData& model) : model_(model) {}

  void Parse(const std::vector<uint8_t>& text);
  void Finish();
  bool SawHeader() const { return saw_header_; }

 private:
  const char* Indent() const {
    static constexpr char kBlanks[] = "                                                  ";
    return kBlanks + (sizeof kBlanks - 1 - std::min(levels_.size(), kMaxLevels));
  }
  double Number(size_t word) const { return word < words_.size() ? ParseDouble(words_[word]) : 0.0; }
  // A word read as an index; -1 when it is missing or no number.
  int64_t Index(size_t word) const {
    bool ok = false;
    const int64_t value = word < words_.size() ? ParseInteger(words_[word], &ok) : -1;
    return ok ? value : -1;
  }
  void Act(Keyword keyword);
  void OpenBlock(Keyword keyword, const std::vector<std::string_view>& words, size_t brace_word);
  void SkipBraces(const std::vector<std::string_view>& words, size_t first_word);
  void CloseBlock();
  void StartObject();
  void ApplyMaterialRefs();
  void ReadColour(uint8_t* rgb, size_t first_word = 1) const;
  void ReadBitmap();
  void ReadFace();
  uint32_t FacePolygon(int64_t face);
  void ReadTextureFace();
  void ReadColourFace();
  void ReadFaceNormal();
  void ReadVertexNormal();
  void ReadMaterialRef();
  bool SizeList(const char* what, std::vector<uint8_t>& list, size_t item_size, const char* memory_message);

  ModelData& model_;
  LineReader* lines_ = nullptr;
  std::string_view line_;
  std::vector<std::string_view> words_;
  std::vector<int> levels_;  // keyword of each open block, outermost first
  uint64_t skip_depth_ = 0;
  uint64_t items_ = 0;
  bool saw_header_ = false;
  // Texture vertices (u, v as floats) and colour vertices (r, g, b bytes).
  std::vector<uint8_t> tverts_;
  std::vector<uint8_t> cverts_;
  std::vector<int32_t> cvert_materials_;  // -2: not yet looked up
  std::unordered_map<uint32_t, int32_t> colour_materials_;
  bool colour_materials_full_ = false;
  // The current geometry object: where its vertices start (absolute, and
  // counted from the model object that holds them, which is another one's
  // when the object table was full), where its polygons start in that model
  // object, and the polygon each of its face lines became (kNoFace when the
  // face was refused).
  uint32_t mesh_first_vertex_ = 0;
  uint32_t mesh_vertex_offset_ = 0;
  uint32_t mesh_first_polygon_ = 0;
  std::vector<uint32_t> faces_;
  uint32_t current_face_ = kNoFace;
  // Material numbers of the file's material list → model materials.
  std::vector<int32_t> materials_;
  // Material references of the current object: (polygons at the time, material).
  std::vector<std::pair<uint32_t, int32_t>> material_refs_;
  bool building_material_ = false;
  uint64_t refused_faces_ = 0;
  uint64_t bad_indexes_ = 0;
  uint64_t stray_closes_ = 0;
};

void AseReader::Parse(const std::vector<uint8_t>& text) {
  LineReader lines(text);
  lines_ = &lines;
  while (lines.Next(line_)) {
    SplitWords(line_, words_);
    if (words_.empty()) continue;
    if (skip_depth_ > 0) {
      SkipBraces(words_, 0);
      continue;
    }
    const Keyword keyword = FindKeyword(words_[0]);
    if (!IsItemKeyword(keyword)) {
      LogFormatted(LOG_DETAIL, "\n%s%s%.*s ", Indent(), keyword == kUnknownKeyword ? "?" : "",
                   static_cast<int>(words_[0].size()), words_[0].data());
      if (keyword == kUnknownKeyword) LogFormatted(LOG_DETAIL, "%sUnknown chunk", Indent());
    }
    Act(keyword);
  }
  if (lines.CutLines())
    LogFormatted(LOG_ERROR, "\nLoadAse: %" PRIu64 " lines longer than %zu characters were cut\n", lines.CutLines(),
                 kMaxLine);
  lines_ = nullptr;
}

// Braces among the words from `first_word` on, while a block is skipped.
void AseReader::SkipBraces(const std::vector<std::string_view>& words, size_t first_word) {
  for (size_t i = first_word; i < words.size(); ++i) {
    if (words[i] == "{") {
      ++skip_depth_;
    } else if (words[i] == "}") {
      if (skip_depth_ == 0) {
        LogMessage("during skipping unknown chunk found too many '}'", LOG_ERROR);
        continue;
      }
      --skip_depth_;
    }
  }
}

void AseReader::OpenBlock(Keyword keyword, const std::vector<std::string_view>& words, size_t brace_word) {
  if (brace_word >= words.size() || words[brace_word] != "{") {
    LogMessage("here should be a '{' and its missing", LOG_ERROR);
    return;
  }
  if (levels_.size() >= kMaxLevels) {
    // Deeper blocks are passed over whole, so the braces stay balanced.
    LogMessage("Extend Maxlevels !\n", LOG_ERROR);
    SkipBraces(words, brace_word);
    return;
  }
  items_ = 0;
  levels_.push_back(keyword);
}

void AseReader::CloseBlock() {
  if (levels_.empty()) {
    ++stray_closes_;
    return;
  }
  const int closed = levels_.back();
  if (closed == kMaterial && building_material_) {
    const MaterialRecord built = model_.material;
    const int32_t index = model_.AddMaterial();
    materials_.push_back(index);
    model_.material = built;
    building_material_ = false;
  }
  if (IsListKeyword(closed)) LogFormatted(LOG_DETAIL, " items read: %i", static_cast<int>(items_));
  levels_.pop_back();
}

void AseReader::Act(Keyword keyword) {
  switch (keyword) {
    case kCloseBrace:
      CloseBlock();
      return;
    case k3dsMaxAsciiExport: {
      saw_header_ = true;
      const int64_t version = Index(1);
      if (version != kVersion)
        LogFormatted(LOG_ERROR, "Unknown vesion (%lu), reader written for (200)",
                     static_cast<unsigned long>(version < 0 ? 0 : version));
      return;
    }
    case kScene: case kMaterialList: case kMapDiffuse: case kMesh: case kMeshVertexList:
    case kMeshFaceList: case kMeshTVertList: case kMeshTFaceList: case kMeshNormals: case kMeshCVertList:
    case kMeshCFaceList:
      OpenBlock(keyword, words_, 1);
      return;
    case kGeomObject:
      OpenBlock(keyword, words_, 1);
      StartObject();
      return;
    case kNodeName: {
      const std::string name = Text(Quoted(line_));
      model_.SetObjectName(name.c_str());
      LogFormatted(LOG_DETAIL, "'%s'", name.c_str());
      return;
    }
    case kSceneAmbientStatic:
      model_.ResetLight();
      model_.SetLightName("scene ambient");
      model_.light.kind = 0;
      ReadColour(model_.light.first_colour);
      model_.AddLight();
      return;
    case kMaterial:
    case kSubMaterial:
      model_.ResetMaterial();
      building_material_ = true;
      OpenBlock(keyword, words_, 2);
      return;
    case kMaterialName: {
      const std::string name = Text(Quoted(line_));
      model_.SetMaterialName(name.c_str());
      LogFormatted(LOG_DETAIL, "'%s'", name.c_str());
      return;
    }
    case kMaterialAmbient:
      ReadColour(model_.material.ambient);
      return;
    case kMaterialDiffuse:
      ReadColour(model_.material.diffuse);
      return;
    case kMaterialSpecular:
      ReadColour(model_.material.specular);
      return;
    case kMaterialShine:
      model_.material.shininess = RoundedByte(Number(1));
      return;
    case kMaterialTransparency:
      model_.material.transparency = static_cast<uint8_t>(255 - RoundedByte(Number(1)));
      return;
    case kMaterialSelfIllum: {
      const uint8_t value = RoundedByte(Number(1));
      std::fill(std::begin(model_.material.emissive), std::end(model_.material.emissive), value);
      return;
    }
    case kMapClass:
      LogFormatted(LOG_DETAIL, "'%s'", Text(Quoted(line_)).c_str());
      return;
    case kBitmap:
      ReadBitmap();
      return;
    case kGroup: {
      size_t after = 0;
      const std::string name = Text(Quoted(line_, &after));
      LogFormatted(LOG_DETAIL, "<%s> ", name.c_str());
      std::vector<std::string_view> rest;
      SplitWords(line_.substr(after), rest);
      OpenBlock(keyword, rest, 0);
      return;
    }
    case kMeshVertex: {
      ++items_;
      model_.StoreVertex(Number(2), Number(3), Number(4));
      return;
    }
    case kMeshFace:
      ++items_;
      ReadFace();
      return;
    case kMeshNumTVertex:
      SizeList("tverts", tverts_, 2 * sizeof(float), "Error, not enough memory for tverts");
      return;
    case kMeshTVert:
      if (items_ < tverts_.size() / (2 * sizeof(float))) {
        const float uv[2] = {ToFloat(Number(2)), ToFloat(Number(3))};
        std::memcpy(tverts_.data() + items_ * sizeof uv, uv, sizeof uv);
        ++items_;
      }
      return;
    case kMeshTFace:
      ++items_;
      ReadTextureFace();
      return;
    case kMeshNumCVertex:
      if (SizeList("cverts", cverts_, 3, "Error, not enough memory for cverts"))
        cvert_materials_.assign(cverts_.size() / 3, -2);
      else
        cvert_materials_.clear();
      return;
    case kMeshVertCol:
      if (items_ < cverts_.size() / 3) {
        ReadColour(cverts_.data() + items_ * 3, 2);
        cvert_materials_[items_] = -2;
        ++items_;
      }
      return;
    case kMeshCFace:
      ++items_;
      ReadColourFace();
      return;
    case kMeshFaceNormal:
      ++items_;
      ReadFaceNormal();
      return;
    case kMeshVertexNormal:
      ++items_;
      ReadVertexNormal();
      return;
    case kMaterialRef:
      ReadMaterialRef();
      return;
    default:
      break;
  }
  // Unknown keywords and known ones without an action: a block they open is
  // passed over whole.
  const uint64_t before = skip_depth_;
  SkipBraces(words_, 0);
  if (skip_depth_ > before) LogMessage(", skipping unknown chunk", LOG_DETAIL);
}

// Three numbers from `first_word` on as colour bytes.
void AseReader::ReadColour(uint8_t* rgb, size_t first_word) const {
  for (size_t i = 0; i < 3; ++i) rgb[i] = RoundedByte(Number(first_word + i));
}

// A list announced by its count: sized only when the rest of the file could
// hold that many item lines, never from the count alone.
bool AseReader::SizeList(const char* what, std::vector<uint8_t>& list, size_t item_size,
                         const char* memory_message) {
  list.clear();
  const int64_t count = Index(1);
  if (count < 0) {
    LogFormatted(LOG_ERROR, "LoadAse: the count of %s is no number\n", what);
    return false;
  }
  if (!lines_->CouldHold(static_cast<uint64_t>(count))) {
    LogMessage(memory_message, LOG_ERROR);
    LogFormatted(LOG_ERROR, "\nLoadAse: %" PRId64 " %s announced, more than the rest of the file holds\n", count,
                 what);
    return false;
  }
  list.assign(static_cast<size_t>(count) * item_size, 0);
  LogFormatted(LOG_DETAIL, "ready for %lu tverts", static_cast<unsigned long>(count));
  return true;
}

void AseReader::StartObject() {
  ApplyMaterialRefs();
  model_.NewObject();
  ObjectRecord object;
  if (!model_.GetObjectInfo(model_.CurrentObject(), &object)) ModelData::ResetObjectRecord(&object);
  mesh_first_vertex_ = model_.vertexs_count;
  mesh_vertex_offset_ = model_.vertexs_count - object.first_vertex;
  mesh_first_polygon_ = model_.polygons_count - object.first_polygon;
  faces_.clear();
  current_face_ = kNoFace;
}

// Each material reference gives its material to the polygons the object had
// when it was read; a later reference overrides an earlier one. Done once
// per object, so many references cost no more than one pass.
void AseReader::ApplyMaterialRefs() {
  uint32_t done = mesh_first_polygon_;
  for (auto ref = material_refs_.rbegin(); ref != material_refs_.rend(); ++ref) {
    for (uint32_t p = done; p < ref->first; ++p) model_.SetPolygonMaterial(p, ref->second);
    done = std::max(done, ref->first);
  }
  material_refs_.clear();
}

void AseReader::ReadBitmap() {
  std::string name = Text(Quoted(line_));
  if (name.empty()) return;
  const ConversionSettings& settings = model_.settings;
  const std::string folder(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
  // Names are written on Windows: a relative one is taken from the model's
  // folder, and a name found nowhere is looked for beside the model.
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
  // The texture operations use the material scratch record: keep it.
  const MaterialRecord building = model_.material;
  const int32_t texture = model_.LoadTexture(path.c_str());
  model_.material = building;
  model_.material.texture = texture;
}

void AseReader::ReadFace() {
  std::vector<std::string_view> words;
  SplitWords(line_, words, ":");
  const uint32_t vertexes = model_.vertexs_count - mesh_first_vertex_;
  uint32_t corners[3];
  bool good = words.size() > 7;
  for (size_t k = 0; k < 3 && good; ++k) {
    bool ok = false;
    const int64_t index = ParseInteger(words[3 + 2 * k], &ok);
    good = ok && index >= 0 && index < vertexes;
    if (good) corners[k] = static_cast<uint32_t>(index) + mesh_vertex_offset_;
  }
  ObjectRecord object;
  model_.GetObjectInfo(model_.CurrentObject(), &object);
  if (!good) {
    ++refused_faces_;
    faces_.push_back(kNoFace);
    return;
  }
  if (!model_.StorePolygon(3, corners)) {
    faces_.push_back(kNoFace);
    return;
  }
  faces_.push_back(model_.polygons_count - 1 - object.first_polygon);
}

// The polygon of a face number of the current object, or kNoFace.
uint32_t AseReader::FacePolygon(int64_t face) {
  if (face < 0 || static_cast<uint64_t>(face) >= faces_.size() || faces_[static_cast<size_t>(face)] == kNoFace) {
    ++bad_indexes_;
    return kNoFace;
  }
  return faces_[static_cast<size_t>(face)];
}

void AseReader::ReadTextureFace() {
  const uint32_t polygon = FacePolygon(Index(1));
  uint32_t first = 0, count = 0;
  if (polygon == kNoFace || !model_.ReadPolygonPointData(polygon, first, count)) return;
  const size_t tverts = tverts_.size() / (2 * sizeof(float));
  for (uint32_t k = 0; k < 3 && k < count; ++k) {
    const int64_t index = Index(2 + k);
    if (index < 0 || static_cast<uint64_t>(index) >= tverts) {
      ++bad_indexes_;
      continue;
    }
    float uv[2];
    std::memcpy(uv, tverts_.data() + static_cast<size_t>(index) * sizeof uv, sizeof uv);
    model_.SetPointTexcoord(first + k, uv[0], 1.0 - static_cast<double>(uv[1]));
  }
  model_.point_texcoords_present = 1;
}

void AseReader::ReadColourFace() {
  const uint32_t polygon = FacePolygon(Index(1));
  uint32_t first = 0, count = 0;
  if (polygon == kNoFace || !model_.ReadPolygonPointData(polygon, first, count)) return;
  for (uint32_t k = 0; k < 3 && k < count; ++k) {
    const int64_t index = Index(2 + k);
    if (index < 0 || static_cast<uint64_t>(index) >= cvert_materials_.size()) {
      ++bad_indexes_;
      continue;
    }
    int32_t& material = cvert_materials_[static_cast<size_t>(index)];
    if (material == -2) {
      const uint8_t* rgb = cverts_.data() + static_cast<size_t>(index) * 3;
      const uint32_t key = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
      const auto known = colour_materials_.find(key);
      if (known != colour_materials_.end()) {
        material = known->second;
      } else if (colour_materials_full_) {
        material = kNoMaterial;
      } else {
        material = model_.MaterialOfColor(rgb[0], rgb[1], rgb[2]);
        if (material < 0) colour_materials_full_ = true;
        else colour_materials_.emplace(key, material);
      }
    }
    if (material >= 0) model_.SetPointMaterial(first + k, material);
  }
  model_.point_materials_present = 1;
}

void AseReader::ReadFaceNormal() {
  current_face_ = FacePolygon(Index(1));
  if (current_face_ == kNoFace) return;
  model_.SetPolygonNormal(current_face_, {Number(2), Number(3), Number(4)});
}

void AseReader::ReadVertexNormal() {
  uint32_t first = 0, count = 0;
  if (current_face_ == kNoFace || !model_.ReadPolygonPointData(current_face_, first, count)) return;
  const int64_t vertex = Index(1);
  const Vec3d normal{Number(2), Number(3), Number(4)};
  for (uint32_t k = 0; k < count; ++k)
    if (vertex >= 0 && model_.GetPointVertex(first + k) == vertex + mesh_vertex_offset_)
      model_.SetPointNormal(first + k, normal);
  model_.point_normals_present = 1;
}

void AseReader::ReadMaterialRef() {
  const int64_t number = Index(1);
  if (number < 0 || static_cast<uint64_t>(number) >= materials_.size() || materials_[static_cast<size_t>(number)] < 0) {
    LogFormatted(LOG_ERROR, "\nLoadAse: *MATERIAL_REF %" PRId64 " names no material of the list, ignored\n", number);
    return;
  }
  ObjectRecord object;
  if (!model_.GetObjectInfo(model_.CurrentObject(), &object)) return;
  material_refs_.emplace_back(model_.polygons_count - object.first_polygon, materials_[static_cast<size_t>(number)]);
}

void AseReader::Finish() {
  ApplyMaterialRefs();
  if (!levels_.empty())
    LogFormatted(LOG_ERROR, "\nLoadAse: %zu blocks not closed at the end of the file\n", levels_.size());
  if (skip_depth_ > 0) LogMessage("\nLoadAse: the file ends inside a skipped block\n", LOG_ERROR);
  if (stray_closes_)
    LogFormatted(LOG_ERROR, "\nLoadAse: %" PRIu64 " '}' closing no block, ignored\n", stray_closes_);
  if (refused_faces_)
    LogFormatted(LOG_ERROR, "\nLoadAse: %" PRIu64 " faces naming no vertex of their object were left out\n",
                 refused_faces_);
  if (bad_indexes_)
    LogFormatted(LOG_ERROR, "\nLoadAse: %" PRIu64 " face or list indexes out of range were ignored\n", bad_indexes_);
  tverts_ = {};
  cverts_ = {};
  cvert_materials_ = {};
}

// ---- Saving -----------------------------------------------------------------

// Output gathered in blocks and written through the stream; remembers a
// failed write.
class AseWriter {
 public:
  explicit AseWriter(FileStream& stream) : stream_(stream) { buffer_.reserve(kBlock + 1024); }

  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length > 0) buffer_.append(text, std::min(static_cast<size_t>(length), sizeof text - 1));
    if (buffer_.size() >= kBlock) Flush();
  }

  bool Flush() {
    if (!buffer_.empty() && stream_.Write(buffer_.size(), buffer_.data()) != buffer_.size()) failed_ = true;
    buffer_.clear();
    return !failed_;
  }

 private:
  static constexpr size_t kBlock = 1 << 16;
  FileStream& stream_;
  std::string buffer_;
  bool failed_ = false;
};

// A name as it can stand between quotes on one line.
std::string QuotedName(const char* name, size_t size) {
  std::string text(name, strnlen(name, size));
  for (char& c : text)
    if (c == '"') c = '\'';
    else if (static_cast<unsigned char>(c) < 0x20) c = '_';
  return text;
}

double Written(double value) { return value == kUnsetValue ? 0.0 : value; }

// The polygons of an object that can be written: triangles whose corners are
// vertices of the object.
std::vector<uint32_t> WritablePolygons(ModelData& model, const ObjectRecord& object, uint64_t* left_out) {
  std::vector<uint32_t> polygons;
  polygons.reserve(object.polygon_count);
  for (uint32_t p = 0; p < object.polygon_count; ++p) {
    const uint32_t polygon = object.first_polygon + p;
    uint32_t first = 0, count = 0;
    bool good = model.ReadPolygonPointData(polygon, first, count) && count == 3;
    for (uint32_t k = 0; k < 3 && good; ++k) {
      const uint32_t vertex = model.GetPointVertex(first + k);
      good = vertex >= object.first_vertex && vertex - object.first_vertex < object.vertex_count;
    }
    if (good)
      polygons.push_back(polygon);
    else
      ++*left_out;
  }
  return polygons;
}

struct SaveState {
  bool texcoords = false;
  bool colours = false;
  std::vector<int32_t> numbers;  // written number of each material, -1 when not written
};

void WriteMaterials(ModelData& model, AseWriter& out, SaveState& state) {
  LogMessage(" writing materials\n", LOG_DETAIL);
  state.numbers.assign(model.materials_count, -1);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    const int32_t m = model.GetPolygonMaterial(p);
    if (m >= 0 && static_cast<uint32_t>(m) < model.materials_count) state.numbers[static_cast<size_t>(m)] = 0;
  }
  uint32_t written = 0;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    if (state.numbers[i] < 0) continue;
    state.numbers[i] = static_cast<int32_t>(written++);
    model.GetMaterial(i);
    model.material.export_number = static_cast<uint32_t>(state.numbers[i]);
    model.SetMaterial(i);
  }
  out.Line("%s {\n", "*MATERIAL_LIST");
  out.Line("\t%s %lu\n", "*MATERIAL_COUNT", static_cast<unsigned long>(written));
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    if (state.numbers[i] < 0) continue;
    model.GetMaterial(i);
    const MaterialRecord m = model.material;
    const std::string name = QuotedName(m.name, sizeof m.name);
    out.Line("\t%s %lu {\n", "*MATERIAL", static_cast<unsigned long>(state.numbers[i]));
    out.Line("\t\t%s \"%s\"\n", "*MATERIAL_NAME", name.c_str());
    out.Line("\t\t%s \"Standard\"\n", "*MATERIAL_CLASS");
    const auto colour = [&out](const char* key, const uint8_t* rgb) {
      out.Line("\t\t%s %0.4f %0.4f %0.4f\n", key, rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0);
    };
    colour("*MATERIAL_AMBIENT", m.ambient);
    colour("*MATERIAL_DIFFUSE", m.diffuse);
    colour("*MATERIAL_SPECULAR", m.specular);
    out.Line("\t\t%s %0.4f\n", "*MATERIAL_SHINE", m.shininess / 255.0);
    out.Line("\t\t%s 0.0000\n", "*MATERIAL_SHINESTRENGTH");
    out.Line("\t\t%s %0.4f\n", "*MATERIAL_TRANSPARENCY", 1.0 - m.transparency / 255.0);
    out.Line("\t\t%s 1.0000\n", "*MATERIAL_WIRESIZE");
    out.Line("\t\t%s Blinn\n", "*MATERIAL_SHADING");
    if (m.texture >= 0 && static_cast<uint32_t>(m.texture) < model.textures_count) {
      const TextureRecord& texture = model.Texture(static_cast<uint32_t>(m.texture));
      out.Line("\t\t%s {\n", "*MAP_DIFFUSE");
      out.Line("\t\t\t%s \"%s\"\n", "*MAP_NAME", name.c_str());
      out.Line("\t\t\t%s \"Bitmap\"\n", "*MAP_CLASS");
      out.Line("\t\t\t%s 1.0000\n", "*MAP_AMOUNT");
      out.Line("\t\t\t%s \"%s.jpg\"\n", "*BITMAP", QuotedName(texture.base_name, sizeof texture.base_name).c_str());
      out.Line("\t\t\t%s Screen\n", "*MAP_TYPE");
      out.Line("\t\t\t%s 0.0000\n", "*UVW_U_OFFSET");
      out.Line("\t\t\t%s 0.0000\n", "*UVW_V_OFFSET");
      out.Line("\t\t\t%s 1.0000\n", "*UVW_U_TILING");
      out.Line("\t\t\t%s 1.0000\n", "*UVW_V_TILING");
      out.Line("\t\t\t%s 0.0000\n", "*UVW_ANGLE");
      out.Line("\t\t\t%s Pyramidal\n", "*BITMAP_FILTER");
      out.Line("\t\t}\n");
    }
    out.Line("\t}\n");
  }
  out.Line("}\n");
}

void WriteObject(ModelData& model, AseWriter& out, const SaveState& state, uint32_t index, uint64_t* left_out,
                 uint64_t* mixed) {
  ObjectRecord object;
  if (!model.GetObjectInfo(index, &object)) return;
  LogFormatted(LOG_DETAIL, "  object %lu geometry..", static_cast<unsigned long>(index));
  const std::vector<uint32_t> polygons = WritablePolygons(model, object, left_out);
  const auto vertex_of = [&model, &object](uint32_t point) { return model.GetPointVertex(point) - object.first_vertex; };
  const auto first_point = [&model](uint32_t polygon) {
    uint32_t first = 0, count = 0;
    model.ReadPolygonPointData(polygon, first, count);
    return first;
  };
  out.Line("%s {\n", "*GEOMOBJECT");
  out.Line("\t%s \"%s\"\n", "*NODE_NAME", QuotedName(object.name, sizeof object.name).c_str());
  out.Line("\t%s {\n", "*MESH");
  out.Line("\t\t%s 0\n", "*TIMEVALUE");
  out.Line("\t\t%s %lu\n", "*MESH_NUMVERTEX", static_cast<unsigned long>(object.vertex_count));
  out.Line("\t\t%s %lu\n", "*MESH_NUMFACES", static_cast<unsigned long>(polygons.size()));
  out.Line("\t\t%s {\n", "*MESH_VERTEX_LIST");
  for (uint32_t v = 0; v < object.vertex_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.ReadVertex(object.first_vertex + v, x, y, z);
    out.Line("\t\t\t%s %lu %0.6f %0.6f %0.6f\n", "*MESH_VERTEX", static_cast<unsigned long>(v), x, y, z);
  }
  out.Line("\t\t}\n");
  out.Line("\t\t%s {\n", "*MESH_FACE_LIST");
  for (size_t f = 0; f < polygons.size(); ++f) {
    const uint32_t first = first_point(polygons[f]);
    out.Line("\t\t\t%s %3lu: A: %5lu B: %5lu C: %5lu AB:  1 BC:  0 CA:  1\n", "*MESH_FACE",
             static_cast<unsigned long>(f), static_cast<unsigned long>(vertex_of(first)),
             static_cast<unsigned long>(vertex_of(first + 1)), static_cast<unsigned long>(vertex_of(first + 2)));
  }
  out.Line("\t\t}\n");
  // Texture and colour vertices: one per written point, in face order.
  const auto corner_faces = [&](const char* count_key, const char* list_key, const char* face_key) {
    out.Line("\t\t%s %lu\n", count_key, static_cast<unsigned long>(polygons.size()));
    out.Line("\t\t%s {\n", list_key);
    for (size_t f = 0; f < polygons.size(); ++f)
      out.Line("\t\t\t%s %3lu %5lu %5lu %5lu\n", face_key, static_cast<unsigned long>(f),
               static_cast<unsigned long>(3 * f), static_cast<unsigned long>(3 * f + 1),
               static_cast<unsigned long>(3 * f + 2));
    out.Line("\t\t}\n");
  };
  if (state.texcoords) {
    LogMessage("tex coords..", LOG_DETAIL);
    out.Line("\t\t%s %lu\n", "*MESH_NUMTVERTEX", static_cast<unsigned long>(3 * polygons.size()));
    out.Line("\t\t%s {\n", "*MESH_TVERTLIST");
    for (size_t f = 0; f < polygons.size(); ++f) {
      const uint32_t first = first_point(polygons[f]);
      for (uint32_t k = 0; k < 3; ++k) {
        double u = kUnsetValue, v = kUnsetValue;
        model.GetPointTexcoord(first + k, u, v);
        out.Line("\t\t\t%s %lu %0.6f %0.6f 0.000000\n", "*MESH_TVERT", static_cast<unsigned long>(3 * f + k), Written(u),
                 1.0 - Written(v));
      }
    }
    out.Line("\t\t}\n");
    corner_faces("*MESH_NUMTVFACES", "*MESH_TFACELIST", "*MESH_TFACE");
  }
  if (state.colours) {
    LogMessage("vertex colors..", LOG_DETAIL);
    out.Line("\t\t%s %lu\n", "*MESH_NUMCVERTEX", static_cast<unsigned long>(3 * polygons.size()));
    out.Line("\t\t%s {\n", "*MESH_CVERTLIST");
    for (size_t f = 0; f < polygons.size(); ++f) {
      const uint32_t first = first_point(polygons[f]);
      for (uint32_t k = 0; k < 3; ++k) {
        const int32_t material = model.GetPointMaterial(first + k);
        model.GetMaterial(material < 0 ? model.materials_count : static_cast<uint32_t>(material));
        const uint8_t* rgb = model.material.diffuse;
        out.Line("\t\t\t%s %lu %0.4f %0.4f %0.4f\n", "*MESH_VERTCOL", static_cast<unsigned long>(3 * f + k),
                 rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0);
      }
    }
    out.Line("\t\t}\n");
    corner_faces("*MESH_NUMCVFACES", "*MESH_CFACELIST", "*MESH_CFACE");
  }
  LogMessage("normals..", LOG_DETAIL);
  out.Line("\t\t%s {\n", "*MESH_NORMALS");
  for (size_t f = 0; f < polygons.size(); ++f) {
    Vec3d normal{0.0, 0.0, 0.0};
    model.GetPolygonNormal(polygons[f], normal);
    out.Line("\t\t\t%s %lu %0.3f %0.3f %0.3f\n", "*MESH_FACENORMAL", static_cast<unsigned long>(f), Written(normal.x),
             Written(normal.y), Written(normal.z));
    const uint32_t first = first_point(polygons[f]);
    for (uint32_t k = 0; k < 3; ++k) {
      Vec3d n{0.0, 0.0, 0.0};
      model.GetPointNormal(first + k, n);
      out.Line("\t\t\t\t%s %lu %0.3f %0.3f %0.3f\n", "*MESH_VERTEXNORMAL",
               static_cast<unsigned long>(vertex_of(first + k)), Written(n.x), Written(n.y), Written(n.z));
    }
  }
  out.Line("\t\t}\n");
  out.Line("\t}\n");
  if (!polygons.empty()) {
    const int32_t material = model.GetPolygonMaterial(polygons[0]);
    if (material >= 0 && static_cast<size_t>(material) < state.numbers.size() &&
        state.numbers[static_cast<size_t>(material)] >= 0)
      out.Line("\t*MATERIAL_REF %lu\n", static_cast<unsigned long>(state.numbers[static_cast<size_t>(material)]));
    for (uint32_t polygon : polygons)
      if (model.GetPolygonMaterial(polygon) != material) {
        ++*mixed;
        break;
      }
  }
  out.Line("}\n");
  LogMessage("done\n", LOG_DETAIL);
}

}  // namespace

int LoadAse(ModelData& model, FileStream& stream) {
  LogMessage("Loading 3ds Max Ase...\n", LOG_MAJOR);
  model.relative_reads = 1;
  model.relative_writes = 1;
  model.SetModelOrientation(4, 2, 0);
  std::vector<uint8_t> text;
  if (!ReadRestOfFile(stream.Handle(), text, "LoadAse")) return 0;
  DecodeText(text);
  AseReader reader(model);
  reader.Parse(text);
  reader.Finish();
  model.poly_materials_present = 1;
  if (!reader.SawHeader() && model.vertexs_count == 0 && model.materials_count == 0) {
    LogMessage("LoadAse: no *3DSMAX_ASCIIEXPORT line and nothing read: not a 3ds Max Ase file\n", LOG_ERROR);
    return 0;
  }
  model.FinishObjects();
  LogMessage("... 3ds Max Ase loaded\n", LOG_MAJOR);
  return 1;
}

int SaveAse(ModelData& model, FileStream& stream) {
  LogMessage("Saving 3ds Max Ase...\n", LOG_MAJOR);
  model.ConvertModelOrientation(4, 2, 0);
  model.ResetMaterial();
  model.SetMaterialName("white material");
  model.material.diffuse[0] = model.material.diffuse[1] = model.material.diffuse[2] = 255;
  model.material.usage_flags |= 1;
  const int32_t white = model.AddMaterial();
  if (white >= 0) model.SetPolygonsWithoutMaterial(white);
  model.poly_materials_present = 1;

  SaveState state;
  state.texcoords = model.vert_texcoords_present || model.point_texcoords_present;
  state.colours = model.vert_materials_present || model.point_materials_present;
  uint32_t requirements = ModelData::need_polygon_normals | ModelData::need_point_normals |
                          ModelData::need_triangles | ModelData::need_objects_by_materials |
                          ModelData::need_vertexs_by_objects;
  if (state.colours) requirements |= ModelData::need_point_materials;
  if (state.texcoords) requirements |= ModelData::need_point_texcoords;
  model.point_normals_present = 0;
  model.vert_normals_present = 0;
  model.ConvertProperties(requirements);
  // Every index below is absolute; object-relative numbers are worked out
  // from each object's record.
  model.relative_reads = 0;

  AseWriter out(stream);
  LogMessage(" writing header\n", LOG_DETAIL);
  out.Line("%s 200\n", "*3DSMAX_ASCIIEXPORT");
  out.Line("%s \"AsciiExport Version  2.00 - Created by %s %s (%s) on %s\" \n", "*COMMENT", "Zepcon", "0.84a4",
           kHomePage, model.reading.TimeStamp());
  out.Line("%s {\n", "*SCENE");
  out.Line("\t%s \n", "*SCENE_FILENAME");
  out.Line("\t%s 0\n", "*SCENE_FIRSTFRAME");
  out.Line("\t%s 100\n", "*SCENE_LASTFRAME");
  out.Line("\t%s 30\n", "*SCENE_FRAMESPEED");
  out.Line("\t%s 160\n", "*SCENE_TICKSPERFRAME");
  out.Line("\t%s 0.000 0.000 0.000\n", "*SCENE_BACKGROUND_STATIC");
  out.Line("\t%s 0.000 0.000 0.000\n", "*SCENE_AMBIENT_STATIC");
  out.Line("}\n");
  WriteMaterials(model, out, state);
  LogMessage(" writing geometry\n", LOG_DETAIL);
  uint64_t left_out = 0, mixed = 0;
  for (uint32_t o = 0; o < model.objects_count; ++o) WriteObject(model, out, state, o, &left_out, &mixed);
  if (!out.Flush()) {
    LogMessage("SaveAse: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  if (left_out)
    LogFormatted(LOG_ERROR, "SaveAse: %" PRIu64 " polygons that are no triangles of their object's vertices left out\n",
                 left_out);
  if (mixed)
    LogFormatted(LOG_ERROR, "SaveAse: %" PRIu64 " objects hold several materials; each is written with its first\n",
                 mixed);
  if (model.textures_count > 0) {
    LogMessage(" saving model textures\n", LOG_DETAIL);
    model.SaveMaterialsTextures(kJpegType, kRgb888Mode, 0);
  }
  LogMessage("... 3ds Max Ase saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
