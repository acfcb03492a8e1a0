// Blitz 3D models: one "BB3D" chunk holding textures (TEXS), brushes (BRUS)
// and a tree of nodes (NODE). A chunk is a four-character tag and a 32-bit
// little-endian body length. Nodes carry a local transform (position, scale,
// rotation quaternion w x y z), an optional mesh (MESH with VRTS and TRIS),
// bone weights of the mesh's vertices (BONE), animation keys (KEYS) and the
// animation's frame count (ANIM).
//
// Loading: every node becomes an object; every node below the first becomes
// a joint with a bone from its parent's joint. Vertices are placed by their
// node's transform, so the model holds the scene as it is shown. Keys are
// played through the node tree and the weighted vertices into the model's
// vertex animation, one model frame per file frame.
//
// The whole file is read into memory and walked through bounded readers: a
// chunk never reads past its parent or the file, whatever its length says,
// nesting is bounded, and record counts come from the chunk lengths.
//
// Saving: the whole model is one mesh in a root node "ROOT"; the skeleton's
// joints are nested nodes, each with the weights of the vertices its bone owns.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/file_stream.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

constexpr size_t kChunkHeader = 8;
constexpr int kMaxDepth = 64;
constexpr size_t kMaxNameBytes = 513;  // names of at most 512 bytes are kept whole
constexpr int32_t kMaxBrushTextures = 8;
constexpr int32_t kMaxTexcoordSets = 8;
constexpr int32_t kMaxTexcoordSize = 4;
// Work and memory of the played animation: frames × (vertices + weights +
// nodes) stays below this, or the animation is left out.
constexpr uint64_t kMaxAnimationWork = 5000000;
constexpr uint32_t kMaxFrames = 100000;

// ---- Transform arithmetic ----------------------------------------------------

struct Vec {
  double x = 0, y = 0, z = 0;
};

struct Quat {
  double w = 1, x = 0, y = 0, z = 0;
};

Quat Normalized(Quat q) {
  const double length = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (!(length > 1e-12) || !std::isfinite(length)) return Quat{};
  return {q.w / length, q.x / length, q.y / length, q.z / length};
}

// A rotation as the file stores it (w x y z). The files are left-handed:
// their rotations turn the other way round from the right-handed formula
// used here, so the axis part changes sign. (Read the other way, the joints
// of real rigs stand away from the vertices they carry.)
Quat FileRotation(float w, float x, float y, float z) { return Normalized({w, -x, -y, -z}); }

// Spherical interpolation the short way round.
Quat Slerp(Quat a, Quat b, double t) {
  double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (dot < 0) {
    b = {-b.w, -b.x, -b.y, -b.z};
    dot = -dot;
  }
  double ka = 1 - t, kb = t;
  if (dot < 0.9995) {
    const double angle = std::acos(std::min(dot, 1.0));
    const double s = std::sin(angle);
    ka = std::sin((1 - t) * angle) / s;
    kb = std::sin(t * angle) / s;
  }
  return Normalized({ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z});
}

// An affine transform: a 3 × 3 matrix and a translation.
struct Affine {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec t;

  Vec Apply(const Vec& v) const {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z + t.x, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z + t.y,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z + t.z};
  }
};

// a after b.
Affine Compose(const Affine& a, const Affine& b) {
  Affine r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
  r.t = a.Apply(b.t);
  return r;
}

// The inverse; a transform that flattens space (a scale of 0) has none and
// is taken as identity.
Affine Inverse(const Affine& a) {
  const double(&m)[3][3] = a.m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 1e-300) || !std::isfinite(det)) return Affine{};
  Affine r;
  r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  const Vec moved = r.Apply(a.t);  // r.t is still zero
  r.t = {-moved.x, -moved.y, -moved.z};
  return r;
}

struct Pose {
  Vec position;
  Vec scale{1, 1, 1};
  Quat rotation;
};

// Translation, then rotation, then scale, applied to a point from the right.
Affine FromPose(const Pose& pose) {
  const Quat q = Normalized(pose.rotation);
  const double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z, wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  const double r[3][3] = {{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)},
                          {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)},
                          {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)}};
  const double s[3] = {pose.scale.x, pose.scale.y, pose.scale.z};
  Affine a;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a.m[i][j] = r[i][j] * s[j];
  a.t = pose.position;
  return a;
}

// ---- Nodes as read ---------------------------------------------------------------

template <typename Value>
struct Key {
  int32_t frame;
  Value value;
};

struct Weight {
  uint32_t vertex;  // absolute
  double weight;
};

struct Node {
  std::string name;
  int32_t parent = -1;  // index into the node list
  Pose rest;
  Affine world;           // rest pose, in the model's space
  int32_t joint = 0;      // the model joint standing for the node
  int32_t bone = -1;      // the bone ending at that joint
  uint32_t mesh_first = 0, mesh_count = 0;
  bool has_mesh = false;
  std::vector<Key<Vec>> positions, scales;
  std::vector<Key<Quat>> rotations;
  std::vector<Weight> weights;
};

template <typename Value, typename Blend>
Value Sample(const std::vector<Key<Value>>& keys, double frame, const Value& rest, Blend blend) {
  if (keys.empty()) return rest;
  if (frame <= keys.front().frame) return keys.front().value;
  if (frame >= keys.back().frame) return keys.back().value;
  const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                      [](double f, const Key<Value>& key) { return f < key.frame; });
  const auto before = after - 1;
  const double span = static_cast<double>(after->frame) - before->frame;
  const double t = span > 0 ? (frame - before->frame) / span : 0.0;
  return blend(before->value, after->value, t);
}

Vec Lerp(const Vec& a, const Vec& b, double t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

float Finite(float value, uint64_t& bad) {
  if (std::isfinite(value)) return value;
  ++bad;
  return 0.0f;
}

uint8_t UnitToByte(double value) {
  if (!(value > 0.0)) return 0;  // NaN too
  return static_cast<uint8_t>(std::min(value * 255.0 + 0.5, 255.0));
}

const char kIndent[] = "                                                                ";

class Loader {
 public:
  explicit Loader(ModelData& model) : model_(model) {}

  int Run(ByteReader& file) {
    const uint8_t* tag = file.Peek(4);
    if (!tag || std::memcmp(tag, "BB3D", 4) != 0 || !file.Fits(kChunkHeader)) {
      LogMessage("This is not a b3d file\n", LOG_ERROR);
      return 0;
    }
    file.Skip(4);
    const uint32_t length = file.U32Le();
    ByteReader body = file.Chunk(length);
    if (body.Clipped()) Cut("BB3D");
    const uint32_t version = body.U32Le();
    LogFormatted(LOG_DETAIL, "BB3D - %lu, version %lu\n", static_cast<unsigned long>(length),
                 static_cast<unsigned long>(version));
    if (!body.Ok()) {
      LogMessage("LoadB3d: the file ends inside its header\n", LOG_ERROR);
      return 0;
    }
    if (version > 1) LogFormatted(LOG_ERROR, "LoadB3d: version %lu, read as 1\n", static_cast<unsigned long>(version));
    Walk(body, 1);
    if (file.Remaining() > 0)
      LogFormatted(LOG_ERROR, "LoadB3d: %zu bytes after the BB3D chunk left aside\n", file.Remaining());
    if (bad_numbers_)
      LogFormatted(LOG_ERROR, "LoadB3d: %" PRIu64 " numbers that are not finite read as 0\n", bad_numbers_);
    AssignOwners();
    // The bone store follows the bones (once: each resize moves the store).
    if (model_.bones_count > model_.animation_bones_count) model_.SetAnimBonesCount(model_.bones_count);
    PlayAnimation();
    return 1;
  }

 private:
  void Cut(const char* what) {
    LogFormatted(LOG_ERROR, "LoadB3d: %s chunk is longer than what holds it, cut\n", what);
  }

  // Reads the chunks of a body; `depth` counts the enclosing chunks.
  void Walk(ByteReader& reader, int depth) {
    while (reader.Remaining() > 0) {
      if (!reader.Fits(kChunkHeader)) {
        LogFormatted(LOG_ERROR, "LoadB3d: %zu bytes too few for a chunk header left aside\n", reader.Remaining());
        return;
      }
      char tag[5] = {0, 0, 0, 0, 0};
      reader.ReadBytes(tag, 4);
      for (char& c : tag)
        if (c != '\0' && (c < 32 || c > 126)) c = '?';
      const uint32_t length = reader.U32Le();
      LogFormatted(LOG_DETAIL, "%.*s%c%c%c%c - %lu\n", std::min(depth, kMaxDepth), kIndent, tag[0], tag[1], tag[2],
                   tag[3], static_cast<unsigned long>(length));
      ByteReader body = reader.Chunk(length);
      if (body.Clipped()) Cut(tag);
      Handle(tag, body, depth);
    }
  }

  void Handle(const char* tag, ByteReader& body, int depth) {
    const std::string id(tag, 4);
    if (id == "TEXS") {
      Textures(body);
    } else if (id == "BRUS") {
      Brushes(body);
    } else if (id == "NODE") {
      if (depth >= kMaxDepth) {
        LogFormatted(LOG_ERROR, "LoadB3d: nodes nested deeper than %d levels left aside\n", kMaxDepth);
        return;
      }
      ReadNode(body, depth);
    } else if (id == "MESH" && current_node_ >= 0) {
      ReadMesh(body, depth);
    } else if (id == "VRTS" && in_mesh_) {
      Vertexs(body);
    } else if (id == "TRIS" && in_mesh_) {
      Triangles(body);
    } else if (id == "BONE" && current_node_ >= 0) {
      Bone(body);
    } else if (id == "KEYS" && current_node_ >= 0) {
      Keys(body);
    } else if (id == "ANIM" && current_node_ >= 0) {
      Anim(body);
    } else {
      LogMessage(" unknown chunk, skipping\n", LOG_DETAIL);
    }
  }

  void Textures(ByteReader& body) {
    while (body.Remaining() > 0) {
      char name[kMaxNameBytes];
      if (!body.ReadZString(name, sizeof name) || !body.Fits(28)) {
        LogMessage("LoadB3d: texture entry cut short\n", LOG_ERROR);
        return;
      }
      body.Skip(28);  // flags, blend, position, scale, rotation
      int32_t texture = -1;
      if (name[0] != '\0') {
        const ConversionSettings& settings = model_.settings;
        std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
        path.append(name);
        texture = model_.LoadTexture(path.c_str());
      }
      textures_.push_back(texture);
    }
  }

  void Brushes(ByteReader& body) {
    const int32_t layers = body.I32Le();
    if (!body.Ok() || layers < 0 || layers > kMaxBrushTextures) {
      LogFormatted(LOG_ERROR, "LoadB3d: brushes with %ld textures each cannot be read\n", static_cast<long>(layers));
      return;
    }
    while (body.Remaining() > 0) {
      char name[kMaxNameBytes];
      if (!body.ReadZString(name, sizeof name) || !body.Fits(28 + 4 * static_cast<uint64_t>(layers))) {
        LogMessage("LoadB3d: brush entry cut short\n", LOG_ERROR);
        return;
      }
      float colour[5];
      for (float& c : colour) c = Finite(body.F32Le(), bad_numbers_);
      body.Skip(8);  // blend, effects
      // The first texture is the base map; further layers (light maps,
      // details) have no place in a material.
      int32_t texture = -1;
      for (int32_t layer = 0; layer < layers; ++layer) {
        const int32_t index = body.I32Le();
        if (layer == 0 && index >= 0 && static_cast<size_t>(index) < textures_.size()) texture = textures_[index];
      }
      model_.ResetMaterial();
      model_.SetMaterialName(name);
      for (int k = 0; k < 3; ++k) model_.material.diffuse[k] = UnitToByte(colour[k]);
      model_.material.transparency = UnitToByte(colour[3]);
      model_.material.texture = texture;
      brushes_.push_back(model_.AddMaterial());
    }
  }

  void ReadNode(ByteReader& body, int depth) {
    char name[kMaxNameBytes];
    if (!body.ReadZString(name, sizeof name)) {
      LogMessage("LoadB3d: node name without end\n", LOG_ERROR);
      return;
    }
    if (!body.Fits(40)) {
      LogFormatted(LOG_ERROR, "LoadB3d: node [%s] cut short\n", name);
      return;
    }
    Node node;
    node.name = name;
    node.parent = current_node_;
    float f[10];
    for (float& v : f) v = Finite(body.F32Le(), bad_numbers_);
    node.rest.position = {f[0], f[1], f[2]};
    node.rest.scale = {f[3], f[4], f[5]};
    node.rest.rotation = FileRotation(f[6], f[7], f[8], f[9]);
    node.world = FromPose(node.rest);
    if (node.parent >= 0) node.world = Compose(nodes_[node.parent].world, node.world);
    if (!nodes_.empty()) AddJointFor(node, name);
    model_.NewObject();
    model_.SetObjectName(name);
    nodes_.push_back(node);

    const int32_t saved = current_node_;
    current_node_ = static_cast<int32_t>(nodes_.size() - 1);
    Walk(body, depth + 1);
    current_node_ = saved;
    // What follows a child node belongs to the node that holds it.
    model_.NewObject();
    if (current_node_ >= 0) model_.SetObjectName(nodes_[current_node_].name.c_str());
  }

  // A joint at the node's place with a bone from its parent's joint. Joint
  // names tell joints apart, so a name met before gets a number.
  void AddJointFor(Node& node, const char* name) {
    const int32_t parent_joint = node.parent >= 0 ? nodes_[node.parent].joint : 0;
    if (model_.joints_count >= ModelData::kMaxJoints) {
      if (!joints_full_) LogMessage("LoadB3d: more nodes than joints, the rest move with their parents\n", LOG_ERROR);
      joints_full_ = true;
      node.joint = parent_joint;
      return;
    }
    char unique[40];
    std::snprintf(unique, sizeof unique, "%.39s", name[0] ? name : "node");
    for (uint32_t n = 1; JointNamed(unique); ++n) std::snprintf(unique, sizeof unique, "%.30s#%u", name, n);
    const Vec at = node.world.Apply(Vec{});
    const int32_t joint = model_.AddJoint(at.x, at.y, at.z, unique);
    if (joint < 0) {
      node.joint = parent_joint;  // the joint table is full: the node moves with its parent
      return;
    }
    double px = 0, py = 0, pz = 0;
    model_.GetJointPosition(static_cast<uint32_t>(parent_joint), px, py, pz);
    const double length = std::sqrt((at.x - px) * (at.x - px) + (at.y - py) * (at.y - py) + (at.z - pz) * (at.z - pz));
    node.joint = joint;
    node.bone = model_.AddBone(static_cast<int16_t>(parent_joint), static_cast<int16_t>(joint), length);
    if (node.bone >= 0) model_.SetBoneName(static_cast<uint32_t>(node.bone), unique);
  }

  bool JointNamed(const char* name) const {
    for (uint32_t j = 0; j < model_.joints_count; ++j) {
      JointRecord record{};
      if (model_.GetJointInfo(j, &record) && std::strncmp(record.name, name, sizeof record.name) == 0) return true;
    }
    return false;
  }

  void ReadMesh(ByteReader& body, int depth) {
    if (in_mesh_) {
      LogMessage("LoadB3d: mesh inside a mesh left aside\n", LOG_ERROR);
      return;
    }
    Node& node = nodes_[current_node_];
    if (node.has_mesh) LogMessage("LoadB3d: second mesh of a node joins the first\n", LOG_ERROR);
    if (!node.has_mesh) node.mesh_first = model_.vertexs_count;
    node.has_mesh = true;
    mesh_brush_ = body.I32Le();
    if (!body.Ok()) {
      LogMessage("LoadB3d: mesh cut short\n", LOG_ERROR);
      return;
    }
    in_mesh_ = true;
    Walk(body, depth + 1);
    in_mesh_ = false;
  }

  void Vertexs(ByteReader& body) {
    Node& node = nodes_[current_node_];
    const int32_t flags = body.I32Le();
    const int32_t sets = body.I32Le();
    const int32_t set_size = body.I32Le();
    if (!body.Ok() || sets < 0 || sets > kMaxTexcoordSets || set_size < 0 || set_size > kMaxTexcoordSize) {
      LogFormatted(LOG_ERROR, "LoadB3d: vertexs with %ld texture coordinate sets of %ld cannot be read\n",
                   static_cast<long>(sets), static_cast<long>(set_size));
      return;
    }
    // Position, then a normal (flag 1), a colour (flag 2), then every
    // texture coordinate set.
    const uint32_t entry = 12 + ((flags & 1) ? 12 : 0) + ((flags & 2) ? 16 : 0) +
                           4 * static_cast<uint32_t>(sets) * static_cast<uint32_t>(set_size);
    const uint64_t count = body.Remaining() / entry;
    if (body.Remaining() % entry)
      LogFormatted(LOG_ERROR, "LoadB3d: %zu bytes after the last vertex left aside\n", body.Remaining() % entry);
    uint64_t stored = 0;
    for (; stored < count; ++stored) {
      const size_t start = body.Position();
      Vec v;
      v.x = Finite(body.F32Le(), bad_numbers_);
      v.y = Finite(body.F32Le(), bad_numbers_);
      v.z = Finite(body.F32Le(), bad_numbers_);
      body.Skip(((flags & 1) ? 12 : 0) + ((flags & 2) ? 16 : 0));
      double u = 0, t = 0;
      if (sets > 0 && set_size > 0) u = Finite(body.F32Le(), bad_numbers_);
      if (sets > 0 && set_size > 1) t = Finite(body.F32Le(), bad_numbers_);
      body.Seek(start + entry);
      const Vec placed = node.world.Apply(v);
      const uint32_t before = model_.vertexs_count;
      model_.StoreVertex(placed.x, placed.y, placed.z);
      if (model_.vertexs_count == before) {
        LogFormatted(LOG_ERROR, "LoadB3d: %" PRIu64 " vertexs beyond the model's limit left out\n", count - stored);
        break;
      }
      model_.SetVertexTexcoord(before, u, t);
    }
    node.mesh_count = model_.vertexs_count - node.mesh_first;
    LogFormatted(LOG_DETAIL, "%.*s%" PRIu64 " vertexs\n", 4, kIndent, stored);
  }

  int32_t MaterialOfBrush(int32_t brush) const {
    if (brush < 0) brush = mesh_brush_;
    if (brush < 0 || static_cast<size_t>(brush) >= brushes_.size()) return kNoMaterial;
    return brushes_[static_cast<size_t>(brush)];
  }

  void Triangles(ByteReader& body) {
    const Node& node = nodes_[current_node_];
    const int32_t material = MaterialOfBrush(body.I32Le());
    if (!body.Ok()) {
      LogMessage("LoadB3d: triangles cut short\n", LOG_ERROR);
      return;
    }
    const size_t count = body.Remaining() / 12;
    if (body.Remaining() % 12)
      LogFormatted(LOG_ERROR, "LoadB3d: %zu bytes after the last triangle left aside\n", body.Remaining() % 12);
    uint64_t dropped = 0;
    for (size_t i = 0; i < count; ++i) {
      uint32_t corners[3];
      bool inside = true;
      for (uint32_t& c : corners) {
        const uint32_t index = body.U32Le();
        inside = inside && index < node.mesh_count;
        c = node.mesh_first + (index < node.mesh_count ? index : 0);
      }
      if (!inside) {
        ++dropped;
        continue;
      }
      if (!model_.StorePolygon(3, corners)) {
        LogMessage("LoadB3d: triangles beyond the model's limit left out\n", LOG_ERROR);
        break;
      }
      model_.SetPolygonMaterial(model_.polygons_count - 1, material);
    }
    if (dropped)
      LogFormatted(LOG_ERROR, "LoadB3d: %" PRIu64 " triangles name vertexs the mesh does not have, dropped\n", dropped);
  }

  // The mesh whose vertices a bone of `node` weighs: the nearest one at or
  // above it.
  const Node* SkinnedMesh(int32_t node) const {
    for (int32_t n = node; n >= 0; n = nodes_[n].parent)
      if (nodes_[n].has_mesh) return &nodes_[n];
    return nullptr;
  }

  void Bone(ByteReader& body) {
    Node& node = nodes_[current_node_];
    const Node* mesh = SkinnedMesh(current_node_);
    const size_t count = body.Remaining() / 8;
    if (body.Remaining() % 8) LogMessage("LoadB3d: bone chunk ends inside a weight\n", LOG_ERROR);
    uint64_t dropped = 0;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t vertex = body.U32Le();
      const double weight = Finite(body.F32Le(), bad_numbers_);
      if (!mesh || vertex >= mesh->mesh_count) {
        ++dropped;
        continue;
      }
      if (weight > 0) node.weights.push_back({mesh->mesh_first + vertex, weight});
    }
    if (dropped)
      LogFormatted(LOG_ERROR, "LoadB3d: %" PRIu64 " weights name vertexs no mesh has, dropped\n", dropped);
  }

  void Keys(ByteReader& body) {
    Node& node = nodes_[current_node_];
    const int32_t flags = body.I32Le();
    const uint32_t entry = 4 + ((flags & 1) ? 12 : 0) + ((flags & 2) ? 12 : 0) + ((flags & 4) ? 16 : 0);
    if (!body.Ok() || entry == 4) {
      LogFormatted(LOG_ERROR, "LoadB3d: keys with flags %ld hold nothing, passed over\n", static_cast<long>(flags));
      return;
    }
    const size_t count = body.Remaining() / entry;
    if (body.Remaining() % entry) LogMessage("LoadB3d: keys chunk ends inside a key\n", LOG_ERROR);
    for (size_t i = 0; i < count; ++i) {
      const int32_t frame = body.I32Le();
      float f[10];
      if (flags & 1) {
        for (int k = 0; k < 3; ++k) f[k] = Finite(body.F32Le(), bad_numbers_);
        node.positions.push_back({frame, {f[0], f[1], f[2]}});
      }
      if (flags & 2) {
        for (int k = 0; k < 3; ++k) f[k] = Finite(body.F32Le(), bad_numbers_);
        node.scales.push_back({frame, {f[0], f[1], f[2]}});
      }
      if (flags & 4) {
        for (int k = 0; k < 4; ++k) f[k] = Finite(body.F32Le(), bad_numbers_);
        node.rotations.push_back({frame, FileRotation(f[0], f[1], f[2], f[3])});
      }
      first_key_ = std::min(first_key_, frame);
      last_key_ = std::max(last_key_, frame);
    }
  }

  void Anim(ByteReader& body) {
    if (body.Size() != 12) {
      LogMessage("LoadB3d: animation header of an odd size passed over\n", LOG_ERROR);
      return;
    }
    body.Skip(4);  // flags
    const int32_t frames = body.I32Le();
    body.Skip(4);  // frames per second
    if (frames > 0) frames_ = std::max(frames_, frames);
  }

  // Each weighted vertex is owned by the bone that weighs it most.
  void AssignOwners() {
    std::vector<double> best(model_.vertexs_count, 0.0);
    bool owned = false;
    for (const Node& node : nodes_) {
      if (node.bone < 0) continue;
      for (const Weight& w : node.weights) {
        if (w.weight <= best[w.vertex]) continue;
        best[w.vertex] = w.weight;
        model_.SetVertexOwner(w.vertex, static_cast<uint16_t>(node.bone));
        owned = true;
      }
    }
    if (owned) model_.SkeletOwningType = so_vertexs;
  }

  // The node's transform at a file frame, in the model's space.
  void WorldAt(double frame, std::vector<Affine>& world) const {
    world.resize(nodes_.size());
    const auto lerp = [](const Vec& a, const Vec& b, double t) { return Lerp(a, b, t); };
    for (size_t n = 0; n < nodes_.size(); ++n) {
      const Node& node = nodes_[n];
      Pose pose;
      pose.position = Sample(node.positions, frame, node.rest.position, lerp);
      pose.scale = Sample(node.scales, frame, node.rest.scale, lerp);
      pose.rotation = Sample(node.rotations, frame, node.rest.rotation, Slerp);
      world[n] = FromPose(pose);
      if (node.parent >= 0) world[n] = Compose(world[node.parent], world[n]);
    }
  }

  // Plays the keys into the vertex animation: frame f of the model is frame
  // first key + f of the file. A vertex follows the nodes that weigh it, in
  // proportion; one no node weighs follows its mesh's node.
  void PlayAnimation() {
    if (last_key_ < first_key_ || model_.vertexs_count == 0) return;
    const auto by_frame = [](const auto& a, const auto& b) { return a.frame < b.frame; };
    for (Node& node : nodes_) {
      std::stable_sort(node.positions.begin(), node.positions.end(), by_frame);
      std::stable_sort(node.scales.begin(), node.scales.end(), by_frame);
      std::stable_sort(node.rotations.begin(), node.rotations.end(), by_frame);
    }
    uint64_t frames = frames_ > 0 ? static_cast<uint64_t>(frames_)
                                  : static_cast<uint64_t>(int64_t{last_key_} - first_key_) + 1;
    uint64_t weights = 0;
    for (const Node& node : nodes_) weights += node.weights.size();
    const uint64_t per_frame = uint64_t{model_.vertexs_count} + weights + nodes_.size();
    if (frames > kMaxFrames || frames * per_frame > kMaxAnimationWork) {
      LogFormatted(LOG_ERROR, "LoadB3d: animation of %" PRIu64 " frames too large, left out\n", frames);
      return;
    }
    const uint32_t vertexs = model_.vertexs_count;
    if (!model_.SetAnimVertCount(vertexs) || !model_.SetAnimFramesCount(static_cast<uint32_t>(frames))) {
      LogMessage("LoadB3d: the animation does not fit in memory, left out\n", LOG_ERROR);
      return;
    }
    // Where each vertex is in the rest pose, and which nodes move it.
    std::vector<Vec> rest(vertexs);
    for (uint32_t v = 0; v < vertexs; ++v) model_.ReadVertex(v, rest[v].x, rest[v].y, rest[v].z);
    std::vector<double> total(vertexs, 0.0);
    for (const Node& node : nodes_)
      for (const Weight& w : node.weights) total[w.vertex] += w.weight;
    std::vector<Affine> inverse_rest(nodes_.size());
    for (size_t n = 0; n < nodes_.size(); ++n) inverse_rest[n] = Inverse(nodes_[n].world);

    std::vector<Affine> world;
    std::vector<Vec> posed(vertexs);
    for (uint64_t f = 0; f < frames; ++f) {
      WorldAt(static_cast<double>(first_key_) + static_cast<double>(f), world);
      std::fill(posed.begin(), posed.end(), Vec{});
      for (size_t n = 0; n < nodes_.size(); ++n) {
        const Node& node = nodes_[n];
        const Affine move = Compose(world[n], inverse_rest[n]);
        for (const Weight& w : node.weights) {
          const Vec p = move.Apply(rest[w.vertex]);
          const double k = w.weight / total[w.vertex];
          posed[w.vertex].x += p.x * k;
          posed[w.vertex].y += p.y * k;
          posed[w.vertex].z += p.z * k;
        }
        if (!node.has_mesh) continue;
        for (uint32_t v = node.mesh_first; v < node.mesh_first + node.mesh_count && v < vertexs; ++v)
          if (total[v] <= 0) posed[v] = move.Apply(rest[v]);
      }
      for (uint32_t v = 0; v < vertexs; ++v)
        model_.Animation_SetVertexPos(static_cast<uint32_t>(f), v, posed[v].x, posed[v].y, posed[v].z);
    }
    model_.vertex_animation_present = 1;
    LogFormatted(LOG_DETAIL, " %" PRIu64 " frames of animation from frame %ld\n", frames,
                 static_cast<long>(first_key_));
  }

  ModelData& model_;
  std::vector<int32_t> textures_;  // model texture of each TEXS entry
  std::vector<int32_t> brushes_;   // model material of each brush
  std::vector<Node> nodes_;
  int32_t current_node_ = -1;
  bool in_mesh_ = false;
  bool joints_full_ = false;
  int32_t mesh_brush_ = -1;
  int32_t frames_ = 0;
  int32_t first_key_ = INT32_MAX;
  int32_t last_key_ = INT32_MIN;
  uint64_t bad_numbers_ = 0;
};

// ---- Saving ---------------------------------------------------------------------

// Chunks are a 4-letter tag and a 32-bit length of what follows.
class ChunkWriter : public ByteWriter {
 public:
  void Open(const char* tag) {
    open_.push_back(Size());
    Bytes(tag, 4);
    U32(0);
  }
  void Close() {
    const size_t start = open_.back();
    open_.pop_back();
    PatchU32(start + 4, static_cast<uint32_t>(Size() - start - kChunkHeader));
  }
  void CloseAll() {
    while (!open_.empty()) Close();
  }
  size_t OpenCount() const { return open_.size(); }

 private:
  std::vector<size_t> open_;
};

struct SaveContext {
  std::vector<int32_t> brush_of_material;  // -1 for materials no polygon uses
  std::vector<std::vector<int32_t>> children;
  std::vector<int32_t> parent;
  std::vector<std::vector<uint32_t>> owned;  // vertexs by the joint whose bone owns them
  std::vector<bool> written;
};

void WriteTextures(ModelData& model, ChunkWriter& out) {
  LogMessage(" writing texture info\n", LOG_DETAIL);
  out.Open("TEXS");
  for (uint32_t i = 0; i < model.textures_count; ++i) {
    char name[sizeof model.texture.base_name + 8];
    std::snprintf(name, sizeof name, "%s.bmp", model.Texture(i).base_name);
    out.ZString(name);
    out.I32(1);  // flags
    out.I32(1);  // blend
    out.F32(0);
    out.F32(0);
    out.F32(1);
    out.F32(1);
    out.F32(0);
  }
  out.Close();
}

// Only materials that polygons use are written; brushes are numbered in
// the order written, and triangles name them by that number.
void WriteBrushes(ModelData& model, ChunkWriter& out, SaveContext& context) {
  LogMessage(" writing materials\n", LOG_DETAIL);
  context.brush_of_material.assign(model.materials_count, -1);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    const int32_t m = model.GetPolygonMaterial(p);
    if (m >= 0 && static_cast<uint32_t>(m) < model.materials_count) context.brush_of_material[m] = 0;
  }
  out.Open("BRUS");
  out.I32(1);
  int32_t next = 0;
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    if (context.brush_of_material[m] < 0) continue;
    context.brush_of_material[m] = next++;
    model.GetMaterial(m);
    const MaterialRecord& record = model.material;
    out.ZString(std::string(record.name, strnlen(record.name, sizeof record.name)));
    for (int k = 0; k < 3; ++k) out.F32(record.diffuse[k] * 0.003921569);
    out.F32(record.transparency * 0.003921569);
    out.F32(0);  // shininess
    out.I32(1);  // blend
    out.I32(0);  // effects
    const bool textured = record.texture >= 0 && static_cast<uint32_t>(record.texture) < model.textures_count;
    out.I32(textured ? record.texture : -1);
  }
  out.Close();
}

void WriteMesh(ModelData& model, ChunkWriter& out, const SaveContext& context) {
  LogMessage(" writing mesh, vertices\n", LOG_DETAIL);
  out.Open("MESH");
  out.I32(-1);
  out.Open("VRTS");
  out.I32(0);
  out.I32(1);
  out.I32(2);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0, y = 0, z = 0, u = kUnsetValue, t = kUnsetValue;
    model.ReadVertex(v, x, y, z);
    model.GetVertexTexcoord(v, u, t);
    out.F32(x);
    out.F32(y);
    out.F32(z);
    out.F32(u == kUnsetValue ? 0.0 : u);
    out.F32(t == kUnsetValue ? 0.0 : t);
  }
  out.Close();
  LogMessage(" writing triangles\n", LOG_DETAIL);
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (!model.GetObjectInfo(o, &object)) continue;
    int32_t open_brush = INT32_MIN;
    for (uint32_t p = object.first_polygon; p < object.first_polygon + object.polygon_count; ++p) {
      uint32_t count = 0;
      uint32_t corners[3];
      if (!model.ReadPolygon(p, &count, corners, 3) || count != 3) continue;
      if (corners[0] >= model.vertexs_count || corners[1] >= model.vertexs_count || corners[2] >= model.vertexs_count)
        continue;  // a corner naming no vertex has nothing to write
      const int32_t m = model.GetPolygonMaterial(p);
      const int32_t brush =
          m >= 0 && static_cast<size_t>(m) < context.brush_of_material.size() ? context.brush_of_material[m] : -1;
      if (brush != open_brush) {
        if (open_brush != INT32_MIN) out.Close();
        out.Open("TRIS");
        out.I32(brush);
        open_brush = brush;
      }
      for (uint32_t c : corners) out.U32(c);
    }
    if (open_brush != INT32_MIN) out.Close();
  }
  out.Close();
}

void WriteAnim(ChunkWriter& out) {
  out.Open("ANIM");
  out.I32(0);
  out.I32(1);
  out.F32(0);
  out.Close();
}

void WriteNode(ModelData& model, ChunkWriter& out, SaveContext& context, int32_t joint, int depth) {
  context.written[joint] = true;
  JointRecord record{};
  model.GetJointInfo(static_cast<uint32_t>(joint), &record);
  std::string name = joint == 0 ? "ROOT" : std::string(record.name, strnlen(record.name, sizeof record.name));
  if (name.empty()) name = "joint" + std::to_string(joint);
  // Joints hold places in the model; a node's position is its parent's.
  double x = record.position[0], y = record.position[1], z = record.position[2];
  if (joint == 0) {
    x = y = z = 0;  // the mesh is written in the model's own space
  } else if (context.parent[joint] > 0) {
    double px = 0, py = 0, pz = 0;
    model.GetJointPosition(static_cast<uint32_t>(context.parent[joint]), px, py, pz);
    x -= px;
    y -= py;
    z -= pz;
  }
  char line[64];
  std::snprintf(line, sizeof line, ":%%%is%%s\n", depth + 1);
  LogFormatted(LOG_DETAIL, line, "", name.c_str());
  out.Open("NODE");
  out.ZString(name);
  for (double v : {x, y, z, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0}) out.F32(v);
  if (joint == 0) {
    WriteMesh(model, out, context);
  } else {
    out.Open("BONE");
    for (uint32_t v : context.owned[joint]) {
      out.U32(v);
      out.F32(1.0);
    }
    out.Close();
  }
  WriteAnim(out);
  for (int32_t child : context.children[joint])
    if (!context.written[child]) WriteNode(model, out, context, child, depth + 1);
  out.Close();
}

// Parents from the bones; a joint no bone reaches, or one on a cycle of
// bones, hangs from the root so that every joint is written once.
void BuildSkeleton(ModelData& model, SaveContext& context) {
  const uint32_t joints = model.joints_count > 0 ? model.joints_count : 1;
  context.parent.assign(joints, 0);
  context.children.assign(joints, {});
  context.owned.assign(joints, {});
  context.written.assign(joints, false);
  context.parent[0] = -1;
  for (uint32_t j = 1; j < joints; ++j) {
    const int32_t parent = model.GetParentJoint(static_cast<int32_t>(j));
    context.parent[j] = parent >= 0 && static_cast<uint32_t>(parent) < joints && static_cast<uint32_t>(parent) != j
                            ? parent
                            : 0;
  }
  for (uint32_t j = 1; j < joints; ++j) {
    // Walking up must reach the root within as many steps as there are joints.
    int32_t at = static_cast<int32_t>(j);
    uint32_t steps = 0;
    while (at > 0 && steps <= joints) {
      at = context.parent[at];
      ++steps;
    }
    if (at != 0) context.parent[j] = 0;
  }
  for (uint32_t j = 1; j < joints; ++j) context.children[context.parent[j]].push_back(static_cast<int32_t>(j));
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    const uint16_t owner = model.GetVertexOwner(v);
    int16_t first = 0, second = 0;
    if (owner == kNoOwner || owner >= model.bones_count || !model.GetBoneJoints(owner, first, second)) continue;
    if (second > 0 && static_cast<uint32_t>(second) < joints) context.owned[second].push_back(v);
  }
}

}  // namespace

int LoadB3d(ModelData& model, FileStream& stream) {
  LogMessage("Loading blitz B3D...\n", LOG_MAJOR);
  model.relative_reads = 0;
  model.relative_writes = 0;
  model.SetModelOrientation(2, 0, 5);
  std::vector<uint8_t> bytes;
  if (!stream.Handle() || !ReadRestOfFile(stream.Handle(), bytes, "LoadB3d")) return 0;
  ByteReader reader(bytes);
  Loader loader(model);
  if (!loader.Run(reader)) return 0;
  model.FinishObjects();
  model.poly_materials_present = 1;
  model.vert_texcoords_present = 1;
  LogFormatted(LOG_MAJOR, ".Polygons read : %i\n", static_cast<int>(model.polygons_count));
  LogFormatted(LOG_MAJOR, ".Vertexs read  : %i\n", static_cast<int>(model.vertexs_count));
  LogMessage("... blitz B3D loaded\n", LOG_MAJOR);
  return 1;
}

int SaveB3d(ModelData& model, FileStream& stream) {
  LogMessage("Saving blitz B3D...\n", LOG_MAJOR);
  model.ConvertModelOrientation(2, 0, 5);
  model.ConvertProperties(ModelData::need_polygon_materials | ModelData::need_vertex_texcoords |
                          ModelData::need_triangles | ModelData::need_objects_by_materials |
                          ModelData::need_no_missing_materials | ModelData::need_polygon_materials_first |
                          ModelData::need_polygon_valid_materials);
  model.relative_reads = 0;
  model.relative_writes = 0;

  ChunkWriter out;
  out.Open("BB3D");
  out.I32(1);
  WriteTextures(model, out);
  SaveContext context;
  WriteBrushes(model, out, context);
  LogMessage(" writing nodes\n", LOG_DETAIL);
  BuildSkeleton(model, context);
  WriteNode(model, out, context, 0, 0);
  out.CloseAll();
  const std::vector<uint8_t>& data = out.Data();
  if (stream.Write(data.size(), data.data()) != data.size()) {
    LogMessage("SaveB3d: the file could not be written\n", LOG_ERROR);
    return 0;
  }
  LogMessage("... blitz B3D saved\n", LOG_MAJOR);
  if (model.textures_count > 0) {
    LogMessage(" saving textures to bmp\n", LOG_DETAIL);
    model.SaveMaterialsTextures(TYPE_BMP, MODE_BGRA8888, 0);
  }
  return 1;
}

}  // namespace zepcon
