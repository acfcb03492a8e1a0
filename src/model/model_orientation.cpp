// Axis orientation of the stored data and its conversion, and limiting the
// number of colour materials polygons use.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "model/model_data.h"
#include "model/model_geometry.h"
#include "model/model_internal.h"

namespace zepcon {

using model_internal::Ul;

namespace {

constexpr int32_t kNotEntered = 7;
constexpr int32_t kAxisPairs[3][2] = {{0, 1}, {2, 3}, {4, 5}};

double Component(const Vec3d& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
double& Component(Vec3d& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
double Sign(int32_t code) { return code % 2 == 0 ? 1.0 : -1.0; }

// Slot i moves the old coordinate along axis(source[i]) to axis(destination[i]),
// with both signs applied.
struct AxisMapping {
  int32_t source[3];
  int32_t destination[3];

  Vec3d Apply(const Vec3d& old) const {
    Vec3d mapped{0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i)
      Component(mapped, destination[i] / 2) =
          Sign(destination[i]) * Sign(source[i]) * Component(old, source[i] / 2);
    return mapped;
  }
  // A vector of unset components (a normal never calculated) stays unset.
  Vec3d ApplyKeepingUnset(const Vec3d& old) const {
    if (old.x == kUnsetValue || old.y == kUnsetValue || old.z == kUnsetValue) return old;
    return Apply(old);
  }
};

// Left-handed triples give x == 0 of (normal of the three unit vectors +
// their sum); right-handed ones give twice the sum.
bool LeftHanded(const int32_t codes[3]) {
  Vec3d v[3];
  for (int i = 0; i < 3; ++i) {
    v[i] = {0.0, 0.0, 0.0};
    Component(v[i], codes[i] / 2) = Sign(codes[i]);
  }
  const Vec3d n = geometry::TriangleNormal(v[0], v[1], v[2]);
  return n.x + v[0].x + v[1].x + v[2].x == 0.0;
}

}  // namespace

int ModelData::SetModelOrientation(int32_t first, int32_t second, int32_t third) {
  if (first == kNotEntered && second == kNotEntered && third == kNotEntered) {
    model_orientation[0] = model_orientation[1] = model_orientation[2] = kNotEntered;
    return 1;
  }
  const int32_t codes[3] = {first, second, third};
  for (int32_t code : codes) {
    if (code < 0 || code > 5) {
      LogMessage("SetModelOrientation:Direction value out of bounds", LOG_ERROR);
      return 0;
    }
  }
  if (first == second || first == third || second == third) {
    LogMessage("SetModelOrientation:Some directions are same\n", LOG_ERROR);
    return 0;
  }
  for (const auto& pair : kAxisPairs) {
    if (std::find_first_of(codes, codes + 3, pair, pair + 2) == codes + 3) {
      LogMessage("SetModelOrientation: Not all orientations used\n", LOG_ERROR);
      return 0;
    }
  }
  std::memcpy(model_orientation, codes, sizeof codes);
  return 1;
}

int ModelData::ConvertModelOrientation(int32_t first, int32_t second, int32_t third) {
  LogMessage("Converting model orientation .. ", LOG_DETAIL);
  if (model_orientation[0] == first && model_orientation[1] == second &&
      model_orientation[2] == third)
    return 1;
  if (model_orientation[0] == kNotEntered && model_orientation[1] == kNotEntered &&
      model_orientation[2] == kNotEntered) {
    LogMessage("Source model directions not entered, leaving as is\n", LOG_ERROR);
    return 1;
  }
  if (bone_animation_present) {
    LogMessage("Cannot transform model orientation on bone animations yet\n", LOG_ERROR);
    return 0;
  }
  AxisMapping mapping{};
  std::memcpy(mapping.source, model_orientation, sizeof mapping.source);
  if (!SetModelOrientation(first, second, third)) return 0;
  std::memcpy(mapping.destination, model_orientation, sizeof mapping.destination);

  // One pass over an array of position or direction triples.
  const auto map_array = [&](uint16_t segment, uint64_t count, bool keep_unset) {
    for (uint64_t i = 0; i < count && i <= UINT32_MAX; ++i) {
      Vec3d v{};
      if (!ReadElement(segment, static_cast<uint32_t>(i), sizeof v, &v)) break;
      v = keep_unset ? mapping.ApplyKeepingUnset(v) : mapping.Apply(v);
      WriteElement(segment, static_cast<uint32_t>(i), sizeof v, &v);
    }
  };
  map_array(kSegVertexPositions, vertexs_count, false);

  if (LeftHanded(mapping.source) != LeftHanded(mapping.destination)) SwapPolygonsDirections();

  for (uint32_t l = 0; l < lights_count; ++l) {
    LightRecord record{};
    if (!ReadElement(kSegLights, l, sizeof record, &record)) break;
    Vec3d position{record.first[0], record.first[1], record.first[2]};
    Vec3d direction{record.second[0], record.second[1], record.second[2]};
    position = mapping.Apply(position);
    direction = mapping.Apply(direction);
    const double p[3] = {position.x, position.y, position.z};
    const double d[3] = {direction.x, direction.y, direction.z};
    std::memcpy(record.first, p, sizeof p);
    std::memcpy(record.second, d, sizeof d);
    WriteElement(kSegLights, l, sizeof record, &record);
  }
  for (uint32_t j = 0; j < joints_count && j < kMaxJoints; ++j) {
    for (double* triple : {joints_[j].position, joints_[j].third}) {
      const Vec3d mapped = mapping.Apply(Vec3d{triple[0], triple[1], triple[2]});
      triple[0] = mapped.x;
      triple[1] = mapped.y;
      triple[2] = mapped.z;
    }
  }

  map_array(kSegVertexNormals, vertexs_count, true);
  map_array(kSegPolygonNormals, polygons_count, true);
  map_array(kSegPointNormals, points_count, true);

  if (vertex_animation_present && anim_frames_count >= 1) {
    const uint64_t records = (uint64_t{anim_frames_count} + 1) * anim_vert_count;
    map_array(kSegVertexAnimation, std::min<uint64_t>(records, vertex_animation_size / sizeof(Vec3d)),
              false);
  }

  // The box's corners are mapped too; a negated axis swaps its two ends.
  if (bounding_box_valid) {
    const Vec3d a = mapping.Apply(bounding_min), b = mapping.Apply(bounding_max);
    bounding_min = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    bounding_max = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
  }
  joints_frame = positions_frame = -2.0f;
  LogMessage("done\n", LOG_DETAIL);
  return 1;
}

void ModelData::Fix_LimitNoOfPolygonMaterialsToX(int32_t limit) {
  std::vector<MaterialRecord> table(materials_count);
  uint32_t polygon_used = 0, vertex_or_point = 0, textured = 0;
  for (uint32_t i = 0; i < materials_count; ++i) {
    ReadElement(kSegMaterials, i, sizeof table[i], &table[i]);
    if (table[i].usage_flags & 1) ++polygon_used;
    if (table[i].usage_flags & 6) ++vertex_or_point;
    if (table[i].texture != -1) ++textured;
  }
  if (static_cast<int64_t>(polygon_used) <= limit) return;

  const int64_t room = int64_t{limit} - textured;
  uint32_t side = 0;
  for (uint32_t n = 9; n >= 3 && side == 0; --n)
    if (int64_t{n} * n * n <= room) side = n;
  if (side == 0) {
    LogFormatted(LOG_ERROR, "Fix_LimitNoOfPolygonMaterialsToX: Sorry, smallest gen palete size is %lu.\n",
                 Ul(27));
    return;
  }
  const uint32_t palette = side * side * side;
  const float step = 255.0f / static_cast<float>(side - 1);
  const uint64_t new_count = uint64_t{palette} + textured + vertex_or_point;
  if (new_count > 10000) {
    LogMessage("Fix_LimitNoOfPolygonMaterialsToX: too many materials to keep, left as they were\n",
               LOG_ERROR);
    return;
  }

  std::vector<MaterialRecord> rebuilt(new_count, default_material_);
  for (uint32_t k = 0; k < palette; ++k) {
    rebuilt[k].diffuse[0] = static_cast<uint8_t>(static_cast<uint32_t>(k % side * step));
    rebuilt[k].diffuse[1] = static_cast<uint8_t>(static_cast<uint32_t>(k / side % side * step));
    rebuilt[k].diffuse[2] = static_cast<uint8_t>(static_cast<uint32_t>(k / (side * side) % side * step));
    std::snprintf(rebuilt[k].name, sizeof rebuilt[k].name, "%02X_%02X_%02X", rebuilt[k].diffuse[0],
                  rebuilt[k].diffuse[1], rebuilt[k].diffuse[2]);
  }
  uint32_t next_textured = palette, next_other = palette + textured;
  for (uint32_t i = 0; i < materials_count; ++i) {
    MaterialRecord& record = table[i];
    const bool has_texture = record.texture != -1;
    const bool vertex_point = record.usage_flags & 6;
    uint32_t moved = i;
    if (has_texture) {
      moved = next_textured++;
      if (vertex_point) ++next_other;  // the index of the second run stays a default material
    } else if (vertex_point) {
      moved = next_other++;
    }
    record.export_number = moved;
    if (moved != i || has_texture || vertex_point) {
      rebuilt[moved] = record;
      rebuilt[moved].export_number = moved;
    }
  }
  for (uint32_t i = 0; i < materials_count; ++i) WriteElement(kSegMaterials, i, sizeof table[i], &table[i]);
  RemapMaterialIndexes(2 | 4);

  uint32_t bad = 0;
  for (uint32_t p = 0; p < polygons_count; ++p) {
    int32_t index = kNoMaterial;
    if (!ReadElement(kSegPolygonMaterials, p, sizeof index, &index) || index == kNoMaterial) continue;
    if (index < 0 || static_cast<uint32_t>(index) >= materials_count) {
      ++bad;
      continue;
    }
    const MaterialRecord& record = table[index];
    int32_t chosen = static_cast<int32_t>(record.export_number);
    if (record.texture == -1) {
      uint32_t t[3];
      for (int c = 0; c < 3; ++c)
        t[c] = std::min<uint32_t>(static_cast<uint32_t>(record.diffuse[c] / step), side - 1);
      chosen = static_cast<int32_t>((t[2] * side + t[1]) * side + t[0]);
    }
    WriteElement(kSegPolygonMaterials, p, sizeof chosen, &chosen);
  }
  if (bad)
    LogFormatted(LOG_ERROR, "Fix_LimitNoOfPolygonMaterialsToX: %lu bad polygon materials\n", Ul(bad));

  const uint32_t count = static_cast<uint32_t>(new_count);
  GrowGroup(kGroupMaterials, count);
  if (material_group_.capacity < count) {
    LogMessage("No mem - could not grow Materials\n", LOG_ERROR);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) WriteElement(kSegMaterials, i, sizeof rebuilt[i], &rebuilt[i]);
  materials_count = count;
  CheckMaterials();
  for (uint32_t k = 0; k < palette; ++k) {
    MaterialRecord record{};
    ReadElement(kSegMaterials, k, sizeof record, &record);
    record.usage_flags |= 1;
    WriteElement(kSegMaterials, k, sizeof record, &record);
  }
}

}  // namespace zepcon
