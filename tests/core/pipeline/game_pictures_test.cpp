// Game pictures through the pipeline: the dispatch rows reach their codecs
// (plain and stream forms), big textures find their tiles through the
// pipeline's own companion files, and the Oni saver names its resource
// from the destination.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/pipeline/convert_one_file.h"
#include "core/pipeline/file_converter.h"
#include "picture/bitmap_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using Bytes = std::vector<uint8_t>;
using test::LogCapture;

void Put16(Bytes& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Put32(Bytes& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}
uint32_t Get32(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

// An Oni texture of one colour in the 32-bit format.
Bytes Tile(uint32_t side, uint8_t red) {
  Bytes bytes(192, 0);
  Put16(bytes, 140, side);
  Put16(bytes, 142, side);
  Put32(bytes, 144, 8);
  for (uint32_t i = 0; i < side * side; ++i) bytes.insert(bytes.end(), {255, red, 0, 0});
  return bytes;
}

TEST(GamePictures, CelAndFf7TextureConvertIntoEachOther) {
  test::TempDir dir;
  Bytes cel(32, 0);
  Put16(cel, 0, 0x9119);
  Put16(cel, 2, 4);
  Put16(cel, 4, 2);
  Put16(cel, 10, 8);
  Put32(cel, 12, 8);
  for (int i = 0; i < 768; ++i) cel.push_back(static_cast<uint8_t>(i % 64));
  cel.insert(cel.end(), {1, 2, 3, 4, 5, 6, 7, 8});
  test::WriteBytes(dir.File("a.cel"), cel);
  LogCapture log;
  FileConverter converter;
  const ConversionOutcome to_texture =
      ConvertOneFile(converter, DefaultOptions(), dir.File("a.cel").c_str(), TYPE_CEL, dir.File("b.tex").c_str(), TYPE_FF7_TEX);
  ASSERT_TRUE(to_texture.ok) << log.Text();
  const ConversionOutcome back =
      ConvertOneFile(converter, DefaultOptions(), dir.File("b.tex").c_str(), TYPE_FF7_TEX, dir.File("c.cel").c_str(), TYPE_CEL);
  ASSERT_TRUE(back.ok) << log.Text();
  EXPECT_EQ(test::ReadBytes(dir.File("c.cel")), cel);
}

TEST(GamePictures, BigTextureTilesLoadThroughThePipeline) {
  test::TempDir dir;
  test::WriteBytes(dir.File("00007-left.txmp"), Tile(4, 70));
  test::WriteBytes(dir.File("00008-right.TXMP"), Tile(4, 80));
  Bytes big(32, 0);
  Put16(big, 24, 2);
  Put16(big, 26, 1);
  Put32(big, 28, 2);
  big.resize(40);
  Put32(big, 32, 7 << 8);
  Put32(big, 36, 8 << 8);
  test::WriteBytes(dir.File("big.txmb"), big);
  LogCapture log;
  FileConverter converter;
  ASSERT_EQ(converter.InitData(KIND_BITMAP), 1);
  ASSERT_EQ(converter.LoadFile(dir.File("big.txmb").c_str(), TYPE_TXMB), 1) << log.Text();
  BitmapData& picture = converter.Picture();
  ASSERT_EQ(picture.SizeX(), 8u);
  ASSERT_EQ(picture.SizeY(), 4u);
  uint8_t row[8 * 4];
  ASSERT_EQ(picture.GetPixels(3 * 8, 8, row), 1);
  EXPECT_EQ(row[0], 70);
  EXPECT_EQ(row[4 * 7], 80);
  converter.DestroyData();
}

TEST(GamePictures, StreamCodecsReadTheExtensionAndWriteTheResourceNumber) {
  test::TempDir dir;
  Bytes mafia(22, 0);
  std::memcpy(mafia.data(), "TEX", 4);
  Put16(mafia, 6, 1);
  Put16(mafia, 10, 1);
  mafia.insert(mafia.end(), {0x1F, 0x00});
  test::WriteBytes(dir.File("wall.565"), mafia);
  LogCapture log;
  FileConverter converter;
  ASSERT_EQ(converter.InitData(KIND_BITMAP), 1);
  ASSERT_EQ(converter.LoadFile(dir.File("wall.565").c_str(), TYPE_MAFIA_TEX), 1) << log.Text();
  EXPECT_EQ(converter.Picture().Mode(), MODE_RGB565);
  ASSERT_EQ(converter.SaveFile(dir.File("00042-stone.txmp").c_str(), TYPE_TXMP), 1) << log.Text();
  converter.DestroyData();
  const Bytes saved = test::ReadBytes(dir.File("00042-stone.txmp"));
  ASSERT_EQ(saved.size(), 196u);
  EXPECT_EQ(Get32(saved, 0), 42u << 8);
  EXPECT_STREQ(reinterpret_cast<const char*>(saved.data() + 8), "stone");
  EXPECT_EQ(Bytes(saved.begin() + 192, saved.end()), Bytes({255, 248, 0, 0}));
}

TEST(GamePictures, PicIsRefusedByItsLoader) {
  test::TempDir dir;
  test::WriteBytes(dir.File("a.pic"), Bytes{0x53, 0x80, 0xF6, 0x34, 0x40, 0x60, 0, 0});
  LogCapture log;
  FileConverter converter;
  ASSERT_EQ(converter.InitData(KIND_BITMAP), 1);
  EXPECT_EQ(converter.LoadFile(dir.File("a.pic").c_str(), TYPE_PIC), 0);
  EXPECT_TRUE(log.Contains("Loading pic...\nunusupported\n")) << log.Text();
  converter.DestroyData();
}

}  // namespace
}  // namespace zepcon
