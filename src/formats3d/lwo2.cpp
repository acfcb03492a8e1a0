// LightWave objects of the later IFF form "LWO2".
//
// Reading: every layer becomes an object; points, face polygons, the
// surface tags of the polygons, texture coordinates (per point and per
// polygon corner), vertex colours, image clips and surfaces with their
// colour, transparency, reflection and colour image are taken. The whole
// file is read into memory and walked through bounded readers; every index
// is checked against what the current layer holds.
//
// Writing: one layer
// with the points (vertices, then the joints), triangles tagged with
// surfaces, per-object weight and selection maps, vertex colours and
// texture coordinates, the skeleton as bone polygons, two image clips per
// texture (colour and alpha) and one surface per material that polygons
// use. The textures are written beside the object as Targa pictures.
//
// Point and polygon indexes use the form's variable-length indexes, so
// models with more than 65535 points are written whole.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
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

constexpr uint32_t kMaxPolygonPoints = 1023;  // the point count shares its 16 bits with flags
constexpr uint32_t kUnused = 0xFFFFFFFFu;     // export number of a material no polygon uses
constexpr char kWhite[] = "white material";
constexpr char kColourMap[] = "Vertex colormap";
constexpr char kTextureMap[] = "Texture";

std::string NameOf(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

struct Plan {
  uint32_t weight_maps = 0;  // W: objects named in the tags
  uint32_t bones = 0;
  uint32_t first_surface_tag = 0;  // T0
  uint32_t used_surfaces = 0;      // S
  bool vertex_colours = false;
  bool white_only = false;  // vertex colours and no material used by a polygon
  std::vector<MaterialRecord> materials;
  std::vector<ObjectRecord> objects;
  std::vector<uint32_t> polygons;  // polygons written, in order
};

void WriteTags(ModelData& model, lwo::ChunkWriter& out, const Plan& plan) {
  LogMessage(" writing names(tags)\n", LOG_DETAIL);
  out.Begin("TAGS");
  for (uint32_t o = 0; o < plan.weight_maps; ++o) out.String(NameOf(plan.objects[o].name, sizeof plan.objects[o].name));
  // Bone names once for the bones, and once more for their parts.
  const int passes = model.settings.save_weightmaps ? 2 : 1;
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t b = 0; b < plan.bones; ++b) {
      const char* name = model.GetBoneName(b);
      out.String(name ? NameOf(name, ModelData::kNameLength + 1) : std::string());
    }
  if (plan.white_only) {
    out.String(kWhite);
  } else {
    for (const MaterialRecord& m : plan.materials)
      if (m.export_number != kUnused) out.String(NameOf(m.name, sizeof m.name));
  }
  out.End();
}

void WriteVertexMaps(ModelData& model, lwo::ChunkWriter& out, const Plan& plan) {
  if (model.settings.save_weightmaps) {
    LogMessage(" writing weight maps\n", LOG_DETAIL);
    for (const ObjectRecord& object : plan.objects) {
      out.Begin("VMAP");
      out.Id("WGHT");
      out.U16(1);
      out.String(NameOf(object.name, sizeof object.name));
      for (uint32_t v = 0; v < object.vertex_count; ++v) {
        out.Vx(object.first_vertex + v);
        out.F32(100.0);
      }
      out.End();
    }
  }
  if (plan.objects.size() > 1) {
    LogMessage(" writing object picks\n", LOG_DETAIL);
    for (const ObjectRecord& object : plan.objects) {
      out.Begin("VMAP");
      out.Id("PICK");
      out.U16(0);
      out.String(NameOf(object.name, sizeof object.name));
      for (uint32_t v = 0; v < object.vertex_count; ++v) out.Vx(object.first_vertex + v);
      out.End();
    }
  }
  if (plan.vertex_colours) {
    LogMessage(" writing vert maps\n", LOG_DETAIL);
    out.Begin("VMAP");
    out.Id("RGBA");
    out.U16(4);
    out.String(kColourMap);
    for (uint32_t v = 0; v < model.vertexs_count; ++v) {
      const int32_t m = model.GetVertexMaterial(v);
      const MaterialRecord& record = (m >= 0 && static_cast<uint32_t>(m) < plan.materials.size())
                                         ? plan.materials[static_cast<size_t>(m)]
                                         : model.DefaultMaterial();
      out.Vx(v);
      for (uint8_t c : {record.diffuse[0], record.diffuse[1], record.diffuse[2], record.transparency})
        out.F32(c * 0.003921569);
    }
    out.End();
  }
  if (model.vert_texcoords_present) {
    LogMessage(" writing vert coords\n", LOG_DETAIL);
    out.Begin("VMAP");
    out.Id("TXUV");
    out.U16(2);
    out.String(kTextureMap);
    for (uint32_t v = 0; v < model.vertexs_count; ++v) {
      double u = kUnsetValue, t = kUnsetValue;
      model.GetVertexTexcoord(v, u, t);
      if (u == kUnsetValue && t == kUnsetValue) continue;
      // A single unset component would be written as an endless number.
      if (u == kUnsetValue) u = 0.0;
      if (t == kUnsetValue) t = 0.0;
      out.Vx(v);
      out.F32(u);
      out.F32(1.0 - t);
    }
    out.End();
  }
}

void WritePolygons(ModelData& model, lwo::ChunkWriter& out, const Plan& plan) {
  LogMessage(" writing polygons\n", LOG_DETAIL);
  out.Begin("POLS");
  out.Id("FACE");
  for (uint32_t p : plan.polygons) {
    uint32_t first = 0, count = 0;
    model.ReadPolygonPointData(p, first, count);
    out.U16(count);
    for (uint32_t k = 0; k < count; ++k) out.Vx(model.GetPointVertex(first + k));
  }
  out.End();
  LogMessage(" writing poly tags\n", LOG_DETAIL);
  out.Begin("PTAG");
  out.Id("SURF");
  for (uint32_t written = 0; written < plan.polygons.size(); ++written) {
    uint32_t tag = plan.first_surface_tag;
    if (!plan.white_only) {
      const int32_t m = model.GetPolygonMaterial(plan.polygons[written]);
      if (m < 0 || static_cast<uint32_t>(m) >= plan.materials.size()) continue;
      const uint32_t number = plan.materials[static_cast<size_t>(m)].export_number;
      if (number == kUnused) continue;
      tag += number;
    }
    out.Vx(written);
    out.U16(tag);
  }
  out.End();
}

void WriteBones(ModelData& model, lwo::ChunkWriter& out, const Plan& plan) {
  if (plan.bones == 0) return;
  LogMessage(" writing bones\n", LOG_DETAIL);
  const uint32_t vertexs = model.vertexs_count;
  out.Begin("POLS");
  out.Id("BONE");
  uint32_t bad = 0;
  for (uint32_t b = 0; b < plan.bones; ++b) {
    int16_t first = 0, second = 0;
    model.GetBoneJoints(b, first, second);
    // A bone naming no joint is tied to the root joint rather than to a
    // point that does not exist.
    const auto joint = [&](int16_t j) {
      if (j >= 0 && static_cast<uint32_t>(j) < model.joints_count) return static_cast<uint32_t>(j);
      ++bad;
      return 0u;
    };
    out.U16(2);
    out.Vx(vertexs + joint(first));
    out.Vx(vertexs + joint(second));
  }
  out.End();
  if (bad) LogFormatted(LOG_ERROR, "SaveLwo2: %lu bone ends name no joint, tied to the root\n", static_cast<unsigned long>(bad));
  if (!model.settings.save_weightmaps) return;
  LogMessage(" writing bone-object assignments\n", LOG_DETAIL);
  out.Begin("PTAG");
  out.Id("BNWT");
  for (uint32_t o = 0; o < plan.objects.size(); ++o) {
    const int32_t owner = plan.objects[o].owner;
    if (owner < 0 || static_cast<uint32_t>(owner) >= plan.bones) continue;
    out.Vx(static_cast<uint32_t>(owner));
    out.U16(o);
  }
  out.End();
  LogMessage(" writing bone names\n", LOG_DETAIL);
  out.Begin("PTAG");
  out.Id("BONE");
  for (uint32_t b = 0; b < plan.bones; ++b) {
    out.Vx(b);
    out.U16(plan.weight_maps + b);
  }
  out.End();
  LogMessage(" writing part names\n", LOG_DETAIL);
  out.Begin("PTAG");
  out.Id("PART");
  for (uint32_t b = 0; b < plan.bones; ++b) {
    out.Vx(b);
    out.U16(plan.weight_maps + plan.bones + b);
  }
  out.End();
}

void WriteClips(ModelData& model, lwo::ChunkWriter& out) {
  LogMessage(" writing texture names\n", LOG_DETAIL);
  for (uint32_t k = 0; k < 2 * model.textures_count; ++k) {
    const TextureRecord& texture = model.Texture(k / 2);
    const std::string file =
        NameOf(texture.base_name, sizeof texture.base_name) + (k % 2 == 1 ? "_a" : "") + ".tga";
    out.Begin("CLIP");
    out.U32(k + 1);
    out.Sub("STIL", static_cast<uint32_t>(lwo::ChunkWriter::PaddedSize(file)));
    out.String(file);
    out.Sub("FLAG", 4);
    out.Id("FLAG");
    out.End();
  }
}

// Texture block `k`: 0 for the colour channel, 1 for transparency, which
// takes the alpha picture written beside the colour one.
void WriteBlock(lwo::ChunkWriter& out, int32_t texture, uint32_t k) {
  out.Sub("BLOK", k == 0 ? 202 : 208);
  out.Sub("IMAP", 42);
  out.U8(0x00);
  out.U8(0x80);
  out.Sub("CHAN", 4);
  out.Id(k == 0 ? "COLR" : "TRAN");
  out.Sub("OPAC", 8);
  out.U16(0);
  out.F32(1.0);
  out.U16(0);
  out.Sub("ENAB", 2);
  out.U16(1);
  out.Sub("NEGA", 2);
  out.U16(0);
  out.Sub("TMAP", k == 0 ? 98 : 104);
  out.Sub("CNTR", 14);
  out.Zeros(14);
  out.Sub("SIZE", 14);
  for (int i = 0; i < 3; ++i) out.F32(1.0);
  out.U16(0);
  out.Sub("ROTA", 14);
  out.Zeros(14);
  out.Sub("FALL", 16);
  out.Zeros(16);
  if (k == 0) {
    out.Sub("OREF", 2);
    out.Zeros(2);
  } else {
    out.Sub("OREF", 8);
    out.Bytes("(none)", 7);
    out.U8(0);
  }
  out.Sub("CSYS", 2);
  out.U16(0);
  out.Sub("IMAG", 2);
  out.U16(static_cast<uint32_t>(texture) * 2 + 1 + k);
  out.Sub("PROJ", 2);
  out.U16(5);
  out.Sub("VMAP", 8);
  out.String(kTextureMap);
  out.Sub("AAST", 6);
  out.U16(0);
  out.F32(1.0);
  out.Sub("PIXB", 2);
  out.U16(0);
}

void WriteSurface(ModelData& model, lwo::ChunkWriter& out, const MaterialRecord& m) {
  const ConversionSettings& settings = model.settings;
  out.Begin("SURF");
  out.String(NameOf(m.name, sizeof m.name));
  out.U16(0);  // no source surface
  out.Sub("COLR", 14);
  for (uint8_t c : m.diffuse) out.F32(c * 0.003921569);
  out.U16(0);
  const struct {
    const char* id;
    double value;
  } scalars[] = {{"LUMI", settings.lwo_luminosity * 0.01},
                 {"DIFF", settings.lwo_diffuse * 0.01},
                 {"SPEC", 0.0},
                 {"TRAN", 0.0}};
  for (const auto& scalar : scalars) {
    out.Sub(scalar.id, 6);
    out.F32(scalar.value);
    out.U16(0);
  }
  out.Sub("VCOL", 26);
  out.F32(1.0);
  out.U16(0);
  out.Id("RGBA");
  out.String(kColourMap);
  out.Sub("ALPH", 2);
  out.U16(2);
  if (settings.smoothing_angle != -1.0f) {
    out.Sub("SMAN", 4);
    out.F32(settings.smoothing_angle * 0.017453292);
  }
  if (m.texture >= 0 && static_cast<uint32_t>(m.texture) < model.textures_count) {
    WriteBlock(out, m.texture, 0);
    WriteBlock(out, m.texture, 1);
  }
  out.End();
}

// ---- Reading ------------------------------------------------------------------

using lwo::IsId;
using lwo::PrintableId;

constexpr size_t kNameBytes = 256;       // tags, surface, layer and clip names kept
constexpr uint32_t kMaxPolygonRead = 1023;  // the point count's 10 bits
constexpr uint32_t kNoTag = 0xFFFFFFFFu;

uint8_t ByteOfFraction(float value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

class Lwo2Loader {
 public:
  explicit Lwo2Loader(ModelData& model) : model_(model) {}

  int Load(ByteReader& file) {
    ReadingHelper& reading = model_.reading;
    ByteReader form;
    if (!reading.ReadFormChunk(file, form) || !IsId(reinterpret_cast<const uint8_t*>(reading.form_header.id), "FORM")) {
      LogMessage("LoadLwo2: the file does not begin with a FORM chunk\n", LOG_ERROR);
      return 0;
    }
    LogHeader(1, reading.form_header.id, reading.form_header.length);
    if (form.Clipped()) cut_ = true;
    const uint8_t* type = form.Take(4);
    if (!type) {
      LogMessage("LoadLwo2: the FORM has no type\n", LOG_ERROR);
      return 0;
    }
    char type_text[5];
    PrintableId(type, type_text);
    LogFormatted(LOG_DETAIL, "FORM type %s\n", type_text);
    if (!IsId(type, "LWO2")) {
      LogFormatted(LOG_ERROR, "LoadLwo2: FORM type %s is not an LWO2 object\n", type_text);
      return 0;
    }
    Walk(form);
    Finish();
    if (cut_) LogMessage("LoadLwo2: a chunk runs past the end of its FORM or the file, read what is there\n", LOG_ERROR);
    if (bad_numbers_)
      LogFormatted(LOG_ERROR, "LoadLwo2: %" PRIu64 " numbers that are not finite read as 0\n", bad_numbers_);
    if (dropped_)
      LogFormatted(LOG_ERROR, "LoadLwo2: %" PRIu64 " polygons naming points the layer does not have, dropped\n",
                   dropped_);
    if (bad_refs_)
      LogFormatted(LOG_ERROR, "LoadLwo2: %" PRIu64 " map or tag entries naming missing points or polygons, left out\n",
                   bad_refs_);
    return 1;
  }

 private:
  static void LogHeader(int depth, const char* id, uint32_t length) {
    char text[5];
    PrintableId(reinterpret_cast<const uint8_t*>(id), text);
    LogFormatted(LOG_DETAIL, "%.*s%s - %lu\n", depth, "  ", text, static_cast<unsigned long>(length));
  }

  double Finite(float value) {
    if (std::isfinite(value)) return value;
    ++bad_numbers_;
    return 0.0;
  }

  // A zero-terminated name padded to an even length; false when the
  // terminator is missing.
  static bool PaddedName(ByteReader& body, char* name, size_t capacity) {
    const size_t start = body.Position();
    if (!body.ReadZString(name, capacity)) return false;
    if ((body.Position() - start) % 2 == 1 && !body.AtEnd()) body.Skip(1);
    return true;
  }

  // A point or polygon index: two bytes, or four when the first is 0xFF.
  static bool Vx(ByteReader& body, uint32_t& index) {
    const uint8_t* first = body.Peek(1);
    if (!first) return false;
    if (*first == 0xFF) {
      const uint32_t value = body.U32Be();
      index = value & 0x00FFFFFFu;
    } else {
      index = body.U16Be();
    }
    return body.Ok();
  }

  void Walk(ByteReader& form) {
    ReadingHelper& reading = model_.reading;
    ByteReader body;
    while (form.Remaining() > 0) {
      if (!reading.ReadFormChunk(form, body)) {
        cut_ = true;
        break;
      }
      const ReadingHelper::FormHeader header = reading.form_header;
      LogHeader(2, header.id, header.length);
      if (body.Clipped()) cut_ = true;
      const uint8_t* id = reinterpret_cast<const uint8_t*>(header.id);
      if (IsId(id, "TAGS")) Tags(body);
      else if (IsId(id, "LAYR")) Layer(body);
      else if (IsId(id, "PNTS")) Points(body);
      else if (IsId(id, "POLS")) Polygons(body);
      else if (IsId(id, "PTAG")) PolygonTags(body);
      else if (IsId(id, "VMAP")) VertexMap(body, false);
      else if (IsId(id, "VMAD")) VertexMap(body, true);
      else if (IsId(id, "CLIP")) Clip(body);
      else if (IsId(id, "SURF")) Surface(body);
    }
  }

  void Tags(ByteReader& body) {
    while (body.Remaining() > 0) {
      char name[kNameBytes];
      if (!PaddedName(body, name, sizeof name)) {
        LogMessage("LoadLwo2: a tag has no terminator\n", LOG_ERROR);
        break;
      }
      tags_.emplace_back(name);
    }
    LogFormatted(LOG_DETAIL, "  %lu tags\n", static_cast<unsigned long>(tags_.size()));
  }

  // A new layer: a new object; its points, polygons and maps stand alone.
  void Layer(ByteReader& body) {
    char name[kNameBytes] = "";
    body.Skip(16);  // number, flags, pivot
    if (!body.Ok() || !PaddedName(body, name, sizeof name)) name[0] = '\0';
    if (layers_ > 0) model_.NewObject();
    ++layers_;
    if (name[0]) model_.SetObjectName(name);
    LogFormatted(LOG_DETAIL, "  Layer '%s'\n", name);
    points_base_ = model_.vertexs_count;
    points_in_list_ = 0;
    faces_.clear();
    last_list_.clear();
  }

  void Points(ByteReader& body) {
    if (body.Remaining() % 12 != 0)
      LogFormatted(LOG_ERROR, "-bad size, reminder %u\n", static_cast<unsigned>(body.Remaining() % 12));
    LogFormatted(LOG_DETAIL, "  %lu vertexs\n", static_cast<unsigned long>(body.Remaining() / 12));
    points_base_ = model_.vertexs_count;
    points_in_list_ = 0;
    faces_.clear();
    last_list_.clear();
    while (body.Fits(12)) {
      const double x = Finite(body.F32Be()), y = Finite(body.F32Be()), z = Finite(body.F32Be());
      const uint32_t before = model_.vertexs_count;
      model_.StoreVertex(x, y, z);
      if (model_.vertexs_count == before) {
        LogMessage("LoadLwo2: no room for more points, the rest is left out\n", LOG_ERROR);
        break;
      }
      ++points_in_list_;
    }
  }

  // Face polygons are stored; other kinds (curves, bones) are
  // listed so that the tags that follow keep their numbering.
  void Polygons(ByteReader& body) {
    const uint8_t* type = body.Take(4);
    if (!type) return;
    // Subdivision patches are stored as the polygons of their cage.
    const bool faces = IsId(type, "FACE") || IsId(type, "PTCH");
    last_list_.clear();
    std::vector<uint32_t> vertexes;
    uint64_t listed = 0;
    while (body.Remaining() > 0) {
      const uint32_t count = body.U16Be() & 0x03FFu;
      if (!body.Ok()) break;
      // Each index takes at least two bytes.
      if (!body.Fits(count, 2)) {
        LogMessage("LoadLwo2: the polygon list ends inside a polygon\n", LOG_ERROR);
        break;
      }
      vertexes.clear();
      bool valid = true;
      // Every index is read, even after a bad one, so the next polygon
      // starts where it should.
      for (uint32_t k = 0; k < count; ++k) {
        uint32_t index = 0;
        if (!Vx(body, index)) break;
        valid = valid && index < points_in_list_;
        vertexes.push_back(points_base_ + index);
      }
      if (!body.Ok()) {
        LogMessage("LoadLwo2: the polygon list ends inside a polygon\n", LOG_ERROR);
        break;
      }
      ++listed;
      int64_t stored = -1;
      if (!faces || count == 0 || count > kMaxPolygonRead) {
        // not a face: nothing stored
      } else if (!valid) {
        ++dropped_;
      } else {
        const uint32_t before = model_.polygons_count;
        if (model_.StorePolygon(count, vertexes.data()) && model_.polygons_count > before) {
          stored = before;
        } else {
          LogMessage("LoadLwo2: no room for more polygons, the rest is left out\n", LOG_ERROR);
          break;
        }
      }
      last_list_.push_back(stored);
    }
    if (faces) faces_ = last_list_;
    LogFormatted(LOG_DETAIL, "  %" PRIu64 " polygons\n", listed);
  }

  void PolygonTags(ByteReader& body) {
    const uint8_t* type = body.Take(4);
    if (!type) return;
    // Only surfaces carry into the model; parts, smoothing groups and
    // bone tags are passed.
    if (!IsId(type, "SURF")) {
      if (!IsId(type, "PART") && !IsId(type, "SMGP") && !IsId(type, "BONE") && !IsId(type, "BNWT") &&
          !IsId(type, "BNUP")) {
        char text[5];
        PrintableId(type, text);
        LogFormatted(LOG_DETAIL, "  polygon tags %s passed\n", text);
      }
      return;
    }
    while (body.Remaining() > 0) {
      uint32_t polygon = 0;
      if (!Vx(body, polygon)) break;
      const uint16_t tag = body.U16Be();
      if (!body.Ok()) break;
      if (polygon >= last_list_.size()) {
        ++bad_refs_;
        continue;
      }
      if (last_list_[polygon] < 0) continue;
      const uint32_t model_polygon = static_cast<uint32_t>(last_list_[polygon]);
      if (polygon_tags_.size() <= model_polygon) polygon_tags_.resize(model_polygon + 1u, kNoTag);
      polygon_tags_[model_polygon] = tag;
    }
  }

  // The corner of model polygon `polygon` that names `vertex`, or -1.
  int64_t CornerOf(uint32_t polygon, uint32_t vertex) {
    uint32_t first = 0, count = 0;
    if (!model_.ReadPolygonPointData(polygon, first, count)) return -1;
    for (uint32_t k = 0; k < count; ++k)
      if (model_.GetPointVertex(first + k) == vertex) return int64_t{first} + k;
    return -1;
  }

  // Per-point maps (VMAP) and per-corner maps (VMAD) of texture
  // coordinates and colours; weights and selections are passed.
  void VertexMap(ByteReader& body, bool per_corner) {
    const uint8_t* type = body.Take(4);
    const uint16_t dimension = body.U16Be();
    char name[kNameBytes];
    if (!type || !body.Ok() || !PaddedName(body, name, sizeof name)) return;
    const bool texcoords = IsId(type, "TXUV") && dimension >= 2;
    const bool colours = (IsId(type, "RGB ") && dimension >= 3) || (IsId(type, "RGBA") && dimension >= 4);
    if (!texcoords && !colours) return;  // weights and the rest
    LogFormatted(LOG_DETAIL, "  map '%s'\n", name);
    float values[4] = {0, 0, 0, 0};
    while (body.Remaining() > 0) {
      uint32_t point = 0, polygon = 0;
      if (!Vx(body, point)) break;
      if (per_corner && !Vx(body, polygon)) break;
      if (!body.Fits(dimension, 4)) break;
      for (uint32_t d = 0; d < dimension; ++d) {
        const float value = body.F32Be();
        if (d < 4) values[d] = value;
      }
      if (point >= points_in_list_ || (per_corner && (polygon >= faces_.size()))) {
        ++bad_refs_;
        continue;
      }
      const uint32_t vertex = points_base_ + point;
      if (texcoords) {
        const double u = Finite(values[0]), v = 1.0 - Finite(values[1]);
        if (!per_corner) {
          model_.SetVertexTexcoord(vertex, u, v);
          model_.vert_texcoords_present = 1;
          continue;
        }
        if (faces_[polygon] < 0) continue;
        const int64_t corner = CornerOf(static_cast<uint32_t>(faces_[polygon]), vertex);
        if (corner < 0) {
          ++bad_refs_;
          continue;
        }
        corner_texcoords_.push_back({static_cast<uint32_t>(corner), u, v});
      } else if (!per_corner) {
        const uint8_t alpha = IsId(type, "RGBA") ? ByteOfFraction(values[3]) : 255;
        const int32_t material =
            model_.MaterialOfColorAlpha(ByteOfFraction(values[0]), ByteOfFraction(values[1]), ByteOfFraction(values[2]), alpha);
        if (material >= 0) {
          model_.SetVertexMaterial(vertex, material);
          model_.vert_materials_present = 1;
        }
      }
    }
  }

  void Clip(ByteReader& body) {
    const uint32_t index = body.U32Be();
    if (!body.Ok()) return;
    while (body.Fits(6)) {
      const uint8_t* id = body.Take(4);
      const uint16_t size = body.U16Be();
      ByteReader sub = body.Chunk(size);
      if (size & 1) body.Skip(1);
      if (IsId(id, "STIL")) {
        char name[kNameBytes];
        if (sub.ReadZString(name, sizeof name)) clips_[index] = name;
      }
    }
  }

  // A texture block: its header (IMAP for images) names the channel; the
  // image comes from the clip IMAG names.
  void Block(ByteReader& block, bool& colour_image, uint32_t& clip) {
    bool image_map = false, colour = false;
    uint32_t image = 0;
    bool header = true;
    while (block.Fits(6)) {
      const uint8_t* id = block.Take(4);
      const uint16_t size = block.U16Be();
      ByteReader sub = block.Chunk(size);
      if (size & 1) block.Skip(1);
      if (header) {
        header = false;
        image_map = IsId(id, "IMAP");
        char ordinal[kNameBytes];
        if (!PaddedName(sub, ordinal, sizeof ordinal)) continue;
        while (sub.Fits(6)) {
          const uint8_t* inner = sub.Take(4);
          const uint16_t inner_size = sub.U16Be();
          ByteReader field = sub.Chunk(inner_size);
          if (inner_size & 1) sub.Skip(1);
          if (IsId(inner, "CHAN")) {
            const uint8_t* channel = field.Take(4);
            colour = channel && IsId(channel, "COLR");
          }
        }
      } else if (IsId(id, "IMAG")) {
        if (!Vx(sub, image)) image = 0;
      }
    }
    if (image_map && colour && image != 0 && !colour_image) {
      colour_image = true;
      clip = image;
    }
  }

  void Surface(ByteReader& body) {
    model_.ResetMaterial();
    char name[kNameBytes], source[kNameBytes];
    if (!PaddedName(body, name, sizeof name) || !PaddedName(body, source, sizeof source)) {
      LogMessage("LoadLwo2: a surface name has no terminator, the surface is left out\n", LOG_ERROR);
      return;
    }
    model_.SetMaterialName(name);
    LogFormatted(LOG_DETAIL, "  Material '%s'\n", name);
    bool colour_image = false;
    uint32_t clip = 0;
    MaterialRecord& m = model_.material;
    while (body.Fits(6)) {
      const uint8_t* id = body.Take(4);
      const uint16_t size = body.U16Be();
      ByteReader sub = body.Chunk(size);
      if (size & 1) body.Skip(1);
      if (sub.Clipped()) {
        LogMessage("LoadLwo2: a surface sub-chunk runs past its surface\n", LOG_ERROR);
        break;
      }
      if (IsId(id, "COLR")) {
        const float r = sub.F32Be(), g = sub.F32Be(), b = sub.F32Be();
        if (sub.Ok()) {
          m.diffuse[0] = ByteOfFraction(r);
          m.diffuse[1] = ByteOfFraction(g);
          m.diffuse[2] = ByteOfFraction(b);
        }
      } else if (IsId(id, "TRAN")) {
        const float t = sub.F32Be();
        if (sub.Ok()) m.transparency = static_cast<uint8_t>(255 - ByteOfFraction(t));
      } else if (IsId(id, "REFL")) {
        const float r = sub.F32Be();
        if (sub.Ok()) m.shininess = ByteOfFraction(r);
      } else if (IsId(id, "BLOK")) {
        Block(sub, colour_image, clip);
      }
      // VCOL and ALPH name the colour map and alpha mode, which the
      // model's vertex colours already carry.
    }
    if (colour_image) {
      const auto found = clips_.find(clip);
      if (found == clips_.end()) {
        LogFormatted(LOG_ERROR, "LoadLwo2: surface '%s' names image %lu, which no clip holds\n", name,
                     static_cast<unsigned long>(clip));
      } else {
        LogFormatted(LOG_DETAIL, "Loading texture [%s]\n", found->second.c_str());
        const MaterialRecord defined = model_.material;
        const int32_t texture = model_.LoadTexture(lwo::TexturePath(model_, found->second.c_str()).c_str());
        model_.material = defined;
        model_.material.texture = texture;
      }
    }
    const int32_t index = model_.AddMaterial();
    if (index >= 0 && surfaces_.find(name) == surfaces_.end()) surfaces_[name] = index;
  }

  // Coordinates given per corner make every corner carry its own: those
  // of its point first, the corner's own over them.
  void TexcoordsByCorner() {
    if (corner_texcoords_.empty()) return;
    const bool by_point = model_.vert_texcoords_present != 0;
    for (uint32_t point = 0; point < model_.points_count; ++point) {
      double u = kUnsetValue, v = kUnsetValue;
      if (by_point) model_.GetVertexTexcoord(model_.GetPointVertex(point), u, v);
      model_.SetPointTexcoord(point, u, v);
    }
    for (const CornerTexcoord& c : corner_texcoords_) model_.SetPointTexcoord(c.point, c.u, c.v);
    model_.point_texcoords_present = 1;
    model_.vert_texcoords_present = 0;
  }

  // Polygons carry tag numbers; the surface of that tag's name becomes
  // their material. A tag no surface defines gets a default material of
  // its name.
  void Finish() {
    TexcoordsByCorner();
    LogMessage(" Redirecting material indexes...\n", LOG_DETAIL);
    std::vector<int32_t> of_tag(tags_.size(), -2);
    for (uint32_t p = 0; p < polygon_tags_.size() && p < model_.polygons_count; ++p) {
      const uint32_t tag = polygon_tags_[p];
      if (tag == kNoTag) continue;
      if (tag >= tags_.size()) {
        ++bad_refs_;
        continue;
      }
      if (of_tag[tag] == -2) {
        const auto found = surfaces_.find(tags_[tag]);
        if (found != surfaces_.end()) {
          of_tag[tag] = found->second;
        } else {
          model_.ResetMaterial();
          model_.SetMaterialName(tags_[tag].c_str());
          of_tag[tag] = model_.AddMaterial();
        }
      }
      if (of_tag[tag] >= 0) model_.SetPolygonMaterial(p, of_tag[tag]);
    }
    if (model_.materials_count > 0) model_.poly_materials_present = 1;
  }

  struct CornerTexcoord {
    uint32_t point;
    double u, v;
  };

  ModelData& model_;
  uint32_t layers_ = 0;
  uint32_t points_base_ = 0;
  uint32_t points_in_list_ = 0;
  std::vector<std::string> tags_;
  std::vector<int64_t> last_list_;  // file polygon -> model polygon (-1 not stored), latest list
  std::vector<int64_t> faces_;      // the same for the latest face list
  std::vector<uint32_t> polygon_tags_;
  std::vector<CornerTexcoord> corner_texcoords_;
  std::map<uint32_t, std::string> clips_;
  std::map<std::string, int32_t> surfaces_;
  bool cut_ = false;
  uint64_t bad_numbers_ = 0;
  uint64_t dropped_ = 0;
  uint64_t bad_refs_ = 0;
};

}  // namespace

int SaveLwo2(ModelData& model, FILE* file) {
  LogMessage("Saving Lightwave 6+ Object...\n", LOG_MAJOR);
  model.ConvertModelOrientation(2, 4, 1);
  model.relative_reads = 0;
  model.reading.FormByteOrdering = 0;
  model.reading.FormSkipOddByte = 1;

  model.ResetMaterial();
  model.SetMaterialName(kWhite);
  model.material.usage_flags = 1;
  const int32_t white = model.AddMaterial();
  if (white >= 0) model.SetPolygonsWithoutMaterial(white);
  model.ConvertProperties(ModelData::need_vertex_materials | ModelData::need_vertex_texcoords |
                          ModelData::need_triangles | ModelData::need_objects_by_materials |
                          ModelData::need_vertexs_by_objects);
  model.relative_reads = 0;

  const uint64_t points = uint64_t{model.vertexs_count} + model.joints_count;
  if (points > lwo::kMaxVx + 1ull) {
    LogFormatted(LOG_ERROR, "SaveLwo2: %" PRIu64 " points do not fit the point indexes, nothing written\n", points);
    return 0;
  }

  Plan plan;
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object{};
    if (!model.GetObjectInfo(o, &object)) continue;
    // An object whose range runs past the vertices keeps what exists.
    if (object.first_vertex > model.vertexs_count) object.vertex_count = 0;
    else if (object.vertex_count > model.vertexs_count - object.first_vertex)
      object.vertex_count = model.vertexs_count - object.first_vertex;
    plan.objects.push_back(object);
  }
  plan.weight_maps = model.settings.save_weightmaps ? static_cast<uint32_t>(plan.objects.size()) : 0;
  plan.bones = model.bones_count;
  plan.first_surface_tag = plan.weight_maps + plan.bones + (model.settings.save_weightmaps ? plan.bones : 0);
  plan.vertex_colours = model.vert_materials_present != 0;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    model.material.export_number = (model.material.usage_flags & 1) ? plan.used_surfaces++ : kUnused;
    model.SetMaterial(i);
    plan.materials.push_back(model.material);
  }
  plan.white_only = plan.vertex_colours && plan.used_surfaces == 0;

  uint64_t left_out = 0;
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t first = 0, count = 0;
    bool whole = model.ReadPolygonPointData(p, first, count) && count > 0 && count <= kMaxPolygonPoints;
    for (uint32_t k = 0; whole && k < count; ++k) whole = model.GetPointVertex(first + k) < model.vertexs_count;
    if (whole) {
      plan.polygons.push_back(p);
    } else {
      ++left_out;
    }
  }
  if (left_out)
    LogFormatted(LOG_ERROR, "SaveLwo2: %" PRIu64 " polygons that name missing vertexs or have too many points, left out\n",
                 left_out);

  lwo::ChunkWriter out;
  out.Begin("FORM");
  out.Id("LWO2");
  WriteTags(model, out, plan);
  out.Begin("LAYR");
  out.Zeros(18);
  out.End();
  LogMessage(" writing points\n", LOG_DETAIL);
  out.Begin("PNTS");
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0, y = 0, z = 0;
    model.ReadVertex(v, x, y, z);
    out.F32(x);
    out.F32(y);
    out.F32(z);
  }
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    double x = 0, y = 0, z = 0;
    model.GetJointPosition(j, x, y, z);
    out.F32(x);
    out.F32(y);
    out.F32(z);
  }
  out.End();
  WriteVertexMaps(model, out, plan);
  WritePolygons(model, out, plan);
  WriteBones(model, out, plan);
  WriteClips(model, out);
  LogMessage(" writing materials\n", LOG_DETAIL);
  for (const MaterialRecord& stored : plan.materials) {
    MaterialRecord m = stored;
    if (plan.white_only) {
      model.ResetMaterial();
      m = model.material;
      std::snprintf(m.name, sizeof m.name, "%s", kWhite);
      m.usage_flags = 1;
    }
    if (m.usage_flags & 1) WriteSurface(model, out, m);
    if (plan.white_only) break;
  }
  out.End();
  if (!out.WriteTo(file)) {
    LogMessage("SaveLwo2: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" converting textures to tga\n", LOG_DETAIL);
  model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 1);
  LogMessage("...lightwave 6+ saved\n", LOG_MAJOR);
  return 1;
}


int LoadLwo2(ModelData& model, FILE* file) {
  LogMessage("Loading LightWave 6+ object...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!lwo::StartLoading(model, file, "LoadLwo2", bytes)) return 0;
  ByteReader reader(bytes);
  Lwo2Loader loader(model);
  if (!loader.Load(reader)) return 0;
  model.FinishObjects();
  LogMessage("... lwo 6+ loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
