// LightWave objects of the older IFF form "LWOB": a FORM holding the surface
// names, the points, the polygons (16-bit point indexes and a 1-based
// surface number, negative when detail polygons follow) and one SURF chunk
// per surface. Everything is big-endian; chunk bodies of odd length are
// followed by a pad byte.
//
// The whole file is read into memory and walked through bounded readers: no
// chunk or sub-chunk reads past its parent or the file, whatever its length
// says, and every count is checked against the bytes that are left.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/lwo_reading.h"
#include "formats3d/lwo_writer.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

constexpr uint32_t kMaxPointsRead = 210;     // a longer polygon keeps its last 210 points
constexpr size_t kSurfaceNameBytes = 40;     // the material's name field
constexpr size_t kTextureNameBytes = 301;    // texture names of at most 300 bytes
constexpr uint32_t kMaxPointIndex = 0xFFFF;  // points are named by 16-bit indexes

using lwo::IsId;
using lwo::PrintableId;
using lwo::TexturePath;

// The kinds of texture mapping LightWave names in the texture sub-chunks
// ("Planar Image Map" and its kin): a kind, not a file.
bool NamesMappingKind(const char* text) {
  const size_t length = std::strlen(text);
  static const char kSuffix[] = "Image Map";
  return length >= sizeof kSuffix - 1 && std::strcmp(text + length - (sizeof kSuffix - 1), kSuffix) == 0;
}

// Reflection and transparency are stored as 0 … 256 (256 = 100 %); the
// model keeps bytes 0 … 255. Reading and writing are each other's inverse,
// so a value survives any number of round trips.
uint8_t ByteOfPercentage(uint16_t value) { return value == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(value - 1u, 255u)); }
uint16_t PercentageOfByte(uint8_t value) { return value == 0 ? 0 : static_cast<uint16_t>(value + 1u); }

class LwobLoader {
 public:
  explicit LwobLoader(ModelData& model) : model_(model) {}

  // 1 when the file holds an LWOB form; what it holds is stored as far as
  // it can be read.
  int Load(ByteReader& file) {
    ReadingHelper& reading = model_.reading;
    ByteReader form;
    if (!reading.ReadFormChunk(file, form) || !IsId(reinterpret_cast<const uint8_t*>(reading.form_header.id), "FORM")) {
      LogMessage("LoadLwo: the file does not begin with a FORM chunk\n", LOG_ERROR);
      return 0;
    }
    LogHeader(reading.form_header.id, reading.form_header.length);
    if (form.Clipped()) cut_ = true;
    const uint8_t* type = form.Take(4);
    if (!type) {
      LogMessage("LoadLwo: the FORM has no type\n", LOG_ERROR);
      return 0;
    }
    char type_text[5];
    PrintableId(type, type_text);
    LogFormatted(LOG_DETAIL, "FORM type %s\n", type_text);
    // Layered objects of the same generation share the chunks.
    if (!IsId(type, "LWOB") && !IsId(type, "LWLO")) {
      LogFormatted(LOG_ERROR, "LoadLwo: FORM type %s is not an LWOB object\n", type_text);
      return 0;
    }
    depth_ = 1;
    Walk(form);
    if (cut_) LogMessage("LoadLwo: a chunk runs past the end of its FORM or the file, read what is there\n", LOG_ERROR);
    if (bad_numbers_)
      LogFormatted(LOG_ERROR, "LoadLwo: %" PRIu64 " numbers that are not finite read as 0\n", bad_numbers_);
    if (dropped_)
      LogFormatted(LOG_ERROR, "LoadLwo: %" PRIu64 " polygons naming points the object does not have, dropped\n",
                   dropped_);
    return 1;
  }

 private:
  void LogHeader(const char* id, uint32_t length) {
    char text[5];
    PrintableId(reinterpret_cast<const uint8_t*>(id), text);
    LogFormatted(LOG_DETAIL, "%.*s%s - %lu\n", depth_, "                                                  ", text,
                 static_cast<unsigned long>(length));
  }

  void Walk(ByteReader& form) {
    ReadingHelper& reading = model_.reading;
    ByteReader body;
    while (!stop_ && form.Remaining() > 0) {
      if (!reading.ReadFormChunk(form, body)) {
        cut_ = true;  // a few bytes that make no header
        break;
      }
      const ReadingHelper::FormHeader header = reading.form_header;
      LogHeader(header.id, header.length);
      if (body.Clipped()) cut_ = true;
      const uint8_t* id = reinterpret_cast<const uint8_t*>(header.id);
      if (IsId(id, "PNTS")) {
        Points(body, header.length);
      } else if (IsId(id, "POLS")) {
        Polygons(body);
      } else if (IsId(id, "SRFS")) {
        SurfaceNames(body);
      } else if (IsId(id, "SURF")) {
        Surface(body);
      }
      // Anything else is passed whole with its pad byte by ReadFormChunk.
    }
  }

  double Finite(float value) {
    if (std::isfinite(value)) return value;
    ++bad_numbers_;
    return 0.0;
  }

  void Points(ByteReader& body, uint32_t length) {
    if (length % 12 != 0) {
      LogFormatted(LOG_ERROR, "-bad size, reminder %u\n", static_cast<unsigned>(length % 12));
      stop_ = true;
      return;
    }
    LogFormatted(LOG_DETAIL, "  %lu vertexs\n", static_cast<unsigned long>(length / 12));
    // Polygons name the points of the latest list (one per layer).
    points_base_ = model_.vertexs_count;
    points_in_list_ = 0;
    while (body.Fits(12)) {
      const double x = Finite(body.F32Be()), y = Finite(body.F32Be()), z = Finite(body.F32Be());
      const uint32_t before = model_.vertexs_count;
      model_.StoreVertex(x, y, z);
      if (model_.vertexs_count == before) {
        LogMessage("LoadLwo: no room for more points, the rest is left out\n", LOG_ERROR);
        break;
      }
      ++points_in_list_;
    }
  }

  // One polygon: point count, indexes, surface number. False when the
  // chunk ends inside it.
  bool Polygon(ByteReader& body, uint32_t number, int16_t& surface) {
    if (!body.Fits(2)) return false;
    uint32_t count = body.U16Be();
    if (count > kMaxPointsRead) {
      LogFormatted(LOG_ERROR, "More then max points (%u), poly %lu\n", static_cast<unsigned>(count),
                   static_cast<unsigned long>(number));
      if (!body.Skip(2ull * (count - kMaxPointsRead))) return false;
      count = kMaxPointsRead;
    }
    if (!body.Fits(count + 1ull, 2)) return false;
    uint32_t vertexes[kMaxPointsRead];
    bool valid = true;
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t index = body.U16Be();
      valid = valid && index < points_in_list_;
      vertexes[k] = points_base_ + index;
    }
    surface = body.I16Be();
    if (count == 0) return true;  // nothing to store
    if (!valid) {
      ++dropped_;
      return true;
    }
    const uint32_t stored = model_.polygons_count;
    if (!model_.StorePolygon(count, vertexes) || model_.polygons_count == stored) {
      full_ = true;
      return true;
    }
    // Surface numbers count from 1; the sign only tells that details follow.
    const int32_t material = std::abs(static_cast<int32_t>(surface)) - 1;
    model_.SetPolygonMaterial(stored, material);
    return true;
  }

  void Polygons(ByteReader& body) {
    uint32_t top_level = 0;
    bool whole = true;
    while (whole && !full_ && body.Remaining() > 0) {
      int16_t surface = 0;
      if (!Polygon(body, top_level, surface)) {
        whole = false;
        break;
      }
      ++top_level;
      if (surface >= 0) continue;
      const uint16_t details = body.U16Be();
      if (!body.Ok()) {
        whole = false;
        break;
      }
      for (uint32_t d = 0; d < details && whole && !full_; ++d) {
        int16_t detail_surface = 0;
        whole = Polygon(body, top_level, detail_surface);
      }
    }
    if (!whole) LogMessage("LoadLwo: the polygon list ends inside a polygon\n", LOG_ERROR);
    if (full_) LogMessage("LoadLwo: no room for more polygons, the rest is left out\n", LOG_ERROR);
    LogFormatted(LOG_DETAIL, "  %lu polygons\n", static_cast<unsigned long>(top_level));
  }

  // A zero-terminated name padded to an even length; false when the
  // terminator is missing.
  static bool PaddedName(ByteReader& body, char* name, size_t capacity) {
    const size_t start = body.Position();
    if (!body.ReadZString(name, capacity)) return false;
    if ((body.Position() - start) % 2 == 1 && !body.AtEnd()) body.Skip(1);
    return true;
  }

  // The surface names come first and fix the surface numbers: one material
  // per name, in order, filled in by the SURF chunk of that name.
  void SurfaceNames(ByteReader& body) {
    if (!names_.empty() || model_.materials_count > 0) {
      LogMessage("LoadLwo: a second surface name list is left aside\n", LOG_ERROR);
      return;
    }
    while (body.Remaining() > 0) {
      char name[kSurfaceNameBytes];
      if (!PaddedName(body, name, sizeof name)) {
        LogMessage("LoadLwo: a surface name has no terminator\n", LOG_ERROR);
        break;
      }
      model_.ResetMaterial();
      model_.SetMaterialName(name);
      if (model_.AddMaterial() < 0) break;
      names_.emplace_back(name);
      defined_.push_back(false);
    }
  }

  void Surface(ByteReader& body) {
    model_.ResetMaterial();
    char name[kSurfaceNameBytes];
    if (!PaddedName(body, name, sizeof name)) {
      LogMessage("LoadLwo: a surface name has no terminator, the surface is left out\n", LOG_ERROR);
      return;
    }
    model_.SetMaterialName(name);
    LogFormatted(LOG_DETAIL, "  Material '%s'\n", name);
    char colour_texture[kTextureNameBytes] = "";
    char image[kTextureNameBytes] = "";
    bool colour_block = false;  // the texture sub-chunks that follow belong to the colour texture
    while (body.Remaining() > 0) {
      if (!body.Fits(6)) {
        LogMessage("LoadLwo: a surface ends inside a sub-chunk header\n", LOG_ERROR);
        break;
      }
      const uint8_t* id = body.Take(4);
      const uint16_t size = body.U16Be();
      char id_text[5];
      PrintableId(id, id_text);
      LogFormatted(LOG_DETAIL, "%.*s%s - %u\n", depth_ + 1, "                                                  ",
                   id_text, static_cast<unsigned>(size));
      ByteReader sub = body.Chunk(size);
      if (sub.Clipped()) {
        LogMessage("LoadLwo: a surface sub-chunk runs past its surface\n", LOG_ERROR);
        break;
      }
      MaterialRecord& m = model_.material;
      if (IsId(id, "COLR")) {
        uint8_t rgb[3];
        if (sub.ReadBytes(rgb, 3)) std::memcpy(m.diffuse, rgb, 3);
      } else if (IsId(id, "REFL")) {
        const uint16_t v = sub.U16Be();
        if (sub.Ok()) m.shininess = ByteOfPercentage(v);
      } else if (IsId(id, "TRAN")) {
        const uint16_t v = sub.U16Be();
        if (sub.Ok()) m.transparency = static_cast<uint8_t>(255 - ByteOfPercentage(v));
      } else if (IsId(id, "CTEX")) {
        colour_block = true;
        if (!sub.ReadZString(colour_texture, sizeof colour_texture)) colour_texture[0] = '\0';
      } else if (id[1] == 'T' && id[2] == 'E' && id[3] == 'X') {
        colour_block = false;  // another channel's texture
      } else if (IsId(id, "TIMG") && colour_block) {
        if (!sub.ReadZString(image, sizeof image) || std::strcmp(image, "(none)") == 0) image[0] = '\0';
      }
    }
    // The image file of the colour texture; a texture sub-chunk that names
    // a file itself (no mapping kind) stands for it when no image is given.
    const char* texture_name = image[0] ? image : (NamesMappingKind(colour_texture) ? "" : colour_texture);
    if (texture_name[0]) {
      LogFormatted(LOG_DETAIL, "Loading texture [%s]\n", texture_name);
      const MaterialRecord defined = model_.material;
      const int32_t texture = model_.LoadTexture(TexturePath(model_, texture_name).c_str());
      model_.material = defined;
      model_.material.texture = texture;
    }
    for (size_t i = 0; i < names_.size(); ++i) {
      if (defined_[i] || names_[i] != name) continue;
      defined_[i] = true;
      // The listed name stands (the model may have made it unique).
      MaterialRecord listed = model_.material;
      model_.GetMaterial(static_cast<uint32_t>(i));
      std::memcpy(listed.name, model_.material.name, sizeof listed.name);
      model_.material = listed;
      model_.SetMaterial(static_cast<uint32_t>(i));
      return;
    }
    model_.AddMaterial();
  }

  ModelData& model_;
  int depth_ = 0;
  uint32_t points_base_ = 0;
  uint32_t points_in_list_ = 0;
  std::vector<std::string> names_;
  std::vector<bool> defined_;
  bool cut_ = false;
  bool stop_ = false;
  bool full_ = false;
  uint64_t bad_numbers_ = 0;
  uint64_t dropped_ = 0;
};

// ---- Saving -------------------------------------------------------------------

std::string NameOf(const MaterialRecord& material) {
  return std::string(material.name, strnlen(material.name, sizeof material.name));
}

// The texture file written beside the object for a material's texture.
std::string TextureFileName(const ModelData& model, int32_t texture) {
  const TextureRecord& record = model.Texture(static_cast<uint32_t>(texture));
  return std::string(record.base_name, strnlen(record.base_name, sizeof record.base_name)) + ".tga";
}

void WriteSurface(ModelData& model, lwo::ChunkWriter& out, const MaterialRecord& m, const std::string& name) {
  out.Begin("SURF");
  out.String(name);
  out.Sub("COLR", 4);
  out.Bytes(m.diffuse, 3);
  out.U8(0);
  out.Sub("REFL", 2);
  out.U16(PercentageOfByte(m.shininess));
  out.Sub("TRAN", 2);
  out.U16(PercentageOfByte(static_cast<uint8_t>(255 - m.transparency)));
  out.Sub("DIFF", 2);
  out.U16(255);
  const float smoothing = model.settings.smoothing_angle;
  if (smoothing != -1.0f) {
    out.Sub("SMAN", 4);
    out.F32(smoothing);
  }
  if (m.texture >= 0 && static_cast<uint32_t>(m.texture) < model.textures_count) {
    // The file name of the picture written beside the object, both as the
    // texture's own name and as its image, where other readers look.
    const std::string file = TextureFileName(model, m.texture);
    out.Sub("CTEX", static_cast<uint32_t>(lwo::ChunkWriter::PaddedSize(file)));
    out.String(file);
    out.Sub("TIMG", static_cast<uint32_t>(lwo::ChunkWriter::PaddedSize(file)));
    out.String(file);
  }
  out.End();
}

}  // namespace

int LoadLwo(ModelData& model, FILE* file) {
  LogMessage("Loading LightWave object...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!lwo::StartLoading(model, file, "LoadLwo", bytes)) return 0;
  ByteReader reader(bytes);
  LwobLoader loader(model);
  if (!loader.Load(reader)) return 0;
  if (model.materials_count > 0) model.poly_materials_present = 1;
  model.FinishObjects();
  LogMessage("... lwo loaded\n", LOG_MAJOR);
  return 1;
}

int SaveLwo(ModelData& model, FILE* file) {
  LogMessage("Saving Lightwave Object...\n", LOG_MAJOR);
  model.ConvertModelOrientation(2, 4, 1);
  model.relative_reads = 0;
  model.reading.FormByteOrdering = 0;
  model.reading.FormSkipOddByte = 1;
  if (model.vertexs_count > kMaxPointIndex + 1) {
    LogMessage("Hmmm, LightWave Object can't have more then 65535 vertexs\n", LOG_ERROR);
    LogFormatted(LOG_ERROR, "SaveLwo: %lu vertexs do not fit the 16-bit point indexes, nothing written\n",
                 static_cast<unsigned long>(model.vertexs_count));
    return 0;
  }
  if (!model.TriangulatePolygons()) return 0;
  model.relative_reads = 0;

  const bool materials = model.poly_materials_present && model.materials_count > 0;
  // Polygons without a valid material name an extra default surface, so
  // that every surface number names a surface of the file.
  bool needs_default = false;
  if (materials)
    for (uint32_t p = 0; p < model.polygons_count && !needs_default; ++p) {
      const int32_t m = model.GetPolygonMaterial(p);
      needs_default = m < 0 || static_cast<uint32_t>(m) >= model.materials_count;
    }
  std::vector<MaterialRecord> table;
  std::vector<std::string> names;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    table.push_back(model.material);
    names.push_back(NameOf(model.material));
  }
  if (needs_default) {
    table.push_back(model.DefaultMaterial());
    std::string name = "Default";
    while (std::find(names.begin(), names.end(), name) != names.end()) name += "_";
    names.push_back(name);
  }

  lwo::ChunkWriter out;
  out.Begin("FORM");
  out.Id("LWOB");
  if (!table.empty()) {
    LogMessage(" writing surface names\n", LOG_DETAIL);
    out.Begin("SRFS");
    for (const std::string& name : names) out.String(name);
    out.End();
  }
  LogMessage(" writing points\n", LOG_DETAIL);
  out.Begin("PNTS");
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0, y = 0, z = 0;
    model.ReadVertex(v, x, y, z);
    out.F32(x);
    out.F32(y);
    out.F32(z);
  }
  out.End();
  LogMessage(" writing polygons\n", LOG_DETAIL);
  out.Begin("POLS");
  uint64_t dangling = 0;
  std::vector<uint32_t> corners;
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t first = 0, count = 0;
    if (!model.ReadPolygonPointData(p, first, count) || count == 0 || count > kMaxPointIndex) continue;
    corners.clear();
    for (uint32_t k = 0; k < count; ++k) corners.push_back(model.GetPointVertex(first + k));
    // A polygon naming a vertex the model does not hold cannot be written.
    if (std::any_of(corners.begin(), corners.end(), [&](uint32_t v) { return v >= model.vertexs_count; })) {
      ++dangling;
      continue;
    }
    int32_t surface = 1;
    if (materials) {
      const int32_t m = model.GetPolygonMaterial(p);
      surface = (m < 0 || static_cast<uint32_t>(m) >= model.materials_count) ? static_cast<int32_t>(table.size())
                                                                                : m + 1;
    }
    out.U16(count);
    for (uint32_t v : corners) out.U16(v);
    out.I16(surface);
  }
  out.End();
  if (dangling)
    LogFormatted(LOG_ERROR, "SaveLwo: %" PRIu64 " polygons naming vertexs the model does not hold, left out\n",
                 dangling);
  LogMessage(" writing materials\n", LOG_DETAIL);
  for (size_t i = 0; i < table.size(); ++i) WriteSurface(model, out, table[i], names[i]);
  out.End();
  if (!out.WriteTo(file)) {
    LogMessage("SaveLwo: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  if (model.textures_count > 0) {
    LogMessage(" converting textures to tga\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  }
  LogMessage("...lightwave saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
