// Property conversion: deriving the properties a saver needs from those a
// loader stored, reversing polygons and filling in missing polygon materials.
#include <algorithm>
#include <utility>
#include <vector>

#include "core/log.h"
#include "model/model_data.h"
#include "model/model_internal.h"

namespace zepcon {

using model_internal::Ul;

namespace {

// Saves both object-relative switches, clears them, and puts them back.
class SwitchesCleared {
 public:
  explicit SwitchesCleared(ModelData& model)
      : model_(model), reads_(model.relative_reads), writes_(model.relative_writes) {
    model.relative_reads = 0;
    model.relative_writes = 0;
  }
  ~SwitchesCleared() {
    model_.relative_reads = reads_;
    model_.relative_writes = writes_;
  }
  SwitchesCleared(const SwitchesCleared&) = delete;
  SwitchesCleared& operator=(const SwitchesCleared&) = delete;

 private:
  ModelData& model_;
  uint32_t reads_, writes_;
};

}  // namespace

uint32_t ModelData::ConvertProperties(uint32_t requirements) {
  SwitchesCleared switches(*this);
  LogMessage("Converting properties...", LOG_DETAIL);
  uint32_t met = 0;

  if ((requirements & need_polygon_valid_materials) && !(requirements & need_polygon_materials)) {
    LogMessage(
        "Hey, bug here. need_polygon_valid_materials has to be used with need_polygon_materials\n",
        LOG_ERROR);
    requirements &= ~uint32_t{need_polygon_valid_materials};
  }

  // A point or polygon may name a vertex that does not exist (a model that
  // was not checked); such references are skipped and counted.
  uint32_t bad_vertexes = 0;
  const auto vertex_of_point = [&](uint32_t point, uint32_t& vertex) {
    vertex = GetPointVertex(point);
    if (vertex < vertexs_count) return true;
    ++bad_vertexes;
    return false;
  };

  if (requirements & need_polygon_materials) {
    const bool valid = requirements & need_polygon_valid_materials;
    if (poly_materials_present && !valid) {
      met |= need_polygon_materials;
    } else {
      LogMessage("(creating poly materials from...", LOG_DETAIL);
      LogMessage(point_materials_present ? "points).."
                 : vert_materials_present ? "verts).."
                                          : "nothing)..",
                 LOG_DETAIL);
      for (uint32_t p = 0; p < polygons_count; ++p) {
        // Without polygon materials every polygon counts as having none.
        if (poly_materials_present && GetPolygonMaterial(p) != kNoMaterial) continue;
        int32_t chosen = 0;
        uint32_t first = 0, count = 0;
        if ((point_materials_present || vert_materials_present) &&
            ReadPolygonPointData(p, first, count) && count > 0) {
          uint32_t vertex = 0;
          if (point_materials_present)
            chosen = GetPointMaterial(first);
          else if (vertex_of_point(first, vertex))
            chosen = GetVertexMaterial(vertex);
        }
        SetPolygonMaterial(p, chosen);
      }
      poly_materials_present = 1;
      met |= need_polygon_materials | (valid ? uint32_t{need_polygon_valid_materials} : 0u);
    }
  }

  if (requirements & need_vertex_materials) {
    if (!vert_materials_present) {
      LogMessage("(creating vert materials from...", LOG_DETAIL);
      if (point_materials_present) {
        LogMessage("points)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) {
          uint32_t vertex = 0;
          if (vertex_of_point(point, vertex)) SetVertexMaterial(vertex, GetPointMaterial(point));
        }
      } else if (poly_materials_present) {
        LogMessage("polys)..", LOG_DETAIL);
        for (uint32_t p = 0; p < polygons_count; ++p) {
          uint32_t first = 0, count = 0;
          if (!ReadPolygonPointData(p, first, count)) continue;
          const int32_t chosen = GetPolygonMaterial(p);
          for (uint32_t k = 0; k < count && uint64_t{first} + k < points_count; ++k) {
            uint32_t vertex = 0;
            if (vertex_of_point(first + k, vertex)) SetVertexMaterial(vertex, chosen);
          }
        }
      } else {
        LogMessage("nothing)..", LOG_DETAIL);
        for (uint32_t v = 0; v < vertexs_count; ++v) SetVertexMaterial(v, 0);
      }
      vert_materials_present = 1;
    }
    met |= need_vertex_materials;
  }

  if (requirements & need_point_materials) {
    if (!point_materials_present) {
      LogMessage("(creating point materials from...", LOG_DETAIL);
      if (vert_materials_present) {
        LogMessage("verts)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) {
          uint32_t vertex = 0;
          SetPointMaterial(point, vertex_of_point(point, vertex) ? GetVertexMaterial(vertex) : 0);
        }
      } else if (poly_materials_present) {
        LogMessage("polys)..", LOG_DETAIL);
        for (uint32_t p = 0; p < polygons_count; ++p) {
          uint32_t first = 0, count = 0;
          if (!ReadPolygonPointData(p, first, count)) continue;
          const int32_t chosen = GetPolygonMaterial(p);
          for (uint32_t k = 0; k < count && uint64_t{first} + k < points_count; ++k)
            SetPointMaterial(first + k, chosen);
        }
      } else {
        LogMessage("nothing)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) SetPointMaterial(point, 0);
      }
      point_materials_present = 1;
    }
    met |= need_point_materials;
  }

  if (requirements & (need_polygon_materials | need_vertex_materials | need_point_materials))
    CheckMaterials();

  if (requirements & need_vertex_texcoords) {
    if (!vert_texcoords_present) {
      LogMessage("(creating vertex texcoords from...", LOG_DETAIL);
      if (point_texcoords_present) {
        LogMessage("points)..", LOG_DETAIL);
        for (uint32_t v = 0; v < vertexs_count; ++v) SetVertexTexcoord(v, kUnsetValue, kUnsetValue);
        for (uint32_t point = 0; point < points_count; ++point) {
          double u = kUnsetValue, w = kUnsetValue;
          uint32_t vertex = 0;
          if (!GetPointTexcoord(point, u, w) || u == kUnsetValue || w == kUnsetValue) continue;
          if (vertex_of_point(point, vertex)) SetVertexTexcoord(vertex, u, w);
        }
      } else {
        LogMessage("no data.)..", LOG_DETAIL);
        for (uint32_t v = 0; v < vertexs_count; ++v) SetVertexTexcoord(v, 0.0, 0.0);
      }
      vert_texcoords_present = 1;
    }
    met |= need_vertex_texcoords;
  }

  if (requirements & need_point_texcoords) {
    if (!point_texcoords_present) {
      if (vert_texcoords_present) {
        LogMessage("verts)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) {
          double u = 0.0, w = 0.0;
          uint32_t vertex = 0;
          if (vertex_of_point(point, vertex)) GetVertexTexcoord(vertex, u, w);
          SetPointTexcoord(point, u, w);
        }
      } else {
        LogMessage("no data.)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) SetPointTexcoord(point, 0.0, 0.0);
      }
      point_texcoords_present = 1;
    }
    met |= need_point_texcoords;
  }

  const bool calculate = ((requirements & need_polygon_normals) && !poly_normals_present) ||
                         ((requirements & need_vertex_normals) && !vert_normals_present) ||
                         ((requirements & need_point_normals) && !point_normals_present &&
                          !vert_normals_present);
  if (calculate) CalculateNormals(0);
  if ((requirements & need_polygon_normals) && poly_normals_present) met |= need_polygon_normals;
  if ((requirements & need_vertex_normals) && vert_normals_present) met |= need_vertex_normals;

  if (requirements & need_point_normals) {
    if (point_normals_present) {
      met |= need_point_normals;
    } else {
      LogMessage("(creating point normals from...", LOG_DETAIL);
      if (vert_normals_present) {
        LogMessage("vertexs)..", LOG_DETAIL);
        for (uint32_t point = 0; point < points_count; ++point) {
          Vec3d normal{kUnsetValue, kUnsetValue, kUnsetValue};
          uint32_t vertex = 0;
          if (vertex_of_point(point, vertex)) GetVertexNormal(vertex, normal);
          SetPointNormal(point, normal);
        }
        point_normals_present = 1;
        met |= need_point_normals;
      } else {
        LogMessage("nothing ... no data!)..", LOG_DETAIL);
      }
    }
  }

  if ((requirements & need_triangles) && TriangulatePolygons()) met |= need_triangles;
  if ((requirements & need_objects_by_materials) && SplitObjectPolygonsByMaterials())
    met |= need_objects_by_materials;
  if ((requirements & need_vertexs_by_objects) && DistributeVertexsToObjectsByPolygons())
    met |= need_vertexs_by_objects;
  relative_reads = relative_writes = 0;  // the steps above may have set them

  if (requirements & need_no_missing_materials) {
    ResetMaterial();
    SetMaterialName("NoMaterial");
    const int32_t added = AddMaterial();
    if (added >= 0) {
      if (poly_materials_present)
        for (uint32_t p = 0; p < polygons_count; ++p)
          if (GetPolygonMaterial(p) == kNoMaterial) SetPolygonMaterial(p, added);
      if (vert_materials_present)
        for (uint32_t v = 0; v < vertexs_count; ++v)
          if (GetVertexMaterial(v) == kNoMaterial) SetVertexMaterial(v, added);
      if (point_materials_present)
        for (uint32_t point = 0; point < points_count; ++point)
          if (GetPointMaterial(point) == kNoMaterial) SetPointMaterial(point, added);
    }
  }

  if (requirements & need_polygon_materials_first) {
    std::vector<MaterialRecord> table(materials_count);
    uint32_t used = 0;
    for (uint32_t i = 0; i < materials_count; ++i) {
      ReadElement(kSegMaterials, i, sizeof table[i], &table[i]);
      if (table[i].usage_flags & 1) ++used;
    }
    if (used > 0) {
      uint32_t next_used = 0, next_other = used;
      for (MaterialRecord& record : table)
        record.export_number = (record.usage_flags & 1) ? next_used++ : next_other++;
      for (uint32_t i = 0; i < materials_count; ++i)
        WriteElement(kSegMaterials, i, sizeof table[i], &table[i]);
      RemapMaterialIndexes(7);
      std::vector<MaterialRecord> reordered(table.size());
      for (const MaterialRecord& record : table) reordered[record.export_number] = record;
      for (uint32_t i = 0; i < materials_count; ++i)
        WriteElement(kSegMaterials, i, sizeof reordered[i], &reordered[i]);
    }
    met |= need_polygon_materials_first;
  }

  if (bad_vertexes)
    LogFormatted(LOG_ERROR, "ConvertProperties: %lu points name missing vertexes, skipped\n",
                 Ul(bad_vertexes));
  LogMessage("done.\n", LOG_DETAIL);
  return met;
}

int ModelData::SwapPolygonsDirections() {
  LogMessage("Swapping polygons directions...", LOG_DETAIL);
  relative_reads = 0;
  relative_writes = 0;
  // Every point array swaps, present or not, so that a point keeps all of
  // its own properties.
  const struct {
    uint16_t segment;
    uint32_t size;
  } arrays[] = {{kSegPointVertexes, 4}, {kSegPointNormals, 24}, {kSegPointMaterials, 4},
                {kSegPointTexcoords, 16}};
  uint32_t bad = 0;
  for (uint32_t p = 0; p < polygons_count; ++p) {
    PolygonRecord record{};
    if (!ReadElement(kSegPolygonRecords, p, sizeof record, &record)) continue;
    if (uint64_t{record.first_point} + record.point_count > points_count) {
      ++bad;
      continue;
    }
    for (uint32_t k = 0; k < record.point_count / 2; ++k) {
      const uint32_t a = record.first_point + k;
      const uint32_t b = record.first_point + record.point_count - 1 - k;
      for (const auto& array : arrays) {
        uint8_t first[24], second[24];
        if (ReadElement(array.segment, a, array.size, first) &&
            ReadElement(array.segment, b, array.size, second)) {
          WriteElement(array.segment, a, array.size, second);
          WriteElement(array.segment, b, array.size, first);
        }
      }
    }
  }
  if (bad)
    LogFormatted(LOG_ERROR, "SwapPolygonsDirections: %lu polygons reach past the points, left\n",
                 Ul(bad));
  LogMessage(".swapping done\n", LOG_DETAIL);
  return 1;
}

uint32_t ModelData::SetPolygonsWithoutMaterial(int32_t material_index) {
  SwitchesCleared switches(*this);
  uint32_t changed = 0;
  for (uint32_t p = 0; p < polygons_count; ++p) {
    if (GetPolygonMaterial(p) != kNoMaterial) continue;
    SetPolygonMaterial(p, material_index);
    ++changed;
  }
  return changed;
}

void ModelData::RemapMaterialIndexes(uint32_t mask) {
  std::vector<uint32_t> renumbered(materials_count);
  for (uint32_t i = 0; i < materials_count; ++i) {
    MaterialRecord record{};
    ReadElement(kSegMaterials, i, sizeof record, &record);
    renumbered[i] = record.export_number;
  }
  const struct {
    uint32_t bit;
    uint16_t segment;
    uint32_t count;
  } kinds[] = {{1, kSegPolygonMaterials, polygons_count},
               {2, kSegVertexMaterials, vertexs_count},
               {4, kSegPointMaterials, points_count}};
  uint32_t bad = 0;
  for (const auto& kind : kinds) {
    if (!(mask & kind.bit)) continue;
    for (uint32_t i = 0; i < kind.count; ++i) {
      int32_t index = kNoMaterial;
      if (!ReadElement(kind.segment, i, sizeof index, &index) || index == kNoMaterial) continue;
      if (index < 0 || static_cast<uint32_t>(index) >= materials_count) {
        ++bad;  // left for CheckMaterials to redirect
        continue;
      }
      const int32_t moved = static_cast<int32_t>(renumbered[index]);
      WriteElement(kind.segment, i, sizeof moved, &moved);
    }
  }
  if (bad)
    LogFormatted(LOG_ERROR, "RemapMaterialIndexes: %lu bad material indexes left as they were\n",
                 Ul(bad));
}

}  // namespace zepcon
