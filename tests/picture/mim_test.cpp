// FF8 map pictures: the first 256 colours of the palette area and rows of
// 1,664 indices to the end of the file.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Mim(uint32_t rows, size_t tail = 0) {
  Bytes bytes(8192, 0xAA);  // colours beyond the first 256 are not used
  for (uint32_t i = 0; i < 256; ++i) PutLe16(bytes, 2 * i, (i & 31) | ((i >> 3) << 5) | 0x8000);
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t x = 0; x < 1664; ++x) bytes.push_back(static_cast<uint8_t>(x + r));
  bytes.insert(bytes.end(), tail, 9);
  return bytes;
}

TEST(Mim, RowsOf1664IndicesWithTheFirstPalette) {
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadMim, Mim(3, 100)), 1) << log.Text();
  EXPECT_TRUE(log.Contains(" predicted size: 1664 x 3\n"));
  EXPECT_TRUE(log.Contains("...tim loaded\n"));
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(picture.SizeX(), 1664u);
  EXPECT_EQ(picture.SizeY(), 3u);
  const Bytes indices = RawPixels(picture);
  EXPECT_EQ(indices[1664 * 2 + 5], 7);
  uint8_t r, g, b, a;
  ASSERT_EQ(picture.GetPaletteEntry(200, r, g, b, a), 1);
  EXPECT_EQ(Bytes({r, g, b, a}), Bytes({8 * (200 & 31), 8 * (25 & 31), 0, 255}));
}

TEST(Mim, FilesWithoutRowsAreRefused) {
  ExpectRefused(LoadMim, Mim(0, 1663), "no rows behind the palettes", true);
  ExpectRefused(LoadMim, Bytes(100, 0), "shorter than its palettes", true);
  // Cut files around each boundary (the palette area, the first row).
  const Bytes whole = Mim(1);
  for (size_t length : {size_t{0}, size_t{1}, size_t{511}, size_t{512}, size_t{8191}, size_t{8192}, whole.size() - 1}) {
    SCOPED_TRACE(length);
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(picture, LoadMim, Bytes(whole.begin(), whole.begin() + length)), 0);
    EXPECT_FALSE(log.ErrorText().empty());
  }
}

}  // namespace
}  // namespace zepcon::test
