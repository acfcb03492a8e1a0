// TIM pictures: indexed pictures with colour 0 pink, direct colours of 16
// and 24 bits, every real file against ImageMagick, damaged and hostile
// files.
#include <gtest/gtest.h>

#include <string>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "game_picture_test_util.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

void AddBlock(Bytes& bytes, uint32_t width_units, uint32_t height, const Bytes& data) {
  Bytes head(12, 0);
  PutLe32(head, 0, 12 + static_cast<uint32_t>(data.size()));
  PutLe16(head, 8, width_units);
  PutLe16(head, 10, height);
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), data.begin(), data.end());
}

// A TIM of pixel mode `mode`; a colour table of `colours` 16-bit colours
// when not empty.
Bytes Tim(uint32_t mode, const Bytes& colours, uint32_t width_units, uint32_t height, const Bytes& data) {
  Bytes bytes(8, 0);
  PutLe32(bytes, 0, 0x10);
  PutLe32(bytes, 4, mode | (colours.empty() ? 0 : 8));
  if (!colours.empty()) AddBlock(bytes, static_cast<uint32_t>(colours.size() / 2), 1, colours);
  AddBlock(bytes, width_units, height, data);
  return bytes;
}

Bytes Colours16(uint32_t count) {
  Bytes colours;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t colour = (i & 31) | ((31 - (i & 31)) << 10);  // red i, blue 31 - i
    colours.insert(colours.end(), {uint8_t(colour), uint8_t(colour >> 8)});
  }
  return colours;
}

TEST(Tim, IndexedPicturesShowColourZeroPink) {
  struct Case {
    const char* what;
    Bytes file;
    uint32_t width;
    Bytes indices;
  };
  const Case cases[] = {
      {"8 bits", Tim(1, Colours16(256), 2, 1, {0, 1, 2, 31}), 4, {0, 1, 2, 31}},
      // Two pixels a byte, the left one low.
      {"4 bits", Tim(0, Colours16(16), 1, 1, {0x10, 0x32}), 4, {0, 1, 2, 3}},
      // A table shorter than the indices: the missing colours are black.
      {"short table", Tim(1, Colours16(2), 1, 1, {1, 200}), 2, {1, 200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadTim, c.file), 1) << log.Text();
    EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
    EXPECT_EQ(picture.SizeX(), c.width);
    EXPECT_EQ(RawPixels(picture), c.indices);
    uint8_t r, g, b, a;
    ASSERT_EQ(picture.GetPaletteEntry(0, r, g, b, a), 1);
    EXPECT_EQ(Bytes({r, g, b, a}), Bytes({255, 0, 255, 255}));
    ASSERT_EQ(picture.GetPaletteEntry(1, r, g, b, a), 1);
    EXPECT_EQ(Bytes({r, g, b, a}), Bytes({8, 0, 240, 255}));
    ASSERT_EQ(picture.GetPaletteEntry(200, r, g, b, a), 1);
    if (c.what == std::string("short table")) { EXPECT_EQ(Bytes({r, g, b, a}), Bytes({0, 0, 0, 255})); }
  }
}

TEST(Tim, DirectColoursKeepTheirLayout) {
  BitmapData sixteen;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(sixteen, LoadTim, Tim(2, {}, 2, 1, {0x1F, 0x00, 0x00, 0xFC})), 1) << log.Text();
  EXPECT_TRUE(log.Contains(" 2 x 1 16bpp\n"));
  EXPECT_EQ(sixteen.Mode(), MODE_RGB555);
  EXPECT_EQ(RgbaPixels(sixteen), Bytes({248, 0, 0, 255, 0, 0, 248, 255}));
  BitmapData twenty_four;
  // Three units hold two pixels of red, green, blue.
  ASSERT_EQ(LoadFromBytes(twenty_four, LoadTim, Tim(3, {}, 3, 1, {1, 2, 3, 4, 5, 6})), 1);
  EXPECT_EQ(twenty_four.Mode(), MODE_RGB888);
  EXPECT_EQ(twenty_four.SizeX(), 2u);
  EXPECT_EQ(RawPixels(twenty_four), Bytes({1, 2, 3, 4, 5, 6}));
}

// Every real TIM gives ImageMagick's pixels: the top five bits of each
// colour (ImageMagick scales 5-bit fields, the conversion shifts them),
// and index 0 pink.
TEST(Tim, RealFilesAgreeWithImageMagick) {
  SKIP_WITHOUT_CORPUS("pictures/tim");
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  const auto files = CorpusFiles("pictures/tim/");
  ASSERT_FALSE(files.empty());
  for (const auto& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string path = (CorpusDir() / entry.path).string();
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromFile(picture, LoadTim, path), 1) << log.Text();
    const MagickPicture magick = MagickRead(path);
    ASSERT_TRUE(magick.ok);
    ASSERT_EQ(picture.SizeX(), magick.width);
    ASSERT_EQ(picture.SizeY(), magick.height);
    const bool indexed = picture.Mode() == MODE_PALETTE_8BIT;
    const bool five_bit = picture.Mode() != MODE_RGB888;
    const Bytes indices = indexed ? RawPixels(picture) : Bytes();
    const Bytes ours = RgbaPixels(picture);
    size_t differing = 0;
    for (size_t i = 0; i < picture.PixelCount(); ++i) {
      const uint8_t* p = &ours[4 * i];
      const uint8_t* m = &magick.rgba[4 * i];
      if (indexed && indices[i] == 0) {
        differing += !(p[0] == 255 && p[1] == 0 && p[2] == 255);
        continue;
      }
      for (int c = 0; c < 3; ++c) differing += five_bit ? (p[c] >> 3) != (m[c] >> 3) : p[c] != m[c];
    }
    EXPECT_EQ(differing, 0u);
  }
}

TEST(Tim, DamagedAndHostileFilesAreRefusedBeforeAllocation) {
  struct Case {
    Bytes file;
    const char* message;
  };
  Bytes foreign = Tim(1, Colours16(256), 1, 1, {1, 2});
  PutLe32(foreign, 0, 0x11);
  Bytes table_too_long = Tim(1, Colours16(4), 1, 1, {1, 2});
  PutLe16(table_too_long, 16, 0xFFFF);
  PutLe16(table_too_long, 18, 0xFFFF);
  const Case cases[] = {
      {foreign, "not a tim picture"},
      {Tim(4, Colours16(4), 1, 1, {1, 2}), "unsupported pixel mode 4"},
      {Tim(1, {}, 1, 1, {1, 2}), "without colour table"},
      {table_too_long, "colour table passes the end"},
      {Tim(2, {}, 0xFFFF, 0xFFFF, {1, 2}), "file too short"},
      {Tim(2, {}, 0, 5, {}), "no pixels"},
      {Tim(3, {}, 1, 1, {1, 2}), "no pixels"},  // one unit holds no whole 24-bit pixel
      {Bytes{0x10, 0, 0, 0, 2}, "shorter than its header"},
  };
  for (const Case& c : cases) ExpectRefused(LoadTim, c.file, c.message, true);
}

TEST(Tim, EveryTruncatedFileLoadsOrFailsWithAReason) {
  EXPECT_EQ(LoadEveryPrefix(LoadTim, Tim(0, Colours16(16), 2, 3, Bytes(12, 0x21))), 0u);
  EXPECT_EQ(LoadEveryPrefix(LoadTim, Tim(2, {}, 2, 2, Bytes(8, 0x21))), 0u);
}

}  // namespace
}  // namespace zepcon::test
