// Conversions between pixel layouts: expansion and packing of every mode,
// the three alpha options, in-place run order, resizing and the fix stage.
#include <gtest/gtest.h>

#include <vector>

#include "picture/bitmap_data.h"
#include "picture_test_util.h"
#include "support/test_support.h"

namespace zepcon::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Converts a one-row picture holding `pixels` (laid out in `from`) to `to`
// and returns the resulting bytes.
Bytes Convert(uint32_t from, uint32_t to, const Bytes& pixels, uint32_t count, BitmapData* keep = nullptr) {
  BitmapData local;
  BitmapData& picture = keep ? *keep : local;
  if (!keep) NeutralSettings(picture);
  MakePicture(picture, count, 1, from, pixels);
  if (!picture.BitmapConvertToMode(to, 0)) return {};
  Bytes out(size_t{count} * picture.BytesPerPixel());
  picture.GetPixels(0, count, out.data());
  return out;
}

Bytes Le16(std::initializer_list<uint16_t> values) {
  Bytes bytes;
  for (uint16_t v : values) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  return bytes;
}

TEST(BitmapConvert, SixteenBitLayoutsExpandByShiftingTheirFields) {
  // 5551: bit 15 set is transparent; fields widen with zero low bits.
  EXPECT_EQ(Convert(MODE_RGBA5551, MODE_RGBA8888, Le16({0x8000, 0x7FFF}), 2),
            Bytes({0, 0, 0, 0, 248, 248, 248, 255}));
  // RGB555: red in the low bits, the top bit ignored.
  EXPECT_EQ(Convert(MODE_RGB555, MODE_RGBA8888, Le16({0x801F}), 1), Bytes({248, 0, 0, 255}));
  // 565 orders: green keeps six bits (63 becomes 252).
  EXPECT_EQ(Convert(MODE_RGB565, MODE_RGBA8888, Le16({0xF800, 0x07E0, 0x001F}), 3),
            Bytes({0, 0, 248, 255, 0, 252, 0, 255, 248, 0, 0, 255}));
  EXPECT_EQ(Convert(MODE_BGR565, MODE_RGBA8888, Le16({0xF800, 0x001F}), 2), Bytes({248, 0, 0, 255, 0, 0, 248, 255}));
  // bGrA5551 has red in the high field; the flipped variant reads bit 15 the other way.
  EXPECT_EQ(Convert(MODE_BGRA5551, MODE_RGBA8888, Le16({0x7C00, 0x801F}), 2), Bytes({248, 0, 0, 255, 0, 0, 248, 0}));
  EXPECT_EQ(Convert(MODE_BGRA5551_AFLIP, MODE_RGBA8888, Le16({0x7C00, 0x801F}), 2),
            Bytes({248, 0, 0, 0, 0, 0, 248, 255}));
}

TEST(BitmapConvert, ByteLayoutsExpandInTheirOrder) {
  EXPECT_EQ(Convert(MODE_GRAY_8BIT, MODE_RGBA8888, {7}, 1), Bytes({7, 7, 7, 255}));
  EXPECT_EQ(Convert(MODE_GRAY_ALPHA_88, MODE_RGBA8888, {7, 9}, 1), Bytes({7, 7, 7, 9}));
  EXPECT_EQ(Convert(MODE_RGB888, MODE_RGBA8888, {1, 2, 3}, 1), Bytes({1, 2, 3, 255}));
  EXPECT_EQ(Convert(MODE_BGR888, MODE_RGBA8888, {1, 2, 3}, 1), Bytes({3, 2, 1, 255}));
  EXPECT_EQ(Convert(MODE_BGRA8888, MODE_RGBA8888, {1, 2, 3, 4}, 1), Bytes({3, 2, 1, 4}));
  EXPECT_EQ(Convert(MODE_ARGB8888, MODE_RGBA8888, {1, 2, 3, 4}, 1), Bytes({2, 3, 4, 1}));
}

TEST(BitmapConvert, PaletteEntriesExpandWithTheirAlpha) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 2, 1, MODE_PALETTE_8BIT, {0, 200});
  ASSERT_EQ(picture.SetPaletteEntry(0, 10, 20, 30, 40), 1);
  ASSERT_EQ(picture.SetPaletteEntry(200, 50, 60, 70), 1);
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_RGBA8888, 0), 1);
  Bytes out(8);
  ASSERT_EQ(picture.GetPixels(0, 2, out.data()), 1);
  EXPECT_EQ(out, Bytes({10, 20, 30, 40, 50, 60, 70, 255}));
}

TEST(BitmapConvert, PackingIntoEachDestination) {
  const Bytes rgba = {255, 255, 254, 255, 16, 32, 64, 254};
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_GRAY_8BIT, rgba, 2), Bytes({254, 37}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_GRAY_ALPHA_88, rgba, 2), Bytes({254, 255, 37, 254}));
  // 555: red low; 5551 marks everything below alpha 255 transparent.
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_RGB555, rgba, 2), Le16({0x7FFF, 2 | (4 << 5) | (8 << 10)}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_RGBA5551, rgba, 2), Le16({0x7FFF, 0x8000 | 2 | (4 << 5) | (8 << 10)}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_RGB888, rgba, 2), Bytes({255, 255, 254, 16, 32, 64}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_BGR888, rgba, 2), Bytes({254, 255, 255, 64, 32, 16}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_BGRA8888, rgba, 2), Bytes({254, 255, 255, 255, 64, 32, 16, 254}));
  EXPECT_EQ(Convert(MODE_RGBA8888, MODE_ARGB8888, rgba, 2), Bytes({255, 255, 255, 254, 254, 16, 32, 64}));
}

TEST(BitmapConvert, UnsupportedDestinationsFailBeforeTouchingThePicture) {
  BitmapData picture;
  MakePicture(picture, 2, 1, MODE_RGB888, {1, 2, 3, 4, 5, 6});
  LogCapture log;
  EXPECT_EQ(picture.BitmapConvertToMode(MODE_PALETTE_8BIT, 0), 0);
  EXPECT_TRUE(log.Contains("Conversion to this BitmapMode is not supported yet...\n"));
  EXPECT_TRUE(log.Contains("Source bitmap has to be 256 color paletted bitmap too.\n"));
  EXPECT_EQ(picture.Mode(), MODE_RGB888);
  Bytes out(6);
  ASSERT_EQ(picture.GetPixels(0, 2, out.data()), 1);
  EXPECT_EQ(out, Bytes({1, 2, 3, 4, 5, 6}));
  for (uint32_t mode : {MODE_PALETTE_4BIT, MODE_RGB565, MODE_BGR565, MODE_BGRA5551, MODE_BGRA5551_AFLIP}) {
    log.Clear();
    EXPECT_EQ(picture.BitmapConvertToMode(mode, 0), 0) << mode;
    EXPECT_FALSE(log.Contains("Source bitmap has to be")) << mode;
    EXPECT_EQ(picture.Mode(), MODE_RGB888);
  }
  log.Clear();
  EXPECT_EQ(picture.BitmapConvertToMode(16, 0), 0);
  EXPECT_TRUE(log.Contains("Bad mode\n"));

  BitmapData four_bit;
  MakePicture(four_bit, 2, 1, MODE_PALETTE_4BIT, {0x21});
  log.Clear();
  EXPECT_EQ(four_bit.BitmapConvertToMode(MODE_RGBA8888, 0), 0);
  EXPECT_TRUE(log.Contains("Conversion from this BitmapMode is not supported yet...\n"));
}

TEST(BitmapConvert, SameModeRunsUnlessAskedToSkip) {
  BitmapData picture;
  MakePicture(picture, 1, 1, MODE_RGB888, {255, 0, 255});
  LogCapture log;
  EXPECT_EQ(picture.BitmapConvertToMode(MODE_RGB888, CONVERT_SKIP_SAME_MODE), 1);
  EXPECT_TRUE(log.Contains("No need for that\n"));
  EXPECT_FALSE(log.Contains("Ok\n"));
  log.Clear();
  EXPECT_EQ(picture.BitmapConvertToMode(MODE_RGB888, 0), 1);
  EXPECT_TRUE(log.Contains("RGB888 => RGB888 ..."));
  EXPECT_TRUE(log.Contains("Ok\n"));

  BitmapData paletted;
  MakePicture(paletted, 1, 1, MODE_PALETTE_8BIT, {3});
  log.Clear();
  EXPECT_EQ(paletted.BitmapConvertToMode(MODE_PALETTE_8BIT, 0), 1);
  EXPECT_TRUE(log.Contains("No need for that\n"));
  EXPECT_EQ(paletted.Mode(), MODE_PALETTE_8BIT);
}

TEST(BitmapConvert, AlphaOptionRules) {
  // Alpha lost: transparent pixels become pink when asked; alpha 1 keeps its colour.
  {
    BitmapData picture;
    NeutralSettings(picture);
    picture.settings.alpha_zero_to_pink = 1;
    EXPECT_EQ(Convert(MODE_RGBA8888, MODE_BGR888, {10, 20, 30, 0, 10, 20, 30, 1}, 2, &picture),
              Bytes({255, 0, 255, 30, 20, 10}));
    BitmapData off;
    NeutralSettings(off);
    EXPECT_EQ(Convert(MODE_RGBA8888, MODE_BGR888, {10, 20, 30, 0}, 1, &off), Bytes({30, 20, 10}));
  }
  // Alpha gained: exact pink becomes transparent; not when the source has alpha.
  {
    BitmapData picture;
    NeutralSettings(picture);
    picture.settings.pink_to_alpha_zero = 1;
    EXPECT_EQ(Convert(MODE_RGB888, MODE_RGBA8888, {255, 0, 255, 255, 0, 254}, 2, &picture),
              Bytes({255, 0, 255, 0, 255, 0, 254, 255}));
    BitmapData with_alpha;
    NeutralSettings(with_alpha);
    with_alpha.settings.pink_to_alpha_zero = 1;
    EXPECT_EQ(Convert(MODE_BGRA8888, MODE_RGBA8888, {255, 0, 255, 200}, 1, &with_alpha), Bytes({255, 0, 255, 200}));
  }
  // Alpha not activated: every destination alpha is 0, whatever the source.
  {
    BitmapData picture;
    NeutralSettings(picture);
    picture.settings.alpha_activated = 0;
    EXPECT_EQ(Convert(MODE_RGB888, MODE_BGRA8888, {1, 2, 3}, 1, &picture), Bytes({3, 2, 1, 0}));
    BitmapData same;
    NeutralSettings(same);
    same.settings.alpha_activated = 0;
    EXPECT_EQ(Convert(MODE_RGBA8888, MODE_RGBA8888, {1, 2, 3, 255}, 1, &same), Bytes({1, 2, 3, 0}));
    BitmapData no_alpha;
    NeutralSettings(no_alpha);
    no_alpha.settings.alpha_activated = 0;
    EXPECT_EQ(Convert(MODE_RGBA8888, MODE_RGB888, {1, 2, 3, 255}, 1, &no_alpha), Bytes({1, 2, 3}));
  }
}

// Pixel i of a test picture: distinct values across run boundaries.
uint8_t Value(size_t i, int channel) { return static_cast<uint8_t>((i * 7 + channel * 31) % 251); }

TEST(BitmapConvert, InPlaceRunsKeepEveryPixelWhenGrowingAndShrinking) {
  // 2,000 pixels take three runs (the last empty); 1,999 and 2,001 end in
  // a short run; growing conversions must work from the last run back.
  for (uint32_t count : {1u, 999u, 1000u, 1999u, 2000u, 2001u}) {
    SCOPED_TRACE(count);
    Bytes gray(count);
    for (uint32_t i = 0; i < count; ++i) gray[i] = Value(i, 0);
    BitmapData picture;
    NeutralSettings(picture);
    MakePicture(picture, count, 1, MODE_GRAY_8BIT, gray);
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_ARGB8888, 0), 1);
    Bytes argb(size_t{count} * 4);
    ASSERT_EQ(picture.GetPixels(0, count, argb.data()), 1);
    for (uint32_t i = 0; i < count; ++i) {
      ASSERT_EQ(argb[4 * i], 255) << i;
      ASSERT_EQ(argb[4 * i + 1], gray[i]) << i;
      ASSERT_EQ(argb[4 * i + 3], gray[i]) << i;
    }
    // And back down (forwards), through a 3-byte layout.
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_BGR888, 0), 1);
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_GRAY_8BIT, 0), 1);
    Bytes back(count);
    ASSERT_EQ(picture.GetPixels(0, count, back.data()), 1);
    EXPECT_EQ(back, gray);
  }
}

TEST(BitmapConvert, TwoThousandPixelsOfTwoDimensionsConvertBothWays) {
  Bytes rgb(2000 * 3);
  for (size_t i = 0; i < 2000; ++i)
    for (int c = 0; c < 3; ++c) rgb[3 * i + c] = Value(i, c);
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 50, 40, MODE_RGB888, rgb);
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_BGRA8888, 0), 1);
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_RGB888, 0), 1);
  Bytes back(rgb.size());
  ASSERT_EQ(picture.GetPixels(0, 2000, back.data()), 1);
  EXPECT_EQ(back, rgb);
}

TEST(BitmapConvert, AlphaToGrayAndInvertColours) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 2, 1, MODE_BGRA8888, {1, 2, 3, 40, 100, 110, 120, 0});
  LogCapture log;
  ASSERT_EQ(picture.AlphaToGray(), 1);
  EXPECT_EQ(picture.Mode(), MODE_RGBA8888);
  Bytes out(8);
  ASSERT_EQ(picture.GetPixels(0, 2, out.data()), 1);
  EXPECT_EQ(out, Bytes({40, 40, 40, 40, 0, 0, 0, 0}));
  ASSERT_EQ(picture.InvertColors(), 1);
  ASSERT_EQ(picture.GetPixels(0, 2, out.data()), 1);
  EXPECT_EQ(out, Bytes({215, 215, 215, 40, 255, 255, 255, 0}));
  EXPECT_TRUE(log.Contains("Inverting bitmap..done\n"));

  BitmapData four_bit;
  MakePicture(four_bit, 2, 1, MODE_PALETTE_4BIT, {0x10});
  log.Clear();
  EXPECT_EQ(four_bit.InvertColors(), 0);
  EXPECT_TRUE(log.Contains(" could not convert to RGBA\n"));
}

TEST(BitmapConvert, ResizeIsNearestNeighbourBothWays) {
  Bytes four_by_four(16);
  for (uint8_t i = 0; i < 16; ++i) four_by_four[i] = i;
  BitmapData picture;
  MakePicture(picture, 4, 4, MODE_GRAY_8BIT, four_by_four);
  ASSERT_EQ(picture.Resize(2, 2), 1);
  EXPECT_EQ(picture.SizeX(), 2u);
  EXPECT_EQ(picture.SizeY(), 2u);
  Bytes small(4);
  ASSERT_EQ(picture.GetPixels(0, 4, small.data()), 1);
  EXPECT_EQ(small, Bytes({0, 2, 8, 10})) << "columns and rows 0 and 2";

  BitmapData growing;
  MakePicture(growing, 2, 2, MODE_RGB888, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
  ASSERT_EQ(growing.Resize(4, 4), 1);
  Bytes big(48);
  ASSERT_EQ(growing.GetPixels(0, 16, big.data()), 1);
  const uint8_t expected[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(big[3 * i + 1], expected[i]) << i;

  BitmapData four_bit;
  MakePicture(four_bit, 2, 1, MODE_PALETTE_4BIT, {0x10});
  LogCapture log;
  EXPECT_EQ(four_bit.Resize(4, 4), 0);
  EXPECT_TRUE(log.Contains("not possible on this mode\n"));
}

TEST(BitmapConvert, ResizeAfterAConversionUsesTheCurrentLayout) {
  // A conversion leaves the storage at 4 bytes a pixel; resizing must copy
  // only the current layout's bytes.
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 2, 1, MODE_RGBA8888, {1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_RGB888, 0), 1);
  ASSERT_EQ(picture.Resize(4, 1), 1);
  Bytes out(12);
  ASSERT_EQ(picture.GetPixels(0, 4, out.data()), 1);
  EXPECT_EQ(out, Bytes({1, 2, 3, 1, 2, 3, 5, 6, 7, 5, 6, 7}));
}

TEST(BitmapConvert, RemoveAlphaAppliesTheAlphaSwitch) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 1, 1, MODE_BGRA8888, {1, 2, 3, 200});
  EXPECT_EQ(picture.RemoveAlpha(), 1);
  Bytes out(4);
  ASSERT_EQ(picture.GetPixels(0, 1, out.data()), 1);
  EXPECT_EQ(out, Bytes({1, 2, 3, 200})) << "alpha activated: nothing to do";

  picture.settings.alpha_activated = 0;
  LogCapture log;
  EXPECT_EQ(picture.RemoveAlpha(), 1);
  EXPECT_TRUE(log.Contains("Removing alpha from bitmap...\n"));
  ASSERT_EQ(picture.GetPixels(0, 1, out.data()), 1);
  EXPECT_EQ(out, Bytes({1, 2, 3, 0})) << "same rule as every saver's conversion";
  EXPECT_EQ(picture.Mode(), MODE_BGRA8888);

  BitmapData opaque;
  opaque.settings.alpha_activated = 0;
  MakePicture(opaque, 1, 1, MODE_RGB888, {1, 2, 3});
  log.Clear();
  EXPECT_EQ(opaque.RemoveAlpha(), 1);
  EXPECT_FALSE(log.Contains("Removing alpha")) << "no alpha, nothing to remove";
}

}  // namespace
}  // namespace zepcon::test
