// Targa loader and saver on hand-made files: the layouts and refusals real
// files lack (row orders, run lengths and ordinary colour maps are compared
// against ImageMagick in picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

struct TgaSpec {
  TgaSpec(uint8_t type = 2, uint8_t map = 0, uint16_t map_entries = 0, uint8_t map_depth = 0, uint16_t size_x = 1,
          uint16_t size_y = 1, uint8_t bits = 24, uint8_t flags = 0, Bytes text = {})
      : image_type(type), map_type(map), map_length(map_entries), map_bits(map_depth), width(size_x),
        height(size_y), depth(bits), descriptor(flags), ident(std::move(text)) {}
  uint8_t image_type, map_type;
  uint16_t map_length;
  uint8_t map_bits;
  uint16_t width, height;
  uint8_t depth, descriptor;
  Bytes ident;
};

Bytes MakeTga(const TgaSpec& spec, const Bytes& map, const Bytes& data) {
  Bytes file(18, 0);
  file[0] = static_cast<uint8_t>(spec.ident.size());
  file[1] = spec.map_type;
  file[2] = spec.image_type;
  PutLe16(file, 5, spec.map_length);
  file[7] = spec.map_bits;
  PutLe16(file, 12, spec.width);
  PutLe16(file, 14, spec.height);
  file[16] = spec.depth;
  file[17] = spec.descriptor;
  for (const Bytes* part : {&spec.ident, &map, &data}) file.insert(file.end(), part->begin(), part->end());
  return file;
}

TEST(TgaLoad, LayoutsRealFilesLack) {
  struct Case {
    const char* what;
    TgaSpec spec;
    Bytes map, data, rgba;
    const char* log;
  };
  const Bytes map16 = {0x00, 0x7C, 0x1F, 0x80};
  const Case cases[] = {
      // 16-bit map entries are bGrA5551 (bit 15 set is transparent), 15-bit ones have no such bit.
      {"16-bit map", {1, 1, 2, 16, 2, 1, 8}, map16, {0, 1}, {248, 0, 0, 255, 0, 0, 248, 0}, ""},
      {"15-bit map", {1, 1, 2, 15, 2, 1, 8}, map16, {0, 1}, {248, 0, 0, 255, 0, 0, 248, 255}, ""},
      {"map before true colour", {2, 1, 2, 24}, {9, 9, 9, 8, 8, 8}, {3, 2, 1}, {1, 2, 3, 255}, ""},
      {"gray and alpha", {3, 0, 0, 0, 1, 1, 16}, {}, {70, 128}, {70, 70, 70, 128}, ""},
      {"ident", {2, 0, 0, 0, 1, 1, 24, 0, {'h', 'e', 'l', 'l', 'o'}}, {}, {3, 2, 1}, {1, 2, 3, 255},
       "Ident found: (hello)\n"},
      {"interleaved", {2, 0, 0, 0, 1, 1, 24, 0x60}, {}, {3, 2, 1}, {1, 2, 3, 255},
       " Some kind of interleaving detected (1).. loader cannot handle it, but will try anyhow\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadTga, MakeTga(c.spec, c.map, c.data)), 1) << log.Text();
    EXPECT_EQ(RgbaPixels(picture), c.rgba);
    if (*c.log) { EXPECT_TRUE(log.Contains(c.log)) << log.Text(); }
  }
}

TEST(TgaLoad, RefusalsSayWhy) {
  struct Case {
    TgaSpec spec;
    Bytes data;
    const char* message;
  };
  // Enough bytes to pass the size check, but the packets stop early.
  Bytes short_packets;
  for (int i = 0; i < 5; ++i) short_packets.insert(short_packets.end(), {0x00, 1, 2, 3});
  const Case cases[] = {
      {{32}, {1, 2, 3}, " Bad image type (32), maybe compressed ?"},
      {{2, 2}, {1, 2, 3}, "colour-map type 2"},
      {{2, 0, 0, 0, 1, 1, 12}, {1, 2, 3}, "Unsupported bit depth (12)\n"},
      {{1, 1, 1, 8, 1, 1, 8}, {9, 0}, "Unsupported bit depth (8)\n"},
      {{2, 0, 0, 0, 0}, {}, "empty picture"},
      {{10, 0, 0, 0, 65535, 65535}, {0xFF, 1, 2, 3}, "cut short"},
      {{10, 0, 0, 0, 200, 2}, short_packets, "Some error occured while reading\n"},
  };
  for (const Case& c : cases) ExpectRefused(LoadTga, MakeTga(c.spec, {}, c.data), c.message);
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
