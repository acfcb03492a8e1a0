// The picture container: lifecycle, pixel runs (with 4-bit packing), the
// palette and the auxiliary area.
#include "picture/bitmap_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_support.h"

namespace zepcon::test {
namespace {

TEST(BitmapData, EmptyPictureRefusesPixelsWithMessage) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
  EXPECT_STREQ(picture.ModeName(picture.Mode()), "undefined");
  EXPECT_EQ(picture.PixelCount(), 1u);
  LogCapture log;
  const uint8_t pixel = 7;
  uint8_t out = 0;
  EXPECT_EQ(picture.SetPixels(0, 1, &pixel), 0);
  EXPECT_TRUE(log.Contains("SetPixels: Unsupported color depth !\n"));
  log.Clear();
  EXPECT_EQ(picture.GetPixels(0, 1, &out), 0);
  EXPECT_TRUE(log.Text().empty()) << "reading fails quietly";
}

TEST(BitmapData, RunsUpToThePixelCountOnlyAndFailuresChangeNothing) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(3, 2, MODE_RGB888), 1);
  EXPECT_EQ(picture.PixelCount(), 6u);
  std::vector<uint8_t> bytes(18);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 11);
  EXPECT_EQ(picture.SetPixels(0, 6, bytes.data()), 1);
  const std::vector<uint8_t> other(21, 0xEE);
  EXPECT_EQ(picture.SetPixels(0, 7, other.data()), 0);
  EXPECT_EQ(picture.SetPixels(6, 1, other.data()), 0);
  EXPECT_EQ(picture.SetPixels(0xFFFFFFFFu, 2, other.data()), 0) << "first + count must not wrap";
  std::vector<uint8_t> back(18);
  EXPECT_EQ(picture.GetPixels(0, 6, back.data()), 1);
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(picture.GetPixels(5, 2, back.data()), 0);
  // A run in the middle lands at its pixel number.
  const uint8_t middle[3] = {1, 2, 3};
  ASSERT_EQ(picture.SetPixels(4, 1, middle), 1);
  uint8_t got[3];
  ASSERT_EQ(picture.GetPixels(4, 1, got), 1);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 3), std::vector<uint8_t>({1, 2, 3}));
}

TEST(BitmapData, FourBitRunsArePackedLowNibbleFirst) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(5, 1, MODE_PALETTE_4BIT), 1);
  EXPECT_EQ(picture.BytesPerPixel(), 1u) << "one byte per pixel in memory, like mode 2";
  const uint8_t packed[3] = {0x21, 0x43, 0x05};  // pixels 1, 2, 3, 4, 5
  ASSERT_EQ(picture.SetPixels(0, 5, packed), 1);
  uint8_t back[3] = {};
  ASSERT_EQ(picture.GetPixels(0, 5, back), 1);
  EXPECT_EQ(back[0], 0x21);
  EXPECT_EQ(back[1], 0x43);
  EXPECT_EQ(back[2], 0x05) << "an odd run leaves the last high nibble 0";
  // A run starting at an odd pixel packs from its own first pixel.
  uint8_t part = 0;
  ASSERT_EQ(picture.GetPixels(1, 2, &part), 1);
  EXPECT_EQ(part, 0x32);
  // Writing two pixels from pixel 3 changes only them.
  const uint8_t two = 0xBA;
  ASSERT_EQ(picture.SetPixels(3, 2, &two), 1);
  ASSERT_EQ(picture.GetPixels(0, 5, back), 1);
  EXPECT_EQ(back[0], 0x21);
  EXPECT_EQ(back[1], 0xA3);
  EXPECT_EQ(back[2], 0x0B);
}

TEST(BitmapData, PaletteIndexesAreCheckedAgainstTheMode) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(1, 1, MODE_PALETTE_8BIT), 1);
  EXPECT_EQ(picture.SetPaletteEntry(255, 1, 2, 3, 4), 1);
  EXPECT_EQ(picture.SetPaletteEntry(256, 1, 2, 3, 4), 0);
  uint8_t r = 0, g = 0, b = 0, a = 0;
  ASSERT_EQ(picture.GetPaletteEntry(255, r, g, b, a), 1);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(g, 2);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(a, 4);
  ASSERT_EQ(picture.SetPaletteEntry(9, 10, 20, 30), 1);
  ASSERT_EQ(picture.GetPaletteEntry(9, r, g, b, a), 1);
  EXPECT_EQ(a, 255) << "three colours mean opaque";
  EXPECT_EQ(picture.GetPaletteEntry(256, r, g, b), 0);

  ASSERT_EQ(picture.InitPicture(1, 1, MODE_PALETTE_4BIT), 1);
  EXPECT_EQ(picture.SetPaletteEntry(15, 1, 1, 1), 1);
  EXPECT_EQ(picture.SetPaletteEntry(16, 1, 1, 1), 0);
  EXPECT_EQ(picture.GetPaletteEntry(16, r, g, b), 0);

  // Outside the paletted modes every one of the 256 entries is usable, and
  // an index beyond them is a failure, not a silent success.
  ASSERT_EQ(picture.InitPicture(1, 1, MODE_RGB888), 1);
  EXPECT_EQ(picture.SetPaletteEntry(200, 5, 6, 7), 1);
  EXPECT_EQ(picture.SetPaletteEntry(256, 5, 6, 7), 0);
}

TEST(BitmapData, AuxiliaryAreaRefusesAccessPastItsEnd) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  const uint32_t size = BitmapData::kAuxiliarySize;
  const uint8_t bytes[4] = {9, 8, 7, 6};
  EXPECT_EQ(picture.WriteAuxiliary(size - 4, 4, bytes), 1);
  EXPECT_EQ(picture.WriteAuxiliary(size - 3, 4, bytes), 0);
  EXPECT_EQ(picture.WriteAuxiliary(0xFFFFFFFFu, 2, bytes), 0);
  uint8_t back[4] = {};
  EXPECT_EQ(picture.ReadAuxiliary(size - 4, 4, back), 1);
  EXPECT_EQ(back[3], 6);
  EXPECT_EQ(picture.ReadAuxiliary(size - 1, 2, back), 0);
}

TEST(BitmapData, HugeSizesAreRefusedBeforeAllocating) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  LogCapture log;
  EXPECT_EQ(picture.InitPicture(65535, 65535, MODE_RGBA8888), 0);
  EXPECT_TRUE(log.Contains("too large")) << log.Text();
  EXPECT_EQ(picture.InitPicture(0xFFFFFFFFu, 0xFFFFFFFFu, MODE_GRAY_8BIT), 0);
  // The picture is still usable afterwards.
  EXPECT_EQ(picture.InitPicture(2, 2, MODE_GRAY_8BIT), 1);
  const uint8_t gray[4] = {1, 2, 3, 4};
  EXPECT_EQ(picture.SetPixels(0, 4, gray), 1);
}

TEST(BitmapData, DestroyThenInitStartsOver) {
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(4, 4, MODE_RGBA8888), 1);
  EXPECT_EQ(picture.DestroyData(), 1);
  const uint8_t pixel[4] = {};
  EXPECT_EQ(picture.SetPixels(0, 1, pixel), 0);
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
