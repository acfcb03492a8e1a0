// Windows bitmap loader and saver on hand-made files: the refusals and
// row-size edges real files lack (ordinary files are compared against
// ImageMagick in picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

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

TEST(BmpLoad, RefusalsSayWhy) {
  const Bytes palette(1024, 0);
  const Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};  // 1 x 3, 24 bits
  Bytes compressed = MakeBmp(1, 1, 24, 54, {}, {1, 2, 3, 0});
  PutLe32(compressed, 30, 1);
  const Bytes cut = MakeBmp(1, 3, 24, 54, {}, rows);
  // The padding of the last row may be missing: every pixel is there.
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, Bytes(cut.begin(), cut.end() - 1)), 1);
  EXPECT_EQ(RgbaPixels(picture)[0], 9);
  struct Case {
    Bytes file;
    const char* message;
    bool unallocated;
  };
  const Case cases[] = {
      // The palette would end past the data offset.
      {MakeBmp(1, 1, 8, 1000, palette, {0, 0, 0, 0}), "sorry, unknown bitmap representation\n", true},
      {MakeBmp(1, 1, 16, 54, {}, {0, 0, 0, 0}), "sorry, unknown bitmap representation\n", true},
      {MakeBmp(21846, 1, 8, 1078, palette, {}), "sizeX too large, max 21845\n", true},
      {MakeBmp(1, 21846, 8, 1078, palette, {}), "sizeY too large, max 21845\n", true},
      {compressed, "sorry, compressed bitmaps not supported\n", true},
      {MakeBmp(0, 5, 24, 54, {}, {}), "empty picture", true},
      {Bytes(20, 0), "too short for its header", true},
      {Bytes(cut.begin(), cut.end() - 2), "cut short", false},  // a pixel byte missing
      {MakeBmp(21845, 21845, 32, 54, {}, rows), "cut short", true},
  };
  for (const Case& c : cases) ExpectRefused(LoadBmp, c.file, c.message, c.unallocated);
}

// 21,845 pixels of 8 bits is the widest width; of 24 bits its row with
// padding (65,536 bytes) is longer than the line buffer.
TEST(BmpLoad, WidestRowsLoadThroughPieces) {
  struct Case {
    uint32_t width, height, bits;
    size_t file_byte;   // set to 0x7F in the pixel data
    uint32_t pixel;     // where it must land
    uint32_t channel;   // and in which byte of the pixel
  };
  const Case cases[] = {
      {21845, 1, 8, 21844, 21844, 0},
      {21845, 2, 24, 65532, 2 * 21845 - 1, 0},  // last pixel of the bottom row (file row 0)
      {21845, 2, 24, 65536, 0, 0},              // first pixel of the top row
      {20000, 1, 32, 19999 * 4 + 3, 19999, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_byte);
    const uint32_t row = (c.width * c.bits / 8 + 3) / 4 * 4;
    Bytes pixels(size_t{row} * c.height, 0);
    pixels[c.file_byte] = 0x7F;
    BitmapData picture;
    ASSERT_EQ(LoadFromBytes(picture, LoadBmp, MakeBmp(c.width, c.height, c.bits, c.bits == 8 ? 1078 : 54,
                                                      c.bits == 8 ? Bytes(1024, 0) : Bytes{}, pixels)),
              1);
    uint8_t pixel[4] = {};
    ASSERT_EQ(picture.GetPixels(c.pixel, 1, pixel), 1);
    EXPECT_EQ(pixel[c.channel], 0x7F);
  }
}

// One pixel of 1, 3 or 4 bytes, padded to a row of 4; loaded back, the
// pixels are the same.
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
      {MODE_RGBA5551, {0x1F, 0x00}, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    BitmapData picture, back;
    NeutralSettings(picture);
    MakePicture(picture, 1, 1, c.mode, c.pixels);
    picture.SetPaletteEntry(5, 10, 20, 30);
    const Bytes file = SaveToBytes(picture, SaveBmp);
    ASSERT_GE(file.size(), 54u);
    const uint32_t data_offset = c.bits == 8 ? 1078 : 54;
    EXPECT_EQ(file.size(), data_offset + 4);
    // Magic, file size, data offset, header size, planes, bits, data size.
    EXPECT_EQ((std::vector<uint32_t>{file[0], file[1], GetLe32(file, 2), GetLe32(file, 10), GetLe32(file, 14), file[26],
                                     file[28], GetLe32(file, 34)}),
              (std::vector<uint32_t>{'B', 'M', data_offset + 4, data_offset, 40, 1, c.bits, 4}));
    ASSERT_EQ(LoadFromBytes(back, LoadBmp, file), 1);
    EXPECT_EQ(RgbaPixels(back), RgbaPixels(picture));
  }
}

}  // namespace
}  // namespace zepcon::test
