// Whole-model geometry: the bounding box, normals, pushing textured vertices
// outward, splitting objects by material and giving every object its own
// vertices.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>
#include <vector>

#include "core/log.h"
#include "model/model_data.h"
#include "model/model_geometry.h"
#include "model/model_internal.h"

namespace zepcon {

using model_internal::Ul;

namespace {

// Seconds within the hour from the wall clock; the time limit compares two
// of these and wraps at the hour.
double ClockSecondsInHour() {
  const auto now = std::chrono::system_clock::now();
  const auto since_epoch = now.time_since_epoch();
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 3600000;
  return static_cast<double>(milliseconds) * 0.001;
}

Vec3d Normalized(const Vec3d& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(length > 0.0) || !std::isfinite(length)) return {1.0, 0.0, 0.0};
  return {v.x / length, v.y / length, v.z / length};
}

void Widen(Vec3d& low, Vec3d& high, double x, double y, double z) {
  low.x = std::min(low.x, x);
  low.y = std::min(low.y, y);
  low.z = std::min(low.z, z);
  high.x = std::max(high.x, x);
  high.y = std::max(high.y, y);
  high.z = std::max(high.z, z);
}

}  // namespace

void ModelData::CalculateBoundingBox() {
  LogMessage("Calculating bounding box\n", LOG_DETAIL);
  const uint32_t saved_reads = relative_reads;
  relative_reads = 0;
  bounding_min = {1.7e308, 1.7e308, 1.7e308};
  bounding_max = {-1.7e308, -1.7e308, -1.7e308};
  if (bone_animation_present) {
    // The box measures the pose of frame 0.
    CalcJoints(0.0f);
    CalculateVertexPositions();
    current_frame = 0.0f;
  }
  for (uint32_t v = 0; v < vertexs_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    if (ReadVertex(v, x, y, z)) Widen(bounding_min, bounding_max, x, y, z);
  }
  if (joints_count >= 2) {
    for (uint32_t j = 0; j < joints_count && j < kMaxJoints; ++j)
      Widen(bounding_min, bounding_max, joints_[j].position[0], joints_[j].position[1],
            joints_[j].position[2]);
  }
  current_frame = joints_frame = positions_frame = -2.0f;
  bounding_box_valid = 1;
  relative_reads = saved_reads;
}

int ModelData::CalculateNormals(int /*unused*/) {
  relative_reads = 0;
  LogMessage("Calculating vertex & polygon normals . .", LOG_DETAIL);
  if (vert_normals_present) LogMessage("(vert normals already present, skipping)", LOG_DETAIL);
  if (poly_normals_present) LogMessage("(poly normals already present, skipping)", LOG_DETAIL);
  if (vert_normals_present && poly_normals_present) {
    LogMessage("\n", LOG_DETAIL);
    return 1;
  }
  const double start = ClockSecondsInHour();
  const double limit = settings.normals_time_limit;
  const bool make_polygon_normals = !poly_normals_present;
  const bool make_vertex_normals = !vert_normals_present;

  if (make_polygon_normals)
    for (uint32_t p = 0; p < polygons_count; ++p) SetPolygonNormal(p, Vec3d{0.0, 0.0, 1.0});
  if (make_vertex_normals)
    for (uint32_t v = 0; v < vertexs_count; ++v) SetVertexNormal(v, Vec3d{0.0, 0.0, 0.0});

  uint32_t bad = 0;
  const auto position_of = [&](uint32_t point, Vec3d& position, uint32_t& vertex) {
    position = {0.0, 0.0, 0.0};
    vertex = UINT32_MAX;
    if (point >= points_count || !ReadElement(kSegPointVertexes, point, sizeof vertex, &vertex) ||
        vertex >= vertexs_count) {
      ++bad;
      vertex = UINT32_MAX;
      return;
    }
    ReadElement(kSegVertexPositions, vertex, sizeof position, &position);
  };

  for (uint32_t p = 0; p < polygons_count; ++p) {
    PolygonRecord record{};
    ReadElement(kSegPolygonRecords, p, sizeof record, &record);
    Vec3d normal{1.0, 0.0, 0.0};
    if (make_polygon_normals) {
      // A polygon of fewer than three points has no plane: it gets (1, 0, 0).
      if (record.point_count >= 3) {
        Vec3d corners[3];
        for (uint32_t k = 0; k < 3; ++k) {
          uint32_t vertex = 0;
          position_of(record.first_point + k, corners[k], vertex);
        }
        normal = Normalized(geometry::TriangleNormal(corners[0], corners[1], corners[2]));
      }
      SetPolygonNormal(p, normal);
    } else {
      GetPolygonNormal(p, normal);
    }
    if (make_vertex_normals) {
      for (uint32_t k = 0; k < record.point_count; ++k) {
        const uint64_t point = uint64_t{record.first_point} + k;
        if (point >= points_count) {
          ++bad;
          break;
        }
        Vec3d position;
        uint32_t vertex = 0;
        position_of(static_cast<uint32_t>(point), position, vertex);
        if (vertex == UINT32_MAX) continue;
        Vec3d sum{};
        ReadElement(kSegVertexNormals, vertex, sizeof sum, &sum);
        sum.x += normal.x;
        sum.y += normal.y;
        sum.z += normal.z;
        WriteElement(kSegVertexNormals, vertex, sizeof sum, &sum);
      }
    }
    if (p % 200 == 0 && limit != 0.0f) {
      double elapsed = ClockSecondsInHour() - start;
      if (elapsed < 0.0) elapsed += 3600.0;
      if (elapsed > limit) {
        LogFormatted(LOG_DETAIL, " stopped by time on p %lu/%lu\n", Ul(p), Ul(polygons_count));
        return 1;
      }
    }
  }
  poly_normals_present = 1;
  LogMessage(" .", LOG_DETAIL);
  if (make_vertex_normals) {
    for (uint32_t v = 0; v < vertexs_count; ++v) {
      Vec3d sum{};
      ReadElement(kSegVertexNormals, v, sizeof sum, &sum);
      const Vec3d unit = Normalized(sum);
      WriteElement(kSegVertexNormals, v, sizeof unit, &unit);
    }
    vert_normals_present = 1;
  }
  if (bad) LogFormatted(LOG_ERROR, "CalculateNormals: %lu bad point references skipped\n", Ul(bad));
  LogMessage(" done\n", LOG_DETAIL);
  return 1;
}

void ModelData::PushTexturedVertexs(float distance) {
  if (!bounding_box_valid) CalculateBoundingBox();
  relative_reads = 0;
  relative_writes = 0;
  for (uint32_t v = 0; v < vertexs_count; ++v) {
    VertexFlags flags{};
    ReadElement(kSegVertexFlags, v, sizeof flags, &flags);
    flags.first = 0;
    WriteElement(kSegVertexFlags, v, sizeof flags, &flags);
  }
  if (vertexs_count == 0) return;

  // Each vertex's direction: the normalised sum of the unit normals of the
  // polygons it belongs to (each polygon once), all from the unmoved model,
  // so the result does not depend on the order in which vertices move.
  std::vector<Vec3d> direction(vertexs_count, Vec3d{0.0, 0.0, 0.0});
  std::vector<uint32_t> seen_in(vertexs_count, UINT32_MAX);
  std::vector<uint8_t> textured(polygons_count, 0);
  const auto valid_polygon = [&](const PolygonRecord& record) {
    return uint64_t{record.first_point} + record.point_count <= points_count;
  };
  const auto vertex_at = [&](uint32_t point) {
    uint32_t vertex = UINT32_MAX;
    ReadElement(kSegPointVertexes, point, sizeof vertex, &vertex);
    return vertex;
  };
  for (uint32_t p = 0; p < polygons_count; ++p) {
    PolygonRecord record{};
    if (!ReadElement(kSegPolygonRecords, p, sizeof record, &record) || !valid_polygon(record))
      continue;
    if (poly_materials_present) {
      int32_t index = kNoMaterial;
      ReadElement(kSegPolygonMaterials, p, sizeof index, &index);
      MaterialRecord record_material{};
      if (index >= 0 && static_cast<uint32_t>(index) < materials_count &&
          ReadElement(kSegMaterials, static_cast<uint32_t>(index), sizeof record_material,
                      &record_material))
        textured[p] = record_material.texture != -1;
    }
    Vec3d corners[3] = {};
    for (uint32_t k = 0; k < 3 && k < record.point_count; ++k) {
      const uint32_t vertex = vertex_at(record.first_point + k);
      if (vertex < vertexs_count) ReadElement(kSegVertexPositions, vertex, sizeof corners[k], &corners[k]);
    }
    const Vec3d normal = Normalized(geometry::TriangleNormal(corners[0], corners[1], corners[2]));
    for (uint32_t k = 0; k < record.point_count; ++k) {
      const uint32_t vertex = vertex_at(record.first_point + k);
      if (vertex >= vertexs_count || seen_in[vertex] == p) continue;
      seen_in[vertex] = p;
      direction[vertex].x += normal.x;
      direction[vertex].y += normal.y;
      direction[vertex].z += normal.z;
    }
  }
  for (uint32_t p = 0; p < polygons_count; ++p) {
    if (!textured[p]) continue;
    PolygonRecord record{};
    ReadElement(kSegPolygonRecords, p, sizeof record, &record);
    for (uint32_t k = 0; k < record.point_count; ++k) {
      const uint32_t vertex = vertex_at(record.first_point + k);
      if (vertex >= vertexs_count) continue;
      VertexFlags flags{};
      ReadElement(kSegVertexFlags, vertex, sizeof flags, &flags);
      if (flags.first) continue;
      flags.first = 1;
      WriteElement(kSegVertexFlags, vertex, sizeof flags, &flags);
      const Vec3d unit = Normalized(direction[vertex]);
      Vec3d position{};
      ReadElement(kSegVertexPositions, vertex, sizeof position, &position);
      position.x += distance * unit.x;
      position.y += distance * unit.y;
      position.z += distance * unit.z;
      WriteElement(kSegVertexPositions, vertex, sizeof position, &position);
    }
  }
  joints_frame = positions_frame = -2.0f;
}

int ModelData::SplitObjectPolygonsByMaterials() {
  LogMessage(" SplitObjectPolygonsByMaterials..", LOG_DETAIL);
  if (!poly_materials_present) {
    LogMessage(" no polygon materials!\n", LOG_DETAIL);
    return 1;
  }
  if (materials_count < 2) {
    LogMessage("no materials to sort.\n", LOG_DETAIL);
    return 1;
  }
  const uint32_t saved_reads = relative_reads, saved_writes = relative_writes;
  relative_reads = 0;  // polygons are walked by absolute index
  relative_writes = 0;
  const auto restore = [&] {
    relative_reads = saved_reads;
    relative_writes = saved_writes;
  };

  // The result is built object by object: a polygon outside every object
  // would be lost, one in two objects doubled. Such a model is left alone.
  std::vector<uint8_t> covered(polygons_count, 0);
  bool tiled = true;
  for (uint32_t o = 0; o < objects_count; ++o) {
    const uint64_t end = uint64_t{objects_[o].first_polygon} + objects_[o].polygon_count;
    if (end > polygons_count) {
      tiled = objects_[o].polygon_count == 0 && objects_[o].first_polygon <= polygons_count && tiled;
      continue;
    }
    for (uint64_t p = objects_[o].first_polygon; p < end; ++p) tiled = tiled && !covered[p]++;
  }
  for (uint8_t c : covered) tiled = tiled && c == 1;
  if (!tiled) {
    LogMessage("SplitObjectPolygonsByMaterials: objects do not cover the polygons once each, left as they were\n",
               LOG_ERROR);
    restore();
    return 0;
  }

  auto result = std::make_unique<ModelData>();
  if (!result->scratch || !result->InitData()) {
    LogMessage("SplitObjectPolygonsByMaterials: not enough memory\n", LOG_ERROR);
    restore();
    return 0;
  }
  result->poly_materials_present = 1;
  result->poly_normals_present = poly_normals_present;
  result->point_materials_present = point_materials_present;
  result->point_normals_present = point_normals_present;
  result->point_texcoords_present = point_texcoords_present;
  result->relative_reads = result->relative_writes = 0;

  // A material outside the table belongs to no group; such polygons go with
  // the polygons without material instead of being lost.
  uint32_t bad_materials = 0;
  const auto group_of = [&](uint32_t p) {
    const int32_t m = GetPolygonMaterial(p);
    return m >= -1 && m < static_cast<int64_t>(materials_count) ? m : kNoMaterial;
  };
  for (uint32_t p = 0; p < polygons_count; ++p)
    if (GetPolygonMaterial(p) != group_of(p)) ++bad_materials;

  struct Made {
    uint32_t source;
    uint32_t index;
  };
  std::vector<Made> made;
  for (uint32_t o = 0; o < objects_count; ++o) {
    const ObjectRecord& object = objects_[o];
    const uint32_t first = std::min(object.first_polygon, polygons_count);
    const uint32_t end =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{first} + object.polygon_count, polygons_count));
    // The object's polygons by material group (none first), each group in
    // polygon order.
    std::vector<std::pair<int32_t, uint32_t>> order;
    order.reserve(end - first);
    for (uint32_t p = first; p < end; ++p) order.emplace_back(group_of(p), p);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (size_t i = 0; i < order.size(); ++i) {
      const int32_t group = order[i].first;
      if (i == 0 || group != order[i - 1].first) {
        result->NewObject();  // the first group reuses the empty object already open
        char name[80];
        if (group == kNoMaterial)
          std::snprintf(name, sizeof name, "%s", object.name);
        else
          std::snprintf(name, sizeof name, "%s(m%i)", object.name, static_cast<int>(group));
        result->SetObjectName(name);
        made.push_back({o, result->CurrentObject()});
      }
      const uint32_t p = order[i].second;
      PolygonRecord record{};
      ReadElement(kSegPolygonRecords, p, sizeof record, &record);
      if (uint64_t{record.first_point} + record.point_count > points_count) continue;
      if (!result->StorePolygonBySize(record.point_count)) continue;
      PolygonProperties polygon{};
      GetPolygonAllProperties(p, &polygon);
      result->SetPolygonAllProperties(result->polygons_count - 1, &polygon);
      const uint32_t stored_first = result->points_count - record.point_count;
      for (uint32_t k = 0; k < record.point_count; ++k) {
        PointProperties point{};
        GetPointAllProperties(record.first_point + k, &point);
        result->SetPointAllProperties(stored_first + k, &point);
      }
    }
    result->NewObject();
  }
  result->FinishObjects();
  for (const Made& entry : made) {
    if (entry.index >= result->objects_count) continue;
    ObjectRecord& target = result->objects_[entry.index];
    ObjectRecord merged = objects_[entry.source];
    merged.first_polygon = target.first_polygon;
    merged.polygon_count = target.polygon_count;
    merged.first_point = target.first_point;
    merged.point_count = target.point_count;
    std::memcpy(merged.name, target.name, sizeof merged.name);
    target = merged;
  }
  if (!ReplaceGeometryFrom(*result)) {
    restore();
    return 0;
  }
  objects_count = result->objects_count;
  std::memcpy(objects_, result->objects_, sizeof objects_);
  if (current_object_ >= objects_count) current_object_ = objects_count ? objects_count - 1 : 0;
  if (bad_materials)
    LogFormatted(LOG_ERROR, "SplitObjectPolygonsByMaterials: %lu polygons with bad materials kept unsplit\n",
                 Ul(bad_materials));
  result->DestroyData();
  restore();
  return 1;
}

int ModelData::DistributeVertexsToObjectsByPolygons() {
  LogMessage(" DistributeVertexsToObjectsByPolygons..", LOG_DETAIL);
  FinishObjects();
  if (objects_count < 2) {
    LogMessage("no objects, no sorting.\n", LOG_DETAIL);
    return 1;
  }
  relative_reads = 0;
  relative_writes = 0;
  const float saved_frame = current_frame;
  current_frame = -2.0f;

  // New vertices in order: each object's copies of the vertices its points
  // use, then the vertices no point uses. source[n] is the vertex new vertex
  // n copies; table[point] the point's new vertex.
  std::vector<uint32_t> source;
  std::vector<uint32_t> table(points_count, UINT32_MAX);
  std::vector<uint32_t> use_count(vertexs_count, 0), copy_in(vertexs_count, UINT32_MAX),
      copy_object(vertexs_count, UINT32_MAX), last_copy(vertexs_count, UINT32_MAX);
  std::vector<uint32_t> range_first(objects_count + 1), range_count(objects_count + 1);
  const uint32_t maximum = 100000;  // the vertex group's largest capacity
  uint32_t bad = 0;
  bool too_many = false;
  for (uint32_t o = 0; o < objects_count && !too_many; ++o) {
    const ObjectRecord& object = objects_[o];
    range_first[o] = static_cast<uint32_t>(source.size());
    const uint64_t end = std::min<uint64_t>(uint64_t{object.first_point} + object.point_count, points_count);
    for (uint64_t point = object.first_point; point < end; ++point) {
      uint32_t v = UINT32_MAX;
      ReadElement(kSegPointVertexes, static_cast<uint32_t>(point), sizeof v, &v);
      if (v >= vertexs_count) {
        ++bad;  // a dangling point falls back to vertex 0, as the model check does
        if (vertexs_count == 0) continue;
        v = 0;
      }
      if (copy_object[v] != o) {
        if (source.size() >= maximum) {
          too_many = true;
          break;
        }
        copy_object[v] = o;
        copy_in[v] = static_cast<uint32_t>(source.size());
        last_copy[v] = copy_in[v];
        source.push_back(v);
        ++use_count[v];
      }
      table[point] = copy_in[v];
    }
    range_count[o] = static_cast<uint32_t>(source.size()) - range_first[o];
  }
  const uint32_t unused_first = static_cast<uint32_t>(source.size());
  for (uint32_t v = 0; v < vertexs_count && !too_many; ++v) {
    if (use_count[v]) continue;
    if (source.size() >= maximum) {
      too_many = true;
      break;
    }
    last_copy[v] = static_cast<uint32_t>(source.size());
    source.push_back(v);
  }
  const uint32_t new_count = static_cast<uint32_t>(source.size());
  if (!too_many) {
    RaiseMark(vertexs_mark_, new_count);
    GrowGroup(kGroupVertices, new_count);
  }
  if (too_many || vertex_group_.capacity < new_count) {
    LogMessage("DistributeVertexsToObjectsByPolygons: too many vertices, model left as it was\n",
               LOG_ERROR);
    current_frame = saved_frame;
    return 0;
  }

  // Points outside every object's range follow their vertex's last copy
  // (a dangling one vertex 0's).
  for (uint32_t point = 0; point < points_count; ++point) {
    if (table[point] != UINT32_MAX) continue;
    uint32_t v = UINT32_MAX;
    ReadElement(kSegPointVertexes, point, sizeof v, &v);
    if (v >= vertexs_count) {
      ++bad;
      v = 0;
    }
    if (v < vertexs_count) table[point] = last_copy[v];
  }
  for (uint32_t point = 0; point < points_count; ++point)
    if (table[point] != UINT32_MAX) WriteElement(kSegPointVertexes, point, sizeof table[point], &table[point]);

  std::vector<VertexProperties> old(vertexs_count);
  for (uint32_t v = 0; v < vertexs_count; ++v) GetVertexAllProperties(v, &old[v]);
  vertexs_count = new_count;
  for (uint32_t n = 0; n < new_count; ++n) SetVertexAllProperties(n, &old[source[n]]);

  // An object without points keeps an empty vertex range at its place
  // instead of shifting the ranges of the objects after it.
  const uint32_t old_objects = objects_count;
  for (uint32_t o = 0; o < old_objects; ++o) {
    objects_[o].first_vertex = range_first[o];
    objects_[o].vertex_count = range_count[o];
  }
  if (new_count > unused_first && objects_count < kMaxObjects) {
    ObjectRecord& unused = objects_[objects_count++];
    ResetObjectRecord(&unused);
    unused.first_vertex = unused_first;
    unused.vertex_count = new_count - unused_first;
    unused.first_polygon = polygons_count;
    unused.first_point = points_count;
    unused.first_edge = edges_count;
    std::snprintf(unused.name, sizeof unused.name, "%s", "unused vertices");
  } else if (new_count > unused_first) {
    // No room for another object: the last one takes them.
    objects_[old_objects - 1].vertex_count += new_count - unused_first;
  }
  if (bad) LogFormatted(LOG_ERROR, "DistributeVertexsToObjectsByPolygons: %lu points named missing vertexes\n", Ul(bad));

  if (vertex_animation_present) {
    positions_frame = -2.0f;
    SetAnimVertCount(vertexs_count);
    for (uint32_t f = 0; f < anim_frames_count; ++f) {
      for (uint32_t n = 0; n < new_count; ++n) {
        double x = 0.0, y = 0.0, z = 0.0;
        Animation_GetVertexPos(static_cast<float>(f), source[n], x, y, z);
        Animation_SetVertexPos(UINT32_MAX, n, x, y, z);
      }
      for (uint32_t n = 0; n < new_count; ++n) {
        double x = 0.0, y = 0.0, z = 0.0;
        Animation_GetVertexPos(-1.0f, n, x, y, z);
        Animation_SetVertexPos(f, n, x, y, z);
      }
    }
  }
  LogMessage("..finished\n", LOG_DETAIL);
  current_frame = saved_frame;
  return 1;
}

}  // namespace zepcon
