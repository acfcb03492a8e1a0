// "Mafia model" files (version 29, and the older 27 laid out the same):
// "4DS", a zero, the version, a time stamp and the materials, then the
// frames, each a node of a hierarchy with a position, scale and rotation
// relative to its parent and a payload by its kind, then one flag byte.
//
// Meshes (plain, skinned, morphed and billboard ones) give one object each
// from their most detailed level, placed in the model's space by their
// frame and its parents; a mesh that copies another frame's geometry is
// placed the same way. Every frame also becomes a joint at its place, tied
// to its parent's joint, so dummies, sectors, occluders, glows, targets and
// bones are kept as named points of the hierarchy. Materials give their
// colours, opacity and diffuse texture. The type is read-only.
//
// Everything is read through a bounded reader: counts are checked against
// what remains before any loop, and a frame kind whose layout is not known
// fails the load with its reason.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kVertexSize = 32;  // position, normal, texture coordinates
constexpr size_t kFaceSize = 6;
constexpr size_t kVectorSize = 12;
constexpr size_t kMatrixSize = 64;

// Material flags.
constexpr uint32_t kDiffuseMap = 0x40000;
constexpr uint32_t kEnvMap = 0x80000;
constexpr uint32_t kImageAlpha = 0x1000000;
constexpr uint32_t kAnimatedDiffuse = 0x4000000;
constexpr uint32_t kAlphaMap = 0x40000000;

enum FrameType : uint8_t {
  kVisual = 1,
  kLight = 2,
  kCamera = 3,
  kSound = 4,
  kSector = 5,
  kDummy = 6,
  kTarget = 7,
  kUser = 8,
  kModel = 9,
  kJoint = 10,
  kVolume = 11,
  kOccluder = 12,
};

enum VisualType : uint8_t {
  kObject = 0,
  kSingleMesh = 2,
  kSingleMorph = 3,
  kBillboard = 4,
  kMorph = 5,
  kGlow = 6,
  kMirror = 8,
};

// A transform: a 3x3 matrix and a translation.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  void Apply(const double* p, double* out) const {
    for (int i = 0; i < 3; ++i) out[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
  }
  Affine Then(const Affine& inner) const {
    Affine r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j)
        r.m[i][j] = m[i][0] * inner.m[0][j] + m[i][1] * inner.m[1][j] + m[i][2] * inner.m[2][j] + (j == 3 ? m[i][3] : 0);
    return r;
  }
};

// Moved by `position`, turned by the quaternion (w, x, y, z), scaled.
Affine FrameTransform(const double* position, const double* scale, const double* q) {
  double w = q[0], x = q[1], y = q[2], z = q[3];
  const double length = std::sqrt(w * w + x * x + y * y + z * z);
  if (length > 1e-12 && std::isfinite(length)) {
    w /= length, x /= length, y /= length, z /= length;
  } else {
    w = 1, x = y = z = 0;
  }
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  Affine a;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a.m[i][j] = r[i][j] * scale[j];
    a.m[i][3] = position[i];
  }
  return a;
}

// The most detailed level of a mesh, in the frame's own space.
struct Mesh {
  std::vector<float> vertexs;  // 8 floats each: position, normal, u, v
  std::vector<uint16_t> faces;
  std::vector<uint16_t> face_materials;  // 1-based, 0 none; one per face
};

struct Frame {
  uint8_t type = 0, visual = 0;
  char name[256] = "";
  uint16_t parent = 0;
  Affine world;
  int32_t joint = -1;
  bool has_mesh = false;
  Mesh mesh;
};

bool Fail(const char* what, size_t frame) {
  if (frame)
    LogFormatted(LOG_ERROR, "Load4ds: frame %zu: %s\n", frame, what);
  else
    LogFormatted(LOG_ERROR, "Load4ds: %s\n", what);
  return false;
}

bool ReadString(ByteReader& in, char* text, size_t capacity) {
  const uint8_t length = in.U8();
  return in.Ok() && in.ReadFixedString(text, capacity, length);
}

bool SkipString(ByteReader& in) {
  const uint8_t length = in.U8();
  return in.Ok() && in.Skip(length);
}

void ReadVector(ByteReader& in, double* v) {
  for (int k = 0; k < 3; ++k) v[k] = in.F32Le();
}

// `count` records of `size` bytes, checked before they are passed.
bool SkipRecords(ByteReader& in, uint64_t count, uint64_t size) { return in.Fits(count, size) && in.Skip(count * size); }

// Level 0 is kept; the others are read past.
bool ReadMesh(ByteReader& in, size_t index, const std::vector<Frame>& frames, Frame& frame, uint8_t& lods) {
  const uint16_t instance = in.U16Le();
  lods = 0;
  if (!in.Ok()) return Fail("the mesh is cut short", index);
  if (instance != 0) {
    if (instance >= index || !frames[instance].has_mesh) return Fail("the mesh copies a frame that has none", index);
    frame.mesh = frames[instance].mesh;
    frame.has_mesh = true;
    return true;
  }
  lods = in.U8();
  for (uint8_t l = 0; l < lods; ++l) {
    in.Skip(4);  // draw distance
    const uint16_t vertexs = in.U16Le();
    if (!in.Ok() || !in.Fits(vertexs, kVertexSize)) return Fail("the mesh's vertexs lie beyond the end", index);
    Mesh mesh;
    mesh.vertexs.resize(size_t{vertexs} * 8);
    for (float& f : mesh.vertexs) f = in.F32Le();
    const uint8_t groups = in.U8();
    for (uint8_t g = 0; g < groups; ++g) {
      const uint16_t faces = in.U16Le();
      if (!in.Ok() || !in.Fits(faces, kFaceSize)) return Fail("the mesh's faces lie beyond the end", index);
      const size_t first = mesh.faces.size();
      mesh.faces.resize(first + size_t{faces} * 3);
      for (size_t k = first; k < mesh.faces.size(); ++k) mesh.faces[k] = in.U16Le();
      const uint16_t material = in.U16Le();
      mesh.face_materials.insert(mesh.face_materials.end(), faces, material);
    }
    if (!in.Ok()) return Fail("the mesh is cut short", index);
    if (l == 0) {
      frame.mesh = std::move(mesh);
      frame.has_mesh = true;
    }
  }
  if (lods == 0) LogFormatted(LOG_ERROR, "Load4ds: frame %zu: the mesh has no level of detail\n", index);
  return true;
}

bool SkipSkin(ByteReader& in, size_t index, uint8_t lods) {
  for (uint8_t l = 0; l < lods; ++l) {
    const uint8_t joints = in.U8();
    in.Skip(4 + 2 * kVectorSize);
    for (uint8_t j = 0; j < joints; ++j) {
      in.Skip(kMatrixSize + 4);
      const uint32_t weights = in.U32Le();
      in.Skip(4 + 2 * kVectorSize);
      if (!in.Ok() || !SkipRecords(in, weights, 4)) return Fail("the skin's weights lie beyond the end", index);
    }
  }
  return in.Ok() || Fail("the skin is cut short", index);
}

bool SkipMorph(ByteReader& in, size_t index) {
  const uint8_t targets = in.U8();
  if (targets == 0) return in.Ok() || Fail("the morph is cut short", index);
  const uint8_t regions = in.U8(), lods = in.U8();
  for (uint8_t l = 0; l < lods; ++l)
    for (uint8_t r = 0; r < regions; ++r) {
      const uint16_t vertexs = in.U16Le();
      if (!in.Ok() || !SkipRecords(in, uint64_t{vertexs} * targets, 2 * kVectorSize))
        return Fail("the morph's targets lie beyond the end", index);
      if (vertexs > 0) in.Skip(1);
      if (!SkipRecords(in, vertexs, 2)) return Fail("the morph's vertex ids lie beyond the end", index);
    }
  in.Skip(3 * kVectorSize + 4);  // extent, centre, radius
  return in.Ok() || Fail("the morph is cut short", index);
}

// Vertexs and faces of a helper shape (sector, occluder, mirror): counted
// in 32 bits, read past.
bool SkipShape(ByteReader& in, size_t index) {
  const uint32_t vertexs = in.U32Le(), faces = in.U32Le();
  if (!in.Ok() || !SkipRecords(in, vertexs, kVectorSize) || !SkipRecords(in, faces, kFaceSize))
    return Fail("the shape's vertexs or faces lie beyond the end", index);
  return true;
}

bool SkipSector(ByteReader& in, size_t index) {
  in.Skip(8);  // flags
  if (!SkipShape(in, index)) return false;
  in.Skip(2 * kVectorSize);
  const uint8_t portals = in.U8();
  for (uint8_t p = 0; p < portals; ++p) {
    const uint8_t vertexs = in.U8();
    in.Skip(4 + 8 + kVectorSize + 4);  // flags, ranges, normal, distance
    if (!in.Ok() || !SkipRecords(in, vertexs, kVectorSize)) return Fail("a portal lies beyond the end", index);
  }
  return in.Ok() || Fail("the sector is cut short", index);
}

// The payload of a frame by its kind; false (logged) when it cannot be read.
bool ReadPayload(ByteReader& in, size_t index, std::vector<Frame>& frames, Frame& frame) {
  uint8_t lods = 0;
  const char* kind = nullptr;
  switch (frame.type) {
    case kVisual:
      switch (frame.visual) {
        case kObject:
          return ReadMesh(in, index, frames, frame, lods);
        case kSingleMesh:
          return ReadMesh(in, index, frames, frame, lods) && SkipSkin(in, index, lods);
        case kSingleMorph:
          return ReadMesh(in, index, frames, frame, lods) && SkipSkin(in, index, lods) && SkipMorph(in, index);
        case kMorph:
          return ReadMesh(in, index, frames, frame, lods) && SkipMorph(in, index);
        case kBillboard:
          return ReadMesh(in, index, frames, frame, lods) && (in.Skip(5) || Fail("the billboard is cut short", index));
        case kGlow: {
          const uint8_t glows = in.U8();
          kind = "glow";
          if (!in.Ok() || !SkipRecords(in, glows, 6)) return Fail("the glows lie beyond the end", index);
          break;
        }
        case kMirror:
          kind = "mirror";
          if (!SkipRecords(in, 1, 3 * kVectorSize + 4 + kMatrixSize + kVectorSize + 4) || !SkipShape(in, index))
            return Fail("the mirror lies beyond the end", index);
          break;
        default:
          LogFormatted(LOG_ERROR, "Load4ds: frame %zu: visual kind %u is not read\n", index, frame.visual);
          return false;
      }
      break;
    case kSector:
      kind = "sector";
      if (!SkipSector(in, index)) return false;
      break;
    case kDummy:
      kind = "dummy";
      if (!in.Skip(2 * kVectorSize)) return Fail("the dummy is cut short", index);
      break;
    case kTarget: {
      kind = "target";
      in.Skip(2);
      const uint8_t links = in.U8();
      if (!in.Ok() || !SkipRecords(in, links, 2)) return Fail("the target's links lie beyond the end", index);
      break;
    }
    case kJoint:
      kind = "bone";
      if (!in.Skip(kMatrixSize + 4)) return Fail("the bone is cut short", index);
      break;
    case kOccluder:
      kind = "occluder";
      if (!SkipShape(in, index)) return false;
      break;
    default:
      LogFormatted(LOG_ERROR, "Load4ds: frame %zu: frame kind %u is not read\n", index, frame.type);
      return false;
  }
  LogFormatted(LOG_DETAIL, " frame %zu [%s]: %s, kept as a joint\n", index, frame.name, kind);
  return true;
}

bool ReadFrame(ByteReader& in, size_t index, std::vector<Frame>& frames, Frame& frame) {
  frame.type = in.U8();
  if (frame.type == kVisual) {
    frame.visual = in.U8();
    in.Skip(2);  // render flags
  }
  frame.parent = in.U16Le();
  double position[3], scale[3], rotation[4];
  ReadVector(in, position);
  ReadVector(in, scale);
  for (double& q : rotation) q = in.F32Le();
  in.Skip(1);  // culling flags
  if (!in.Ok() || !ReadString(in, frame.name, sizeof frame.name) || !SkipString(in))
    return Fail("the frame's head is cut short", index);
  const Affine local = FrameTransform(position, scale, rotation);
  if (frame.parent >= index) {
    if (frame.parent != 0)
      LogFormatted(LOG_ERROR, "Load4ds: frame %zu [%s]: its parent %u does not come before it, placed at the root\n",
                   index, frame.name, frame.parent);
    frame.parent = 0;
  }
  frame.world = frame.parent ? frames[frame.parent].world.Then(local) : local;
  return ReadPayload(in, index, frames, frame);
}

// The materials, in file order; the model index of each (-1 when the model
// has no room).
bool ReadMaterials(ByteReader& in, ModelData& model, uint16_t count, std::vector<int32_t>& indexes) {
  const int folder_length = static_cast<int>(strnlen(model.settings.file_folder, sizeof model.settings.file_folder));
  for (uint16_t m = 0; m < count; ++m) {
    const uint32_t flags = in.U32Le();
    double ambient[3], diffuse[3], emissive[3];
    ReadVector(in, ambient);
    ReadVector(in, diffuse);
    ReadVector(in, emissive);
    const float opacity = in.F32Le();
    if (flags & kEnvMap) {
      in.Skip(4);
      SkipString(in);
    }
    char texture[256] = "";
    ReadString(in, texture, sizeof texture);
    if (texture[0] && (flags & kAlphaMap) && !(flags & kImageAlpha)) SkipString(in);
    if (flags & kAnimatedDiffuse) in.Skip(18);
    if (!in.Ok()) {
      LogFormatted(LOG_ERROR, "Load4ds: material %u is cut short\n", m + 1u);
      return false;
    }
    model.ResetMaterial();
    const auto byte = [](double v) {
      return static_cast<uint8_t>(std::isfinite(v) ? std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255) : 0);
    };
    for (int k = 0; k < 3; ++k) {
      model.material.ambient[k] = byte(ambient[k]);
      model.material.diffuse[k] = byte(diffuse[k]);
      model.material.emissive[k] = byte(emissive[k]);
    }
    model.material.transparency = byte(opacity);
    if (texture[0] && (flags & kDiffuseMap)) {
      char path[sizeof model.settings.file_folder + sizeof texture];
      std::snprintf(path, sizeof path, "%.*s%s", folder_length, model.settings.file_folder, texture);
      LogFormatted(LOG_DETAIL, " loading texture: [%s]\n", texture);
      model.material.texture = model.LoadTexture(path);
      model.SetMaterialName(texture);
    } else {
      char name[32];
      std::snprintf(name, sizeof name, "Material%u", m + 1u);
      model.SetMaterialName(name);
    }
    indexes.push_back(model.AddMaterial());
  }
  return true;
}

// The frame's level 0 as an object, its vertexs in the model's space.
void StoreMesh(ModelData& model, const Frame& frame, const std::vector<int32_t>& materials) {
  const Mesh& mesh = frame.mesh;
  const uint32_t vertexs = static_cast<uint32_t>(mesh.vertexs.size() / 8);
  const uint32_t first_vertex = model.vertexs_count;
  model.SetObjectName(frame.name);
  // Normals turn with the frame but are not moved or scaled.
  Affine turn = frame.world;
  for (auto& row : turn.m) row[3] = 0;
  for (uint32_t v = 0; v < vertexs; ++v) {
    const float* p = &mesh.vertexs[size_t{v} * 8];
    const double local[3] = {p[0], p[1], p[2]}, normal[3] = {p[3], p[4], p[5]};
    double placed[3], turned[3];
    frame.world.Apply(local, placed);
    turn.Apply(normal, turned);
    const double length = std::sqrt(turned[0] * turned[0] + turned[1] * turned[1] + turned[2] * turned[2]);
    if (length > 1e-12) {
      for (double& c : turned) c /= length;
    }
    model.StoreVertex(placed[0], placed[1], placed[2]);
    model.SetVertexNormal(v, {turned[0], turned[1], turned[2]});
    model.SetVertexTexcoord(v, p[6], p[7]);
  }
  if (model.vertexs_count != first_vertex + vertexs) {
    LogFormatted(LOG_ERROR, "Load4ds: [%s]: too many vertexs for the model\n", frame.name);
    model.NewObject();
    return;
  }
  uint32_t stored = 0, dropped = 0;
  for (size_t f = 0; f < mesh.face_materials.size(); ++f) {
    const uint32_t corners[3] = {mesh.faces[f * 3], mesh.faces[f * 3 + 1], mesh.faces[f * 3 + 2]};
    if (corners[0] >= vertexs || corners[1] >= vertexs || corners[2] >= vertexs) {
      ++dropped;
      continue;
    }
    if (!model.StorePolygon(3, corners)) break;
    const uint16_t material = mesh.face_materials[f];
    model.SetPolygonMaterial(stored++, material >= 1 && material <= materials.size() ? materials[material - 1u]
                                                                                    : kNoMaterial);
  }
  if (dropped)
    LogFormatted(LOG_ERROR, "Load4ds: [%s]: %" PRIu32 " faces name vertexs the mesh lacks, dropped\n", frame.name,
                 dropped);
  model.NewObject();
}

// Every frame as a joint at its place, tied to its parent's joint by a bone.
void StoreJoint(ModelData& model, std::vector<Frame>& frames, size_t index) {
  Frame& frame = frames[index];
  if (model.joints_count >= ModelData::kMaxJoints || model.bones_count + 2 >= ModelData::kMaxBones) return;
  const int32_t parent = frame.parent ? frames[frame.parent].joint : 0;
  if (parent < 0) return;
  char name[48];
  std::snprintf(name, sizeof name, "%.39s", frame.name[0] ? frame.name : "frame");
  JointRecord probe{};
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    model.GetJointInfo(j, &probe);
    if (std::strncmp(probe.name, name, ModelData::kNameLength) == 0) {
      // Joints are found by name: a repeated one gets the frame's number.
      std::snprintf(name, sizeof name, "%.30s#%zu", frame.name, index);
      break;
    }
  }
  const double origin[3] = {0, 0, 0};
  double at[3];
  frame.world.Apply(origin, at);
  frame.joint = model.AddJoint(at[0], at[1], at[2], name);
  if (frame.joint < 0) return;
  double from[3] = {0, 0, 0};
  model.GetJointPosition(static_cast<uint32_t>(parent), from[0], from[1], from[2]);
  const int32_t bone = model.AddBone(static_cast<int16_t>(parent), static_cast<int16_t>(frame.joint),
                                     std::hypot(at[0] - from[0], at[1] - from[1], at[2] - from[2]));
  if (bone >= 0) model.SetBoneName(static_cast<uint32_t>(bone), name);
}

}  // namespace

int Load4ds(ModelData& model, FILE* file) {
  LogMessage("Loading 4ds ...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(2, 4, 1);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "Load4ds")) return 0;
  ByteReader in(bytes);
  const uint8_t* head = in.Peek(kHeaderSize);
  if (!head || std::memcmp(head, "4DS", 4) != 0) {
    LogMessage("Load4ds: the file does not begin with 4DS\n", LOG_ERROR);
    return 0;
  }
  const uint16_t version = LoadLe16(head + 4);
  if (version != 29 && version != 27) {
    LogFormatted(LOG_ERROR, "Load4ds: version %u is not read (only 27 and 29)\n", version);
    return 0;
  }
  in.Skip(14);
  const uint16_t material_count = in.U16Le();
  LogFormatted(LOG_DETAIL, " version %u, %u materials\n", version, material_count);
  std::vector<int32_t> materials;
  if (!ReadMaterials(in, model, material_count, materials)) return 0;

  const uint16_t frame_count = in.U16Le();
  if (!in.Ok()) {
    Fail("the frame count is cut short", 0);
    return 0;
  }
  LogFormatted(LOG_DETAIL, " %u frames\n", frame_count);
  // Frames are numbered from 1; entry 0 stands for the root.
  std::vector<Frame> frames(1);
  frames.reserve(size_t{frame_count} + 1);
  for (size_t f = 1; f <= frame_count; ++f) {
    Frame frame;
    if (!ReadFrame(in, f, frames, frame)) return 0;
    frames.push_back(std::move(frame));
  }
  if (!in.Fits(1)) LogMessage("Load4ds: the closing flag is missing\n", LOG_ERROR);

  model.vert_normals_present = 1;
  for (size_t f = 1; f < frames.size(); ++f) {
    if (frames[f].has_mesh) StoreMesh(model, frames[f], materials);
    StoreJoint(model, frames, f);
  }
  model.FinishObjects();
  model.vert_texcoords_present = 1;
  model.poly_materials_present = 1;
  LogMessage("... 4ds loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
