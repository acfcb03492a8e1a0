// Every processing operation on a model a careless or hostile loader built:
// dangling points, materials, textures and owners, objects past the arrays
// and a skeleton with a cycle. Nothing may be read or written outside the
// arrays (the sanitizers watch), and what is refused is logged.
#include <functional>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "model_test_util.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using model_test::ModelTest;
using test::LogCapture;

class Hostile : public ModelTest {
 public:
  void Build() {
    SetUp();
    for (int i = 0; i < 4; ++i) model.StoreVertex(i, i % 2, i / 2);
    AddPolygon({0, 1, 99});  // a point naming a vertex that does not exist
    AddPolygon({3, 2, 1, 0});
    AddPolygon({2, 3, 0});
    AddMaterials(2);
    model.GetMaterial(1);
    model.material.texture = 9;  // there are no textures
    model.SetMaterial(1);
    const int32_t polygon_materials[3] = {50, -7, 1};
    for (uint32_t p = 0; p < 3; ++p) model.SetPolygonMaterial(p, polygon_materials[p]);
    for (uint32_t v = 0; v < 4; ++v) model.SetVertexMaterial(v, 1000);
    for (uint32_t p = 0; p < model.points_count; ++p) model.SetPointMaterial(p, -3);
    model.poly_materials_present = model.vert_materials_present = model.point_materials_present = 1;
    for (uint32_t v = 0; v < 4; ++v) model.SetVertexOwner(v, static_cast<uint16_t>(300 + v));
    model.AddObjectByRanges(0, 5000, 1, 900, 0, 70, 10, 99999, "past the end");
    ObjectRecord object{};
    model.GetObjectInfo(1, &object);
    object.owner = 77;
    model.SetObjectInfo(1, &object);
    model.AddJoint(0, 0, 1, "a");
    model.AddJoint(0, 0, 2, "b");
    model.AddBone(0, 1, 1.0);
    model.AddBone(1, 2, 1.0);
    model.AddBone(2, 1, 1.0);  // a cycle
    model.AddBone(-5, 300, 1.0);
    model.bone_animation_present = 1;
    model.vertex_animation_present = 1;
    model.SetAnimFramesCount(2);
    model.SetAnimBonesCount(1);  // fewer than the bones
    model.SetAnimVertCount(2);   // fewer than the vertices
    model.SkeletOwningType = so_vertexs;
  }

  // Polygons keep their points inside the point table, and objects refer to
  // no more than exists where the operation promises it.
  void ExpectPolygonsInsideThePoints() {
    for (uint32_t p = 0; p < model.polygons_count; ++p) {
      uint32_t first = 0, count = 0;
      ASSERT_EQ(model.ReadPolygonPointData(p, first, count), 1);
      EXPECT_LE(uint64_t{first} + count, model.points_count) << p;
    }
  }
};

TEST_F(Hostile, EveryOperationStaysInsideItsArraysAndLogsWhatItRefused) {
  const struct {
    const char* name;
    std::function<void(ModelData&)> run;
    bool logs_error;
  } operations[] = {
      {"convert everything", [](ModelData& m) { m.ConvertProperties(0x3FFF); }, true},
      {"bounding box", [](ModelData& m) { m.CalculateBoundingBox(); }, true},
      {"normals", [](ModelData& m) { m.CalculateNormals(0); }, true},
      {"push", [](ModelData& m) { m.PushTexturedVertexs(1.0f); }, true},
      {"split", [](ModelData& m) { m.SplitObjectPolygonsByMaterials(); }, true},
      {"distribute", [](ModelData& m) { m.DistributeVertexsToObjectsByPolygons(); }, true},
      {"swap", [](ModelData& m) { m.SwapPolygonsDirections(); }, false},
      {"limit",
       [](ModelData& m) {
         for (int i = 0; i < 30; ++i) {  // enough colours used by polygons for a palette
           m.ResetMaterial();
           m.material.usage_flags = 1;
           m.AddMaterial();
         }
         m.Fix_LimitNoOfPolygonMaterialsToX(28);
       },
       true},
      {"remap", [](ModelData& m) { m.RemapMaterialIndexes(7); }, true},
      {"orientation",
       [](ModelData& m) {
         m.bone_animation_present = 0;
         m.SetModelOrientation(0, 2, 4);
         m.ConvertModelOrientation(1, 2, 4);
       },
       false},
      {"joints", [](ModelData& m) { m.CalcJoints(0.5f); }, true},
      {"positions",
       [](ModelData& m) {
         m.joints_frame = 0.0f;
         m.CalculateVertexPositions();
         m.SkeletOwningType = so_objects;
         m.positions_frame = -2.0f;
         m.CalculateVertexPositions();
       },
       false},
      {"read at a frame",
       [](ModelData& m) {
         m.vertex_animation_present = 0;
         m.current_frame = 1.5f;
         double x, y, z;
         for (uint32_t v = 0; v < 5; ++v) m.ReadVertex(v, x, y, z);
       },
       true},
      {"textures without files",
       [](ModelData& m) {
         m.LoadTexture("wood.bmp");
         m.SaveMaterialsTextures(TYPE_TGA, MODE_RGBA8888, 0);
         m.SaveTextureToFile(-1, "x.tga", TYPE_TGA, MODE_RGBA8888, 0);
       },
       true},
  };
  for (const auto& operation : operations) {
    SCOPED_TRACE(operation.name);
    Build();
    LogCapture log;
    operation.run(model);
    EXPECT_EQ(!log.ErrorText().empty(), operation.logs_error) << log.ErrorText();
    ExpectPolygonsInsideThePoints();
  }
}

TEST_F(Hostile, DistributionLeavesEveryPointOnAVertexOfItsObject) {
  Build();
  model.DistributeVertexsToObjectsByPolygons();
  for (uint32_t p = 0; p < model.points_count; ++p) EXPECT_LT(model.GetPointVertex(p), model.vertexs_count) << p;
}

TEST_F(Hostile, SplittingKeepsPolygonsWithMaterialsOutsideTheTable) {
  Build();
  LogCapture log;
  // Polygon 0 lies outside every object: splitting would lose it.
  EXPECT_EQ(model.SplitObjectPolygonsByMaterials(), 0);
  EXPECT_EQ(model.polygons_count, 3u);
  EXPECT_EQ(model.objects_count, 2u);
  EXPECT_TRUE(log.Contains("objects do not cover the polygons once each, left as they were\n"));

  ObjectRecord object{};
  model.GetObjectInfo(0, &object);
  object.polygon_count = 3;
  object.point_count = model.points_count;
  model.SetObjectInfo(0, &object);
  model.GetObjectInfo(1, &object);
  object.first_polygon = 3;
  object.polygon_count = 0;
  model.SetObjectInfo(1, &object);
  log.Clear();
  EXPECT_EQ(model.SplitObjectPolygonsByMaterials(), 1);
  EXPECT_EQ(model.polygons_count, 3u);
  // Materials 50 and -7 go with the polygons without material; material 1 splits off.
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 99}));
  EXPECT_EQ(Polygon(2), (std::vector<uint32_t>{2, 3, 0}));
  EXPECT_EQ(model.GetPolygonMaterial(0), 50);
  EXPECT_TRUE(log.Contains("SplitObjectPolygonsByMaterials: 2 polygons with bad materials kept unsplit\n"))
      << log.Text();
}

}  // namespace
}  // namespace zepcon
