// Bounding box, normals, pushing textured vertices, splitting objects by
// material and giving every object its own vertices.
#include <cmath>
#include <string>
#include <vector>

#include "model_test_util.h"

namespace zepcon {
namespace {

using model_test::ExpectNear;
using model_test::ModelTest;
using model_test::Values;
using test::LogCapture;

using Normals = ModelTest;

std::vector<double> Box(const ModelData& m) {
  return Values(m.bounding_min.x, m.bounding_min.y, m.bounding_min.z, m.bounding_max.x,
                m.bounding_max.y, m.bounding_max.z);
}

TEST_F(Normals, BoundingBoxCountsJointsOnlyFromTwoOn) {
  model.CalculateBoundingBox();
  EXPECT_EQ(Box(model), Values(1.7e308, 1.7e308, 1.7e308, -1.7e308, -1.7e308, -1.7e308));
  EXPECT_EQ(model.bounding_box_valid, 1u);

  model.StoreVertex(1, -2, 3);
  model.StoreVertex(-1, 2, 0.5);
  model.CalculateBoundingBox();
  EXPECT_EQ(Box(model), Values(-1, -2, 0.5, 1, 2, 3));  // the root joint alone does not count
  model.AddJoint(10, 0, -4, "far");
  model.CalculateBoundingBox();
  EXPECT_EQ(Box(model), Values(-1, -2, -4, 10, 2, 3));
}

TEST_F(Normals, PolygonAndVertexNormals) {
  // Two unit squares meeting at the edge x = 0, z = 0: one facing +z, one +x.
  model.StoreVertex(0, 0, 0);   // 0
  model.StoreVertex(0, 1, 0);   // 1
  model.StoreVertex(-1, 0, 0);  // 2
  model.StoreVertex(-1, 1, 0);  // 3
  model.StoreVertex(0, 0, -1);  // 4
  model.StoreVertex(0, 1, -1);  // 5
  AddPolygon({2, 0, 1, 3});     // facing +z
  AddPolygon({4, 5, 1, 0});     // facing +x
  AddPolygon({0, 1, 0, 4});     // first three corners collinear
  LogCapture log;
  EXPECT_EQ(model.CalculateNormals(0), 1);
  Vec3d n{};
  model.GetPolygonNormal(0, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(0, 0, 1));
  model.GetPolygonNormal(1, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(1, 0, 0));
  model.GetPolygonNormal(2, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(1, 0, 0));
  model.GetVertexNormal(3, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(0, 0, 1));
  // Vertex 1: (0,0,1) + (1,0,0) + (1,0,0) from the collinear polygon.
  model.GetVertexNormal(1, n);
  ExpectNear(Values(n.x, n.y, n.z), Values(2 / std::sqrt(5.0), 0, 1 / std::sqrt(5.0)), 1e-12, "v1");
  EXPECT_EQ(model.poly_normals_present + model.vert_normals_present, 2u);
  EXPECT_EQ(log.Text(), "Calculating vertex & polygon normals . . . done\n");

  log.Clear();
  model.CalculateNormals(0);
  EXPECT_EQ(log.Text(),
            "Calculating vertex & polygon normals . .(vert normals already present, skipping)"
            "(poly normals already present, skipping)\n");
}

TEST_F(Normals, TimeLimitStopsBeforeAnythingIsMarkedPresent) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, i * i, 0);
  for (int p = 0; p < 1000; ++p) AddPolygon({0, 1, 2});
  model.settings.normals_time_limit = -1.0f;  // a limit that has already passed
  LogCapture log;
  model.CalculateNormals(0);
  EXPECT_TRUE(log.Contains(" stopped by time on p 0/1000\n")) << log.Text();
  EXPECT_EQ(model.poly_normals_present + model.vert_normals_present, 0u);
  // No limit: the whole model.
  model.settings.normals_time_limit = 0.0f;
  model.CalculateNormals(0);
  EXPECT_EQ(model.poly_normals_present + model.vert_normals_present, 2u);
}

TEST_F(Normals, OnlyVerticesOfTexturedPolygonsArePushedOnce) {
  Cube();
  AddMaterials(2);
  model.GetMaterial(1);
  model.material.texture = 0;
  model.SetMaterial(1);
  for (uint32_t p = 0; p < 6; ++p) model.SetPolygonMaterial(p, p == 0 ? 1 : 0);
  model.poly_materials_present = 1;
  model.PushTexturedVertexs(0.5f);
  // Vertex 7 (corner of the textured +x face) moves along (1, 1, 1) / sqrt 3.
  const double step = 0.5 / std::sqrt(3.0);
  ExpectNear(Vertex(7), Values(1 + step, 1 + step, 1 + step), 1e-12, "v7");
  EXPECT_EQ(Vertex(0), Values(-1, -1, -1));  // only on untextured faces
}

TEST_F(Normals, SplittingAnObjectByMaterialsKeepsNoneFirst) {
  AddMaterials(3);
  for (int i = 0; i < 4; ++i) model.StoreVertex(i, i, 0);
  model.SetObjectName("box");
  AddPolygon({0, 1, 2});
  AddPolygon({1, 2, 3});
  AddPolygon({2, 3, 0});
  model.NewObject();
  model.SetObjectName("lid");
  AddPolygon({0, 2, 3});
  AddPolygon({3, 2, 1});
  model.FinishObjects();
  const int32_t materials[5] = {2, 0, -1, 1, 1};
  for (uint32_t p = 0; p < 5; ++p) model.SetPolygonMaterial(p, materials[p]);
  model.poly_materials_present = 1;
  ObjectRecord box = Object(0);
  box.owner = 0;
  box.placement[2] = 7.5;
  model.SetObjectInfo(0, &box);

  EXPECT_EQ(model.SplitObjectPolygonsByMaterials(), 1);
  ASSERT_EQ(model.objects_count, 4u);
  const std::string names[4] = {"box", "box(m0)", "box(m2)", "lid(m1)"};
  const std::vector<uint32_t> polygons[5] = {{2, 3, 0}, {1, 2, 3}, {0, 1, 2}, {0, 2, 3}, {3, 2, 1}};
  for (uint32_t o = 0; o < 4; ++o) {
    const ObjectRecord object = Object(o);
    EXPECT_EQ(object.name, names[o]);
    EXPECT_EQ(object.first_polygon, o);
    EXPECT_EQ(object.polygon_count, o == 3 ? 2u : 1u);
    EXPECT_EQ(object.first_point, 3 * o);
    if (o < 3) {
      EXPECT_EQ(Values(object.owner, object.placement[2]), Values(0, 7.5));
    }
  }
  for (uint32_t p = 0; p < 5; ++p) EXPECT_EQ(Polygon(p), polygons[p]) << p;
  EXPECT_EQ(Values(model.GetPolygonMaterial(0), model.GetPolygonMaterial(2), model.GetPolygonMaterial(4)),
            Values(-1, 2, 1));
}

TEST_F(Normals, DistributionCopiesSharedVerticesAndGathersUnusedOnes) {
  for (int i = 0; i < 6; ++i) model.StoreVertex(i, 10 * i, 0);
  model.SetObjectName("a");
  AddPolygon({0, 1, 2});
  model.NewObject();
  model.SetObjectName("edge only");  // no points: its range must not shift the others
  model.StoreEdge(0, 5);
  model.NewObject();
  model.SetObjectName("b");
  AddPolygon({2, 3, 4});
  model.SetVertexMaterial(2, 1);
  model.vert_materials_present = 1;
  AddMaterials(2);

  EXPECT_EQ(model.DistributeVertexsToObjectsByPolygons(), 1);
  ASSERT_EQ(model.objects_count, 4u);
  EXPECT_EQ(model.vertexs_count, 7u);
  const std::vector<double> ranges[4] = {Values(0, 3), Values(3, 0), Values(3, 3), Values(6, 1)};
  for (uint32_t o = 0; o < 4; ++o) {
    const ObjectRecord object = Object(o);
    EXPECT_EQ(Values(object.first_vertex, object.vertex_count), ranges[o]) << o;
  }
  EXPECT_STREQ(Object(3).name, "unused vertices");
  EXPECT_EQ(Object(3).owner, -1);
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(Polygon(1), (std::vector<uint32_t>{3, 4, 5}));
  // Both copies of the shared vertex carry its position and material.
  EXPECT_EQ(Vertex(2), Vertex(3));
  EXPECT_EQ(Vertex(3), Values(2, 20, 0));
  EXPECT_EQ(Values(model.GetVertexMaterial(2), model.GetVertexMaterial(3)), Values(1, 1));
  EXPECT_EQ(Vertex(6), Values(5, 50, 0));
}

TEST_F(Normals, DistributionMovesVertexAnimationAlong) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  AddPolygon({0, 1, 2});
  model.NewObject();
  AddPolygon({2, 1, 0});
  model.vertex_animation_present = 1;
  model.SetAnimVertCount(3);
  model.SetAnimFramesCount(2);
  for (uint32_t f = 0; f < 2; ++f)
    for (uint32_t v = 0; v < 3; ++v) model.Animation_SetVertexPos(f, v, f, v, 0);
  EXPECT_EQ(model.DistributeVertexsToObjectsByPolygons(), 1);
  ASSERT_EQ(model.vertexs_count, 6u);
  EXPECT_EQ(model.anim_vert_count, 6u);
  for (uint32_t v = 0; v < 6; ++v) {
    double x = -1, y = -1, z = -1;
    model.Animation_GetVertexPos(1.0f, v, x, y, z);
    EXPECT_EQ(Values(x, y), Values(1, v < 3 ? v : 5 - v)) << v;  // object 1 met 2, 1, 0
  }
}

}  // namespace
}  // namespace zepcon
