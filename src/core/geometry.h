// Plane and space geometry shared by the reading toolbox and the model
// operations, in one copy so that both round the same way. Angles are in
// degrees; the conversion factors are the program's own (a little off pi/180
// and 180/pi) and every caller uses these two.
#pragma once

#include <cmath>

namespace zepcon::geometry {

inline constexpr double kDegreesToRadians = 0.01745329311111111;
inline constexpr double kRadiansToDegrees = 57.29577757239293;

// (u, v) turned counter-clockwise by `angle`.
inline void RotatePair(double& u, double& v, double angle) {
  const double radians = angle * kDegreesToRadians;
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  const double u0 = u;
  u = c * u0 - s * v;
  v = s * u0 + c * v;
}

// Direction of the 2-D vector (x, y), in [0, 360). A tiny negative angle
// that rounds up to 360 when turned positive is 0.
inline double AngleOfXY(double x, double y) {
  if (x == 0.0) return y > 0.0 ? 90.0 : (y < 0.0 ? 270.0 : 0.0);
  double angle = std::atan(y / x) * kRadiansToDegrees;
  if (x < 0.0) angle += 180.0;
  if (angle < 0.0) angle += 360.0;
  if (angle >= 360.0) angle -= 360.0;
  return angle;
}

// Into [0, 360). fmod instead of repeated subtraction: a huge angle would
// never finish (subtracting 360 no longer changes it), and for the angles a
// loop would finish on, both give the same exact result. Not a number gives 0.
inline double Normalize360(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  if (angle >= 360.0 || angle < 0.0) angle = std::fmod(angle, 360.0);
  if (angle < 0.0) angle += 360.0;
  if (angle >= 360.0) angle -= 360.0;
  return angle + 0.0;  // no negative zero
}

// Into [0, 360] where a whole turn stays a whole turn: 360 (and 720...)
// give 360, 0 (and -360...) give 0. Angle sums that tell a reflex corner
// from a straight one need the full turn kept.
inline double NormalizeKeeping360(double angle) {
  if (!std::isfinite(angle)) return 0.0;
  if (angle > 360.0) {
    angle = std::fmod(angle, 360.0);
    if (angle == 0.0) angle = 360.0;
  } else if (angle < 0.0) {
    angle = std::fmod(angle, 360.0);
    if (angle < 0.0) angle += 360.0;
  }
  return angle + 0.0;
}

inline double VectorLength(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// Scales to length 1; a zero vector becomes (1, 0, 0).
inline void Normalize(double& x, double& y, double& z) {
  const double length = VectorLength(x, y, z);
  if (length == 0.0) {
    x = 1.0;
    y = 0.0;
    z = 0.0;
    return;
  }
  x /= length;
  y /= length;
  z /= length;
}

// (p2 - p1) x (p3 - p1), not normalised.
inline void TriangleNormal(const double p1[3], const double p2[3], const double p3[3], double normal[3]) {
  const double u[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
  const double v[3] = {p3[0] - p1[0], p3[1] - p1[1], p3[2] - p1[2]};
  normal[0] = u[1] * v[2] - u[2] * v[1];
  normal[1] = u[2] * v[0] - u[0] * v[2];
  normal[2] = u[0] * v[1] - u[1] * v[0];
}

// The direction in the xy plane and the elevation above it.
inline void ToSpherical(double x, double y, double z, double& azimuth, double& elevation) {
  azimuth = AngleOfXY(x, y);
  elevation = AngleOfXY(std::sqrt(x * x + y * y), z);
}

}  // namespace zepcon::geometry
