#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::vector<uint32_t> PolygonVertexes(ModelData& model, uint32_t polygon) {
  uint32_t count = 0;
  std::vector<uint32_t> list(70000);
  model.ReadPolygon(polygon, &count, list.data(), static_cast<uint32_t>(list.size()));
  list.resize(count);
  return list;
}

class GeometryStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }
  ModelData model;
};

TEST_F(GeometryStore, FreshModelHasFirstCapacitiesAndGrowsInSteps) {
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 10000u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupPolygons), 10000u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupPoints), 30000u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupEdges), 1000u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupMaterials), 100u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupLights), 50u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupCameras), 50u);

  for (uint32_t i = 0; i < 9998; ++i) model.StoreVertex(i, 0, 0);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 10000u);
  model.StoreVertex(9998, 0, 0);  // the 9999th
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 20000u);
}

TEST_F(GeometryStore, GrowingKeepsEveryStoredValueInEveryArray) {
  // Growth moves the later segments of the pool; nothing may be lost.
  const uint32_t kVertices = 25000;
  for (uint32_t i = 0; i < kVertices; ++i) {
    model.StoreVertex(i, -1.5 * i, i * 0.25);
    model.SetVertexNormal(i, {1.0 * i, 2.0, 3.0});
  }
  for (uint32_t i = 0; i + 2 < kVertices; i += 3) {
    const uint32_t triangle[3] = {i, i + 1, i + 2};
    model.StorePolygon(3, triangle);
  }
  ASSERT_EQ(model.vertexs_count, kVertices);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 30000u);
  for (uint32_t i : {0u, 1u, 9999u, 10000u, 12345u, kVertices - 1}) {
    double x = 0, y = 0, z = 0;
    ASSERT_EQ(model.ReadVertex(i, x, y, z), 1);
    EXPECT_EQ(x, i);
    EXPECT_EQ(y, -1.5 * i);
    EXPECT_EQ(z, i * 0.25);
    Vec3d normal{};
    ASSERT_EQ(model.GetVertexNormal(i, normal), 1);
    EXPECT_EQ(normal.x, 1.0 * i);
    EXPECT_EQ(model.GetVertexOwner(i), kNoOwner);
  }
  EXPECT_EQ(PolygonVertexes(model, 4000), (std::vector<uint32_t>{12000, 12001, 12002}));
}

TEST_F(GeometryStore, VertexLimitIsLoggedOnTheLastVertexAndThenNothingIsStored) {
  LogCapture log;
  for (uint32_t i = 0; i < 99999; ++i) model.StoreVertex(i, 1, 2);
  EXPECT_FALSE(log.Contains("StoreVertex:Vertexs limit reached\n"));
  EXPECT_EQ(model.StoreVertex(7, 8, 9), 99999u);
  EXPECT_EQ(Occurrences(log.ErrorText(), "StoreVertex:Vertexs limit reached\n"), 1u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 100000u);

  EXPECT_EQ(model.StoreVertex(10, 11, 12), 0u);
  EXPECT_EQ(model.vertexs_count, 100000u);
  double x = 0, y = 0, z = 0;
  ASSERT_EQ(model.ReadVertex(99999, x, y, z), 1);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(z, 9);
  ASSERT_EQ(model.ReadVertex(0, x, y, z), 1);
  EXPECT_EQ(x, 0);  // the refused vertex overwrote nothing
}

TEST_F(GeometryStore, BadVertexIndexesAreLoggedAndLeaveOutputsAlone) {
  model.StoreVertex(1, 2, 3);
  LogCapture log;
  double x = 42, y = 42, z = 42;
  EXPECT_EQ(model.ReadVertex(1, x, y, z), 0);
  EXPECT_TRUE(log.Contains("ReadVertex: index(1) >= vertexs_count(1)\n"));
  EXPECT_EQ(x, 42);
  EXPECT_EQ(model.SetVertex(5, 0, 0, 0), 0);
  EXPECT_TRUE(log.Contains("SetVertex: index(5) >= vertexs_count(1)\n"));
  Vec3d normal{4, 4, 4};
  EXPECT_EQ(model.GetVertexNormal(1, normal), 0);
  EXPECT_TRUE(log.Contains("GetVertexNormal: vindex >= vertexs_count\n"));
  EXPECT_EQ(normal.x, 4);
  VertexFlags flags{};
  EXPECT_EQ(model.GetVertexFlags(3, flags), 0);
  EXPECT_TRUE(log.Contains("GetVertexFlags: index(3) >= vertexs_count(1)\n"));
  EXPECT_EQ(model.SetVertexFlags(3, flags), 0);
  EXPECT_TRUE(log.Contains("SetVertexFlags: index(3) >= vertexs_count(1)\n"));

  // Hostile indexes far beyond any capacity neither crash nor write.
  EXPECT_EQ(model.SetVertexNormal(UINT32_MAX, {1, 1, 1}), 0);
  EXPECT_EQ(model.GetPolygonNormal(4000000000u, normal), 0);
  EXPECT_EQ(model.SetPointNormal(4000000000u, normal), 0);
  EXPECT_EQ(model.SetPointTexcoord(UINT32_MAX - 1, 0, 0), 0);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 100000u);  // grown to the maximum, no more
}

TEST_F(GeometryStore, NormalsFlagsAndTexcoordsStartUnsetAndKeepWhatIsSet) {
  model.StoreVertex(0, 0, 0);
  Vec3d normal{};
  ASSERT_EQ(model.GetVertexNormal(0, normal), 1);
  EXPECT_EQ(normal.x, -DBL_MAX);
  EXPECT_EQ(normal.z, -DBL_MAX);
  double u = 0, v = 0;
  ASSERT_EQ(model.GetVertexTexcoord(0, u, v), 1);
  EXPECT_EQ(u, -DBL_MAX);
  VertexFlags flags{9, 9};
  ASSERT_EQ(model.GetVertexFlags(0, flags), 1);
  EXPECT_EQ(flags.first, 0u);
  EXPECT_EQ(flags.second, 0u);
  ASSERT_EQ(model.SetVertexFlags(0, {5, 6}), 1);
  model.GetVertexFlags(0, flags);
  EXPECT_EQ(flags.second, 6u);
  EXPECT_EQ(model.GetVertexMaterial(0), kNoMaterial);

  // A normal may be set before its vertex exists.
  ASSERT_EQ(model.SetVertexNormal(15000, {0, 0, 1}), 1);
  EXPECT_GE(model.Capacity(ModelData::kGroupVertices), 20000u);
  const uint32_t triangle[3] = {0, 0, 0};
  model.StorePolygon(3, triangle);
  ASSERT_EQ(model.SetPolygonNormal(0, {0, 1, 0}), 1);
  ASSERT_EQ(model.GetPolygonNormal(0, normal), 1);
  EXPECT_EQ(normal.y, 1);
  ASSERT_EQ(model.SetPointTexcoord(2, 0.25, 0.75), 1);
  ASSERT_EQ(model.GetPointTexcoord(2, u, v), 1);
  EXPECT_EQ(v, 0.75);
  ASSERT_EQ(model.GetPointNormal(1, normal), 1);
  EXPECT_EQ(normal.x, -DBL_MAX);
}

TEST_F(GeometryStore, ShortPolygonsAreFilledWithTheirFirstVertex) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, 0, 0);
  LogCapture log;
  const uint32_t pair[2] = {1, 2};
  ASSERT_EQ(model.StorePolygon(2, pair), 1);
  EXPECT_TRUE(
      log.Contains("StorePolygon: polygon with 2 points, will be filled to have 3 points\n"));
  EXPECT_EQ(PolygonVertexes(model, 0), (std::vector<uint32_t>{1, 2, 1}));
  EXPECT_EQ(model.points_count, 3u);

  ASSERT_EQ(model.StorePolygonBySize(1), 1);
  EXPECT_TRUE(
      log.Contains("StorePolygonBySize: polygon with 1 points, will be filled to have 3 points\n"));
  EXPECT_EQ(model.points_count, 6u);
  // With no vertex at all there is nothing to repeat: refused.
  EXPECT_EQ(model.StorePolygon(0, pair), 0);
  EXPECT_EQ(model.polygons_count, 2u);
}

TEST_F(GeometryStore, PolygonsBySizeAreFilledPointByPoint) {
  ASSERT_EQ(model.StorePolygonBySize(4), 1);
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(model.StorePolygonPoint(0, k, 10 + k), 1);
  EXPECT_EQ(PolygonVertexes(model, 0), (std::vector<uint32_t>{10, 11, 12, 13}));
  EXPECT_EQ(model.ReadPolygonVertex(0, 3), 13u);

  LogCapture log;
  EXPECT_EQ(model.StorePolygonPoint(1, 0, 5), 0);
  EXPECT_TRUE(log.Contains("StorePolygonPoint: pindex (1) > polygons_count(1)\n"));
  EXPECT_EQ(model.StorePolygonPoint(0, 4, 5), 0);
  EXPECT_TRUE(log.Contains("StorePolygonPoint: pindex (4) > poly points count(4)\n"));
  EXPECT_EQ(model.ReadPolygonVertex(0, 4), 0u);
  EXPECT_TRUE(log.Contains("ReadPolygonVertex:vindex > poly.count\n"));
  EXPECT_EQ(model.ReadPolygonVertex(2, 0), 0u);
  EXPECT_TRUE(log.Contains("ReadPolygonVertex:pindex > polygons_count\n"));
  uint32_t first = 9, count = 9;
  EXPECT_EQ(model.ReadPolygonPointData(1, first, count), 0);
  EXPECT_TRUE(log.Contains("ReadPolygonPointData:index > polygons_count\n"));
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(GeometryStore, ReadPolygonReportsCountOnlyQueriesAndCutLists) {
  const uint32_t quad[4] = {3, 2, 1, 0};
  model.StorePolygon(4, quad);
  uint32_t count = 0;
  EXPECT_EQ(model.ReadPolygon(0, &count, nullptr, 0), 0);
  EXPECT_EQ(count, 4u);

  uint32_t list[3] = {};
  count = 0;
  EXPECT_EQ(model.ReadPolygon(0, &count, list, 3), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(list[2], 1u);

  count = 7;
  EXPECT_EQ(model.ReadPolygon(0, &count, nullptr, 5), 0);
  EXPECT_EQ(count, 0u);

  LogCapture log;
  EXPECT_EQ(model.ReadPolygon(1, &count, list, 3), 0);
  EXPECT_TRUE(log.Contains("ReadPolygon:index > polygons_count\n"));
}

TEST_F(GeometryStore, RelativeIndexesCountFromTheCurrentObject) {
  ASSERT_EQ(model.relative_writes, 1u);
  ASSERT_EQ(model.relative_reads, 0u);
  for (int i = 0; i < 500; ++i) model.StoreVertex(i, 0, 0);
  const uint32_t first_triangle[3] = {0, 1, 2};
  model.StorePolygon(3, first_triangle);
  ASSERT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.StoreVertex(500, 0, 0), 0u);  // the 501st vertex is the object's first
  EXPECT_EQ(model.StoreVertex(501, 0, 0), 1u);
  model.StoreVertex(502, 0, 0);
  const uint32_t triangle[3] = {0, 1, 2};
  model.StorePolygon(3, triangle);
  EXPECT_EQ(PolygonVertexes(model, 1), (std::vector<uint32_t>{500, 501, 502}));

  model.relative_reads = 1;
  EXPECT_EQ(PolygonVertexes(model, 0), (std::vector<uint32_t>{0, 1, 2}));  // object 1's polygon 0
  double x = 0, y = 0, z = 0;
  ASSERT_EQ(model.ReadVertex(2, x, y, z), 1);
  EXPECT_EQ(x, 502);
  uint32_t first = 0, count = 0;
  ASSERT_EQ(model.ReadPolygonPointData(0, first, count), 1);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(model.GetPointVertex(1), 1u);
  model.relative_reads = 0;
  EXPECT_EQ(model.GetPointVertex(4), 501u);
  ASSERT_EQ(model.ReadPolygonPointData(1, first, count), 1);
  EXPECT_EQ(first, 3u);
  EXPECT_EQ(count, 3u);
}

TEST_F(GeometryStore, PointsLimitDropsPolygonsUntilTheModelIsEmptied) {
  std::vector<uint32_t> big(60000);
  for (uint32_t i = 0; i < big.size(); ++i) big[i] = i % 7;
  LogCapture log;
  // One polygon may need several growth steps; it still fits.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(model.StorePolygon(60000, big.data()), 1) << i;
  EXPECT_EQ(model.points_count, 240000u);
  EXPECT_EQ(PolygonVertexes(model, 3), big);

  EXPECT_EQ(model.StorePolygon(60000, big.data()), 0);  // 240000 + 60000 reaches the maximum
  EXPECT_EQ(Occurrences(log.ErrorText(), "StorePolygon:Points limit reached\n"), 1u);
  EXPECT_EQ(model.Capacity(ModelData::kGroupPoints), 300000u);
  const uint32_t small[3] = {0, 1, 2};
  EXPECT_EQ(model.StorePolygon(3, small), 0);  // dropped silently
  EXPECT_EQ(Occurrences(log.ErrorText(), "Points limit reached"), 1u);
  EXPECT_EQ(model.polygons_count, 4u);

  // The other store path keeps a limit state of its own.
  EXPECT_EQ(model.StorePolygonBySize(60000), 0);
  EXPECT_TRUE(log.Contains("StorePolygonBySize:Points limit reached\n"));
  EXPECT_EQ(model.StorePolygonBySize(3), 0);

  model.DestroyData();
  ASSERT_EQ(model.InitData(), 1);
  EXPECT_EQ(model.StorePolygon(3, small), 1);
  EXPECT_EQ(model.StorePolygonBySize(3), 1);
}

TEST_F(GeometryStore, OverlongPolygonsAreRefused) {
  std::vector<uint32_t> list(70000, 0);
  LogCapture log;
  EXPECT_EQ(model.StorePolygon(70000, list.data()), 0);
  EXPECT_EQ(model.StorePolygonBySize(65536), 0);
  EXPECT_EQ(model.polygons_count, 0u);
  EXPECT_EQ(model.StorePolygon(65535, list.data()), 1);
  EXPECT_EQ(model.points_count, 65535u);
}

TEST_F(GeometryStore, EdgesAndPolygonsBuiltFromEdges) {
  for (int i = 0; i < 4; ++i) model.StoreVertex(i, 0, 0);
  model.StoreEdge(0, 1);
  model.StoreEdge(1, 2);
  model.StoreEdge(2, 0);
  model.StoreEdge(2, 3);
  uint32_t a = 7, b = 7;
  ASSERT_EQ(model.ReadEdge(1, a, b), 1);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);

  LogCapture log;
  EXPECT_EQ(model.ReadEdge(4, a, b), 0);
  EXPECT_TRUE(log.Contains("ReadEdge: count exceeded !\n"));
  EXPECT_EQ(a, 1u);

  const uint32_t ring[3] = {0, 1, 2};
  ASSERT_EQ(model.StoreEdgePolygon(3, ring), 1);
  EXPECT_EQ(PolygonVertexes(model, 0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(model.relative_reads, 0u);  // restored

  // Edges (0,1) and (2,3) share no vertex: nothing is stored.
  log.Clear();
  const uint32_t broken[3] = {0, 3, 1};
  EXPECT_EQ(model.StoreEdgePolygon(3, broken), 0);
  EXPECT_TRUE(log.Contains("FindTwoSame: Can't find two same !\n"));
  EXPECT_TRUE(log.Contains("StoreEdgePolygon:(1) (0,1) (2,3) (1,2) \n"));
  EXPECT_EQ(model.polygons_count, 1u);
}

TEST_F(GeometryStore, EdgeLimitIsLoggedOnTheLastEdge) {
  LogCapture log;
  for (uint32_t i = 0; i < 99999; ++i) ASSERT_EQ(model.StoreEdge(i, i + 1), 1);
  EXPECT_FALSE(log.Contains("StoreEdge: Edge limit reached\n"));
  EXPECT_EQ(model.StoreEdge(1, 2), 1);
  EXPECT_TRUE(log.Contains("StoreEdge: Edge limit reached\n"));
  EXPECT_EQ(model.StoreEdge(3, 4), 0);
  EXPECT_EQ(model.edges_count, 100000u);
}

TEST_F(GeometryStore, WholeElementRecordsCopyOnlyThePresentProperties) {
  model.StoreVertex(1, 2, 3);
  const uint32_t triangle[3] = {0, 0, 0};
  model.StorePolygon(3, triangle);
  PointProperties point{0, {7, 8, 9}, 4, {0.5, 0.25}};
  ASSERT_EQ(model.SetPointAllProperties(1, &point), 1);
  PointProperties read{};
  model.point_materials_present = 1;
  ASSERT_EQ(model.GetPointAllProperties(1, &read), 1);
  EXPECT_EQ(read.material, kNoMaterial);  // not stored while the flag was off
  EXPECT_EQ(read.normal.x, 0.0);          // not read while its flag is off

  model.point_normals_present = 1;
  model.point_texcoords_present = 1;
  ASSERT_EQ(model.SetPointAllProperties(2, &point), 1);
  ASSERT_EQ(model.GetPointAllProperties(2, nullptr), 1);  // into the model's own record
  EXPECT_EQ(model.point_record.material, 4);
  EXPECT_EQ(model.point_record.normal.z, 9);
  EXPECT_EQ(model.point_record.texcoord.v, 0.25);

  VertexProperties vertex{};
  model.vert_normals_present = 1;
  ASSERT_EQ(model.GetVertexAllProperties(0, &vertex), 1);
  EXPECT_EQ(vertex.y, 2);
  EXPECT_EQ(vertex.normal.x, -DBL_MAX);
  EXPECT_EQ(vertex.owner, kNoOwner);

  LogCapture log;
  EXPECT_EQ(model.GetVertexAllProperties(1, &vertex), 0);
  EXPECT_TRUE(log.Contains("GetVertexAllProperties: bad vertex index\n"));
  EXPECT_EQ(model.SetPointAllProperties(3, &point), 0);
  EXPECT_TRUE(log.Contains("SetPointAllProperties: bad point index\n"));
  PolygonProperties polygon{};
  EXPECT_EQ(model.GetPolygonAllProperties(1, &polygon), 0);
  EXPECT_TRUE(log.Contains("GetPolygonAllProperties: bad poly index\n"));
}

TEST_F(GeometryStore, StatisticsListEveryCountUnderItsLabel) {
  for (int i = 0; i < 4; ++i) model.StoreVertex(i, 0, 0);
  const uint32_t quad[4] = {0, 1, 2, 3};
  model.StorePolygon(4, quad);
  model.StoreEdge(0, 1);
  model.MaterialOfColor(1, 2, 3);
  model.AddBone(0, 0, 1.0);
  const std::string expected =
      "Used: \n"
      "             vertexs: 4\n"
      "            polygons: 1\n"
      "              points: 4\n"
      "               edges: 1\n"
      "           materials: 1\n"
      "             objects: 1\n"
      "               bones: 1\n"
      "              joints: 1\n"
      "            textures: 0\n"
      "    animation frames: 0\n"
      "              lights: 0\n";
  EXPECT_EQ(model.StatisticsText(), expected);
  LogCapture log;
  model.PrintStatistics();
  EXPECT_EQ(log.Text(), expected);
}

TEST(GeometryStoreLifecycle, InitDataEmptiesTheModelEvenWithoutDestroyData) {
  ModelData model;
  ASSERT_EQ(model.InitData(), 1);
  for (int i = 0; i < 20; ++i) model.StoreVertex(i, i, i);
  model.relative_reads = 1;
  model.current_frame = 3.0f;
  ASSERT_EQ(model.InitData(), 1);
  EXPECT_EQ(model.vertexs_count, 0u);
  EXPECT_EQ(model.relative_reads, 0u);
  EXPECT_EQ(model.relative_writes, 1u);
  EXPECT_EQ(model.current_frame, -2.0f);
  EXPECT_EQ(model.objects_count, 1u);
  EXPECT_EQ(model.joints_count, 1u);
  EXPECT_EQ(model.StoreVertex(5, 6, 7), 0u);
  double x = 0, y = 0, z = 0;
  ASSERT_EQ(model.ReadVertex(0, x, y, z), 1);
  EXPECT_EQ(y, 6);
  model.DestroyData();
  EXPECT_EQ(model.vertexs_count, 1u);  // counts keep their values until the next InitData
  EXPECT_EQ(model.ReadVertex(0, x, y, z), 0);
}

}  // namespace
}  // namespace zepcon
