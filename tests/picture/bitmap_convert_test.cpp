// Conversions between pixel layouts: expansion and packing of every mode,
// the three alpha options, in-place run order, resizing and the fix stage.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Le16(std::initializer_list<uint16_t> values) {
  Bytes bytes;
  for (uint16_t v : values) bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
  return bytes;
}

struct ConvertCase {
  uint32_t from, to;
  Bytes pixels, expected;
  int alpha_zero_to_pink = 0, pink_to_alpha_zero = 0, alpha_activated = 1;
};

// Converts a one-row picture of `c.pixels` under the case's settings.
void CheckConversion(const ConvertCase& c) {
  BitmapData picture;
  picture.settings.alpha_zero_to_pink = c.alpha_zero_to_pink;
  picture.settings.pink_to_alpha_zero = c.pink_to_alpha_zero;
  picture.settings.alpha_activated = c.alpha_activated;
  const uint32_t count = static_cast<uint32_t>(c.pixels.size() / picture.StorageBytesPerPixel(c.from));
  MakePicture(picture, count, 1, c.from, c.pixels);
  ASSERT_EQ(picture.BitmapConvertToMode(c.to, 0), 1);
  EXPECT_EQ(RawPixels(picture), c.expected);
}

// Every layout expands to RGBA in its order, RGBA packs into every
// destination, and the three alpha options apply when alpha is lost, gained
// or switched off.
TEST(BitmapConvert, EveryLayoutConvertsUnderTheAlphaOptions) {
  const Bytes rgba = {255, 255, 254, 255, 16, 32, 64, 254};
  const ConvertCase cases[] = {
      // 5551: bit 15 set is transparent; fields widen with zero low bits.
      {MODE_RGBA5551, MODE_RGBA8888, Le16({0x8000, 0x7FFF}), {0, 0, 0, 0, 248, 248, 248, 255}},
      // RGB555: red in the low bits, the top bit ignored.
      {MODE_RGB555, MODE_RGBA8888, Le16({0x801F}), {248, 0, 0, 255}},
      // 565 orders: green keeps six bits (63 becomes 252).
      {MODE_RGB565, MODE_RGBA8888, Le16({0xF800, 0x07E0, 0x001F}), {0, 0, 248, 255, 0, 252, 0, 255, 248, 0, 0, 255}},
      {MODE_BGR565, MODE_RGBA8888, Le16({0xF800, 0x001F}), {248, 0, 0, 255, 0, 0, 248, 255}},
      // bGrA5551 has red in the high field; the flipped variant reads bit 15 the other way.
      {MODE_BGRA5551, MODE_RGBA8888, Le16({0x7C00, 0x801F}), {248, 0, 0, 255, 0, 0, 248, 0}},
      {MODE_BGRA5551_AFLIP, MODE_RGBA8888, Le16({0x7C00, 0x801F}), {248, 0, 0, 0, 0, 0, 248, 255}},
      {MODE_GRAY_8BIT, MODE_RGBA8888, {7}, {7, 7, 7, 255}},
      {MODE_GRAY_ALPHA_88, MODE_RGBA8888, {7, 9}, {7, 7, 7, 9}},
      {MODE_RGB888, MODE_RGBA8888, {1, 2, 3}, {1, 2, 3, 255}},
      {MODE_BGR888, MODE_RGBA8888, {1, 2, 3}, {3, 2, 1, 255}},
      {MODE_BGRA8888, MODE_RGBA8888, {1, 2, 3, 4}, {3, 2, 1, 4}},
      {MODE_ARGB8888, MODE_RGBA8888, {1, 2, 3, 4}, {2, 3, 4, 1}},
      {MODE_RGBA8888, MODE_GRAY_8BIT, rgba, {254, 37}},
      {MODE_RGBA8888, MODE_GRAY_ALPHA_88, rgba, {254, 255, 37, 254}},
      // 555: red low; 5551 marks everything below alpha 255 transparent.
      {MODE_RGBA8888, MODE_RGB555, rgba, Le16({0x7FFF, 2 | (4 << 5) | (8 << 10)})},
      {MODE_RGBA8888, MODE_RGBA5551, rgba, Le16({0x7FFF, 0x8000 | 2 | (4 << 5) | (8 << 10)})},
      {MODE_RGBA8888, MODE_RGB888, rgba, {255, 255, 254, 16, 32, 64}},
      {MODE_RGBA8888, MODE_BGR888, rgba, {254, 255, 255, 64, 32, 16}},
      {MODE_RGBA8888, MODE_BGRA8888, rgba, {254, 255, 255, 255, 64, 32, 16, 254}},
      {MODE_RGBA8888, MODE_ARGB8888, rgba, {255, 255, 255, 254, 254, 16, 32, 64}},
      // Alpha lost: transparent pixels become pink when asked; alpha 1 keeps its colour.
      {MODE_RGBA8888, MODE_BGR888, {10, 20, 30, 0, 10, 20, 30, 1}, {255, 0, 255, 30, 20, 10}, 1, 0, 1},
      {MODE_RGBA8888, MODE_BGR888, {10, 20, 30, 0}, {30, 20, 10}, 0, 0, 1},
      // Alpha gained: exact pink becomes transparent; not when the source has alpha.
      {MODE_RGB888, MODE_RGBA8888, {255, 0, 255, 255, 0, 254}, {255, 0, 255, 0, 255, 0, 254, 255}, 0, 1, 1},
      {MODE_BGRA8888, MODE_RGBA8888, {255, 0, 255, 200}, {255, 0, 255, 200}, 0, 1, 1},
      // Alpha not activated: every destination alpha is 0, whatever the source.
      {MODE_RGB888, MODE_BGRA8888, {1, 2, 3}, {3, 2, 1, 0}, 0, 0, 0},
      {MODE_RGBA8888, MODE_RGBA8888, {1, 2, 3, 255}, {1, 2, 3, 0}, 0, 0, 0},
      {MODE_RGBA8888, MODE_RGB888, {1, 2, 3, 255}, {1, 2, 3}, 0, 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    CheckConversion(cases[i]);
  }
}

TEST(BitmapConvert, UnsupportedConversionsFailBeforeTouchingThePicture) {
  BitmapData picture;
  MakePicture(picture, 2, 1, MODE_RGB888, {1, 2, 3, 4, 5, 6});
  LogCapture log;
  EXPECT_EQ(picture.BitmapConvertToMode(MODE_PALETTE_8BIT, 0), 0);
  EXPECT_TRUE(log.Contains("Conversion to this BitmapMode is not supported yet...\n"));
  EXPECT_TRUE(log.Contains("Source bitmap has to be 256 color paletted bitmap too.\n"));
  for (uint32_t mode : std::initializer_list<uint32_t>{MODE_PALETTE_4BIT, MODE_RGB565, MODE_BGR565, MODE_BGRA5551,
                                                      MODE_BGRA5551_AFLIP, 16}) {
    log.Clear();
    EXPECT_EQ(picture.BitmapConvertToMode(mode, 0), 0) << mode;
    EXPECT_EQ(log.Contains("Bad mode\n"), mode == 16) << mode;
  }
  EXPECT_EQ(picture.Mode(), MODE_RGB888);
  EXPECT_EQ(RawPixels(picture), Bytes({1, 2, 3, 4, 5, 6}));

  BitmapData four_bit;
  MakePicture(four_bit, 2, 1, MODE_PALETTE_4BIT, {0x21});
  log.Clear();
  EXPECT_EQ(four_bit.BitmapConvertToMode(MODE_RGBA8888, 0), 0);
  EXPECT_TRUE(log.Contains("Conversion from this BitmapMode is not supported yet...\n"));
  EXPECT_EQ(four_bit.InvertColors(), 0);
  EXPECT_TRUE(log.Contains(" could not convert to RGBA\n"));
  EXPECT_EQ(four_bit.Resize(4, 4), 0);
  EXPECT_TRUE(log.Contains("not possible on this mode\n"));
}

TEST(BitmapConvert, SameModeRunsUnlessAskedToSkipOrPaletted) {
  BitmapData picture, paletted;
  MakePicture(picture, 1, 1, MODE_RGB888, {255, 0, 255});
  MakePicture(paletted, 1, 1, MODE_PALETTE_8BIT, {3});
  const std::tuple<BitmapData*, uint32_t, bool> runs[] = {
      {&picture, CONVERT_SKIP_SAME_MODE, false}, {&picture, 0, true}, {&paletted, 0, false}};
  for (const auto& [target, flags, ran] : runs) {
    LogCapture log;
    EXPECT_EQ(target->BitmapConvertToMode(target->Mode(), flags), 1);
    EXPECT_EQ(log.Contains("No need for that\n"), !ran) << log.Text();
    EXPECT_EQ(log.Contains("Ok\n"), ran) << log.Text();
  }
}

TEST(BitmapConvert, InPlaceRunsKeepEveryPixelWhenGrowingAndShrinking) {
  // 2,000 pixels take three runs (the last empty); 1,999 and 2,001 end in
  // a short run; growing conversions must work from the last run back.
  for (uint32_t count : {1u, 999u, 1000u, 1999u, 2000u, 2001u}) {
    SCOPED_TRACE(count);
    Bytes gray(count), argb;
    for (uint32_t i = 0; i < count; ++i) {
      gray[i] = static_cast<uint8_t>((i * 7) % 251);
      argb.insert(argb.end(), {255, gray[i], gray[i], gray[i]});
    }
    BitmapData picture;
    NeutralSettings(picture);
    MakePicture(picture, count, 1, MODE_GRAY_8BIT, gray);
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_ARGB8888, 0), 1);
    EXPECT_EQ(RawPixels(picture), argb);
    // And back down (forwards), through a 3-byte layout.
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_BGR888, 0), 1);
    ASSERT_EQ(picture.BitmapConvertToMode(MODE_GRAY_8BIT, 0), 1);
    EXPECT_EQ(RawPixels(picture), gray);
  }
}

TEST(BitmapConvert, AlphaToGrayAndInvertColours) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 2, 1, MODE_BGRA8888, {1, 2, 3, 40, 100, 110, 120, 0});
  LogCapture log;
  ASSERT_EQ(picture.AlphaToGray(), 1);
  EXPECT_EQ(picture.Mode(), MODE_RGBA8888);
  EXPECT_EQ(RawPixels(picture), Bytes({40, 40, 40, 40, 0, 0, 0, 0}));
  ASSERT_EQ(picture.InvertColors(), 1);
  EXPECT_EQ(RawPixels(picture), Bytes({215, 215, 215, 40, 255, 255, 255, 0}));
  EXPECT_TRUE(log.Contains("Inverting bitmap..done\n"));
}

// Nearest neighbour both ways; after a conversion the storage is still 4
// bytes a pixel, and resizing must copy only the current layout's bytes.
TEST(BitmapConvert, ResizeIsNearestNeighbourBothWays) {
  Bytes four_by_four(16);
  for (uint8_t i = 0; i < 16; ++i) four_by_four[i] = i;
  BitmapData picture;
  MakePicture(picture, 4, 4, MODE_GRAY_8BIT, four_by_four);
  ASSERT_EQ(picture.Resize(2, 2), 1);
  EXPECT_EQ(picture.SizeX(), 2u);
  EXPECT_EQ(picture.SizeY(), 2u);
  EXPECT_EQ(RawPixels(picture), Bytes({0, 2, 8, 10})) << "columns and rows 0 and 2";

  BitmapData growing;
  NeutralSettings(growing);
  MakePicture(growing, 2, 2, MODE_RGBA8888, {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0, 4, 4, 4, 0});
  ASSERT_EQ(growing.BitmapConvertToMode(MODE_GRAY_8BIT, 0), 1);
  ASSERT_EQ(growing.Resize(4, 4), 1);
  EXPECT_EQ(RawPixels(growing), Bytes({1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
}

TEST(BitmapConvert, RemoveAlphaAppliesTheAlphaSwitch) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 1, 1, MODE_BGRA8888, {1, 2, 3, 200});
  EXPECT_EQ(picture.RemoveAlpha(), 1);
  EXPECT_EQ(RawPixels(picture), Bytes({1, 2, 3, 200})) << "alpha activated: nothing to do";
  picture.settings.alpha_activated = 0;
  LogCapture log;
  EXPECT_EQ(picture.RemoveAlpha(), 1);
  EXPECT_TRUE(log.Contains("Removing alpha from bitmap...\n"));
  EXPECT_EQ(RawPixels(picture), Bytes({1, 2, 3, 0})) << "same rule as every saver's conversion";
  EXPECT_EQ(picture.Mode(), MODE_BGRA8888);
}

// With alpha not activated the alpha is ignored: after the fix stage has
// zeroed it, a save into a layout without alpha keeps every colour even
// with "Alpha=0 to Pink" on. With alpha activated that rule still applies.
TEST(BitmapConvert, IgnoredAlphaNeverTurnsPinkOnAlphaLoss) {
  const Bytes rgba = {10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255};
  struct Case {
    uint32_t activated, destination;
    Bytes expected;
  };
  const Case cases[] = {
      {0, MODE_RGB888, {10, 20, 30, 40, 50, 60, 70, 80, 90}},
      {0, MODE_BGR888, {30, 20, 10, 60, 50, 40, 90, 80, 70}},
      {0, MODE_GRAY_8BIT, {20, 50, 80}},
      {1, MODE_RGB888, {255, 0, 255, 40, 50, 60, 70, 80, 90}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    BitmapData picture;
    picture.settings.alpha_zero_to_pink = 1;
    picture.settings.pink_to_alpha_zero = 1;
    picture.settings.alpha_activated = c.activated;
    MakePicture(picture, 3, 1, MODE_RGBA8888, rgba);
    ASSERT_EQ(picture.RemoveAlpha(), 1);
    ASSERT_EQ(picture.BitmapConvertToMode(c.destination, 0), 1);
    EXPECT_EQ(RawPixels(picture), c.expected);
  }
}

}  // namespace
}  // namespace zepcon::test
