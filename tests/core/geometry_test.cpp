#include "core/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/reading_helper.h"

namespace zepcon {
namespace {

// The definitions by repeated turns, for angles small enough to finish.
double TurnsInto0To360(double angle) {
  while (angle >= 360.0) angle -= 360.0;
  while (angle < 0.0) angle += 360.0;
  return angle;
}
double TurnsKeeping360(double angle) {
  while (angle > 360.0) angle -= 360.0;
  while (angle < 0.0) angle += 360.0;
  return angle;
}

TEST(Geometry, BothNormalisationsAgreeWithRepeatedTurnsAroundEveryWholeTurn) {
  for (int turns = -4; turns <= 4; ++turns) {
    for (double offset : {-1e-9, -0.25, 0.0, 1e-13, 0.25, 17.5, 359.75}) {
      const double angle = turns * 360.0 + offset;
      EXPECT_EQ(geometry::Normalize360(angle), TurnsInto0To360(angle)) << angle;
      EXPECT_EQ(geometry::NormalizeKeeping360(angle), TurnsKeeping360(angle)) << angle;
      EXPECT_EQ(ReadingHelper::Normalize360(angle), TurnsInto0To360(angle)) << angle;
    }
  }
}

TEST(Geometry, TheWholeTurnBoundary) {
  struct Case {
    double angle, half_open, closed;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (const Case& c : {Case{360, 0, 360}, {720, 0, 360}, {0, 0, 0}, {-360, 0, 0}, {-0.0, 0, 0}, {-370, 350, 350},
                        {nan, 0, 0}, {inf, 0, 0}, {-inf, 0, 0}}) {
    const double half_open = geometry::Normalize360(c.angle), closed = geometry::NormalizeKeeping360(c.angle);
    EXPECT_EQ(half_open, c.half_open) << c.angle;
    EXPECT_EQ(closed, c.closed) << c.angle;
    EXPECT_FALSE(std::signbit(half_open) || std::signbit(closed)) << c.angle;  // no -0
  }
  // Angles a loop of turns would never finish on.
  for (double huge : {1e300, -1e300, 1e20}) {
    const double half_open = geometry::Normalize360(huge), closed = geometry::NormalizeKeeping360(huge);
    EXPECT_TRUE(half_open >= 0.0 && half_open < 360.0) << huge;
    EXPECT_TRUE(closed >= 0.0 && closed <= 360.0) << huge;
  }
  // A direction just below the x axis is 0, never a whole turn.
  for (double y : {-1e-300, -1e-17, -1e-14}) {
    const double angle = geometry::AngleOfXY(1.0, y);
    EXPECT_TRUE(angle >= 0.0 && angle < 360.0) << y << " gives " << angle;
  }
  EXPECT_EQ(geometry::AngleOfXY(1.0, -1e-300), 0.0);
  EXPECT_NEAR(geometry::AngleOfXY(1.0, -1e-3), 360.0 - 1e-3 * geometry::kRadiansToDegrees, 1e-7);
}

TEST(Geometry, SphericalAnglesAndNormalise) {
  double azimuth = 0, elevation = 0;
  geometry::ToSpherical(0, -2, 2, azimuth, elevation);
  EXPECT_EQ(azimuth, 270.0);
  EXPECT_NEAR(elevation, 45.0, 1e-5);
  double x = 3, y = 0, z = 4;
  geometry::Normalize(x, y, z);
  EXPECT_DOUBLE_EQ(x, 0.6);
  EXPECT_DOUBLE_EQ(z, 0.8);
  double u = 1, v = 0;
  geometry::RotatePair(u, v, 90);
  EXPECT_NEAR(u, 0, 1e-6);
  EXPECT_NEAR(v, 1, 1e-6);
}

}  // namespace
}  // namespace zepcon
