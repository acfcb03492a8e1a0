// Plane geometry shared by the model operations. Angles are in degrees; the
// conversion factors are the program's own (a little off pi/180 and 180/pi)
// so that every operation rounds the same way.
#pragma once

#include <cmath>

#include "model/model_data.h"

namespace zepcon::geometry {

inline constexpr double kDegreesToRadians = 0.01745329311111111;
inline constexpr double kRadiansToDegrees = 57.29577757239293;

// Direction of the 2-D vector (dx, dy), in [0, 360).
inline double Direction(double dx, double dy) {
  if (dx == 0.0) {
    if (dy == 0.0) return 0.0;
    return dy > 0.0 ? 90.0 : 270.0;
  }
  double angle = std::atan(dy / dx) * kRadiansToDegrees;
  if (dx < 0.0) angle += 180.0;
  if (angle < 0.0) angle += 360.0;
  return angle;
}

// Into [0, 360]; exactly 360 stays 360.
inline double NormalizeAngle(double angle) {
  if (!std::isfinite(angle)) return 0.0;  // a loop on a non-finite value would never end
  while (angle > 360.0) angle -= 360.0;
  while (angle < 0.0) angle += 360.0;
  return angle;
}

// Angle at centre m from a to b (x and y only): how far b's direction must
// turn counter-clockwise to reach a's.
inline double AngleAt(const Vec3d& m, const Vec3d& a, const Vec3d& b) {
  return NormalizeAngle(Direction(a.x - m.x, a.y - m.y) - Direction(b.x - m.x, b.y - m.y));
}

// (p2 - p1) x (p3 - p1), not normalised.
inline Vec3d TriangleNormal(const Vec3d& p1, const Vec3d& p2, const Vec3d& p3) {
  const double ax = p2.x - p1.x, ay = p2.y - p1.y, az = p2.z - p1.z;
  const double bx = p3.x - p1.x, by = p3.y - p1.y, bz = p3.z - p1.z;
  return {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
}

// The two angles of a normal: its direction in the xy plane and its
// elevation above it.
inline void NormalAngles(const Vec3d& n, double& first, double& second) {
  first = Direction(n.x, n.y);
  second = Direction(std::sqrt(n.x * n.x + n.y * n.y), n.z);
}

inline void RotatePair(double& p, double& q, double angle) {
  const double t = angle * kDegreesToRadians;
  const double c = std::cos(t), s = std::sin(t);
  const double p2 = c * p - s * q;
  const double q2 = s * p + c * q;
  p = p2;
  q = q2;
}

// Rotates (y, z) by c, then (x, z) by b, then (x, y) by a.
inline void RotatePoint(Vec3d& v, double a, double b, double c) {
  RotatePair(v.y, v.z, c);
  RotatePair(v.x, v.z, b);
  RotatePair(v.x, v.y, a);
}

}  // namespace zepcon::geometry
