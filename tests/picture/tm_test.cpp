// Megaman Legends pictures: the row length from the block behind the
// header, two 4-bit gray levels a byte, whole rows only.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

// Header "TM", position p = 8, the block at 24 with `row_bytes`, then data.
Bytes Tm(uint8_t row_bytes, const Bytes& data) {
  Bytes bytes(36, 0);
  bytes[0] = 'T';
  bytes[1] = 'M';
  PutLe32(bytes, 16, 8);
  bytes[24 + 1] = row_bytes;
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

TEST(Tm, NibblesBecomeGrayLevelsLowFirst) {
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadTm, Tm(2, {0xF0, 0x21, 0x03, 0x40, 0x77})), 1) << log.Text();
  EXPECT_TRUE(log.Contains("  size 2 x 2\n"));
  EXPECT_TRUE(log.Contains("...Megaman TM loaded\n"));
  EXPECT_EQ(picture.Mode(), MODE_RGB888);
  EXPECT_EQ(picture.SizeX(), 4u);
  EXPECT_EQ(picture.SizeY(), 2u) << "the last, partial row is left out";
  const Bytes expected_levels = {0, 15, 1, 2, 3, 0, 0, 4};
  Bytes expected;
  for (uint8_t level : expected_levels) expected.insert(expected.end(), 3, static_cast<uint8_t>(17 * level));
  EXPECT_EQ(RawPixels(picture), expected);
}

TEST(Tm, RowBytes64Give128PixelsAndBadFilesFail) {
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadTm, Tm(64, Bytes(64 * 3, 0x11))), 1);
  EXPECT_EQ(picture.SizeX(), 128u);
  EXPECT_EQ(picture.SizeY(), 3u);
  Bytes far = Tm(2, {1, 2});
  PutLe32(far, 16, 0xFFFFFFF0u);
  ExpectRefused(LoadTm, far, "picture block passes the end", true);
  ExpectRefused(LoadTm, Tm(0, {1, 2}), "no rows", true);
  ExpectRefused(LoadTm, Tm(4, {1, 2}), "no rows", true);
  // Files of one or two whole rows load (39 to 44 bytes).
  EXPECT_EQ(LoadEveryPrefix(LoadTm, Tm(3, Bytes(9, 0x5A))), 6u);
}

}  // namespace
}  // namespace zepcon::test
