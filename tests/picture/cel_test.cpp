// Animator cel: palette scaling both ways, real files, the paletted-only
// saver, round trips with the FF7 texture, damaged and hostile files.
#include <gtest/gtest.h>

#include <string>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "game_picture_test_util.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

// A cel of the given size whose palette entry i is (i % 64, 63 - i % 64, 5)
// and whose pixels are the given indices.
Bytes Cel(uint32_t width, uint32_t height, const Bytes& indices) {
  Bytes bytes(32, 0);
  PutLe16(bytes, 0, 0x9119);
  PutLe16(bytes, 2, width);
  PutLe16(bytes, 4, height);
  PutLe16(bytes, 10, 8);
  PutLe32(bytes, 12, width * height);
  for (int i = 0; i < 256; ++i) bytes.insert(bytes.end(), {uint8_t(i % 64), uint8_t(63 - i % 64), 5});
  bytes.insert(bytes.end(), indices.begin(), indices.end());
  return bytes;
}

TEST(Cel, PaletteOf63LoadsAs252AndSavesBackAs63) {
  const Bytes file = Cel(3, 2, {0, 63, 64, 255, 1, 2});
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadCel, file), 1) << log.Text();
  EXPECT_TRUE(log.Contains("Loading cel...\n reading header\n reading palette\n reading bitmap\n...cel loaded\n"));
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(RawPixels(picture), Bytes({0, 63, 64, 255, 1, 2}));
  uint8_t r, g, b, a;
  ASSERT_EQ(picture.GetPaletteEntry(63, r, g, b, a), 1);
  EXPECT_EQ(Bytes({r, g, b, a}), Bytes({252, 0, 20, 255}));
  const Bytes saved = SaveToBytes(picture, SaveCel);
  EXPECT_EQ(saved, file) << "header, 6-bit palette and rows come back unchanged";
}

TEST(Cel, RealFilesLoadTheirIndicesAndPalette) {
  SKIP_WITHOUT_CORPUS("pictures/cel");
  for (const auto& entry : CorpusFiles("pictures/cel/")) {
    if (entry.path.find("/refuse/") != std::string::npos) continue;
    SCOPED_TRACE(entry.path);
    const Bytes bytes = ReadBytes(CorpusDir() / entry.path);
    BitmapData picture;
    ASSERT_EQ(LoadFromBytes(picture, LoadCel, bytes), 1);
    const uint32_t width = bytes[2] | bytes[3] << 8, height = bytes[4] | bytes[5] << 8;
    EXPECT_EQ(picture.SizeX(), width);
    EXPECT_EQ(picture.SizeY(), height);
    EXPECT_EQ(RawPixels(picture), Bytes(bytes.begin() + 800, bytes.begin() + 800 + width * height));
    uint8_t r, g, b;
    ASSERT_EQ(picture.GetPaletteEntry(255, r, g, b), 1);
    EXPECT_EQ(Bytes({r, g, b}), Bytes({uint8_t(bytes[32 + 765] * 4), uint8_t(bytes[32 + 766] * 4),
                                       uint8_t(bytes[32 + 767] * 4)}));
  }
}

TEST(Cel, SaverWritesOnlyPalettedPictures) {
  BitmapData picture;
  MakePicture(picture, 2, 1, MODE_RGB888, {1, 2, 3, 4, 5, 6});
  LogCapture log;
  int result = -1;
  EXPECT_TRUE(SaveToBytes(picture, SaveCel, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(log.Contains("Conversion to this BitmapMode is not supported yet...\n"));
  EXPECT_TRUE(log.Contains("Source bitmap has to be 256 color paletted bitmap too.\n"));
  BitmapData wide;
  MakePicture(wide, 65536, 1, MODE_PALETTE_8BIT, Bytes(65536, 1));
  log.Clear();
  EXPECT_TRUE(SaveToBytes(wide, SaveCel, &result).empty());
  EXPECT_TRUE(log.Contains("CEL does not support resolution greater than 65535\n"));
}

// A cel converts to an FF7 texture and back without change.
TEST(Cel, RoundTripsThroughTheFf7Texture) {
  Bytes indices(40 * 3);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i * 7);
  const Bytes file = Cel(40, 3, indices);
  BitmapData picture;
  ASSERT_EQ(LoadFromBytes(picture, LoadCel, file), 1);
  const Bytes texture = SaveToBytes(picture, SaveFf7Tex);
  ASSERT_FALSE(texture.empty());
  BitmapData again;
  ASSERT_EQ(LoadFromBytes(again, LoadFf7Tex, texture), 1);
  EXPECT_EQ(RawPixels(again), indices);
  EXPECT_EQ(SaveToBytes(again, SaveCel), file);
}

TEST(Cel, DamagedForeignAndHostileFilesAreRefused) {
  SKIP_WITHOUT_CORPUS("pictures/cel");
  struct Case {
    Bytes file;
    const char* message;
  };
  Bytes huge = Cel(2, 2, {1, 2, 3, 4});
  PutLe16(huge, 2, 65535);
  PutLe16(huge, 4, 65535);
  Bytes empty = Cel(2, 2, {1, 2, 3, 4});
  PutLe16(empty, 2, 0);
  const Case cases[] = {
      {ReadBytes(CorpusDir() / "pictures/cel/refuse/AniPro_LOGO_flicstyle.CEL"), "not an Animator cel"},
      {huge, "file too short"},
      {empty, "no pixels"},
      {Bytes(20, 0), "shorter than its header"},
  };
  for (const Case& c : cases) ExpectRefused(LoadCel, c.file, c.message, true);
}

TEST(Cel, EveryTruncatedFileLoadsOrFailsWithAReason) {
  SKIP_WITHOUT_CORPUS("pictures/cel");
  EXPECT_EQ(LoadEveryPrefix(LoadCel, ReadBytes(CorpusDir() / "pictures/cel/ZOUT.CEL")), 0u);
}

}  // namespace
}  // namespace zepcon::test
