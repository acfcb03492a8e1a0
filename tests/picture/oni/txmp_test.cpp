// Oni textures: the five pixel formats and the 4 × 4 blocks by meaning,
// the saver's header from the file name, save and load again, damaged and
// hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/file_stream.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Txmp(uint32_t width, uint32_t height, uint32_t format, const Bytes& data, uint32_t id = 0x1234) {
  Bytes bytes(192, 0);
  PutLe32(bytes, 0, id);
  std::memcpy(bytes.data() + 8, "wall", 4);
  PutLe16(bytes, 140, width);
  PutLe16(bytes, 142, height);
  PutLe32(bytes, 144, format);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

Bytes Le16(std::initializer_list<uint16_t> values) {
  Bytes bytes;
  for (uint16_t v : values) bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
  return bytes;
}

// A block of colours c0, c1 and the 16 codes given row by row.
Bytes Block(uint16_t c0, uint16_t c1, const uint8_t (&codes)[16]) {
  Bytes bytes = Le16({c0, c1});
  uint32_t bits = 0;
  for (uint32_t k = 0; k < 16; ++k) bits |= uint32_t{codes[k]} << (2 * k);
  bytes.insert(bytes.end(), {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)});
  return bytes;
}

TEST(Txmp, EveryPixelFormatLoadsAsRgba) {
  struct Case {
    uint32_t format;
    Bytes data;
    Bytes rgba;
    const char* line;
  };
  const Case cases[] = {
      // 4 bits a channel, alpha highest; each v becomes 17 v.
      {0, Le16({0xF12A}), {17, 34, 170, 255}, "ARGB4444\n"},
      // Bit 15 is opaque; 5-bit channels scale to 0..255 (31 is 255, 16 is 131).
      {2, Le16({0xFC10, 0x0200}), {255, 0, 131, 255, 0, 131, 0, 0}, "ARGB1555\n"},
      {1, Le16({0xFC10, 0x0200}), {255, 0, 131, 255, 0, 131, 0, 0}, "ARGB1555\n"},
      // Bytes alpha, red, green, blue.
      {8, {9, 1, 2, 3, 0, 4, 5, 6}, {1, 2, 3, 9, 4, 5, 6, 0}, "ARGB8888\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    BitmapData picture;
    LogCapture log;
    const uint32_t width = static_cast<uint32_t>(c.rgba.size() / 4);
    ASSERT_EQ(LoadFromBytes(picture, LoadTxmp, Txmp(width, 1, c.format, c.data)), 1) << log.Text();
    EXPECT_TRUE(log.Contains("[wall], " + std::to_string(width) + " x 1, format " + std::to_string(c.format) +
                             ", id 18 " + c.line))
        << log.Text();
    EXPECT_EQ(picture.Mode(), MODE_RGBA8888);
    EXPECT_EQ(RawPixels(picture), c.rgba);
  }
}

TEST(Txmp, CompressedBlocksInterpolateTheirTwoColours) {
  const uint8_t twos[16] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  BitmapData gray;
  ASSERT_EQ(LoadFromBytes(gray, LoadTxmp, Txmp(4, 4, 9, Block(0xFFFF, 0x0000, twos))), 1);
  const Bytes grays = RawPixels(gray);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(Bytes(grays.begin() + 4 * i, grays.begin() + 4 * i + 4), Bytes({170, 170, 170, 255}));
  // Two blocks side by side: codes 0, 1, 2, 3 in the top row of the first
  // block, code k at row k / 4, column k % 4. c0 pure red, c1 pure blue:
  // a third of the way goes down in red, signed, truncating towards zero.
  const uint8_t codes[16] = {0, 1, 2, 3, 1, 1, 1, 1, 0, 0, 0, 0, 3, 3, 3, 3};
  Bytes data = Block(0xF800, 0x001F, codes);
  const Bytes second = Block(0x07E0, 0x07E0, twos);
  data.insert(data.end(), second.begin(), second.end());
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadTxmp, Txmp(8, 4, 9, data)), 1) << log.Text();
  EXPECT_TRUE(log.Contains("compressed\n"));
  const Bytes pixels = RawPixels(picture);
  auto at = [&](uint32_t x, uint32_t y) { return Bytes(pixels.begin() + 4 * (y * 8 + x), pixels.begin() + 4 * (y * 8 + x) + 4); };
  EXPECT_EQ(at(0, 0), Bytes({255, 0, 0, 255}));
  EXPECT_EQ(at(1, 0), Bytes({0, 0, 255, 255}));
  EXPECT_EQ(at(2, 0), Bytes({170, 0, 85, 255}));
  EXPECT_EQ(at(3, 0), Bytes({85, 0, 170, 255}));
  EXPECT_EQ(at(0, 1), Bytes({0, 0, 255, 255}));
  EXPECT_EQ(at(3, 3), Bytes({85, 0, 170, 255}));
  EXPECT_EQ(at(4, 0), Bytes({0, 255, 0, 255}));
  EXPECT_EQ(at(7, 3), Bytes({0, 255, 0, 255}));
}

// A side that is no multiple of 4 uses the blocks' top left parts.
TEST(Txmp, CompressedPicturesOfOddSidesKeepTheirSize) {
  const uint8_t ones[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  Bytes data = Block(0, 0xFFFF, ones);
  const Bytes more = data;
  data.insert(data.end(), more.begin(), more.end());
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadTxmp, Txmp(6, 3, 9, data)), 1);
  EXPECT_EQ(picture.SizeX(), 6u);
  EXPECT_EQ(RawPixels(picture), [] {
    Bytes white;
    for (int i = 0; i < 18; ++i) white.insert(white.end(), {255, 255, 255, 255});
    return white;
  }());
}

// Saves through a stream into `folder`/`name` and returns the bytes.
Bytes SaveAs(BitmapData& picture, const TempDir& folder, const std::string& name, const std::string& base) {
  std::strncpy(picture.settings.file_name, base.c_str(), sizeof picture.settings.file_name - 1);
  const std::string path = folder.File(name);
  {
    FileStream stream;
    if (!stream.Open(path.c_str(), FileStream::kBinary, FileStream::kWrite)) return {};
    if (!SaveTxmp(picture, stream)) return {};
  }
  return ReadBytes(path);
}

TEST(Txmp, SavedTexturesLoadAgainWithTheirNumberAndName) {
  TempDir temp;
  const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 255};
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 3, 1, MODE_RGBA8888, rgba);
  LogCapture log;
  const Bytes saved = SaveAs(picture, temp, "00042-stone.txmp", "00042-stone");
  ASSERT_EQ(saved.size(), 192u + 12);
  EXPECT_TRUE(log.ErrorText().empty()) << log.Text();
  EXPECT_EQ(GetLe32(saved, 0), 42u << 8) << "the number sits above the low 8 bits, as the loader reads it";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.data() + 8)), "stone");
  EXPECT_EQ(GetLe32(saved, 144), 8u);
  BitmapData again;
  log.Clear();
  ASSERT_EQ(LoadFromBytes(again, LoadTxmp, saved), 1);
  EXPECT_TRUE(log.Contains("[stone], 3 x 1, format 8, id 42 ARGB8888\n")) << log.Text();
  EXPECT_EQ(RawPixels(again), rgba);

  log.Clear();
  const Bytes unnamed = SaveAs(again, temp, "stone.txmp", "stone");
  ASSERT_FALSE(unnamed.empty());
  EXPECT_TRUE(log.Contains("warning: txmp filename should be in form 'idnumber-name\n"));
  EXPECT_EQ(GetLe32(unnamed, 0), 0u);
  EXPECT_EQ(unnamed[8], 0);
  const std::string long_name = "7-" + std::string(200, 'n');
  const Bytes cut = SaveAs(again, temp, "long.txmp", long_name);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cut.data() + 8)), std::string(127, 'n'));
}

TEST(Txmp, UnknownShortAndHostileFilesAreRefusedBeforeAllocation) {
  const std::pair<Bytes, const char*> cases[] = {
      {Txmp(1, 1, 3, {1, 2}), "Unknown format !"},
      {Txmp(2, 2, 8, Bytes(15, 0)), "file too short"},
      {Txmp(65535, 65535, 9, Bytes(8, 0)), "file too short"},
      {Txmp(0, 4, 2, {}), "no pixels"},
      {Bytes(191, 0), "shorter than its header"},
  };
  for (const auto& [file, message] : cases) ExpectRefused(LoadTxmp, file, message, true);
  EXPECT_EQ(LoadEveryPrefix(LoadTxmp, Txmp(2, 2, 0, Le16({1, 2, 3, 4}))), 0u);
}

}  // namespace
}  // namespace zepcon::test
