// Windows bitmap loader and saver on hand-made files.
#include <gtest/gtest.h>

#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"
#include "support/test_support.h"

namespace zepcon::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A 54-byte header, an optional palette and `pixel_bytes`.
Bytes MakeBmp(uint32_t width, uint32_t height, uint32_t bits, uint32_t data_offset, const Bytes& palette,
              const Bytes& pixel_bytes) {
  Bytes file(54, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutLe32(file, 10, data_offset);
  PutLe32(file, 14, 40);
  PutLe32(file, 18, width);
  PutLe32(file, 22, height);
  PutLe16(file, 26, 1);
  PutLe16(file, 28, bits);
  file.insert(file.end(), palette.begin(), palette.end());
  file.insert(file.end(), pixel_bytes.begin(), pixel_bytes.end());
  PutLe32(file, 2, static_cast<uint32_t>(file.size()));
  return file;
}

Bytes GrayRampPalette() {
  Bytes palette(1024, 0);
  for (int i = 0; i < 256; ++i) palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<uint8_t>(i);
  return palette;
}

TEST(BmpLoad, TwentyFourBitRowsArePaddedAndStoredBottomUp) {
  // Width 1: 3 bytes of pixel and 1 of padding per row; file row 0 is the bottom.
  const Bytes file = MakeBmp(1, 2, 24, 54, {}, {1, 2, 3, 0xEE, 4, 5, 6, 0xEE});
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
  EXPECT_EQ(picture.Mode(), MODE_BGR888);
  EXPECT_EQ(RgbaPixels(picture), Bytes({6, 5, 4, 255, 3, 2, 1, 255}));
}

TEST(BmpLoad, ThirtyTwoBitRowsHaveNoPaddingAndKeepAlpha) {
  const Bytes file = MakeBmp(1, 2, 32, 54, {}, {1, 2, 3, 4, 5, 6, 7, 8});
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
  EXPECT_EQ(picture.Mode(), MODE_BGRA8888);
  EXPECT_EQ(RgbaPixels(picture), Bytes({7, 6, 5, 8, 3, 2, 1, 4}));

  // Alpha bytes that are zero everywhere mean "no alpha", not "invisible".
  const Bytes unused_alpha = MakeBmp(1, 2, 32, 54, {}, {1, 2, 3, 0, 5, 6, 7, 0});
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, unused_alpha), 1);
  EXPECT_EQ(RgbaPixels(picture), Bytes({7, 6, 5, 255, 3, 2, 1, 255}));
}

TEST(BmpLoad, EightBitPaletteIsBlueGreenRedAndOpaque) {
  Bytes palette(1024, 0);
  palette[4 * 7 + 0] = 30;  // blue
  palette[4 * 7 + 1] = 20;  // green
  palette[4 * 7 + 2] = 10;  // red
  palette[4 * 7 + 3] = 99;  // reserved, not alpha
  const Bytes file = MakeBmp(2, 1, 8, 1078, palette, {7, 0, 0xEE, 0xEE});
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(RgbaPixels(picture), Bytes({10, 20, 30, 255, 0, 0, 0, 255}));
}

TEST(BmpLoad, RefusalsSayWhy) {
  struct Case {
    Bytes file;
    const char* message;
  };
  Bytes compressed = MakeBmp(1, 1, 24, 54, {}, {1, 2, 3, 0});
  PutLe32(compressed, 30, 1);
  const Case cases[] = {
      // The palette would end past the data offset.
      {MakeBmp(1, 1, 8, 1000, GrayRampPalette(), {0, 0, 0, 0}), "sorry, unknown bitmap representation\n"},
      {MakeBmp(1, 1, 16, 54, {}, {0, 0, 0, 0}), "sorry, unknown bitmap representation\n"},
      {MakeBmp(21846, 1, 8, 1078, GrayRampPalette(), {}), "sizeX too large, max 21845\n"},
      {MakeBmp(1, 21846, 8, 1078, GrayRampPalette(), {}), "sizeY too large, max 21845\n"},
      {compressed, "sorry, compressed bitmaps not supported\n"},
      {MakeBmp(0, 5, 24, 54, {}, {}), "empty picture"},
      {Bytes(20, 0), "too short for its header"},
  };
  for (const Case& c : cases) {
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(picture, LoadBmp, c.file), 0) << c.message;
    EXPECT_TRUE(log.Contains(c.message)) << c.message << " not in:\n" << log.Text();
  }
}

TEST(BmpLoad, WidestRowsLoadThroughPieces) {
  // 21,845 pixels of 8 bits is the widest width; of 24 bits its row with
  // padding (65,536 bytes) is longer than the line buffer.
  {
    Bytes pixels(21848, 0);
    pixels[21844] = 9;
    const Bytes file = MakeBmp(21845, 1, 8, 1078, GrayRampPalette(), pixels);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
    uint8_t last = 0;
    ASSERT_EQ(picture.GetPixels(21844, 1, &last), 1);
    EXPECT_EQ(last, 9);
  }
  {
    Bytes pixels(65536 * 2, 0);
    pixels[65532] = 0x11;  // last pixel of the bottom row (file row 0)
    pixels[65536] = 0x22;  // first pixel of the top row
    const Bytes file = MakeBmp(21845, 2, 24, 54, {}, pixels);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
    uint8_t pixel[3];
    ASSERT_EQ(picture.GetPixels(0, 1, pixel), 1);
    EXPECT_EQ(pixel[0], 0x22);
    ASSERT_EQ(picture.GetPixels(2 * 21845 - 1, 1, pixel), 1);
    EXPECT_EQ(pixel[0], 0x11);
  }
  {
    Bytes pixels(20000 * 4, 0);
    pixels[19999 * 4 + 3] = 0x7F;
    const Bytes file = MakeBmp(20000, 1, 32, 54, {}, pixels);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    ASSERT_EQ(LoadFromBytes(picture, LoadBmp, file), 1);
    uint8_t pixel[4];
    ASSERT_EQ(picture.GetPixels(19999, 1, pixel), 1);
    EXPECT_EQ(pixel[3], 0x7F);
  }
}

TEST(BmpLoad, CutFilesFailInsteadOfKeepingStaleBytes) {
  Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  const Bytes whole = MakeBmp(1, 3, 24, 54, {}, rows);
  // Only the last row's padding missing: every pixel is there.
  {
    Bytes cut(whole.begin(), whole.end() - 1);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    ASSERT_EQ(LoadFromBytes(picture, LoadBmp, cut), 1);
    EXPECT_EQ(RgbaPixels(picture)[0], 9);
  }
  // A pixel byte missing.
  {
    Bytes cut(whole.begin(), whole.end() - 2);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(picture, LoadBmp, cut), 0);
    EXPECT_TRUE(log.Contains("cut short")) << log.Text();
  }
  // A header claiming a huge picture over a small file allocates nothing.
  {
    const Bytes huge = MakeBmp(21845, 21845, 32, 54, {}, rows);
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(picture, LoadBmp, huge), 0);
    EXPECT_TRUE(log.Contains("cut short")) << log.Text();
    EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
  }
}

TEST(BmpSave, ModesChooseTheBitDepthAndHeaderIsComplete) {
  struct Case {
    uint32_t mode;
    Bytes pixels;
    uint32_t bits;
  };
  const Case cases[] = {
      {MODE_RGB888, {1, 2, 3}, 24},
      {MODE_GRAY_8BIT, {9}, 32},
      {MODE_PALETTE_8BIT, {5}, 8},
      {MODE_RGBA5551, {0, 0}, 32},
  };
  for (const Case& c : cases) {
    BitmapData picture;
    MakePicture(picture, 1, 1, c.mode, c.pixels);
    const Bytes file = SaveToBytes(picture, SaveBmp);
    ASSERT_GE(file.size(), 54u) << c.mode;
    const uint32_t data_offset = c.bits == 8 ? 1078 : 54;
    const uint32_t row_bytes = 4;  // one pixel of 1, 3 or 4 bytes, padded
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[28], c.bits) << c.mode;
    EXPECT_EQ(file[10] | (file[11] << 8), static_cast<int>(data_offset));
    EXPECT_EQ(file.size(), data_offset + row_bytes);
    EXPECT_EQ(file[2] | (file[3] << 8), static_cast<int>(file.size()));
    EXPECT_EQ(file[34], row_bytes);
    EXPECT_EQ(file[14], 40);
    EXPECT_EQ(file[26], 1);
  }
}

TEST(BmpSave, RoundTripsEveryWrittenDepth) {
  BitmapData rgb;
  NeutralSettings(rgb);
  Bytes pixels;
  for (int i = 0; i < 5 * 3 * 3; ++i) pixels.push_back(static_cast<uint8_t>(i * 5));
  MakePicture(rgb, 5, 3, MODE_RGB888, pixels);
  const Bytes file = SaveToBytes(rgb, SaveBmp);
  EXPECT_EQ(file.size(), 54u + 16 * 3) << "rows of 15 bytes padded to 16";
  BitmapData back;
  ASSERT_EQ(back.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(back, LoadBmp, file), 1);
  EXPECT_EQ(RgbaPixels(back), RgbaPixels(rgb));

  BitmapData rgba;
  NeutralSettings(rgba);
  MakePicture(rgba, 2, 2, MODE_RGBA8888, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const Bytes file32 = SaveToBytes(rgba, SaveBmp);
  BitmapData back32;
  ASSERT_EQ(back32.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(back32, LoadBmp, file32), 1);
  EXPECT_EQ(RgbaPixels(back32), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));

  BitmapData paletted;
  MakePicture(paletted, 3, 1, MODE_PALETTE_8BIT, {0, 1, 2});
  paletted.SetPaletteEntry(0, 10, 20, 30);
  paletted.SetPaletteEntry(1, 40, 50, 60);
  paletted.SetPaletteEntry(2, 70, 80, 90);
  const Bytes file8 = SaveToBytes(paletted, SaveBmp);
  BitmapData back8;
  ASSERT_EQ(back8.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(back8, LoadBmp, file8), 1);
  EXPECT_EQ(back8.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(RgbaPixels(back8), Bytes({10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255}));
}

}  // namespace
}  // namespace zepcon::test
