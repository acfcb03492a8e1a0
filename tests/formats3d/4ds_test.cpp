#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int k4dsType = 14;

Bytes& Pstring(Bytes& b, const std::string& text) {
  b.Raw({static_cast<uint8_t>(text.size())});
  return b.Raw(std::vector<uint8_t>(text.begin(), text.end()));
}

Bytes& Vector(Bytes& b, float x, float y, float z) { return b.F32(x).F32(y).F32(z); }

// A frame's head: kind (visual kind for meshes), parent, position, unit
// scale, rotation (w, x, y, z), name.
Bytes FrameHead(uint8_t type, uint8_t visual, uint16_t parent, std::array<float, 3> at, std::array<float, 4> q,
                const std::string& name) {
  Bytes b;
  b.Raw({type});
  if (type == 1) b.Raw({visual, 0, 0});
  b.U16(parent);
  Vector(b, at[0], at[1], at[2]);
  Vector(b, 1, 1, 1);
  b.F32(q[0]).F32(q[1]).F32(q[2]).F32(q[3]).Raw({1});
  Pstring(b, name);
  return Pstring(b, "");
}

struct Lod {
  std::vector<std::array<float, 3>> vertexs;
  std::vector<std::vector<uint16_t>> groups;  // faces' corners
  std::vector<uint16_t> materials;            // per group
};

Bytes MeshPayload(const std::vector<Lod>& lods) {
  Bytes b;
  b.U16(0).Raw({static_cast<uint8_t>(lods.size())});
  for (const Lod& lod : lods) {
    b.F32(0).U16(static_cast<uint32_t>(lod.vertexs.size()));
    for (size_t v = 0; v < lod.vertexs.size(); ++v) {
      Vector(b, lod.vertexs[v][0], lod.vertexs[v][1], lod.vertexs[v][2]);
      Vector(b, 0, 1, 0).F32(0.5f).F32(0.25f * static_cast<float>(v));
    }
    b.Raw({static_cast<uint8_t>(lod.groups.size())});
    for (size_t g = 0; g < lod.groups.size(); ++g) {
      b.U16(static_cast<uint32_t>(lod.groups[g].size() / 3));
      for (uint16_t i : lod.groups[g]) b.U16(i);
      b.U16(lod.materials[g]);
    }
  }
  return b;
}

int DetermineTypeOf(const std::string& path) {
  FileConverter converter;
  return converter.DetermineTypeOfPath(path.c_str());
}

const float kHalf = static_cast<float>(std::sqrt(0.5));

// Two materials (a textured one at half opacity, a red one); a body mesh
// moved to (1, 0, 0) and turned 90 degrees about y, with two levels of
// detail; a wing mesh its child at (0, 0, 1); a copy of the wing at the
// root; two bones under the body; a dummy, a sector and the closing flag.
std::vector<uint8_t> HandMade4ds() {
  Bytes b;
  b.Text("4DS", 4).U16(29).U32(0x12345678).U32(0x01C00000).U16(2);
  // Material 1: diffuse map, colours, opacity 0.5, texture.
  b.U32(0x00040000);
  Vector(b, 0.2f, 0.2f, 0.2f);
  Vector(b, 1, 1, 1);
  Vector(b, 0, 0, 0).F32(0.5f);
  Pstring(b, "SKIN.TGA");
  // Material 2: colour only, with an environment map and an animated diffuse.
  b.U32(0x04080800);
  Vector(b, 0.5f, 0, 0);
  Vector(b, 1, 0, 0);
  Vector(b, 0, 0, 0).F32(1.0f).F32(0.3f);
  Pstring(b, "ENV.BMP");
  Pstring(b, "");
  b.Raw(std::vector<uint8_t>(18, 0));
  b.U16(7);  // frames
  const Lod body{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}}, {1, 2}};
  const Lod far_body{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {1}};
  b.Raw(FrameHead(1, 0, 0, {1, 0, 0}, {kHalf, 0, kHalf, 0}, "body").data).Raw(MeshPayload({body, far_body}).data);
  const Lod wing{{{0, 0, 0}, {2, 0, 0}, {0, 0, 2}}, {{0, 1, 2}}, {0}};
  b.Raw(FrameHead(1, 0, 1, {0, 0, 1}, {1, 0, 0, 0}, "wing").data).Raw(MeshPayload({wing}).data);
  b.Raw(FrameHead(1, 0, 0, {0, 5, 0}, {1, 0, 0, 0}, "wing copy").data).U16(2);
  for (const char* bone : {"upper", "lower"}) {
    b.Raw(FrameHead(10, 0, 1, {0, 2, 0}, {1, 0, 0, 0}, bone).data);
    b.Raw(std::vector<uint8_t>(64, 0)).U32(1);
  }
  b.Raw(FrameHead(6, 0, 2, {0, 0, 3}, {1, 0, 0, 0}, "mount").data);
  Vector(b, -1, -1, -1);
  Vector(b, 1, 1, 1);
  b.Raw(FrameHead(5, 0, 0, {0, 0, 0}, {1, 0, 0, 0}, "sector1").data);
  b.U32(2049).U32(0).U32(3).U32(1);
  Vector(b, 0, 0, 0);
  Vector(b, 1, 0, 0);
  Vector(b, 0, 1, 0);
  b.U16(0).U16(1).U16(2);
  Vector(b, 0, 0, 0);
  Vector(b, 1, 1, 0);
  b.Raw({1, 3}).U32(4).F32(0).F32(0);  // one portal of three vertexs
  Vector(b, 0, 0, 1).F32(0);
  Vector(b, 0, 0, 0);
  Vector(b, 1, 0, 0);
  Vector(b, 0, 1, 0);
  b.Raw({0});
  return b.data;
}

void ExpectPoint(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), 3u);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-6) << "component " << k;
}

// Meshes are placed by their frames and parents (the body turned about y,
// the wing carried with it, the copy at its own place); level 0 is taken;
// every frame is a joint at its place; materials keep colours, opacity and
// texture; faces of material 0 have none.
TEST(Mafia4dsLoader, FramesPlaceMeshesAndBecomeJoints) {
  TempDir dir;
  WriteBytes(dir.File("skin.tga"), TinyTarga(2, 2, 40));
  const std::string path = dir.File("hand.4ds");
  WriteBytes(path, HandMade4ds());
  ASSERT_EQ(DetermineTypeOf(path), k4dsType);
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path, k4dsType, [](ModelData& m) {
              ASSERT_EQ(m.objects_count, 3u);
              EXPECT_EQ(m.vertexs_count, 10u);
              EXPECT_EQ(m.polygons_count, 4u);  // 2 + 1 + 1: level 0 of the body
              ObjectRecord object{};
              m.GetObjectInfo(2, &object);
              EXPECT_STREQ(object.name, "wing copy");
              // Body: turned 90 degrees about y ((x, y, z) -> (z, y, -x)), then moved by (1, 0, 0).
              ExpectPoint(VertexAt(m, 1), {1, 0, -1});
              ExpectPoint(VertexAt(m, 3), {1, 1, -1});
              // Wing: (0, 0, 1) in the body's space is (2, 0, 0); its (2, 0, 0) is (1, 0, -2) more.
              ExpectPoint(VertexAt(m, 4), {2, 0, 0});
              ExpectPoint(VertexAt(m, 5), {2, 0, -2});
              ExpectPoint(VertexAt(m, 6), {4, 0, 0});
              // The copy: the wing's geometry at (0, 5, 0).
              ExpectPoint(VertexAt(m, 9), {0, 5, 2});
              Vec3d normal{};
              m.relative_reads = 0;
              m.GetVertexNormal(1, normal);
              EXPECT_NEAR(normal.y, 1.0, 1e-6);
              double u = 0, v = 0;
              m.GetVertexTexcoord(3, u, v);
              EXPECT_EQ(u, 0.5);
              EXPECT_EQ(v, 0.75);
              // Materials.
              ASSERT_EQ(m.materials_count, 2u);
              ASSERT_EQ(m.textures_count, 1u);
              EXPECT_EQ(m.Texture(0).kind, 0u);
              EXPECT_EQ(m.GetPolygonMaterial(0), 0);
              EXPECT_EQ(m.GetPolygonMaterial(1), 1);
              EXPECT_EQ(m.GetPolygonMaterial(2), kNoMaterial);
              m.GetMaterial(0);
              EXPECT_EQ(m.material.texture, 0);
              EXPECT_EQ(m.material.transparency, 128);
              EXPECT_EQ(m.material.ambient[0], 51);
              m.GetMaterial(1);
              EXPECT_EQ(m.material.texture, -1);
              EXPECT_EQ(m.material.diffuse[0], 255);
              EXPECT_EQ(m.material.diffuse[1], 0);
              EXPECT_EQ(m.material.transparency, 255);
              // Joints: the root, then one per frame, each tied to its parent's.
              ASSERT_EQ(m.joints_count, 8u);
              ASSERT_EQ(m.bones_count, 7u);
              JointRecord joint{};
              m.GetJointInfo(5, &joint);
              EXPECT_STREQ(joint.name, "lower");
              ExpectPoint({joint.position[0], joint.position[1], joint.position[2]}, {1, 2, 0});
              m.GetJointInfo(6, &joint);
              EXPECT_STREQ(joint.name, "mount");  // under the wing: (2, 0, 0) + (3, 0, 0)
              ExpectPoint({joint.position[0], joint.position[1], joint.position[2]}, {5, 0, 0});
              int16_t from = -1, to = -1;
              m.GetBoneJoints(5, from, to);
              EXPECT_EQ(from, 2);
              EXPECT_EQ(to, 6);
              EXPECT_EQ(m.model_orientation[0], 2);
            }),
            1);
  EXPECT_TRUE(log.Contains(" frame 7 [sector1]: sector, kept as a joint\n")) << log.Text();
}

// Offsets into the hand-made file.
constexpr size_t kFirstMaterial = 16;
constexpr size_t kFramesCount = kFirstMaterial + (4 + 40 + 1 + 8) + (4 + 40 + 4 + 1 + 7 + 1 + 18);
constexpr size_t kFirstFrame = kFramesCount + 2;
constexpr size_t kBodyVertexCount = kFirstFrame + 4 + 2 + 40 + 1 + 5 + 1 + 2 + 1 + 4;

TEST(Mafia4dsLoader, BrokenFilesFailWithTheirReason) {
  const std::vector<uint8_t> good = HandMade4ds();
  ASSERT_EQ(good[kFramesCount], 7);
  ASSERT_EQ(good[kBodyVertexCount], 4);
  const auto with = [&](size_t at, std::vector<uint8_t> values) {
    std::vector<uint8_t> bytes = good;
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
  };
  const size_t wing_copy_instance = [&] {
    const std::string name = "wing copy";
    const auto at = std::search(good.begin(), good.end(), name.begin(), name.end());
    return static_cast<size_t>(at - good.begin()) + name.size() + 1;
  }();
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
  } cases[] = {
      {"signature", with(0, {'5'}), "does not begin with 4DS"},
      {"empty", {}, "does not begin with 4DS"},
      {"version", with(4, {41}), "version 41 is not read"},
      {"material cut", std::vector<uint8_t>(good.begin(), good.begin() + 40), "material 1 is cut short"},
      {"frame count", with(kFramesCount, {0xFF, 0xFF}), "frame 8: the frame's head is cut short"},
      {"vertex count", with(kBodyVertexCount, {0xFF, 0xFF}), "frame 1: the mesh's vertexs lie beyond the end"},
      {"face count", with(kBodyVertexCount + 2 + 4 * 32 + 1, {0xFF, 0xFF}), "the mesh's faces lie beyond"},
      {"frame kind", with(kFirstFrame, {2}), "frame 1: frame kind 2 is not read"},
      {"visual kind", with(kFirstFrame + 1, {7}), "frame 1: visual kind 7 is not read"},
      {"copy of nothing", with(wing_copy_instance, {5, 0}), "frame 3: the mesh copies a frame that has none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, Load4ds, c.bytes), 0);
    EXPECT_NE(log.ErrorText().find(c.error), std::string::npos) << log.ErrorText();
  }
  // A face naming a vertex the mesh lacks is dropped, the rest kept.
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(fresh.model, Load4ds, with(kBodyVertexCount + 2 + 4 * 32 + 1 + 2, {9, 0})), 1);
  EXPECT_EQ(fresh.model.polygons_count, 3u);
  EXPECT_TRUE(log.Contains("[body]: 1 faces name vertexs the mesh lacks, dropped")) << log.Text();
}

TEST(Mafia4dsLoader, EveryCutOfASmallFileLoadsOrFailsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(HandMade4ds(), Load4ds);
}

TEST(Mafia4dsLoader, HandMadeFileConvertsToObjAnd3dsThatAssimpReads) {
  TempDir dir;
  const std::string path = dir.File("hand.4ds");
  WriteBytes(path, HandMade4ds());
  const ModelView seen = ExpectOffReadBackByAssimp(path, k4dsType);
  EXPECT_EQ(seen[0], 4);
  ExpectObjAnd3dsReadBackByAssimp(path, k4dsType);
}

// The real files, walked here on their own: level-0 faces of every mesh
// and the extent of their vertexs placed by the frames (rotations applied
// as q v q*).
struct Walk {
  double faces = 0;
  double box[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
};

Walk WalkFile(const std::vector<uint8_t>& bytes) {
  Walk walk;
  ByteReader in(bytes);
  in.Skip(14);
  const uint16_t materials = in.U16Le();
  const auto skip_string = [&] { in.Skip(in.U8()); };
  for (uint16_t m = 0; m < materials; ++m) {
    const uint32_t flags = in.U32Le();
    in.Skip(40);
    if (flags & 0x80000) {
      in.Skip(4);
      skip_string();
    }
    const uint8_t length = in.U8();
    in.Skip(length);
    if (length && (flags & 0x40000000) && !(flags & 0x1000000)) skip_string();
    if (flags & 0x4000000) in.Skip(18);
  }
  struct Place {
    double at[3], scale[3], q[4];
    int parent;
  };
  std::vector<Place> places(1, Place{{0, 0, 0}, {1, 1, 1}, {1, 0, 0, 0}, -1});
  std::vector<std::vector<std::array<double, 3>>> meshes(1);
  // Where a point of frame f lies in the model: each frame's scale, turn
  // and move, up to the root.
  const auto place = [&](int f, std::array<double, 3> p) {
    for (; f > 0; f = places[f].parent) {
      const Place& pl = places[f];
      for (int k = 0; k < 3; ++k) p[k] *= pl.scale[k];
      const double w = pl.q[0], x = pl.q[1], y = pl.q[2], z = pl.q[3];
      // t = 2 (q × p); p' = p + w t + q × t
      const double t[3] = {2 * (y * p[2] - z * p[1]), 2 * (z * p[0] - x * p[2]), 2 * (x * p[1] - y * p[0])};
      const std::array<double, 3> turned = {p[0] + w * t[0] + (y * t[2] - z * t[1]),
                                            p[1] + w * t[1] + (z * t[0] - x * t[2]),
                                            p[2] + w * t[2] + (x * t[1] - y * t[0])};
      for (int k = 0; k < 3; ++k) p[k] = turned[k] + pl.at[k];
    }
    return p;
  };
  const uint16_t frames = in.U16Le();
  for (int f = 1; f <= frames; ++f) {
    const uint8_t type = in.U8();
    uint8_t visual = 0;
    if (type == 1) {
      visual = in.U8();
      in.Skip(2);
    }
    Place pl{};
    pl.parent = in.U16Le();
    for (double& v : pl.at) v = in.F32Le();
    for (double& v : pl.scale) v = in.F32Le();
    for (double& v : pl.q) v = in.F32Le();
    const double n = std::sqrt(pl.q[0] * pl.q[0] + pl.q[1] * pl.q[1] + pl.q[2] * pl.q[2] + pl.q[3] * pl.q[3]);
    for (double& v : pl.q) v /= n;
    places.push_back(pl);
    meshes.emplace_back();
    in.Skip(1);
    skip_string();
    skip_string();
    if (type == 1 && visual == 0) {
      EXPECT_EQ(in.U16Le(), 0) << "copies are not in these files";
      const uint8_t lods = in.U8();
      for (uint8_t l = 0; l < lods; ++l) {
        in.Skip(4);
        const uint16_t count = in.U16Le();
        std::vector<std::array<double, 3>> vertexs;
        for (uint16_t v = 0; v < count; ++v) {
          std::array<double, 3> p{};
          for (double& c : p) c = in.F32Le();
          in.Skip(20);
          vertexs.push_back(p);
        }
        const uint8_t groups = in.U8();
        for (uint8_t g = 0; g < groups; ++g) {
          const uint16_t faces = in.U16Le();
          for (uint32_t k = 0; k < 3u * faces; ++k) {
            const uint16_t v = in.U16Le();
            if (l != 0 || v >= vertexs.size()) continue;
            const std::array<double, 3> p = place(f, vertexs[v]);
            for (int c = 0; c < 3; ++c) {
              walk.box[c] = std::min(walk.box[c], p[c]);
              walk.box[3 + c] = std::max(walk.box[3 + c], p[c]);
            }
          }
          in.Skip(2);
          if (l == 0) walk.faces += faces;
        }
      }
    } else if (type == 1 && visual == 6) {
      in.Skip(6 * in.U8());
    } else if (type == 5) {
      in.Skip(8);
      const uint32_t vertexs = in.U32Le(), faces = in.U32Le();
      in.Skip(12 * vertexs + 6 * faces + 24);
      for (uint8_t portals = in.U8(); portals > 0; --portals) in.Skip(24 + 12 * in.U8() + 4);
    } else if (type == 6) {
      in.Skip(24);
    } else if (type == 12) {
      const uint32_t vertexs = in.U32Le(), faces = in.U32Le();
      in.Skip(12 * vertexs + 6 * faces);
    } else {
      ADD_FAILURE() << "frame kind " << int{type} << " is not in these files";
      break;
    }
  }
  EXPECT_TRUE(in.Ok());
  EXPECT_EQ(in.Remaining(), 1u) << "only the closing flag is left";
  return walk;
}

// Every real file is recognised and loads: its faces and extent are those
// the file's own structure holds, and its OBJ and 3DS conversions are read
// back by assimp the same.
TEST(Mafia4dsCorpus, EveryFileMatchesItsStructureAndConverts) {
  const std::filesystem::path folder = CorpusDir() / "models/4ds";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no corpus";
  int checked = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.path().extension() != ".4ds") continue;
    const std::string source = file.path().string();
    SCOPED_TRACE(source);
    ++checked;
    EXPECT_EQ(DetermineTypeOf(source), k4dsType);
    const std::vector<uint8_t> bytes = ReadBytes(source);
    const Walk walk = WalkFile(bytes);
    const ModelView seen = ExpectOffReadBackByAssimp(source, k4dsType);
    EXPECT_EQ(seen[0], walk.faces);
    double scale = 1;
    for (double v : walk.box) scale = std::max(scale, std::fabs(v));
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(seen[1 + k], walk.box[k], 1e-5 * scale) << "item " << k;
    ExpectObjAnd3dsReadBackByAssimp(source, k4dsType);
  }
  EXPECT_EQ(checked, 4);
}

}  // namespace
}  // namespace zepcon::test
