// Etherlords 2 pictures: gray and alpha or RGBA pixels behind a 76-byte
// header, unknown types and short files refused.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Mmp(uint32_t width, uint32_t height, uint32_t type, const Bytes& data) {
  Bytes bytes(76, 0);
  bytes[0] = 'M';
  bytes[1] = 'M';
  bytes[2] = 'P';
  PutLe32(bytes, 4, width);
  PutLe32(bytes, 8, height);
  PutLe32(bytes, 16, type);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

TEST(Mmp, BothPixelTypesLoadInTheirLayouts) {
  struct Case {
    uint32_t type, mode;
    Bytes data;
    const char* log;
  };
  const Case cases[] = {
      {0x5650, MODE_GRAY_ALPHA_88, {1, 2, 3, 4, 5, 6, 7, 8}, "size 2 x 2 ...GA\n"},
      {0x8888, MODE_RGBA8888, Bytes(16, 7), "size 2 x 2 ...RGBA\n"},
  };
  for (const Case& c : cases) {
    BitmapData picture;
    LogCapture log;
    Bytes file = Mmp(2, 2, c.type, c.data);
    file.insert(file.end(), {0, 0, 0});
    ASSERT_EQ(LoadFromBytes(picture, LoadMmp, file), 1) << log.Text();
    EXPECT_TRUE(log.Contains(c.log)) << log.Text();
    EXPECT_TRUE(log.Contains("(3) bytes left\n"));
    EXPECT_EQ(picture.Mode(), c.mode);
    EXPECT_EQ(RawPixels(picture), c.data);
  }
}

TEST(Mmp, UnknownTypesShortAndHostileFilesAreRefused) {
  ExpectRefused(LoadMmp, Mmp(2, 2, 0x1234, Bytes(16, 0)), "Unknown type 00001234 !\n", true);
  ExpectRefused(LoadMmp, Mmp(0xFFFFFFFF, 0xFFFFFFFF, 0x8888, Bytes(16, 0)), "file too short", true);
  ExpectRefused(LoadMmp, Mmp(0, 2, 0x8888, {}), "no pixels", true);
  EXPECT_EQ(LoadEveryPrefix(LoadMmp, Mmp(3, 2, 0x5650, Bytes(12, 0x40))), 0u);
}

}  // namespace
}  // namespace zepcon::test
