// SGI image loader and saver on hand-made files: the edges and refusals real
// files lack (channel counts and ordinary run lengths are compared against
// ImageMagick in picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

// Plain storage: `planes` holds each channel's rows, bottom row first.
Bytes PlainSgi(uint16_t x, uint16_t y, uint16_t z, const Bytes& planes, uint8_t storage = 0,
               uint8_t bytes_per_channel = 1) {
  Bytes file(512, 0);
  PutBe16(file, 0, 474);
  file[2] = storage;
  file[3] = bytes_per_channel;
  PutBe16(file, 4, 3);
  PutBe16(file, 6, x);
  PutBe16(file, 8, y);
  PutBe16(file, 10, z);
  file.insert(file.end(), planes.begin(), planes.end());
  return file;
}

// Run-length storage from encoded rows (channel-major, bottom row first).
Bytes RunLengthSgi(uint16_t x, uint16_t y, uint16_t z, const std::vector<Bytes>& rows) {
  Bytes file = PlainSgi(x, y, z, {}, 1);
  const size_t tables = file.size();
  file.resize(tables + rows.size() * 8, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    PutBe32(file, tables + 4 * i, static_cast<uint32_t>(file.size()));
    PutBe32(file, tables + 4 * (rows.size() + i), static_cast<uint32_t>(rows[i].size()));
    file.insert(file.end(), rows[i].begin(), rows[i].end());
  }
  return file;
}

// A row that stops short (3 pixels wide, 1 coded) leaves zeros, never bytes
// of another row; the top row comes first in memory.
TEST(SgiLoad, ShortRunLengthRowLeavesZeros) {
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadSgi, RunLengthSgi(3, 2, 1, {{0x03, 5, 0x00}, {0x01, 6, 0x00}})), 1);
  EXPECT_EQ(picture.Mode(), MODE_GRAY_8BIT);
  EXPECT_EQ(RawPixels(picture), Bytes({6, 0, 0, 5, 5, 5}));
}

TEST(SgiLoad, RefusalsSayWhy) {
  struct Case {
    Bytes file;
    const char* message;
    bool unallocated;
  };
  Bytes table_past_end = RunLengthSgi(2, 1, 1, {{0x02, 1, 0}});
  PutBe32(table_past_end, 512, 0x7FFFFFF0u);
  const Case cases[] = {
      {RunLengthSgi(2, 1, 1, {{0x03, 7, 0x00}}), "Error reading rle line\n", false},
      {RunLengthSgi(2, 1, 1, {{0x83, 1, 2, 3, 0x00}}), "Error reading rle line\n", false},
      {table_past_end, " error reading\n", false},
      {Bytes(100, 0), " error reading\n", true},
      {PlainSgi(4, 4, 3, Bytes(10, 0)), "cut short", true},
      {PlainSgi(1, 1, 1, {0, 0}, 0, 2), "bytes per channel", true},
      {PlainSgi(0, 4, 3, {}), "empty picture", true},
      {PlainSgi(1, 1, 5, Bytes(5, 9)), "I don't know what means number of streams '5'\n", true},
  };
  for (const Case& c : cases) ExpectRefused(LoadSgi, c.file, c.message, c.unallocated);
}

TEST(SgiSave, WritesFourPlainPlanesBottomRowFirst) {
  BitmapData picture, back;
  NeutralSettings(picture);
  // 2 x 2 RGB: rows top (1, 2), bottom (3, 4) by red value.
  MakePicture(picture, 2, 2, MODE_RGB888, {1, 10, 20, 2, 11, 21, 3, 12, 22, 4, 13, 23});
  const Bytes file = SaveToBytes(picture, SaveSgi);
  ASSERT_EQ(file.size(), 512u + 16);
  // Magic, plain storage, 1 byte a channel, 3 dimensions, 2 x 2 x 4, maximum 255.
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 20),
            Bytes({0x01, 0xDA, 0, 1, 0, 3, 0, 2, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 255}));
  EXPECT_STREQ(reinterpret_cast<const char*>(file.data() + 24), "Converted bitmap");
  EXPECT_EQ(Bytes(file.begin() + 512, file.end()),
            Bytes({3, 4, 1, 2, 12, 13, 10, 11, 22, 23, 20, 21, 255, 255, 255, 255}));
  ASSERT_EQ(LoadFromBytes(back, LoadSgi, file), 1);
  EXPECT_EQ(RgbaPixels(back), RgbaPixels(picture));
}

TEST(SgiSave, SizesBeyondSixteenBitsAreRefused) { ExpectSaveRefusedAsTooLarge(SaveSgi, 1, 70000); }

}  // namespace
}  // namespace zepcon::test
