// Property conversion: each requirement from each possible source, the mask
// of requirements met, reversing polygons and filling missing materials.
#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include "model_test_util.h"

namespace zepcon {
namespace {

using model_test::ModelTest;
using model_test::Values;
using test::LogCapture;

// Two triangles (0, 1, 2) and (0, 2, 3) over four vertices plus one vertex
// no point uses; points 0..5 name the vertexes 0, 1, 2, 0, 2, 3.
class Properties : public ModelTest {
 public:  // the case table reaches these through a reference to the fixture
  void SetUp() override {
    ModelTest::SetUp();
    for (int i = 0; i < 5; ++i) model.StoreVertex(i, i * i, 0);
    AddPolygon({0, 1, 2});
    AddPolygon({0, 2, 3});
    AddMaterials(4);
  }
  void PolygonMaterials(std::vector<int32_t> m) {
    for (uint32_t p = 0; p < m.size(); ++p) model.SetPolygonMaterial(p, m[p]);
    model.poly_materials_present = 1;
  }
  void VertexMaterials(std::vector<int32_t> m) {
    for (uint32_t v = 0; v < m.size(); ++v) model.SetVertexMaterial(v, m[v]);
    model.vert_materials_present = 1;
  }
  void PointMaterials(std::vector<int32_t> m) {
    for (uint32_t p = 0; p < m.size(); ++p) model.SetPointMaterial(p, m[p]);
    model.point_materials_present = 1;
  }
  std::vector<double> ReadPolygonMaterials() {
    return Values(model.GetPolygonMaterial(0), model.GetPolygonMaterial(1));
  }
  std::vector<double> ReadVertexMaterials() {
    std::vector<double> out;
    for (uint32_t v = 0; v < 4; ++v) out.push_back(model.GetVertexMaterial(v));
    return out;
  }
  std::vector<double> ReadPointMaterials() {
    std::vector<double> out;
    for (uint32_t p = 0; p < 6; ++p) out.push_back(model.GetPointMaterial(p));
    return out;
  }
  std::vector<double> VertexTexcoords() {
    std::vector<double> out;
    for (uint32_t v = 0; v < 5; ++v) {
      double u = 0, w = 0;
      model.GetVertexTexcoord(v, u, w);
      out.push_back(u);
      out.push_back(w);
    }
    return out;
  }
  std::vector<double> PointTexcoords() {
    std::vector<double> out;
    for (uint32_t p = 0; p < 6; ++p) {
      double u = 0, w = 0;
      model.GetPointTexcoord(p, u, w);
      out.push_back(u);
      out.push_back(w);
    }
    return out;
  }
};

TEST_F(Properties, EveryRequirementFromEverySource) {
  const double kUnset = -DBL_MAX;
  struct Case {
    const char* name;
    std::function<void(Properties&)> setup;
    uint32_t asked;
    uint32_t met;
    std::function<std::vector<double>(Properties&)> read;
    std::vector<double> expected;
    const char* log_piece;
  };
  const auto polys = [](Properties& t) { return t.ReadPolygonMaterials(); };
  const auto verts = [](Properties& t) { return t.ReadVertexMaterials(); };
  const auto points = [](Properties& t) { return t.ReadPointMaterials(); };
  const auto with_points = [](Properties& t) { t.PointMaterials({3, 2, 1, 2, 1, 3}); };
  const auto with_verts = [](Properties& t) { t.VertexMaterials({1, 2, 3, 1}); };
  const auto with_polys = [](Properties& t) { t.PolygonMaterials({1, 2}); };
  const auto nothing = [](Properties&) {};
  const Case cases[] = {
      {"poly from points", with_points, 0x0001, 0x0001, polys, Values(3, 2),
       "(creating poly materials from...points).."},
      {"poly from verts", with_verts, 0x0001, 0x0001, polys, Values(1, 1), "verts).."},
      {"poly from nothing", nothing, 0x0001, 0x0001, polys, Values(0, 0), "nothing).."},
      {"poly present, none kept", [](Properties& t) { t.PolygonMaterials({1, -1}); }, 0x0001,
       0x0001, polys, Values(1, -1), "Converting properties..."},
      {"poly valid from points",
       [](Properties& t) {
         t.PolygonMaterials({1, -1});
         t.PointMaterials({3, 2, 1, 2, 1, 3});
       },
       0x2001, 0x2001, polys, Values(1, 2), "points).."},
      {"valid without poly", with_polys, 0x2000, 0, polys, Values(1, 2),
       "Hey, bug here. need_polygon_valid_materials has to be used with need_polygon_materials\n"},
      // A later point or polygon overwrites what an earlier one gave.
      {"vert from points", with_points, 0x0002, 0x0002, verts, Values(2, 2, 1, 3),
       "(creating vert materials from...points).."},
      {"vert from polys", with_polys, 0x0002, 0x0002, verts, Values(2, 1, 2, 2), "polys).."},
      {"vert from nothing", nothing, 0x0002, 0x0002, verts, Values(0, 0, 0, 0), "nothing).."},
      {"point from verts", with_verts, 0x0004, 0x0004, points, Values(1, 2, 3, 1, 3, 1),
       "(creating point materials from...verts).."},
      {"point from polys", with_polys, 0x0004, 0x0004, points, Values(1, 1, 1, 2, 2, 2),
       "polys).."},
      {"point from nothing", nothing, 0x0004, 0x0004, points, Values(0, 0, 0, 0, 0, 0),
       "nothing).."},
      // Vertex 4 is named by no point and keeps the unset value.
      {"vertex uv from points",
       [](Properties& t) {
         for (uint32_t p = 0; p < 6; ++p) t.model.SetPointTexcoord(p, p, 10 + p);
         t.model.point_texcoords_present = 1;
       },
       0x0008, 0x0008, [](Properties& t) { return t.VertexTexcoords(); },
       Values(3, 13, 1, 11, 4, 14, 5, 15, kUnset, kUnset),
       "(creating vertex texcoords from...points).."},
      {"vertex uv from nothing", nothing, 0x0008, 0x0008,
       [](Properties& t) { return t.VertexTexcoords(); }, std::vector<double>(10, 0.0),
       "no data.).."},
      {"point uv from verts",
       [](Properties& t) {
         for (uint32_t v = 0; v < 4; ++v) t.model.SetVertexTexcoord(v, v, -1.0 * v);
         t.model.vert_texcoords_present = 1;
       },
       0x0010, 0x0010, [](Properties& t) { return t.PointTexcoords(); },
       Values(0, 0, 1, -1, 2, -2, 0, 0, 2, -2, 3, -3), "verts).."},
      {"point uv from nothing", nothing, 0x0010, 0x0010,
       [](Properties& t) { return t.PointTexcoords(); }, std::vector<double>(12, 0.0),
       "no data.).."},
      // Both triangles lie in z = 0 with counter-clockwise corners: normal +z.
      {"poly normals calculated", nothing, 0x0020, 0x0020,
       [](Properties& t) {
         Vec3d n{};
         t.model.GetPolygonNormal(1, n);
         return Values(n.x, n.y, n.z, t.model.vert_normals_present);
       },
       Values(0, 0, 1, 1), "Calculating vertex & polygon normals . ."},
      {"vertex normals calculated", nothing, 0x0040, 0x0040,
       [](Properties& t) {
         Vec3d n{};
         t.model.GetVertexNormal(2, n);
         return Values(n.x, n.y, n.z);
       },
       Values(0, 0, 1), " done\n"},
      // Copied from the vertices: no calculation, so polygon normals stay absent.
      {"point normals from vertexs",
       [](Properties& t) {
         for (uint32_t v = 0; v < 4; ++v) t.model.SetVertexNormal(v, {0, 1.0 * v, 0});
         t.model.vert_normals_present = 1;
       },
       0x0080, 0x0080,
       [](Properties& t) {
         Vec3d n{};
         t.model.GetPointNormal(5, n);
         return Values(n.y, t.model.poly_normals_present, t.model.point_normals_present);
       },
       Values(3, 0, 1), "(creating point normals from...vertexs).."},
      {"point normals after calculation", nothing, 0x0080, 0x0080,
       [](Properties& t) {
         Vec3d n{};
         t.model.GetPointNormal(4, n);
         return Values(n.z, t.model.poly_normals_present);
       },
       Values(1, 1), "vertexs).."},
      {"triangles already", nothing, 0x0100, 0x0100,
       [](Properties& t) { return Values(t.model.polygons_count); }, Values(2),
       "Triangulating polygons ..."},
      // No material is marked as used by a polygon: nothing moves, the bit still comes back.
      {"materials first, none used", with_polys, 0x1000, 0x1000, polys, Values(1, 2), "done.\n"},
      {"nothing asked", nothing, 0, 0, polys, Values(-1, -1), "Converting properties...done.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelData& m = model;
    SetUp();  // a fresh model for every case
    c.setup(*this);
    LogCapture log;
    EXPECT_EQ(m.ConvertProperties(c.asked), c.met);
    EXPECT_EQ(c.read(*this), c.expected);
    EXPECT_TRUE(log.Contains(c.log_piece)) << log.Text();
    EXPECT_EQ(m.relative_writes, 0u);  // the switches come back as they were
  }
}

TEST_F(Properties, MissingMaterialsGetNoMaterialAndPolygonMaterialsComeFirst) {
  PolygonMaterials({2, -1});
  EXPECT_EQ(model.ConvertProperties(ModelData::need_no_missing_materials), 0u);
  EXPECT_EQ(model.materials_count, 5u);
  EXPECT_EQ(MaterialName(4), "NoMaterial");
  EXPECT_EQ(ReadPolygonMaterials(), Values(2, 4));

  // Polygons use 2 and 4; the vertices use 0 and 3. Used by polygons first, table order kept.
  VertexMaterials({0, 3, 0, 3});
  model.CheckMaterials();
  const std::string before[5] = {MaterialName(0), MaterialName(1), MaterialName(2),
                                 MaterialName(3), MaterialName(4)};
  EXPECT_EQ(model.ConvertProperties(ModelData::need_polygon_materials_first), 0x1000u);
  const std::string order[5] = {before[2], before[4], before[0], before[1], before[3]};
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(MaterialName(i), order[i]) << i;
  EXPECT_EQ(ReadPolygonMaterials(), Values(0, 1));
  EXPECT_EQ(ReadVertexMaterials(), Values(2, 4, 2, 4));
}

TEST_F(Properties, SwappingReversesEachPolygonWithItsPointProperties) {
  PointMaterials({3, 2, 1, 2, 1, 3});
  for (uint32_t p = 0; p < 6; ++p) model.SetPointTexcoord(p, p, 0);
  model.point_texcoords_present = 1;
  model.SwapPolygonsDirections();
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{2, 1, 0}));
  EXPECT_EQ(Polygon(1), (std::vector<uint32_t>{3, 2, 0}));
  EXPECT_EQ(ReadPointMaterials(), Values(1, 2, 3, 3, 1, 2));
  EXPECT_EQ(PointTexcoords(), Values(2, 0, 1, 0, 0, 0, 5, 0, 4, 0, 3, 0));
}

TEST_F(Properties, PolygonsWithoutMaterialGetTheOneGiven) {
  PolygonMaterials({-1, 1});
  model.relative_reads = 1;
  EXPECT_EQ(model.SetPolygonsWithoutMaterial(3), 1u);
  EXPECT_EQ(model.relative_reads, 1u);
  model.relative_reads = 0;
  EXPECT_EQ(ReadPolygonMaterials(), Values(3, 1));
  EXPECT_EQ(model.SetPolygonsWithoutMaterial(2), 0u);
}

}  // namespace
}  // namespace zepcon
