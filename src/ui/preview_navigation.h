// The arithmetic of the preview: the view that a load sets, the changes that
// mouse drags make to it, the texture sizes, point colours, and the state
// machine of the animation strip. Nothing here touches OpenGL or a widget,
// so all of it can be checked directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepcon::ui {

enum ViewingMode : int32_t { kRotateZoom = 0, kFlyThrough = 1 };

inline constexpr double kMinZoom = 0.1;
inline constexpr double kMaxZoom = 25000.0;
inline constexpr int kMaxTextureSide = 512;

// Help texts of the two viewing modes.
extern const char* const kRotateZoomHelp;
extern const char* const kFlyThroughHelp;

struct ViewParams {
  double yaw = 0.0;    // degrees, about z
  double pitch = 0.0;  // degrees, about x
  double roll = 0.0;   // degrees, about y
  double position[3] = {0.0, 0.0, 0.0};  // target (rotate + zoom, picture) or eye (fly-through)
  double zoom = 100.0;
  double speed = 1.0;  // fly-through movement per pixel
};

struct Box {
  double min[3];
  double max[3];
};

// The view a freshly loaded model starts with; `m` is the smaller side of
// the preview in pixels.
ViewParams InitialModelView(int32_t mode, const Box& box, int m);

double Wrap360(double degrees);
double Clamp(double value, double low, double high);

// The texture side for a w x h picture: the larger power of two of the two
// (a power of two stays, anything else goes up to the next; 1 for 0), at most
// `cap`.
uint32_t PowerOfTwo(uint32_t n);
uint32_t TextureSide(uint32_t w, uint32_t h, uint32_t cap = kMaxTextureSide);
// Halves both sides together until they fit 512.
void FitPictureSize(uint32_t& w, uint32_t& h);

// A point's colour from the materials it takes (0 to 3 of them): each
// component is their sum minus 255 for each colour beyond the first, kept
// within 0 to 255 (the sum of bright colours minus the overlap can fall
// below 0). No colour at all is opaque white.
struct Rgba8 {
  int r, g, b, a;
};
Rgba8 CombineColours(const Rgba8* colours, int count);

// One mouse movement while buttons are held (or not).
struct MoveInput {
  int32_t mode = kRotateZoom;
  bool model = false;    // a model is shown
  bool picture = false;  // a picture is shown
  bool left = false, right = false, shift = false;
  int dx = 0, dy = 0;  // cursor minus the drag origin, screen pixels
  double half_x = 1.0, half_y = 1.0;  // the picture's half extents
};
struct MoveResult {
  bool changed = false;
  std::string status;  // empty: the status line stays
};
MoveResult NavigateMove(ViewParams& view, const MoveInput& input);

// Forward, right and up of the fly-through eye.
void FlyDirections(const ViewParams& view, double forward[3], double right[3], double up[3]);

// ---- Animation playback --------------------------------------------------

enum AnimState : int {
  kAnimNone = 0,
  kAnimFirst = 1,
  kAnimStepBack = 2,
  kAnimStopped = 3,
  kAnimPlay = 4,
  kAnimStepForward = 5,
  kAnimPlayBack = 7,
  kAnimPreviousSegment = 8,
  kAnimNextSegment = 9,
};

struct AnimSegment {
  std::string name;
  uint32_t first_frame = 0;
  uint32_t frames = 0;
};

struct Playback {
  int state = kAnimNone;
  float frame = 0.0f;
  int32_t segment = -1;
  uint32_t frame_count = 0;
  std::vector<AnimSegment> segments;
  double last_step = 0.0;  // seconds on a steady clock
};

// The state a strip button (1 to 8) selects.
int StripButtonState(int button);
// The button (1 to 8) under x on a strip from `left` to `right`; 0 outside.
int StripButtonAt(int x, int left, int right);

// A preview load: state 1 at frame 0 when there are frames, else state 0.
void ResetPlayback(Playback& playback, uint32_t frame_count, std::vector<AnimSegment> segments, double now);
// One timer tick at time `now` (seconds); true when the frame was stepped
// (the frame text and the picture are then renewed).
bool AnimationStep(Playback& playback, float stepping, float delay, double now);
// "Frame: 3.00 / 10", with " (walk, 1-10)" when there are segments.
std::string FrameText(const Playback& playback);

}  // namespace zepcon::ui
