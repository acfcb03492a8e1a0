#include "formats3d/ms3d_skeleton.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "core/log.h"
#include "model/model_data.h"

namespace zepcon::ms3d {
namespace {

struct Quaternion {
  double w, x, y, z;
};

Quaternion Multiply(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// Same order as RotationOf: x first, then y, then z.
Quaternion QuaternionOf(const double angles[3]) {
  const Quaternion qx{std::cos(angles[0] / 2), std::sin(angles[0] / 2), 0, 0};
  const Quaternion qy{std::cos(angles[1] / 2), 0, std::sin(angles[1] / 2), 0};
  const Quaternion qz{std::cos(angles[2] / 2), 0, 0, std::sin(angles[2] / 2)};
  return Multiply(qz, Multiply(qy, qx));
}

Pose PoseOf(const Quaternion& q) {
  Pose p;
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  p.r[0][0] = 1 - 2 * (y * y + z * z);
  p.r[0][1] = 2 * (x * y - w * z);
  p.r[0][2] = 2 * (x * z + w * y);
  p.r[1][0] = 2 * (x * y + w * z);
  p.r[1][1] = 1 - 2 * (x * x + z * z);
  p.r[1][2] = 2 * (y * z - w * x);
  p.r[2][0] = 2 * (x * z - w * y);
  p.r[2][1] = 2 * (y * z + w * x);
  p.r[2][2] = 1 - 2 * (x * x + y * y);
  return p;
}

Quaternion Slerp(Quaternion a, const Quaternion& b, double s) {
  double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (dot < 0) {  // the short way round
    a = {-a.w, -a.x, -a.y, -a.z};
    dot = -dot;
  }
  double ka = 1 - s, kb = s;
  if (dot < 0.9999) {
    const double angle = std::acos(std::min(dot, 1.0));
    const double sine = std::sin(angle);
    ka = std::sin((1 - s) * angle) / sine;
    kb = std::sin(s * angle) / sine;
  }
  Quaternion q{ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z};
  const double length = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (length > 0) q = {q.w / length, q.x / length, q.y / length, q.z / length};
  return q;
}

// The two keys around `frame` and how far between them it lies; keys are
// in file order, which Milkshape keeps by time. Before the first key the
// first holds, after the last the last.
bool Bracket(const std::vector<Key>& keys, double frame, const Key** a, const Key** b, double* s) {
  if (keys.empty()) return false;
  const auto later = std::upper_bound(keys.begin(), keys.end(), frame,
                                      [](double f, const Key& key) { return f < key.frame; });
  if (later == keys.begin()) {
    *a = *b = &keys.front();
    *s = 0;
  } else if (later == keys.end()) {
    *a = *b = &keys.back();
    *s = 0;
  } else {
    *a = &*(later - 1);
    *b = &*later;
    const double span = (*b)->frame - (*a)->frame;
    *s = span > 0 ? (frame - (*a)->frame) / span : 0;
  }
  return true;
}

// The joint's pose within its parent at `frame`: the rest pose, then the
// keyed translation and rotation.
Pose LocalPose(const JointSource& joint, double frame) {
  Pose local = RotationOf(joint.rotation);
  std::memcpy(local.t, joint.position, sizeof local.t);
  if (frame < 0) return local;
  Pose key;
  const Key *a = nullptr, *b = nullptr;
  double s = 0;
  if (Bracket(joint.rotation_keys, frame, &a, &b, &s)) key = PoseOf(Slerp(QuaternionOf(a->value), QuaternionOf(b->value), s));
  if (Bracket(joint.position_keys, frame, &a, &b, &s))
    for (int k = 0; k < 3; ++k) key.t[k] = a->value[k] + (b->value[k] - a->value[k]) * s;
  return Compose(local, key);
}

bool NameTaken(const ModelData& model, const char* name) {
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    JointRecord record{};
    if (model.GetJointInfo(j, &record) && std::strncmp(record.name, name, sizeof record.name) == 0) return true;
  }
  return false;
}

}  // namespace

Pose RotationOf(const double angles[3]) {
  const double cx = std::cos(angles[0]), sx = std::sin(angles[0]);
  const double cy = std::cos(angles[1]), sy = std::sin(angles[1]);
  const double cz = std::cos(angles[2]), sz = std::sin(angles[2]);
  Pose p;
  p.r[0][0] = cy * cz;
  p.r[0][1] = sx * sy * cz - cx * sz;
  p.r[0][2] = cx * sy * cz + sx * sz;
  p.r[1][0] = cy * sz;
  p.r[1][1] = sx * sy * sz + cx * cz;
  p.r[1][2] = cx * sy * sz - sx * cz;
  p.r[2][0] = -sy;
  p.r[2][1] = sx * cy;
  p.r[2][2] = cx * cy;
  return p;
}

Pose Compose(const Pose& a, const Pose& b) {
  Pose c;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) c.r[i][j] = a.r[i][0] * b.r[0][j] + a.r[i][1] * b.r[1][j] + a.r[i][2] * b.r[2][j];
    c.t[i] = a.r[i][0] * b.t[0] + a.r[i][1] * b.t[1] + a.r[i][2] * b.t[2] + a.t[i];
  }
  return c;
}

void Apply(const Pose& pose, const double in[3], double out[3]) {
  double result[3];
  for (int i = 0; i < 3; ++i)
    result[i] = pose.r[i][0] * in[0] + pose.r[i][1] * in[1] + pose.r[i][2] * in[2] + pose.t[i];
  std::memcpy(out, result, sizeof result);
}

Pose RigidInverse(const Pose& pose) {
  Pose inverse;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inverse.r[i][j] = pose.r[j][i];
  for (int i = 0; i < 3; ++i)
    inverse.t[i] = -(inverse.r[i][0] * pose.t[0] + inverse.r[i][1] * pose.t[1] + inverse.r[i][2] * pose.t[2]);
  return inverse;
}

std::vector<int> ResolveParents(const std::vector<JointSource>& joints, const char* caller) {
  const size_t count = joints.size();
  std::vector<int> parents(count, -1);
  std::unordered_map<std::string, int> first_of;
  for (size_t j = 0; j < count; ++j) first_of.emplace(joints[j].name, static_cast<int>(j));
  for (size_t j = 0; j < count; ++j) {
    if (joints[j].parent.empty()) continue;
    const auto found = first_of.find(joints[j].parent);
    if (found != first_of.end()) {
      parents[j] = found->second;
    } else {
      LogFormatted(LOG_ERROR, "%s: joint [%s] names the missing parent [%s], placed at the top\n", caller,
                   joints[j].name.c_str(), joints[j].parent.c_str());
    }
  }
  // Walks up from every joint once; meeting the walk's own trail again is
  // a loop, cut at the joint where the trail closes.
  std::vector<char> state(count, 0);  // 0 not seen, 1 on the current trail, 2 settled
  std::vector<int> trail;
  for (size_t start = 0; start < count; ++start) {
    trail.clear();
    int at = static_cast<int>(start);
    while (at >= 0 && state[static_cast<size_t>(at)] == 0) {
      state[static_cast<size_t>(at)] = 1;
      trail.push_back(at);
      at = parents[static_cast<size_t>(at)];
    }
    if (at >= 0 && state[static_cast<size_t>(at)] == 1) {
      LogFormatted(LOG_ERROR, "%s: joint [%s] is its own ancestor, placed at the top\n", caller,
                   joints[static_cast<size_t>(at)].name.c_str());
      parents[static_cast<size_t>(at)] = -1;
    }
    for (int t : trail) state[static_cast<size_t>(t)] = 2;
  }
  return parents;
}

std::vector<int> ParentsFirst(const std::vector<int>& parents) {
  const size_t count = parents.size();
  std::vector<std::vector<int>> children(count);
  std::vector<int> order;
  order.reserve(count);
  for (size_t j = 0; j < count; ++j) {
    if (parents[j] >= 0 && static_cast<size_t>(parents[j]) < count)
      children[static_cast<size_t>(parents[j])].push_back(static_cast<int>(j));
    else
      order.push_back(static_cast<int>(j));
  }
  for (size_t i = 0; i < order.size(); ++i)
    for (int child : children[static_cast<size_t>(order[i])]) order.push_back(child);
  return order;
}

void SortKeys(std::vector<JointSource>& joints) {
  const auto earlier = [](const Key& a, const Key& b) { return a.frame < b.frame; };
  for (JointSource& joint : joints) {
    for (std::vector<Key>* keys : {&joint.rotation_keys, &joint.position_keys})
      for (Key& key : *keys) {
        if (!std::isfinite(key.frame)) key.frame = 0;
        for (double& v : key.value)
          if (!std::isfinite(v)) v = 0;
      }
    std::stable_sort(joint.rotation_keys.begin(), joint.rotation_keys.end(), earlier);
    std::stable_sort(joint.position_keys.begin(), joint.position_keys.end(), earlier);
  }
}

void PoseJoints(const std::vector<JointSource>& joints, const std::vector<int>& parents,
                const std::vector<int>& order, double frame, std::vector<Pose>& world) {
  world.assign(joints.size(), Pose());
  for (int j : order) {
    const size_t at = static_cast<size_t>(j);
    const Pose local = LocalPose(joints[at], frame);
    const int parent = parents[at];
    world[at] = parent >= 0 ? Compose(world[static_cast<size_t>(parent)], local) : local;
  }
}

std::vector<int32_t> StoreSkeleton(ModelData& model, const std::vector<JointSource>& joints,
                                   const std::vector<int>& parents, const char* caller) {
  std::vector<int32_t> bones(joints.size(), -1);
  std::vector<int32_t> model_joint(joints.size(), -1);
  const std::vector<int> order = ParentsFirst(parents);
  std::vector<Pose> rest;
  PoseJoints(joints, parents, order, -1, rest);
  for (int j : order) {
    const size_t at = static_cast<size_t>(j);
    const int parent = parents[at];
    const int32_t from = parent >= 0 ? model_joint[static_cast<size_t>(parent)] : 0;
    if (from < 0) continue;  // the parent found no room
    if (model.joints_count >= ModelData::kMaxJoints || model.bones_count >= ModelData::kMaxBones) {
      LogFormatted(LOG_ERROR, "%s: no room for joint [%s]\n", caller, joints[at].name.c_str());
      continue;
    }
    char name[40];
    std::snprintf(name, sizeof name, "%s", joints[at].name.c_str());
    for (uint32_t n = 2; NameTaken(model, name) && n < 1000; ++n)
      std::snprintf(name, sizeof name, "%.34s_%u", joints[at].name.c_str(), n);
    const int32_t added = model.AddJoint(rest[at].t[0], rest[at].t[1], rest[at].t[2], name);
    if (added < 0) continue;
    const int32_t bone = model.AddBone(static_cast<int16_t>(from), static_cast<int16_t>(added), 0.0);
    if (bone < 0) continue;
    model_joint[at] = added;
    bones[at] = bone;
  }
  return bones;
}

bool HasKeys(const std::vector<JointSource>& joints) {
  for (const JointSource& joint : joints)
    if (!joint.rotation_keys.empty() || !joint.position_keys.empty()) return true;
  return false;
}

int StoreKeyframeAnimation(ModelData& model, const std::vector<JointSource>& joints,
                           const std::vector<int>& parents, const std::vector<int>& owner, uint32_t frames,
                           const char* caller) {
  if (frames == 0 || model.vertexs_count == 0) return 1;
  // Every frame poses every joint and vertex: bounded work whatever the file says.
  if (uint64_t{frames} * (joints.size() + model.vertexs_count) > kMaxAnimationWork) {
    LogFormatted(LOG_ERROR, "%s: an animation of %lu frames over %lu joints and %lu vertexs is too large, left out\n",
                 caller, static_cast<unsigned long>(frames), static_cast<unsigned long>(joints.size()),
                 static_cast<unsigned long>(model.vertexs_count));
    return 0;
  }
  const uint32_t saved_writes = model.relative_writes, saved_reads = model.relative_reads;
  model.relative_writes = model.relative_reads = 0;
  const float saved_frame = model.current_frame;
  model.current_frame = -2.0f;
  if (!model.SetAnimVertCount(model.vertexs_count) || !model.SetAnimFramesCount(frames)) {
    LogFormatted(LOG_ERROR, "%s: the animation of %lu frames does not fit, left out\n", caller,
                 static_cast<unsigned long>(frames));
    model.relative_writes = saved_writes;
    model.relative_reads = saved_reads;
    model.current_frame = saved_frame;
    return 0;
  }
  const std::vector<int> order = ParentsFirst(parents);
  std::vector<Pose> rest, posed;
  PoseJoints(joints, parents, order, -1, rest);
  std::vector<Pose> undo(rest.size());
  for (size_t j = 0; j < rest.size(); ++j) undo[j] = RigidInverse(rest[j]);
  std::vector<Pose> moves(rest.size());
  for (uint32_t f = 0; f < frames; ++f) {
    PoseJoints(joints, parents, order, f + 1.0, posed);
    for (size_t j = 0; j < posed.size(); ++j) moves[j] = Compose(posed[j], undo[j]);
    for (uint32_t v = 0; v < model.vertexs_count; ++v) {
      double p[3] = {0, 0, 0};
      model.ReadVertex(v, p[0], p[1], p[2]);
      const int joint = v < owner.size() ? owner[v] : -1;
      if (joint >= 0 && static_cast<size_t>(joint) < moves.size()) Apply(moves[static_cast<size_t>(joint)], p, p);
      model.Animation_SetVertexPos(f, v, p[0], p[1], p[2]);
    }
  }
  model.vertex_animation_present = 1;
  model.relative_writes = saved_writes;
  model.relative_reads = saved_reads;
  model.current_frame = saved_frame;
  return 1;
}

namespace {

// Eigenvector of the largest eigenvalue of a symmetric 4 × 4 matrix (cyclic
// Jacobi rotations).
void LargestEigenvector(double a[4][4], double out[4]) {
  double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  for (int sweep = 0; sweep < 60; ++sweep) {
    double off = 0;
    for (int p = 0; p < 4; ++p)
      for (int q = p + 1; q < 4; ++q) off += a[p][q] * a[p][q];
    if (off < 1e-30) break;
    for (int p = 0; p < 4; ++p)
      for (int q = p + 1; q < 4; ++q) {
        if (std::fabs(a[p][q]) < 1e-300) continue;
        const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (int k = 0; k < 4; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < 4; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < 4; ++k) {
          const double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
  }
  int best = 0;
  for (int i = 1; i < 4; ++i)
    if (a[i][i] > a[best][best]) best = i;
  for (int k = 0; k < 4; ++k) out[k] = v[k][best];
}

struct Vertex3 {
  double p[3];
};

// The rigid motion taking the rest positions onto the moved ones (least
// squares); with a single vertex the parent's turn and the vertex's shift.
Pose FitMotion(const std::vector<Vertex3>& rest, const std::vector<Vertex3>& moved, const Pose& parent) {
  const size_t n = rest.size();
  double ca[3] = {0, 0, 0}, cb[3] = {0, 0, 0};
  for (size_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) {
      ca[k] += rest[i].p[k] / static_cast<double>(n);
      cb[k] += moved[i].p[k] / static_cast<double>(n);
    }
  Pose motion = parent;
  if (n >= 2) {
    double s[3][3] = {};
    for (size_t i = 0; i < n; ++i)
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s[r][c] += (rest[i].p[r] - ca[r]) * (moved[i].p[c] - cb[c]);
    double m[4][4] = {
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]}};
    double q[4];
    LargestEigenvector(m, q);
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (length > 0) motion = PoseOf({q[0] / length, q[1] / length, q[2] / length, q[3] / length});
  }
  double turned[3];
  const Pose turn_only = [&] {
    Pose p = motion;
    p.t[0] = p.t[1] = p.t[2] = 0;
    return p;
  }();
  Apply(turn_only, ca, turned);
  for (int k = 0; k < 3; ++k) motion.t[k] = cb[k] - turned[k];
  return motion;
}

// Euler angles (x first, then y, then z) of a rotation.
void AnglesOf(const Pose& pose, double out[3]) {
  const double sy = std::clamp(-pose.r[2][0], -1.0, 1.0);
  out[1] = std::asin(sy);
  if (std::sqrt(pose.r[2][1] * pose.r[2][1] + pose.r[2][2] * pose.r[2][2]) > 1e-9) {
    out[0] = std::atan2(pose.r[2][1], pose.r[2][2]);
    out[2] = std::atan2(pose.r[1][0], pose.r[0][0]);
  } else {
    out[0] = std::atan2(-pose.r[1][2], pose.r[1][1]);
    out[2] = 0;
  }
}

Pose Translation(const double t[3]) {
  Pose p;
  std::memcpy(p.t, t, sizeof p.t);
  return p;
}

}  // namespace

std::vector<WrittenKeys> KeysFromAnimation(ModelData& model) {
  std::vector<WrittenKeys> keys;
  if (!model.vertex_animation_present || model.anim_frames_count == 0 || model.SkeletOwningType != so_vertexs ||
      model.joints_count < 2)
    return keys;
  const uint32_t saved_reads = model.relative_reads;
  const float saved_frame = model.current_frame;
  model.relative_reads = 0;
  model.current_frame = -2.0f;
  const uint32_t joints = model.joints_count;
  std::vector<int> parents(joints, -1);
  for (uint32_t j = 1; j < joints; ++j) {
    const int32_t parent = model.GetParentJoint(static_cast<int32_t>(j));
    parents[j] = parent > 0 && static_cast<uint32_t>(parent) < joints && static_cast<uint32_t>(parent) != j ? parent : -1;
  }
  // A cycle among the parents (possible in models from elsewhere) is cut.
  for (uint32_t j = 1; j < joints; ++j) {
    int at = parents[j];
    for (uint32_t steps = 0; at >= 0 && steps <= joints; ++steps) at = parents[static_cast<size_t>(at)];
    if (at >= 0) parents[j] = -1;
  }
  const std::vector<int> order = ParentsFirst(parents);
  std::vector<std::vector<uint32_t>> owned(joints);
  for (uint32_t v = 0; v < model.vertexs_count && v < model.anim_vert_count; ++v) {
    const uint16_t owner = model.GetVertexOwner(v);
    int16_t from = 0, to = 0;
    if (owner == kNoOwner || owner >= model.bones_count || !model.GetBoneJoints(owner, from, to)) continue;
    if (to > 0 && static_cast<uint32_t>(to) < joints) owned[static_cast<size_t>(to)].push_back(v);
  }
  std::vector<Vertex3> rest_of(model.vertexs_count);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) model.ReadVertex(v, rest_of[v].p[0], rest_of[v].p[1], rest_of[v].p[2]);
  std::vector<std::array<double, 3>> rest(joints);
  for (uint32_t j = 0; j < joints; ++j) model.GetJointPosition(j, rest[j][0], rest[j][1], rest[j][2]);

  keys.resize(joints);
  std::vector<Pose> motion(joints), world(joints);
  std::vector<Vertex3> from, to;
  for (uint32_t f = 0; f < model.anim_frames_count; ++f) {
    for (int j : order) {
      const size_t at = static_cast<size_t>(j);
      if (j == 0) continue;
      const int parent = parents[at];
      const Pose parent_motion = parent >= 0 ? motion[static_cast<size_t>(parent)] : Pose();
      from.clear();
      to.clear();
      for (uint32_t v : owned[at]) {
        Vertex3 moved;
        if (!model.Animation_GetVertexPos(static_cast<float>(f), v, moved.p[0], moved.p[1], moved.p[2])) continue;
        from.push_back(rest_of[v]);
        to.push_back(moved);
      }
      motion[at] = from.empty() ? parent_motion : FitMotion(from, to, parent_motion);
      // The joint is written unturned at its place within its parent.
      world[at] = Compose(motion[at], Translation(rest[at].data()));
      double offset[3];
      for (int k = 0; k < 3; ++k) offset[k] = rest[at][k] - (parent >= 0 ? rest[static_cast<size_t>(parent)][k] : 0.0);
      const Pose parent_world = parent >= 0 ? world[static_cast<size_t>(parent)] : Pose();
      const double back[3] = {-offset[0], -offset[1], -offset[2]};
      const Pose key = Compose(Translation(back), Compose(RigidInverse(parent_world), world[at]));
      Key rotation{f + 1.0, {0, 0, 0}}, position{f + 1.0, {key.t[0], key.t[1], key.t[2]}};
      AnglesOf(key, rotation.value);
      keys[at].rotation.push_back(rotation);
      keys[at].position.push_back(position);
    }
  }
  model.relative_reads = saved_reads;
  model.current_frame = saved_frame;
  return keys;
}

}  // namespace zepcon::ms3d
