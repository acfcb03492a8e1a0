#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

class ModelRecords : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }

  std::string MaterialName(uint32_t index) {
    model.GetMaterial(index);
    return model.material.name;
  }
  ObjectRecord Object(uint32_t index) {
    ObjectRecord record{};
    EXPECT_EQ(model.GetObjectInfo(index, &record), 1);
    return record;
  }
  ModelData model;
};

TEST_F(ModelRecords, DefaultMaterialHasTheDocumentedValues) {
  model.ResetMaterial();
  const MaterialRecord& m = model.material;
  EXPECT_EQ(m.diffuse[0], 255);
  EXPECT_EQ(m.ambient[1], 160);
  EXPECT_EQ(m.specular[2], 120);
  EXPECT_EQ(m.emissive[0], 0);
  EXPECT_EQ(m.xsi_value, 10);
  EXPECT_EQ(m.shininess, 5);
  EXPECT_EQ(m.transparency, 255);
  EXPECT_EQ(m.texture, -1);
  EXPECT_STREQ(m.name, "");
  // A get of a material that does not exist gives the default, silently.
  model.material.shininess = 99;
  LogCapture log;
  EXPECT_EQ(model.GetMaterial(3), 0);
  EXPECT_EQ(model.material.shininess, 5);
  EXPECT_TRUE(log.Text().empty());
}

TEST_F(ModelRecords, MaterialNamesAreMadeUnique) {
  model.ResetMaterial();
  model.SetMaterialName("metal");
  EXPECT_EQ(model.AddMaterial(), 0);
  EXPECT_EQ(model.AddMaterial(), 1);
  EXPECT_EQ(MaterialName(0), "metal");
  EXPECT_EQ(MaterialName(1), "metal_1");
  // metal again: metal clashes, metal_2 is free.
  model.ResetMaterial();
  model.SetMaterialName("metal");
  EXPECT_EQ(model.AddMaterial(), 2);
  EXPECT_EQ(MaterialName(2), "metal_2");

  model.ResetMaterial();
  model.material.diffuse[1] = 128;
  model.material.diffuse[2] = 0;
  EXPECT_EQ(model.AddMaterial(), 3);
  EXPECT_EQ(MaterialName(3), "FF_80_00");
}

TEST_F(ModelRecords, UniqueNamingEndsEvenWhenCuttingGivesTheSameName) {
  // 35 characters: cut to 30 plus "_2" gives a name that exists as well.
  const std::string long_name(35, 'a');
  const std::string cut_name = std::string(30, 'a') + "_2";
  model.ResetMaterial();
  model.SetMaterialName(long_name.c_str());
  model.AddMaterial();
  model.SetMaterialName(cut_name.c_str());
  model.AddMaterial();
  model.SetMaterialName(long_name.c_str());
  ASSERT_EQ(model.AddMaterial(), 2);
  const std::string third = MaterialName(2);
  EXPECT_NE(third, long_name);
  EXPECT_NE(third, cut_name);
  EXPECT_LE(third.size(), 39u);
  EXPECT_EQ(third.substr(0, 30), std::string(30, 'a'));
}

TEST_F(ModelRecords, MaterialNamesAreCutAndCopiedBounded) {
  model.ResetMaterial();
  model.SetMaterialName(std::string(60, 'x').c_str());
  EXPECT_EQ(std::strlen(model.material.name), 39u);
  char small[5];
  model.GetMaterialName(small, sizeof small);
  EXPECT_STREQ(small, "xxxx");
  char big[100];
  model.GetMaterialName(big, sizeof big);
  EXPECT_EQ(std::strlen(big), 39u);
}

TEST_F(ModelRecords, MaterialOfColorFindsOrAddsOne) {
  EXPECT_EQ(model.MaterialOfColor(10, 20, 30), 0);
  EXPECT_EQ(model.MaterialOfColor(10, 20, 30), 0);
  EXPECT_EQ(model.materials_count, 1u);
  EXPECT_EQ(MaterialName(0), "0A_14_1E");
  EXPECT_EQ(model.material.ambient[0], 160);
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  model.GetMaterial(1);
  EXPECT_EQ(model.material.transparency, 100);
  EXPECT_EQ(model.materials_count, 2u);
}

TEST_F(ModelRecords, SetMaterialWritesBackAndRefusesMissingOnes) {
  model.MaterialOfColor(1, 1, 1);
  model.GetMaterial(0);
  model.material.shininess = 77;
  EXPECT_EQ(model.SetMaterial(0), 1);
  model.ResetMaterial();
  model.GetMaterial(0);
  EXPECT_EQ(model.material.shininess, 77);
  LogCapture log;
  EXPECT_EQ(model.SetMaterial(1), 0);
  EXPECT_TRUE(log.Contains("SetMaterial: index > count\n"));
}

TEST_F(ModelRecords, MaterialLimitIsLoggedOnTheLastMaterial) {
  LogCapture log;
  char name[40];
  for (int i = 0; i < 9999; ++i) {
    model.ResetMaterial();
    std::snprintf(name, sizeof name, "m%d", i);
    model.SetMaterialName(name);
    ASSERT_EQ(model.AddMaterial(), i);
  }
  EXPECT_FALSE(log.Contains("AddMaterial: Limit reached\n"));
  model.SetMaterialName("last");
  EXPECT_EQ(model.AddMaterial(), 9999);
  EXPECT_TRUE(log.Contains("AddMaterial: Limit reached\n"));
  model.SetMaterialName("refused");
  EXPECT_EQ(model.AddMaterial(), -1);
  EXPECT_EQ(model.materials_count, 10000u);
  EXPECT_EQ(MaterialName(9999), "last");
}

TEST_F(ModelRecords, ElementMaterialsCountFromTheCurrentObject) {
  for (int i = 0; i < 4; ++i) model.StoreVertex(i, 0, 0);
  const uint32_t triangle[3] = {0, 1, 2};
  model.StorePolygon(3, triangle);
  model.NewObject();
  model.StoreVertex(9, 9, 9);
  model.StorePolygon(3, triangle);
  EXPECT_EQ(model.GetPolygonMaterial(1), kNoMaterial);
  ASSERT_EQ(model.SetPolygonMaterial(0, 5), 1);  // object 1's first polygon
  EXPECT_EQ(model.GetPolygonMaterial(1), 5);
  EXPECT_EQ(model.GetPolygonMaterial(0), kNoMaterial);
  model.SetVertexMaterial(0, 2);
  EXPECT_EQ(model.GetVertexMaterial(4), 2);
  model.SetPointMaterial(2, 3);
  EXPECT_EQ(model.GetPointMaterial(5), 3);

  LogCapture log;
  EXPECT_EQ(model.GetPolygonMaterial(2), 0);
  EXPECT_TRUE(log.Contains("GetPolygonMaterial: pindex > polygons\n"));
  EXPECT_EQ(model.GetVertexMaterial(5), 0);
  EXPECT_TRUE(log.Contains("GetVertexMaterial: vindex(5) > vertexs_count(5)\n"));
  EXPECT_EQ(model.GetPointMaterial(6), 0);
  EXPECT_TRUE(log.Contains("GetPointMaterial: pindex(6) > points_count(6)\n"));
}

TEST_F(ModelRecords, NewObjectReusesAnEmptyObjectAndClosesTheLastOne) {
  EXPECT_EQ(model.objects_count, 1u);
  EXPECT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.objects_count, 1u);  // object 0 was still empty

  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  const uint32_t triangle[3] = {0, 1, 2};
  model.StorePolygon(3, triangle);
  model.StoreEdge(0, 1);
  model.SetObjectName("first");
  ASSERT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.objects_count, 2u);
  EXPECT_EQ(model.CurrentObject(), 1u);
  const ObjectRecord first = Object(0);
  EXPECT_EQ(first.vertex_count, 3u);
  EXPECT_EQ(first.polygon_count, 1u);
  EXPECT_EQ(first.point_count, 3u);
  EXPECT_EQ(first.edge_count, 1u);
  EXPECT_STREQ(first.name, "first");
  const ObjectRecord second = Object(1);
  EXPECT_EQ(second.first_vertex, 3u);
  EXPECT_EQ(second.first_point, 3u);
  EXPECT_EQ(second.first_edge, 1u);
  EXPECT_EQ(second.owner, -1);
  EXPECT_EQ(second.order, -1);
}

TEST_F(ModelRecords, TheFiveHundredFirstObjectIsRefused) {
  for (uint32_t i = 1; i < 500; ++i) {
    model.StoreVertex(0, 0, 0);
    ASSERT_EQ(model.NewObject(), 1) << i;
  }
  EXPECT_EQ(model.objects_count, 500u);
  model.StoreVertex(0, 0, 0);
  LogCapture log;
  EXPECT_EQ(model.NewObject(), 0);
  EXPECT_TRUE(log.Contains("Can't create more objects. Improve!\n"));
  EXPECT_EQ(model.objects_count, 500u);
  EXPECT_EQ(model.OpenEmptyObject(), 0);
  EXPECT_EQ(model.AddObjectByRanges(0, 1, 0, 0, 0, 0, 0, 0, "x"), 0);
}

TEST_F(ModelRecords, FinishObjectsDropsAnEmptyLastObjectAndNamesTheRest) {
  model.StoreVertex(0, 0, 0);
  model.NewObject();
  model.StoreVertex(1, 0, 0);
  model.SetObjectName("named");
  model.NewObject();
  model.StoreVertex(2, 0, 0);
  model.NewObject();  // empty, last
  EXPECT_EQ(model.objects_count, 4u);
  LogCapture log;
  model.FinishObjects();
  EXPECT_EQ(model.objects_count, 3u);
  EXPECT_STREQ(Object(0).name, "Converted object 0");
  EXPECT_STREQ(Object(1).name, "named");
  EXPECT_STREQ(Object(2).name, "Converted object 2");
  EXPECT_TRUE(log.Contains("\nObjects finished, count 3\n"));
  EXPECT_TRUE(log.Contains(" no   vertexs polygons name\n"));
  EXPECT_TRUE(log.Contains("  1.        1        0 named\n"));
}

TEST_F(ModelRecords, ObjectsGivenByRangesAreKeptAsGiven) {
  for (int i = 0; i < 10; ++i) model.StoreVertex(i, 0, 0);
  EXPECT_EQ(model.AddObjectByRanges(0, 0, 0, 0, 0, 0, 0, 0, "empty"), 0);
  ASSERT_EQ(model.AddObjectByRanges(2, 6, 0, 0, 0, 0, 0, 0, std::string(50, 'n').c_str()), 1);
  const ObjectRecord added = Object(1);
  EXPECT_EQ(added.first_vertex, 2u);
  EXPECT_EQ(added.vertex_count, 4u);
  EXPECT_EQ(std::strlen(added.name), 39u);
  model.FinishObjects();  // explicit objects: ranges are not recomputed
  EXPECT_EQ(Object(1).vertex_count, 4u);
  EXPECT_EQ(Object(0).vertex_count, 0u);

  ObjectRecord record{};
  LogCapture log;
  EXPECT_EQ(model.GetObjectInfo(2, &record), 1);  // the entry after the last
  EXPECT_EQ(model.GetObjectInfo(3, &record), 0);
  EXPECT_TRUE(log.Contains("GetObjectInfo: index > count\n"));
  EXPECT_EQ(model.SetObjectInfo(3, &record), 0);
  EXPECT_TRUE(log.Contains("SetObjectInfo: index > count\n"));
}

TEST_F(ModelRecords, VertexOwnersDefaultToNoneAndAreBoundByCapacity) {
  model.StoreVertex(0, 0, 0);
  EXPECT_EQ(model.GetVertexOwner(0), kNoOwner);
  ASSERT_EQ(model.SetVertexOwner(0, 7), 1);
  EXPECT_EQ(model.GetVertexOwner(0), 7);
  LogCapture log;
  EXPECT_EQ(model.GetVertexOwner(10000), 0);
  EXPECT_TRUE(log.Contains("GetVertexOwner: index > max\n"));
  EXPECT_EQ(model.SetVertexOwner(2000000, 1), 0);
  EXPECT_TRUE(log.Contains("SetVertexOwner: index > max\n"));
}

TEST_F(ModelRecords, JointsAreUniqueByNameAndLimitedTo201) {
  EXPECT_EQ(model.joints_count, 1u);  // the root joint
  EXPECT_EQ(model.AddJoint(1, 2, 3, "hip"), 1);
  LogCapture log;
  EXPECT_EQ(model.AddJoint(9, 9, 9, "hip"), 1);
  EXPECT_TRUE(log.Contains("Joint with name [hip] already exists, skipping\n"));
  EXPECT_EQ(model.AddJoint(0, 0, 0, ""), 0);  // matches the unnamed root
  double x = 0, y = 0, z = 0;
  model.GetJointPosition(1, x, y, z);
  EXPECT_EQ(z, 3);

  char name[16];
  for (int i = 2; i < 201; ++i) {
    std::snprintf(name, sizeof name, "j%d", i);
    ASSERT_EQ(model.AddJoint(i, 0, 0, name), i);
  }
  EXPECT_EQ(model.AddJoint(0, 0, 0, "one too many"), -1);
  EXPECT_TRUE(log.Contains("AddJoint: MaxJoints reached\n"));
  EXPECT_EQ(model.joints_count, 201u);

  JointRecord record{};
  EXPECT_EQ(model.GetJointInfo(201, &record), 0);
  EXPECT_TRUE(log.Contains("GetJointInfo: jindex >= joints_count"));
  EXPECT_STREQ(record.name, "");  // joint 0's record
  EXPECT_EQ(model.SetJointInfo(300, &record), 0);
  EXPECT_TRUE(log.Contains("SetJointInfo: jindex >= joints_count"));
}

TEST_F(ModelRecords, ChildJointsHangOffTheirParentWithABone) {
  model.AddJoint(0, 2, 0, "parent");
  const int32_t bone = model.AddChildJoint("parent", "child", 0, 1, 0);
  ASSERT_EQ(bone, 0);
  double x = 0, y = 0, z = 0;
  model.GetJointPosition(2, x, y, z);
  EXPECT_EQ(y, 3);
  BoneRecord record{};
  ASSERT_EQ(model.GetBoneInfo(0, &record), 1);
  EXPECT_EQ(record.first_joint, 1);
  EXPECT_EQ(record.second_joint, 2);
  EXPECT_DOUBLE_EQ(record.length, 0.1);
  model.CalcBoneLengths();
  model.GetBoneInfo(0, &record);
  EXPECT_DOUBLE_EQ(record.length, 1.0);
  EXPECT_EQ(model.GetParentJoint(2), 1);
  EXPECT_EQ(model.GetParentJoint(1), 0);  // no bone ends there
  EXPECT_EQ(model.FindBone(1, 1), 0);
  EXPECT_EQ(model.FindBone(2, 0), 0);
  EXPECT_EQ(model.FindBone(2, 1), -1);

  LogCapture log;
  EXPECT_EQ(model.AddChildJoint("nobody", "x", 0, 0, 0), -1);
  EXPECT_TRUE(log.Contains("AddChildJoint: Could not find parent (nobody)\n"));
  EXPECT_EQ(model.GetBoneInfo(5, &record), 0);
  EXPECT_TRUE(log.Contains("GetBoneInfo: bindex >= bones_count"));
}

TEST_F(ModelRecords, LayoutSkeletonStacksJointsByBoneLengths) {
  const int32_t a = model.AddJoint(5, 5, 5, "a");
  const int32_t b = model.AddJoint(5, 5, 5, "b");
  const int32_t loose = model.AddJoint(5, 5, 5, "loose");
  // The bone towards the child comes first in bone order.
  model.AddBone(static_cast<int16_t>(a), static_cast<int16_t>(b), 3.0);
  model.AddBone(0, static_cast<int16_t>(a), 2.0);
  model.LayoutSkeleton();
  double x = 9, y = 9, z = 9;
  model.GetJointPosition(a, x, y, z);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 5);
  EXPECT_EQ(z, 2);
  model.GetJointPosition(b, x, y, z);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(z, 5);
  model.GetJointPosition(loose, x, y, z);
  EXPECT_EQ(z, 0);
}

TEST_F(ModelRecords, BonesAreLimitedTo200AndNamedWithinBounds) {
  LogCapture log;
  for (int i = 0; i < 198; ++i) ASSERT_EQ(model.AddBone(0, 0, 1), i);
  EXPECT_FALSE(log.Contains("AddBone: Bones limit reached\n"));
  EXPECT_EQ(model.AddBone(0, 0, 1), 198);
  EXPECT_TRUE(log.Contains("AddBone: Bones limit reached\n"));
  EXPECT_EQ(model.AddBone(0, 0, 1), 199);
  EXPECT_EQ(model.AddBone(0, 0, 1), -1);
  EXPECT_EQ(model.bones_count, 200u);

  EXPECT_EQ(model.SetBoneName(3, std::string(45, 'b').c_str()), 1);
  EXPECT_EQ(std::strlen(model.GetBoneName(3)), 39u);
  EXPECT_EQ(model.SetBoneName(200, "x"), 0);
  EXPECT_STREQ(model.GetBoneName(200), "");
  EXPECT_TRUE(log.Contains("SetBoneName: index out of range\n"));
}

TEST_F(ModelRecords, LightsGetDefaultsAndNames) {
  model.ResetLight();
  EXPECT_EQ(model.light.kind, 2u);
  EXPECT_EQ(model.light.second[1], 1.0);
  EXPECT_EQ(model.light.value, 20.0);
  EXPECT_EQ(model.light.third_colour[0], 60);
  EXPECT_EQ(model.AddLight(), 0);
  model.SetLightName("sun");
  EXPECT_EQ(model.AddLight(), 1);
  LightRecord record{};
  ASSERT_EQ(model.GetLightInfo(0, &record), 1);
  EXPECT_STREQ(record.name, "Light 0");
  ASSERT_EQ(model.GetLightInfo(1, &record), 1);
  EXPECT_STREQ(record.name, "sun");
  EXPECT_EQ(record.index, -1);
}

TEST_F(ModelRecords, LightLimitIsLoggedOnTheLastLight) {
  LogCapture log;
  model.ResetLight();
  for (int i = 0; i < 2999; ++i) ASSERT_EQ(model.AddLight(), i);
  EXPECT_FALSE(log.Contains("AddLight:Lights limit reached\n"));
  EXPECT_EQ(model.AddLight(), 2999);
  EXPECT_TRUE(log.Contains("AddLight:Lights limit reached\n"));
  EXPECT_EQ(model.AddLight(), -1);
}

}  // namespace
}  // namespace zepcon
