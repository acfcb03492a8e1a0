// The reading toolbox: construction, nesting levels, byte order and the
// geometry calls (the geometry itself is in core/geometry.h).
#include "core/reading_helper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/geometry.h"
#include "core/log.h"

namespace zepcon {

ReadingHelper::ReadingHelper() {
  // Seeded per object so that helpers made in the same second still draw
  // different temporary names.
  const auto now = std::chrono::system_clock::now().time_since_epoch().count();
  random_.seed(static_cast<std::mt19937::result_type>(now ^ reinterpret_cast<uintptr_t>(this)));
  ResetLevels();
  StartTimer();
}

// ---- Nesting levels --------------------------------------------------------

void ReadingHelper::RebuildIndent() {
  const int blanks = std::clamp(level, 0, kMaxLevels - 1);
  std::memset(indent, ' ', blanks);
  indent[blanks] = '\0';
}

void ReadingHelper::PushLevel(int32_t length) {
  if (length == 0) return;
  if (level >= kMaxLevels - 1) {
    LogMessage("Extend Maxlevels !\n", LOG_ERROR);
    return;
  }
  ++level;
  level_lengths[level] = length;
  level_names[level][0] = '\0';
  RebuildIndent();
}

void ReadingHelper::PushLevelOuter(int32_t length) {
  if (length == 0) return;
  if (level >= kMaxLevels - 1) {
    LogMessage("Extend Maxlevels !\n", LOG_ERROR);
    return;
  }
  for (int i = 1; i <= level; ++i) {
    const int64_t grown = int64_t{level_lengths[i]} + length;
    level_lengths[i] = static_cast<int32_t>(
        std::clamp<int64_t>(grown, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  }
  PushLevel(length);
}

void ReadingHelper::ConsumeLevel(int32_t count) {
  for (int i = level; i >= 1; --i) {
    const int64_t left = int64_t{level_lengths[i]} - count;
    if (left < 0) {
      LogFormatted(LOG_ERROR, "LevelLen %lld\n", static_cast<long long>(left));
      level_lengths[i] = 0;
    } else {
      level_lengths[i] = static_cast<int32_t>(std::min<int64_t>(left, std::numeric_limits<int32_t>::max()));
    }
  }
  // A level can only close once everything inside it has closed.
  while (level > 0 && level_lengths[level] == 0) --level;
  RebuildIndent();
}

void ReadingHelper::SetLevelName(const char* name) {
  std::snprintf(level_names[level], kLevelNameSize, "%s", name ? name : "");
}

int ReadingHelper::LevelNameIs(const char* name, int relative) const {
  const char* own = GetLevelName(relative);
  return own && name && std::strcmp(own, name) == 0;
}

const char* ReadingHelper::GetLevelName(int relative) const {
  if (relative > 0 || level + relative < 0) return nullptr;
  return level_names[level + relative];
}

void ReadingHelper::ResetLevels() {
  level = 0;
  std::memset(level_lengths, 0, sizeof level_lengths);
  std::memset(level_names, 0, sizeof level_names);
  RebuildIndent();
}

// ---- Bytes and numbers -------------------------------------------------------

int ReadingHelper::Swap(void* buffer, int count) {
  if (count < 1 || count > 64) {
    LogFormatted(LOG_ERROR, "Swap: too many bytes (%i) !\n", count);
    return 0;
  }
  if (!buffer) return 0;
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  std::reverse(bytes, bytes + count);
  return 1;
}

uint32_t ReadingHelper::Swap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

uint16_t ReadingHelper::Swap16(uint16_t value) { return static_cast<uint16_t>((value >> 8) | (value << 8)); }

double ReadingHelper::Fixed16(uint32_t value) {
  return static_cast<int32_t>(Swap32(value)) * (1.0 / 65536.0);
}

int32_t ReadingHelper::FindTwoSame(int32_t a, int32_t b, int32_t c, int32_t d) {
  if (b == c || b == d) return b;
  if (a == c || a == d) return a;
  LogMessage("FindTwoSame: Can't find two same !\n", LOG_ERROR);
  return -1;
}

// ---- Geometry ----------------------------------------------------------------

void ReadingHelper::RotatePair(double& u, double& v, double angle) { geometry::RotatePair(u, v, angle); }

void ReadingHelper::RotateYzXzXy(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(y, z, c);
  RotatePair(x, z, b);
  RotatePair(x, y, a);
}

void ReadingHelper::RotateXyYzXz(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(x, y, a);
  RotatePair(y, z, c);
  RotatePair(x, z, b);
}

void ReadingHelper::RotateXyZyZx(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(x, y, c);
  z = -z;
  RotatePair(z, y, b);
  z = -z;
  RotatePair(z, x, a);
}

void ReadingHelper::Normalize(double& x, double& y, double& z) { geometry::Normalize(x, y, z); }

void ReadingHelper::TriangleNormal(const double p1[3], const double p2[3], const double p3[3],
                                   double normal[3]) {
  geometry::TriangleNormal(p1, p2, p3, normal);
}

double ReadingHelper::VectorLength(double x, double y, double z) { return geometry::VectorLength(x, y, z); }

double ReadingHelper::AngleOfXY(double x, double y) { return geometry::AngleOfXY(x, y); }

double ReadingHelper::Normalize360(double angle) { return geometry::Normalize360(angle); }

double ReadingHelper::AngleBetween(double ax, double ay, double cx, double cy, double bx, double by) {
  return Normalize360(AngleOfXY(ax - cx, ay - cy) - AngleOfXY(bx - cx, by - cy));
}

void ReadingHelper::ToSpherical(double x, double y, double z, double& azimuth, double& elevation) {
  geometry::ToSpherical(x, y, z, azimuth, elevation);
}

}  // namespace zepcon
