// ZX Spectrum screens: line interleaving, ink and paper with bright,
// screens without attributes, odd sizes, real screens against ImageMagick.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "game_picture_test_util.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

// The first byte of file line 1 and of line 64 set, nothing else.
Bytes TwoLines(size_t size) {
  Bytes bytes(size, 0);
  bytes[1 * 32] = 0x80;
  bytes[64 * 32 + 31] = 0x01;
  return bytes;
}

uint8_t Pixel(const Bytes& indices, uint32_t x, uint32_t y) { return indices[y * 256 + x]; }

TEST(Scr, FileLinesLandOnTheirScreenRows) {
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadScr, TwoLines(6144)), 1);
  EXPECT_TRUE(log.Contains("picture without attribs\n"));
  EXPECT_EQ(picture.SizeX(), 256u);
  EXPECT_EQ(picture.SizeY(), 192u);
  const Bytes indices = RawPixels(picture);
  // White on black: line 1 is row 8, line 64 is row 64.
  EXPECT_EQ(Pixel(indices, 0, 8), 15);
  EXPECT_EQ(Pixel(indices, 255, 64), 15);
  size_t set = 0;
  for (uint8_t index : indices) set += index == 15;
  EXPECT_EQ(set, 2u);
  uint8_t r, g, b;
  ASSERT_EQ(picture.GetPaletteEntry(15, r, g, b), 1);
  EXPECT_EQ(Bytes({r, g, b}), Bytes({255, 255, 255}));
  ASSERT_EQ(picture.GetPaletteEntry(3, r, g, b), 1);
  EXPECT_EQ(Bytes({r, g, b}), Bytes({232, 0, 184}));
}

TEST(Scr, AttributesGiveInkAndPaperOfEachCell) {
  Bytes bytes = TwoLines(6912);
  bytes[6144 + 1 * 32 + 0] = 0x02 | (0x05 << 3);         // cell row 1, column 0: ink 2, paper 5
  bytes[6144 + 8 * 32 + 31] = 0x01 | (0x06 << 3) | 0x40;  // cell row 8, column 31: bright
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadScr, bytes), 1);
  EXPECT_TRUE(log.Contains("picture with attribs\n"));
  const Bytes indices = RawPixels(picture);
  EXPECT_EQ(Pixel(indices, 0, 8), 2);     // set bit: ink
  EXPECT_EQ(Pixel(indices, 1, 8), 5);     // clear bit: paper
  EXPECT_EQ(Pixel(indices, 255, 64), 9);  // bright ink
  EXPECT_EQ(Pixel(indices, 254, 64), 14);
  EXPECT_EQ(Pixel(indices, 0, 0), 0);  // attribute 0: black paper
}

// Short files load what they have (the rest reads as zero); long files
// load their first screen. Both say so.
TEST(Scr, OddSizesLoadAnyhowAndSaySo) {
  const std::tuple<size_t, const char*, uint8_t> cases[] = {
      {0, "file is too small, loading anyhow", 0},
      {100, "file is too small, loading anyhow", 15},
      {8000, "file is too big, loading anyhow", 0},
      {6500, "", 15},  // partial attributes are not used
  };
  for (const auto& [size, message, first_line] : cases) {
    SCOPED_TRACE(size);
    Bytes bytes(size, 0);
    if (size > 0) bytes[0] = 0x80;
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadScr, bytes), 1);
    EXPECT_TRUE(log.Contains(message)) << log.Text();
    if (*message) { EXPECT_FALSE(log.ErrorText().empty()); }
    EXPECT_EQ(RawPixels(picture)[0], first_line);
  }
}

// ImageMagick uses its own colours: each of ours must stand for exactly one
// of its colours and no two of ours (bright black aside) for the same one.
TEST(Scr, RealScreensMatchImageMagickColourForColour) {
  SKIP_WITHOUT_CORPUS("pictures/scr");
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  for (const auto& entry : CorpusFiles("pictures/scr/")) {
    SCOPED_TRACE(entry.path);
    const std::string path = (CorpusDir() / entry.path).string();
    BitmapData picture;
    ASSERT_EQ(LoadFromFile(picture, LoadScr, path), 1);
    const MagickPicture magick = MagickRead(path);
    ASSERT_TRUE(magick.ok);
    ASSERT_EQ(magick.width, 256u);
    ASSERT_EQ(magick.height, 192u);
    const Bytes indices = RawPixels(picture);
    std::map<uint8_t, std::tuple<uint8_t, uint8_t, uint8_t>> theirs;
    size_t conflicts = 0;
    for (size_t i = 0; i < indices.size(); ++i) {
      const uint8_t index = indices[i] == 8 ? 0 : indices[i];
      const auto colour = std::make_tuple(magick.rgba[4 * i], magick.rgba[4 * i + 1], magick.rgba[4 * i + 2]);
      const auto [it, added] = theirs.emplace(index, colour);
      conflicts += !added && it->second != colour;
    }
    EXPECT_EQ(conflicts, 0u);
    std::set<std::tuple<uint8_t, uint8_t, uint8_t>> distinct;
    for (const auto& [index, colour] : theirs) distinct.insert(colour);
    EXPECT_EQ(distinct.size(), theirs.size());
  }
}

}  // namespace
}  // namespace zepcon::test
