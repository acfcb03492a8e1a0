// Targa loader and saver on hand-made files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"
#include "support/test_support.h"

namespace zepcon::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct TgaSpec {
  uint8_t image_type = 2;
  uint8_t map_type = 0;
  uint16_t map_first = 0;
  uint16_t map_length = 0;
  uint8_t map_bits = 0;
  uint16_t width = 1;
  uint16_t height = 1;
  uint8_t depth = 24;
  uint8_t descriptor = 0;
  Bytes ident;
};

Bytes MakeTga(const TgaSpec& spec, const Bytes& map, const Bytes& data) {
  Bytes file(18, 0);
  file[0] = static_cast<uint8_t>(spec.ident.size());
  file[1] = spec.map_type;
  file[2] = spec.image_type;
  PutLe16(file, 3, spec.map_first);
  PutLe16(file, 5, spec.map_length);
  file[7] = spec.map_bits;
  PutLe16(file, 12, spec.width);
  PutLe16(file, 14, spec.height);
  file[16] = spec.depth;
  file[17] = spec.descriptor;
  file.insert(file.end(), spec.ident.begin(), spec.ident.end());
  file.insert(file.end(), map.begin(), map.end());
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

Bytes LoadRgba(const Bytes& file, int expected_result = 1, LogCapture* log = nullptr) {
  BitmapData picture;
  EXPECT_EQ(picture.InitData(), 1);
  const int result = LoadFromBytes(picture, LoadTga, file);
  EXPECT_EQ(result, expected_result) << (log ? log->Text() : "");
  if (result != 1) return {};
  return RgbaPixels(picture);
}

TEST(TgaLoad, BothRowOrdersGiveTheSamePicture) {
  TgaSpec top;
  top.width = 2;
  top.height = 2;
  top.descriptor = 0x20;
  TgaSpec bottom = top;
  bottom.descriptor = 0x00;
  const Bytes top_rows = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  const Bytes bottom_rows = {3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2};
  const Bytes a = LoadRgba(MakeTga(top, {}, top_rows));
  EXPECT_EQ(a, LoadRgba(MakeTga(bottom, {}, bottom_rows)));
  ASSERT_EQ(a.size(), 16u);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[12], 4);
}

TEST(TgaLoad, RunLengthPacketsRepeatOrCopyAndMayCrossRows) {
  TgaSpec spec;
  spec.image_type = 10;
  spec.width = 4;
  spec.height = 1;
  spec.descriptor = 0x20;
  // 0x83: one pixel repeated four times.
  EXPECT_EQ(LoadRgba(MakeTga(spec, {}, {0x83, 30, 20, 10})),
            Bytes({10, 20, 30, 255, 10, 20, 30, 255, 10, 20, 30, 255, 10, 20, 30, 255}));
  // Bottom-up, 3 x 2: a repeat packet crossing the row end continues in
  // the row above, not past the end of the bottom row.
  spec.width = 3;
  spec.height = 2;
  spec.descriptor = 0;
  spec.image_type = 11;
  spec.depth = 8;
  const Bytes gray = LoadRgba(MakeTga(spec, {}, {0x01, 5, 6, 0x83, 7}));
  ASSERT_EQ(gray.size(), 24u);
  const uint8_t expected[6] = {7, 7, 7, 5, 6, 7};  // top row, then bottom row
  for (int i = 0; i < 6; ++i) EXPECT_EQ(gray[4 * i], expected[i]) << i;
}

TEST(TgaLoad, ColourMapsBecomeThePaletteAtTheirFirstIndex) {
  TgaSpec spec;
  spec.image_type = 1;
  spec.map_type = 1;
  spec.map_first = 2;
  spec.map_length = 2;
  spec.map_bits = 24;
  spec.width = 2;
  spec.depth = 8;
  spec.descriptor = 0x20;
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadTga, MakeTga(spec, {30, 20, 10, 60, 50, 40}, {2, 3})), 1);
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(RgbaPixels(picture), Bytes({10, 20, 30, 255, 40, 50, 60, 255}));

  // 16-bit entries are bGrA5551: bit 15 set is transparent.
  spec.map_first = 0;
  spec.map_bits = 16;
  EXPECT_EQ(LoadRgba(MakeTga(spec, {0x00, 0x7C, 0x1F, 0x80}, {0, 1})), Bytes({248, 0, 0, 255, 0, 0, 248, 0}));
  // 15-bit entries have no transparency bit.
  spec.map_bits = 15;
  EXPECT_EQ(LoadRgba(MakeTga(spec, {0x00, 0x7C, 0x1F, 0x80}, {0, 1})), Bytes({248, 0, 0, 255, 0, 0, 248, 255}));
}

TEST(TgaLoad, TrueColourAfterAColourMapAndGrayWithAlpha) {
  // A colour map in front of true-colour pixels is skipped.
  TgaSpec spec;
  spec.map_type = 1;
  spec.map_length = 2;
  spec.map_bits = 24;
  EXPECT_EQ(LoadRgba(MakeTga(spec, {9, 9, 9, 8, 8, 8}, {3, 2, 1})), Bytes({1, 2, 3, 255}));
  // Gray of 16 bits is gray and alpha.
  TgaSpec gray;
  gray.image_type = 3;
  gray.depth = 16;
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadTga, MakeTga(gray, {}, {70, 128})), 1);
  EXPECT_EQ(picture.Mode(), MODE_GRAY_ALPHA_88);
  EXPECT_EQ(RgbaPixels(picture), Bytes({70, 70, 70, 128}));
}

TEST(TgaLoad, IdentIsLoggedAndInterleavingOnlyWarned) {
  TgaSpec spec;
  spec.ident = {'h', 'e', 'l', 'l', 'o'};
  spec.descriptor = 0x60;
  LogCapture log;
  EXPECT_EQ(LoadRgba(MakeTga(spec, {}, {3, 2, 1}), 1, &log), Bytes({1, 2, 3, 255}));
  EXPECT_TRUE(log.Contains("Ident found: (hello)\n"));
  EXPECT_TRUE(log.Contains(" Some kind of interleaving detected (1).. loader cannot handle it, but will try anyhow\n"));
}

TEST(TgaLoad, RightToLeftRowsAreMirrored) {
  TgaSpec spec;
  spec.width = 2;
  spec.descriptor = 0x30;
  EXPECT_EQ(LoadRgba(MakeTga(spec, {}, {1, 1, 1, 2, 2, 2})), Bytes({2, 2, 2, 255, 1, 1, 1, 255}));
}

TEST(TgaLoad, RefusalsSayWhy) {
  struct Case {
    TgaSpec spec;
    Bytes data;
    const char* message;
  };
  TgaSpec bad_type;
  bad_type.image_type = 32;
  TgaSpec map_type_2;
  map_type_2.map_type = 2;
  TgaSpec depth_12;
  depth_12.depth = 12;
  TgaSpec map_bits_8;
  map_bits_8.image_type = 1;
  map_bits_8.map_type = 1;
  map_bits_8.map_length = 1;
  map_bits_8.map_bits = 8;
  map_bits_8.depth = 8;
  TgaSpec empty;
  empty.width = 0;
  TgaSpec huge;
  huge.width = 65535;
  huge.height = 65535;
  huge.image_type = 10;
  const Case cases[] = {
      {bad_type, {1, 2, 3}, " Bad image type (32), maybe compressed ?"},
      {map_type_2, {1, 2, 3}, "colour-map type 2"},
      {depth_12, {1, 2, 3}, "Unsupported bit depth (12)\n"},
      {map_bits_8, {9, 0}, "Unsupported bit depth (8)\n"},
      {empty, {}, "empty picture"},
      {huge, {0xFF, 1, 2, 3}, "cut short"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    LoadRgba(MakeTga(c.spec, {}, c.data), 0);
    EXPECT_TRUE(log.Contains(c.message)) << c.message << " not in:\n" << log.Text();
  }
}

TEST(TgaLoad, ShortRunLengthDataFailsWithTheReadingError) {
  TgaSpec spec;
  spec.image_type = 10;
  spec.width = 200;
  spec.height = 2;
  // Enough bytes to pass the size check, but the packets stop early.
  Bytes data;
  for (int i = 0; i < 5; ++i) data.insert(data.end(), {0x00, 1, 2, 3});
  LogCapture log;
  LoadRgba(MakeTga(spec, {}, data), 0);
  EXPECT_TRUE(log.Contains("Some error occured while reading\n"));
}

TEST(TgaSave, HeaderDataAndFooter) {
  BitmapData picture;
  MakePicture(picture, 2, 1, MODE_RGB888, {1, 2, 3, 4, 5, 6});
  const Bytes file = SaveToBytes(picture, SaveTga);
  ASSERT_EQ(file.size(), 18u + 6 + 26);
  EXPECT_EQ(file[2], 2);
  EXPECT_EQ(file[12], 2);
  EXPECT_EQ(file[14], 1);
  EXPECT_EQ(file[16], 24);
  EXPECT_EQ(file[17], 0x20);
  EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 24), Bytes({3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(std::memcmp(file.data() + 24 + 8, "TRUEVISION-XFILE.", 18), 0);

  BitmapData gray;
  MakePicture(gray, 1, 1, MODE_GRAY_8BIT, {77});
  const Bytes gray_file = SaveToBytes(gray, SaveTga);
  ASSERT_EQ(gray_file.size(), 18u + 1 + 26);
  EXPECT_EQ(gray_file[2], 3);
  EXPECT_EQ(gray_file[16], 8);
  EXPECT_EQ(gray_file[18], 77);

  BitmapData five_five_five;
  NeutralSettings(five_five_five);
  MakePicture(five_five_five, 1, 1, MODE_RGBA5551, {0x1F, 0x80});
  const Bytes rgba_file = SaveToBytes(five_five_five, SaveTga);
  ASSERT_EQ(rgba_file.size(), 18u + 4 + 26);
  EXPECT_EQ(rgba_file[16], 32);
  EXPECT_EQ(Bytes(rgba_file.begin() + 18, rgba_file.begin() + 22), Bytes({0, 0, 248, 0}));
}

TEST(TgaSave, SizesBeyondSixteenBitsAreRefused) {
  BitmapData picture;
  MakePicture(picture, 65536, 1, MODE_GRAY_8BIT, Bytes(65536, 1));
  LogCapture log;
  int result = -1;
  SaveToBytes(picture, SaveTga, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(log.Contains("too large")) << log.Text();
}

}  // namespace
}  // namespace zepcon::test
