// FF7 textures: the real 4-bit texture, surplus palette entries, the 4
// extra bytes some writers add, 16-bit pixels, the header of a new texture,
// damaged and hostile files.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/game_picture_test_util.h"
#include "picture/picture_test_util.h"

namespace zepcon::test {
namespace {

// Header, `entries` palette entries (blue i, green 2i, red 3i, alpha 200),
// then `data`; `extra` inserts the 4 bytes some writers add.
Bytes Texture(uint32_t bits, uint32_t width, uint32_t height, uint32_t entries, const Bytes& data, bool extra = false) {
  Bytes bytes(236, 0);
  PutLe32(bytes, 56, bits);
  PutLe32(bytes, 60, width);
  PutLe32(bytes, 64, height);
  PutLe32(bytes, 88, entries);
  if (extra) bytes.insert(bytes.end(), {9, 9, 9, 9});
  for (uint32_t i = 0; i < entries; ++i) bytes.insert(bytes.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 200});
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

TEST(Ff7Tex, RealTextureLoadsItsIndicesAndPalette) {
  SKIP_WITHOUT_CORPUS("pictures/tex");
  const Bytes bytes = ReadBytes(CorpusDir() / "pictures/tex/ff7_aabc.tex");
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadFf7Tex, bytes), 1) << log.Text();
  EXPECT_TRUE(log.Contains(" 32 x 32, 4 bpp, 16 pal entries\n"));
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(picture.SizeX(), 32u);
  EXPECT_EQ(RawPixels(picture), Bytes(bytes.begin() + 236 + 64, bytes.end()));
  for (uint32_t i = 0; i < 16; ++i) {
    uint8_t r, g, b, a;
    ASSERT_EQ(picture.GetPaletteEntry(i, r, g, b, a), 1);
    const uint8_t* entry = bytes.data() + 236 + 4 * i;
    EXPECT_EQ(Bytes({r, g, b, a}), Bytes({entry[2], entry[1], entry[0], entry[3]})) << i;
  }
  EXPECT_EQ(LoadEveryPrefix(LoadFf7Tex, bytes), 0u);
}

// Palette entries beyond 256 are skipped in the file; the 4 extra bytes
// are recognised by the file size; 16-bit pixels keep their layout.
TEST(Ff7Tex, LayoutsFindTheirPixels) {
  struct Case {
    const char* what;
    Bytes file;
    uint32_t mode;
    Bytes pixels;
    const char* log;
  };
  const Bytes indices = {7, 255, 0, 42};
  const Case cases[] = {
      {"8 bits", Texture(8, 2, 2, 256, indices), MODE_PALETTE_8BIT, indices, " 2 x 2, 8 bpp, 256 pal entries\n"},
      {"300 entries", Texture(8, 2, 2, 300, indices), MODE_PALETTE_8BIT, indices,
       "too many palette enteries, max 256\n"},
      {"4 extra bytes", Texture(4, 2, 2, 16, indices, true), MODE_PALETTE_8BIT, indices, " reading bitmap\n"},
      {"16 bits", Texture(16, 2, 1, 0, {0x1F, 0x80, 0xE0, 0x03}), MODE_RGB555, {0x1F, 0x80, 0xE0, 0x03},
       " 2 x 1, 16 bpp, 0 pal entries\n"},
      {"16 bits, 4 extra bytes", Texture(16, 2, 1, 0, {1, 2, 3, 4}, true), MODE_RGB555, {1, 2, 3, 4}, "16 bpp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadFf7Tex, c.file), 1) << log.Text();
    EXPECT_TRUE(log.Contains(c.log)) << log.Text();
    EXPECT_EQ(picture.Mode(), c.mode);
    EXPECT_EQ(RawPixels(picture), c.pixels);
    if (c.mode != MODE_PALETTE_8BIT) continue;
    uint8_t r, g, b, a;
    ASSERT_EQ(picture.GetPaletteEntry(7, r, g, b, a), 1);
    EXPECT_EQ(Bytes({r, g, b, a}), Bytes({21, 14, 7, 200}));
  }
}

// A new texture: 8 bits, one palette of 256 opaque entries, its size.
TEST(Ff7Tex, SavedHeaderDescribesAPalettedTexture) {
  BitmapData picture;
  MakePicture(picture, 3, 2, MODE_PALETTE_8BIT, {1, 2, 3, 4, 5, 6});
  picture.SetPaletteEntry(2, 10, 20, 30, 0);
  const Bytes saved = SaveToBytes(picture, SaveFf7Tex);
  ASSERT_EQ(saved.size(), 236u + 1024 + 6);
  const std::pair<size_t, uint32_t> fields[] = {{0, 1},   {48, 1},   {52, 256}, {56, 8},  {60, 3},  {64, 2},
                                                {76, 1},  {80, 8},   {88, 256}, {92, 256}, {100, 8}, {104, 1}};
  for (const auto& [offset, value] : fields) EXPECT_EQ(GetLe32(saved, offset), value) << offset;
  EXPECT_EQ(Bytes(saved.begin() + 236 + 8, saved.begin() + 236 + 12), Bytes({30, 20, 10, 255}));
  EXPECT_EQ(Bytes(saved.end() - 6, saved.end()), Bytes({1, 2, 3, 4, 5, 6}));
  BitmapData rgb;
  MakePicture(rgb, 1, 1, MODE_RGB888, {1, 2, 3});
  LogCapture log;
  int result = -1;
  SaveToBytes(rgb, SaveFf7Tex, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(log.Contains("Source bitmap has to be 256 color paletted bitmap too.\n"));
}

TEST(Ff7Tex, DamagedAndHostileFilesAreRefusedBeforeAllocation) {
  struct Case {
    Bytes file;
    const char* message;
  };
  const Bytes four = {1, 2, 3, 4};
  Bytes endless_palette = Texture(8, 2, 2, 0, four);
  PutLe32(endless_palette, 88, 0xFFFFFFFF);
  const Case cases[] = {
      {Texture(8, 65536, 1, 0, four), "sizeX too large, max 65535\n"},
      {Texture(8, 1, 65536, 0, four), "sizeY too large, max 65535\n"},
      {Texture(24, 2, 2, 0, four), "unsupported colour depth !\n"},
      {Texture(8, 65535, 65535, 256, four), "too short"},
      {Texture(16, 65535, 65535, 0, four), "too short"},
      {endless_palette, "too short"},
      {Texture(8, 0, 2, 0, four), "no pixels"},
      {Bytes(100, 0), "shorter than its header"},
  };
  for (const Case& c : cases) ExpectRefused(LoadFf7Tex, c.file, c.message, true);
}

}  // namespace
}  // namespace zepcon::test
