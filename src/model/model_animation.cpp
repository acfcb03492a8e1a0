// Vertex and bone animation: the two stores and their counts, interpolation
// between frames, posing the skeleton and the vertices bones own, segments,
// and reading a vertex at the current frame.
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

using model_internal::AddBase;
using model_internal::Ul;

namespace {

constexpr uint32_t kRecordSize = 24;  // three 64-bit values
constexpr uint32_t kScratchFrame = UINT32_MAX;

}  // namespace

void ModelData::ResetProcessingState() {
  bounding_min = {1.7e308, 1.7e308, 1.7e308};
  bounding_max = {-1.7e308, -1.7e308, -1.7e308};
  bounding_box_valid = 0;
  animation_segments_count = 0;
  std::memset(&animation_segment, 0, sizeof animation_segment);
  std::memset(segments_, 0, sizeof segments_);
  std::memset(&texture, 0, sizeof texture);
}

// Sizes one animation store; stores beyond kMaxAnimationStoreBytes are
// refused, so a count from a file can never drive a huge allocation.
int ModelData::ResizeAnimationStore(uint16_t segment, uint64_t bytes, uint32_t& size,
                                    const char* message) {
  if (bytes == size) return 1;
  if (bytes > kMaxAnimationStoreBytes ||
      !pool_.Resize(segment, bytes == 0 ? 1u : static_cast<uint32_t>(bytes))) {
    LogMessage(message, LOG_ERROR);
    return 0;
  }
  size = static_cast<uint32_t>(bytes);
  return 1;
}

int ModelData::SetAnimFramesCount(uint32_t frames) {
  if (frames < anim_frames_count) {
    LogMessage("Why decreasing anim_frames_count ?", LOG_ERROR);
    return 1;
  }
  const uint64_t vertex_records = uint64_t{anim_vert_count} * (uint64_t{frames} + 1);
  const uint64_t bone_records = (uint64_t{frames} + 1) * animation_bones_count;
  if (vertex_records * kRecordSize > vertex_animation_size)
    ResizeAnimationStore(kSegVertexAnimation, vertex_records * kRecordSize, vertex_animation_size,
                         "Could not resize vert anim field\n");
  if (bone_records * kRecordSize > bone_animation_size)
    ResizeAnimationStore(kSegBoneAnimation, bone_records * kRecordSize, bone_animation_size,
                         "Could not resize bone anim field\n");
  if (vertex_animation_size < vertex_records * kRecordSize) {
    LogFormatted(LOG_ERROR, "vert anim memory too small, max data: %lu, frames(%lu+1)*verts(%lu)=%lu\n",
                 Ul(vertex_animation_size), Ul(frames), Ul(anim_vert_count),
                 static_cast<unsigned long>(vertex_records));
    return 0;
  }
  if (bone_animation_size < bone_records * kRecordSize) {
    LogFormatted(LOG_ERROR, "bone anim memory too small, max data: %lu, frames(%lu+1)*bones(%lu)=%lu\n",
                 Ul(bone_animation_size), Ul(frames), Ul(animation_bones_count),
                 static_cast<unsigned long>(bone_records));
    return 0;
  }
  // The added frames and the new scratch frame start at (0, 0, 0).
  const auto clear = [&](uint16_t segment, uint64_t from, uint64_t to) {
    if (to <= from) return;
    uint8_t* data = pool_.SegmentData(segment);
    if (data) std::memset(data + from * kRecordSize, 0, (to - from) * kRecordSize);
  };
  clear(kSegVertexAnimation, uint64_t{anim_frames_count} * anim_vert_count, vertex_records);
  clear(kSegBoneAnimation, uint64_t{anim_frames_count} * animation_bones_count, bone_records);
  anim_frames_count = frames;
  return 1;
}

namespace {

// Moves frames 0 .. frames - 1 from `old_width` records a frame to
// `new_width`, last frame first; the widened tail of every frame and the
// scratch frame become zero.
void Widen(uint8_t* data, uint32_t frames, uint32_t old_width, uint32_t new_width) {
  if (!data) return;
  for (uint32_t f = frames; f-- > 0;) {
    std::memmove(data + uint64_t{f} * new_width * kRecordSize,
                 data + uint64_t{f} * old_width * kRecordSize, uint64_t{old_width} * kRecordSize);
    std::memset(data + (uint64_t{f} * new_width + old_width) * kRecordSize, 0,
                uint64_t{new_width - old_width} * kRecordSize);
  }
  std::memset(data + uint64_t{frames} * new_width * kRecordSize, 0, uint64_t{new_width} * kRecordSize);
}

}  // namespace

int ModelData::SetAnimVertCount(uint32_t vertices) {
  if (vertices < anim_vert_count) {
    LogMessage("Why decreasing anim_vert_count ? ", LOG_ERROR);
    return 1;
  }
  if (vertices == anim_vert_count) return 1;
  const uint64_t records = (uint64_t{anim_frames_count} + 1) * vertices;
  if (records * kRecordSize > vertex_animation_size)
    ResizeAnimationStore(kSegVertexAnimation, records * kRecordSize, vertex_animation_size,
                         "Could not resize vert anim field\n");
  if (vertex_animation_size < records * kRecordSize) {
    LogFormatted(LOG_ERROR, "anim memory too small, max data: %lu, now verts(%lu)*frames(%lu+1)=%lu\n",
                 Ul(vertex_animation_size), Ul(vertices), Ul(anim_frames_count),
                 static_cast<unsigned long>(records));
    return 0;
  }
  Widen(pool_.SegmentData(kSegVertexAnimation), anim_frames_count, anim_vert_count, vertices);
  anim_vert_count = vertices;
  return 1;
}

int ModelData::SetAnimBonesCount(uint32_t bones) {
  if (bones < animation_bones_count) {
    LogMessage("Why decreasing animation_bones_count ? ", LOG_ERROR);
    return 1;
  }
  if (bones == animation_bones_count) return 1;
  const uint64_t records = (uint64_t{anim_frames_count} + 1) * bones;
  if (records * kRecordSize > bone_animation_size)
    ResizeAnimationStore(kSegBoneAnimation, records * kRecordSize, bone_animation_size,
                         "Could not resize bone anim field\n");
  if (bone_animation_size < records * kRecordSize) {
    LogFormatted(LOG_ERROR, "bone anim memory too small, max data: %lu, bones(%lu)*frames(%lu)=%lu\n",
                 Ul(bone_animation_size), Ul(bones), Ul(anim_frames_count + 1),
                 static_cast<unsigned long>(records));
    return 0;
  }
  Widen(pool_.SegmentData(kSegBoneAnimation), anim_frames_count, animation_bones_count, bones);
  animation_bones_count = bones;
  return 1;
}

int ModelData::Animation_SetVertexPos(uint32_t frame, uint32_t vertex, double x, double y,
                                      double z) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForWrites());
  const uint32_t f = frame == kScratchFrame ? anim_frames_count : frame;
  if (absolute >= anim_vert_count) {
    LogMessage("Animation_SetVertexPos: vindex > anim_vert_count !!\n", LOG_ERROR);
    return 0;
  }
  if (f > anim_frames_count) {
    LogMessage("Animation_SetVertexPos: frame > anim_frame_count !!\n", LOG_ERROR);
    return 0;
  }
  const Vec3d position{x, y, z};
  const uint64_t record = uint64_t{f} * anim_vert_count + absolute;
  return record <= UINT32_MAX &&
         WriteElement(kSegVertexAnimation, static_cast<uint32_t>(record), kRecordSize, &position);
}

int ModelData::Animation_GetVertexPos(float frame, uint32_t vertex, double& x, double& y,
                                      double& z) {
  const uint32_t absolute = AddBase(vertex, VertexBaseForReads());
  if (absolute >= anim_vert_count) {
    LogMessage("Animation_GetVertexPos: vindex > anim_vert_count !!\n", LOG_ERROR);
    return 0;
  }
  const bool scratch_frame = frame == -1.0f;
  if (!scratch_frame && !(frame >= 0.0f && frame <= static_cast<float>(anim_frames_count))) {
    LogMessage("Animation_GetVertexPos: frame > anim_frame_count !!\n", LOG_ERROR);
    return 0;
  }
  const uint32_t f0 = scratch_frame ? anim_frames_count : static_cast<uint32_t>(frame);
  if (f0 > anim_frames_count) {
    LogMessage("Animation_GetVertexPos: frame > anim_frame_count !!\n", LOG_ERROR);
    return 0;
  }
  const uint64_t record = uint64_t{f0} * anim_vert_count + absolute;
  Vec3d p0{};
  if (record > UINT32_MAX ||
      !ReadElement(kSegVertexAnimation, static_cast<uint32_t>(record), kRecordSize, &p0))
    return 0;
  const float fraction = scratch_frame ? 0.0f : frame - static_cast<float>(f0);
  // The frame after the last real one is the scratch frame, never a pose to
  // move toward.
  if (fraction != 0.0f && f0 + 1 < anim_frames_count) {
    Vec3d p1{};
    const uint64_t next = record + anim_vert_count;
    if (next <= UINT32_MAX &&
        ReadElement(kSegVertexAnimation, static_cast<uint32_t>(next), kRecordSize, &p1)) {
      p0.x += (p1.x - p0.x) * fraction;
      p0.y += (p1.y - p0.y) * fraction;
      p0.z += (p1.z - p0.z) * fraction;
    }
  }
  x = p0.x;
  y = p0.y;
  z = p0.z;
  return 1;
}

int ModelData::SetBoneRot(uint32_t frame, uint32_t bone, double r1, double r2, double r3) {
  if (frame >= anim_frames_count) {
    LogMessage("SetBoneRot: frame > frames_count\n", LOG_ERROR);
    return 0;
  }
  if (bone >= animation_bones_count) {
    LogMessage("SetBoneRot: bone > bones_count\n", LOG_ERROR);
    return 0;
  }
  const Vec3d angles{r1, r2, r3};
  const uint64_t record = uint64_t{frame} * animation_bones_count + bone;
  return record <= UINT32_MAX &&
         WriteElement(kSegBoneAnimation, static_cast<uint32_t>(record), kRecordSize, &angles);
}

int ModelData::GetBoneRot(float frame, uint32_t bone, double& r1, double& r2, double& r3) {
  if (!(frame >= 0.0f && frame < static_cast<float>(anim_frames_count))) {
    LogMessage("GetBoneRot: frame > frames_count\n", LOG_ERROR);
    return 0;
  }
  if (bone >= animation_bones_count) {
    LogMessage("GetBoneRot: bone > bones_count\n", LOG_ERROR);
    return 0;
  }
  const uint32_t f0 = static_cast<uint32_t>(std::floor(frame));
  if (f0 >= anim_frames_count) {
    LogMessage("GetBoneRot: frame > frames_count\n", LOG_ERROR);
    return 0;
  }
  const uint64_t record = uint64_t{f0} * animation_bones_count + bone;
  Vec3d angles{};
  if (record > UINT32_MAX ||
      !ReadElement(kSegBoneAnimation, static_cast<uint32_t>(record), kRecordSize, &angles))
    return 0;
  const double fraction = static_cast<double>(frame) - f0;
  if (fraction != 0.0 && f0 + 1 < anim_frames_count) {
    Vec3d next{};
    if (ReadElement(kSegBoneAnimation, static_cast<uint32_t>(record + animation_bones_count),
                    kRecordSize, &next)) {
      // Each angle moves the short way round.
      const auto toward = [fraction](double from, double to) {
        double d = std::fmod(to - from, 360.0);
        if (!std::isfinite(d)) return from;
        if (d >= 180.0) d -= 360.0;
        if (d < -180.0) d += 360.0;
        return from + fraction * d;
      };
      angles = {toward(angles.x, next.x), toward(angles.y, next.y), toward(angles.z, next.z)};
    }
  }
  r1 = angles.x;
  r2 = angles.y;
  r3 = angles.z;
  return 1;
}

int ModelData::CalcJoints(float frame) {
  if (frame == joints_frame) return 1;
  if (!(frame >= 0.0f && frame <= static_cast<float>(anim_frames_count))) {
    LogFormatted(LOG_ERROR, "CalcJoints: frame(%lu) > frames count (%lu)\n",
                 static_cast<unsigned long>(frame >= 0.0f && frame < 4e9f ? frame : 0.0f),
                 Ul(anim_frames_count));
    return 0;
  }
  if (!bone_animation_present) {
    LogMessage("CalcJoints: no bones anim\n", LOG_ERROR);
    return 0;
  }

  struct Entry {
    int32_t parent;  // entry index, -1 for the root
    int32_t bone;
    uint32_t joint;
  };
  constexpr uint32_t kMaxEntries = 200;
  Entry entries[kMaxEntries];
  uint32_t count = 0;
  entries[count++] = {-1, -1, 0};
  const uint32_t bones = std::min<uint32_t>(bones_count, kMaxBones);
  for (uint32_t i = 0; i < count; ++i) {
    for (uint32_t b = 0; b < bones; ++b) {
      if (bones_[b].first_joint != static_cast<int32_t>(entries[i].joint)) continue;
      const int32_t end = bones_[b].second_joint;
      if (count >= kMaxEntries || end < 0 || static_cast<uint32_t>(end) >= joints_count) {
        LogMessage("CalcJoints: skeleton data are wrong, canceling\n", LOG_ERROR);
        return 0;
      }
      entries[count++] = {static_cast<int32_t>(i), static_cast<int32_t>(b), static_cast<uint32_t>(end)};
    }
  }
  if (count != joints_count) {
    LogMessage("CalcJoints: skeleton is not consistent ! canceling\n", LOG_ERROR);
    return 0;
  }

  for (uint32_t i = 0; i < count; ++i) {
    const Entry& entry = entries[i];
    Vec3d p{0.0, 0.0, entry.bone < 0 ? 0.0 : -bones_[entry.bone].length};
    Vec3d a{0.0, 0.0, -1.0};
    Vec3d b{1.0, 0.0, 0.0};
    for (int32_t e = static_cast<int32_t>(i); e > 0;) {
      double r1 = 0.0, r2 = 0.0, r3 = 0.0;
      GetBoneRot(frame, static_cast<uint32_t>(entries[e].bone), r1, r2, r3);
      for (Vec3d* v : {&p, &a, &b}) {
        geometry::RotatePair(v->x, v->y, r1);
        geometry::RotatePair(v->y, v->z, r3);
        geometry::RotatePair(v->x, v->z, r2);
      }
      if (!chained_bone_rotations) break;
      e = entries[e].parent;
    }
    JointRecord& joint = joints_[entry.joint];
    if (entry.parent >= 0) {
      const JointRecord& parent = joints_[entries[entry.parent].joint];
      joint.position[0] = p.x + parent.position[0];
      joint.position[1] = p.y + parent.position[1];
      joint.position[2] = p.z + parent.position[2];
    }
    const double a1 = geometry::Direction(-a.z, -a.x);
    geometry::RotatePair(a.z, a.x, -a1);
    geometry::RotatePair(b.z, b.x, -a1);
    const double a2 = geometry::Direction(-a.z, a.y);
    geometry::RotatePair(a.y, a.z, -a2);
    geometry::RotatePair(b.y, b.z, -a2);
    const double a3 = geometry::Direction(b.x, b.y);
    joint.second[0] = a1;
    joint.second[1] = a2;
    joint.second[2] = a3;
  }
  joints_frame = frame;
  return 1;
}

void ModelData::CalculateVertexPositions() {
  if (positions_frame == joints_frame) return;
  if (SkeletOwningType == so_none) {
    LogMessage("CalculateVertexPositions: SkeletOwningType == so_none\n", LOG_ERROR);
    return;
  }
  const uint32_t saved_reads = relative_reads, saved_writes = relative_writes;
  relative_reads = relative_writes = 0;
  const float saved_frame = current_frame;
  current_frame = -2.0f;
  SetAnimVertCount(vertexs_count);

  // The bone owning each vertex (-1: none or not a bone of this skeleton).
  std::vector<int32_t> owner(vertexs_count, -1);
  const auto bone_ok = [&](int64_t bone) {
    if (bone < 0 || bone >= bones_count || bone >= kMaxBones) return false;
    const int32_t s = bones_[bone].first_joint, e = bones_[bone].second_joint;
    return s >= 0 && e >= 0 && static_cast<uint32_t>(s) < joints_count &&
           static_cast<uint32_t>(e) < joints_count;
  };
  if (SkeletOwningType == so_objects) {
    for (uint32_t o = 0; o < objects_count; ++o) {
      if (!bone_ok(objects_[o].owner)) continue;
      const uint64_t end =
          std::min<uint64_t>(uint64_t{objects_[o].first_vertex} + objects_[o].vertex_count, vertexs_count);
      for (uint64_t v = objects_[o].first_vertex; v < end; ++v) owner[v] = objects_[o].owner;
    }
  } else {
    for (uint32_t v = 0; v < vertexs_count; ++v) {
      uint16_t bone = kNoOwner;
      ReadElement(kSegVertexOwners, v, sizeof bone, &bone);
      if (bone != kNoOwner && bone_ok(bone)) owner[v] = bone;
    }
  }
  // Vertices without a bone are copied as they are.
  for (uint32_t v = 0; v < vertexs_count; ++v) {
    Vec3d p{};
    if (!ReadElement(kSegVertexPositions, v, sizeof p, &p)) continue;
    if (owner[v] >= 0) {
      const BoneRecord& bone = bones_[owner[v]];
      const JointRecord& start = joints_[bone.first_joint];
      const JointRecord& end = joints_[bone.second_joint];
      geometry::RotatePair(p.x, p.y, end.second[2]);
      double negated_z = -p.z;
      geometry::RotatePair(negated_z, p.y, end.second[1]);
      p.z = -negated_z;
      geometry::RotatePair(p.z, p.x, end.second[0]);
      p.x += start.position[0];
      p.y += start.position[1];
      p.z += start.position[2];
    }
    Animation_SetVertexPos(kScratchFrame, v, p.x, p.y, p.z);
  }
  relative_reads = saved_reads;
  relative_writes = saved_writes;
  // The frame the caller chose comes back as it was: one pass of reads must
  // see one pose.
  current_frame = saved_frame;
  positions_frame = joints_frame;
}

// The position at the current frame: vertex animation wins over bone
// animation, whose posed positions wait in the scratch frame of the vertex
// store. Without any animation the stored position is given.
int ModelData::ReadAnimatedVertex(uint32_t index, double& x, double& y, double& z) {
  if (!vertex_animation_present && !bone_animation_present) {
    Vec3d position{};
    if (index >= vertexs_count ||
        !ReadElement(kSegVertexPositions, index, sizeof position, &position)) {
      LogFormatted(LOG_ERROR, "ReadVertex: index(%lu) >= vertexs_count(%lu)\n", Ul(index),
                   Ul(vertexs_count));
      return 0;
    }
    x = position.x;
    y = position.y;
    z = position.z;
    return 1;
  }
  // Indexes are absolute here; the animation reads must not add the base again.
  const uint32_t saved_reads = relative_reads;
  relative_reads = 0;
  int result = 0;
  if (vertex_animation_present) {
    result = Animation_GetVertexPos(current_frame, index, x, y, z);
  } else {
    if (positions_frame != current_frame) {
      const float frame = current_frame;
      if (CalcJoints(frame)) CalculateVertexPositions();
    }
    result = Animation_GetVertexPos(-1.0f, index, x, y, z);
  }
  relative_reads = saved_reads;
  return result;
}

int ModelData::AddAnimationSegment() {
  if (animation_segments_count >= kMaxAnimationSegments) {
    LogFormatted(LOG_ERROR, "Animation segments limit (%lu) reached\n", Ul(kMaxAnimationSegments));
    return 0;
  }
  AnimationSegment& stored = segments_[animation_segments_count++];
  stored = animation_segment;
  stored.name[sizeof stored.name - 1] = '\0';
  return 1;
}

int ModelData::Animation_GetSegmentInfo(int32_t index) {
  if (index < 0 || static_cast<uint32_t>(index) >= animation_segments_count) {
    LogMessage("Animation_GetSegmentInfo: bad index\n", LOG_ERROR);
    std::memset(&animation_segment, 0, sizeof animation_segment);
    animation_segment.first_frame = 0;
    animation_segment.frames = 1;
    return 0;
  }
  animation_segment = segments_[index];
  return 1;
}

}  // namespace zepcon
