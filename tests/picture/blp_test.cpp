// BLP1 loader: palette pictures built byte by byte and checked by hand, real
// files of both kinds (the JPEG kind checked against ImageMagick's decoding
// of the same assembled stream), and damaged or foreign files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes BlpHeader(uint32_t compression, uint32_t width, uint32_t height) {
  Bytes bytes(156, 0);
  std::memcpy(bytes.data(), "BLP1", 4);
  PutLe32(bytes, 4, compression);
  PutLe32(bytes, 8, 8);
  PutLe32(bytes, 12, width);
  PutLe32(bytes, 16, height);
  PutLe32(bytes, 20, 5);
  return bytes;
}

// A palette picture: entry i holds blue i, green 255 - i, red i / 2 (the
// file's order) and an unused alpha byte, pixel indices as given.
Bytes PaletteBlp(uint32_t width, uint32_t height, const Bytes& indices) {
  Bytes bytes = BlpHeader(1, width, height);
  PutLe32(bytes, 28, 156 + 1024);
  PutLe32(bytes, 92, width * height);
  for (int i = 0; i < 256; ++i) bytes.insert(bytes.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 7});
  bytes.insert(bytes.end(), indices.begin(), indices.end());
  return bytes;
}

// A JPEG picture: the stream split into a shared header and mipmap 0.
Bytes JpegBlp(const Bytes& stream, size_t header_length) {
  Bytes bytes = BlpHeader(0, 7, 7);
  bytes.resize(160);
  PutLe32(bytes, 156, static_cast<uint32_t>(header_length));
  bytes.insert(bytes.end(), stream.begin(), stream.begin() + header_length);
  PutLe32(bytes, 28, static_cast<uint32_t>(bytes.size()));
  PutLe32(bytes, 92, static_cast<uint32_t>(stream.size() - header_length));
  bytes.insert(bytes.end(), stream.begin() + header_length, stream.end());
  return bytes;
}

// Entry 0 is pink, and turns transparent when alpha is gained.
TEST(BlpPalette, IndicesAndPaletteComeThroughWithEntryZeroPink) {
  const Bytes indices = {0, 1, 2, 200, 255, 0};
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(picture, LoadBlp, PaletteBlp(3, 2, indices)), 1) << log.Text();
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  EXPECT_EQ(picture.SizeX(), 3u);
  EXPECT_EQ(picture.SizeY(), 2u);
  EXPECT_EQ(RawPixels(picture), indices);
  uint8_t r, g, b, a;
  ASSERT_EQ(picture.GetPaletteEntry(200, r, g, b, a), 1);
  EXPECT_EQ(Bytes({r, g, b, a}), Bytes({100, 55, 200, 255}));
  EXPECT_TRUE(log.Contains("Loading blp...\nsize 3 x 2\nreading palette\nreading data\n...blp loaded\n"))
      << log.Text();
  picture.settings.pink_to_alpha_zero = 1;
  picture.settings.alpha_activated = 1;
  ASSERT_EQ(picture.BitmapConvertToMode(MODE_RGBA8888), 1);
  const Bytes rgba = RawPixels(picture);
  EXPECT_EQ(Bytes(rgba.begin(), rgba.begin() + 8), Bytes({255, 0, 255, 0, 0, 254, 1, 255}));
}

// The indices are the bytes straight after the palette. The banner's flag
// logo has a red upper left pane and a blue lower left one, which holds only
// when entries are read blue, green, red.
TEST(BlpPalette, RealPalettePicturesLoadTheirIndicesAndColours) {
  for (const char* name : {"blp1_alpha4.blp", "zaa_sponsor_zboard_512x128.blp", "zaa_tier5x-nightelf.blp",
                           "zaa_sponsor_microsoft_512x128.blp"}) {
    SCOPED_TRACE(name);
    const Bytes bytes = ReadBytes(CorpusDir() / "pictures/blp" / name);
    BitmapData picture;
    ASSERT_EQ(LoadFromBytes(picture, LoadBlp, bytes), 1);
    EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
    ASSERT_EQ(picture.SizeX(), GetLe32(bytes, 12));
    ASSERT_EQ(picture.SizeY(), GetLe32(bytes, 16));
    const Bytes indices = RawPixels(picture);
    EXPECT_EQ(indices, Bytes(bytes.begin() + 1180, bytes.begin() + 1180 + picture.PixelCount()));
    if (std::string(name).find("microsoft") == std::string::npos) continue;
    uint8_t red_pane[3], blue_pane[3];
    ASSERT_EQ(picture.GetPaletteEntry(indices[48 * 512 + 460], red_pane[0], red_pane[1], red_pane[2]), 1);
    ASSERT_EQ(picture.GetPaletteEntry(indices[62 * 512 + 460], blue_pane[0], blue_pane[1], blue_pane[2]), 1);
    EXPECT_GT(red_pane[0], red_pane[2] + 100);
    EXPECT_GT(blue_pane[2], blue_pane[0] + 50);
  }
}

// The four components (blue, green, red, alpha) have no colour marker, so
// ImageMagick takes the assembled stream (shared header, length from the
// file, then the first mipmap) for inverted CMYK: its output is 255 minus
// the stored bytes. Shared headers of 624, 292 and 10 bytes.
TEST(BlpJpeg, RealPicturesMatchTheirAssembledStream) {
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir temp;
  for (const char* name : {"blp1_jpeg.blp", "war3mapMap.blp", "SmileyGW.blp", "zaa_TheDarkKnight.blp"}) {
    SCOPED_TRACE(name);
    const Bytes bytes = ReadBytes(CorpusDir() / "pictures/blp" / name);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(picture, LoadBlp, bytes), 1) << log.Text();
    EXPECT_TRUE(log.Contains("Loading as jpg\nLoading jpg...\n"));
    EXPECT_TRUE(log.Contains("...jpg loaded\n...blp loaded through jpeg\n"));
    EXPECT_EQ(picture.Mode(), MODE_BGRA8888);
    const uint32_t offset = GetLe32(bytes, 28), size = GetLe32(bytes, 92);
    Bytes stream(bytes.begin() + 160, bytes.begin() + 160 + GetLe32(bytes, 156));
    stream.insert(stream.end(), bytes.begin() + offset, bytes.begin() + offset + size);
    WriteBytes(temp.File("stream.jpg"), stream);
    const MagickPicture inverted = MagickRead(temp.File("stream.jpg"), "cmyk", false);
    const Bytes ours = RawPixels(picture);
    ASSERT_EQ(ours.size(), inverted.rgba.size());
    size_t differing = 0;
    for (size_t i = 0; i < ours.size(); ++i) differing += ours[i] != 255 - inverted.rgba[i];
    EXPECT_EQ(differing, 0u);
  }
}

TEST(BlpDamaged, ForeignAndInconsistentFilesFailWithALoggedError) {
  struct Case {
    Bytes file;
    const char* message;
    bool unallocated = false;
  };
  std::vector<Case> cases;
  for (const char* name :
       {"refuse/blp2_dxt1.blp", "refuse/blp2_raw.blp", "refuse/zaa_UI-Achievement-Watermark_BLP2.blp"})
    cases.push_back({ReadBytes(CorpusDir() / "pictures/blp" / name), "Not a BLP1 picture\n"});
  // Its JPEG frame claims 64,512 columns that 2 KB of data cannot hold.
  cases.push_back({ReadBytes(CorpusDir() / "pictures/blp/blp1_jpeg2.blp"), "larger than the file can hold"});
  const Bytes stream = ReadBytes(CorpusDir() / "pictures/jpg/mozilla_size-7x7.jpg");
  // Mipmap offset, mipmap size (too large, empty) and shared header length.
  const std::pair<size_t, uint32_t> fields[] = {{28, 1u << 30}, {92, 0xFFFFFFF0u}, {92, 0}, {156, 0xFFFFFFFFu}};
  for (const auto& [field, value] : fields) {
    cases.push_back({JpegBlp(stream, 100), field == 156 ? "passes the end of the file" : "First mipmap"});
    PutLe32(cases.back().file, field, value);
  }
  // 1000 x 1000 indices promised, six present; a row wider than the buffer.
  cases.push_back({PaletteBlp(3, 2, {1, 2, 3, 4, 5, 6}), "File too short", true});
  PutLe32(cases.back().file, 12, 1000);
  PutLe32(cases.back().file, 16, 1000);
  cases.push_back({PaletteBlp(65536, 1, Bytes(65536, 3)), "Sizex > buffer size; cant read !\n"});
  for (const Case& c : cases) ExpectRefused(LoadBlp, c.file, c.message, c.unallocated);
}

TEST(BlpDamaged, EveryTruncatedPrefixFailsCleanly) {
  const Bytes stream = ReadBytes(CorpusDir() / "pictures/jpg/mozilla_size-7x7.jpg");
  EXPECT_EQ(LoadEveryPrefix(LoadBlp, PaletteBlp(4, 3, Bytes(12, 9))), 0u);
  EXPECT_EQ(LoadEveryPrefix(LoadBlp, JpegBlp(stream, 150)), 0u);
}

}  // namespace
}  // namespace zepcon::test
