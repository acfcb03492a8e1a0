#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <functional>
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

// Several values compared at once, each against its own expectation.
template <class... T>
std::vector<double> Values(T... values) {
  return {static_cast<double>(values)...};
}

class GeometryStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }

  std::vector<uint32_t> Polygon(uint32_t polygon) {
    uint32_t count = 0;
    std::vector<uint32_t> list(70000);
    model.ReadPolygon(polygon, &count, list.data(), static_cast<uint32_t>(list.size()));
    list.resize(count);
    return list;
  }
  Vec3d Vertex(uint32_t index) {
    Vec3d v{-1, -1, -1};
    EXPECT_EQ(model.ReadVertex(index, v.x, v.y, v.z), 1) << index;
    return v;
  }
  void StoreVertices(int count) {
    for (int i = 0; i < count; ++i) model.StoreVertex(i, 0, 0);
  }
  ModelData model;
};

TEST_F(GeometryStore, ArraysGrowInStepsAndKeepEveryStoredValue) {
  // Growth moves the later segments of the pool; nothing may be lost, nothing set appears.
  const uint32_t kVertices = 25000;
  for (uint32_t i = 0; i < kVertices; ++i) {
    model.StoreVertex(i, -1.5 * i, i * 0.25);
    const uint32_t capacity = model.Capacity(ModelData::kGroupVertices);
    ASSERT_EQ(capacity, i < 9998 ? 10000u : i < 19998 ? 20000u : 30000u) << "after vertex " << i;
  }
  for (uint32_t i = 0; i < kVertices; i += 2) model.SetVertexNormal(i, {1.0 * i, 2.0, 3.0});
  for (uint32_t i = 0; i + 2 < kVertices; i += 3) {
    const uint32_t triangle[3] = {i, i + 1, i + 2};
    model.StorePolygon(3, triangle);
  }
  for (uint32_t i : {0u, 1u, 9999u, 10000u, 12345u, kVertices - 1}) {
    const Vec3d v = Vertex(i);
    Vec3d normal{};
    ASSERT_EQ(model.GetVertexNormal(i, normal), 1);
    EXPECT_EQ(Values(v.x, v.y, v.z, normal.x, model.GetVertexOwner(i), model.GetVertexMaterial(i)),
              Values(i, -1.5 * i, i * 0.25, i % 2 ? -DBL_MAX : 1.0 * i, kNoOwner, kNoMaterial));
  }
  EXPECT_EQ(Polygon(4000), (std::vector<uint32_t>{12000, 12001, 12002}));
  double u = 0, v = 0;
  ASSERT_EQ(model.GetPointTexcoord(5, u, v), 1);
  EXPECT_EQ(u, -DBL_MAX);
}

// Each table is filled to its limit: the limit is logged once, as the last element goes in,
// and the next element is refused.
TEST(ModelLimits, TheLastElementIsLoggedAndTheNextRefused) {
  char name[16];
  const struct {
    const char* message;
    uint32_t limit, logged_at;  // logged_at counts from 1
    uint32_t ModelData::*count;
    std::function<bool(ModelData&, uint32_t)> add;  // true when element i was stored
  } tables[] = {
      {"StoreVertex:Vertexs limit reached\n", 100000, 100000, &ModelData::vertexs_count,
       [](ModelData& m, uint32_t i) { return m.StoreVertex(i, 1, 2) == i; }},
      {"StoreEdge: Edge limit reached\n", 100000, 100000, &ModelData::edges_count,
       [](ModelData& m, uint32_t i) { return m.StoreEdge(i, i + 1) == 1; }},
      {"AddMaterial: Limit reached\n", 10000, 10000, &ModelData::materials_count,
       [&name](ModelData& m, uint32_t i) {
         std::snprintf(name, sizeof name, "m%u", i);
         m.SetMaterialName(name);
         return m.AddMaterial() == static_cast<int32_t>(i);
       }},
      {"AddLight:Lights limit reached\n", 3000, 3000, &ModelData::lights_count,
       [](ModelData& m, uint32_t i) { return m.AddLight() == static_cast<int32_t>(i); }},
      {"AddBone: Bones limit reached\n", 200, 199, &ModelData::bones_count,
       [](ModelData& m, uint32_t i) { return m.AddBone(0, 0, 1) == static_cast<int32_t>(i); }},
  };
  for (const auto& table : tables) {
    SCOPED_TRACE(table.message);
    ModelData model;
    ASSERT_EQ(model.InitData(), 1);
    LogCapture log;
    for (uint32_t i = 0; i < table.limit; ++i) {
      ASSERT_TRUE(table.add(model, i)) << i;
      ASSERT_EQ(Occurrences(log.ErrorText(), table.message), i + 1 >= table.logged_at ? 1u : 0u)
          << i;
    }
    EXPECT_FALSE(table.add(model, table.limit));
    EXPECT_EQ(model.*table.count, table.limit);
    EXPECT_EQ(Occurrences(log.ErrorText(), table.message), 1u);
  }
}

TEST_F(GeometryStore, BadAndHostileIndexesAreLoggedAndLeaveOutputsAlone) {
  model.StoreVertex(1, 2, 3);
  model.StorePolygonBySize(4);
  LogCapture log;
  uint32_t first = 9, count = 9, list[3] = {};
  double x = 42, y = 42, z = 42;
  Vec3d normal{4, 4, 4};
  VertexFlags flags{5, 5};
  VertexProperties vertex{};
  PointProperties point{};
  PolygonProperties polygon{};
  const std::pair<std::function<int()>, const char*> calls[] = {
      {[&] { return model.ReadVertex(1, x, y, z); }, "ReadVertex: index(1) >= vertexs_count(1)\n"},
      {[&] { return model.SetVertex(5, 0, 0, 0); }, "SetVertex: index(5) >= vertexs_count(1)\n"},
      {[&] { return model.GetVertexNormal(1, normal); },
       "GetVertexNormal: vindex >= vertexs_count\n"},
      {[&] { return model.GetVertexFlags(3, flags); },
       "GetVertexFlags: index(3) >= vertexs_count(1)\n"},
      {[&] { return model.SetVertexFlags(3, flags); },
       "SetVertexFlags: index(3) >= vertexs_count(1)\n"},
      {[&] { return model.GetVertexOwner(10000); }, "GetVertexOwner: index > max\n"},
      {[&] { return model.SetVertexOwner(2000000, 1); }, "SetVertexOwner: index > max\n"},
      {[&] { return model.GetVertexAllProperties(1, &vertex); },
       "GetVertexAllProperties: bad vertex index\n"},
      {[&] { return model.SetPointAllProperties(4, &point); },
       "SetPointAllProperties: bad point index\n"},
      {[&] { return model.GetPolygonAllProperties(1, &polygon); },
       "GetPolygonAllProperties: bad poly index\n"},
      {[&] { return model.StorePolygonPoint(1, 0, 5); },
       "StorePolygonPoint: pindex (1) > polygons_count(1)\n"},
      {[&] { return model.StorePolygonPoint(0, 4, 5); },
       "StorePolygonPoint: pindex (4) > poly points count(4)\n"},
      {[&] { return static_cast<int>(model.ReadPolygonVertex(0, 4)); },
       "ReadPolygonVertex:vindex > poly.count\n"},
      {[&] { return static_cast<int>(model.ReadPolygonVertex(1, 0)); },
       "ReadPolygonVertex:pindex > polygons_count\n"},
      {[&] { return model.ReadPolygon(1, &count, list, 3); },
       "ReadPolygon:index > polygons_count\n"},
      {[&] { return model.ReadPolygonPointData(1, first, count); },
       "ReadPolygonPointData:index > polygons_count\n"},
  };
  for (const auto& [call, message] : calls) {
    EXPECT_EQ(call(), 0) << message;
    EXPECT_TRUE(log.Contains(message)) << message;
  }
  EXPECT_EQ(Values(x, y, z, normal.x, flags.first), Values(42, 42, 42, 4, 5));
  EXPECT_EQ(Values(first, count), Values(0, 0));
  // Far beyond any capacity: neither a crash nor a write.
  EXPECT_EQ(model.SetVertexNormal(UINT32_MAX, {1, 1, 1}), 0);
  EXPECT_EQ(model.GetPolygonNormal(4000000000u, normal), 0);
  EXPECT_EQ(model.SetPointNormal(4000000000u, normal), 0);
  EXPECT_EQ(model.SetPointTexcoord(UINT32_MAX - 1, 0, 0), 0);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 100000u);  // grown to the maximum, no more
}

TEST_F(GeometryStore, AVertexNormalMayBeSetBeforeItsVertexExists) {
  ASSERT_EQ(model.SetVertexNormal(15000, {0, 0, 1}), 1);
  EXPECT_EQ(model.Capacity(ModelData::kGroupVertices), 20000u);
  VertexFlags flags{9, 9};
  ASSERT_EQ(model.StoreVertex(0, 0, 0), 0u);
  ASSERT_EQ(model.GetVertexFlags(0, flags), 1);
  EXPECT_EQ(flags.first + flags.second, 0u);
}

TEST_F(GeometryStore, PolygonsAreStoredWholeOrPointByPointAndReadBackWithinBounds) {
  ASSERT_EQ(model.StorePolygonBySize(4), 1);
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(model.StorePolygonPoint(0, k, 13 - k), 1);
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{13, 12, 11, 10}));
  EXPECT_EQ(model.ReadPolygonVertex(0, 3), 10u);
  // Short polygons are filled up with their first vertex.
  LogCapture log;
  const uint32_t pair[2] = {1, 2};
  ASSERT_EQ(model.StorePolygon(2, pair), 1);
  EXPECT_EQ(Polygon(1), (std::vector<uint32_t>{1, 2, 1}));
  ASSERT_EQ(model.StorePolygonBySize(1), 1);
  EXPECT_EQ(model.points_count, 10u);
  EXPECT_TRUE(
      log.Contains("StorePolygon: polygon with 2 points, will be filled to have 3 points\n"));
  EXPECT_TRUE(
      log.Contains("StorePolygonBySize: polygon with 1 points, will be filled to have 3 points\n"));
  EXPECT_EQ(model.StorePolygon(0, pair), 0);  // no vertex at all to repeat

  // Count-only queries and cut lists report the full count and return 0.
  uint32_t count = 7, list[3] = {};
  EXPECT_EQ(model.ReadPolygon(0, &count, nullptr, 5), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(model.ReadPolygon(0, &count, nullptr, 0), 0);
  EXPECT_EQ(count, 4u);
  count = 0;
  EXPECT_EQ(model.ReadPolygon(0, &count, list, 3), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(list[2], 11u);

  EXPECT_EQ(model.polygons_count, 3u);
}

TEST_F(GeometryStore, RelativeIndexesCountFromTheCurrentObject) {
  ASSERT_EQ(model.relative_writes, 1u);
  ASSERT_EQ(model.relative_reads, 0u);
  StoreVertices(500);
  const uint32_t triangle[3] = {0, 1, 2};
  model.StorePolygon(3, triangle);
  ASSERT_EQ(model.NewObject(), 1);
  EXPECT_EQ(model.StoreVertex(500, 0, 0), 0u);  // the 501st vertex is the object's first
  EXPECT_EQ(model.StoreVertex(501, 0, 0), 1u);
  model.StoreVertex(502, 0, 0);
  model.StorePolygon(3, triangle);
  EXPECT_EQ(Polygon(1), (std::vector<uint32_t>{500, 501, 502}));

  model.relative_reads = 1;
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 2}));  // object 1's polygon 0
  EXPECT_EQ(Vertex(2).x, 502);
  uint32_t first = 9, count = 0;
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
  std::vector<uint32_t> big(70000);
  for (uint32_t i = 0; i < big.size(); ++i) big[i] = i % 7;
  LogCapture log;
  EXPECT_EQ(model.StorePolygon(70000, big.data()), 0);  // more points than a polygon may have
  EXPECT_EQ(model.StorePolygonBySize(65536), 0);
  big.resize(60000);
  // One polygon may need several growth steps; it still fits.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(model.StorePolygon(60000, big.data()), 1) << i;
  EXPECT_EQ(model.points_count, 240000u);
  EXPECT_EQ(Polygon(3), big);

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

  // An emptied model takes polygons again, up to the longest one allowed.
  ASSERT_EQ(model.InitData(), 1);
  big.resize(65535);
  EXPECT_EQ(model.StorePolygon(65535, big.data()), 1);
  EXPECT_EQ(model.StorePolygonBySize(3), 1);
  EXPECT_EQ(model.points_count, 65538u);
}

TEST_F(GeometryStore, PolygonsBuiltFromEdgesAndTheCountsListed) {
  StoreVertices(4);
  const uint32_t edges[4][2] = {{0, 1}, {1, 2}, {2, 0}, {2, 3}};
  for (const auto& e : edges) model.StoreEdge(e[0], e[1]);
  uint32_t a = 7, b = 7;
  ASSERT_EQ(model.ReadEdge(1, a, b), 1);
  EXPECT_EQ(Values(a, b), Values(1, 2));
  LogCapture log;
  EXPECT_EQ(model.ReadEdge(4, a, b), 0);
  EXPECT_TRUE(log.Contains("ReadEdge: count exceeded !\n"));
  EXPECT_EQ(a, 1u);

  const uint32_t ring[3] = {0, 1, 2};
  ASSERT_EQ(model.StoreEdgePolygon(3, ring), 1);
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(model.relative_reads, 0u);  // restored
  // Edges (0,1) and (2,3) share no vertex: nothing is stored.
  const uint32_t broken[3] = {0, 3, 1};
  EXPECT_EQ(model.StoreEdgePolygon(3, broken), 0);
  EXPECT_TRUE(log.Contains("FindTwoSame: Can't find two same !\n"));
  EXPECT_TRUE(log.Contains("StoreEdgePolygon:(1) (0,1) (2,3) (1,2) \n"));
  EXPECT_EQ(model.polygons_count, 1u);

  model.MaterialOfColor(1, 2, 3);
  model.AddBone(0, 0, 1.0);
  log.Clear();
  model.PrintStatistics();
  EXPECT_EQ(log.Text(),
            "Used: \n             vertexs: 4\n            polygons: 1\n              points: 3\n"
            "               edges: 4\n           materials: 1\n             objects: 1\n"
            "               bones: 1\n              joints: 1\n            textures: 0\n"
            "    animation frames: 0\n              lights: 0\n");
}

TEST_F(GeometryStore, WholeElementRecordsCopyOnlyThePresentProperties) {
  model.StoreVertex(1, 2, 3);
  const uint32_t triangle[3] = {0, 0, 0};
  model.StorePolygon(3, triangle);
  const PointProperties point{0, {7, 8, 9}, 4, {0.5, 0.25}};
  ASSERT_EQ(model.SetPointAllProperties(1, &point), 1);
  PointProperties read{};
  model.point_materials_present = 1;
  ASSERT_EQ(model.GetPointAllProperties(1, &read), 1);
  // The material was not stored while its flag was off, the normal is not read while its is.
  EXPECT_EQ(Values(read.material, read.normal.x), Values(kNoMaterial, 0));
  model.point_normals_present = model.point_texcoords_present = 1;
  ASSERT_EQ(model.SetPointAllProperties(2, &point), 1);
  ASSERT_EQ(model.GetPointAllProperties(2, nullptr), 1);  // into the model's own record
  const PointProperties& got = model.point_record;
  EXPECT_EQ(Values(got.material, got.normal.z, got.texcoord.v), Values(4, 9, 0.25));
  VertexProperties vertex{};
  model.vert_normals_present = 1;
  ASSERT_EQ(model.GetVertexAllProperties(0, &vertex), 1);
  EXPECT_EQ(Values(vertex.y, vertex.normal.x, vertex.owner), Values(2, -DBL_MAX, kNoOwner));
}

TEST_F(GeometryStore, InitDataEmptiesTheModelEvenWithoutDestroyData) {
  StoreVertices(20);
  model.relative_reads = 1;
  model.current_frame = 3.0f;
  ASSERT_EQ(model.InitData(), 1);
  EXPECT_EQ(Values(model.vertexs_count, model.relative_reads, model.relative_writes,
                   model.objects_count, model.joints_count, model.current_frame),
            Values(0, 0, 1, 1, 1, -2));
  EXPECT_EQ(model.StoreVertex(5, 6, 7), 0u);
  EXPECT_EQ(Vertex(0).y, 6);
  model.DestroyData();
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(model.vertexs_count, 1u);  // counts keep their values until the next InitData
  EXPECT_EQ(model.ReadVertex(0, x, y, z), 0);
}

}  // namespace
}  // namespace zepcon

namespace zepcon {
namespace {

// InitData on a container that holds a grown model gives the same start as
// a fresh container: first capacities, nothing stored, every value unset.
TEST(GeometryStoreReuse, InitDataAgainStartsLikeAFreshContainer) {
  ModelData used;
  ASSERT_EQ(used.InitData(), 1);
  for (uint32_t i = 0; i < 25000; ++i) used.StoreVertex(i, 1, 2);
  ASSERT_EQ(used.SetVertexNormal(24000, {1, 2, 3}), 1);
  ASSERT_EQ(used.SetVertexNormal(5, {1, 2, 3}), 1);
  const uint32_t triangle[3] = {0, 1, 2};
  ASSERT_EQ(used.StorePolygon(3, triangle), 1);
  ASSERT_GT(used.Capacity(ModelData::kGroupVertices), 10000u);
  ASSERT_EQ(used.InitData(), 1);

  ModelData fresh;
  ASSERT_EQ(fresh.InitData(), 1);
  for (ModelData* model : {&used, &fresh}) {
    SCOPED_TRACE(model == &used ? "used" : "fresh");
    EXPECT_EQ(Values(model->vertexs_count, model->polygons_count, model->points_count,
                     model->Capacity(ModelData::kGroupVertices), model->Capacity(ModelData::kGroupPoints)),
              Values(0, 0, 0, 10000, 30000));
    for (uint32_t i = 0; i < 12000; ++i) model->StoreVertex(i, 0, 0);  // grows again in the same steps
    EXPECT_EQ(model->Capacity(ModelData::kGroupVertices), 20000u);
    Vec3d normal{};
    ASSERT_EQ(model->GetVertexNormal(5, normal), 1);
    EXPECT_EQ(Values(normal.x, normal.z, model->GetVertexOwner(5), model->GetVertexMaterial(5)),
              Values(-DBL_MAX, -DBL_MAX, kNoOwner, kNoMaterial));
    ASSERT_EQ(model->GetVertexNormal(11999, normal), 1);
    EXPECT_EQ(normal.y, -DBL_MAX);
  }
}

}  // namespace
}  // namespace zepcon
