// Oni big textures: tiles found by resource number in the folder and
// assembled in row order, through a stand-in for the pipeline's companion
// files; missing, foreign and ill-fitting tiles.
#include <gtest/gtest.h>
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/picture_test_util.h"

namespace zepcon::test {
namespace {

// Recognises textures by extension and loads them with the texture loader.
class FakeCompanions final : public CompanionFiles {
 public:
  int DetermineType(const char* path) override {
    const char* dot = std::strrchr(path, '.');
    return dot && strcasecmp(dot, ".txmp") == 0 ? TYPE_TXMP : TYPE_UNKNOWN;
  }
  int LoadPicture(const char* path, int type_index, const ConversionSettings& settings, BitmapData& picture) override {
    ++loads;
    if (type_index != TYPE_TXMP || !picture.InitData()) return 0;
    picture.settings = settings;
    FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    const int result = LoadTxmp(picture, file);
    std::fclose(file);
    return result && picture.RemoveAlpha();
  }
  int SavePicture(const char*, int, const ConversionSettings&, BitmapData&) override { return 0; }
  std::string FindFile(const char* path) override { return std::filesystem::exists(path) ? path : ""; }
  int loads = 0;
};

// A texture of one colour in format 8 (alpha, red, green, blue).
Bytes Tile(uint32_t width, uint32_t height, uint8_t red, uint8_t green) {
  Bytes bytes(192, 0);
  PutLe16(bytes, 140, width);
  PutLe16(bytes, 142, height);
  PutLe32(bytes, 144, 8);
  for (uint32_t i = 0; i < width * height; ++i) bytes.insert(bytes.end(), {255, red, green, 7});
  return bytes;
}

Bytes BigTexture(uint32_t across, uint32_t down, const std::vector<uint32_t>& numbers) {
  Bytes bytes(32, 0);
  PutLe16(bytes, 24, across);
  PutLe16(bytes, 26, down);
  PutLe32(bytes, 28, static_cast<uint32_t>(numbers.size()));
  for (uint32_t number : numbers) {
    bytes.resize(bytes.size() + 4);
    PutLe32(bytes, bytes.size() - 4, number << 8 | 0x01);
  }
  return bytes;
}

struct BigTextureLoad {
  int result = -1;
  std::string log;
};

BigTextureLoad Load(BitmapData& picture, const TempDir& folder, const Bytes& big, CompanionFiles* companions) {
  BigTextureLoad load;
  LogCapture log;
  if (!picture.InitData()) return load;
  NeutralSettings(picture);
  const std::string path = folder.Path().string() + "/";
  std::strncpy(picture.settings.file_folder, path.c_str(), sizeof picture.settings.file_folder - 1);
  picture.companions = companions;
  FILE* file = std::tmpfile();
  std::fwrite(big.data(), 1, big.size(), file);
  std::rewind(file);
  load.result = LoadTxmb(picture, file);
  std::fclose(file);
  load.log = log.Text() + "\nerrors:\n" + log.ErrorText();
  return load;
}

TEST(Txmb, TwoByTwoTilesAssembleInRowOrder) {
  TempDir temp;
  WriteBytes(temp.File("00010-a.txmp"), Tile(256, 256, 10, 0));
  WriteBytes(temp.File("00011-b.TXMP"), Tile(256, 256, 11, 0));
  WriteBytes(temp.File("00012-c.txmp"), Tile(256, 256, 12, 0));
  WriteBytes(temp.File("00013-d.txmp"), Tile(256, 256, 13, 0));
  WriteBytes(temp.File("00013-e.txmp"), Tile(256, 256, 99, 0));  // later in name order: not taken
  FakeCompanions companions;
  BitmapData picture;
  const BigTextureLoad load = Load(picture, temp, BigTexture(2, 2, {10, 11, 12, 13}), &companions);
  ASSERT_EQ(load.result, 1) << load.log;
  EXPECT_NE(load.log.find("searching for oni file with id=11..found [00011-b.TXMP]\n"), std::string::npos) << load.log;
  EXPECT_NE(load.log.find("txmb loaded...\n"), std::string::npos);
  EXPECT_EQ(companions.loads, 4);
  EXPECT_EQ(picture.Mode(), MODE_RGBA8888);
  ASSERT_EQ(picture.SizeX(), 512u);
  ASSERT_EQ(picture.SizeY(), 512u);
  const Bytes pixels = RawPixels(picture);
  auto red_at = [&](uint32_t x, uint32_t y) { return pixels[4 * (size_t{y} * 512 + x)]; };
  EXPECT_EQ(red_at(0, 0), 10);
  EXPECT_EQ(red_at(511, 0), 11);
  EXPECT_EQ(red_at(255, 256), 12);
  EXPECT_EQ(red_at(256, 511), 13);
  EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 4), Bytes({10, 0, 7, 255}));
}

TEST(Txmb, TilesOfDifferentSizesFitTheFirstRowAndColumn) {
  TempDir temp;
  WriteBytes(temp.File("00001-a.txmp"), Tile(3, 2, 1, 0));
  WriteBytes(temp.File("00002-b.txmp"), Tile(5, 2, 2, 0));
  WriteBytes(temp.File("00003-c.txmp"), Tile(8, 1, 3, 0));
  FakeCompanions companions;
  BitmapData picture;
  const BigTextureLoad load = Load(picture, temp, BigTexture(2, 2, {1, 2, 3, 3}), &companions);
  // The second row's first tile spans the whole width; its second tile has no room.
  EXPECT_EQ(load.result, 0);
  EXPECT_NE(load.log.find("does not fit"), std::string::npos) << load.log;
  BitmapData three;
  ASSERT_EQ(Load(three, temp, BigTexture(2, 1, {1, 2}), &companions).result, 1);
  EXPECT_EQ(three.SizeX(), 8u);
  EXPECT_EQ(RawPixels(three)[4 * 3], 2);
}

TEST(Txmb, MissingForeignAndBadTilesFailWithTheirReason) {
  TempDir temp;
  WriteBytes(temp.File("00001-a.txmp"), Tile(2, 2, 1, 0));
  WriteBytes(temp.File("00002-bmp.bmp"), Tile(2, 2, 1, 0));
  WriteBytes(temp.File("00003-short.txmp"), Bytes(100, 0));
  FakeCompanions companions;
  struct Case {
    Bytes big;
    CompanionFiles* companions;
    const char* message;
  };
  Bytes count_mismatch = BigTexture(2, 2, {1, 1, 1, 1});
  PutLe32(count_mismatch, 28, 3);
  Bytes ids_missing = BigTexture(2, 2, {1, 1, 1, 1});
  ids_missing.resize(40);
  const Case cases[] = {
      {count_mismatch, &companions, "Bad number of tiles"},
      {BigTexture(0, 0, {}), &companions, "no tiles"},
      {ids_missing, &companions, "tile list passes the end"},
      {BigTexture(1, 1, {4}), &companions, "None found\n"},
      {BigTexture(1, 1, {100000}), &companions, "id too big\n"},
      {BigTexture(2, 1, {1, 2}), &companions, "Tile is not txmp!\n"},
      {BigTexture(1, 1, {3}), &companions, "shorter than a texture header"},
      {BigTexture(1, 1, {1}), nullptr, "no companion files"},
      {Bytes(31, 0), &companions, "shorter than its header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    BitmapData picture;
    const BigTextureLoad load = Load(picture, temp, c.big, c.companions);
    EXPECT_EQ(load.result, 0);
    EXPECT_NE(load.log.find(c.message), std::string::npos) << load.log;
  }
}

}  // namespace
}  // namespace zepcon::test
