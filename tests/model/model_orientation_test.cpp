// Axis orientation and its conversion; limiting polygon colour materials to a palette.
#include <array>
#include <string>
#include <vector>

#include "model_test_util.h"

namespace zepcon {
namespace {

using model_test::ExpectNear;
using model_test::ModelTest;
using model_test::Values;
using test::LogCapture;

using Orientation = ModelTest;

TEST_F(Orientation, OnlyThreeDirectionsOnThreeAxesAreAccepted) {
  const struct {
    int32_t a, b, c;
    int result;
    const char* message;
  } cases[] = {
      {0, 1, 4, 0, "SetModelOrientation: Not all orientations used\n"},
      {7, 2, 4, 0, "SetModelOrientation:Direction value out of bounds"},
      {0, 6, 4, 0, "SetModelOrientation:Direction value out of bounds"},
      {2, 2, 4, 0, "SetModelOrientation:Some directions are same\n"},
      {4, 3, 1, 1, ""},
      {7, 7, 7, 1, ""},
  };
  for (const auto& c : cases) {
    model.SetModelOrientation(2, 0, 4);
    LogCapture log;
    EXPECT_EQ(model.SetModelOrientation(c.a, c.b, c.c), c.result) << c.a << c.b << c.c;
    EXPECT_EQ(log.Text(), c.message);
    const std::vector<double> kept = c.result ? Values(c.a, c.b, c.c) : Values(2, 0, 4);
    EXPECT_EQ(Values(model.model_orientation[0], model.model_orientation[1], model.model_orientation[2]),
              kept);
  }
}

TEST_F(Orientation, ConvertingMapsEveryPositionAndDirection) {
  model.StoreVertex(1, 2, 3);
  model.StoreVertex(0, 0, 0);
  model.StoreVertex(0, 1, 0);
  AddPolygon({0, 1, 2});
  model.SetVertexNormal(0, {1, 2, 3});
  model.SetPointNormal(1, {0, 0, 1});
  model.AddJoint(1, 2, 3, "j");
  model.ResetLight();
  model.light.first[0] = 1;
  model.light.first[1] = 2;
  model.light.first[2] = 3;
  model.AddLight();
  model.vertex_animation_present = 1;
  model.SetAnimVertCount(1);
  model.SetAnimFramesCount(1);
  model.Animation_SetVertexPos(0, 0, 1, 2, 3);
  model.CalculateBoundingBox();
  model.SetModelOrientation(2, 0, 4);

  LogCapture log;
  ASSERT_EQ(model.ConvertModelOrientation(4, 3, 1), 1);
  EXPECT_EQ(log.Text(), "Converting model orientation .. done\n");
  // +y to +z, +x to -y, +z to -x.
  EXPECT_EQ(Vertex(0), Values(-3, -1, 2));
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 2}));  // both triples left-handed
  Vec3d n{};
  model.GetVertexNormal(0, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(-3, -1, 2));
  model.GetPointNormal(1, n);
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(-1, 0, 0));
  model.GetPointNormal(0, n);  // never set: stays unset
  EXPECT_EQ(Values(n.x, n.y, n.z), Values(kUnsetValue, kUnsetValue, kUnsetValue));
  JointRecord joint{};
  model.GetJointInfo(1, &joint);
  EXPECT_EQ(Values(joint.position[0], joint.position[1], joint.position[2]), Values(-3, -1, 2));
  LightRecord light{};
  model.GetLightInfo(0, &light);
  EXPECT_EQ(Values(light.first[0], light.first[1], light.first[2]), Values(-3, -1, 2));
  double x = 0, y = 0, z = 0;
  model.Animation_GetVertexPos(0, 0, x, y, z);
  EXPECT_EQ(Values(x, y, z), Values(-3, -1, 2));
  // The box still holds the converted model, minimum below maximum.
  EXPECT_EQ(Values(model.bounding_min.x, model.bounding_min.y, model.bounding_min.z),
            Values(-3, -1, 0));
  EXPECT_EQ(Values(model.bounding_max.x, model.bounding_max.y, model.bounding_max.z),
            Values(0, 0, 2));

  log.Clear();
  EXPECT_EQ(model.ConvertModelOrientation(4, 3, 1), 1);
  EXPECT_EQ(log.Text(), "Converting model orientation .. ");
}

TEST_F(Orientation, AMirroringChangeKeepsCubeNormalsPointingOut) {
  // Three mirroring changes and one turn.
  const std::array<int32_t, 3> destinations[] = {{0, 2, 5}, {2, 0, 4}, {1, 3, 5}, {4, 2, 1}};
  for (const auto& destination : destinations) {
    SetUp();
    Cube();
    model.SetModelOrientation(0, 2, 4);
    ASSERT_EQ(model.ConvertModelOrientation(destination[0], destination[1], destination[2]), 1);
    model.CalculateNormals(0);
    for (uint32_t p = 0; p < 6; ++p) {
      Vec3d n{};
      model.GetPolygonNormal(p, n);
      const std::vector<double> centre = Centre(p);
      EXPECT_GT(n.x * centre[0] + n.y * centre[1] + n.z * centre[2], 0.99)
          << "face " << p << " to " << destination[0] << destination[1] << destination[2];
    }
  }
}

TEST_F(Orientation, ConversionsThatCannotBeMade) {
  model.StoreVertex(1, 2, 3);
  LogCapture log;
  EXPECT_EQ(model.ConvertModelOrientation(4, 3, 1), 1);
  EXPECT_EQ(log.Text(), "Converting model orientation .. Source model directions not entered, leaving as is\n");
  model.SetModelOrientation(2, 0, 4);
  log.Clear();
  EXPECT_EQ(model.ConvertModelOrientation(4, 4, 1), 0);
  model.bone_animation_present = 1;
  EXPECT_EQ(model.ConvertModelOrientation(4, 3, 1), 0);
  EXPECT_TRUE(log.Contains("Cannot transform model orientation on bone animations yet\n"));
  EXPECT_EQ(Vertex(0), Values(1, 2, 3));
  EXPECT_EQ(Values(model.model_orientation[0], model.model_orientation[1], model.model_orientation[2]),
            Values(2, 0, 4));
}

class MaterialLimit : public ModelTest {
 protected:
  // Colour material i for i < colours, each on a triangle of its own.
  void ColourMaterials(int colours) {
    model.StoreVertex(0, 0, 0);
    model.StoreVertex(1, 0, 0);
    model.StoreVertex(0, 1, 0);
    for (int i = 0; i < colours; ++i) {
      const int32_t m = model.MaterialOfColor(static_cast<uint8_t>(i * 37 % 256),
                                              static_cast<uint8_t>(i * 101 % 256),
                                              static_cast<uint8_t>(i / 2));
      ASSERT_EQ(m, i);
      AddPolygon({0, 1, 2});
      model.SetPolygonMaterial(model.polygons_count - 1, m);
      colours_.push_back(Values(i * 37 % 256, i * 101 % 256, i / 2));
    }
    model.poly_materials_present = 1;
  }
  std::vector<std::vector<double>> colours_;
};

TEST_F(MaterialLimit, ColoursBecomeAPaletteAndPolygonsTheEntryBelowTheirColour) {
  ColourMaterials(300);
  // A textured material on a polygon and a colour material on a vertex are kept.
  model.ResetMaterial();
  model.SetMaterialName("wood");
  model.material.texture = 0;
  const int32_t wood = model.AddMaterial();
  AddPolygon({0, 1, 2});
  model.SetPolygonMaterial(300, wood);
  model.ResetMaterial();
  model.SetMaterialName("paint");
  const int32_t paint = model.AddMaterial();
  model.SetVertexMaterial(1, paint);
  model.vert_materials_present = 1;
  model.CreateEmptyTexture("wood.bmp");
  model.CheckMaterials();

  model.Fix_LimitNoOfPolygonMaterialsToX(255);
  ASSERT_EQ(model.materials_count, 216u + 2u);
  EXPECT_EQ(MaterialName(216), "wood");
  EXPECT_EQ(MaterialName(217), "paint");
  EXPECT_EQ(model.GetPolygonMaterial(300), 216);
  EXPECT_EQ(model.GetVertexMaterial(1), 217);
  EXPECT_EQ(model.GetVertexMaterial(0), -1);
  for (uint32_t p = 0; p < 300; ++p) {
    const int32_t entry = model.GetPolygonMaterial(p);
    ASSERT_GE(entry, 0);
    ASSERT_LT(entry, 216);
    model.GetMaterial(static_cast<uint32_t>(entry));
    EXPECT_TRUE(model.material.usage_flags & 1);
    for (int c = 0; c < 3; ++c) {
      const double palette = model.material.diffuse[c];
      EXPECT_LE(palette, colours_[p][c]) << p;
      EXPECT_GT(palette + 51, colours_[p][c]) << p;
    }
  }
  model.GetMaterial(215);
  EXPECT_EQ(Values(model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2]),
            Values(255, 255, 255));
  model.GetMaterial(1);
  EXPECT_EQ(Values(model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2]),
            Values(51, 0, 0));
}

TEST_F(MaterialLimit, TooManyTexturesLeaveNoRoomForThePalette) {
  // 240 textured and 20 colour materials on polygons: 260 above 255, but only
  // 15 entries left for a palette.
  ColourMaterials(20);
  model.CreateEmptyTexture("t");
  for (uint32_t i = 20; i < 260; ++i) {
    model.ResetMaterial();
    model.material.texture = 0;
    model.material.diffuse[1] = static_cast<uint8_t>(i);
    ASSERT_EQ(model.AddMaterial(), static_cast<int32_t>(i));
    AddPolygon({0, 1, 2});
    model.SetPolygonMaterial(i, static_cast<int32_t>(i));
  }
  model.CheckMaterials();
  LogCapture log;
  model.Fix_LimitNoOfPolygonMaterialsToX(255);
  EXPECT_EQ(log.Text(), "Fix_LimitNoOfPolygonMaterialsToX: Sorry, smallest gen palete size is 27.\n");
  EXPECT_EQ(model.materials_count, 260u);
  EXPECT_EQ(model.GetPolygonMaterial(259), 259);
  // Up to the limit nothing happens at all.
  log.Clear();
  model.Fix_LimitNoOfPolygonMaterialsToX(260);
  EXPECT_EQ(log.Text(), "");
}

}  // namespace
}  // namespace zepcon
