// SGI image loader and saver on hand-made files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"
#include "support/test_support.h"

namespace zepcon::test {
namespace {

using Bytes = std::vector<uint8_t>;

void PutBe16(Bytes& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<uint8_t>(value);
}

void PutBe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

Bytes SgiHeader(uint8_t storage, uint16_t x, uint16_t y, uint16_t z, uint8_t bytes_per_channel = 1) {
  Bytes header(512, 0);
  PutBe16(header, 0, 474);
  header[2] = storage;
  header[3] = bytes_per_channel;
  PutBe16(header, 4, 3);
  PutBe16(header, 6, x);
  PutBe16(header, 8, y);
  PutBe16(header, 10, z);
  return header;
}

// Plain storage: `planes` holds each channel's rows, bottom row first.
Bytes PlainSgi(uint16_t x, uint16_t y, uint16_t z, const Bytes& planes) {
  Bytes file = SgiHeader(0, x, y, z);
  file.insert(file.end(), planes.begin(), planes.end());
  return file;
}

// Run-length storage from encoded rows (channel-major, bottom row first).
Bytes RunLengthSgi(uint16_t x, uint16_t y, uint16_t z, const std::vector<Bytes>& rows) {
  Bytes file = SgiHeader(1, x, y, z);
  const size_t tables = file.size();
  file.resize(tables + rows.size() * 8, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    PutBe32(file, tables + 4 * i, static_cast<uint32_t>(file.size()));
    PutBe32(file, tables + 4 * (rows.size() + i), static_cast<uint32_t>(rows[i].size()));
    file.insert(file.end(), rows[i].begin(), rows[i].end());
  }
  return file;
}

TEST(SgiLoad, FourChannelsAreRgbaAndTheFirstFileRowIsTheBottom) {
  // 1 x 2: bottom pixel (1, 2, 3, 4), top pixel (5, 6, 7, 8).
  const Bytes file = PlainSgi(1, 2, 4, {1, 5, 2, 6, 3, 7, 4, 8});
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadSgi, file), 1);
  EXPECT_EQ(picture.Mode(), MODE_RGBA8888);
  EXPECT_EQ(RgbaPixels(picture), Bytes({5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(SgiLoad, ChannelCountsChooseTheMode) {
  const uint32_t modes[] = {MODE_GRAY_8BIT, MODE_GRAY_ALPHA_88, MODE_RGB888, MODE_RGBA8888};
  for (uint16_t z = 1; z <= 4; ++z) {
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    ASSERT_EQ(LoadFromBytes(picture, LoadSgi, PlainSgi(1, 1, z, Bytes(z, 9))), 1);
    EXPECT_EQ(picture.Mode(), modes[z - 1]);
  }
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  LogCapture log;
  EXPECT_EQ(LoadFromBytes(picture, LoadSgi, PlainSgi(1, 1, 5, Bytes(5, 9))), 0);
  EXPECT_TRUE(log.Contains("I don't know what means number of streams '5'\n"));
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
}

TEST(SgiLoad, RunLengthRowsRepeatAndCopy) {
  // 4 x 1 gray: a repeat of 2, then 2 literal bytes, then the closing 0.
  const Bytes file = RunLengthSgi(4, 1, 1, {{0x02, 7, 0x82, 8, 9, 0x00}});
  BitmapData picture;
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(picture, LoadSgi, file), 1);
  uint8_t gray[4];
  ASSERT_EQ(picture.GetPixels(0, 4, gray), 1);
  EXPECT_EQ(Bytes(gray, gray + 4), Bytes({7, 7, 8, 9}));

  // A row that stops short leaves zeros, never bytes of another row.
  const Bytes two_rows = RunLengthSgi(3, 2, 1, {{0x03, 5, 0x00}, {0x01, 6, 0x00}});
  ASSERT_EQ(LoadFromBytes(picture, LoadSgi, two_rows), 1);
  uint8_t six[6];
  ASSERT_EQ(picture.GetPixels(0, 6, six), 1);
  EXPECT_EQ(Bytes(six, six + 6), Bytes({6, 0, 0, 5, 5, 5}));
}

TEST(SgiLoad, RefusalsSayWhy) {
  struct Case {
    Bytes file;
    const char* message;
  };
  Bytes table_past_end = RunLengthSgi(2, 1, 1, {{0x02, 1, 0}});
  PutBe32(table_past_end, 512, 0x7FFFFFF0u);
  const Case cases[] = {
      {RunLengthSgi(2, 1, 1, {{0x03, 7, 0x00}}), "Error reading rle line\n"},
      {RunLengthSgi(2, 1, 1, {{0x83, 1, 2, 3, 0x00}}), "Error reading rle line\n"},
      {table_past_end, " error reading\n"},
      {Bytes(100, 0), " error reading\n"},
      {PlainSgi(4, 4, 3, Bytes(10, 0)), "cut short"},
      {[] {
         Bytes two = SgiHeader(0, 1, 1, 1, 2);
         two.insert(two.end(), {0, 0});
         return two;
       }(),
       "bytes per channel"},
      {PlainSgi(0, 4, 3, {}), "empty picture"},
  };
  for (const Case& c : cases) {
    BitmapData picture;
    ASSERT_EQ(picture.InitData(), 1);
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(picture, LoadSgi, c.file), 0) << c.message;
    EXPECT_TRUE(log.Contains(c.message)) << c.message << " not in:\n" << log.Text();
  }
}

TEST(SgiSave, WritesFourPlainPlanesBottomRowFirst) {
  BitmapData picture;
  NeutralSettings(picture);
  // 2 x 2 RGB: rows top (1, 2), bottom (3, 4) by red value.
  MakePicture(picture, 2, 2, MODE_RGB888, {1, 10, 20, 2, 11, 21, 3, 12, 22, 4, 13, 23});
  const Bytes file = SaveToBytes(picture, SaveSgi);
  ASSERT_EQ(file.size(), 512u + 16);
  EXPECT_EQ(file[0], 0x01);
  EXPECT_EQ(file[1], 0xDA);
  EXPECT_EQ(file[2], 0);
  EXPECT_EQ(file[3], 1);
  EXPECT_EQ(file[5], 3);
  EXPECT_EQ(file[7], 2);
  EXPECT_EQ(file[9], 2);
  EXPECT_EQ(file[11], 4);
  EXPECT_EQ(file[19], 255);
  EXPECT_STREQ(reinterpret_cast<const char*>(file.data() + 24), "Converted bitmap");
  EXPECT_EQ(Bytes(file.begin() + 512, file.end()),
            Bytes({3, 4, 1, 2, 12, 13, 10, 11, 22, 23, 20, 21, 255, 255, 255, 255}));
  BitmapData back;
  ASSERT_EQ(back.InitData(), 1);
  ASSERT_EQ(LoadFromBytes(back, LoadSgi, file), 1);
  EXPECT_EQ(RgbaPixels(back), RgbaPixels(picture));
}

TEST(SgiSave, SizesBeyondSixteenBitsAreRefused) {
  BitmapData picture;
  MakePicture(picture, 1, 70000, MODE_GRAY_8BIT, Bytes(70000, 1));
  LogCapture log;
  int result = -1;
  SaveToBytes(picture, SaveSgi, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(log.Contains("too large")) << log.Text();
}

}  // namespace
}  // namespace zepcon::test
