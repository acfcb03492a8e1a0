// LightWave objects of the later IFF form "LWO2", written only: one layer
// with the points (vertices, then the joints), triangles tagged with
// surfaces, per-object weight and selection maps, vertex colours and
// texture coordinates, the skeleton as bone polygons, two image clips per
// texture (colour and alpha) and one surface per material that polygons
// use. The textures are written beside the object as Targa pictures.
//
// Point and polygon indexes use the form's variable-length indexes, so
// models with more than 65535 points are written whole.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "formats3d/lwo_writer.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr int kTargaType = 46;
constexpr uint32_t kRgba8888Mode = 14;
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
  model.SaveMaterialsTextures(kTargaType, kRgba8888Mode, 0);
  model.SaveMaterialsTextures(kTargaType, kRgba8888Mode, 1);
  LogMessage("...lightwave 6+ saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
