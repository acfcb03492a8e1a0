// The picture container: lifecycle, pixel runs (with 4-bit packing), the
// palette and the auxiliary area.
#include "picture/bitmap_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "picture_test_util.h"

namespace zepcon::test {
namespace {

TEST(BitmapData, EmptyPictureRefusesPixelsWithMessage) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
  EXPECT_STREQ(picture.ModeName(picture.Mode()), "undefined");
  EXPECT_EQ(picture.PixelCount(), 1u);
  LogCapture log;
  uint8_t pixel = 7;
  EXPECT_EQ(picture.SetPixels(0, 1, &pixel), 0);
  EXPECT_TRUE(log.Contains("SetPixels: Unsupported color depth !\n"));
  log.Clear();
  EXPECT_EQ(picture.GetPixels(0, 1, &pixel), 0);
  EXPECT_TRUE(log.Text().empty()) << "reading fails quietly";
}

TEST(BitmapData, RunsUpToThePixelCountOnlyAndFailuresChangeNothing) {
  Bytes bytes(18);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 11);
  BitmapData picture;
  MakePicture(picture, 3, 2, MODE_RGB888, bytes);
  EXPECT_EQ(picture.PixelCount(), 6u);
  const Bytes other(21, 0xEE);
  EXPECT_EQ(picture.SetPixels(0, 7, other.data()), 0);
  EXPECT_EQ(picture.SetPixels(6, 1, other.data()), 0);
  EXPECT_EQ(picture.SetPixels(0xFFFFFFFFu, 2, other.data()), 0) << "first + count must not wrap";
  EXPECT_EQ(RawPixels(picture), bytes);
  Bytes back(6);
  EXPECT_EQ(picture.GetPixels(5, 2, back.data()), 0);
  // A run in the middle lands at its pixel number.
  const uint8_t middle[3] = {1, 2, 3};
  ASSERT_EQ(picture.SetPixels(4, 1, middle), 1);
  ASSERT_EQ(picture.GetPixels(4, 1, back.data()), 1);
  EXPECT_EQ(Bytes(back.begin(), back.begin() + 3), Bytes({1, 2, 3}));
}

TEST(BitmapData, FourBitRunsArePackedLowNibbleFirst) {
  BitmapData picture;
  MakePicture(picture, 5, 1, MODE_PALETTE_4BIT, {0x21, 0x43, 0x05});  // pixels 1, 2, 3, 4, 5
  EXPECT_EQ(picture.BytesPerPixel(), 1u) << "one byte per pixel in memory, like mode 2";
  Bytes back(3);
  ASSERT_EQ(picture.GetPixels(0, 5, back.data()), 1);
  EXPECT_EQ(back, Bytes({0x21, 0x43, 0x05})) << "an odd run leaves the last high nibble 0";
  // A run starting at an odd pixel packs from its own first pixel.
  ASSERT_EQ(picture.GetPixels(1, 2, back.data()), 1);
  EXPECT_EQ(back[0], 0x32);
  // Writing two pixels from pixel 3 changes only them.
  const uint8_t two = 0xBA;
  ASSERT_EQ(picture.SetPixels(3, 2, &two), 1);
  ASSERT_EQ(picture.GetPixels(0, 5, back.data()), 1);
  EXPECT_EQ(back, Bytes({0x21, 0xA3, 0x0B}));
}

// Outside the paletted modes every one of the 256 entries is usable, and an
// index beyond the mode's entries is a failure, not a silent success.
TEST(BitmapData, PaletteIndexesAreCheckedAgainstTheMode) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  const std::pair<uint32_t, uint32_t> ends[] = {{MODE_PALETTE_8BIT, 256}, {MODE_PALETTE_4BIT, 16}, {MODE_RGB888, 256}};
  for (const auto& [mode, entries] : ends) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(picture.InitPicture(1, 1, mode), 1);
    uint8_t r = 0, g = 0, b = 0, a = 0;
    EXPECT_EQ(picture.SetPaletteEntry(entries - 1, 1, 2, 3, 4), 1);
    EXPECT_EQ(picture.SetPaletteEntry(entries, 1, 2, 3, 4), 0);
    EXPECT_EQ(picture.GetPaletteEntry(entries, r, g, b), 0);
    ASSERT_EQ(picture.GetPaletteEntry(entries - 1, r, g, b, a), 1);
    EXPECT_EQ(Bytes({r, g, b, a}), Bytes({1, 2, 3, 4}));
    ASSERT_EQ(picture.SetPaletteEntry(9, 10, 20, 30), 1);
    ASSERT_EQ(picture.GetPaletteEntry(9, r, g, b, a), 1);
    EXPECT_EQ(a, 255) << "three colours mean opaque";
  }
}

TEST(BitmapData, AuxiliaryAreaRefusesAccessPastItsEnd) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  const uint32_t size = BitmapData::kAuxiliarySize;
  uint8_t bytes[4] = {9, 8, 7, 6};
  EXPECT_EQ(picture.WriteAuxiliary(size - 4, 4, bytes), 1);
  EXPECT_EQ(picture.WriteAuxiliary(size - 3, 4, bytes), 0);
  EXPECT_EQ(picture.WriteAuxiliary(0xFFFFFFFFu, 2, bytes), 0);
  EXPECT_EQ(picture.ReadAuxiliary(size - 1, 2, bytes), 0);
  bytes[3] = 0;
  EXPECT_EQ(picture.ReadAuxiliary(size - 4, 4, bytes), 1);
  EXPECT_EQ(bytes[3], 6);
}

// Huge sizes are refused before allocating, and the picture stays usable;
// destroyed and initialised again (twice), it starts over.
TEST(BitmapData, HugeSizesRefusedAndDestroyThenInitStartsOver) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  LogCapture log;
  EXPECT_EQ(picture.InitPicture(65535, 65535, MODE_RGBA8888), 0);
  EXPECT_TRUE(log.Contains("too large")) << log.Text();
  EXPECT_EQ(picture.InitPicture(0xFFFFFFFFu, 0xFFFFFFFFu, MODE_GRAY_8BIT), 0);
  MakePicture(picture, 2, 2, MODE_GRAY_8BIT, {1, 2, 3, 4});
  EXPECT_EQ(picture.DestroyData(), 1);
  EXPECT_EQ(picture.SetPixels(0, 1, Bytes(4).data()), 0);
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitData(), 1) << "init twice frees the first pool";
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
  ASSERT_EQ(picture.InitPicture(2, 1, MODE_GRAY_ALPHA_88), 1);
  EXPECT_EQ(picture.BytesPerPixel(), 2u);
  EXPECT_TRUE(picture.ModeHasAlpha(picture.Mode()));
  EXPECT_FALSE(picture.ModeHasAlpha(MODE_PALETTE_8BIT)) << "palette entries carry alpha, the mode does not";
}

}  // namespace
}  // namespace zepcon::test
