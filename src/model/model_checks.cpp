// Model checks (dangling references, bone names, hierarchies) and the
// triangulation of polygons by ear clipping in their own plane.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/log.h"
#include "model/model_data.h"
#include "model/model_internal.h"
#include "model/model_geometry.h"

namespace zepcon {

using model_internal::AddBase;
using model_internal::Ul;

namespace {


// Three int32 arrays of `count` entries in one block, as the hierarchy
// checks use them.
struct HierarchyArrays {
  explicit HierarchyArrays(uint32_t count) {
    if (uint64_t{count} * 3 * sizeof(int32_t) <= SIZE_MAX)
      block = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 3 * (size_t{count} + 1)));
    parent = block;
    order = block ? block + count : nullptr;
    depth = block ? block + 2 * size_t{count} : nullptr;
  }
  ~HierarchyArrays() { std::free(block); }
  HierarchyArrays(const HierarchyArrays&) = delete;
  HierarchyArrays& operator=(const HierarchyArrays&) = delete;

  int32_t* block = nullptr;
  int32_t* parent = nullptr;
  int32_t* order = nullptr;
  int32_t* depth = nullptr;
};

}  // namespace

// ---- CheckModel and its steps -----------------------------------------------

int ModelData::CheckModel() {
  CheckPolygons();
  CheckMaterials();
  CheckSkelet();
  FinishObjects();
  if (objects_count == 0) LogMessage("forgot objects :(\n", LOG_ERROR);
  CheckObjectOwning();
  return 1;
}

int ModelData::CheckPolygons() {
  LogMessage("Checking polygons...", LOG_DETAIL);
  uint32_t redirected = 0;
  for (uint32_t point = 0; point < points_count; ++point) {
    uint32_t vertex = 0;
    if (!ReadElement(ModelData::kSegPointVertexes, point, sizeof vertex, &vertex)) continue;
    if (vertex < vertexs_count) continue;
    const uint32_t zero = 0;
    WriteElement(ModelData::kSegPointVertexes, point, sizeof zero, &zero);
    ++redirected;
  }
  if (redirected)
    LogFormatted(LOG_ERROR, " found %lu bad polygons pointings, redirected to 0\n", Ul(redirected));
  else
    LogMessage("Ok\n", LOG_DETAIL);
  return 1;
}

int ModelData::CheckMaterials() {
  LogMessage("Checking materials..", LOG_DETAIL);
  if (materials_count == 0) {
    MaterialRecord record = default_material_;
    std::snprintf(record.name, sizeof record.name, "%s", "default material");
    AddMaterialRecord(record);
  }
  relative_reads = 0;
  relative_writes = 0;

  // Material indexes that name no material fall back to material 0.
  const auto redirect = [&](uint16_t segment, uint32_t count, const char* message) {
    uint32_t bad = 0;
    for (uint32_t i = 0; i < count; ++i) {
      int32_t index = kNoMaterial;
      if (!ReadElement(segment, i, sizeof index, &index)) continue;
      if (index == kNoMaterial || (index >= 0 && static_cast<uint32_t>(index) < materials_count))
        continue;
      const int32_t zero = 0;
      WriteElement(segment, i, sizeof zero, &zero);
      ++bad;
    }
    if (bad) LogFormatted(LOG_ERROR, message, Ul(bad));
  };
  if (poly_materials_present)
    redirect(ModelData::kSegPolygonMaterials, polygons_count,
             ".%lu bad poly materials found, redirected to material 0..");
  if (vert_materials_present)
    redirect(ModelData::kSegVertexMaterials, vertexs_count,
             ".%lu bad vert materials found, redirected to material 0..");
  if (point_materials_present)
    redirect(ModelData::kSegPointMaterials, points_count,
             ".%lu bad point materials found, redirected to material 0..");

  uint32_t bad_textures = 0;
  for (uint32_t i = 0; i < materials_count; ++i) {
    MaterialRecord record;
    if (!ReadElement(ModelData::kSegMaterials, i, sizeof record, &record)) continue;
    const bool bad_texture =
        record.texture != -1 &&
        (record.texture < 0 || static_cast<uint32_t>(record.texture) >= textures_count);
    if (bad_texture) {
      record.texture = -1;
      ++bad_textures;
    }
    record.usage_flags = 0;
    WriteElement(ModelData::kSegMaterials, i, sizeof record, &record);
  }
  if (bad_textures)
    LogFormatted(LOG_ERROR, ".%lu bad texture indexes found, tex removed..", Ul(bad_textures));

  const auto mark_usage = [&](uint16_t segment, uint32_t count, uint32_t bit) {
    for (uint32_t i = 0; i < count; ++i) {
      int32_t index = kNoMaterial;
      if (!ReadElement(segment, i, sizeof index, &index)) continue;
      if (index < 0 || static_cast<uint32_t>(index) >= materials_count) continue;
      MaterialRecord record;
      if (!ReadElement(ModelData::kSegMaterials, static_cast<uint32_t>(index), sizeof record, &record))
        continue;
      record.usage_flags |= bit;
      WriteElement(ModelData::kSegMaterials, static_cast<uint32_t>(index), sizeof record, &record);
    }
  };
  if (poly_materials_present) mark_usage(ModelData::kSegPolygonMaterials, polygons_count, 1);
  if (vert_materials_present) mark_usage(ModelData::kSegVertexMaterials, vertexs_count, 2);
  if (point_materials_present) mark_usage(ModelData::kSegPointMaterials, points_count, 4);
  LogMessage("Done\n", LOG_DETAIL);
  return 1;
}

int ModelData::CheckSkelet() {
  // Bone names: none empty, none twice.
  for (uint32_t b = 0; b < bones_count; ++b) {
    char* name = bones_[b].name;
    name[sizeof bones_[b].name - 1] = '\0';
    if (name[0] == '\0') std::snprintf(name, sizeof bones_[b].name, "bone %lu", Ul(b));
    for (;;) {
      bool duplicate = false;
      for (uint32_t other = 0; other < bones_count && !duplicate; ++other)
        duplicate = other != b && std::strcmp(bones_[other].name, name) == 0;
      if (!duplicate) break;
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "_%i", static_cast<int>(b));
      const size_t name_length = std::strlen(name), suffix_length = std::strlen(suffix);
      char candidate[sizeof bones_[b].name];
      if (name_length + suffix_length < sizeof candidate) {
        std::memcpy(candidate, name, name_length);
        std::memcpy(candidate + name_length, suffix, suffix_length + 1);
      } else {
        // No room for the suffix: it replaces the end of the name. When
        // that changes nothing the duplicate stays, so that the check ends.
        const int keep = static_cast<int>(sizeof candidate - 1 - suffix_length);
        std::snprintf(candidate, sizeof candidate, "%.*s%s", keep, name, suffix);
        if (std::strcmp(candidate, name) == 0) break;
      }
      std::memcpy(name, candidate, sizeof candidate);
    }
  }

  // Joint hierarchy: a joint's parent is where the first bone ending at it starts.
  HierarchyArrays arrays(joints_count);
  if (!arrays.block) {
    LogMessage("CheckSkelet: Error allocating mem for objects sorting\n", LOG_ERROR);
    return 1;
  }
  for (uint32_t j = 0; j < joints_count; ++j) {
    const int32_t bone = FindBone(static_cast<int32_t>(j), 0);
    arrays.parent[j] = bone < 0 ? -1 : bones_[bone].first_joint;
  }
  if (!SortHierarchy(joints_count, arrays.parent, arrays.order, arrays.depth)) {
    LogMessage("CheckSkelet: Error allocating mem for objects sorting\n", LOG_ERROR);
    return 1;
  }
  for (uint32_t j = 0; j < joints_count; ++j) {
    joints_[j].order = arrays.order[j];
    joints_[j].depth = arrays.depth[j];
  }
  return 1;
}

int ModelData::CheckObjectOwning() {
  for (uint32_t i = 0; i < objects_count; ++i) {
    if (objects_[i].owner < 0 || static_cast<uint32_t>(objects_[i].owner) >= joints_count)
      objects_[i].owner = -1;
  }
  HierarchyArrays arrays(objects_count);
  if (!arrays.block) {
    LogMessage("CheckObjectOwning: Error allocating mem for objects sorting\n", LOG_ERROR);
    return 0;
  }
  for (uint32_t i = 0; i < objects_count; ++i) arrays.parent[i] = objects_[i].owner;
  if (!SortHierarchy(objects_count, arrays.parent, arrays.order, arrays.depth)) {
    LogMessage("CheckObjectOwning: Error allocating mem for objects sorting\n", LOG_ERROR);
    return 0;
  }
  for (uint32_t i = 0; i < objects_count; ++i) {
    objects_[i].order = arrays.order[i];
    objects_[i].depth = arrays.depth[i];
  }
  return 1;
}

// Depths by repeated passes (nodes on a parent cycle, and below one, keep
// -2), then order numbers one at a time: the deepest numbered node that
// still has an unnumbered child numbers its lowest such child; when there is
// none, the shallowest unnumbered node (cycles first) starts a new tree.
int ModelData::SortHierarchy(uint32_t count, int32_t* parent, int32_t* order, int32_t* depth) {
  if (count == 0) return 1;
  if (!parent || !order || !depth || count > INT32_MAX / 4) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (parent[i] < 0 || static_cast<uint32_t>(parent[i]) >= count) parent[i] = -1;
    order[i] = -2;
    depth[i] = -2;
  }
  for (bool assigned = true; assigned;) {
    assigned = false;
    for (uint32_t i = 0; i < count; ++i) {
      if (depth[i] != -2) continue;
      if (parent[i] == -1) {
        depth[i] = 0;
        assigned = true;
      } else if (depth[parent[i]] != -2) {
        depth[i] = depth[parent[i]] + 1;
        assigned = true;
      }
    }
  }

  // Children in index order: first_child / next_sibling lists, and per node
  // a cursor to its next child that may still be unnumbered.
  int32_t* links = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 3 * size_t{count}));
  if (!links) return 0;
  int32_t* first_child = links;
  int32_t* next_sibling = links + count;
  int32_t* cursor = links + 2 * size_t{count};
  for (uint32_t i = 0; i < count; ++i) first_child[i] = next_sibling[i] = -1;
  for (uint32_t i = count; i-- > 0;) {
    if (parent[i] == -1) continue;
    next_sibling[i] = first_child[parent[i]];
    first_child[parent[i]] = static_cast<int32_t>(i);
  }
  for (uint32_t i = 0; i < count; ++i) cursor[i] = first_child[i];

  for (uint32_t number = 0; number < count; ++number) {
    int32_t best = -1;
    for (uint32_t i = 0; i < count; ++i) {
      if (order[i] == -2) continue;
      while (cursor[i] != -1 && order[cursor[i]] != -2) cursor[i] = next_sibling[cursor[i]];
      if (cursor[i] == -1) continue;
      if (best == -1 || depth[i] > depth[best]) best = static_cast<int32_t>(i);
    }
    int32_t chosen = -1;
    if (best != -1) {
      chosen = cursor[best];
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        if (order[i] != -2) continue;
        if (chosen == -1 || depth[i] < depth[chosen]) chosen = static_cast<int32_t>(i);
      }
    }
    order[chosen] = static_cast<int32_t>(number);
  }
  std::free(links);
  return 1;
}

// ---- Triangulation ----------------------------------------------------------

namespace {

// Work arrays of one polygon's corners, sized by the largest polygon.
struct CornerWork {
  explicit CornerWork(uint32_t size)
      : positions(static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * size))),
        vertexes(static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * size))),
        sources(static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * size))),
        angles(static_cast<double*>(std::malloc(sizeof(double) * size))) {}
  ~CornerWork() {
    std::free(positions);
    std::free(vertexes);
    std::free(sources);
    std::free(angles);
  }
  CornerWork(const CornerWork&) = delete;
  CornerWork& operator=(const CornerWork&) = delete;
  bool Ok() const { return positions && vertexes && sources && angles; }

  Vec3d* positions;
  uint32_t* vertexes;
  uint32_t* sources;  // source corner each working corner stands for
  double* angles;     // -1 not yet computed, 370 blocked ear
};

// Newell's normal of a whole polygon: robust where the first three corners
// are collinear.
Vec3d PolygonNormal(const Vec3d* corners, uint32_t count) {
  Vec3d n{0.0, 0.0, 0.0};
  for (uint32_t i = 0; i < count; ++i) {
    const Vec3d& a = corners[i];
    const Vec3d& b = corners[(i + 1) % count];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

double SquaredLength(const Vec3d& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

// Whether a corner seen at `angle` from a triangle's edge lies within the
// triangle's `wedge` there. A corner exactly on that edge gives 0, which
// rounding can turn into just below 360; it counts as 0 (on the edge, so
// blocking the ear) instead of as outside.
bool WithinWedge(double angle, double wedge) {
  constexpr double kRoundingSlack = 1e-7;  // degrees
  if (angle > 360.0 - kRoundingSlack) angle = 0.0;
  return angle < wedge;
}

}  // namespace

int ModelData::TriangulatePolygons() {
  LogMessage("Triangulating polygons ...", LOG_DETAIL);
  relative_reads = 0;
  relative_writes = 0;

  uint32_t largest = 0;
  for (uint32_t p = 0; p < polygons_count; ++p) {
    PolygonRecord record{};
    if (ReadElement(ModelData::kSegPolygonRecords, p, sizeof record, &record) && record.point_count > largest)
      largest = record.point_count;
  }
  if (polygons_count == 0 || largest <= 3) return 1;

  auto result = std::make_unique<ModelData>();
  CornerWork work(largest);
  if (!work.Ok() || !result->scratch || !result->InitData()) {
    LogMessage("TriangulatePolygons: not enough memory\n", LOG_ERROR);
    return 0;
  }
  result->relative_reads = 0;
  result->relative_writes = 0;
  result->poly_materials_present = poly_materials_present;
  result->poly_normals_present = poly_normals_present;
  result->point_materials_present = point_materials_present;
  result->point_normals_present = point_normals_present;
  result->point_texcoords_present = point_texcoords_present;

  // A triangle of the source points first + corners[0..2], carrying the
  // source polygon's properties and each source point's own.
  const auto add_triangle = [&](uint32_t polygon, uint32_t first, const uint32_t corners[3]) {
    uint32_t vertexes[3];
    for (int i = 0; i < 3; ++i) {
      vertexes[i] = 0;
      ReadElement(ModelData::kSegPointVertexes, first + corners[i], sizeof vertexes[i], &vertexes[i]);
    }
    if (!result->StorePolygon(3, vertexes)) return;
    PolygonProperties polygon_properties{};
    GetPolygonAllProperties(polygon, &polygon_properties);
    result->SetPolygonAllProperties(result->polygons_count - 1, &polygon_properties);
    const uint32_t result_first = result->points_count - 3;
    for (uint32_t i = 0; i < 3; ++i) {
      PointProperties point{};
      GetPointAllProperties(first + corners[i], &point);
      result->SetPointAllProperties(result_first + i, &point);
    }
  };

  uint32_t triangulated = 0, bad_angles = 0, bad_normal = 0;
  uint32_t object = 0;
  for (uint32_t p = 0; p < polygons_count; ++p) {
    // Follow the objects: each source object gets its own result object.
    while (object + 1 < objects_count && uint64_t{p} >= uint64_t{objects_[object].first_polygon} +
                                                            objects_[object].polygon_count) {
      ++object;
      result->StoreVertex(0.0, 0.0, 0.0);  // keeps the opening from being skipped as empty
      result->NewObject();
    }
    PolygonRecord record{};
    if (!ReadElement(ModelData::kSegPolygonRecords, p, sizeof record, &record)) continue;
    const uint32_t n = record.point_count;
    if (n == 3) {
      const uint32_t corners[3] = {0, 1, 2};
      add_triangle(p, record.first_point, corners);
      continue;
    }
    ++triangulated;
    if (n < 3) continue;

    for (uint32_t k = 0; k < n; ++k) {
      uint32_t vertex = 0;
      ReadElement(ModelData::kSegPointVertexes, record.first_point + k, sizeof vertex, &vertex);
      work.vertexes[k] = vertex;
      Vec3d position{0.0, 0.0, 0.0};
      if (vertex < vertexs_count)
        ReadElement(ModelData::kSegVertexPositions, vertex, sizeof position, &position);
      work.positions[k] = position;
    }

    // Turn the polygon's plane into a plane of constant z facing +z.
    Vec3d normal =
        geometry::TriangleNormal(work.positions[0], work.positions[1], work.positions[2]);
    const Vec3d e1{work.positions[1].x - work.positions[0].x,
                   work.positions[1].y - work.positions[0].y,
                   work.positions[1].z - work.positions[0].z};
    const Vec3d e2{work.positions[2].x - work.positions[0].x,
                   work.positions[2].y - work.positions[0].y,
                   work.positions[2].z - work.positions[0].z};
    const bool no_plane = SquaredLength(normal) <= 1e-12 * SquaredLength(e1) * SquaredLength(e2);
    if (no_plane) {
      // Collinear first corners give no plane; the whole outline still does.
      const Vec3d whole = PolygonNormal(work.positions, n);
      if (SquaredLength(whole) > 0.0) normal = whole;
    }
    double first_angle = 0.0, second_angle = 0.0;
    geometry::NormalAngles(normal, first_angle, second_angle);
    for (uint32_t k = 0; k < n; ++k) {
      geometry::RotatePoint(work.positions[k], -first_angle, 0.0, 0.0);
      geometry::RotatePoint(work.positions[k], 0.0, 90.0 - second_angle, 0.0);
    }
    const Vec3d turned =
        geometry::TriangleNormal(work.positions[0], work.positions[1], work.positions[2]);
    // (First corners that are collinear up to rounding count as giving no
    // normal, whatever rounding left of it.)
    if (no_plane || std::trunc(turned.x * 100.0) != 0.0 || std::trunc(turned.y * 100.0) != 0.0 ||
        !(turned.z > 0.0))
      ++bad_normal;

    // Counter-clockwise order: the corner angles then are the inner ones.
    double inner = 0.0, outer = 0.0;
    for (uint32_t k = 0; k < n; ++k) {
      const double angle = geometry::AngleAt(work.positions[k], work.positions[(k + n - 1) % n],
                                             work.positions[(k + 1) % n]);
      inner += angle;
      outer += 360.0 - angle;
    }
    const bool reversed = outer < inner;
    if (reversed) {
      for (uint32_t k = 0; k < n / 2; ++k) std::swap(work.positions[k], work.positions[n - 1 - k]);
    }
    for (uint32_t k = 0; k < n; ++k) {
      work.sources[k] = reversed ? n - 1 - k : k;
      work.angles[k] = -1.0;
    }

    bool counted_bad_angle = false;
    for (uint32_t m = n; m > 2; --m) {
      for (uint32_t c = 0; c < m; ++c) {
        if (work.angles[c] != -1.0) continue;
        const uint32_t pi = (c + m - 1) % m, qi = (c + 1) % m;
        const Vec3d& P = work.positions[pi];
        const Vec3d& C = work.positions[c];
        const Vec3d& Q = work.positions[qi];
        const double a1 = geometry::AngleAt(P, Q, C);
        const double a2 = geometry::AngleAt(Q, C, P);
        bool blocked = false;
        for (uint32_t j = 0; j < m && !blocked; ++j) {
          if (j == c || j == pi || j == qi) continue;
          const Vec3d& J = work.positions[j];
          blocked = WithinWedge(geometry::AngleAt(P, J, C), a1) &&
                    WithinWedge(geometry::AngleAt(Q, C, J), a2);
        }
        work.angles[c] = blocked ? 370.0 : geometry::AngleAt(C, P, Q);
      }
      uint32_t chosen = m;
      for (uint32_t c = 0; c < m; ++c) {
        if (work.angles[c] < 180.0 && (chosen == m || work.angles[c] < work.angles[chosen]))
          chosen = c;
      }
      if (chosen == m) {
        chosen = 0;
        if (!counted_bad_angle) ++bad_angles;
        counted_bad_angle = true;
      }
      const uint32_t pi = (chosen + m - 1) % m, qi = (chosen + 1) % m;
      // Reversed working order: the triangle is turned back to the source's winding.
      const uint32_t corners[3] = {work.sources[reversed ? qi : pi], work.sources[chosen],
                                   work.sources[reversed ? pi : qi]};
      add_triangle(p, record.first_point, corners);
      work.angles[pi] = -1.0;
      work.angles[qi] = -1.0;
      for (uint32_t k = chosen; k + 1 < m; ++k) {
        work.positions[k] = work.positions[k + 1];
        work.sources[k] = work.sources[k + 1];
        work.angles[k] = work.angles[k + 1];
      }
    }
  }

  result->FinishObjects();
  const int replaced = ReplaceGeometryFrom(*result);
  result->DestroyData();
  LogMessage("done.\n", LOG_DETAIL);
  if (triangulated) LogFormatted(LOG_DETAIL, "Triangulated %lu polygons\n", Ul(triangulated));
  if (bad_angles)
    LogFormatted(LOG_ERROR, "Badly triangulated because of angles: %lu polygons\n", Ul(bad_angles));
  if (bad_normal)
    LogFormatted(LOG_ERROR, "Badly triangulated because of normal: %lu polygons\n", Ul(bad_normal));
  return replaced;
}

// Takes over the result model's polygons and points with their properties
// and the objects' polygon and point ranges; vertices and edges stay.
int ModelData::ReplaceGeometryFrom(ModelData& result) {
  RaiseMark(polygons_mark_, result.polygons_count);
  RaiseMark(points_mark_, result.points_count);
  GrowGroup(kGroupPolygons, result.polygons_count);
  GrowGroup(kGroupPoints, result.points_count);
  if (polygon_group_.capacity < result.polygons_count ||
      point_group_.capacity < result.points_count) {
    LogMessage("No mem - could not grow polys\n", LOG_ERROR);
    return 0;
  }
  const struct {
    uint16_t segment;
    uint32_t element_size;
    bool polygons;
  } arrays[] = {
      {ModelData::kSegPolygonRecords, sizeof(PolygonRecord), true},
      {ModelData::kSegPolygonMaterials, sizeof(int32_t), true},
      {ModelData::kSegPolygonNormals, sizeof(Vec3d), true},
      {ModelData::kSegPointVertexes, sizeof(uint32_t), false},
      {ModelData::kSegPointMaterials, sizeof(int32_t), false},
      {ModelData::kSegPointNormals, sizeof(Vec3d), false},
      {ModelData::kSegPointTexcoords, sizeof(TexCoord), false},
  };
  for (const auto& array : arrays) {
    const uint32_t count = array.polygons ? result.polygons_count : result.points_count;
    const uint64_t bytes = uint64_t{count} * array.element_size;
    const uint8_t* source = result.pool_.SegmentData(array.segment);
    if (bytes == 0 || !source) continue;
    if (bytes > UINT32_MAX || !pool_.Write(array.segment, 0, static_cast<uint32_t>(bytes), source))
      return 0;
  }
  polygons_count = result.polygons_count;
  points_count = result.points_count;
  for (uint32_t k = 0; k < objects_count; ++k) {
    ObjectRecord& object = objects_[k];
    if (k < result.objects_count) {
      const ObjectRecord& made = result.objects_[k];
      object.first_polygon = made.first_polygon;
      object.polygon_count = made.polygon_count;
      object.first_point = made.first_point;
      object.point_count = made.point_count;
    } else {
      // Objects after the last one with polygons keep none.
      object.first_polygon = polygons_count;
      object.polygon_count = 0;
      object.first_point = points_count;
      object.point_count = 0;
    }
  }
  return 1;
}

}  // namespace zepcon
