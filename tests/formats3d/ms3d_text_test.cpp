#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "formats3d/model_codec_helpers.h"
#include "formats3d/ms3d_helpers.h"

namespace zepcon::test {
namespace {

// Two meshes (the second without material), comments, blank lines; the
// first mesh's normals are listed in another order than its vertexs.
const char kTwoMeshes[] =
    "// MilkShape 3D ASCII\n"
    "\n"
    "Frames: 3\n"
    "Frame: 1\n"
    "Meshes: 2\n"
    "\"plate\" 0 1   // the first mesh\n"
    "3\n"
    "0 0.0 0.0 0.0 0.0 0.0 0\n"
    "0 1.0 0.0 0.0 1.0 0.0 1\n"
    "0 0.0 1.0 0.0 0.0 1.0 -1\n"
    "2\n"
    "0.0 0.0 -1.0\n"
    "0.0 0.0 1.0\n"
    "1\n"
    "0 0 1 2 1 1 0 1\n"
    "\"lone\" 0 -1\n"
    "3\n"
    "0 5.0 0.0 0.0 0.5 0.5 -1\n"
    "0 6.0 0.0 0.0 0.5 0.5 -1\n"
    "0 5.0 1.0 0.0 0.5 0.5 -1\n"
    "0\n"
    "1\n"
    "0 0 2 1 0 0 0 1\n"
    "\n"
    "Materials: 2\n"
    "\"plain\"\n"
    "0.2 0.2 0.2 1.0\n"
    "1.0 0.0 0.0 1.0\n"
    "0.0 0.0 0.0 1.0\n"
    "0.0 0.0 0.0 1.0\n"
    "16.0\n"
    "1.0\n"
    "\"\"\n"
    "\"\"\n"
    "\"skinned\"\n"
    "0.2 0.2 0.2 1.0\n"
    "0.5 0.5 0.5 1.0\n"
    "0.0 0.0 0.0 1.0\n"
    "0.0 0.0 0.0 1.0\n"
    "64.0\n"
    "0.5\n"
    "\".\\maps\\skin.tga\"\n"
    "\"skin alpha.tga\"\n"
    "\n"
    "Bones: 2\n"
    "\"hand\"\n"
    "\"arm\"\n"
    "8 2.0 0.0 0.0 0.0 0.0 0.0\n"
    "0\n"
    "0\n"
    "\"arm\"\n"
    "\"\"\n"
    "8 0.0 0.0 0.0 0.0 0.0 0.0\n"
    "2\n"
    "1 0.0 0.0 0.0\n"
    "3 0.0 0.0 2.0\n"
    "2\n"
    "1 0.0 0.0 0.0\n"
    "3 0.0 0.0 1.5707963\n";

std::string WithCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

// LF and CRLF files read alike: meshes as objects with their material,
// corner normals by their own indexes, mapping per vertex, materials with
// and without texture, and bones found by parent name in any order.
TEST(Ms3dTextLoader, MeshesMaterialsAndBones) {
  TempDir temp;
  std::filesystem::create_directories(temp.Path() / "maps");
  WriteBytes(temp.Path() / "maps" / "skin.tga", TinyTarga(2, 2, 30));
  for (const std::string& text : {std::string(kTwoMeshes), WithCrlf(kTwoMeshes)}) {
    WriteText(temp.File("model.txt"), text);
    ASSERT_EQ(LoadThroughPipeline(temp.File("model.txt"), TYPE_MS3D_ASCII, [](ModelData& m) {
                ASSERT_EQ(m.polygons_count, 2u);
                ASSERT_EQ(m.vertexs_count, 6u);
                EXPECT_EQ(m.objects_count, 2u);
                EXPECT_EQ(m.GetPolygonMaterial(0), 1);
                EXPECT_EQ(m.GetPolygonMaterial(1), kNoMaterial);
                EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{3, 5, 4}));
                uint32_t first = 0, count = 0;
                m.ReadPolygonPointData(0, first, count);
                const double expected_z[3] = {1, 1, -1};
                for (uint32_t k = 0; k < 3; ++k) {
                  Vec3d n{};
                  m.GetPointNormal(first + k, n);
                  EXPECT_EQ(n.z, expected_z[k]) << k;
                }
                double u = 0, v = 0;
                m.GetVertexTexcoord(2, u, v);
                EXPECT_EQ(v, 1.0);
                ASSERT_EQ(m.materials_count, 2u);
                m.GetMaterial(0);
                EXPECT_EQ(m.material.texture, -1);
                EXPECT_EQ(m.material.diffuse[0], 255);
                EXPECT_EQ(m.material.shininess, 32);
                m.GetMaterial(1);
                ASSERT_EQ(m.material.texture, 0);
                EXPECT_EQ(m.Texture(0).width, 2u);
                EXPECT_EQ(m.material.transparency, 127);
                EXPECT_EQ(m.joints_count, 3u);
                const auto hand = JointAt(m, "hand");
                EXPECT_EQ(hand[0], 2.0);
                EXPECT_EQ(m.GetParentJoint(2), 1);
              }),
              1);
  }
}

// Key times count frames from 1. At the file's frame 3 the arm is lifted
// by 2 and turned a quarter about z; the hand (2 along the arm) turns with
// it. So the arm's vertex (1, 0, 0) goes to (0, 1, 2), the hand's vertex
// (0, 0, 0) to (0, 0, 2); vertexs of no bone stay.
TEST(Ms3dTextLoader, KeysPoseTheOwnedVertexs) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadMs3dText, kTwoMeshes), 1);
  ModelData& m = fresh.model;
  ASSERT_EQ(m.anim_frames_count, 3u);
  const struct {
    float frame;
    uint32_t vertex;
    std::array<double, 3> expected;
  } cases[] = {{0, 1, {1, 0, 0}}, {2, 1, {0, 1, 2}}, {2, 0, {0, 0, 2}}, {2, 2, {0, 1, 0}}, {1, 3, {5, 0, 0}}};
  for (const auto& k : cases) {
    const auto p = AnimatedAt(m, k.frame, k.vertex);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], k.expected[i], 1e-6) << k.frame << " " << k.vertex;
  }
}

// Broken text: every cut, counts beyond the lines, a name without its
// closing quote, a section count far beyond the file. Logged and survived.
TEST(Ms3dTextLoader, HostileTextIsLoggedAndSurvived) {
  const std::string whole(kTwoMeshes);
  ExpectEveryCutLoadsOrFailsWithReason(std::vector<uint8_t>(whole.begin(), whole.end()), LoadMs3dText);
  const std::string unquoted = "Meshes: 1\n\"open 0 -1\n1\n0 1 2 3 0 0 -1\n0\n0\n";
  const std::string huge = "Meshes: 99999999999\n\"a\" 0 -1\n0\n0\n0\n";
  const std::string lying = "Meshes: 1\n\"a\" 0 -1\n4000000000\n0 1 2 3 0 0 -1\n";
  const std::string bad_indexes = "Meshes: 1\n\"a\" 0 7\n3\n0 0 0 0 0 0 99\n0 1 0 0 0 0 -1\n0 0 1 0 0 0 -1\n"
                                  "1\n0 0 1\n2\n0 0 1 5 0 0 0 1\n0 0 1 2 0 3 0 1\n";
  for (const std::string* text : {&unquoted, &huge, &lying}) {
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadFromText(fresh.model, LoadMs3dText, *text), 0) << *text;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(log.Contains("could not be read")) << log.Text();
  }
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadMs3dText, bad_indexes), 1);
  EXPECT_EQ(fresh.model.polygons_count, 1u);
  EXPECT_EQ(fresh.model.GetPolygonMaterial(0), kNoMaterial);
  EXPECT_TRUE(log.Contains("name vertexs their mesh does not have")) << log.Text();
  EXPECT_TRUE(log.Contains("name normals their mesh does not have")) << log.Text();
  EXPECT_TRUE(log.Contains("name a material the file does not have")) << log.Text();
  EXPECT_EQ(fresh.model.CheckModel(), 1);
}

// Writing: the header lines, polygons cut into triangles, one normal per
// corner, the same vertex with other mapping written twice, bones with
// their parents and positions within them; read back the same.
TEST(Ms3dTextSaver, WritesWhatItReadsBack) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  m.SetModelOrientation(2, 0, 4);
  m.SetObjectName("square");
  for (int v = 0; v < 4; ++v) m.StoreVertex(v % 3 == 0 ? 0 : 1, v < 2 ? 0 : 1, 0);
  const uint32_t corners[4] = {0, 1, 2, 3};
  m.StorePolygon(4, corners);
  m.FinishObjects();
  ASSERT_GE(m.AddChildJoint("", "base", 1, 1, 1), 0);
  ASSERT_GE(m.AddChildJoint("base", "top", 0, 0, 3), 0);
  std::string written;
  ASSERT_EQ(RunOnFile(m, SaveMs3dText, written), 1);
  EXPECT_EQ(written.rfind("// MilkShape 3D ASCII\n\n// generated by Zepcon\n// Zepcon by tavok, ", 0), 0u) << written;
  EXPECT_NE(written.find("\nMeshes: 1\n\"square\" 0 -1\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\nBones: 2\n\"base\"\n\"\"\n0 1.000000 1.000000 1.000000"), std::string::npos) << written;
  EXPECT_NE(written.find("\"top\"\n\"base\"\n0 0.000000 0.000000 3.000000"), std::string::npos) << written;
  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, LoadMs3dText, written), 1);
  EXPECT_EQ(back.model.polygons_count, 2u);
  EXPECT_EQ(back.model.vertexs_count, 4u);
  const auto top = JointAt(back.model, "top");
  EXPECT_EQ(top[2], 4.0);
}

// Every Milkshape text file of the corpus loads, and what we write of it
// (text and binary) reads back with the same triangles and animation.
TEST(Ms3dTextCorpus, EveryFileLoadsAndRoundTrips) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles("models/txt/"))
    if (entry.expected_type == TYPE_MS3D_ASCII) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), 8u);
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, TYPE_MS3D_ASCII, &ours), 1);
    ASSERT_GT(ours.size(), 0u);
    TempDir temp;
    for (const auto& [name, type] : {std::pair{"out.txt", TYPE_MS3D_ASCII}, std::pair{"out.ms3d", TYPE_MS3D}}) {
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(source, TYPE_MS3D_ASCII, nullptr, temp.File(name), type), 1) << name;
      ASSERT_EQ(Convert(temp.File(name), type, &again), 1) << name;
      ASSERT_EQ(again.size(), ours.size()) << name;
      for (size_t t = 0; t < ours.size(); ++t)
        for (int k = 0; k < 9; ++k) ASSERT_NEAR(again[t][k], ours[t][k], 1e-5 * (1 + std::fabs(ours[t][k]))) << name;
      const std::vector<AssimpReport> before = AnimatedBoxes(source, TYPE_MS3D_ASCII);
      const std::vector<AssimpReport> after = AnimatedBoxes(temp.File(name), type);
      ASSERT_EQ(after.size(), before.size()) << name;
      for (size_t f = 0; f < before.size(); ++f) EXPECT_TRUE(SameBox(after[f], before[f])) << name << " frame " << f;
    }
  }
}

}  // namespace
}  // namespace zepcon::test
