// The geometry store: array groups and their growth, vertices, polygons with
// their points, edges, per-element normals, flags and texture coordinates,
// whole-element property records and the statistics.
#include "model/model_data.h"
#include "model/model_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"

namespace zepcon {

using model_internal::AddBase;
using model_internal::Ul;

namespace {

enum class Fill { kZero, kMinusOne32, kNoOwner16, kUnset };

struct SegmentSpec {
  uint16_t handle;
  uint32_t element_size;
  Fill fill;
};

struct GroupSpec {
  uint32_t bit;
  uint32_t margin;  // grows when mark + margin > capacity
  uint32_t step;
  uint32_t maximum;
  const char* no_memory_message;
  SegmentSpec segments[6];
  int segment_count;
};

// clang-format off
const GroupSpec kGroups[] = {
    {ModelData::kGroupVertices, 2500, 10000, 100000, "No mem - could not grow verts\n",
     {{ModelData::kSegVertexPositions, 24, Fill::kZero},
      {ModelData::kSegVertexFlags, 8, Fill::kZero},
      {ModelData::kSegVertexMaterials, 4, Fill::kMinusOne32},
      {ModelData::kSegVertexOwners, 2, Fill::kNoOwner16},
      {ModelData::kSegVertexNormals, 24, Fill::kUnset},
      {ModelData::kSegVertexTexcoords, 16, Fill::kUnset}},
     6},
    {ModelData::kGroupPolygons, 2500, 10000, 100000, "No mem - could not grow polys\n",
     {{ModelData::kSegPolygonRecords, 8, Fill::kZero}, {ModelData::kSegPolygonMaterials, 4, Fill::kMinusOne32}, {ModelData::kSegPolygonNormals, 24, Fill::kUnset}},
     3},
    {ModelData::kGroupPoints, 7500, 30000, 300000, "No mem - could not grow points\n",
     {{ModelData::kSegPointVertexes, 4, Fill::kZero},
      {ModelData::kSegPointMaterials, 4, Fill::kMinusOne32},
      {ModelData::kSegPointNormals, 24, Fill::kUnset},
      {ModelData::kSegPointTexcoords, 16, Fill::kUnset}},
     4},
    {ModelData::kGroupEdges, 250, 1000, 100000, "No mem - could not grow Edges\n",
     {{ModelData::kSegEdges, 8, Fill::kZero}}, 1},
    {ModelData::kGroupMaterials, 25, 100, 10000, "No mem - could not grow Materials\n",
     {{ModelData::kSegMaterials, 68, Fill::kZero}}, 1},
    {ModelData::kGroupLights, 12, 50, 3000, "No mem - could not grow Lights\n",
     {{ModelData::kSegLights, 128, Fill::kZero}}, 1},
    {ModelData::kGroupCameras, 12, 50, 3000, "No mem - could not grow Cameras\n",
     {{ModelData::kSegCameras, 152, Fill::kZero}}, 1},
};
// clang-format on

}  // namespace

ModelData::ModelData() {
  scratch = static_cast<uint8_t*>(std::calloc(kScratchSize, 1));
  ResetMaterial();
  default_material_ = material;
  ResetLight();
}

ModelData::~ModelData() { std::free(scratch); }

// ---- Growth ----------------------------------------------------------------

uint32_t ModelData::Capacity(Group group) const {
  switch (group) {
    case kGroupVertices: return vertex_group_.capacity;
    case kGroupPolygons: return polygon_group_.capacity;
    case kGroupPoints: return point_group_.capacity;
    case kGroupEdges: return edge_group_.capacity;
    case kGroupMaterials: return material_group_.capacity;
    case kGroupLights: return light_group_.capacity;
    case kGroupCameras: return camera_group_.capacity;
    default: return 0;
  }
}

ModelData::GroupState& ModelData::GroupStateOf(uint32_t group_bit) {
  switch (group_bit) {
    case kGroupVertices: return vertex_group_;
    case kGroupPolygons: return polygon_group_;
    case kGroupPoints: return point_group_;
    case kGroupEdges: return edge_group_;
    case kGroupMaterials: return material_group_;
    case kGroupLights: return light_group_;
    default: return camera_group_;
  }
}

void ModelData::GrowArrays(uint32_t groups) {
  for (const GroupSpec& spec : kGroups) {
    if (groups & spec.bit) GrowGroup(spec.bit);
  }
}

void ModelData::InitialiseElements(uint16_t segment, uint32_t element_size, uint32_t from,
                                   uint32_t to) {
  uint8_t* data = pool_.SegmentData(segment);
  if (!data || to <= from) return;
  uint8_t* first = data + uint64_t{from} * element_size;
  const uint64_t bytes = uint64_t{to - from} * element_size;
  const Fill fill = [&] {
    for (const GroupSpec& spec : kGroups)
      for (int i = 0; i < spec.segment_count; ++i)
        if (spec.segments[i].handle == segment) return spec.segments[i].fill;
    return Fill::kZero;
  }();
  switch (fill) {
    case Fill::kZero: std::memset(first, 0, bytes); break;
    case Fill::kMinusOne32:
    case Fill::kNoOwner16: std::memset(first, 0xFF, bytes); break;
    case Fill::kUnset: {
      // One value, then copies of what is filled so far: a few block copies
      // instead of a store per value (InitData fills about 2 MB this way).
      const uint64_t whole = bytes / sizeof(double) * sizeof(double);
      if (whole == 0) break;
      const double unset = kUnsetValue;
      std::memcpy(first, &unset, sizeof(double));
      for (uint64_t filled = sizeof(double); filled < whole;) {
        const uint64_t copy = std::min(filled, whole - filled);
        std::memcpy(first + filled, first, copy);
        filled += copy;
      }
      break;
    }
  }
}

int ModelData::GrowGroup(uint32_t group_bit, uint64_t demand) {
  const GroupSpec* spec = nullptr;
  for (const GroupSpec& candidate : kGroups)
    if (candidate.bit == group_bit) spec = &candidate;
  if (!spec || !pool_.IsAllocated()) return 0;

  GroupState* state = &GroupStateOf(group_bit);
  uint32_t mark = 0;
  switch (group_bit) {
    case kGroupVertices: mark = vertexs_mark_; break;
    case kGroupPolygons: mark = polygons_mark_; break;
    case kGroupPoints: mark = points_mark_; break;
    case kGroupEdges: mark = edges_count; break;
    case kGroupMaterials: mark = materials_count; break;
    case kGroupLights: mark = lights_count; break;
    default: mark = cameras_count; break;
  }

  // All the steps the condition asks for are taken in one resize; a mark far
  // beyond the maximum still grows only up to the maximum.
  const uint32_t old_capacity = state->capacity;
  uint32_t new_capacity = old_capacity;
  while ((uint64_t{mark} + spec->margin > new_capacity || demand > new_capacity) &&
         new_capacity < spec->maximum)
    new_capacity = std::min(new_capacity + spec->step, spec->maximum);
  if (new_capacity > old_capacity) {
    uint32_t old_sizes[6] = {};
    int resized = 0;
    bool failed = false;
    for (int i = 0; i < spec->segment_count; ++i) {
      const SegmentSpec& segment = spec->segments[i];
      old_sizes[i] = pool_.SegmentSize(segment.handle);
      if (!pool_.Resize(segment.handle, new_capacity * segment.element_size)) {
        failed = true;
        break;
      }
      ++resized;
    }
    if (failed) {
      LogMessage(spec->no_memory_message, LOG_ERROR);
      for (int i = 0; i < resized; ++i) pool_.Resize(spec->segments[i].handle, old_sizes[i]);
      return 0;
    }
    for (int i = 0; i < spec->segment_count; ++i) {
      const SegmentSpec& segment = spec->segments[i];
      InitialiseElements(segment.handle, segment.element_size, old_capacity, new_capacity);
    }
    state->capacity = new_capacity;
  }
  return 1;
}

void ModelData::RaiseMark(uint32_t& mark, uint32_t index) {
  if (index > mark) mark = index;
}

int ModelData::ReadElement(uint16_t segment, uint32_t index, uint32_t size, void* out) const {
  const uint64_t offset = uint64_t{index} * size;
  if (offset + size > UINT32_MAX) return 0;
  return pool_.Read(segment, static_cast<uint32_t>(offset), size, out);
}

int ModelData::WriteElement(uint16_t segment, uint32_t index, uint32_t size, const void* in) {
  const uint64_t offset = uint64_t{index} * size;
  if (offset + size > UINT32_MAX) return 0;
  return pool_.Write(segment, static_cast<uint32_t>(offset), size, in);
}

// ---- Lifecycle -------------------------------------------------------------

int ModelData::InitData() {
  vertexs_count = polygons_count = points_count = edges_count = 0;
  materials_count = objects_count = joints_count = bones_count = 0;
  lights_count = cameras_count = textures_count = 0;
  vertexs_mark_ = polygons_mark_ = points_mark_ = 0;
  vertex_group_ = polygon_group_ = point_group_ = edge_group_ = GroupState{};
  material_group_ = light_group_ = camera_group_ = GroupState{};
  polygon_points_limit_ = polygon_polygons_limit_ = by_size_points_limit_ = 0;
  by_size_polygons_limit_ = 0;
  relative_reads = 0;
  relative_writes = 1;

  poly_materials_present = vert_materials_present = point_materials_present = 0;
  poly_normals_present = vert_normals_present = point_normals_present = 0;
  vert_texcoords_present = point_texcoords_present = 0;

  texture_memory_size = 0;
  texture_bytes_per_pixel = 4;
  std::memset(textures_, 0, sizeof(textures_));

  anim_frames_count = anim_vert_count = animation_bones_count = 0;
  vertex_animation_size = bone_animation_size = 0;
  vertex_animation_present = bone_animation_present = 0;
  chained_bone_rotations = 1;
  SkeletOwningType = so_none;
  current_frame = joints_frame = positions_frame = -2.0f;
  model_orientation[0] = model_orientation[1] = model_orientation[2] = 7;
  ResetProcessingState();

  std::memset(objects_, 0, sizeof(objects_));
  std::memset(joints_, 0, sizeof(joints_));
  std::memset(bones_, 0, sizeof(bones_));
  current_object_ = 0;
  explicit_objects_ = 0;
  ResetMaterial();
  ResetLight();

  // Every array of a group starts at the group's first step. The segments
  // are created at that size right away, so that the pool is allocated once
  // instead of being grown segment by segment; the result is the same as
  // growing every group from nothing.
  uint32_t first_sizes[kSegmentCount + 1] = {};
  for (const GroupSpec& spec : kGroups)
    for (int i = 0; i < spec.segment_count; ++i)
      first_sizes[spec.segments[i].handle] = spec.step * spec.segments[i].element_size;
  bool in_group[kSegmentCount + 1] = {};
  for (uint16_t handle = 1; handle <= kSegmentCount; ++handle) {
    in_group[handle] = first_sizes[handle] != 0;
    if (!in_group[handle]) first_sizes[handle] = 2;  // what the pool gives a request of 1
  }
  if (!ReuseSegments(first_sizes) && !CreateSegments(first_sizes)) return 0;
  for (uint16_t handle = 1; handle <= kSegmentCount; ++handle)
    if (!in_group[handle]) InitialiseElements(handle, 1, 0, first_sizes[handle]);  // zero
  for (const GroupSpec& spec : kGroups) {
    for (int i = 0; i < spec.segment_count; ++i)
      InitialiseElements(spec.segments[i].handle, spec.segments[i].element_size, 0, spec.step);
    GroupStateOf(spec.bit).capacity = spec.step;
  }
  GrowArrays(kAllGroups);
  NewObject();
  AddJoint(0.0, 0.0, 0.0, "");
  reading.ResetLevels();
  return 1;
}

// A container loaded again (a batch, a fuzz run) keeps its block: the
// segments go back to their first sizes in place, so a small file costs no
// fresh allocation of the first capacities. Only a pool laid out exactly as
// InitData lays it out is reused.
int ModelData::ReuseSegments(const uint32_t* first_sizes) {
  if (!pool_.IsAllocated() || pool_.SegmentCount() != kSegmentCount) return 0;
  for (uint16_t handle = 1; handle <= kSegmentCount; ++handle) {
    if (!pool_.Resize(handle, first_sizes[handle])) {
      pool_.FreeAll();
      return 0;
    }
  }
  return 1;
}

int ModelData::CreateSegments(const uint32_t* first_sizes) {
  pool_.FreeAll();  // a second InitData without DestroyData must not stack segments
  for (uint16_t handle = 1; handle <= kSegmentCount; ++handle) {
    if (pool_.CreateSegment(first_sizes[handle] - 1, 0) != handle) {  // the pool adds one
      LogMessage("Error allocating memory !\n", LOG_ERROR);
      return 0;
    }
  }
  return pool_.Allocate();
}

int ModelData::DestroyData() { return pool_.FreeAll(); }

// ---- Object-relative bases -------------------------------------------------

uint32_t ModelData::VertexBaseForWrites() const {
  return relative_writes ? objects_[current_object_].first_vertex : 0;
}
uint32_t ModelData::VertexBaseForReads() const {
  return relative_reads ? objects_[current_object_].first_vertex : 0;
}
uint32_t ModelData::PolygonBaseForWrites() const {
  return relative_writes ? objects_[current_object_].first_polygon : 0;
}
uint32_t ModelData::PolygonBaseForReads() const {
  return relative_reads ? objects_[current_object_].first_polygon : 0;
}
uint32_t ModelData::PointBaseForWrites() const {
  return relative_writes ? objects_[current_object_].first_point : 0;
}
uint32_t ModelData::PointBaseForReads() const {
  return relative_reads ? objects_[current_object_].first_point : 0;
}
uint32_t ModelData::EdgeBaseForReads() const {
  return relative_reads ? objects_[current_object_].first_edge : 0;
}

// ---- Vertices --------------------------------------------------------------

uint32_t ModelData::StoreVertex(double x, double y, double z) {
  if (vertexs_count + 2 >= vertex_group_.capacity) GrowGroup(kGroupVertices);
  const uint32_t capacity = vertex_group_.capacity;
  if (vertexs_count >= capacity) return 0;
  if (vertexs_count + 1 == capacity) LogMessage("StoreVertex:Vertexs limit reached\n", LOG_ERROR);
  const Vec3d position{x, y, z};
  if (!WriteElement(ModelData::kSegVertexPositions, vertexs_count, sizeof position, &position)) return 0;
  const uint32_t index = vertexs_count++;
  RaiseMark(vertexs_mark_, vertexs_count);
  return index - VertexBaseForWrites();
}

int ModelData::ReadVertex(uint32_t index, double& x, double& y, double& z) {
  const uint32_t absolute = AddBase(index, VertexBaseForReads());
  if (current_frame != -2.0f) return ReadAnimatedVertex(absolute, x, y, z);
  if (absolute >= vertexs_count) {
    LogFormatted(LOG_ERROR, "ReadVertex: index(%lu) >= vertexs_count(%lu)\n", Ul(absolute),
                 Ul(vertexs_count));
    return 0;
  }
  Vec3d position;
  if (!ReadElement(ModelData::kSegVertexPositions, absolute, sizeof position, &position)) return 0;
  x = position.x;
  y = position.y;
  z = position.z;
  return 1;
}

int ModelData::SetVertex(uint32_t index, double x, double y, double z) {
  const uint32_t absolute = AddBase(index, VertexBaseForWrites());
  if (absolute >= vertexs_count) {
    LogFormatted(LOG_ERROR, "SetVertex: index(%lu) >= vertexs_count(%lu)\n", Ul(absolute),
                 Ul(vertexs_count));
    return 0;
  }
  const Vec3d position{x, y, z};
  return WriteElement(ModelData::kSegVertexPositions, absolute, sizeof position, &position);
}

int ModelData::GetVertexNormal(uint32_t index, Vec3d& normal) {
  const uint32_t absolute = AddBase(index, VertexBaseForReads());
  if (absolute >= vertexs_count) {
    LogMessage("GetVertexNormal: vindex >= vertexs_count\n", LOG_ERROR);
    return 0;
  }
  return ReadElement(ModelData::kSegVertexNormals, absolute, sizeof normal, &normal);
}

int ModelData::SetVertexNormal(uint32_t index, const Vec3d& normal) {
  const uint32_t absolute = AddBase(index, VertexBaseForWrites());
  RaiseMark(vertexs_mark_, absolute);
  GrowGroup(kGroupVertices);
  return WriteElement(ModelData::kSegVertexNormals, absolute, sizeof normal, &normal);
}

int ModelData::GetVertexFlags(uint32_t index, VertexFlags& flags) {
  const uint32_t absolute = AddBase(index, VertexBaseForReads());
  if (absolute >= vertexs_count) {
    LogFormatted(LOG_ERROR, "GetVertexFlags: index(%lu) >= vertexs_count(%lu)\n", Ul(absolute),
                 Ul(vertexs_count));
    return 0;
  }
  return ReadElement(ModelData::kSegVertexFlags, absolute, sizeof flags, &flags);
}

int ModelData::SetVertexFlags(uint32_t index, const VertexFlags& flags) {
  const uint32_t absolute = AddBase(index, VertexBaseForWrites());
  if (absolute >= vertexs_count) {
    LogFormatted(LOG_ERROR, "SetVertexFlags: index(%lu) >= vertexs_count(%lu)\n", Ul(absolute),
                 Ul(vertexs_count));
    return 0;
  }
  return WriteElement(ModelData::kSegVertexFlags, absolute, sizeof flags, &flags);
}

// ---- Polygons and points ---------------------------------------------------

// Shared by StorePolygon and StorePolygonBySize (vertexes == nullptr: the
// points are only reserved). The two differ in their messages and in the
// polygon limit: StorePolygon keeps a limit state, the other only the
// capacity.
int ModelData::StoreWholePolygon(const char* caller, uint32_t count, const uint32_t* vertexes,
                                 int& points_limit, int& polygons_limit,
                                 bool polygons_limit_is_state) {
  const bool reserve_only = vertexes == nullptr;
  if (!reserve_only && count == 0) {
    // Filling up repeats the first vertex; without any there is nothing to repeat.
    LogFormatted(LOG_ERROR, "%s: polygon with %u points, will be filled to have 3 points\n", caller,
                 count);
    return 0;
  }
  if (count > kMaxPolygonPoints) {
    LogFormatted(LOG_ERROR, "%s: polygon with %u points, more than %u\n", caller, count,
                 kMaxPolygonPoints);
    return 0;
  }
  GrowGroup(kGroupPolygons);
  GrowGroup(kGroupPoints);

  uint32_t filled[3];
  if (count < 3) {
    LogFormatted(LOG_ERROR, "%s: polygon with %u points, will be filled to have 3 points\n", caller,
                 count);
    if (!reserve_only) {
      for (uint32_t i = 0; i < 3; ++i) filled[i] = vertexes[i < count ? i : 0];
      vertexes = filled;
    }
    count = 3;
  }

  if (points_count == 0) points_limit = 0;
  if (polygons_count == 0) polygons_limit = 0;
  if (points_limit) return 0;
  // One polygon may need more than one growth step.
  GrowGroup(kGroupPoints, uint64_t{points_count} + count + 1);
  if (uint64_t{points_count} + count >= point_group_.capacity) {
    LogFormatted(LOG_ERROR, "%s:Points limit reached\n", caller);
    points_limit = 1;
    return 0;
  }
  if (polygons_limit_is_state && polygons_limit) return 0;
  if (polygons_count >= polygon_group_.capacity) return 0;
  if (polygons_count + 1 == polygon_group_.capacity) {
    LogFormatted(LOG_ERROR, "%s:Polygons limit reached\n", caller);
    if (polygons_limit_is_state) polygons_limit = 1;
  }

  const PolygonRecord record{points_count, count};
  if (!WriteElement(ModelData::kSegPolygonRecords, polygons_count, sizeof record, &record)) return 0;
  if (!reserve_only) {
    const uint32_t base = VertexBaseForWrites();
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t vertex = AddBase(vertexes[i], base);
      WriteElement(ModelData::kSegPointVertexes, points_count + i, sizeof vertex, &vertex);
    }
  }
  ++polygons_count;
  points_count += count;
  RaiseMark(polygons_mark_, polygons_count);
  RaiseMark(points_mark_, points_count);
  return 1;
}

int ModelData::StorePolygon(uint32_t count, const uint32_t* vertexes) {
  if (!vertexes) {
    LogMessage("StorePolygon: no vertex list\n", LOG_ERROR);
    return 0;
  }
  return StoreWholePolygon("StorePolygon", count, vertexes, polygon_points_limit_,
                           polygon_polygons_limit_, true);
}

int ModelData::StorePolygonBySize(uint32_t count) {
  return StoreWholePolygon("StorePolygonBySize", count, nullptr, by_size_points_limit_,
                           by_size_polygons_limit_, false);
}

int ModelData::StorePolygonPoint(uint32_t polygon, uint32_t k, uint32_t vertex) {
  GrowGroup(kGroupPolygons);
  GrowGroup(kGroupPoints);
  const uint32_t absolute = AddBase(polygon, PolygonBaseForWrites());
  if (absolute >= polygons_count) {
    LogFormatted(LOG_ERROR, "StorePolygonPoint: pindex (%lu) > polygons_count(%lu)\n", Ul(absolute),
                 Ul(polygons_count));
    return 0;
  }
  PolygonRecord record;
  if (!ReadElement(ModelData::kSegPolygonRecords, absolute, sizeof record, &record)) return 0;
  if (k >= record.point_count) {
    LogFormatted(LOG_ERROR, "StorePolygonPoint: pindex (%lu) > poly points count(%lu)\n", Ul(k),
                 Ul(record.point_count));
    return 0;
  }
  const uint32_t stored = AddBase(vertex, VertexBaseForWrites());
  return WriteElement(ModelData::kSegPointVertexes, AddBase(record.first_point, k), sizeof stored, &stored);
}

int ModelData::ReadPolygon(uint32_t polygon, uint32_t* count, uint32_t* vertexes,
                           uint32_t capacity) {
  if (!vertexes && capacity != 0) {
    if (count) *count = 0;
    return 0;
  }
  const uint32_t absolute = AddBase(polygon, PolygonBaseForReads());
  if (absolute >= polygons_count) {
    LogMessage("ReadPolygon:index > polygons_count\n", LOG_ERROR);
    return 0;
  }
  PolygonRecord record;
  if (!ReadElement(ModelData::kSegPolygonRecords, absolute, sizeof record, &record)) return 0;
  if (count) *count = record.point_count;
  if (capacity == 0) return 0;
  const uint32_t base = VertexBaseForReads();
  const uint32_t copied = std::min(record.point_count, capacity);
  for (uint32_t i = 0; i < copied; ++i) {
    uint32_t vertex = 0;
    ReadElement(ModelData::kSegPointVertexes, AddBase(record.first_point, i), sizeof vertex, &vertex);
    vertexes[i] = vertex - base;
  }
  return record.point_count <= capacity ? 1 : 0;
}

uint32_t ModelData::ReadPolygonVertex(uint32_t polygon, uint32_t k) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForReads());
  if (absolute >= polygons_count) {
    LogMessage("ReadPolygonVertex:pindex > polygons_count\n", LOG_ERROR);
    return 0;
  }
  PolygonRecord record;
  if (!ReadElement(ModelData::kSegPolygonRecords, absolute, sizeof record, &record)) return 0;
  if (k >= record.point_count) {
    LogMessage("ReadPolygonVertex:vindex > poly.count\n", LOG_ERROR);
    return 0;
  }
  uint32_t vertex = 0;
  if (!ReadElement(ModelData::kSegPointVertexes, AddBase(record.first_point, k), sizeof vertex, &vertex)) return 0;
  return vertex - VertexBaseForReads();
}

int ModelData::ReadPolygonPointData(uint32_t polygon, uint32_t& first, uint32_t& count) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForReads());
  PolygonRecord record;
  if (absolute >= polygons_count || !ReadElement(ModelData::kSegPolygonRecords, absolute, sizeof record, &record)) {
    LogMessage("ReadPolygonPointData:index > polygons_count\n", LOG_ERROR);
    first = 0;
    count = 0;
    return 0;
  }
  first = record.first_point - PointBaseForReads();
  count = record.point_count;
  return 1;
}

uint32_t ModelData::GetPointVertex(uint32_t point) {
  const uint32_t absolute = AddBase(point, PointBaseForReads());
  uint32_t vertex = 0;
  if (absolute >= points_count || !ReadElement(ModelData::kSegPointVertexes, absolute, sizeof vertex, &vertex)) {
    LogFormatted(LOG_ERROR, "GetPointVertex: index(%lu) >= points_count(%lu)\n", Ul(absolute),
                 Ul(points_count));
    return 0;
  }
  return vertex - VertexBaseForReads();
}

int ModelData::SetPointVertex(uint32_t point, uint32_t vertex) {
  const uint32_t absolute = AddBase(point, PointBaseForWrites());
  if (absolute >= points_count) {
    LogFormatted(LOG_ERROR, "SetPointVertex: index(%lu) >= points_count(%lu)\n", Ul(absolute),
                 Ul(points_count));
    return 0;
  }
  const uint32_t stored = AddBase(vertex, VertexBaseForWrites());
  return WriteElement(ModelData::kSegPointVertexes, absolute, sizeof stored, &stored);
}

int ModelData::GetPolygonNormal(uint32_t polygon, Vec3d& normal) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForReads());
  RaiseMark(polygons_mark_, absolute);
  GrowGroup(kGroupPolygons);
  return ReadElement(ModelData::kSegPolygonNormals, absolute, sizeof normal, &normal);
}

int ModelData::SetPolygonNormal(uint32_t polygon, const Vec3d& normal) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForWrites());
  return WriteElement(ModelData::kSegPolygonNormals, absolute, sizeof normal, &normal);
}

int ModelData::GetPointNormal(uint32_t point, Vec3d& normal) {
  const uint32_t absolute = AddBase(point, PointBaseForReads());
  RaiseMark(points_mark_, absolute);
  GrowGroup(kGroupPoints);
  return ReadElement(ModelData::kSegPointNormals, absolute, sizeof normal, &normal);
}

int ModelData::SetPointNormal(uint32_t point, const Vec3d& normal) {
  const uint32_t absolute = AddBase(point, PointBaseForWrites());
  return WriteElement(ModelData::kSegPointNormals, absolute, sizeof normal, &normal);
}

// ---- Edges -----------------------------------------------------------------

int ModelData::StoreEdge(uint32_t a, uint32_t b) {
  GrowGroup(kGroupEdges);
  if (edges_count >= edge_group_.capacity) return 0;
  if (edges_count + 1 == edge_group_.capacity)
    LogMessage("StoreEdge: Edge limit reached\n", LOG_ERROR);
  const uint32_t base = VertexBaseForWrites();
  const EdgeRecord edge{AddBase(a, base), AddBase(b, base)};
  if (!WriteElement(ModelData::kSegEdges, edges_count, sizeof edge, &edge)) return 0;
  ++edges_count;
  return 1;
}

int ModelData::ReadEdge(uint32_t index, uint32_t& a, uint32_t& b) {
  const uint32_t absolute = AddBase(index, EdgeBaseForReads());
  EdgeRecord edge;
  if (absolute >= edges_count || !ReadElement(ModelData::kSegEdges, absolute, sizeof edge, &edge)) {
    LogMessage("ReadEdge: count exceeded !\n", LOG_ERROR);
    return 0;
  }
  const uint32_t base = VertexBaseForReads();
  a = edge.a - base;
  b = edge.b - base;
  return 1;
}

int ModelData::StoreEdgePolygon(uint32_t count, const uint32_t* edges) {
  if (count == 0 || !edges || count > kMaxPolygonPoints) return 0;
  const uint32_t saved_reads = relative_reads;
  relative_reads = 1;
  uint32_t* list = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * count));
  if (!list) {
    LogMessage("StoreEdgePolygon: not enough mem\n", LOG_ERROR);
    relative_reads = saved_reads;
    return 0;
  }
  // Unreadable edges keep these values, which no real edge shares.
  const uint32_t kNone = UINT32_MAX;
  uint32_t c = kNone, d = kNone;
  ReadEdge(edges[count - 1], c, d);
  bool connected = true;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t a = kNone - 1, b = kNone - 1;
    ReadEdge(edges[i], a, b);
    if (b == c || b == d) {
      list[i] = b;
    } else if (a == c || a == d) {
      list[i] = a;
    } else {
      LogMessage("FindTwoSame: Can't find two same !\n", LOG_ERROR);
      connected = false;
      list[i] = 0;
    }
    c = a;
    d = b;
  }
  int result = 0;
  if (!connected) {
    LogFormatted(LOG_ERROR, "StoreEdgePolygon:(%lu) ", Ul(polygons_count));
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t a = 0, b = 0;
      ReadEdge(edges[i], a, b);
      LogFormatted(LOG_ERROR, "(%i,%i) ", static_cast<int>(a), static_cast<int>(b));
    }
    LogMessage("\n", LOG_ERROR);
  } else {
    result = StorePolygon(count, list);
  }
  std::free(list);
  relative_reads = saved_reads;
  return result;
}

// ---- Texture coordinates ---------------------------------------------------

int ModelData::SetVertexTexcoord(uint32_t vertex, double u, double v) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForWrites());
  RaiseMark(vertexs_mark_, absolute);
  GrowGroup(kGroupVertices);
  const TexCoord coordinate{u, v};
  return WriteElement(ModelData::kSegVertexTexcoords, absolute, sizeof coordinate, &coordinate);
}

int ModelData::GetVertexTexcoord(uint32_t vertex, double& u, double& v) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForReads());
  TexCoord coordinate;
  if (!ReadElement(ModelData::kSegVertexTexcoords, absolute, sizeof coordinate, &coordinate)) return 0;
  u = coordinate.u;
  v = coordinate.v;
  return 1;
}

int ModelData::SetPointTexcoord(uint32_t point, double u, double v) {
  const uint32_t absolute = AddBase(point, PointBaseForWrites());
  RaiseMark(points_mark_, absolute);
  GrowGroup(kGroupPoints);
  const TexCoord coordinate{u, v};
  return WriteElement(ModelData::kSegPointTexcoords, absolute, sizeof coordinate, &coordinate);
}

int ModelData::GetPointTexcoord(uint32_t point, double& u, double& v) {
  const uint32_t absolute = AddBase(point, PointBaseForReads());
  TexCoord coordinate;
  if (!ReadElement(ModelData::kSegPointTexcoords, absolute, sizeof coordinate, &coordinate)) return 0;
  u = coordinate.u;
  v = coordinate.v;
  return 1;
}

// ---- Whole-element properties ----------------------------------------------

int ModelData::GetVertexAllProperties(uint32_t index, VertexProperties* record) {
  if (!record) record = &vertex_record;
  if (AddBase(index, VertexBaseForReads()) >= vertexs_count) {
    LogMessage("GetVertexAllProperties: bad vertex index\n", LOG_ERROR);
    return 0;
  }
  ReadVertex(index, record->x, record->y, record->z);
  if (vert_normals_present) GetVertexNormal(index, record->normal);
  if (vert_materials_present) record->material = GetVertexMaterial(index);
  record->owner = GetVertexOwner(AddBase(index, VertexBaseForReads()));
  if (vert_texcoords_present) GetVertexTexcoord(index, record->texcoord.u, record->texcoord.v);
  return 1;
}

int ModelData::SetVertexAllProperties(uint32_t index, const VertexProperties* record) {
  if (!record) record = &vertex_record;
  if (AddBase(index, VertexBaseForWrites()) >= vertexs_count) {
    LogMessage("SetVertexAllProperties: bad vertex index\n", LOG_ERROR);
    return 0;
  }
  SetVertex(index, record->x, record->y, record->z);
  if (vert_normals_present) SetVertexNormal(index, record->normal);
  if (vert_materials_present) SetVertexMaterial(index, record->material);
  SetVertexOwner(index, record->owner);
  if (vert_texcoords_present) SetVertexTexcoord(index, record->texcoord.u, record->texcoord.v);
  return 1;
}

int ModelData::GetPointAllProperties(uint32_t index, PointProperties* record) {
  if (!record) record = &point_record;
  if (AddBase(index, PointBaseForReads()) >= points_count) {
    LogMessage("GetPointAllProperties: bad point index\n", LOG_ERROR);
    return 0;
  }
  record->vertex = GetPointVertex(index);
  if (point_normals_present) GetPointNormal(index, record->normal);
  if (point_materials_present) record->material = GetPointMaterial(index);
  if (point_texcoords_present) GetPointTexcoord(index, record->texcoord.u, record->texcoord.v);
  return 1;
}

int ModelData::SetPointAllProperties(uint32_t index, const PointProperties* record) {
  if (!record) record = &point_record;
  if (AddBase(index, PointBaseForWrites()) >= points_count) {
    LogMessage("SetPointAllProperties: bad point index\n", LOG_ERROR);
    return 0;
  }
  SetPointVertex(index, record->vertex);
  if (point_normals_present) SetPointNormal(index, record->normal);
  if (point_materials_present) SetPointMaterial(index, record->material);
  if (point_texcoords_present) SetPointTexcoord(index, record->texcoord.u, record->texcoord.v);
  return 1;
}

int ModelData::GetPolygonAllProperties(uint32_t index, PolygonProperties* record) {
  if (!record) record = &polygon_record;
  if (AddBase(index, PolygonBaseForReads()) >= polygons_count) {
    LogMessage("GetPolygonAllProperties: bad poly index\n", LOG_ERROR);
    return 0;
  }
  if (poly_materials_present) record->material = GetPolygonMaterial(index);
  if (poly_normals_present) GetPolygonNormal(index, record->normal);
  return 1;
}

int ModelData::SetPolygonAllProperties(uint32_t index, const PolygonProperties* record) {
  if (!record) record = &polygon_record;
  if (AddBase(index, PolygonBaseForWrites()) >= polygons_count) {
    LogMessage("SetPolygonAllProperties: bad poly index\n", LOG_ERROR);
    return 0;
  }
  if (poly_materials_present) SetPolygonMaterial(index, record->material);
  if (poly_normals_present) SetPolygonNormal(index, record->normal);
  return 1;
}

// ---- Statistics ------------------------------------------------------------

std::string ModelData::StatisticsText() const {
  const struct {
    const char* label;
    uint32_t count;
  } lines[] = {
      {"vertexs", vertexs_count},     {"polygons", polygons_count},
      {"points", points_count},       {"edges", edges_count},
      {"materials", materials_count}, {"objects", objects_count},
      {"bones", bones_count},         {"joints", joints_count},
      {"textures", textures_count},   {"animation frames", anim_frames_count},
      {"lights", lights_count},
  };
  std::string text = "Used: \n";
  char line[64];
  for (const auto& entry : lines) {
    std::snprintf(line, sizeof line, "%20s: %lu\n", entry.label, Ul(entry.count));
    text += line;
  }
  return text;
}

void ModelData::PrintStatistics() const {
  const std::string text = StatisticsText();
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const size_t stop = end == std::string::npos ? text.size() : end + 1;
    LogMessage(std::string_view(text).substr(start, stop - start), LOG_DETAIL);
    start = stop;
  }
}

}  // namespace zepcon
