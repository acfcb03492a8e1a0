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

// Several values compared at once, each against its own expectation.
template <class... T>
std::vector<double> Values(T... values) {
  return {static_cast<double>(values)...};
}

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
  // First and count of vertices, polygons, points and edges.
  std::vector<double> Ranges(uint32_t index) {
    const ObjectRecord o = Object(index);
    return Values(o.first_vertex, o.vertex_count, o.first_polygon, o.polygon_count, o.first_point,
                  o.point_count, o.first_edge, o.edge_count);
  }
  void Triangle(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t list[3] = {a, b, c};
    model.StorePolygon(3, list);
  }
  void StoreVertices(int count) {
    for (int i = 0; i < count; ++i) model.StoreVertex(i, 0, 0);
  }
  std::vector<double> Joint(int32_t joint) {
    double x = -1, y = -1, z = -1;
    model.GetJointPosition(joint, x, y, z);
    return Values(x, y, z);
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
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  EXPECT_EQ(model.MaterialOfColorAlpha(10, 20, 30, 100), 1);
  EXPECT_EQ(model.materials_count, 2u);
  model.GetMaterial(1);
  EXPECT_EQ(Values(model.material.transparency, model.material.ambient[0]), Values(100, 160));
  LogCapture log;
  EXPECT_EQ(model.SetMaterial(2), 0);
  EXPECT_EQ(model.GetMaterial(2), 0);  // missing: the default one, silently
  EXPECT_EQ(model.material.transparency, 255);
  EXPECT_EQ(log.Text(), "SetMaterial: index > count\n");
}

TEST_F(ModelRecords, ElementMaterialsCountFromTheCurrentObject) {
  StoreVertices(4);
  Triangle(0, 1, 2);
  model.NewObject();
  model.StoreVertex(9, 9, 9);
  Triangle(0, 1, 2);
  ASSERT_EQ(model.SetPolygonMaterial(0, 5), 1);  // object 1's first polygon
  model.SetVertexMaterial(0, 2);
  model.SetPointMaterial(2, 3);
  EXPECT_EQ(Values(model.GetPolygonMaterial(0), model.GetPolygonMaterial(1),
                   model.GetVertexMaterial(4), model.GetPointMaterial(5)),
            Values(kNoMaterial, 5, 2, 3));
  LogCapture log;
  EXPECT_EQ(
      Values(model.GetPolygonMaterial(2), model.GetVertexMaterial(5), model.GetPointMaterial(6)),
      Values(0, 0, 0));
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
  EXPECT_EQ(Ranges(0), Values(0, 3, 0, 1, 0, 3, 0, 1));
  EXPECT_EQ(Ranges(1), Values(3, 1, 1, 0, 3, 0, 1, 0));
  EXPECT_EQ(Values(Object(1).owner, Object(1).order), Values(-1, -1));
  EXPECT_STREQ(Object(0).name, "named");
  EXPECT_STREQ(Object(1).name, "Converted object 1");
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
  EXPECT_EQ(Ranges(1), Values(2, 4, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(Object(0).vertex_count, 0u);
  ObjectRecord record{};
  LogCapture log;
  EXPECT_EQ(model.GetObjectInfo(2, &record), 1);  // the entry after the last
  EXPECT_EQ(Values(model.GetObjectInfo(3, &record), model.SetObjectInfo(3, &record)), Values(0, 0));
  EXPECT_TRUE(log.Contains("GetObjectInfo: index > count\n"));
  EXPECT_TRUE(log.Contains("SetObjectInfo: index > count\n"));

  while (model.objects_count < 500) ASSERT_EQ(model.OpenEmptyObject(), 1);
  model.StoreVertex(0, 0, 0);
  EXPECT_EQ(model.NewObject(), 0);
  EXPECT_TRUE(log.Contains("Can't create more objects. Improve!\n"));
  EXPECT_EQ(model.OpenEmptyObject(), 0);
  EXPECT_EQ(model.AddObjectByRanges(0, 1, 0, 0, 0, 0, 0, 0, "x"), 0);
  EXPECT_EQ(model.objects_count, 500u);
}

TEST_F(ModelRecords, JointsAreUniqueByNameAndLimitedTo201) {
  EXPECT_EQ(model.joints_count, 1u);  // the root joint
  EXPECT_EQ(model.AddJoint(1, 2, 3, "hip"), 1);
  LogCapture log;
  EXPECT_EQ(model.AddJoint(9, 9, 9, "hip"), 1);
  EXPECT_TRUE(log.Contains("Joint with name [hip] already exists, skipping\n"));
  EXPECT_EQ(model.AddJoint(0, 0, 0, ""), 0);  // matches the unnamed root
  EXPECT_EQ(Joint(1), Values(1, 2, 3));
  char name[16];
  for (int i = 2; i < 201; ++i) {
    std::snprintf(name, sizeof name, "j%d", i);
    ASSERT_EQ(model.AddJoint(i, 0, 0, name), i);
  }
  EXPECT_EQ(model.AddJoint(0, 0, 0, "one too many"), -1);
  EXPECT_TRUE(log.Contains("AddJoint: MaxJoints reached\n"));
  EXPECT_EQ(model.joints_count, 201u);
  JointRecord record{};
  EXPECT_EQ(Values(model.GetJointInfo(201, &record), model.SetJointInfo(300, &record)),
            Values(0, 0));
  EXPECT_STREQ(record.name, "");  // joint 0's record
  EXPECT_TRUE(log.Contains("GetJointInfo: jindex >= joints_count"));
  EXPECT_TRUE(log.Contains("SetJointInfo: jindex >= joints_count"));
}

TEST_F(ModelRecords, ChildJointsHangOffTheirParentWithABone) {
  model.AddJoint(0, 2, 0, "parent");
  ASSERT_EQ(model.AddChildJoint("parent", "child", 0, 1, 0), 0);
  EXPECT_EQ(Joint(2), Values(0, 3, 0));
  BoneRecord bone{};
  ASSERT_EQ(model.GetBoneInfo(0, &bone), 1);
  EXPECT_EQ(Values(bone.first_joint, bone.second_joint, bone.length), Values(1, 2, 0.1));
  model.CalcBoneLengths();
  model.GetBoneInfo(0, &bone);
  EXPECT_DOUBLE_EQ(bone.length, 1.0);
  // Parents of 2 and 1 (no bone ends there); bones by first and by second joint.
  EXPECT_EQ(Values(model.GetParentJoint(2), model.GetParentJoint(1), model.FindBone(1, 1),
                   model.FindBone(2, 0), model.FindBone(2, 1)),
            Values(1, 0, 0, 0, -1));
  LogCapture log;
  EXPECT_EQ(model.AddChildJoint("nobody", "x", 0, 0, 0), -1);
  EXPECT_TRUE(log.Contains("AddChildJoint: Could not find parent (nobody)\n"));
  EXPECT_EQ(model.GetBoneInfo(5, &bone), 0);
  EXPECT_TRUE(log.Contains("GetBoneInfo: bindex >= bones_count"));
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
  EXPECT_EQ(Joint(a), Values(0, 5, 2));
  EXPECT_EQ(Joint(b)[0], 0);
  EXPECT_EQ(Joint(b)[2], 5);
  EXPECT_EQ(Joint(loose)[2], 0);
}

TEST_F(ModelRecords, LightsAreNamedByIndexUnlessNamed) {
  model.ResetLight();
  EXPECT_EQ(model.AddLight(), 0);
  model.SetLightName("sun");
  EXPECT_EQ(model.AddLight(), 1);
  LightRecord record{};
  ASSERT_EQ(model.GetLightInfo(0, &record), 1);
  EXPECT_STREQ(record.name, "Light 0");
  ASSERT_EQ(model.GetLightInfo(1, &record), 1);
  EXPECT_STREQ(record.name, "sun");
  EXPECT_EQ(Values(record.kind, record.value, record.index), Values(2, 20, -1));
}

using ModelChecks = ModelRecords;

TEST_F(ModelChecks, CheckModelRepairsALoadedModelInOnePass) {
  // Object 0: a triangle and one pointing at missing vertices, with bad material indexes.
  StoreVertices(3);
  Triangle(0, 1, 2);
  Triangle(2, 7, 9);
  model.poly_materials_present = model.point_materials_present = 1;
  model.SetPolygonMaterial(0, 4);   // no such material
  model.SetPolygonMaterial(1, -1);  // none stays none
  model.SetPointMaterial(5, -7);    // negative and not none
  model.SetVertexMaterial(1, 0);    // vertex materials are not present: ignored
  // Objects 1 and 2, owned by object 0 and by 4 (the joint count: dropped).
  for (int32_t owner : {0, 4}) {
    model.NewObject();
    model.StoreVertex(3, 3, 3);
    ObjectRecord record = Object(model.CurrentObject());
    record.owner = owner;
    model.SetObjectInfo(model.CurrentObject(), &record);
  }
  model.SetObjectName("named");
  // Skeleton root(0) -> 1 -> 2, root -> 3; bone 2 unnamed, the others named twice.
  for (const char* name : {"a", "b", "c"}) model.AddJoint(0, 0, 0, name);
  const std::string long_name(39, 'q');
  const int16_t bones[6][2] = {{0, 3}, {1, 2}, {0, 1}, {2, 2}, {2, 2}, {2, 2}};
  const char* names[6] = {
      "arm", "arm", nullptr, long_name.c_str(), long_name.c_str(), long_name.c_str()};
  for (uint32_t i = 0; i < 6; ++i) {
    model.AddBone(bones[i][0], bones[i][1], 1);
    if (names[i]) model.SetBoneName(i, names[i]);
  }
  LogCapture log;
  EXPECT_EQ(model.CheckModel(), 1);

  std::vector<double> points;
  for (uint32_t p = 0; p < 6; ++p) points.push_back(model.GetPointVertex(p));
  EXPECT_EQ(points, Values(0, 1, 2, 2, 0, 0));
  EXPECT_TRUE(
      log.Contains("Checking polygons... found 2 bad polygons pointings, redirected to 0\n"
                   "Checking materials...1 bad poly materials found, redirected to "
                   "material 0...1 bad point materials found, redirected to material "
                   "0..Done\n"));
  ASSERT_EQ(model.materials_count, 1u);
  EXPECT_EQ(MaterialName(0), "default material");
  EXPECT_EQ(Values(model.material.diffuse[0], model.material.usage_flags), Values(255, 1 | 4));
  EXPECT_EQ(Values(model.GetPolygonMaterial(0), model.GetPolygonMaterial(1),
                   model.GetPointMaterial(5), model.relative_writes),
            Values(0, kNoMaterial, 0, 0));

  const char* expected_names[3] = {"arm_0", "arm", "bone 2"};
  for (uint32_t i = 0; i < 3; ++i) EXPECT_STREQ(model.GetBoneName(i), expected_names[i]) << i;
  // Long duplicates: the suffix replaces the end of the name.
  std::set<std::string> long_names;
  for (uint32_t i = 3; i < 6; ++i) long_names.insert(model.GetBoneName(i));
  EXPECT_EQ(long_names.size(), 3u);
  for (const std::string& name : long_names) EXPECT_EQ(name.size(), 39u);
  std::vector<double> joint_orders, joint_depths, owners, orders, depths;
  for (uint32_t j = 0; j < 4; ++j) {
    JointRecord record{};
    ASSERT_EQ(model.GetJointInfo(j, &record), 1);
    joint_orders.push_back(record.order);
    joint_depths.push_back(record.depth);
  }
  EXPECT_EQ(joint_orders, Values(0, 1, 2, 3));
  EXPECT_EQ(joint_depths, Values(0, 1, 2, 1));

  ASSERT_EQ(model.objects_count, 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    owners.push_back(Object(i).owner);
    orders.push_back(Object(i).order);
    depths.push_back(Object(i).depth);
  }
  EXPECT_EQ(owners, Values(-1, 0, -1));
  EXPECT_EQ(orders, Values(0, 1, 2));
  EXPECT_EQ(depths, Values(0, 1, 0));
  EXPECT_STREQ(Object(1).name, "Converted object 1");
  EXPECT_STREQ(Object(2).name, "named");
  EXPECT_EQ(Ranges(2), Values(4, 1, 2, 0, 6, 0, 0, 0));
  EXPECT_FALSE(log.Contains("forgot objects"));

  ASSERT_EQ(model.InitData(), 1);
  log.Clear();
  EXPECT_EQ(model.CheckModel(), 1);
  EXPECT_EQ(model.objects_count, 0u);
  EXPECT_TRUE(log.Contains("Checking polygons...Ok\n"));
  EXPECT_TRUE(log.Contains("forgot objects :(\n"));
}

TEST_F(ModelChecks, MaterialCheckMarksUsageAndRemovesMissingTextures) {
  StoreVertices(3);
  Triangle(0, 1, 2);
  model.textures_count = 3;  // as the texture loader leaves it
  for (int32_t texture : {7, -1, 2}) {
    model.ResetMaterial();
    model.material.texture = texture;
    model.material.diffuse[0] = static_cast<uint8_t>(texture + 1);  // distinct names
    model.AddMaterial();
  }
  model.poly_materials_present = model.vert_materials_present = 1;
  model.SetPolygonMaterial(0, 2);
  model.SetVertexMaterial(1, 2);
  model.SetVertexMaterial(2, 0);
  model.SetPointMaterial(0, 1);  // point materials are not present: ignored
  LogCapture log;
  model.CheckMaterials();
  EXPECT_TRUE(log.Contains(".1 bad texture indexes found, tex removed.."));
  std::vector<double> usage, textures;
  for (uint32_t i = 0; i < 3; ++i) {
    model.GetMaterial(i);
    usage.push_back(model.material.usage_flags);
    textures.push_back(model.material.texture);
  }
  EXPECT_EQ(usage, Values(2, 0, 1 | 2));
  EXPECT_EQ(textures, Values(-1, -1, 2));
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

}  // namespace
}  // namespace zepcon
