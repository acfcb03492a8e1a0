// The joint hierarchy and keyframes that both Milkshape forms carry, and what
// the model makes of them. Joints name their parents; each has a rest
// rotation (x, y, z in radians, applied x first) and a position in its
// parent's frame, and may have rotation and position keys that act on top of
// the rest pose. The joints become the model's joints and bones; the keys
// pose the vertices the joints own, frame by frame, into the model's vertex
// animation (which survives every axis conversion and shows in the preview).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepcon {

class ModelData;

namespace ms3d {

struct Key {
  double frame;  // Milkshape frames count from 1
  double value[3];
};

struct JointSource {
  std::string name;
  std::string parent;
  double rotation[3] = {0, 0, 0};
  double position[3] = {0, 0, 0};
  std::vector<Key> rotation_keys;
  std::vector<Key> position_keys;
};

// A rigid transform: rotation matrix (rows) and translation.
struct Pose {
  double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double t[3] = {0, 0, 0};
};

// The rotation of Euler angles (radians) applied about x, then y, then z.
Pose RotationOf(const double angles[3]);
Pose Compose(const Pose& a, const Pose& b);  // a after b
void Apply(const Pose& pose, const double in[3], double out[3]);
Pose RigidInverse(const Pose& pose);

// Each joint's parent index within the list: -1 for none (an empty parent
// name). A parent that does not exist, the joint itself, or a chain that
// comes back to the joint makes the joint a top-level one; each is logged
// with `caller` in front.
std::vector<int> ResolveParents(const std::vector<JointSource>& joints, const char* caller);

// The joints in an order that puts every parent before its children
// (parents as ResolveParents leaves them: without loops).
std::vector<int> ParentsFirst(const std::vector<int>& parents);

// Keys in time order, numbers that are not finite read as 0.
void SortKeys(std::vector<JointSource>& joints);

// World poses of every joint at a Milkshape frame (keys interpolated,
// rotations the short way); `frame` below 0 gives the rest pose.
void PoseJoints(const std::vector<JointSource>& joints, const std::vector<int>& parents,
                const std::vector<int>& order, double frame, std::vector<Pose>& world);

// Adds the joints to the model (a bone from each joint's parent, or from the
// model's root joint, to the joint), parents before children; names the
// model already holds get a number. Returns, per joint of the list, the
// model bone that ends at it, or -1 when the model had no room.
std::vector<int32_t> StoreSkeleton(ModelData& model, const std::vector<JointSource>& joints,
                                   const std::vector<int>& parents, const char* caller);

// True when any joint has a key.
bool HasKeys(const std::vector<JointSource>& joints);

// Poses every vertex the joints own at frames 1 .. `frames` into the model's
// vertex animation (model frame f is Milkshape frame f + 1). `owner` holds
// the joint index (into `joints`) of every model vertex, -1 for none.
// Refuses (0, logged) counts the animation store cannot hold.
int StoreKeyframeAnimation(ModelData& model, const std::vector<JointSource>& joints,
                           const std::vector<int>& parents, const std::vector<int>& owner, uint32_t frames,
                           const char* caller);

// Keys that reproduce the model's vertex animation with its skeleton, per
// model joint (none for the root): each joint written unturned at its
// place within its parent, turned and moved by its keys. Each joint's
// motion in a frame is the rigid motion that best carries the vertexs it
// owns from their stored places to that frame's; a joint that owns none
// moves with its parent. Key frames count from 1. Empty when the model has
// no vertex animation or no vertexs owned by joints.
struct WrittenKeys {
  std::vector<Key> rotation, position;
};
std::vector<WrittenKeys> KeysFromAnimation(ModelData& model);

// Upper bound of frames × (joints + vertexs) an animation may cost.
inline constexpr uint64_t kMaxAnimationWork = uint64_t{1} << 23;

}  // namespace ms3d
}  // namespace zepcon
