// Model records: materials, per-element material indexes, objects, vertex
// owners, joints and bones, lights.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "model/model_data.h"
#include "model/model_internal.h"

namespace zepcon {

using model_internal::AddBase;
using model_internal::Ul;

namespace {


// Bounded copy of at most 39 characters into a 40-byte name field.
void CopyName(char (&field)[40], const char* name) {
  // Longer names are cut on purpose; a formatting error leaves the field empty.
  if (std::snprintf(field, sizeof field, "%s", name ? name : "") < 0) field[0] = '\0';
}

}  // namespace

// ---- Materials -------------------------------------------------------------

void ModelData::ResetMaterial() {
  MaterialRecord record{};
  const uint8_t diffuse[3] = {255, 255, 255}, ambient[3] = {160, 160, 160},
                specular[3] = {120, 120, 120};
  std::memcpy(record.diffuse, diffuse, 3);
  std::memcpy(record.ambient, ambient, 3);
  std::memcpy(record.specular, specular, 3);
  record.xsi_value = 10;
  record.shininess = 5;
  record.transparency = 255;
  record.reserved = 255;
  record.texture = -1;
  material = record;
}

int ModelData::MaterialNameExists(const char* name) const {
  // Compared in place: every added material scans all names before it.
  const uint8_t* data = pool_.SegmentData(ModelData::kSegMaterials);
  const uint64_t stored = pool_.SegmentSize(ModelData::kSegMaterials) / sizeof(MaterialRecord);
  const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(materials_count, stored));
  for (uint32_t i = 0; data && i < count; ++i) {
    const char* existing = reinterpret_cast<const char*>(
        data + uint64_t{i} * sizeof(MaterialRecord) + offsetof(MaterialRecord, name));
    if (std::strncmp(existing, name, sizeof MaterialRecord::name) == 0) return 1;
  }
  return 0;
}

// At a clash the name is cut to 30 characters and "_<material count>" is
// appended, then all names are compared again. When cutting and appending
// gives back the very name that clashed, the number counts up so that the
// search always ends.
void ModelData::MakeMaterialNameUnique(char* name) const {
  uint32_t suffix = materials_count;
  while (MaterialNameExists(name)) {
    char candidate[40];
    char stem[31];
    std::snprintf(stem, sizeof stem, "%s", name);
    // The stem leaves room for the suffix; a cut (huge suffix) still ends the search below.
    int written = std::snprintf(candidate, sizeof candidate, "%s_%lu", stem, Ul(suffix));
    if (written < 0 || std::strcmp(candidate, name) == 0) {
      ++suffix;
      written = std::snprintf(candidate, sizeof candidate, "%s_%lu", stem, Ul(suffix));
      if (written < 0) candidate[0] = '\0';
    }
    std::memcpy(name, candidate, sizeof candidate);
  }
}

int32_t ModelData::AddMaterialRecord(const MaterialRecord& source) {
  GrowGroup(kGroupMaterials);
  const uint32_t capacity = material_group_.capacity;
  if (materials_count >= capacity) return -1;
  if (materials_count + 1 == capacity) LogMessage("AddMaterial: Limit reached\n", LOG_ERROR);

  MaterialRecord record = source;
  record.name[sizeof record.name - 1] = '\0';
  if (record.name[0] == '\0') {
    std::snprintf(record.name, sizeof record.name, "%02X_%02X_%02X", record.diffuse[0],
                  record.diffuse[1], record.diffuse[2]);
    if (record.texture >= 0 && static_cast<uint32_t>(record.texture) < textures_count) {
      char named[sizeof record.name + sizeof textures_[0].base_name + 1];
      std::snprintf(named, sizeof named, "%s_%s", record.name, textures_[record.texture].base_name);
      CopyName(record.name, named);
    }
  }
  MakeMaterialNameUnique(record.name);
  if (!WriteElement(ModelData::kSegMaterials, materials_count, sizeof record, &record)) return -1;
  return static_cast<int32_t>(materials_count++);
}

int32_t ModelData::AddMaterial() { return AddMaterialRecord(material); }

int ModelData::GetMaterial(uint32_t index) {
  if (index >= materials_count ||
      !ReadElement(ModelData::kSegMaterials, index, sizeof material, &material)) {
    material = default_material_;
    return 0;
  }
  return 1;
}

int ModelData::SetMaterial(uint32_t index) {
  if (index >= materials_count) {
    LogMessage("SetMaterial: index > count\n", LOG_ERROR);
    return 0;
  }
  return WriteElement(ModelData::kSegMaterials, index, sizeof material, &material);
}

void ModelData::SetMaterialName(const char* name) { CopyName(material.name, name); }

void ModelData::GetMaterialName(char* buffer, uint32_t size) const {
  if (!buffer || size == 0) return;
  const uint32_t limit = size - 1 < 39 ? size - 1 : 39;
  const size_t length = strnlen(material.name, limit);
  std::memcpy(buffer, material.name, length);
  buffer[length] = '\0';
}

int32_t ModelData::MaterialOfColor(uint8_t red, uint8_t green, uint8_t blue) {
  for (uint32_t i = 0; i < materials_count; ++i) {
    MaterialRecord existing;
    if (ReadElement(ModelData::kSegMaterials, i, sizeof existing, &existing) &&
        existing.diffuse[0] == red && existing.diffuse[1] == green && existing.diffuse[2] == blue)
      return static_cast<int32_t>(i);
  }
  MaterialRecord record = default_material_;
  record.diffuse[0] = red;
  record.diffuse[1] = green;
  record.diffuse[2] = blue;
  return AddMaterialRecord(record);
}

int32_t ModelData::MaterialOfColorAlpha(uint8_t red, uint8_t green, uint8_t blue,
                                        uint8_t transparency) {
  for (uint32_t i = 0; i < materials_count; ++i) {
    MaterialRecord existing;
    if (ReadElement(ModelData::kSegMaterials, i, sizeof existing, &existing) &&
        existing.diffuse[0] == red && existing.diffuse[1] == green && existing.diffuse[2] == blue &&
        existing.transparency == transparency)
      return static_cast<int32_t>(i);
  }
  MaterialRecord record = default_material_;
  record.diffuse[0] = red;
  record.diffuse[1] = green;
  record.diffuse[2] = blue;
  record.transparency = transparency;
  return AddMaterialRecord(record);
}

int ModelData::SetPolygonMaterial(uint32_t polygon, int32_t material_index) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForWrites());
  RaiseMark(polygons_mark_, absolute);
  GrowGroup(kGroupPolygons);
  return WriteElement(ModelData::kSegPolygonMaterials, absolute, sizeof material_index, &material_index);
}

int ModelData::SetVertexMaterial(uint32_t vertex, int32_t material_index) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForWrites());
  RaiseMark(vertexs_mark_, absolute);
  GrowGroup(kGroupVertices);
  return WriteElement(ModelData::kSegVertexMaterials, absolute, sizeof material_index, &material_index);
}

int ModelData::SetPointMaterial(uint32_t point, int32_t material_index) {
  const uint32_t absolute = AddBase(point, PointBaseForWrites());
  RaiseMark(points_mark_, absolute);
  GrowGroup(kGroupPoints);
  return WriteElement(ModelData::kSegPointMaterials, absolute, sizeof material_index, &material_index);
}

int32_t ModelData::GetPolygonMaterial(uint32_t polygon) {
  const uint32_t absolute = AddBase(polygon, PolygonBaseForReads());
  int32_t value = 0;
  if (absolute >= polygons_count ||
      !ReadElement(ModelData::kSegPolygonMaterials, absolute, sizeof value, &value)) {
    LogMessage("GetPolygonMaterial: pindex > polygons\n", LOG_ERROR);
    return 0;
  }
  return value;
}

int32_t ModelData::GetVertexMaterial(uint32_t vertex) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForReads());
  int32_t value = 0;
  if (absolute >= vertexs_count ||
      !ReadElement(ModelData::kSegVertexMaterials, absolute, sizeof value, &value)) {
    LogFormatted(LOG_ERROR, "GetVertexMaterial: vindex(%lu) > vertexs_count(%lu)\n", Ul(absolute),
                 Ul(vertexs_count));
    return 0;
  }
  return value;
}

int32_t ModelData::GetPointMaterial(uint32_t point) {
  const uint32_t absolute = AddBase(point, PointBaseForReads());
  int32_t value = 0;
  if (absolute >= points_count ||
      !ReadElement(ModelData::kSegPointMaterials, absolute, sizeof value, &value)) {
    LogFormatted(LOG_ERROR, "GetPointMaterial: pindex(%lu) > points_count(%lu)\n", Ul(absolute),
                 Ul(points_count));
    return 0;
  }
  return value;
}

// ---- Objects ---------------------------------------------------------------

void ModelData::ResetObjectRecord(ObjectRecord* record) {
  if (!record) return;
  std::memset(record, 0, sizeof *record);
  record->owner = -1;
  record->order = -1;
  record->depth = -1;
}

// The last object's counts become the totals minus its first elements.
void ModelData::CloseLastObject() {
  if (objects_count == 0) return;
  ObjectRecord& last = objects_[objects_count - 1];
  const auto remaining = [](uint32_t total, uint32_t first) {
    return total > first ? total - first : 0u;
  };
  last.polygon_count = remaining(polygons_count, last.first_polygon);
  last.vertex_count = remaining(vertexs_count, last.first_vertex);
  last.point_count = remaining(points_count, last.first_point);
  last.edge_count = remaining(edges_count, last.first_edge);
}

bool ModelData::LastObjectEmpty() const {
  if (objects_count == 0) return false;
  const ObjectRecord& last = objects_[objects_count - 1];
  return last.polygon_count == 0 && last.vertex_count == 0 && last.point_count == 0 &&
         last.edge_count == 0;
}

int ModelData::NewObject() {
  if (objects_count > 0 && !explicit_objects_) {
    CloseLastObject();
    if (LastObjectEmpty()) return 1;
  }
  if (objects_count >= kMaxObjects) {
    LogMessage("Can't create more objects. Improve!\n", LOG_ERROR);
    return 0;
  }
  ObjectRecord& record = objects_[objects_count];
  ResetObjectRecord(&record);
  record.first_polygon = polygons_count;
  record.first_vertex = vertexs_count;
  record.first_point = points_count;
  record.first_edge = edges_count;
  explicit_objects_ = 0;
  current_object_ = objects_count++;
  return 1;
}

int ModelData::AddObjectByRanges(uint32_t vertex_from, uint32_t vertex_to, uint32_t polygon_from,
                                 uint32_t polygon_to, uint32_t edge_from, uint32_t edge_to,
                                 uint32_t point_from, uint32_t point_to, const char* name) {
  const auto span = [](uint32_t from, uint32_t to) { return to > from ? to - from : 0u; };
  ObjectRecord record;
  ResetObjectRecord(&record);
  record.first_vertex = vertex_from;
  record.vertex_count = span(vertex_from, vertex_to);
  record.first_polygon = polygon_from;
  record.polygon_count = span(polygon_from, polygon_to);
  record.first_edge = edge_from;
  record.edge_count = span(edge_from, edge_to);
  record.first_point = point_from;
  record.point_count = span(point_from, point_to);
  CopyName(record.name, name);
  if (record.vertex_count == 0 && record.polygon_count == 0 && record.edge_count == 0 &&
      record.point_count == 0)
    return 0;
  if (objects_count >= kMaxObjects) {
    LogMessage("Can't create more objects. Improve!\n", LOG_ERROR);
    return 0;
  }
  objects_[objects_count++] = record;
  explicit_objects_ = 1;
  return 1;
}

int ModelData::OpenEmptyObject() {
  if (objects_count >= kMaxObjects) {
    LogMessage("Can't create more objects. Improve!\n", LOG_ERROR);
    return 0;
  }
  ResetObjectRecord(&objects_[objects_count]);
  current_object_ = objects_count++;
  return 1;
}

void ModelData::SetObjectName(const char* name) { CopyName(objects_[current_object_].name, name); }

int ModelData::GetObjectInfo(uint32_t index, ObjectRecord* record) const {
  if (index > objects_count || index > kMaxObjects || !record) {
    LogMessage("GetObjectInfo: index > count\n", LOG_ERROR);
    return 0;
  }
  *record = objects_[index];
  return 1;
}

int ModelData::SetObjectInfo(uint32_t index, const ObjectRecord* record) {
  if (index > objects_count || index > kMaxObjects || !record) {
    LogMessage("SetObjectInfo: index > count\n", LOG_ERROR);
    return 0;
  }
  objects_[index] = *record;
  objects_[index].name[sizeof objects_[index].name - 1] = '\0';
  return 1;
}

void ModelData::FinishObjects() {
  if (!explicit_objects_) {
    if (objects_count == 0) {
      ResetObjectRecord(&objects_[0]);
      objects_count = 1;
    }
    CloseLastObject();
    if (LastObjectEmpty()) {
      --objects_count;
      if (current_object_ >= objects_count) current_object_ = objects_count ? objects_count - 1 : 0;
    }
  }
  for (uint32_t i = 0; i < objects_count; ++i) {
    if (objects_[i].name[0] == '\0')
      std::snprintf(objects_[i].name, sizeof objects_[i].name, "Converted object %u", i);
  }
  LogFormatted(LOG_DETAIL, "\nObjects finished, count %u\n", objects_count);
  LogFormatted(LOG_DETAIL, "%3s  %8s %8s %s\n", "no", "vertexs", "polygons", "name");
  for (uint32_t i = 0; i < objects_count; ++i) {
    LogFormatted(LOG_DETAIL, "%3u. %8lu %8lu %s\n", i, Ul(objects_[i].vertex_count),
                 Ul(objects_[i].polygon_count), objects_[i].name);
  }
}

// ---- Vertex owners ---------------------------------------------------------

int ModelData::SetVertexOwner(uint32_t vertex, uint16_t owner) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForWrites());
  RaiseMark(vertexs_mark_, absolute);
  GrowGroup(kGroupVertices);
  if (absolute >= vertex_group_.capacity) {
    LogMessage("SetVertexOwner: index > max\n", LOG_ERROR);
    return 0;
  }
  return WriteElement(ModelData::kSegVertexOwners, absolute, sizeof owner, &owner);
}

uint16_t ModelData::GetVertexOwner(uint32_t vertex) {
  uint16_t owner = 0;
  if (vertex >= vertex_group_.capacity ||
      !ReadElement(ModelData::kSegVertexOwners, vertex, sizeof owner, &owner)) {
    LogMessage("GetVertexOwner: index > max\n", LOG_ERROR);
    return 0;
  }
  return owner;
}

// ---- Joints and bones ------------------------------------------------------

int32_t ModelData::FindJointByName(const char* name) const {
  const char* wanted = name ? name : "";
  for (uint32_t i = 0; i < joints_count; ++i) {
    if (std::strncmp(joints_[i].name, wanted, sizeof joints_[i].name) == 0)
      return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t ModelData::AddJoint(double x, double y, double z, const char* name) {
  if (joints_count >= kMaxJoints) {
    LogMessage("AddJoint: MaxJoints reached\n", LOG_ERROR);
    return -1;
  }
  char cut[40];
  CopyName(cut, name);
  const int32_t existing = FindJointByName(cut);
  if (existing >= 0) {
    LogFormatted(LOG_ERROR, "Joint with name [%s] already exists, skipping\n", cut);
    return existing;
  }
  JointRecord& joint = joints_[joints_count];
  std::memset(&joint, 0, sizeof joint);
  joint.position[0] = x;
  joint.position[1] = y;
  joint.position[2] = z;
  std::memcpy(joint.name, cut, sizeof cut);
  return static_cast<int32_t>(joints_count++);
}

int32_t ModelData::AddChildJoint(const char* parent_name, const char* name, double dx, double dy,
                                 double dz) {
  char cut[40];
  CopyName(cut, parent_name);
  const int32_t parent = FindJointByName(cut);
  if (parent < 0) {
    LogFormatted(LOG_ERROR, "AddChildJoint: Could not find parent (%s)\n", cut);
    return -1;
  }
  const JointRecord& origin = joints_[parent];
  const int32_t child =
      AddJoint(origin.position[0] + dx, origin.position[1] + dy, origin.position[2] + dz, name);
  if (child < 0) return -1;
  return AddBone(static_cast<int16_t>(parent), static_cast<int16_t>(child), 0.1);
}

int32_t ModelData::AddBone(int16_t first_joint, int16_t second_joint, double length) {
  if (bones_count >= kMaxBones) return -1;
  if (bones_count + 2 == kMaxBones) LogMessage("AddBone: Bones limit reached\n", LOG_ERROR);
  BoneRecord& bone = bones_[bones_count];
  std::memset(&bone, 0, sizeof bone);
  bone.first_joint = first_joint;
  bone.second_joint = second_joint;
  bone.length = length;
  return static_cast<int32_t>(bones_count++);
}

void ModelData::GetJointPosition(uint32_t joint, double& x, double& y, double& z) const {
  if (joint >= joints_count) return;
  x = joints_[joint].position[0];
  y = joints_[joint].position[1];
  z = joints_[joint].position[2];
}

int ModelData::GetJointInfo(uint32_t joint, JointRecord* record) const {
  if (!record) return 0;
  if (joint >= joints_count) {
    LogMessage("GetJointInfo: jindex >= joints_count", LOG_ERROR);
    *record = joints_[0];
    return 0;
  }
  *record = joints_[joint];
  return 1;
}

int ModelData::SetJointInfo(uint32_t joint, const JointRecord* record) {
  if (joint >= joints_count || !record) {
    LogMessage("SetJointInfo: jindex >= joints_count", LOG_ERROR);
    return 0;
  }
  joints_[joint] = *record;
  joints_[joint].name[sizeof joints_[joint].name - 1] = '\0';
  return 1;
}

int ModelData::GetBoneInfo(uint32_t bone, BoneRecord* record) const {
  if (!record) return 0;
  if (bone >= bones_count) {
    LogMessage("GetBoneInfo: bindex >= bones_count", LOG_ERROR);
    *record = bones_[0];
    return 0;
  }
  *record = bones_[bone];
  return 1;
}

int ModelData::GetBoneJoints(uint32_t bone, int16_t& first, int16_t& second) const {
  if (bone >= kMaxBones) return 0;
  first = bones_[bone].first_joint;
  second = bones_[bone].second_joint;
  return 1;
}

int ModelData::SetBoneName(uint32_t bone, const char* name) {
  if (bone >= kMaxBones) {
    LogMessage("SetBoneName: index out of range\n", LOG_ERROR);
    return 0;
  }
  CopyName(bones_[bone].name, name);
  return 1;
}

const char* ModelData::GetBoneName(uint32_t bone) const {
  if (bone >= kMaxBones) {
    LogMessage("SetBoneName: index out of range\n", LOG_ERROR);
    return "";
  }
  return bones_[bone].name;
}

int32_t ModelData::FindBone(int32_t joint, int side) const {
  for (uint32_t i = 0; i < bones_count; ++i) {
    const int32_t end = side == 1 ? bones_[i].first_joint : bones_[i].second_joint;
    if (end == joint) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t ModelData::GetParentJoint(int32_t joint) const {
  const int32_t bone = FindBone(joint, 0);
  return bone < 0 ? 0 : bones_[bone].first_joint;
}

void ModelData::CalcBoneLengths() {
  for (uint32_t i = 0; i < bones_count; ++i) {
    const int32_t a = bones_[i].first_joint, b = bones_[i].second_joint;
    if (a < 0 || b < 0 || static_cast<uint32_t>(a) >= joints_count ||
        static_cast<uint32_t>(b) >= joints_count)
      continue;
    const double dx = joints_[b].position[0] - joints_[a].position[0];
    const double dy = joints_[b].position[1] - joints_[a].position[1];
    const double dz = joints_[b].position[2] - joints_[a].position[2];
    bones_[i].length = std::sqrt(dx * dx + dy * dy + dz * dz);
  }
}

// Joints known only through bone lengths are stacked along z: each joint
// sits its bone's length above the joint the bone starts from.
void ModelData::LayoutSkeleton() {
  const double unset = kUnsetValue;
  for (uint32_t j = 1; j < joints_count; ++j) {
    joints_[j].position[0] = 0.0;
    joints_[j].position[2] = unset;
  }
  const auto valid = [&](int32_t joint) {
    return joint >= 0 && static_cast<uint32_t>(joint) < joints_count;
  };
  bool changed = true;
  while (changed) {
    changed = false;
    for (uint32_t j = 0; j < joints_count; ++j) {
      if (joints_[j].position[2] != unset) continue;
      for (uint32_t b = 0; b < bones_count; ++b) {
        const int32_t from = bones_[b].first_joint;
        if (bones_[b].second_joint != static_cast<int32_t>(j) || !valid(from) ||
            joints_[from].position[2] == unset)
          continue;
        joints_[j].position[2] = joints_[from].position[2] + bones_[b].length;
        changed = true;
        break;
      }
    }
  }
  for (uint32_t j = 0; j < joints_count; ++j) {
    if (joints_[j].position[2] == unset) joints_[j].position[2] = 0.0;
  }
}

// ---- Lights ----------------------------------------------------------------

void ModelData::ResetLight() {
  LightRecord record{};
  record.kind = 2;
  record.second[0] = record.second[1] = record.second[2] = 1.0;
  record.on = 1;
  record.value = 20.0;
  std::memset(record.first_colour, 200, 3);
  std::memset(record.second_colour, 50, 3);
  std::memset(record.third_colour, 60, 3);
  record.index = -1;
  light = record;
}

void ModelData::SetLightName(const char* name) { CopyName(light.name, name); }

int32_t ModelData::AddLight() {
  if (lights_count + 2 >= light_group_.capacity) GrowGroup(kGroupLights);
  const uint32_t capacity = light_group_.capacity;
  if (lights_count >= capacity) return -1;
  if (lights_count + 1 == capacity) LogMessage("AddLight:Lights limit reached\n", LOG_ERROR);
  LightRecord record = light;
  record.name[sizeof record.name - 1] = '\0';
  if (record.name[0] == '\0')
    std::snprintf(record.name, sizeof record.name, "Light %i", static_cast<int>(lights_count));
  if (!WriteElement(ModelData::kSegLights, lights_count, sizeof record, &record)) return -1;
  return static_cast<int32_t>(lights_count++);
}

int ModelData::GetLightInfo(uint32_t index, LightRecord* record) {
  if (!record) record = &light;
  if (index >= lights_count) return 0;
  return ReadElement(ModelData::kSegLights, index, sizeof *record, record);
}

}  // namespace zepcon
