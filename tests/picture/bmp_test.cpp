// Windows bitmap loader and saver on hand-made files: the refusals and
// row-size edges real files lack (ordinary files are compared against
// ImageMagick in picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
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
      {MakeBmp(1, 1, 2, 54, {}, {0, 0, 0, 0}), "sorry, unknown bitmap representation\n", true},
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

// Any kind of bitmap: a file header, an information header of
// `info_size` bytes (12: the OS/2 core header with 16-bit sizes), masks
// behind a 40-byte header when `masks_after_header`, the palette (entries of
// blue, green, red and, except for core headers, a zero) and the pixels.
struct BmpSpec {
  uint32_t info_size = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint32_t bits = 8;
  uint32_t compression = 0;
  uint32_t colours_used = 0;
  std::vector<uint32_t> masks;  // red, green, blue[, alpha]
  bool masks_after_header = false;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  Bytes pixels;
};

Bytes MakeAnyBmp(const BmpSpec& spec) {
  Bytes file(14 + spec.info_size, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutLe32(file, 14, spec.info_size);
  if (spec.info_size == 12) {
    PutLe16(file, 18, static_cast<uint32_t>(spec.width));
    PutLe16(file, 20, static_cast<uint32_t>(spec.height));
    PutLe16(file, 22, 1);
    PutLe16(file, 24, spec.bits);
  } else {
    PutLe32(file, 18, static_cast<uint32_t>(spec.width));
    PutLe32(file, 22, static_cast<uint32_t>(spec.height));
    PutLe16(file, 26, 1);
    PutLe16(file, 28, spec.bits);
    if (spec.info_size >= 40) {
      PutLe32(file, 30, spec.compression);
      PutLe32(file, 46, spec.colours_used);
    }
    if (!spec.masks_after_header)
      for (size_t c = 0; c < spec.masks.size(); ++c) PutLe32(file, 54 + 4 * c, spec.masks[c]);
  }
  if (spec.masks_after_header) {
    for (const uint32_t mask : spec.masks) {
      file.resize(file.size() + 4);
      PutLe32(file, file.size() - 4, mask);
    }
  }
  for (const uint32_t colour : spec.palette) {
    file.push_back(static_cast<uint8_t>(colour));
    file.push_back(static_cast<uint8_t>(colour >> 8));
    file.push_back(static_cast<uint8_t>(colour >> 16));
    if (spec.info_size != 12) file.push_back(0);
  }
  PutLe32(file, 10, static_cast<uint32_t>(file.size()));
  file.insert(file.end(), spec.pixels.begin(), spec.pixels.end());
  PutLe32(file, 2, static_cast<uint32_t>(file.size()));
  return file;
}

std::vector<uint32_t> Ramp(uint32_t entries) {
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < entries; ++i) palette.push_back(0x10305 * (i + 1) + (i << 20));
  return palette;
}

// The kinds of bitmap that other programs write besides the saver's own:
// each hand-made file decodes to ImageMagick's pixels.
TEST(BmpLoadKinds, DecodeLikeMagick) {
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick not installed";
  struct Case {
    const char* what;
    BmpSpec spec;
  };
  const Case cases[] = {
      {"1 bit, bottom up", {40, 10, 3, 1, 0, 2, {}, false, {0xFF0000, 0x00FF80},
                            {0xA5, 0xC0, 0, 0, 0x5A, 0x40, 0, 0, 0xFF, 0x00, 0, 0}}},
      {"4 bits, top down", {40, 5, -2, 4, 0, 0, {}, false, Ramp(16), {0x01, 0x23, 0x40, 0, 0xFE, 0xDC, 0xB0, 0}}},
      {"8 bits, short palette", {40, 3, 2, 8, 0, 3, {}, false, Ramp(3), {0, 1, 2, 0, 2, 2, 1, 0}}},
      {"OS/2 core header, 8 bits", {12, 3, 2, 8, 0, 0, {}, false, Ramp(256), {0, 100, 255, 0, 7, 8, 9, 0}}},
      {"OS/2 core header, 24 bits", {12, 2, 2, 24, 0, 0, {}, false, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}}},
      {"OS/2 2.x header, 24 bits", {64, 2, 1, 24, 0, 0, {}, false, {}, {1, 2, 3, 4, 5, 6, 0, 0}}},
      {"16 bits, 5-5-5", {40, 3, 2, 16, 0, 0, {}, false, {}, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0, 0, 0xFF, 0x7F, 0x21, 0x04, 0x10, 0x42, 0, 0}}},
      {"16 bits, 5-6-5 masks", {40, 3, 1, 16, 3, 0, {0xF800, 0x07E0, 0x001F}, true, {}, {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8, 0, 0}}},
      {"32 bits, masks in a V5 header with alpha", {124, 2, 2, 32, 3, 0, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, false, {},
                                                    {1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 255, 13, 14, 15, 128}}},
      {"32 bits, masks in a V3 header, no alpha", {56, 2, 1, 32, 3, 0, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, false, {},
                                                   {1, 2, 3, 4, 5, 6, 7, 8}}},
      // Runs, a literal of odd length with its pad byte, end of line, a
      // move, a run passing the end of its row, end of picture.
      {"run-length 8", {40, 4, 4, 8, 1, 8, {}, false, Ramp(8),
                        {2, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 6, 7, 0, 1}}},
      // A literal of three values (two bytes, no pad), of five (three bytes
      // and a pad), and a run longer than the rest of the picture.
      {"run-length 4", {40, 5, 3, 4, 2, 0, {}, false, Ramp(16),
                        {0, 3, 0x12, 0x30, 0, 0, 0, 5, 0x45, 0x67, 0x80, 0, 0, 0, 20, 0x9A, 0, 1}}},
      {"run-length 8, top rows left out", {40, 3, 3, 8, 1, 4, {}, false, Ramp(4), {3, 1, 0, 1}}},
  };
  TempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = MakeAnyBmp(c.spec);
    // ImageMagick wants run-length data at least as long as the unpacked
    // rows; what follows the end-of-picture mark is read by nobody.
    const uint32_t height = static_cast<uint32_t>(std::abs(c.spec.height));
    if (c.spec.compression == 1 || c.spec.compression == 2)
      file.resize(file.size() + size_t{(static_cast<uint32_t>(c.spec.width) + 3) / 4 * 4} * height, 0);
    PutLe32(file, 2, static_cast<uint32_t>(file.size()));
    const std::string path = temp.File("kind.bmp");
    WriteBytes(path, file);
    const MagickPicture magick = MagickRead(path);
    BitmapData picture;
    LogCapture log;
    EXPECT_TRUE(magick.ok) << "ImageMagick cannot read it";
    EXPECT_EQ(LoadFromBytes(picture, LoadBmp, file), 1) << log.ErrorText();
    if (!magick.ok || picture.SizeX() != magick.width || picture.SizeY() != magick.height) {
      ADD_FAILURE() << "sizes differ";
      continue;
    }
    EXPECT_EQ(RgbaPixels(picture), magick.rgba);
  }
}

// Fields narrower than 5 bits are widened by repeating their bits, so the
// largest value of any width is full intensity; transparent pixels keep
// their alpha, and a mask that is not one run of bits is refused.
TEST(BmpLoadKinds, MaskFieldsOfAnyWidth) {
  BmpSpec spec{108, 2, 1, 16, 3, 0, {0x0F00, 0x00F0, 0x000F, 0xF000}, false, {}, {0xFF, 0xFF, 0x84, 0x07}};
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, MakeAnyBmp(spec)), 1);
  EXPECT_EQ(picture.Mode(), MODE_BGRA8888);
  EXPECT_EQ(RgbaPixels(picture), (Bytes{255, 255, 255, 255, 0x77, 0x88, 0x44, 0x00}));

  spec.masks = {0x7C00, 0x03E0, 0x001F, 0x8000};  // one bit of alpha
  spec.pixels = {0x00, 0x80, 0xFF, 0x7F};
  ASSERT_EQ(LoadFromBytes(picture, LoadBmp, MakeAnyBmp(spec)), 1);
  EXPECT_EQ(RgbaPixels(picture), (Bytes{0, 0, 0, 255, 255, 255, 255, 0}));

  spec.masks = {0x7C00, 0x03E0, 0x0015, 0};  // blue mask with a gap
  ExpectRefused(LoadBmp, MakeAnyBmp(spec), "sorry, unknown bitmap representation", true);
  spec.masks = {0x7C00, 0x03E0, 0x001F, 0x10000};  // beyond 16 bits
  ExpectRefused(LoadBmp, MakeAnyBmp(spec), "sorry, unknown bitmap representation", true);
}

// Broken variants fail with their reason, and every cut of a run-length
// file fails with one.
TEST(BmpLoadKinds, BrokenVariantsFailWithTheirReason) {
  const BmpSpec rle{40, 4, 4, 8, 1, 8, {}, false, Ramp(8), {2, 5, 0, 0, 4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 1}};
  BmpSpec cut = rle;
  cut.pixels = {2, 5, 0, 0, 4, 1, 0, 0};  // two rows, no end-of-picture mark
  BmpSpec rle_bad_depth = rle;
  rle_bad_depth.bits = 4;  // run-length 8 needs 8 bits
  rle_bad_depth.colours_used = 0;
  BmpSpec embedded = rle;
  embedded.compression = 5;
  BmpSpec two_planes = rle;
  Bytes planes = MakeAnyBmp(two_planes);
  PutLe16(planes, 26, 2);
  BmpSpec core_huge{12, -3, 2, 24, 0, 0, {}, false, {}, Bytes(16, 0)};  // a negative width
  BmpSpec odd_header = rle;
  odd_header.info_size = 66;
  BmpSpec os2_huffman{64, 8, 1, 1, 3, 0, {}, false, {0, 0xFFFFFF}, {0, 0, 0, 0}};
  struct Case {
    Bytes file;
    const char* message;
  };
  const Case cases[] = {
      {MakeAnyBmp(cut), "run-length data end before the last row"},
      {MakeAnyBmp(rle_bad_depth), "sorry, compressed bitmaps not supported"},
      {MakeAnyBmp(embedded), "sorry, compressed bitmaps not supported"},
      {MakeAnyBmp(os2_huffman), "sorry, compressed bitmaps not supported"},
      {planes, "planes"},
      {MakeAnyBmp(core_huge), "sizeX too large"},
      {MakeAnyBmp(odd_header), "sorry, unknown bitmap representation"},
  };
  for (const Case& c : cases) ExpectRefused(LoadBmp, c.file, c.message);
  // The last row ends with the end-of-picture mark: any cut loses it.
  EXPECT_EQ(LoadEveryPrefix(LoadBmp, MakeAnyBmp(rle)), 0u);
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

// Rows of 15 pixel bytes get one byte of padding each, and read back whole.
TEST(BmpSave, RowsArePaddedToFourBytes) {
  BitmapData picture, back;
  NeutralSettings(picture);
  Bytes pixels(5 * 2 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(10 + i);
  MakePicture(picture, 5, 2, MODE_RGB888, pixels);
  const Bytes file = SaveToBytes(picture, SaveBmp);
  EXPECT_EQ(file.size(), 54u + 2 * 16);
  ASSERT_EQ(LoadFromBytes(back, LoadBmp, file), 1);
  EXPECT_EQ(RgbaPixels(back), RgbaPixels(picture));
}

}  // namespace
}  // namespace zepcon::test
