// "FF7 p model": one polygon part of a field or battle model. A 128-byte
// header of counts, then vertices, normals, texture coordinates, vertex and
// polygon colours, edges, triangles, 100-byte records, groups and a trailer,
// each section placed by the counts before it. Groups say which triangles
// and vertices belong together and whether they are textured.
//
// The part is read absolutely (after whatever the model holds), whatever
// the object-relative switches say, so that several parts can share one
// object. Every section is checked against the file before it is read.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/ff7/ff7_common.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr uint64_t kHeaderSize = 128;
constexpr uint64_t kVertexSize = 12;
constexpr uint64_t kNormalSize = 12;
constexpr uint64_t kTexcoordSize = 8;
constexpr uint64_t kColourSize = 4;
constexpr uint64_t kEdgeSize = 4;
constexpr uint64_t kPolygonSize = 24;
constexpr uint64_t kHundredRecordSize = 100;
constexpr uint64_t kGroupSize = 56;
constexpr uint64_t kTrailerSize = 28;

struct PHeader {
  uint32_t normals, texcoords, vertexs, edges, polygons, groups;
};

// Section starts; 64-bit sums of 32-bit counts cannot overflow.
struct PLayout {
  uint64_t texcoords, vertex_colours, polygon_colours, polygons, groups, expected_length;
};

PLayout LayoutOf(const PHeader& h) {
  PLayout l{};
  l.texcoords = kHeaderSize + kVertexSize * h.vertexs + kNormalSize * h.normals;
  l.vertex_colours = l.texcoords + kTexcoordSize * h.texcoords;
  l.polygon_colours = l.vertex_colours + kColourSize * h.vertexs;
  l.polygons = l.polygon_colours + kColourSize * h.polygons + kEdgeSize * h.edges;
  l.groups = l.polygons + kPolygonSize * h.polygons + kHundredRecordSize * h.groups;
  l.expected_length = l.groups + kGroupSize * h.groups + kColourSize * h.vertexs + kTrailerSize;
  return l;
}

struct PGroup {
  uint32_t first_polygon, polygon_count, first_vertex, vertex_count, first_texcoord, textured, texture;
};

// How many of `count` records of `size` bytes at `start` the file holds.
uint64_t RecordsThere(const ByteReader& reader, uint64_t start, uint64_t count, uint64_t size) {
  if (start >= reader.Size()) return 0;
  return std::min<uint64_t>(count, (reader.Size() - start) / size);
}

// Colours are stored blue, green, red, alpha.
int32_t MaterialOfStoredColour(ModelData& model, const uint8_t* bgra) {
  return model.MaterialOfColor(bgra[2], bgra[1], bgra[0]);
}

class PReader {
 public:
  PReader(ModelData& model, ByteReader& reader, const PHeader& header)
      : model_(model), reader_(reader), h_(header), layout_(LayoutOf(header)) {}

  const PLayout& Layout() const { return layout_; }
  bool Short() const { return short_; }
  uint32_t VertexsAdded() const { return model_.vertexs_count - first_vertex_; }
  uint32_t PolygonsAdded() const { return model_.polygons_count - first_polygon_; }
  uint32_t TexturedGroups() const { return textured_groups_; }
  uint64_t TextureMaterialsEnd() const { return texture_materials_end_; }

  void Begin() {
    first_vertex_ = model_.vertexs_count;
    first_polygon_ = model_.polygons_count;
  }

  void ReadVertexs() {
    const uint64_t there = RecordsThere(reader_, kHeaderSize, h_.vertexs, kVertexSize);
    MarkShortUnless(there == h_.vertexs, "vertexs");
    reader_.Seek(kHeaderSize);
    for (uint64_t i = 0; i < there; ++i) {
      const float x = reader_.F32Le(), y = reader_.F32Le(), z = reader_.F32Le();
      const uint32_t before = model_.vertexs_count;
      model_.StoreVertex(x, y, z);
      if (model_.vertexs_count == before) break;  // the vertex limit: told by the model
    }
    stored_vertexs_ = model_.vertexs_count - first_vertex_;
    texcoord_budget_ = stored_vertexs_;
  }

  // The polygon colours count only when every one of them is opaque.
  bool PolygonColoursUsable() const {
    if (!model_.settings.ff7_load_poly_materials) return false;
    if (RecordsThere(reader_, layout_.polygon_colours, h_.polygons, kColourSize) < h_.polygons) return false;
    ByteReader colours = reader_;
    colours.Seek(layout_.polygon_colours);
    for (uint64_t i = 0; i < h_.polygons; ++i) {
      const uint8_t* bgra = colours.Take(kColourSize);
      if (!bgra || bgra[3] < 255) return false;
    }
    return true;
  }

  void ReadVertexColours() {
    const uint64_t there = RecordsThere(reader_, layout_.vertex_colours, h_.vertexs, kColourSize);
    MarkShortUnless(there == h_.vertexs, "vertex colours");
    const uint64_t count = std::min<uint64_t>(there, stored_vertexs_);
    reader_.Seek(layout_.vertex_colours);
    for (uint64_t i = 0; i < count; ++i) {
      const int32_t material = MaterialOfStoredColour(model_, reader_.Take(kColourSize));
      model_.SetVertexMaterial(first_vertex_ + static_cast<uint32_t>(i), material);
    }
    model_.vert_materials_present = 1;
  }

  // Polygon materials by colour, given to the polygons in file order once
  // they are stored (a group may list them in any order).
  void ReadPolygonColours() {
    // Only called once all of them were found in the file.
    polygon_colour_materials_.resize(h_.polygons);
    reader_.Seek(layout_.polygon_colours);
    for (uint64_t i = 0; i < h_.polygons; ++i)
      polygon_colour_materials_[i] = MaterialOfStoredColour(model_, reader_.Take(kColourSize));
    model_.poly_materials_present = 1;
  }

  void ReadGroups() {
    const uint64_t there = RecordsThere(reader_, layout_.groups, h_.groups, kGroupSize);
    MarkShortUnless(there == h_.groups, "groups");
    for (uint64_t g = 0; g < there; ++g) {
      reader_.Seek(layout_.groups + kGroupSize * g);
      ByteReader record = reader_.Chunk(kGroupSize);
      PGroup group{};
      record.Skip(4);
      group.first_polygon = record.U32Le();
      group.polygon_count = record.U32Le();
      group.first_vertex = record.U32Le();
      group.vertex_count = record.U32Le();
      record.Seek(44);
      group.first_texcoord = record.U32Le();
      group.textured = record.U32Le();
      group.texture = record.U32Le();
      LogMessage(" polygons\n", LOG_DETAIL);
      ReadGroup(static_cast<uint32_t>(g), group);
    }
    if (textured_groups_) model_.poly_materials_present = 1;
  }

 private:
  void MarkShortUnless(bool whole, const char* what) {
    if (whole) return;
    LogFormatted(LOG_ERROR, "LoadP: the file ends inside the %s\n", what);
    short_ = true;
  }

  void ReadGroup(uint32_t g, const PGroup& group) {
    // The group's triangles must lie among the part's; the file must hold them.
    const uint64_t wanted_end = uint64_t{group.first_polygon} + group.polygon_count;
    uint64_t end = std::min<uint64_t>(wanted_end, h_.polygons);
    if (end < wanted_end)
      LogFormatted(LOG_ERROR, "LoadP: group %" PRIu32 " names polygons past the part's %" PRIu32 "\n", g, h_.polygons);
    const uint64_t start = layout_.polygons + kPolygonSize * group.first_polygon;
    uint64_t polygons = end > group.first_polygon ? end - group.first_polygon : 0;
    // Groups share out the part's polygons: all together they read no more
    // than it has, so overlapping groups cannot multiply the work.
    if (polygons > polygon_budget_) {
      LogFormatted(LOG_ERROR, "LoadP: group %" PRIu32 " names more polygons than the part has left\n", g);
      polygons = polygon_budget_;
    }
    polygon_budget_ -= polygons;
    const uint64_t there = RecordsThere(reader_, start, polygons, kPolygonSize);
    MarkShortUnless(there == polygons, "polygons");
    const uint64_t textured_index = uint64_t{model_.materials_count} + group.texture;
    const int32_t textured_material = textured_index <= INT32_MAX ? static_cast<int32_t>(textured_index) : kNoMaterial;
    if (group.textured == 1) texture_materials_end_ = std::max(texture_materials_end_, textured_index + 1);
    uint64_t outside = 0;
    reader_.Seek(start);
    for (uint64_t i = 0; i < there; ++i) {
      const uint8_t* record = reader_.Take(kPolygonSize);
      // Corners at bytes 2-3, 6-7 and 4-5, in this order.
      const uint64_t corners[3] = {LoadLe16(record + 2), LoadLe16(record + 6), LoadLe16(record + 4)};
      uint32_t points[3];
      bool inside = true;
      for (int k = 0; k < 3; ++k) {
        const uint64_t vertex = corners[k] + group.first_vertex;
        inside = inside && vertex < stored_vertexs_;
        points[k] = first_vertex_ + static_cast<uint32_t>(inside ? vertex : 0);
      }
      if (!inside) {
        ++outside;
        continue;
      }
      if (!model_.StorePolygon(3, points)) continue;
      const uint32_t polygon = model_.polygons_count - 1;
      const uint64_t file_polygon = group.first_polygon + i;
      if (group.textured == 1)
        model_.SetPolygonMaterial(polygon, textured_material);
      else if (file_polygon < polygon_colour_materials_.size())
        model_.SetPolygonMaterial(polygon, polygon_colour_materials_[file_polygon]);
    }
    if (outside)
      LogFormatted(LOG_ERROR, "LoadP: group %" PRIu32 ": %" PRIu64 " polygons name vertexs outside the part, dropped\n",
                   g, outside);
    if (group.textured == 1) ReadTexcoords(group);
  }

  void ReadTexcoords(const PGroup& group) {
    ++textured_groups_;
    const uint64_t start = layout_.texcoords + kTexcoordSize * group.first_texcoord;
    const uint64_t wanted = std::min<uint64_t>(group.vertex_count, texcoord_budget_);
    texcoord_budget_ -= wanted;
    const uint64_t there = RecordsThere(reader_, start, wanted, kTexcoordSize);
    MarkShortUnless(there == wanted, "texture coordinates");
    reader_.Seek(start);
    for (uint64_t i = 0; i < there; ++i) {
      const uint64_t vertex = uint64_t{group.first_vertex} + i;
      if (vertex >= stored_vertexs_) break;
      const float u = reader_.F32Le(), v = reader_.F32Le();
      model_.SetVertexTexcoord(first_vertex_ + static_cast<uint32_t>(vertex), u, v);
    }
    model_.vert_texcoords_present = 1;
  }

  ModelData& model_;
  ByteReader& reader_;
  const PHeader h_;
  const PLayout layout_;
  uint32_t first_vertex_ = 0;
  uint32_t first_polygon_ = 0;
  uint64_t stored_vertexs_ = 0;
  uint32_t textured_groups_ = 0;
  uint64_t texture_materials_end_ = 0;
  uint64_t polygon_budget_ = h_.polygons;
  uint64_t texcoord_budget_ = 0;  // the vertexs read: each gets one pair
  std::vector<int32_t> polygon_colour_materials_;
  bool short_ = false;
};

}  // namespace

namespace ff7 {

int LoadPPart(ModelData& model, FILE* file, PPartInfo* info) {
  LogMessage("Loading P...\n", LOG_MAJOR);
  if (info) *info = PPartInfo{};
  LogMessage(" Reading headers\n", LOG_DETAIL);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadP")) return 0;
  ByteReader reader(bytes);
  if (!reader.Fits(kHeaderSize)) {
    LogFormatted(LOG_ERROR, "LoadP: the file is shorter (%zu bytes) than its header\n", bytes.size());
    return 0;
  }
  PHeader header{};
  reader.Seek(16);
  header.normals = reader.U32Le();
  reader.Seek(24);
  header.texcoords = reader.U32Le();
  header.vertexs = reader.U32Le();
  header.edges = reader.U32Le();
  header.polygons = reader.U32Le();
  reader.Seek(48);
  header.groups = reader.U32Le();
  // The second half of the header goes to the scratch buffer.
  reader.Seek(64);
  reader.ReadBytes(model.scratch, 64);

  const uint32_t saved_writes = model.relative_writes;
  model.relative_writes = 0;
  PReader part(model, reader, header);
  part.Begin();
  if (part.Layout().expected_length != bytes.size()) LogMessage("  File is damaged\n", LOG_ERROR);

  LogMessage(" vertexs\n", LOG_DETAIL);
  part.ReadVertexs();
  const bool polygon_colours = part.PolygonColoursUsable();
  LogMessage(" vert colors\n", LOG_DETAIL);
  part.ReadVertexColours();
  if (polygon_colours) {
    LogMessage(" poly colors\n", LOG_DETAIL);
    part.ReadPolygonColours();
  }
  LogMessage(" groups\n", LOG_DETAIL);
  part.ReadGroups();
  model.relative_writes = saved_writes;

  if (info) {
    info->textured_groups = part.TexturedGroups();
    info->texture_materials_end = part.TextureMaterialsEnd();
  }
  LogFormatted(LOG_DETAIL, ".vertexs read  :%lu\n", static_cast<unsigned long>(part.VertexsAdded()));
  LogFormatted(LOG_DETAIL, ".polygons read :%lu\n", static_cast<unsigned long>(part.PolygonsAdded()));
  if (part.Short()) return 0;
  LogMessage("...P loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace ff7

// A P file on its own names no texture files. Its textured groups get one
// plain material per texture number, so that their material indexes name
// materials of their own rather than dangling (a bounded number: no more
// than a model holds textures).
int LoadP(ModelData& model, FILE* file) {
  ff7::PPartInfo info;
  const int loaded = ff7::LoadPPart(model, file, &info);
  const uint64_t end = std::min<uint64_t>(info.texture_materials_end, uint64_t{model.materials_count} + ModelData::kMaxTextures);
  for (uint64_t index = model.materials_count; index < end; ++index) {
    char name[ModelData::kNameLength + 1];
    std::snprintf(name, sizeof name, "P texture %lu", static_cast<unsigned long>(index));
    model.ResetMaterial();
    model.SetMaterialName(name);
    if (model.AddMaterial() < 0) break;
  }
  return loaded;
}

}  // namespace zepcon
