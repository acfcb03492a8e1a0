// Viper Racing textures: the largest mipmap of the chain, found from the
// file size.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/picture_test_util.h"

namespace zepcon::test {
namespace {

// Header, then mipmaps of 4, 8, 16 ... `largest` pixels a side; pixel i of
// the mipmap of side s holds the value s + i.
Bytes Viper(uint32_t largest) {
  Bytes bytes(96, 0);
  for (uint32_t side = 4; side <= largest; side *= 2)
    for (uint32_t i = 0; i < side * side; ++i) bytes.insert(bytes.end(), {uint8_t(side + i), uint8_t((side + i) >> 8)});
  return bytes;
}

TEST(ViperTex, TheLargestMipmapIsRead) {
  const Bytes file = Viper(16);
  ASSERT_EQ(file.size(), 96u + 32 + 128 + 512);
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadViperTex, file), 1) << log.Text();
  EXPECT_TRUE(log.Contains(" calculated biggest mip size is 16.\n"));
  EXPECT_EQ(picture.Mode(), MODE_RGB555);
  EXPECT_EQ(picture.SizeX(), 16u);
  EXPECT_EQ(picture.SizeY(), 16u);
  EXPECT_EQ(RawPixels(picture), Bytes(file.begin() + 256, file.end())) << "read from position 256";
  for (uint32_t side : {4u, 8u, 64u}) {
    BitmapData other;
    ASSERT_EQ(LoadFromBytes(other, LoadViperTex, Viper(side)), 1);
    EXPECT_EQ(other.SizeX(), side);
    EXPECT_EQ(RawPixels(other)[0], uint8_t(side));
  }
}

TEST(ViperTex, ShortFilesFail) {
  ExpectRefused(LoadViperTex, Bytes(100, 0), " error reading from file, quitting\n", true);
  Bytes cut = Viper(16);
  cut.resize(cut.size() - 1);  // the 16 x 16 mipmap still starts inside the file
  ExpectRefused(LoadViperTex, cut, " error reading from file, quitting\n", true);
  // Of the shorter files only the one of 128 bytes (a lone 4 x 4) loads.
  EXPECT_EQ(LoadEveryPrefix(LoadViperTex, Viper(8)), 1u);
}

}  // namespace
}  // namespace zepcon::test
