// Plane geometry of the model operations on the store's vectors: a thin face
// over the one copy in core/geometry.h, so that the model operations and
// the reading toolbox round every angle the same way.
#pragma once

#include "core/geometry.h"
#include "model/model_data.h"

namespace zepcon::geometry {

// Direction of the 2-D vector (dx, dy), in [0, 360).
inline double Direction(double dx, double dy) { return AngleOfXY(dx, dy); }

// Into [0, 360]; exactly 360 stays 360.
inline double NormalizeAngle(double angle) { return NormalizeKeeping360(angle); }

// Angle at centre m from a to b (x and y only): how far b's direction must
// turn counter-clockwise to reach a's.
inline double AngleAt(const Vec3d& m, const Vec3d& a, const Vec3d& b) {
  return NormalizeAngle(Direction(a.x - m.x, a.y - m.y) - Direction(b.x - m.x, b.y - m.y));
}

// (p2 - p1) x (p3 - p1), not normalised.
inline Vec3d TriangleNormal(const Vec3d& p1, const Vec3d& p2, const Vec3d& p3) {
  const double a[3] = {p1.x, p1.y, p1.z}, b[3] = {p2.x, p2.y, p2.z}, c[3] = {p3.x, p3.y, p3.z};
  double n[3];
  TriangleNormal(a, b, c, n);
  return {n[0], n[1], n[2]};
}

// The two angles of a normal: its direction in the xy plane and its
// elevation above it.
inline void NormalAngles(const Vec3d& n, double& first, double& second) { ToSpherical(n.x, n.y, n.z, first, second); }

// Rotates (y, z) by c, then (x, z) by b, then (x, y) by a.
inline void RotatePoint(Vec3d& v, double a, double b, double c) {
  RotatePair(v.y, v.z, c);
  RotatePair(v.x, v.z, b);
  RotatePair(v.x, v.y, a);
}

}  // namespace zepcon::geometry
