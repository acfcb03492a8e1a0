#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

constexpr double kPi = std::numbers::pi;

struct Point2 {
  double x, y;
};

// Signed area of a 2-D outline (positive counter-clockwise).
double SignedArea(const std::vector<Point2>& outline) {
  double twice = 0;
  for (size_t i = 0; i < outline.size(); ++i) {
    const Point2& a = outline[i];
    const Point2& b = outline[(i + 1) % outline.size()];
    twice += a.x * b.y - b.x * a.y;
  }
  return twice / 2;
}

double TriangleSignedArea(const Point2& a, const Point2& b, const Point2& c) {
  return ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y)) / 2;
}

// Even-odd test; points on the outline count as inside.
bool InsideOrOn(const std::vector<Point2>& outline, const Point2& p) {
  bool inside = false;
  for (size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
    const Point2& a = outline[i];
    const Point2& b = outline[j];
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    const bool between_x = std::min(a.x, b.x) - 1e-9 <= p.x && p.x <= std::max(a.x, b.x) + 1e-9;
    const bool between_y = std::min(a.y, b.y) - 1e-9 <= p.y && p.y <= std::max(a.y, b.y) + 1e-9;
    if (std::fabs(cross) < 1e-9 && between_x && between_y) return true;
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
      inside = !inside;
  }
  return inside;
}

// The outline placed into 3-D: rotated about x, then y, then z, then moved.
Vec3d Place(const Point2& p, double ax, double ay, double az) {
  double x = p.x, y = p.y, z = 0;
  double t = ax;
  double y2 = std::cos(t) * y - std::sin(t) * z, z2 = std::sin(t) * y + std::cos(t) * z;
  y = y2;
  z = z2;
  t = ay;
  double x2 = std::cos(t) * x + std::sin(t) * z;
  z2 = -std::sin(t) * x + std::cos(t) * z;
  x = x2;
  z = z2;
  t = az;
  x2 = std::cos(t) * x - std::sin(t) * y;
  y2 = std::sin(t) * x + std::cos(t) * y;
  return {x2 + 3.0, y2 - 7.0, z + 11.0};
}

double Area3(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  return std::sqrt(nx * nx + ny * ny + nz * nz) / 2;
}

std::vector<Point2> LShape() { return {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}; }
std::vector<Point2> Hexagon() {
  std::vector<Point2> outline;
  for (int i = 0; i < 6; ++i) outline.push_back({std::cos(i * kPi / 3), std::sin(i * kPi / 3)});
  return outline;
}
std::vector<Point2> Star() {
  std::vector<Point2> outline;
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 ? 0.4 : 1.0;
    outline.push_back({r * std::cos(i * kPi / 5), r * std::sin(i * kPi / 5)});
  }
  return outline;
}
// Three teeth pointing up; many corners block each other's ears.
std::vector<Point2> Comb() {
  return {{0, 0}, {7, 0}, {7, 3}, {6, 3}, {6, 1}, {5, 1}, {5, 3}, {4, 3},
          {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
}
std::vector<Point2> CollinearStart() { return {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {1, 3}, {0, 2}}; }
std::vector<Point2> Reversed(std::vector<Point2> outline) {
  return std::vector<Point2>(outline.rbegin(), outline.rend());
}

struct Plane {
  double ax, ay, az;
};

class Triangulation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }

  // Stores the outline as one polygon in the given plane; vertex k is corner k.
  void StoreOutline(const std::vector<Point2>& outline, const Plane& plane) {
    std::vector<uint32_t> list;
    for (const Point2& p : outline) {
      const Vec3d v = Place(p, plane.ax, plane.ay, plane.az);
      list.push_back(model.StoreVertex(v.x, v.y, v.z));
    }
    model.StorePolygon(static_cast<uint32_t>(list.size()), list.data());
  }

  std::vector<uint32_t> Polygon(uint32_t index) {
    uint32_t count = 0;
    std::vector<uint32_t> list(64);
    model.ReadPolygon(index, &count, list.data(), 64);
    list.resize(std::min<uint32_t>(count, 64));
    return list;
  }

  Vec3d Vertex(uint32_t index) {
    Vec3d v{};
    model.ReadVertex(index, v.x, v.y, v.z);
    return v;
  }

  // The triangles cover the outline exactly: n - 2 triangles of its corners,
  // all turning the same way as the outline, their areas adding up to its
  // area, and each one's centre and edge midpoints inside it.
  void ExpectExactCover(const std::vector<Point2>& outline, uint32_t first_vertex,
                        uint32_t first_polygon) {
    const size_t n = outline.size();
    ASSERT_EQ(model.polygons_count, first_polygon + n - 2);
    const double area = std::fabs(SignedArea(outline));
    const double orientation = SignedArea(outline) > 0 ? 1 : -1;
    double sum_2d = 0, sum_3d = 0;
    for (uint32_t t = first_polygon; t < model.polygons_count; ++t) {
      const std::vector<uint32_t> tri = Polygon(t);
      ASSERT_EQ(tri.size(), 3u);
      Point2 corners[3];
      for (int i = 0; i < 3; ++i) {
        ASSERT_GE(tri[i], first_vertex);
        ASSERT_LT(tri[i] - first_vertex, n);
        corners[i] = outline[tri[i] - first_vertex];
      }
      const double signed_area = TriangleSignedArea(corners[0], corners[1], corners[2]);
      EXPECT_GE(signed_area * orientation, -1e-9) << "triangle " << t << " turns the wrong way";
      sum_2d += std::fabs(signed_area);
      sum_3d += Area3(Vertex(tri[0]), Vertex(tri[1]), Vertex(tri[2]));
      if (std::fabs(signed_area) > 1e-9) {
        const Point2 centre{(corners[0].x + corners[1].x + corners[2].x) / 3,
                            (corners[0].y + corners[1].y + corners[2].y) / 3};
        EXPECT_TRUE(InsideOrOn(outline, centre)) << "triangle " << t << " leaves the polygon";
        for (int i = 0; i < 3; ++i) {
          const Point2 mid{(corners[i].x + corners[(i + 1) % 3].x) / 2,
                           (corners[i].y + corners[(i + 1) % 3].y) / 2};
          EXPECT_TRUE(InsideOrOn(outline, mid)) << "an edge of triangle " << t << " leaves";
        }
      }
    }
    EXPECT_NEAR(sum_2d, area, 1e-9 * std::max(1.0, area));
    EXPECT_NEAR(sum_3d, area, 1e-7 * std::max(1.0, area));
  }

  ModelData model;
};

const Plane kPlanes[] = {{0, 0, 0},        {0.7, 0.2, -1.1},  {kPi / 2, 0, 0},
                         {2.5, -1.3, 0.4}, {0, kPi / 2, 0.3}, {kPi, 0.1, 0}};

TEST_F(Triangulation, OutlinesInAnyPlaneAreCoveredExactly) {
  const struct {
    const char* name;
    std::vector<Point2> outline;
    bool bad_normal;  // the first three corners give no plane
  } shapes[] = {
      {"convex hexagon", Hexagon(), false},
      {"L-shaped hexagon", LShape(), false},
      {"L-shaped hexagon, clockwise", Reversed(LShape()), false},
      {"star", Star(), false},
      {"star, clockwise", Reversed(Star()), false},
      {"collinear start", CollinearStart(), true},
      {"comb", Comb(), false},
      {"comb, clockwise", Reversed(Comb()), false},
  };
  std::vector<Plane> planes(std::begin(kPlanes), std::end(kPlanes));
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  for (int i = 0; i < 10; ++i) planes.push_back({angle(random), angle(random), angle(random)});
  for (const auto& shape : shapes) {
    for (const Plane& plane : planes) {
      SCOPED_TRACE(std::string(shape.name) + " in plane " + std::to_string(plane.ax) + "," +
                   std::to_string(plane.ay) + "," + std::to_string(plane.az));
      model.DestroyData();
      ASSERT_EQ(model.InitData(), 1);
      StoreOutline(shape.outline, plane);
      LogCapture log;
      ASSERT_EQ(model.TriangulatePolygons(), 1);
      ExpectExactCover(shape.outline, 0, 0);
      EXPECT_TRUE(log.Contains("Triangulated 1 polygons\n"));
      EXPECT_FALSE(log.Contains("because of angles"));
      EXPECT_EQ(log.Contains("Badly triangulated because of normal: 1 polygons\n"),
                shape.bad_normal);
    }
  }
}

TEST_F(Triangulation, TheNotchOfTheLShapeIsNeverCovered) {
  StoreOutline(LShape(), {0.3, 0.3, 0.3});
  model.TriangulatePolygons();
  // The notch's centre (1.5, 1.5) lies in no triangle.
  const Point2 notch{1.5, 1.5};
  const std::vector<Point2> outline = LShape();
  for (uint32_t t = 0; t < model.polygons_count; ++t) {
    const std::vector<uint32_t> tri = Polygon(t);
    const std::vector<Point2> corners = {outline[tri[0]], outline[tri[1]], outline[tri[2]]};
    EXPECT_FALSE(InsideOrOn(corners, notch)) << t;
  }
}

TEST_F(Triangulation, BadNormalsAreCountedButStillCut) {
  StoreOutline(CollinearStart(), {0.5, 0.5, 0.5});
  StoreOutline(LShape(), {0.5, 0.5, 0.5});
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_TRUE(log.Contains("Badly triangulated because of normal: 1 polygons\n"));
  EXPECT_FALSE(log.Contains("because of angles"));
  EXPECT_TRUE(log.Contains("Triangulated 2 polygons\n"));
  EXPECT_EQ(model.polygons_count, 8u);
  EXPECT_EQ(model.points_count, 24u);
}

TEST_F(Triangulation, ASelfCrossingOutlineWithoutAnEarCountsAsBadAngles) {
  // A bow tie: after the first ear no corner of the rest turns less than 180.
  const double corners[4][2] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};
  for (const auto& c : corners) model.StoreVertex(c[0], c[1], 0);
  const uint32_t tie[4] = {0, 1, 2, 3};
  model.StorePolygon(4, tie);
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_TRUE(log.Contains("Badly triangulated because of angles: 1 polygons\n"));
  EXPECT_FALSE(log.Contains("because of normal"));
  EXPECT_EQ(model.polygons_count, 2u);  // still cut
}

TEST_F(Triangulation, CornersAllOnOneLineStillGiveTriangles) {
  for (int i = 0; i < 5; ++i) model.StoreVertex(i, 2 * i, 0);
  const uint32_t line[5] = {0, 1, 2, 3, 4};
  model.StorePolygon(5, line);
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_EQ(model.polygons_count, 3u);
  EXPECT_EQ(model.points_count, 9u);
  EXPECT_TRUE(log.Contains("Badly triangulated because of normal: 1 polygons\n"));
}

TEST_F(Triangulation, NonFiniteCoordinatesStillEndInTriangles) {
  const double inf = std::numeric_limits<double>::infinity();
  const double corners[5][3] = {{0, 0, 0}, {inf, 0, 0}, {1, NAN, 0}, {0, 1, -inf}, {2, 2, 2}};
  for (const auto& c : corners) model.StoreVertex(c[0], c[1], c[2]);
  const uint32_t pentagon[5] = {0, 1, 2, 3, 4};
  model.StorePolygon(5, pentagon);
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_EQ(model.polygons_count, 3u);
  EXPECT_EQ(model.points_count, 9u);
}

TEST_F(Triangulation, QuadsBecomeTwoTrianglesAndTrianglesAreCopied) {
  for (int i = 0; i < 6; ++i) model.StoreVertex(i % 3, i / 3, 0);
  const uint32_t first_triangle[3] = {4, 0, 1};
  const uint32_t quad[4] = {0, 1, 4, 3};
  const uint32_t second_quad[4] = {1, 2, 5, 4};
  model.StorePolygon(3, first_triangle);
  model.StorePolygon(4, quad);
  model.StorePolygon(3, first_triangle);
  model.StorePolygon(4, second_quad);
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_TRUE(log.Contains("Triangulated 2 polygons\n"));
  EXPECT_FALSE(log.Contains("Badly"));
  ASSERT_EQ(model.polygons_count, 6u);
  EXPECT_EQ(model.points_count, 18u);
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{4, 0, 1}));
  EXPECT_EQ(Polygon(3), (std::vector<uint32_t>{4, 0, 1}));
  // Each quad's two triangles use its corners and cover it (area 1 each).
  for (uint32_t t : {1u, 2u, 4u, 5u}) {
    const std::vector<uint32_t> tri = Polygon(t);
    ASSERT_EQ(tri.size(), 3u);
    EXPECT_NEAR(Area3(Vertex(tri[0]), Vertex(tri[1]), Vertex(tri[2])), 0.5, 1e-12);
  }
  for (uint32_t t : {1u, 2u})
    for (uint32_t v : Polygon(t)) EXPECT_TRUE(v == 0 || v == 1 || v == 4 || v == 3);
}

TEST_F(Triangulation, OnlyTrianglesChangeNothing) {
  for (int i = 0; i < 3; ++i) model.StoreVertex(i, i * i, 0);
  const uint32_t triangle[3] = {2, 0, 1};
  model.StorePolygon(3, triangle);
  model.StorePolygon(3, triangle);
  const uint32_t pair[2] = {1, 2};
  model.StorePolygon(2, pair);  // stored filled up to 3 points
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_EQ(log.Text(), "Triangulating polygons ...");
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_EQ(model.polygons_count, 3u);
}

TEST_F(Triangulation, PropertiesFollowTheirSourcePoints) {
  model.poly_materials_present = 1;
  model.point_materials_present = 1;
  model.point_texcoords_present = 1;
  model.point_normals_present = 1;
  for (int i = 0; i < 5; ++i) model.StoreVertex(std::cos(i * 1.2566), std::sin(i * 1.2566), 0);
  const uint32_t pentagon[5] = {0, 1, 2, 3, 4};
  model.StorePolygon(5, pentagon);
  model.SetPolygonMaterial(0, 6);
  for (uint32_t k = 0; k < 5; ++k) {
    model.SetPointMaterial(k, static_cast<int32_t>(10 + k));
    model.SetPointTexcoord(k, 0.1 * k, 1.0 - 0.1 * k);
    model.SetPointNormal(k, {0, 0, 1.0 + k});
  }
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  ASSERT_EQ(model.polygons_count, 3u);
  for (uint32_t t = 0; t < 3; ++t) {
    EXPECT_EQ(model.GetPolygonMaterial(t), 6);
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t point = 3 * t + k;
      const uint32_t vertex = model.GetPointVertex(point);
      EXPECT_EQ(model.GetPointMaterial(point), static_cast<int32_t>(10 + vertex));
      double u = 0, v = 0;
      model.GetPointTexcoord(point, u, v);
      EXPECT_DOUBLE_EQ(u, 0.1 * vertex);
      EXPECT_DOUBLE_EQ(v, 1.0 - 0.1 * vertex);
      Vec3d normal{};
      model.GetPointNormal(point, normal);
      EXPECT_EQ(normal.z, 1.0 + vertex);
    }
  }
}

TEST_F(Triangulation, ObjectsKeepTheirPlacesAndGetTheirTriangles) {
  // Object 0: a quad; object 1: no polygons; object 2: a pentagon and a triangle.
  for (int i = 0; i < 4; ++i) model.StoreVertex(i & 1, i >> 1, 0);
  const uint32_t quad[4] = {0, 1, 3, 2};
  model.StorePolygon(4, quad);
  model.NewObject();
  model.StoreVertex(9, 9, 9);
  model.NewObject();
  for (int i = 0; i < 5; ++i) model.StoreVertex(std::cos(i * 1.2566), std::sin(i * 1.2566), 0);
  const uint32_t pentagon[5] = {0, 1, 2, 3, 4};
  const uint32_t triangle[3] = {0, 1, 2};
  model.StorePolygon(5, pentagon);
  model.StorePolygon(3, triangle);
  model.FinishObjects();
  ASSERT_EQ(model.objects_count, 3u);

  ASSERT_EQ(model.TriangulatePolygons(), 1);
  ASSERT_EQ(model.polygons_count, 6u);
  ObjectRecord objects[3];
  for (uint32_t i = 0; i < 3; ++i) ASSERT_EQ(model.GetObjectInfo(i, &objects[i]), 1);
  EXPECT_EQ(objects[0].first_polygon, 0u);
  EXPECT_EQ(objects[0].polygon_count, 2u);
  EXPECT_EQ(objects[0].point_count, 6u);
  EXPECT_EQ(objects[1].first_polygon, 2u);
  EXPECT_EQ(objects[1].polygon_count, 0u);
  EXPECT_EQ(objects[2].first_polygon, 2u);
  EXPECT_EQ(objects[2].polygon_count, 4u);
  EXPECT_EQ(objects[2].first_point, 6u);
  EXPECT_EQ(objects[2].point_count, 12u);
  // Vertices are untouched.
  EXPECT_EQ(objects[2].first_vertex, 5u);
  EXPECT_EQ(objects[2].vertex_count, 5u);
  // Every triangle of object 2 uses object 2's vertices.
  for (uint32_t t = 2; t < 6; ++t)
    for (uint32_t v : Polygon(t)) EXPECT_GE(v, 5u);
  EXPECT_EQ(model.relative_writes, 0u);
}

}  // namespace
}  // namespace zepcon
