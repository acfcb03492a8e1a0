// Targa loader and saver on hand-made files: the layouts and refusals real
// files lack (row orders, run lengths and ordinary colour maps are compared
// against ImageMagick in picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

// The 18-byte header, then the ident, colour map and pixel data.
Bytes MakeTga(const Bytes& ident_map_and_data, uint8_t type = 2, uint8_t map = 0, uint16_t map_entries = 0,
              uint8_t map_bits = 0, uint16_t width = 1, uint16_t height = 1, uint8_t depth = 24,
              uint8_t descriptor = 0, uint8_t ident_length = 0) {
  Bytes file = {ident_length, map, type, 0, 0, 0, 0, map_bits, 0, 0, 0, 0, 0, 0, 0, 0, depth, descriptor};
  PutLe16(file, 5, map_entries);
  PutLe16(file, 12, width);
  PutLe16(file, 14, height);
  file.insert(file.end(), ident_map_and_data.begin(), ident_map_and_data.end());
  return file;
}

TEST(TgaLoad, LayoutsRealFilesLack) {
  struct Case {
    const char* what;
    Bytes file, rgba;
    const char* log;
  };
  const Bytes map = {0x00, 0x7C, 0x1F, 0x80, 0, 1};  // two map entries, then indices 0 and 1
  const Case cases[] = {
      // 16-bit map entries are bGrA5551 (bit 15 set is transparent), 15-bit ones have no such bit.
      {"16-bit map", MakeTga(map, 1, 1, 2, 16, 2, 1, 8), {248, 0, 0, 255, 0, 0, 248, 0}, ""},
      {"15-bit map", MakeTga(map, 1, 1, 2, 15, 2, 1, 8), {248, 0, 0, 255, 0, 0, 248, 255}, ""},
      {"map before true colour", MakeTga({9, 9, 9, 8, 8, 8, 3, 2, 1}, 2, 1, 2, 24), {1, 2, 3, 255}, ""},
      {"gray and alpha", MakeTga({70, 128}, 3, 0, 0, 0, 1, 1, 16), {70, 70, 70, 128}, ""},
      {"ident", MakeTga({'h', 'e', 'l', 'l', 'o', 3, 2, 1}, 2, 0, 0, 0, 1, 1, 24, 0, 5), {1, 2, 3, 255},
       "Ident found: (hello)\n"},
      {"interleaved", MakeTga({3, 2, 1}, 2, 0, 0, 0, 1, 1, 24, 0x60), {1, 2, 3, 255},
       " Some kind of interleaving detected (1).. loader cannot handle it, but will try anyhow\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadTga, c.file), 1) << log.Text();
    EXPECT_EQ(RgbaPixels(picture), c.rgba);
    if (*c.log) { EXPECT_TRUE(log.Contains(c.log)) << log.Text(); }
  }
}

TEST(TgaLoad, RefusalsSayWhy) {
  // Enough bytes to pass the size check, but the packets stop early.
  Bytes short_packets;
  for (int i = 0; i < 5; ++i) short_packets.insert(short_packets.end(), {0x00, 1, 2, 3});
  const std::pair<Bytes, const char*> cases[] = {
      {MakeTga({1, 2, 3}, 32), " Bad image type (32), maybe compressed ?"},
      {MakeTga({1, 2, 3}, 2, 2), "colour-map type 2"},
      {MakeTga({1, 2, 3}, 2, 0, 0, 0, 1, 1, 12), "Unsupported bit depth (12)\n"},
      {MakeTga({9, 0}, 1, 1, 1, 8, 1, 1, 8), "Unsupported bit depth (8)\n"},
      {MakeTga({}, 2, 0, 0, 0, 0), "empty picture"},
      {MakeTga({0xFF, 1, 2, 3}, 10, 0, 0, 0, 65535, 65535), "cut short"},
      {MakeTga(short_packets, 10, 0, 0, 0, 200, 2), "Some error occured while reading\n"},
  };
  for (const auto& [file, message] : cases) ExpectRefused(LoadTga, file, message);
}

TEST(TgaSave, HeaderDataAndFooter) {
  struct Case {
    uint32_t mode, width;
    Bytes pixels;
    uint8_t image_type, depth;
    Bytes data;
  };
  const Case cases[] = {
      {MODE_RGB888, 2, {1, 2, 3, 4, 5, 6}, 2, 24, {3, 2, 1, 6, 5, 4}},
      {MODE_GRAY_8BIT, 1, {77}, 3, 8, {77}},
      {MODE_RGBA5551, 1, {0x1F, 0x80}, 2, 32, {0, 0, 248, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    BitmapData picture;
    NeutralSettings(picture);
    MakePicture(picture, c.width, 1, c.mode, c.pixels);
    const Bytes file = SaveToBytes(picture, SaveTga);
    ASSERT_EQ(file.size(), 18 + c.data.size() + 26);
    EXPECT_EQ(Bytes({file[2], file[12], file[14], file[16], file[17]}),
              Bytes({c.image_type, uint8_t(c.width), 1, c.depth, 0x20}));
    EXPECT_EQ(Bytes(file.begin() + 18, file.end() - 26), c.data);
    EXPECT_EQ(std::memcmp(file.data() + file.size() - 18, "TRUEVISION-XFILE.", 18), 0);
  }
}

TEST(TgaSave, SizesBeyondSixteenBitsAreRefused) { ExpectSaveRefusedAsTooLarge(SaveTga, 65536, 1); }

}  // namespace
}  // namespace zepcon::test
