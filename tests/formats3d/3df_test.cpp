#include <gtest/gtest.h>

#include <chrono>

#include "formats3d/games_helpers.h"

namespace zepcon::test {
namespace {

// Two bones in a chain, from the root joint: root -> j1 -> j2.
void BuildSkinnedModel(ModelData& m) {
  m.relative_writes = 0;
  const double positions[][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5}};
  for (const auto& p : positions) m.StoreVertex(p[0], p[1], p[2]);
  const uint32_t quad[4] = {0, 1, 2, 3};
  ASSERT_EQ(m.StorePolygon(4, quad), 1);
  const int32_t j1 = m.AddJoint(0, 1, 0, "elbow");
  const int32_t j2 = m.AddJoint(0, 2, 0, "hand");
  ASSERT_EQ(m.AddBone(0, static_cast<int16_t>(j1), 1), 0);
  ASSERT_EQ(m.AddBone(static_cast<int16_t>(j1), static_cast<int16_t>(j2), 1), 1);
  m.SetVertexOwner(0, 0);
  m.SetVertexOwner(1, 1);
  m.SetVertexOwner(2, 1);
  m.SetVertexOwner(3, kNoOwner);
  m.poly_materials_present = 1;
  m.SetPolygonMaterial(0, m.MaterialOfColor(10, 20, 30));
}

// Saved and read back: positions, triangles, joints, bones (the root joint
// is not written, so every bone keeps its joints), vertex owners and colours.
TEST(HelionSaver, RoundTripKeepsSkeletonOwnersAndColours) {
  FreshModel source;
  BuildSkinnedModel(source.model);
  std::string text;
  LogCapture log;
  ASSERT_EQ(RunOnFile(source.model, Save3df, text), 1);
  EXPECT_EQ(text,
            "4\n0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n1.000000 1.000000 0.000000\n"
            "0.000000 1.000000 0.500000\n"
            "2\n4 1 2\n3 4 2\n"
            "2\n0.000000 1.000000 0.000000\n0.000000 2.000000 0.000000\n"
            "2\n0 1\n1 2\n"
            "0\n1\n"
            "1\n2\n2\n0\n"
            "20 20 20 160 160 160\n20 20 20 160 160 160\n"
            "0\n0\n0\n"
            "10 20 30\n10 20 30\n");
  EXPECT_TRUE(log.Contains("....3df saved\n"));

  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, Load3df, text), 1);
  ModelData& m = back.model;
  EXPECT_EQ(TrianglesOf(m), TrianglesOf(source.model));
  ASSERT_EQ(m.joints_count, 3u);
  double x = 0, y = 0, z = 0;
  m.GetJointPosition(2, x, y, z);
  EXPECT_EQ(y, 2.0);
  ASSERT_EQ(m.bones_count, 2u);
  for (uint32_t b = 0; b < 2; ++b) {
    int16_t first = -1, second = -1, first_before = -2, second_before = -2;
    m.GetBoneJoints(b, first, second);
    source.model.GetBoneJoints(b, first_before, second_before);
    EXPECT_EQ(first, first_before);
    EXPECT_EQ(second, second_before);
  }
  const uint16_t owners[] = {0, 1, 1, kNoOwner};
  for (uint32_t v = 0; v < 4; ++v) EXPECT_EQ(m.GetVertexOwner(v), owners[v]) << v;
  EXPECT_EQ(m.poly_materials_present, 1u);
  for (uint32_t p = 0; p < 2; ++p) {
    m.GetMaterial(static_cast<uint32_t>(m.GetPolygonMaterial(p)));
    EXPECT_EQ(m.material.diffuse[0], 10);
    EXPECT_EQ(m.material.diffuse[2], 30);
  }
  EXPECT_TRUE(log.Contains(".Bones read    : 2\n"));
}

// Sections missing at the end are not read; a colour line with fewer than
// three numbers leaves its polygon's material as it was; joints and bones
// that do not exist are dropped; a file without a vertex count is refused.
TEST(HelionLoader, PartialFilesAndBadNumbers) {
  const std::string geometry = "3\n0 0 0\n1 0 0\n0 1 0\n2\n1 2 3\n3 2 1\n";
  const struct {
    const char* what;
    std::string text;
    int result;
    uint32_t vertexs, polygons, joints, bones;
    std::vector<int32_t> red;  // red of each polygon's material, -1 none
    const char* error;
  } cases[] = {
      {"geometry only", geometry, 1, 3, 2, 1, 0, {-1, -1}, ""},
      {"no skeleton, colours", geometry + "0\n0\n0\n0\n0\n0\n0\n0\n7 8 9\n4 5\n", 1, 3, 2, 1, 0, {7, -1}, ""},
      {"bones on missing joints", geometry + "1\n0 0 1\n2\n0 1\n1 5\n0\n0\n1\n1\n1\n", 1, 3, 2, 2, 1, {-1, -1},
       "1 bones name joints the file does not have"},
      {"owner past the bones", geometry + "0\n0\n3\n0\n0\n", 1, 3, 2, 1, 0, {-1, -1}, "1 vertexs name bones"},
      {"vertexs cut", "5\n0 0 0\n1 1", 1, 1, 0, 1, 0, {}, "ends early in the vertexs: 1 of 5"},
      {"polygons cut", "3\n0 0 0\n1 0 0\n0 1 0\n9\n1 2 3\n1 x 3\n", 1, 3, 1, 1, 0, {-1}, "polygons: 1 of 9"},
      {"huge counts", "4000000000\n0 0 0\n", 1, 1, 0, 1, 0, {}, "1 of 4000000000"},
      {"empty", "", 0, 0, 0, 1, 0, {}, "no vertex count"},
      {"words", "Helion model\n", 0, 0, 0, 1, 0, {}, "no vertex count"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadFromText(fresh.model, Load3df, c.text), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ModelData& m = fresh.model;
    EXPECT_EQ(m.vertexs_count, c.vertexs);
    EXPECT_EQ(m.polygons_count, c.polygons);
    EXPECT_EQ(m.joints_count, c.joints);
    EXPECT_EQ(m.bones_count, c.bones);
    EXPECT_TRUE(*c.error ? log.ErrorText().find(c.error) != std::string::npos : log.ErrorText().empty())
        << log.ErrorText();
    if (!c.result) continue;
    EXPECT_EQ(m.poly_materials_present, 1u);
    for (uint32_t p = 0; p < c.red.size() && p < m.polygons_count; ++p) {
      const int32_t material = m.GetPolygonMaterial(p);
      if (c.red[p] < 0) {
        EXPECT_EQ(material, kNoMaterial) << p;
        continue;
      }
      ASSERT_GE(material, 0) << p;
      m.GetMaterial(static_cast<uint32_t>(material));
      EXPECT_EQ(m.material.diffuse[0], c.red[p]) << p;
    }
    // Whatever was read passes the model check.
    EXPECT_EQ(m.CheckModel(), 1);
  }
}

// A hand-made file converts to OFF that assimp reads the same.
TEST(HelionLoader, ConvertsToOffReadByAssimp) {
  TempDir dir;
  WriteText(dir.File("tri.3df"), "4\n0 0 0\n2 0 0\n2 3 0\n0 3 -1\n2\n1 2 3\n1 3 4\n0\n0\n");
  const ModelView seen = ExpectOffReadBackByAssimp(dir.File("tri.3df"), TYPE_HELION);
  EXPECT_EQ(seen, (ModelView{2, 0, 0, -1, 2, 3, 0}));
}

// A bone whose first joint ends no other bone is written with the parent
// number 0; the second of a chain names the first.
TEST(HelionSaver, BoneOwningNamesTheBoneEndingAtTheFirstJoint) {
  FreshModel m;
  m.model.relative_writes = 0;
  m.model.StoreVertex(0, 0, 0);
  const int32_t a = m.model.AddJoint(1, 0, 0, "a");
  const int32_t b = m.model.AddJoint(2, 0, 0, "b");
  const int32_t c = m.model.AddJoint(3, 0, 0, "c");
  m.model.AddBone(static_cast<int16_t>(b), static_cast<int16_t>(c), 1);  // child listed first
  m.model.AddBone(static_cast<int16_t>(a), static_cast<int16_t>(b), 1);
  std::string text;
  ASSERT_EQ(RunOnFile(m.model, Save3df, text), 1);
  EXPECT_NE(text.find("\n2\n2 3\n1 2\n2\n0\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace zepcon::test
