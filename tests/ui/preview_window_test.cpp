// Real files previewed in the main window: the preview shows them, the strip
// drives the frame. With
// ZEPCON_PREVIEW_SHOTS set to a folder, the window is saved there as
// preview-model.png and preview-picture.png.
#include <QLabel>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "core/format_table.h"
#include "model/model_data.h"
#include "ui_test_support.h"

namespace zepcon {
namespace {

void SaveShot(QWidget& window, const char* name) {
  const char* folder = std::getenv("ZEPCON_PREVIEW_SHOTS");
  if (!folder) return;
  window.grab().save(QString::fromStdString(std::string(folder) + "/" + name));
}

// Pixels of the preview that differ from its corner pixel (the background).
int DrawnPixels(ui::GlPreview& preview) {
  const QImage image = preview.grabFramebuffer();
  const QRgb background = image.pixel(0, 0);
  int drawn = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) drawn += image.pixel(x, y) != background;
  return drawn;
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  ui::MainDialog& OpenFile(const std::filesystem::path& file) {
    fixture.options.auto_preview = 1;
    fixture.options.preview_shown = 1;
    ui::MainDialog& window = fixture.Open(file.string());
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    return window;
  }
  test::WindowFixture fixture;
};

TEST_F(PreviewWindowTest, RealModelIsDrawn) {
  const std::filesystem::path file = test::CorpusDir() / "models/off/mushroom.off";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no corpus";
  ui::MainDialog& window = OpenFile(file);
  ASSERT_EQ(window.Converter().GetHeldKind(), static_cast<uint32_t>(KIND_MODEL));
  EXPECT_TRUE(window.StatusLine()->text().startsWith("p: ")) << window.StatusLine()->text().toStdString();
  ASSERT_TRUE(window.PreviewArea()->ModelReady());
  EXPECT_GT(DrawnPixels(*window.PreviewArea()), 2000);
  EXPECT_FALSE(window.AnimationStrip()->isVisible());
  EXPECT_EQ(window.FrameLabel()->text().toStdString(), "No anim");
  SaveShot(window, "preview-model.png");
}

TEST_F(PreviewWindowTest, RealPictureIsDrawnAndDragged) {
  const std::filesystem::path file = test::CorpusDir() / "pictures/bmp/hopper.bmp";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no corpus";
  ui::MainDialog& window = OpenFile(file);
  ASSERT_EQ(window.Converter().GetHeldKind(), static_cast<uint32_t>(KIND_BITMAP));
  ui::GlPreview& preview = *window.PreviewArea();
  ASSERT_TRUE(preview.PictureReady());
  EXPECT_GT(DrawnPixels(preview), 20000);
  SaveShot(window, "preview-picture.png");

  // A right drag down by 20 pixels doubles the zoom and says so.
  const QPoint origin = preview.mapToGlobal(QPoint(50, 50));
  window.PreviewPressed(Qt::RightButton, origin);
  window.PreviewMoved(origin + QPoint(0, 20), false);
  window.PreviewReleased(Qt::RightButton);
  EXPECT_DOUBLE_EQ(preview.View().zoom, 1.05 * 2);
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "2.100000");
  // Moves without a button held change nothing.
  window.PreviewMoved(origin + QPoint(0, 40), false);
  EXPECT_DOUBLE_EQ(preview.View().zoom, 1.05 * 2);
}

TEST_F(PreviewWindowTest, StripStepsTheFrame) {
  // A model with three frames, each moving the triangle along x.
  const std::filesystem::path source = fixture.data.File("anim.off");
  test::WriteText(source, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  fixture.options.animation_stepping = 1.0f;
  ui::MainDialog& window = OpenFile(source);
  ModelData& model = window.Converter().Model();
  ASSERT_EQ(window.Converter().GetHeldKind(), static_cast<uint32_t>(KIND_MODEL));
  ASSERT_TRUE(model.SetAnimFramesCount(3));
  // Reload the playback as a load of an animated model would.
  ui::ResetPlayback(window.AnimationPlayback(), 3, {}, 0.0);
  window.TimerTick();  // state 1: the first frame, then stopped
  EXPECT_EQ(window.AnimationPlayback().state, ui::kAnimStopped);
  EXPECT_EQ(window.FrameLabel()->text().toStdString(), "Frame: 1.00 / 3");
  window.StripClicked(7);  // one step forwards
  window.TimerTick();
  EXPECT_EQ(window.FrameLabel()->text().toStdString(), "Frame: 2.00 / 3");
  window.StripClicked(3);  // one step back
  window.TimerTick();
  window.StripClicked(3);  // and back past the first frame to the last
  window.TimerTick();
  EXPECT_FLOAT_EQ(window.AnimationPlayback().frame, 2.0f);
}

}  // namespace
}  // namespace zepcon
