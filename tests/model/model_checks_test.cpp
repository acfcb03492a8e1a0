#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

class ModelChecks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }

  void Triangle(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t list[3] = {a, b, c};
    model.StorePolygon(3, list);
  }
  ObjectRecord Object(uint32_t index) {
    ObjectRecord record{};
    model.GetObjectInfo(index, &record);
    return record;
  }
  ModelData model;
};

TEST_F(ModelChecks, DanglingPointsAreRedirectedToVertexZero) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  Triangle(0, 1, 2);
  Triangle(2, 7, 9);
  LogCapture log;
  model.CheckPolygons();
  EXPECT_TRUE(log.Contains(" found 2 bad polygons pointings, redirected to 0\n"));
  EXPECT_EQ(model.GetPointVertex(3), 2u);
  EXPECT_EQ(model.GetPointVertex(4), 0u);
  EXPECT_EQ(model.GetPointVertex(5), 0u);
  log.Clear();
  model.CheckPolygons();
  EXPECT_EQ(log.Text(), "Checking polygons...Ok\n");
}

TEST_F(ModelChecks, MaterialCheckAddsADefaultAndRepairsIndexes) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  Triangle(0, 1, 2);
  Triangle(0, 1, 2);
  Triangle(0, 1, 2);
  model.poly_materials_present = 1;
  model.point_materials_present = 1;
  model.SetPolygonMaterial(0, 4);   // no such material
  model.SetPolygonMaterial(1, -1);  // none stays none
  model.SetPointMaterial(8, -7);    // negative and not none
  LogCapture log;
  model.CheckMaterials();
  EXPECT_EQ(model.materials_count, 1u);
  model.GetMaterial(0);
  EXPECT_STREQ(model.material.name, "default material");
  EXPECT_EQ(model.material.diffuse[0], 255);
  EXPECT_TRUE(log.Contains(".1 bad poly materials found, redirected to material 0.."));
  EXPECT_TRUE(log.Contains(".1 bad point materials found, redirected to material 0.."));
  EXPECT_FALSE(log.Contains("bad vert materials"));
  EXPECT_EQ(model.GetPolygonMaterial(0), 0);
  EXPECT_EQ(model.GetPolygonMaterial(1), kNoMaterial);
  EXPECT_EQ(model.GetPointMaterial(8), 0);
  EXPECT_EQ(model.material.usage_flags, 1u | 4u);
  EXPECT_EQ(model.relative_writes, 0u);
  EXPECT_TRUE(log.Contains("Checking materials.."));
  EXPECT_TRUE(log.Contains("Done\n"));
}

TEST_F(ModelChecks, UsageFlagsFollowTheKindsThatNameAMaterial) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  Triangle(0, 1, 2);
  model.MaterialOfColor(1, 0, 0);
  model.MaterialOfColor(2, 0, 0);
  model.MaterialOfColor(3, 0, 0);
  model.poly_materials_present = 1;
  model.vert_materials_present = 1;
  model.SetPolygonMaterial(0, 2);
  model.SetVertexMaterial(1, 2);
  model.SetVertexMaterial(2, 0);
  model.SetPointMaterial(0, 1);  // point materials are not present: ignored
  model.CheckMaterials();
  const uint32_t expected[3] = {2u, 0u, 1u | 2u};
  for (uint32_t i = 0; i < 3; ++i) {
    model.GetMaterial(i);
    EXPECT_EQ(model.material.usage_flags, expected[i]) << i;
  }
}

TEST_F(ModelChecks, TextureIndexesBeyondTheTexturesAreRemoved) {
  model.textures_count = 3;  // as the texture loader leaves it
  model.ResetMaterial();
  model.material.texture = 7;
  model.AddMaterial();
  model.material.texture = 2;
  model.AddMaterial();
  LogCapture log;
  model.CheckMaterials();
  EXPECT_TRUE(log.Contains(".1 bad texture indexes found, tex removed.."));
  model.GetMaterial(0);
  EXPECT_EQ(model.material.texture, -1);
  model.GetMaterial(1);
  EXPECT_EQ(model.material.texture, 2);
}

TEST_F(ModelChecks, BoneNamesAreFilledAndMadeUnique) {
  model.AddBone(0, 0, 1);
  model.AddBone(0, 0, 1);
  model.AddBone(0, 0, 1);
  model.AddBone(0, 0, 1);
  model.SetBoneName(0, "arm");
  model.SetBoneName(1, "arm");
  model.SetBoneName(3, "bone 2");  // what bone 2 will be called
  model.CheckSkelet();
  EXPECT_STREQ(model.GetBoneName(0), "arm_0");
  EXPECT_STREQ(model.GetBoneName(1), "arm");
  EXPECT_STREQ(model.GetBoneName(2), "bone 2_2");
  EXPECT_STREQ(model.GetBoneName(3), "bone 2");
}

TEST_F(ModelChecks, LongDuplicateBoneNamesStillEndTheCheck) {
  const std::string long_name(39, 'q');
  for (int i = 0; i < 3; ++i) {
    model.AddBone(0, 0, 1);
    model.SetBoneName(i, long_name.c_str());
  }
  model.CheckSkelet();
  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) {
    const std::string name = model.GetBoneName(i);
    EXPECT_LE(name.size(), 39u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 3u);  // the suffix replaced the end of the name
}

TEST_F(ModelChecks, JointHierarchyComesFromTheBones) {
  // root(0) -> 1 -> 2, root -> 3
  model.AddJoint(0, 0, 1, "a");
  model.AddJoint(0, 0, 2, "b");
  model.AddJoint(0, 1, 0, "c");
  model.AddBone(0, 3, 1);
  model.AddBone(1, 2, 1);
  model.AddBone(0, 1, 1);
  model.CheckSkelet();
  const int32_t expected_order[4] = {0, 1, 2, 3};
  const int32_t expected_depth[4] = {0, 1, 2, 1};
  for (uint32_t j = 0; j < 4; ++j) {
    JointRecord record{};
    ASSERT_EQ(model.GetJointInfo(j, &record), 1);
    EXPECT_EQ(record.order, expected_order[j]) << j;
    EXPECT_EQ(record.depth, expected_depth[j]) << j;
  }
}

TEST(SortHierarchy, NumbersAForestDepthFirstInPreOrder) {
  int32_t parent[7] = {-1, 0, 0, 1, -1, 4, 99};
  int32_t order[7], depth[7];
  ASSERT_EQ(ModelData::SortHierarchy(7, parent, order, depth), 1);
  EXPECT_EQ(parent[6], -1);  // out of range: no parent
  const std::vector<int32_t> expected_order = {0, 1, 3, 2, 4, 5, 6};
  const std::vector<int32_t> expected_depth = {0, 1, 1, 2, 0, 1, 0};
  EXPECT_EQ(std::vector<int32_t>(order, order + 7), expected_order);
  EXPECT_EQ(std::vector<int32_t>(depth, depth + 7), expected_depth);
}

TEST(SortHierarchy, ChildrenListedBeforeTheirParentsStillGetDepths) {
  int32_t parent[4] = {3, 0, -1, 2};
  int32_t order[4], depth[4];
  ASSERT_EQ(ModelData::SortHierarchy(4, parent, order, depth), 1);
  EXPECT_EQ(std::vector<int32_t>(depth, depth + 4), (std::vector<int32_t>{2, 3, 0, 1}));
  EXPECT_EQ(std::vector<int32_t>(order, order + 4), (std::vector<int32_t>{2, 3, 0, 1}));
}

TEST(SortHierarchy, NodesOnACycleKeepNoDepthAndComeFirst) {
  // 0 -> 1 -> 0 is a cycle, 2 hangs off it; 3 is a root with child 4.
  int32_t parent[5] = {1, 0, 1, -1, 3};
  int32_t order[5], depth[5];
  ASSERT_EQ(ModelData::SortHierarchy(5, parent, order, depth), 1);
  EXPECT_EQ(std::vector<int32_t>(depth, depth + 5), (std::vector<int32_t>{-2, -2, -2, 0, 1}));
  EXPECT_EQ(std::vector<int32_t>(order, order + 5), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  std::set<int32_t> numbers(order, order + 5);
  EXPECT_EQ(numbers.size(), 5u);
}

TEST_F(ModelChecks, ObjectOwnersBeyondTheJointsAreDropped) {
  model.AddJoint(0, 0, 1, "j1");
  model.AddJoint(0, 0, 2, "j2");  // 3 joints
  for (int i = 0; i < 3; ++i) {
    model.StoreVertex(0, 0, 0);
    model.NewObject();
  }
  model.StoreVertex(0, 0, 0);
  model.FinishObjects();
  ASSERT_EQ(model.objects_count, 4u);
  const int32_t owners[4] = {-1, 0, 3, 2};
  for (uint32_t i = 0; i < 4; ++i) {
    ObjectRecord record = Object(i);
    record.owner = owners[i];
    model.SetObjectInfo(i, &record);
  }
  ASSERT_EQ(model.CheckObjectOwning(), 1);
  EXPECT_EQ(Object(2).owner, -1);  // equal to the joint count
  EXPECT_EQ(Object(1).owner, 0);
  // Objects 0 (root) -> 1; 2 root; 3 -> 2.
  EXPECT_EQ(Object(0).order, 0);
  EXPECT_EQ(Object(1).order, 1);
  EXPECT_EQ(Object(2).order, 2);
  EXPECT_EQ(Object(3).order, 3);
  EXPECT_EQ(Object(3).depth, 1);
}

TEST_F(ModelChecks, CheckModelRepairsALoadedModelInOnePass) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  Triangle(0, 1, 5);
  model.NewObject();
  model.StoreVertex(3, 3, 3);
  model.AddBone(0, 0, 1);
  LogCapture log;
  EXPECT_EQ(model.CheckModel(), 1);
  EXPECT_EQ(model.GetPointVertex(2), 0u);
  EXPECT_EQ(model.materials_count, 1u);
  EXPECT_STREQ(model.GetBoneName(0), "bone 0");
  EXPECT_EQ(model.objects_count, 2u);
  EXPECT_STREQ(Object(1).name, "Converted object 1");
  EXPECT_EQ(Object(1).vertex_count, 1u);
  EXPECT_EQ(Object(0).order, 0);
  EXPECT_EQ(Object(1).order, 1);
  // The steps run in their order.
  const std::string& text = log.Text();
  const size_t polygons = text.find("Checking polygons...");
  const size_t materials = text.find("Checking materials..");
  const size_t objects = text.find("Objects finished");
  ASSERT_NE(polygons, std::string::npos);
  EXPECT_LT(polygons, materials);
  EXPECT_LT(materials, objects);
  EXPECT_FALSE(log.Contains("forgot objects"));
}

TEST_F(ModelChecks, AnEmptyModelHasForgottenItsObjects) {
  LogCapture log;
  EXPECT_EQ(model.CheckModel(), 1);
  EXPECT_EQ(model.objects_count, 0u);
  EXPECT_TRUE(log.Contains("forgot objects :(\n"));
}

}  // namespace
}  // namespace zepcon
