// The preview's arithmetic without a window: drags, sizes, colours and the
// animation strip's state machine.
#include "ui/preview_navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zepcon::ui {
namespace {

Playback Stopped(uint32_t frames, float frame, std::vector<AnimSegment> segments = {}) {
  Playback p;
  ResetPlayback(p, frames, std::move(segments), 0.0);
  p.state = kAnimStopped;
  p.frame = frame;
  return p;
}

// Runs `state` once (a one-shot) or for `ticks` ticks and returns the frames seen.
std::vector<float> Ticks(Playback& p, int state, int ticks, float stepping) {
  p.state = state;
  std::vector<float> frames;
  for (int i = 0; i < ticks; ++i) {
    if (AnimationStep(p, stepping, 0.0f, 100.0 + i)) frames.push_back(p.frame);
  }
  return frames;
}

TEST(PreviewPlayback, StepsWrapAtTheEndsOfTheRange) {
  struct Case {
    const char* what;
    uint32_t frames;
    float start;
    int state;
    int ticks;
    float stepping;
    std::vector<float> expected;
    int state_after;
  };
  const Case cases[] = {
      {"forwards reaches the last frame, then starts over", 10, 8.5f, kAnimPlay, 2, 0.5f, {9.0f, 0.0f}, kAnimPlay},
      {"a step past the last frame starts over at once", 10, 8.75f, kAnimPlay, 1, 0.5f, {0.0f}, kAnimPlay},
      {"backwards from the first frame goes to the last", 10, 0.0f, kAnimPlayBack, 2, 1.0f, {9.0f, 8.0f},
       kAnimPlayBack},
      {"a step back below the first frame goes to the last", 10, 0.5f, kAnimStepBack, 1, 1.0f, {9.0f},
       kAnimStopped},
      {"one step forwards, then stopped", 10, 3.0f, kAnimStepForward, 3, 1.0f, {4.0f}, kAnimStopped},
      {"first frame, then stopped", 10, 6.0f, kAnimFirst, 3, 1.0f, {0.0f}, kAnimStopped},
      {"next: a tenth of 25 frames forwards", 25, 0.0f, kAnimNextSegment, 1, 1.0f, {2.0f}, kAnimStopped},
      {"next stops at the last frame", 25, 23.0f, kAnimNextSegment, 1, 1.0f, {24.0f}, kAnimStopped},
      {"previous stops at the first frame", 25, 1.0f, kAnimPreviousSegment, 1, 1.0f, {0.0f}, kAnimStopped},
      {"stopped does nothing", 10, 4.0f, kAnimStopped, 3, 1.0f, {}, kAnimStopped},
  };
  for (const Case& c : cases) {
    Playback p = Stopped(c.frames, c.start);
    EXPECT_EQ(Ticks(p, c.state, c.ticks, c.stepping), c.expected) << c.what;
    EXPECT_EQ(p.state, c.state_after) << c.what;
  }
}

TEST(PreviewPlayback, SegmentsBoundPlaybackAndAreSteppedThrough) {
  const std::vector<AnimSegment> segments = {{"walk", 0, 4}, {"run", 4, 6}, {"jump", 10, 2}};
  Playback p = Stopped(12, 0.0f, segments);
  ASSERT_EQ(p.segment, 0);
  EXPECT_EQ(FrameText(p), "Frame: 1.00 / 12 (walk, 1-4)");
  // Playing stays inside the segment.
  EXPECT_EQ(Ticks(p, kAnimPlay, 5, 1.0f), (std::vector<float>{1, 2, 3, 0, 1}));
  EXPECT_EQ(Ticks(p, kAnimNextSegment, 1, 1.0f), std::vector<float>{4});
  EXPECT_EQ(FrameText(p), "Frame: 5.00 / 12 (run, 5-10)");
  EXPECT_EQ(Ticks(p, kAnimNextSegment, 1, 1.0f), std::vector<float>{10});
  EXPECT_EQ(Ticks(p, kAnimNextSegment, 1, 1.0f), std::vector<float>{0});  // wraps to the first
  EXPECT_EQ(Ticks(p, kAnimPreviousSegment, 1, 1.0f), std::vector<float>{10});  // and back to the last
  EXPECT_EQ(p.segment, 2);
  EXPECT_EQ(Ticks(p, kAnimPlayBack, 2, 1.0f), (std::vector<float>{11, 10}));
}

TEST(PreviewPlayback, ForwardPlaybackWaitsForTheDelayBackwardsDoesNot) {
  Playback p = Stopped(10, 0.0f);
  p.state = kAnimPlay;
  p.last_step = 0.0;
  int steps = 0;
  // Ticks of 50 ms against a delay of 0.04 s: at most one step a tick.
  for (int tick = 1; tick <= 10; ++tick) steps += AnimationStep(p, 1.0f, 0.04f, tick * 0.05);
  EXPECT_EQ(steps, 10);
  // A delay of 0.12 s lets only every third tick through.
  p.frame = 0.0f;
  p.last_step = 0.0;
  steps = 0;
  for (int tick = 1; tick <= 12; ++tick) steps += AnimationStep(p, 1.0f, 0.12f, tick * 0.05);
  EXPECT_EQ(steps, 4);
  p.state = kAnimPlayBack;
  steps = 0;
  for (int tick = 1; tick <= 12; ++tick) steps += AnimationStep(p, 1.0f, 0.12f, 1.0 + tick * 0.0001);
  EXPECT_EQ(steps, 12);
}

TEST(PreviewPlayback, ResetAndStripButtons) {
  Playback p;
  ResetPlayback(p, 0, {}, 0.0);
  EXPECT_EQ(p.state, kAnimNone);
  EXPECT_FALSE(AnimationStep(p, 1.0f, 0.0f, 1.0));
  ResetPlayback(p, 7, {}, 0.0);
  EXPECT_EQ(p.state, kAnimFirst);
  EXPECT_EQ(p.segment, -1);
  EXPECT_EQ(FrameText(p), "Frame: 1.00 / 7");

  const int expected[8] = {kAnimFirst,    kAnimPreviousSegment, kAnimStepBack,    kAnimPlayBack,
                           kAnimStopped, kAnimPlay,            kAnimStepForward, kAnimNextSegment};
  for (int button = 1; button <= 8; ++button) EXPECT_EQ(StripButtonState(button), expected[button - 1]) << button;
  // A strip from 100 to 276: cells of 22 pixels.
  EXPECT_EQ(StripButtonAt(100, 100, 276), 1);
  EXPECT_EQ(StripButtonAt(121, 100, 276), 1);
  EXPECT_EQ(StripButtonAt(122, 100, 276), 2);
  EXPECT_EQ(StripButtonAt(275, 100, 276), 8);
  EXPECT_EQ(StripButtonAt(99, 100, 276), 0);
  EXPECT_EQ(StripButtonAt(300, 100, 276), 0);
  EXPECT_EQ(StripButtonAt(50, 100, 104), 0);  // too narrow for eight cells
}

TEST(PreviewNavigation, RightDragZoomsWithinItsBounds) {
  struct Case {
    int dy;
    double expected;
  };
  for (const Case& c : {Case{20, 200.0}, Case{-20, 0.1}, Case{-10, 50.0}, Case{100000, 25000.0}}) {
    ViewParams view;
    view.zoom = 100.0;
    MoveInput in;
    in.model = true;
    in.right = true;
    in.dy = c.dy;
    const MoveResult result = NavigateMove(view, in);
    EXPECT_DOUBLE_EQ(view.zoom, c.expected) << c.dy;
    EXPECT_TRUE(result.changed);
    char text[32];
    std::snprintf(text, sizeof text, "%f", c.expected);
    EXPECT_EQ(result.status, text);
  }
}

TEST(PreviewNavigation, PictureDragStopsAtNinetyFivePercent) {
  ViewParams view;
  MoveInput in;
  in.picture = true;
  in.left = true;
  in.half_x = 1.0;
  in.half_y = 0.4;
  in.dx = 30;
  in.dy = -10;
  NavigateMove(view, in);
  EXPECT_DOUBLE_EQ(view.position[0], 0.3);
  EXPECT_DOUBLE_EQ(view.position[1], 0.1);
  in.dx = 500;
  in.dy = 500;
  NavigateMove(view, in);
  EXPECT_DOUBLE_EQ(view.position[0], 0.95);
  EXPECT_DOUBLE_EQ(view.position[1], -0.38);
  // Both buttons turn a picture.
  in.right = true;
  in.dx = -30;
  NavigateMove(view, in);
  EXPECT_DOUBLE_EQ(view.yaw, 330.0);
}

TEST(PreviewNavigation, RotateTiltAndFlyThrough) {
  ViewParams view;
  view.yaw = 350.0;
  view.pitch = 5.0;
  MoveInput in;
  in.model = true;
  in.left = true;
  in.dx = 20;
  in.dy = 10;
  NavigateMove(view, in);
  EXPECT_DOUBLE_EQ(view.yaw, 10.0);
  EXPECT_DOUBLE_EQ(view.pitch, 355.0);
  in.right = true;  // both: tilt
  in.dx = -5;
  NavigateMove(view, in);
  EXPECT_DOUBLE_EQ(view.roll, 355.0);

  // Fly-through: the speed changes with Shift and the first button.
  ViewParams fly;
  fly.speed = 2.0;
  MoveInput f;
  f.mode = kFlyThrough;
  f.model = true;
  f.left = true;
  f.shift = true;
  f.dy = 10;
  EXPECT_EQ(NavigateMove(fly, f).status, "speed:3.000000 ");
  EXPECT_DOUBLE_EQ(fly.speed, 3.0);
  f.dy = -100000;
  NavigateMove(fly, f);
  EXPECT_DOUBLE_EQ(fly.speed, 0.0001);

  // Yaw 0, pitch 0: forward is -y, right +x, up +z.
  ViewParams eye;
  eye.speed = 0.5;
  double forward[3], right[3], up[3];
  FlyDirections(eye, forward, right, up);
  EXPECT_NEAR(forward[1], -1.0, 1e-6);
  EXPECT_NEAR(right[0], 1.0, 1e-6);
  EXPECT_NEAR(up[2], 1.0, 1e-6);
  MoveInput move;
  move.mode = kFlyThrough;
  move.model = true;
  move.right = true;
  move.dy = 4;
  NavigateMove(eye, move);
  EXPECT_NEAR(eye.position[1], -2.0, 1e-6);  // 4 pixels x 0.5 along forward
  move.shift = true;
  move.dx = 2;
  move.dy = 0;
  NavigateMove(eye, move);
  EXPECT_NEAR(eye.position[0], 1.0, 1e-6);  // strafed right
}

TEST(PreviewNavigation, InitialViewsAndSizes) {
  const Box box{{-1.0, 0.0, 2.0}, {3.0, 2.0, 3.0}};
  const ViewParams rotate = InitialModelView(kRotateZoom, box, 200);
  EXPECT_DOUBLE_EQ(rotate.zoom, 4.0 / 200 * 250);
  EXPECT_DOUBLE_EQ(rotate.position[0], 1.0);
  EXPECT_DOUBLE_EQ(rotate.position[2], 2.5);
  EXPECT_DOUBLE_EQ(rotate.pitch, 335.0);
  const ViewParams fly = InitialModelView(kFlyThrough, box, 200);
  EXPECT_DOUBLE_EQ(fly.zoom, 2.0);
  EXPECT_DOUBLE_EQ(fly.speed, 4.0 * 0.002);
  EXPECT_DOUBLE_EQ(fly.position[0], 1.0 + 1.5 * 2.0);
  // A single point still gets a usable zoom.
  EXPECT_DOUBLE_EQ(InitialModelView(kRotateZoom, Box{{1, 1, 1}, {1, 1, 1}}, 200).zoom, kMinZoom);

  EXPECT_EQ(TextureSide(300, 200), 512u);
  EXPECT_EQ(TextureSide(1024, 64), 512u);
  EXPECT_EQ(TextureSide(100, 100), 128u);
  EXPECT_EQ(TextureSide(0, 0), 1u);
  EXPECT_EQ(TextureSide(64, 16), 64u);
  uint32_t w = 1500, h = 600;
  FitPictureSize(w, h);
  EXPECT_EQ(w, 375u);
  EXPECT_EQ(h, 150u);
  EXPECT_DOUBLE_EQ(Wrap360(-725.0), 355.0);
  EXPECT_DOUBLE_EQ(Wrap360(720.0), 0.0);
}

TEST(PreviewColours, MaterialsAddUpAndStayInRange) {
  const Rgba8 warm{200, 100, 50, 255};
  const Rgba8 both[2] = {warm, warm};
  const Rgba8 combined = CombineColours(both, 2);
  // 145, -55, -155 before the clamp.
  EXPECT_EQ(combined.r, 145);
  EXPECT_EQ(combined.g, 0);
  EXPECT_EQ(combined.b, 0);
  EXPECT_EQ(combined.a, 255);
  const Rgba8 none = CombineColours(nullptr, 0);
  EXPECT_EQ(none.r + none.g + none.b + none.a, 4 * 255);
  const Rgba8 one = CombineColours(&warm, 1);
  EXPECT_EQ(one.g, 100);
}

}  // namespace
}  // namespace zepcon::ui
