// Materials, objects, skeleton and lights, and the checks that repair them after loading.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

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
  int32_t AddNamedMaterial(const std::string& name) {
    model.ResetMaterial();
    model.SetMaterialName(name.c_str());
    return model.AddMaterial();
  }
  ObjectRecord Object(uint32_t index) {
    ObjectRecord record{};
    EXPECT_EQ(model.GetObjectInfo(index, &record), 1) << index;
    return record;
  }
  void Triangle(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t list[3] = {a, b, c};
    model.StorePolygon(3, list);
  }
  void StoreVertices(int count) {
    for (int i = 0; i < count; ++i) model.StoreVertex(i, 0, 0);
  }
  double JointZ(int32_t joint) {
    double x = -1, y = -1, z = -1;
    model.GetJointPosition(joint, x, y, z);
    return z;
  }
  ModelData model;
};

TEST_F(ModelRecords, MaterialNamesAreMadeUniqueAndCutToFit) {
  const struct {
    std::string given, stored;
  } adds[] = {
      {"metal", "metal"},
      {"metal", "metal_1"},
      {"metal", "metal_2"},  // metal clashes, metal_2 is free
      {"", "FF_FF_FF"},      // unnamed: named by its diffuse colour
      {std::string(60, 'x'), std::string(39, 'x')},
      {std::string(30, 'a') + "_7", std::string(30, 'a') + "_7"},
      {std::string(35, 'a'), std::string(35, 'a')},
  };
  for (uint32_t i = 0; i < std::size(adds); ++i) {
    ASSERT_EQ(AddNamedMaterial(adds[i].given), static_cast<int32_t>(i));
    EXPECT_EQ(MaterialName(i), adds[i].stored) << i;
  }
  // A clash: cutting to 30 and appending "_<count>" gives a name that exists as well.
  ASSERT_EQ(AddNamedMaterial(std::string(35, 'a')), 7);
  const std::string seventh = MaterialName(7);
  EXPECT_EQ(seventh.substr(0, 31), std::string(30, 'a') + "_");
  EXPECT_NE(seventh, std::string(30, 'a') + "_7");
  char small[5];
  model.GetMaterialName(small, sizeof small);
  EXPECT_STREQ(small, "aaaa");
}

TEST_F(ModelRecords, MaterialsByColourAreFoundOrAdded) {
  EXPECT_EQ(model.MaterialOfColor(10, 20, 30), 0);
  EXPECT_EQ(model.MaterialOfColor(10, 20, 30), 0);
  EXPECT_EQ(MaterialName(0), "0A_14_1E");
  EXPECT_EQ(model.material.ambient[0], 160);  // the rest is the default material
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  EXPECT_EQ(model.materials_count, 2u);
  model.GetMaterial(1);
  EXPECT_EQ(model.material.transparency, 100);

  model.material.shininess = 77;
  EXPECT_EQ(model.SetMaterial(1), 1);
  LogCapture log;
  EXPECT_EQ(model.SetMaterial(2), 0);
  EXPECT_TRUE(log.Contains("SetMaterial: index > count\n"));
  EXPECT_EQ(model.GetMaterial(2), 0);  // missing: the default, silently
  EXPECT_EQ(model.material.shininess, 5);
  model.GetMaterial(1);
  EXPECT_EQ(model.material.shininess, 77);
  EXPECT_EQ(log.Text(), "SetMaterial: index > count\n");
}

TEST_F(ModelRecords, ElementMaterialsCountFromTheCurrentObject) {
  StoreVertices(4);
  Triangle(0, 1, 2);
  model.NewObject();
  model.StoreVertex(9, 9, 9);
  Triangle(0, 1, 2);
  ASSERT_EQ(model.SetPolygonMaterial(0, 5), 1);  // object 1's first polygon
  EXPECT_EQ(model.GetPolygonMaterial(1), 5);
  EXPECT_EQ(model.GetPolygonMaterial(0), kNoMaterial);
  model.SetVertexMaterial(0, 2);
  EXPECT_EQ(model.GetVertexMaterial(4), 2);
  model.SetPointMaterial(2, 3);
  EXPECT_EQ(model.GetPointMaterial(5), 3);

  LogCapture log;
  EXPECT_EQ(model.GetPolygonMaterial(2) + model.GetVertexMaterial(5) + model.GetPointMaterial(6),
            0);
  EXPECT_TRUE(log.Contains("GetPolygonMaterial: pindex > polygons\n"));
  EXPECT_TRUE(log.Contains("GetVertexMaterial: vindex(5) > vertexs_count(5)\n"));
  EXPECT_TRUE(log.Contains("GetPointMaterial: pindex(6) > points_count(6)\n"));
}

TEST_F(ModelRecords, ObjectsCloseInTurnAndAreNamedWhenFinished) {
  EXPECT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.objects_count, 1u);  // object 0 was still empty
  StoreVertices(3);
  Triangle(0, 1, 2);
  model.StoreEdge(0, 1);
  model.SetObjectName("named");
  ASSERT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.CurrentObject(), 1u);
  model.StoreVertex(0, 0, 0);
  model.NewObject();  // empty, last: dropped by FinishObjects
  EXPECT_EQ(model.objects_count, 3u);
  LogCapture log;
  model.FinishObjects();
  EXPECT_EQ(model.objects_count, 2u);
  const ObjectRecord first = Object(0), second = Object(1);
  EXPECT_EQ(first.vertex_count + first.polygon_count + first.point_count + first.edge_count, 8u);
  EXPECT_STREQ(first.name, "named");
  EXPECT_EQ(second.first_vertex + second.first_point + second.first_edge, 7u);
  EXPECT_EQ(second.vertex_count, 1u);
  EXPECT_EQ(second.owner, -1);
  EXPECT_EQ(second.order, -1);
  EXPECT_STREQ(second.name, "Converted object 1");
  EXPECT_TRUE(log.Contains("\nObjects finished, count 2\n"));
  EXPECT_TRUE(log.Contains(" no   vertexs polygons name\n"));
  EXPECT_TRUE(log.Contains("  0.        3        1 named\n"));
}

TEST_F(ModelRecords, ObjectsGivenByRangesAreKeptAsGivenUpToTheLimit) {
  StoreVertices(10);
  EXPECT_EQ(model.AddObjectByRanges(0, 0, 0, 0, 0, 0, 0, 0, "empty"), 0);
  ASSERT_EQ(model.AddObjectByRanges(2, 6, 0, 0, 0, 0, 0, 0, std::string(50, 'n').c_str()), 1);
  EXPECT_EQ(std::strlen(Object(1).name), 39u);
  model.FinishObjects();  // explicit objects: ranges are not recomputed
  EXPECT_EQ(Object(1).first_vertex, 2u);
  EXPECT_EQ(Object(1).vertex_count, 4u);
  EXPECT_EQ(Object(0).vertex_count, 0u);
  ObjectRecord record{};
  LogCapture log;
  EXPECT_EQ(model.GetObjectInfo(2, &record), 1);  // the entry after the last
  EXPECT_EQ(model.GetObjectInfo(3, &record) + model.SetObjectInfo(3, &record), 0);
  EXPECT_TRUE(log.Contains("GetObjectInfo: index > count\n"));
  EXPECT_TRUE(log.Contains("SetObjectInfo: index > count\n"));

  while (model.objects_count < 500) ASSERT_EQ(model.OpenEmptyObject(), 1);
  model.StoreVertex(0, 0, 0);
  EXPECT_EQ(model.NewObject(), 0);
  EXPECT_TRUE(log.Contains("Can't create more objects. Improve!\n"));
  EXPECT_EQ(model.OpenEmptyObject() + model.AddObjectByRanges(0, 1, 0, 0, 0, 0, 0, 0, "x"), 0);
  EXPECT_EQ(model.objects_count, 500u);
}

TEST_F(ModelRecords, JointsAreUniqueByNameAndLimitedTo201) {
  EXPECT_EQ(model.joints_count, 1u);  // the root joint
  EXPECT_EQ(model.AddJoint(1, 2, 3, "hip"), 1);
  LogCapture log;
  EXPECT_EQ(model.AddJoint(9, 9, 9, "hip"), 1);
  EXPECT_TRUE(log.Contains("Joint with name [hip] already exists, skipping\n"));
  EXPECT_EQ(model.AddJoint(0, 0, 0, ""), 0);  // matches the unnamed root
  EXPECT_EQ(JointZ(1), 3);
  char name[16];
  for (int i = 2; i < 201; ++i) {
    std::snprintf(name, sizeof name, "j%d", i);
    ASSERT_EQ(model.AddJoint(i, 0, 0, name), i);
  }
  EXPECT_EQ(model.AddJoint(0, 0, 0, "one too many"), -1);
  EXPECT_TRUE(log.Contains("AddJoint: MaxJoints reached\n"));
  EXPECT_EQ(model.joints_count, 201u);
  JointRecord record{};
  EXPECT_EQ(model.GetJointInfo(201, &record) + model.SetJointInfo(300, &record), 0);
  EXPECT_STREQ(record.name, "");  // joint 0's record
  EXPECT_TRUE(log.Contains("GetJointInfo: jindex >= joints_count"));
  EXPECT_TRUE(log.Contains("SetJointInfo: jindex >= joints_count"));
}

TEST_F(ModelRecords, ChildJointsHangOffTheirParentWithABone) {
  model.AddJoint(0, 2, 0, "parent");
  ASSERT_EQ(model.AddChildJoint("parent", "child", 0, 1, 0), 0);
  double x = 0, y = 0, z = 0;
  model.GetJointPosition(2, x, y, z);
  EXPECT_EQ(y, 3);
  BoneRecord record{};
  ASSERT_EQ(model.GetBoneInfo(0, &record), 1);
  EXPECT_EQ(record.first_joint * 10 + record.second_joint, 12);
  EXPECT_DOUBLE_EQ(record.length, 0.1);
  model.CalcBoneLengths();
  model.GetBoneInfo(0, &record);
  EXPECT_DOUBLE_EQ(record.length, 1.0);
  EXPECT_EQ(model.GetParentJoint(2), 1);
  EXPECT_EQ(model.GetParentJoint(1), 0);  // no bone ends there
  EXPECT_EQ(model.FindBone(1, 1) + model.FindBone(2, 0), 0);
  EXPECT_EQ(model.FindBone(2, 1), -1);

  LogCapture log;
  EXPECT_EQ(model.AddChildJoint("nobody", "x", 0, 0, 0), -1);
  EXPECT_TRUE(log.Contains("AddChildJoint: Could not find parent (nobody)\n"));
  EXPECT_EQ(model.GetBoneInfo(5, &record), 0);
  EXPECT_TRUE(log.Contains("GetBoneInfo: bindex >= bones_count"));
  EXPECT_EQ(model.SetBoneName(0, std::string(45, 'b').c_str()), 1);
  EXPECT_EQ(std::strlen(model.GetBoneName(0)), 39u);
  EXPECT_EQ(model.SetBoneName(200, "x"), 0);
  EXPECT_STREQ(model.GetBoneName(200), "");
  EXPECT_TRUE(log.Contains("SetBoneName: index out of range\n"));
}

TEST_F(ModelRecords, LayoutSkeletonStacksJointsByBoneLengths) {
  const int32_t a = model.AddJoint(5, 5, 5, "a"), b = model.AddJoint(5, 5, 5, "b");
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
  EXPECT_EQ(JointZ(loose), 0);
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

using ModelChecks = ModelRecords;

TEST_F(ModelChecks, DanglingPointsAreRedirectedToVertexZero) {
  StoreVertices(3);
  Triangle(0, 1, 2);
  Triangle(2, 7, 9);
  LogCapture log;
  model.CheckPolygons();
  EXPECT_TRUE(log.Contains(" found 2 bad polygons pointings, redirected to 0\n"));
  const uint32_t expected[6] = {0, 1, 2, 2, 0, 0};
  for (uint32_t p = 0; p < 6; ++p) EXPECT_EQ(model.GetPointVertex(p), expected[p]) << p;
  log.Clear();
  model.CheckPolygons();
  EXPECT_EQ(log.Text(), "Checking polygons...Ok\n");
}

TEST_F(ModelChecks, MaterialCheckRepairsIndexesTexturesAndUsage) {
  StoreVertices(3);
  for (int i = 0; i < 3; ++i) Triangle(0, 1, 2);
  model.poly_materials_present = model.point_materials_present = 1;
  model.SetPolygonMaterial(0, 4);   // no such material
  model.SetPolygonMaterial(1, -1);  // none stays none
  model.SetPointMaterial(8, -7);    // negative and not none
  model.SetVertexMaterial(1, 0);    // vertex materials are not present: ignored
  LogCapture log;
  model.CheckMaterials();
  ASSERT_EQ(model.materials_count, 1u);
  EXPECT_EQ(MaterialName(0), "default material");
  EXPECT_EQ(model.material.diffuse[0], 255);
  EXPECT_EQ(model.material.usage_flags, 1u | 4u);
  EXPECT_EQ(log.Text(),
            "Checking materials...1 bad poly materials found, redirected to material 0.."
            ".1 bad point materials found, redirected to material 0..Done\n");
  EXPECT_EQ(model.GetPolygonMaterial(0), 0);
  EXPECT_EQ(model.GetPolygonMaterial(1), kNoMaterial);
  EXPECT_EQ(model.GetPointMaterial(8), 0);
  EXPECT_EQ(model.relative_writes, 0u);

  // Usage bits per kind; texture indexes beyond the textures are removed.
  ASSERT_EQ(model.InitData(), 1);
  StoreVertices(3);
  Triangle(0, 1, 2);
  model.textures_count = 3;  // as the texture loader leaves it
  const int32_t textures[3] = {7, -1, 2};
  for (int32_t texture : textures) {
    model.ResetMaterial();
    model.material.texture = texture;
    model.material.diffuse[0] = static_cast<uint8_t>(texture + 1);  // distinct names
    model.AddMaterial();
  }
  model.poly_materials_present = model.vert_materials_present = 1;
  model.SetPolygonMaterial(0, 2);
  model.SetVertexMaterial(1, 2);
  model.SetVertexMaterial(2, 0);
  log.Clear();
  model.CheckMaterials();
  EXPECT_TRUE(log.Contains(".1 bad texture indexes found, tex removed.."));
  const uint32_t usage[3] = {2u, 0u, 1u | 2u};
  const int32_t kept_texture[3] = {-1, -1, 2};
  for (uint32_t i = 0; i < 3; ++i) {
    model.GetMaterial(i);
    EXPECT_EQ(model.material.usage_flags, usage[i]) << i;
    EXPECT_EQ(model.material.texture, kept_texture[i]) << i;
  }
}

TEST_F(ModelChecks, BoneNamesAreFilledAndMadeUnique) {
  const char* given[7] = {"arm", "arm", nullptr, "bone 2", "", "", ""};
  const std::string long_name(39, 'q');
  for (uint32_t i = 0; i < 7; ++i) {
    model.AddBone(0, 0, 1);
    if (given[i]) model.SetBoneName(i, i < 4 ? given[i] : long_name.c_str());
  }
  model.CheckSkelet();
  const char* expected[4] = {"arm_0", "arm", "bone 2_2", "bone 2"};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_STREQ(model.GetBoneName(i), expected[i]) << i;
  // Long duplicates: the suffix replaces the end of the name.
  std::set<std::string> names;
  for (uint32_t i = 4; i < 7; ++i) names.insert(model.GetBoneName(i));
  EXPECT_EQ(names.size(), 3u);
  for (const std::string& name : names) EXPECT_EQ(name.size(), 39u);
}

TEST_F(ModelChecks, JointHierarchyComesFromTheBones) {
  // root(0) -> 1 -> 2, root -> 3
  for (const char* name : {"a", "b", "c"}) model.AddJoint(0, 0, 0, name);
  model.AddBone(0, 3, 1);
  model.AddBone(1, 2, 1);
  model.AddBone(0, 1, 1);
  model.CheckSkelet();
  const int32_t expected_depth[4] = {0, 1, 2, 1};
  for (uint32_t j = 0; j < 4; ++j) {
    JointRecord record{};
    ASSERT_EQ(model.GetJointInfo(j, &record), 1);
    EXPECT_EQ(record.order, static_cast<int32_t>(j));
    EXPECT_EQ(record.depth, expected_depth[j]) << j;
  }
}

TEST(SortHierarchy, NumbersAForestDepthFirstInPreOrder) {
  const struct {
    const char* name;
    std::vector<int32_t> parent, order, depth;
  } forests[] = {
      // Parent 99 is out of range: no parent.
      {"forest", {-1, 0, 0, 1, -1, 4, 99}, {0, 1, 3, 2, 4, 5, 6}, {0, 1, 1, 2, 0, 1, 0}},
      {"children before parents", {3, 0, -1, 2}, {2, 3, 0, 1}, {2, 3, 0, 1}},
      // 0 -> 1 -> 0 is a cycle, 2 hangs off it: no depth, numbered first.
      {"cycle", {1, 0, 1, -1, 3}, {0, 1, 2, 3, 4}, {-2, -2, -2, 0, 1}},
  };
  for (const auto& forest : forests) {
    SCOPED_TRACE(forest.name);
    std::vector<int32_t> parent = forest.parent, order(parent.size()), depth(parent.size());
    ASSERT_EQ(ModelData::SortHierarchy(static_cast<uint32_t>(parent.size()), parent.data(),
                                       order.data(), depth.data()),
              1);
    EXPECT_EQ(order, forest.order);
    EXPECT_EQ(depth, forest.depth);
  }
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
  const int32_t owners[4] = {-1, 0, 3, 2};  // 3 equals the joint count
  for (uint32_t i = 0; i < 4; ++i) {
    ObjectRecord record = Object(i);
    record.owner = owners[i];
    model.SetObjectInfo(i, &record);
  }
  ASSERT_EQ(model.CheckObjectOwning(), 1);
  // Objects 0 (root) -> 1; 2 root; 3 -> 2.
  const int32_t kept_owners[4] = {-1, 0, -1, 2}, depths[4] = {0, 1, 0, 1};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Object(i).owner, kept_owners[i]) << i;
    EXPECT_EQ(Object(i).order, static_cast<int32_t>(i));
    EXPECT_EQ(Object(i).depth, depths[i]) << i;
  }
}

TEST_F(ModelChecks, CheckModelRepairsALoadedModelInOnePass) {
  StoreVertices(3);
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
  EXPECT_EQ(Object(1).order, 1);
  const std::string& text = log.Text();  // the steps run in their order
  const size_t polygons = text.find("Checking polygons...");
  ASSERT_NE(polygons, std::string::npos);
  EXPECT_LT(polygons, text.find("Checking materials.."));
  EXPECT_LT(text.find("Checking materials.."), text.find("Objects finished"));
  EXPECT_FALSE(log.Contains("forgot objects"));

  ASSERT_EQ(model.InitData(), 1);
  log.Clear();
  EXPECT_EQ(model.CheckModel(), 1);
  EXPECT_EQ(model.objects_count, 0u);
  EXPECT_TRUE(log.Contains("forgot objects :(\n"));
}

}  // namespace
}  // namespace zepcon
