#include <gtest/gtest.h>

#include <array>
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
using Outline = std::vector<Point2>;

double TriangleSignedArea(const Point2& a, const Point2& b, const Point2& c) {
  return ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y)) / 2;
}

// Positive counter-clockwise.
double SignedArea(const Outline& outline) {
  double area = 0;
  for (size_t i = 1; i + 1 < outline.size(); ++i)
    area += TriangleSignedArea(outline[0], outline[i], outline[i + 1]);
  return area;
}

// Even-odd test; points on the outline count as inside.
bool InsideOrOn(const Outline& outline, const Point2& p) {
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

// The outline point rotated by ax about x, ay about y, az about z, then moved off the origin.
Vec3d Place(const Point2& p, double ax, double ay, double az) {
  const double y1 = std::cos(ax) * p.y, z1 = std::sin(ax) * p.y;
  const double x2 = std::cos(ay) * p.x + std::sin(ay) * z1,
               z2 = -std::sin(ay) * p.x + std::cos(ay) * z1;
  const double x3 = std::cos(az) * x2 - std::sin(az) * y1,
               y3 = std::sin(az) * x2 + std::cos(az) * y1;
  return {x3 + 3.0, y3 - 7.0, z2 + 11.0};
}

double Area3(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  return std::sqrt(nx * nx + ny * ny + nz * nz) / 2;
}

// Corners on a circle; odd corners at `inner` times the radius.
Outline Ring(int corners, double inner) {
  Outline outline;
  for (int i = 0; i < corners; ++i) {
    const double r = i % 2 ? inner : 1.0;
    outline.push_back({r * std::cos(2 * i * kPi / corners), r * std::sin(2 * i * kPi / corners)});
  }
  return outline;
}
Outline LShape() { return {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}; }
// Three teeth pointing up; many corners block each other's ears.
Outline Comb() {
  return {{0, 0}, {7, 0}, {7, 3}, {6, 3}, {6, 1}, {5, 1}, {5, 3}, {4, 3},
          {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
}
Outline Reversed(const Outline& outline) { return Outline(outline.rbegin(), outline.rend()); }
std::vector<Vec3d> Flat(const Outline& outline) {
  std::vector<Vec3d> corners;
  for (const Point2& p : outline) corners.push_back({p.x, p.y, 0});
  return corners;
}

class Triangulation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(model.InitData(), 1); }
  void TearDown() override { model.DestroyData(); }

  void StoreCorners(const std::vector<Vec3d>& corners) {
    std::vector<uint32_t> list;
    for (const Vec3d& v : corners) list.push_back(model.StoreVertex(v.x, v.y, v.z));
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
  double TriangleArea(uint32_t polygon) {
    const std::vector<uint32_t> tri = Polygon(polygon);
    return tri.size() == 3 ? Area3(Vertex(tri[0]), Vertex(tri[1]), Vertex(tri[2])) : -1;
  }

  // The triangles (the only polygons, of vertexes 0..n-1) cover the outline exactly:
  // n - 2 triangles of its corners, all turning the way the outline turns, areas in the
  // plane and in space adding up to its area, each centre and edge midpoint inside it.
  void ExpectExactCover(const Outline& outline) {
    ASSERT_EQ(model.polygons_count, outline.size() - 2);
    const double area = std::fabs(SignedArea(outline));
    const double orientation = SignedArea(outline) > 0 ? 1 : -1;
    double sum_2d = 0, sum_3d = 0;
    for (uint32_t t = 0; t < model.polygons_count; ++t) {
      const std::vector<uint32_t> tri = Polygon(t);
      ASSERT_EQ(tri.size(), 3u);
      Point2 c[3];
      for (int i = 0; i < 3; ++i) {
        ASSERT_LT(tri[i], outline.size());
        c[i] = outline[tri[i]];
      }
      const double signed_area = TriangleSignedArea(c[0], c[1], c[2]);
      EXPECT_GE(signed_area * orientation, -1e-9) << "triangle " << t << " turns the wrong way";
      sum_2d += std::fabs(signed_area);
      sum_3d += TriangleArea(t);
      if (std::fabs(signed_area) < 1e-9) continue;
      EXPECT_TRUE(
          InsideOrOn(outline, {(c[0].x + c[1].x + c[2].x) / 3, (c[0].y + c[1].y + c[2].y) / 3}))
          << "triangle " << t << " leaves the polygon";
      for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(
            InsideOrOn(outline, {(c[i].x + c[(i + 1) % 3].x) / 2, (c[i].y + c[(i + 1) % 3].y) / 2}))
            << "an edge of triangle " << t << " leaves the polygon";
    }
    EXPECT_NEAR(sum_2d, area, 1e-9 * std::max(1.0, area));
    EXPECT_NEAR(sum_3d, area, 1e-7 * std::max(1.0, area));
  }

  ModelData model;
};

TEST_F(Triangulation, OutlinesInAnyPlaneAreCoveredExactly) {
  const struct {
    const char* name;
    Outline outline;
    bool bad_normal;  // the first three corners give no plane
  } shapes[] = {
      {"convex hexagon", Ring(6, 1.0), false},
      {"L-shape", LShape(), false},
      {"L-shape, clockwise", Reversed(LShape()), false},
      {"star", Ring(10, 0.4), false},
      {"star, clockwise", Reversed(Ring(10, 0.4)), false},
      {"collinear start", {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {1, 3}, {0, 2}}, true},
      {"comb", Comb(), false},
      {"comb, clockwise", Reversed(Comb()), false},
  };
  std::vector<std::array<double, 3>> planes = {{0, 0, 0},        {0.7, 0.2, -1.1},  {kPi / 2, 0, 0},
                                               {2.5, -1.3, 0.4}, {0, kPi / 2, 0.3}, {kPi, 0.1, 0}};
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  for (int i = 0; i < 10; ++i) planes.push_back({angle(random), angle(random), angle(random)});
  for (const auto& shape : shapes) {
    for (const auto& [ax, ay, az] : planes) {
      SCOPED_TRACE(std::string(shape.name) + " in plane " + std::to_string(ax) + "," +
                   std::to_string(ay) + "," + std::to_string(az));
      ASSERT_EQ(model.InitData(), 1);
      std::vector<Vec3d> corners;
      for (const Point2& p : shape.outline) corners.push_back(Place(p, ax, ay, az));
      StoreCorners(corners);
      LogCapture log;
      ASSERT_EQ(model.TriangulatePolygons(), 1);
      ExpectExactCover(shape.outline);
      EXPECT_TRUE(log.Contains("Triangulated 1 polygons\n"));
      EXPECT_FALSE(log.Contains("because of angles"));
      EXPECT_EQ(log.Contains("Badly triangulated because of normal: 1 polygons\n"),
                shape.bad_normal);
    }
  }
}

TEST_F(Triangulation, DegenerateOutlinesAreStillCutIntoTheirOwnCorners) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* name;
    std::string complaint, not_complained;
    std::vector<Vec3d> corners;
  } cases[] = {
      // After the first ear no corner of the rest turns less than 180 degrees.
      {"bow tie", "angles", "normal", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}},
      {"all on one line",
       "normal",
       "angles",
       {{0, 0, 0}, {1, 2, 0}, {2, 4, 0}, {3, 6, 0}, {4, 8, 0}}},
      {"non-finite",
       "normal",
       "angles",
       {{0, 0, 0}, {inf, 0, 0}, {1, NAN, 0}, {0, 1, -inf}, {2, 2, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(model.InitData(), 1);
    StoreCorners(c.corners);
    LogCapture log;
    ASSERT_EQ(model.TriangulatePolygons(), 1);
    const uint32_t n = static_cast<uint32_t>(c.corners.size());
    ASSERT_EQ(model.polygons_count, n - 2);
    EXPECT_EQ(model.points_count, 3 * (n - 2));
    for (uint32_t t = 0; t < n - 2; ++t)
      for (uint32_t v : Polygon(t)) EXPECT_LT(v, n);
    EXPECT_TRUE(log.Contains("Badly triangulated because of " + c.complaint + ": 1 polygons\n"));
    EXPECT_FALSE(log.Contains("because of " + c.not_complained));
  }
}

TEST_F(Triangulation, OnlyTrianglesAreLeftAsTheyAre) {
  StoreCorners({{0, 0, 0}, {1, 0, 0}, {2, 4, 0}});
  const uint32_t pair[2] = {1, 2};
  model.StorePolygon(2, pair);  // stored filled up to 3 points
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_EQ(log.Text(), "Triangulating polygons ...");
  EXPECT_EQ(model.polygons_count, 2u);
  EXPECT_EQ(Polygon(0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(Polygon(1), (std::vector<uint32_t>{1, 2, 1}));
}

TEST_F(Triangulation, TrianglesStayInTheirObjectsAndTakeTheirPointsProperties) {
  // Object 0: a quad; object 1: no polygons; object 2: a pentagon with point properties
  // and a triangle after it.
  StoreCorners({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  model.NewObject();
  model.StoreVertex(9, 9, 9);
  model.NewObject();
  StoreCorners(Flat(Ring(5, 1.0)));
  model.poly_materials_present = model.point_materials_present = 1;
  model.point_texcoords_present = model.point_normals_present = 1;
  model.SetPolygonMaterial(0, 6);
  for (uint32_t k = 0; k < 5; ++k) {  // point k names object 2's vertex k
    model.SetPointMaterial(k, static_cast<int32_t>(10 + k));
    model.SetPointTexcoord(k, 0.1 * k, 1.0 - 0.1 * k);
    model.SetPointNormal(k, {0, 0, 1.0 + k});
  }
  const uint32_t triangle[3] = {2, 0, 1};
  model.StorePolygon(3, triangle);
  model.FinishObjects();
  LogCapture log;
  ASSERT_EQ(model.TriangulatePolygons(), 1);
  EXPECT_TRUE(log.Contains("Triangulated 2 polygons\n"));
  EXPECT_FALSE(log.Contains("Badly"));
  ASSERT_EQ(model.polygons_count, 6u);
  EXPECT_EQ(Polygon(5), (std::vector<uint32_t>{7, 5, 6}));
  for (uint32_t t : {0u, 1u}) EXPECT_NEAR(TriangleArea(t), 0.5, 1e-12) << t;
  const std::vector<uint32_t> expected[3] = {// first/count of polygons, points, vertices
                                             {0, 2, 0, 6, 0, 4},
                                             {2, 0, 6, 0, 4, 1},
                                             {2, 4, 6, 12, 5, 5}};
  for (uint32_t i = 0; i < 3; ++i) {
    ObjectRecord o{};
    ASSERT_EQ(model.GetObjectInfo(i, &o), 1);
    EXPECT_EQ((std::vector<uint32_t>{o.first_polygon, o.polygon_count, o.first_point, o.point_count,
                                     o.first_vertex, o.vertex_count}),
              expected[i])
        << "object " << i;
  }
  EXPECT_EQ(model.relative_writes, 0u);
  for (uint32_t point = 6; point < 15; ++point) {
    const uint32_t vertex = model.GetPointVertex(point) - 5;
    ASSERT_LT(vertex, 5u);
    EXPECT_EQ(model.GetPolygonMaterial(point / 3), 6);
    EXPECT_EQ(model.GetPointMaterial(point), static_cast<int32_t>(10 + vertex));
    double u = 0, v = 0;
    Vec3d normal{};
    model.GetPointTexcoord(point, u, v);
    model.GetPointNormal(point, normal);
    EXPECT_EQ((std::vector<double>{u, v, normal.z}),
              (std::vector<double>{0.1 * vertex, 1.0 - 0.1 * vertex, 1.0 + vertex}));
  }
}

}  // namespace
}  // namespace zepcon
