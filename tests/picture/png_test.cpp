// PNG loader and saver: real files against ImageMagick's reading, other
// formats carried through PNG, each picture layout written and read back,
// and damaged files refused with a reason.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusPngs() {
  std::vector<fs::path> files;
  const fs::path folder = CorpusDir() / "pictures" / "png";
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == ".png") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

bool IsBrokenOnPurpose(const fs::path& path) { return path.filename().string().find("broken") != std::string::npos; }

// IHDR fields of a file: bit depth, colour type, interlace method.
struct Ihdr {
  uint32_t width, height, depth, colour_type, interlace;
};
Ihdr ReadIhdr(const Bytes& file) {
  if (file.size() < 29) return {};
  return {LoadBe32(&file[16]), LoadBe32(&file[20]), file[24], file[25], file[28]};
}

// The offset of the first chunk of `type`, or npos.
size_t FindChunk(const Bytes& file, const char* type) {
  for (size_t at = 8; at + 12 <= file.size();) {
    if (std::equal(type, type + 4, file.begin() + static_cast<long>(at) + 4)) return at;
    at += 12 + size_t{LoadBe32(&file[at])};
  }
  return std::string::npos;
}

// A gAMA chunk of exactly 1.0: the samples are linear light.
bool IsLinearLight(const Bytes& file) {
  const size_t gama = FindChunk(file, "gAMA");
  return gama != std::string::npos && gama + 12 <= file.size() && LoadBe32(&file[gama + 8]) == 100000;
}

// Writes a chunk's CRC again after its data were changed.
void FixCrc(Bytes& file, size_t chunk) {
  const uint32_t length = LoadBe32(&file[chunk]);
  const uLong crc = crc32(0, &file[chunk + 4], 4 + length);
  PutBe32(file, chunk + 8 + length, static_cast<uint32_t>(crc));
}

// Largest colour difference from ImageMagick allowed per file.
const std::map<std::string, int> kLinearSixteenBit = {{"basi0g16.png", 13}, {"basn2c16.png", 2}};

// Every real PNG that ImageMagick reads decodes to ImageMagick's RGBA,
// 16-bit and interlaced files among them; what it refuses, and the files
// broken on purpose, fail with a reason.
TEST(PngCorpus, EveryFileDecodesLikeMagickOrFailsWithAReason) {
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick not installed";
  const std::vector<fs::path> files = CorpusPngs();
  if (files.empty()) GTEST_SKIP() << "corpus not found at " << CorpusDir();
  size_t compared = 0, sixteen_bit = 0, interlaced = 0, paletted = 0, refused = 0;
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    const Bytes bytes = ReadBytes(path);
    const MagickPicture magick = MagickRead(path.string());
    BitmapData picture;
    LogCapture log;
    const int loaded = LoadFromBytes(picture, LoadPng, bytes);
    if (IsBrokenOnPurpose(path) || !magick.ok) {
      EXPECT_EQ(loaded, 0) << "ImageMagick refuses it";
      EXPECT_FALSE(log.ErrorText().empty()) << "failed without a reason";
      ++refused;
      continue;
    }
    ASSERT_EQ(loaded, 1) << log.ErrorText();
    ASSERT_EQ(picture.SizeX(), magick.width);
    ASSERT_EQ(picture.SizeY(), magick.height);
    const Ihdr header = ReadIhdr(bytes);
    sixteen_bit += header.depth == 16;
    interlaced += header.interlace == 1;
    paletted += header.colour_type == 3;
    const Bytes ours = RgbaPixels(picture);
    ASSERT_EQ(ours.size(), magick.rgba.size());
    // Linear 16-bit samples (gamma 1.0): we encode them with the sRGB
    // formula; ImageMagick's encoding of these two files strays from it near
    // black (basi0g16: the sample 512 of pixel 0,1 is 22 by the formula, 13
    // by ImageMagick; see SixteenBitLinearSamplesFollowTheSrgbFormula).
    const auto exception = kLinearSixteenBit.find(path.filename().string());
    const int allowed = exception == kLinearSixteenBit.end() ? 0 : exception->second;
    EXPECT_EQ(allowed != 0, header.depth == 16 && IsLinearLight(bytes)) << "exception list out of date";
    size_t differing = 0, first = 0;
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (std::abs(int{ours[i]} - int{magick.rgba[i]}) > (i % 4 == 3 ? 0 : allowed) && differing++ == 0) first = i;
      worst = std::max(worst, std::abs(int{ours[i]} - int{magick.rgba[i]}));
    }
    EXPECT_EQ(differing, 0u) << "worst " << worst << ", first difference at byte " << first << ": ours " << int{ours[first]}
                             << ", ImageMagick " << int{magick.rgba[first]};
    ++compared;
  }
  EXPECT_GE(compared, 20u);
  EXPECT_GE(sixteen_bit, 2u);
  EXPECT_GE(interlaced, 2u);
  EXPECT_GE(paletted, 5u);
  EXPECT_GE(refused, 1u);
}

// The samples of basi0g16 (16-bit gray, gamma 1.0, interlaced) as the file
// stores them, encoded by the sRGB formula (computed apart from this code).
TEST(PngCorpus, SixteenBitLinearSamplesFollowTheSrgbFormula) {
  const std::string path = CorpusPath("pictures/png/basi0g16.png");
  if (!fs::exists(path)) GTEST_SKIP() << "corpus not found at " << CorpusDir();
  BitmapData picture;
  ASSERT_EQ(LoadFromFile(picture, LoadPng, path), 1);
  ASSERT_EQ(picture.Mode(), MODE_GRAY_8BIT);
  ASSERT_EQ(picture.SizeX(), 32u);
  struct Sample {
    uint32_t x, y;
    uint8_t gray;  // stored sample in the comment
  };
  const Sample samples[] = {{0, 0, 0}, {1, 0, 53} /* 2304 */, {0, 1, 22} /* 512 */, {31, 31, 13} /* 255 */};
  for (const Sample& s : samples) {
    uint8_t gray = 0;
    ASSERT_EQ(picture.GetPixels(s.y * 32 + s.x, 1, &gray), 1);
    EXPECT_EQ(gray, s.gray) << s.x << "," << s.y;
  }
}

// Pictures loaded from other formats are written as PNG and read back to
// the same pixels, by our loader and by ImageMagick.
TEST(PngSave, OtherFormatsThroughPngKeepTheirPixels) {
  struct Case {
    const char* file;
    PictureCodec loader;
  };
  const Case cases[] = {
      {"pictures/bmp/rgb24.bmp", LoadBmp},          {"pictures/bmp/pal8.bmp", LoadBmp},
      {"pictures/tga/200x32_rgba_bl_rle.tga", LoadTga}, {"pictures/tga/200x32_l_tl_raw.tga", LoadTga},
      {"pictures/jpg/hopper_baseline_420.jpg", LoadJpeg},
  };
  TempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = CorpusPath(c.file);
    if (!fs::exists(path)) GTEST_SKIP() << "corpus not found at " << CorpusDir();
    BitmapData source, back;
    ASSERT_EQ(LoadFromFile(source, c.loader, path), 1);
    NeutralSettings(source);
    const uint32_t loaded_mode = source.Mode();
    const Bytes png = SaveToBytes(source, SavePng);
    ASSERT_FALSE(png.empty());
    ASSERT_EQ(LoadFromBytes(back, LoadPng, png), 1);
    if (loaded_mode == MODE_PALETTE_8BIT || loaded_mode == MODE_GRAY_8BIT) {
      EXPECT_EQ(back.Mode(), loaded_mode);  // palette and gray stay what they were
    }
    const Bytes expected = RgbaPixels(source);
    EXPECT_EQ(RgbaPixels(back), expected);
    if (HaveProgram("/usr/bin/convert")) {
      const std::string written = temp.File("written.png");
      WriteBytes(written, png);
      const MagickPicture magick = MagickRead(written);
      ASSERT_TRUE(magick.ok);
      EXPECT_EQ(magick.rgba, expected);
    }
  }
}

// Each layout is written in the PNG colour type that keeps it: palettes
// stay palettes with their transparency, alpha stays alpha.
TEST(PngSave, EachLayoutKeepsPaletteAndAlpha) {
  struct Case {
    uint32_t mode;
    Bytes pixels;  // 2 x 1
    uint32_t colour_type;
    uint32_t mode_read_back;
    Bytes rgba = {};  // when the picture's own mode cannot say it
  };
  const Case cases[] = {
      {MODE_PALETTE_8BIT, {3, 200}, 3, MODE_PALETTE_8BIT},
      {MODE_PALETTE_4BIT, {0x53}, 3, MODE_PALETTE_8BIT, {30, 20, 30, 255, 50, 20, 30, 255}},
      {MODE_GRAY_8BIT, {0, 254}, 0, MODE_GRAY_8BIT},
      {MODE_GRAY_ALPHA_88, {10, 0, 250, 128}, 4, MODE_GRAY_ALPHA_88},
      {MODE_RGB888, {1, 2, 3, 4, 5, 6}, 2, MODE_RGB888},
      {MODE_BGR888, {1, 2, 3, 4, 5, 6}, 2, MODE_RGB888},
      {MODE_RGB565, {0x1F, 0x00, 0xE0, 0x07}, 2, MODE_RGB888},
      {MODE_RGBA8888, {1, 2, 3, 0, 4, 5, 6, 77}, 6, MODE_RGBA8888},
      {MODE_BGRA8888, {1, 2, 3, 0, 4, 5, 6, 77}, 6, MODE_RGBA8888},
      {MODE_BGRA5551, {0x1F, 0x80, 0xE0, 0x03}, 6, MODE_RGBA8888},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    BitmapData picture, back;
    MakePicture(picture, 2, 1, c.mode, c.pixels);
    NeutralSettings(picture);
    for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(picture.SetPaletteEntry(i, 10 * i, 20, 30, 255), 1);
    if (c.mode == MODE_PALETTE_8BIT) {
      ASSERT_EQ(picture.SetPaletteEntry(3, 1, 2, 3, 0), 1);
      ASSERT_EQ(picture.SetPaletteEntry(200, 9, 8, 7, 100), 1);
    }
    const Bytes png = SaveToBytes(picture, SavePng);
    ASSERT_FALSE(png.empty());
    const Ihdr header = ReadIhdr(png);
    EXPECT_EQ(header.colour_type, c.colour_type);
    EXPECT_EQ(header.depth, 8u);
    // Transparency of a palette is written only where the palette has it.
    EXPECT_EQ(FindChunk(png, "tRNS") != std::string::npos, c.mode == MODE_PALETTE_8BIT);
    ASSERT_EQ(LoadFromBytes(back, LoadPng, png), 1);
    EXPECT_EQ(back.Mode(), c.mode_read_back);
    EXPECT_EQ(RgbaPixels(back), c.rgba.empty() ? RgbaPixels(picture) : c.rgba);
  }
}

// The first palette entries of a paletted file with transparency keep their
// alpha in the loaded palette, not only in the converted pixels.
TEST(PngLoad, PaletteTransparencyIsKeptInThePalette) {
  const std::string path = CorpusPath("pictures/png/tbbn3p08.png");
  if (!fs::exists(path)) GTEST_SKIP() << "corpus not found at " << CorpusDir();
  BitmapData picture;
  ASSERT_EQ(LoadFromFile(picture, LoadPng, path), 1);
  ASSERT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  const Bytes file = ReadBytes(path);
  const size_t trns = FindChunk(file, "tRNS");
  ASSERT_NE(trns, std::string::npos);
  const uint32_t entries = LoadBe32(&file[trns]);
  ASSERT_GT(entries, 0u);
  for (uint32_t i = 0; i < entries; ++i) {
    uint8_t red, green, blue, alpha = 0;
    ASSERT_EQ(picture.GetPaletteEntry(i, red, green, blue, alpha), 1);
    EXPECT_EQ(alpha, file[trns + 8 + i]) << "entry " << i;
  }
}

// Damaged and cut files fail with a logged reason; a file cut anywhere
// before its last pixel never loads.
TEST(PngLoad, DamagedFilesFailWithAReason) {
  BitmapData picture;
  Bytes pixels(64 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  MakePicture(picture, 8, 8, MODE_RGBA8888, pixels);
  const Bytes good = SaveToBytes(picture, SavePng);
  ASSERT_FALSE(good.empty());
  const size_t idat = FindChunk(good, "IDAT");
  const size_t iend = FindChunk(good, "IEND");
  ASSERT_NE(idat, std::string::npos);
  ASSERT_NE(iend, std::string::npos);

  Bytes bad_crc = good;
  bad_crc[idat + 10] ^= 0x55;
  Bytes bad_data = bad_crc;
  FixCrc(bad_data, idat);  // the checksum agrees, the compressed data do not
  Bytes huge = good;
  PutBe32(huge, 16, 100000);
  PutBe32(huge, 20, 100000);
  FixCrc(huge, 8);
  Bytes bad_depth = good;
  bad_depth[24] = 3;  // RGBA of 3 bits does not exist
  FixCrc(bad_depth, 8);
  struct Case {
    Bytes file;
    const char* message;
  };
  const Case cases[] = {
      {Bytes(good.begin(), good.begin() + 7), "no PNG signature"},
      {Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}, "no PNG signature"},
      {Bytes(good.begin(), good.begin() + static_cast<long>(idat) + 20), "cut short"},
      {bad_crc, "png: damaged file"},
      {bad_data, "png: damaged file"},
      {huge, "larger than the file can hold"},
      {bad_depth, "png: damaged file"},
  };
  for (const Case& c : cases) ExpectRefused(LoadPng, c.file, c.message);

  // Any cut before the end of the pixel data fails; only the chunks after
  // the pixels may be missing.
  const size_t loaded = LoadEveryPrefix(LoadPng, good);
  EXPECT_LE(loaded, good.size() - iend);
}

}  // namespace
}  // namespace zepcon::test
