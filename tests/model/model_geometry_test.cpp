#include "model/model_geometry.h"

#include <gtest/gtest.h>

#include "core/reading_helper.h"

namespace zepcon {
namespace {

// The model operations and the reading toolbox share one copy of the angle
// code: they agree everywhere, and at a whole turn each keeps its own rule.
TEST(ModelGeometry, AgreesWithTheToolboxAndKeepsAWholeTurn) {
  const double points[][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, -1}, {-3, 2}, {1, -1e-300}, {2, -1e-17}};
  for (const auto& p : points) {
    const double direction = geometry::Direction(p[0], p[1]);
    EXPECT_EQ(direction, ReadingHelper::AngleOfXY(p[0], p[1])) << p[0] << " " << p[1];
    EXPECT_TRUE(direction >= 0.0 && direction < 360.0) << p[0] << " " << p[1];
  }
  EXPECT_EQ(geometry::NormalizeAngle(360.0), 360.0);
  EXPECT_EQ(ReadingHelper::Normalize360(360.0), 0.0);
  EXPECT_EQ(geometry::NormalizeAngle(-10.0), 350.0);
  const double huge = geometry::NormalizeAngle(1e300);  // ends instead of turning forever
  EXPECT_TRUE(huge >= 0.0 && huge <= 360.0);

  // b's direction a hair past a's: the angle at m from a to b is a whole
  // turn for the model (a reflex corner) and 0 for the toolbox.
  const Vec3d m{0, 0, 0}, a{1, 1, 0}, b{1, 1 + 5e-16, 0};
  EXPECT_EQ(geometry::AngleAt(m, a, b), 360.0);
  EXPECT_EQ(ReadingHelper::AngleBetween(a.x, a.y, m.x, m.y, b.x, b.y), 0.0);

  const Vec3d n = geometry::TriangleNormal({1, 1, 1}, {3, 1, 1}, {1, 4, 1});
  EXPECT_EQ(n.z, 6.0);
  double first = 0, second = 0;
  geometry::NormalAngles(n, first, second);
  EXPECT_EQ(second, 90.0);
}

}  // namespace
}  // namespace zepcon
