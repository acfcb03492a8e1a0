// BLP1 loader: palette pictures built byte by byte and checked by hand, real
// files of both kinds (the JPEG kind checked against ImageMagick's decoding
// of the same assembled stream), and damaged or foreign files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::CorpusDir;
using test::LogCapture;
using test::ReadBytes;
using test::TempDir;

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
         uint32_t{bytes[offset + 3]} << 24;
}

std::vector<uint8_t> BlpHeader(uint32_t compression, uint32_t width, uint32_t height) {
  std::vector<uint8_t> bytes(156, 0);
  std::memcpy(bytes.data(), "BLP1", 4);
  PutU32(bytes, 4, compression);
  PutU32(bytes, 8, 8);
  PutU32(bytes, 12, width);
  PutU32(bytes, 16, height);
  PutU32(bytes, 20, 5);
  return bytes;
}

// A palette picture: entry i holds blue i, green 255 - i, red i / 2 (the
// file's order), pixel indices as given, rows top first.
std::vector<uint8_t> PaletteBlp(uint32_t width, uint32_t height, const std::vector<uint8_t>& indices) {
  std::vector<uint8_t> bytes = BlpHeader(1, width, height);
  PutU32(bytes, 28, 156 + 1024);
  PutU32(bytes, 92, width * height);
  for (int i = 0; i < 256; ++i) {
    bytes.push_back(static_cast<uint8_t>(i));
    bytes.push_back(static_cast<uint8_t>(255 - i));
    bytes.push_back(static_cast<uint8_t>(i / 2));
    bytes.push_back(7);  // alpha byte of the entry: not used
  }
  bytes.insert(bytes.end(), indices.begin(), indices.end());
  return bytes;
}

// A JPEG picture: the stream split into a shared header and mipmap 0.
std::vector<uint8_t> JpegBlp(const std::vector<uint8_t>& stream, size_t header_length) {
  std::vector<uint8_t> bytes = BlpHeader(0, 7, 7);
  bytes.resize(160);
  PutU32(bytes, 156, static_cast<uint32_t>(header_length));
  bytes.insert(bytes.end(), stream.begin(), stream.begin() + header_length);
  PutU32(bytes, 28, static_cast<uint32_t>(bytes.size()));
  PutU32(bytes, 92, static_cast<uint32_t>(stream.size() - header_length));
  bytes.insert(bytes.end(), stream.begin() + header_length, stream.end());
  return bytes;
}

int LoadBlpBytes(BitmapData& picture, const std::vector<uint8_t>& bytes) {
  if (!picture.InitData()) return 0;
  FILE* file = std::tmpfile();
  if (!file) return 0;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::fclose(file);
    return 0;
  }
  std::rewind(file);
  const int result = LoadBlp(picture, file);
  std::fclose(file);
  return result;
}

int LoadFileWith(int (*loader)(BitmapData&, FILE*), BitmapData& picture, const std::string& path) {
  if (!picture.InitData()) return 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int result = loader(picture, file);
  std::fclose(file);
  return result;
}

std::vector<uint8_t> AllPixels(const BitmapData& picture) {
  std::vector<uint8_t> pixels(size_t{picture.PixelCount()} * picture.BytesPerPixel());
  EXPECT_EQ(picture.GetPixels(0, picture.PixelCount(), pixels.data()), 1);
  return pixels;
}

TEST(BlpPalette, IndicesAndPaletteComeThroughWithEntryZeroPink) {
  const std::vector<uint8_t> indices = {0, 1, 2, 200, 255, 0};
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadBlpBytes(picture, PaletteBlp(3, 2, indices)), 1) << log.Text();
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(picture.SizeX(), 3u);
  EXPECT_EQ(picture.SizeY(), 2u);
  EXPECT_EQ(AllPixels(picture), indices);
  uint8_t r, g, b, a;
  ASSERT_EQ(picture.GetPaletteEntry(0, r, g, b, a), 1);
  EXPECT_EQ((std::vector<int>{r, g, b, a}), (std::vector<int>{255, 0, 255, 255}));
  for (uint32_t i : {1u, 2u, 200u, 255u}) {
    ASSERT_EQ(picture.GetPaletteEntry(i, r, g, b, a), 1);
    EXPECT_EQ((std::vector<int>{r, g, b, a}), (std::vector<int>{int(i / 2), int(255 - i), int(i), 255})) << i;
  }
  EXPECT_TRUE(log.Contains("Loading blp...\nsize 3 x 2\nreading palette\nreading data\n...blp loaded\n"))
      << log.Text();
}

TEST(BlpPalette, PinkIndexZeroBecomesTransparentOnAlphaGain) {
  BitmapData picture;
  ASSERT_EQ(LoadBlpBytes(picture, PaletteBlp(2, 1, {0, 5})), 1);
  picture.settings.pink_to_alpha_zero = 1;
  picture.settings.alpha_activated = 1;
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_RGBA8888), 1);
  EXPECT_EQ(AllPixels(picture), (std::vector<uint8_t>{255, 0, 255, 0, 2, 250, 5, 255}));
}

// The banner's flag logo: the upper left pane is red, the lower left blue,
// which holds only when entries are read blue, green, red.
TEST(BlpPalette, RealBannerShowsItsColoursTheRightWayRound) {
  BitmapData picture;
  ASSERT_EQ(LoadFileWith(LoadBlp, picture, (CorpusDir() / "pictures/blp/zaa_sponsor_microsoft_512x128.blp").string()),
            1);
  ASSERT_EQ(picture.SizeX(), 512u);
  ASSERT_EQ(picture.SizeY(), 128u);
  auto colour = [&](uint32_t x, uint32_t y) {
    uint8_t index = 0, r = 0, g = 0, b = 0;
    EXPECT_EQ(picture.GetPixels(y * 512 + x, 1, &index), 1);
    EXPECT_EQ(picture.GetPaletteEntry(index, r, g, b), 1);
    return std::vector<int>{r, g, b};
  };
  const std::vector<int> red_pane = colour(460, 48);
  const std::vector<int> blue_pane = colour(460, 62);
  EXPECT_GT(red_pane[0], red_pane[2] + 100);
  EXPECT_GT(blue_pane[2], blue_pane[0] + 50);
}

TEST(BlpPalette, AllRealPalettePicturesLoad) {
  for (const char* name : {"blp1_alpha4.blp", "zaa_sponsor_zboard_512x128.blp", "zaa_tier5x-nightelf.blp"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "pictures/blp" / name);
    BitmapData picture;
    ASSERT_EQ(LoadBlpBytes(picture, bytes), 1);
    EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
    ASSERT_EQ(picture.SizeX(), GetU32(bytes, 12));
    ASSERT_EQ(picture.SizeY(), GetU32(bytes, 16));
    // The indices are the bytes straight after the palette.
    const std::vector<uint8_t> expected(bytes.begin() + 1180, bytes.begin() + 1180 + picture.PixelCount());
    EXPECT_EQ(AllPixels(picture), expected);
  }
}

// The stream as the file holds it: shared header (length from the file) and
// the first mipmap.
std::vector<uint8_t> AssembledStream(const std::vector<uint8_t>& bytes) {
  const uint32_t header_length = GetU32(bytes, 156);
  const uint32_t offset = GetU32(bytes, 28), size = GetU32(bytes, 92);
  std::vector<uint8_t> stream(bytes.begin() + 160, bytes.begin() + 160 + header_length);
  stream.insert(stream.end(), bytes.begin() + offset, bytes.begin() + offset + size);
  return stream;
}

// The four components (blue, green, red, alpha) have no colour marker, so
// ImageMagick takes them for inverted CMYK: its CMYK output is 255 minus the
// stored bytes.
TEST(BlpJpeg, RealPicturesMatchTheirAssembledStream) {
  if (!test::HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir temp;
  // Shared headers of 624, 292 and 10 bytes.
  for (const char* name : {"blp1_jpeg.blp", "war3mapMap.blp", "SmileyGW.blp", "zaa_TheDarkKnight.blp"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "pictures/blp" / name);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadBlpBytes(picture, bytes), 1) << log.Text();
    EXPECT_TRUE(log.Contains("Loading as jpg\nLoading jpg...\n"));
    EXPECT_TRUE(log.Contains("...jpg loaded\n...blp loaded through jpeg\n"));
    EXPECT_EQ(picture.Mode(), MODE_BGRA8888);

    const std::string stream_path = temp.File("stream.jpg");
    test::WriteBytes(stream_path, AssembledStream(bytes));
    std::string inverted;
    ASSERT_EQ(test::RunCommand("/usr/bin/convert '" + stream_path + "' -depth 8 cmyk:- 2>/dev/null", &inverted), 0);
    const std::vector<uint8_t> ours = AllPixels(picture);
    ASSERT_EQ(ours.size(), inverted.size());
    size_t differing = 0;
    for (size_t i = 0; i < ours.size(); ++i) differing += ours[i] != 255 - static_cast<uint8_t>(inverted[i]);
    EXPECT_EQ(differing, 0u);
  }
}

TEST(BlpJpeg, SplitStreamLoadsLikeTheWholeJpeg) {
  const std::vector<uint8_t> stream = ReadBytes(CorpusDir() / "pictures/jpg/mozilla_size-33x33.jpg");
  ASSERT_GT(stream.size(), 300u);
  BitmapData direct;
  ASSERT_EQ(LoadFileWith(LoadJpeg, direct, (CorpusDir() / "pictures/jpg/mozilla_size-33x33.jpg").string()), 1);
  for (size_t header_length : {size_t{2}, size_t{200}, stream.size() - 2}) {
    SCOPED_TRACE(header_length);
    BitmapData picture;
    ASSERT_EQ(LoadBlpBytes(picture, JpegBlp(stream, header_length)), 1);
    EXPECT_EQ(picture.Mode(), MODE_RGB888);
    EXPECT_EQ(picture.SizeX(), 33u);
    EXPECT_EQ(AllPixels(picture), AllPixels(direct));
  }
}

TEST(BlpDamaged, ForeignAndInconsistentFilesFailWithALoggedError) {
  for (const char* name : {"refuse/blp2_dxt1.blp", "refuse/blp2_raw.blp", "refuse/zaa_UI-Achievement-Watermark_BLP2.blp"}) {
    SCOPED_TRACE(name);
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadFileWith(LoadBlp, picture, (CorpusDir() / "pictures/blp" / name).string()), 0);
    EXPECT_TRUE(log.Contains("Not a BLP1 picture\n"));
  }
  // Its JPEG frame claims 64,512 columns that 2 KB of data cannot hold.
  {
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadFileWith(LoadBlp, picture, (CorpusDir() / "pictures/blp/blp1_jpeg2.blp").string()), 0);
    EXPECT_TRUE(log.Contains("larger than the file can hold")) << log.Text();
  }
  const std::vector<uint8_t> stream = ReadBytes(CorpusDir() / "pictures/jpg/mozilla_size-7x7.jpg");
  struct Case {
    const char* what;
    size_t field;
    uint32_t value;
    const char* message;
  };
  const Case cases[] = {
      {"mipmap offset past the end", 28, 1u << 30, "First mipmap"},
      {"mipmap size past the end", 92, 0xFFFFFFF0u, "First mipmap"},
      {"empty mipmap", 92, 0, "First mipmap"},
      {"shared header past the end", 156, 0xFFFFFFFFu, "passes the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = JpegBlp(stream, 100);
    PutU32(bytes, c.field, c.value);
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadBlpBytes(picture, bytes), 0);
    EXPECT_TRUE(log.Contains(c.message)) << log.Text();
  }
  {
    // 1000 x 1000 indices promised, six present.
    std::vector<uint8_t> bytes = PaletteBlp(3, 2, {1, 2, 3, 4, 5, 6});
    PutU32(bytes, 12, 1000);
    PutU32(bytes, 16, 1000);
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadBlpBytes(picture, bytes), 0);
    EXPECT_TRUE(log.Contains("File too short")) << log.Text();
    EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
  }
  {
    // A row wider than the line buffer.
    std::vector<uint8_t> bytes = PaletteBlp(65536, 1, std::vector<uint8_t>(65536, 3));
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadBlpBytes(picture, bytes), 0);
    EXPECT_TRUE(log.Contains("Sizex > buffer size; cant read !\n"));
  }
}

TEST(BlpDamaged, EveryTruncatedPrefixFailsCleanlyOrLoads) {
  const std::vector<uint8_t> stream = ReadBytes(CorpusDir() / "pictures/jpg/mozilla_size-7x7.jpg");
  const std::vector<std::vector<uint8_t>> files = {PaletteBlp(4, 3, std::vector<uint8_t>(12, 9)),
                                                   JpegBlp(stream, 150)};
  for (const std::vector<uint8_t>& whole : files) {
    size_t loaded = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
      BitmapData picture;
      LogCapture log;
      if (LoadBlpBytes(picture, std::vector<uint8_t>(whole.begin(), whole.begin() + length))) {
        ++loaded;
      } else {
        ASSERT_FALSE(log.ErrorText().empty()) << "length " << length;
      }
    }
    EXPECT_EQ(loaded, 0u);
    BitmapData picture;
    EXPECT_EQ(LoadBlpBytes(picture, whole), 1);
  }
}

}  // namespace
}  // namespace zepcon
