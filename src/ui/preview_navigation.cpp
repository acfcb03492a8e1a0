#include "ui/preview_navigation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/geometry.h"

namespace zepcon::ui {

const char* const kRotateZoomHelp =
    "Rotate object with 1st button and\nzoom in and out with 2nd button.\nHold both buttons to tilt.";
const char* const kFlyThroughHelp =
    "1st button to look around, 2nd button to move forth and back\nShift + 2nd button to strafe and move "
    "up/down\nShift + 1st button to change movement speed";

double Wrap360(double degrees) {
  if (!std::isfinite(degrees)) return 0.0;
  // fmod first: a wild value must not take a long loop of 360 steps.
  degrees = std::fmod(degrees, 360.0);
  if (degrees < 0.0) degrees += 360.0;
  if (degrees >= 360.0) degrees -= 360.0;
  return degrees;
}

double Clamp(double value, double low, double high) { return std::min(std::max(value, low), high); }

ViewParams InitialModelView(int32_t mode, const Box& box, int m) {
  ViewParams view;
  double size = box.max[0] - box.min[0];
  for (int axis = 1; axis < 3; ++axis)
    if (box.max[axis] - box.min[axis] > size) size = box.max[axis] - box.min[axis];
  double centre[3];
  for (int axis = 0; axis < 3; ++axis) centre[axis] = (box.min[axis] + box.max[axis]) / 2.0;
  const double pixels = m > 0 ? m : 1;
  view.roll = 0.0;
  if (mode == kFlyThrough) {
    view.pitch = 330.0;
    view.yaw = 225.0;
    view.zoom = size / pixels * 100.0;
    view.speed = size * 0.002;
    for (int axis = 0; axis < 3; ++axis)
      view.position[axis] = centre[axis] + 1.5 * (box.max[axis] - centre[axis]);
  } else {
    view.pitch = 335.0;
    view.yaw = 165.0;
    view.zoom = size / pixels * 250.0;
    for (int axis = 0; axis < 3; ++axis) view.position[axis] = centre[axis];
  }
  view.zoom = std::isfinite(view.zoom) ? Clamp(view.zoom, kMinZoom, kMaxZoom) : kMinZoom;
  return view;
}

uint32_t PowerOfTwo(uint32_t n) {
  if (n == 0) return 1;
  uint32_t p = 1;
  while (p < n && p < 0x80000000u) p <<= 1;
  return p;
}

uint32_t TextureSide(uint32_t w, uint32_t h, uint32_t cap) {
  return std::min(std::max(PowerOfTwo(w), PowerOfTwo(h)), cap);
}

void FitPictureSize(uint32_t& w, uint32_t& h) {
  while (w > static_cast<uint32_t>(kMaxTextureSide) || h > static_cast<uint32_t>(kMaxTextureSide)) {
    w /= 2;
    h /= 2;
  }
}

Rgba8 CombineColours(const Rgba8* colours, int count) {
  if (count <= 0) return {255, 255, 255, 255};
  Rgba8 sum{0, 0, 0, 0};
  for (int i = 0; i < count; ++i) {
    sum.r += colours[i].r;
    sum.g += colours[i].g;
    sum.b += colours[i].b;
    sum.a += colours[i].a;
  }
  const int overlap = 255 * (count - 1);
  const auto keep = [overlap](int v) { return std::clamp(v - overlap, 0, 255); };
  return {keep(sum.r), keep(sum.g), keep(sum.b), keep(sum.a)};
}

void FlyDirections(const ViewParams& view, double forward[3], double right[3], double up[3]) {
  double* out[3] = {forward, right, up};
  for (int k = 0; k < 3; ++k) {
    double v[3] = {0.0, 0.0, 0.0};
    v[k] = 1.0;
    geometry::RotatePair(v[1], v[2], view.roll);
    geometry::RotatePair(v[0], v[2], -view.pitch);
    geometry::RotatePair(v[0], v[1], -view.yaw - 90.0);
    for (int axis = 0; axis < 3; ++axis) out[k][axis] = v[axis];
  }
}

MoveResult NavigateMove(ViewParams& view, const MoveInput& in) {
  MoveResult result;
  const double speed_at_start = view.speed;
  const double dx = in.dx;
  const double dy = in.dy;
  const bool fly = in.mode == kFlyThrough;
  char text[64];

  if (in.left && fly && in.model) {
    if (!in.shift) {
      view.yaw += dx;
      view.pitch -= dy;
    } else {
      view.speed = Clamp(view.speed + view.speed * 0.05 * dy, 0.0001, 1000.0);
      std::snprintf(text, sizeof text, "speed:%3.6f ", view.speed);
      result.status = text;
    }
    view.yaw = Wrap360(view.yaw);
    view.pitch = Wrap360(view.pitch);
    result.changed = true;
  }
  if (in.left && !in.right) {
    if (in.model && !fly) {
      view.pitch = Wrap360(view.pitch - dy);
      view.yaw = Wrap360(view.yaw + dx);
      result.changed = true;
    } else if (in.picture) {
      view.position[0] = Clamp(view.position[0] + dx * 0.01, -0.95 * in.half_x, 0.95 * in.half_x);
      view.position[1] = Clamp(view.position[1] - dy * 0.01, -0.95 * in.half_y, 0.95 * in.half_y);
      result.changed = true;
    }
  }
  if (in.right && !in.left && (in.model || in.picture)) {
    if (!fly || in.picture) {
      view.zoom = Clamp(view.zoom + view.zoom * 0.05 * dy, kMinZoom, kMaxZoom);
    } else {
      double forward[3], right[3], up[3];
      FlyDirections(view, forward, right, up);
      if (!in.shift) {
        for (int axis = 0; axis < 3; ++axis) view.position[axis] += dy * speed_at_start * forward[axis];
        view.yaw = Wrap360(view.yaw + dx);
      } else {
        for (int axis = 0; axis < 3; ++axis)
          view.position[axis] += (dx * right[axis] - dy * up[axis]) * speed_at_start;
      }
    }
    std::snprintf(text, sizeof text, "%f", view.zoom);
    result.status = text;
    result.changed = true;
  }
  if (in.left && in.right) {
    if (in.model && !fly) {
      view.roll = Wrap360(view.roll + dx);
      result.changed = true;
    } else if (in.picture) {
      view.yaw = Wrap360(view.yaw + dx);
      result.changed = true;
    }
  }
  return result;
}

// ---- Animation playback --------------------------------------------------

int StripButtonState(int button) {
  static const int kStates[8] = {kAnimFirst,    kAnimPreviousSegment, kAnimStepBack,    kAnimPlayBack,
                                 kAnimStopped, kAnimPlay,            kAnimStepForward, kAnimNextSegment};
  return button >= 1 && button <= 8 ? kStates[button - 1] : kAnimNone;
}

int StripButtonAt(int x, int left, int right) {
  const int cell = (right - left) / 8;
  if (cell <= 0 || x < left) return 0;
  const int index = (x - left) / cell;
  return index < 8 ? index + 1 : 0;
}

void ResetPlayback(Playback& playback, uint32_t frame_count, std::vector<AnimSegment> segments, double now) {
  playback.frame_count = frame_count;
  playback.segments = std::move(segments);
  playback.frame = 0.0f;
  playback.last_step = now;
  if (frame_count == 0) {
    playback.state = kAnimNone;
    playback.segment = -1;
    return;
  }
  playback.state = kAnimFirst;
  playback.segment = playback.segments.empty() ? -1 : 0;
}

bool AnimationStep(Playback& p, float stepping, float delay, double now) {
  if (p.state == kAnimNone || p.state == kAnimStopped || p.frame_count == 0) return false;
  if (p.state == kAnimPlay) {
    if (now - p.last_step < delay) return false;
    p.last_step = now;
  }
  const bool with_segments = !p.segments.empty();
  if (with_segments && (p.segment < 0 || p.segment >= static_cast<int32_t>(p.segments.size()))) p.segment = 0;
  float first = 0.0f;
  float last = static_cast<float>(p.frame_count - 1);
  if (with_segments) {
    const AnimSegment& segment = p.segments[p.segment];
    first = static_cast<float>(segment.first_frame);
    last = segment.frames > 0 ? first + static_cast<float>(segment.frames - 1) : first;
  }
  const float tenth = static_cast<float>(p.frame_count / 10);

  switch (p.state) {
    case kAnimFirst:
      p.frame = first;
      p.state = kAnimStopped;
      break;
    case kAnimStepBack:
    case kAnimPlayBack:
      if (p.frame > first) {
        p.frame -= stepping;
        if (p.frame < first) p.frame = last;
      } else {
        p.frame = last;
      }
      if (p.state == kAnimStepBack) p.state = kAnimStopped;
      break;
    case kAnimPlay:
    case kAnimStepForward:
      if (p.frame < last) {
        p.frame += stepping;
        if (p.frame > last) p.frame = first;
      } else {
        p.frame = first;
      }
      if (p.state == kAnimStepForward) p.state = kAnimStopped;
      break;
    case kAnimPreviousSegment:
      if (with_segments) {
        p.segment = p.segment > 0 ? p.segment - 1 : static_cast<int32_t>(p.segments.size()) - 1;
        p.frame = static_cast<float>(p.segments[p.segment].first_frame);
      } else {
        p.frame -= tenth;
        if (p.frame <= first) p.frame = first;
      }
      p.state = kAnimStopped;
      break;
    case kAnimNextSegment:
      if (with_segments) {
        p.segment = p.segment + 1 < static_cast<int32_t>(p.segments.size()) ? p.segment + 1 : 0;
        p.frame = static_cast<float>(p.segments[p.segment].first_frame);
      } else {
        p.frame += tenth;
        if (p.frame >= last) p.frame = last;
      }
      p.state = kAnimStopped;
      break;
    default:
      return false;
  }
  return true;
}

std::string FrameText(const Playback& p) {
  char text[160];
  std::snprintf(text, sizeof text, "Frame: %0.2f / %lu", static_cast<double>(p.frame) + 1.0,
                static_cast<unsigned long>(p.frame_count));
  std::string result = text;
  if (!p.segments.empty() && p.segment >= 0 && p.segment < static_cast<int32_t>(p.segments.size())) {
    const AnimSegment& segment = p.segments[p.segment];
    std::snprintf(text, sizeof text, " (%s, %lu-%lu)", segment.name.c_str(),
                  static_cast<unsigned long>(segment.first_frame) + 1,
                  static_cast<unsigned long>(segment.first_frame) + segment.frames);
    result += text;
  }
  return result;
}

}  // namespace zepcon::ui
