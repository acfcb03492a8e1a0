// JPEG loader and saver: real files against ImageMagick (which decodes with
// the same JPEG library build and the same default IDCT and upsampling, so
// the pixels must agree exactly), hostile and damaged files, the row-size
// limits and the quality of saved files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
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

int LoadJpegFile(BitmapData& picture, const std::string& path) {
  if (!picture.InitData()) return 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int result = LoadJpeg(picture, file);
  std::fclose(file);
  return result;
}

int LoadJpegBytes(BitmapData& picture, const std::vector<uint8_t>& bytes) {
  if (!picture.InitData()) return 0;
  FILE* file = std::tmpfile();
  if (!file) return 0;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::fclose(file);
    return 0;
  }
  std::rewind(file);
  const int result = LoadJpeg(picture, file);
  std::fclose(file);
  return result;
}

int SaveJpegFile(BitmapData& picture, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const int result = SaveJpeg(picture, file);
  std::fclose(file);
  return result;
}

// The picture's pixels as red, green, blue bytes, read from its own layout
// by hand (not through the conversions, which apply the alpha options).
std::vector<uint8_t> PixelsAsRgb(const BitmapData& picture) {
  const uint32_t count = picture.PixelCount();
  const uint32_t bytes = picture.BytesPerPixel();
  std::vector<uint8_t> raw(size_t{count} * bytes);
  EXPECT_EQ(picture.GetPixels(0, count, raw.data()), 1);
  std::vector<uint8_t> rgb(size_t{count} * 3);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + i * bytes;
    uint8_t* q = rgb.data() + i * 3;
    switch (picture.Mode()) {
      case MODE_GRAY_8BIT:
        q[0] = q[1] = q[2] = p[0];
        break;
      case MODE_RGB888:
        q[0] = p[0], q[1] = p[1], q[2] = p[2];
        break;
      case MODE_BGRA8888:
        q[0] = p[2], q[1] = p[1], q[2] = p[0];
        break;
      default:
        ADD_FAILURE() << "unexpected mode " << picture.Mode();
        return {};
    }
  }
  return rgb;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// ImageMagick's decoding of the first image of the file, 8-bit RGB.
std::vector<uint8_t> ImageMagickRgb(const std::string& path) {
  std::string output;
  const int status = test::RunCommand("/usr/bin/convert " + Quoted(path + "[0]") + " -depth 8 rgb:- 2>/dev/null", &output);
  if (status != 0) return {};
  return std::vector<uint8_t>(output.begin(), output.end());
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    squares += d * d;
  }
  if (squares == 0) return 1000;
  return 10 * std::log10(255.0 * 255.0 / (squares / double(a.size())));
}

std::string CorpusPath(const std::string& relative) { return (CorpusDir() / relative).string(); }

// Corpus rows typed as JPEG; the manifest notes say which must be refused.
struct JpegCorpusFiles {
  std::vector<std::string> readable;
  std::vector<std::string> refused;
  std::vector<std::string> either;
};

JpegCorpusFiles CollectJpegCorpus() {
  JpegCorpusFiles files;
  for (const test::CorpusEntry& entry : test::CorpusManifest()) {
    const bool jpeg_name = entry.path.size() > 4 && (entry.path.ends_with(".jpg") || entry.path.ends_with(".JPG"));
    if (entry.expected_name != "Jpeg picture" && !(jpeg_name && entry.path.find("/bad/") != std::string::npos))
      continue;
    // Damage inside a complete stream is repaired by the library as far as it
    // can (as every reader built on it does); such files may load.
    if (entry.notes.find("partial image or error") != std::string::npos) {
      files.either.push_back(entry.path);
      continue;
    }
    const bool refuse = entry.path.find("/bad/") != std::string::npos ||
                        entry.notes.find("expected REFUSE") != std::string::npos;
    (refuse ? files.refused : files.readable).push_back(entry.path);
  }
  return files;
}

TEST(JpegCorpus, EveryReadableFileMatchesTheLibrarysOwnDecoding) {
  if (!test::HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  const JpegCorpusFiles files = CollectJpegCorpus();
  ASSERT_GE(files.readable.size(), 20u);
  for (const std::string& relative : files.readable) {
    SCOPED_TRACE(relative);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadJpegFile(picture, CorpusPath(relative)), 1) << log.Text();
    EXPECT_TRUE(log.Contains("...jpg loaded\n"));
    const std::vector<uint8_t> ours = PixelsAsRgb(picture);
    const std::vector<uint8_t> reference = ImageMagickRgb(CorpusPath(relative));
    ASSERT_EQ(ours.size(), reference.size()) << picture.SizeX() << "x" << picture.SizeY();
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (ours[i] != reference[i] && differing++ == 0) first = i;
    }
    EXPECT_EQ(differing, 0u) << "first at byte " << first << ": " << int(ours[first]) << " vs "
                             << int(reference[first]);
  }
}

TEST(JpegCorpus, DamagedAndUnsupportedFilesFailWithALoggedError) {
  const JpegCorpusFiles files = CollectJpegCorpus();
  ASSERT_GE(files.refused.size(), 5u);
  for (const std::string& relative : files.refused) {
    SCOPED_TRACE(relative);
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadJpegFile(picture, CorpusPath(relative)), 0);
    EXPECT_FALSE(log.ErrorText().empty());
    EXPECT_FALSE(log.Contains("...jpg loaded"));
  }
  for (const std::string& relative : files.either) {
    SCOPED_TRACE(relative);
    BitmapData picture;
    LogCapture log;
    if (LoadJpegFile(picture, CorpusPath(relative)) == 0) {
      EXPECT_FALSE(log.ErrorText().empty());
    }
  }
}

TEST(JpegLoad, ComponentCountsChooseTheLayout) {
  struct Case {
    const char* file;
    uint32_t mode;
    uint32_t width, height;
  };
  const Case cases[] = {
      {"pictures/jpg/hopper_gray.jpg", MODE_GRAY_8BIT, 128, 128},
      {"pictures/jpg/grayscale_sampling2x2.jpg", MODE_GRAY_8BIT, 16, 24},
      {"pictures/jpg/hopper_baseline_420.jpg", MODE_RGB888, 128, 128},
      {"pictures/jpg/rgb_components_adobe0_500x333.jpg", MODE_RGB888, 500, 333},
      {"pictures/jpg/mozilla_cmyk-2.jpg", MODE_BGRA8888, 256, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadJpegFile(picture, CorpusPath(c.file)), 1);
    EXPECT_EQ(picture.Mode(), c.mode);
    EXPECT_EQ(picture.SizeX(), c.width);
    EXPECT_EQ(picture.SizeY(), c.height);
    const std::string streams = c.mode == MODE_GRAY_8BIT ? "1" : c.mode == MODE_RGB888 ? "3" : "4";
    EXPECT_TRUE(log.Contains(" picture " + std::to_string(c.width) + " x " + std::to_string(c.height) + ", " +
                             streams + " streams\n"))
        << log.Text();
  }
}

// Inverted CMYK is turned into colours; every pixel is opaque, and a pixel
// of no ink is white.
TEST(JpegLoad, AdobeCmykBecomesOpaqueColour) {
  BitmapData picture;
  ASSERT_EQ(LoadJpegFile(picture, CorpusPath("pictures/jpg/mozilla_cmyk-2.jpg")), 1);
  std::vector<uint8_t> raw(size_t{picture.PixelCount()} * 4);
  ASSERT_EQ(picture.GetPixels(0, picture.PixelCount(), raw.data()), 1);
  for (size_t i = 3; i < raw.size(); i += 4) ASSERT_EQ(raw[i], 255) << "pixel " << i / 4;
  EXPECT_EQ(raw[0], 255);  // the top left corner carries no ink
  EXPECT_EQ(raw[1], 255);
  EXPECT_EQ(raw[2], 255);
}

TEST(JpegLoad, CorruptStreamReportsTheLibraryMessageAndFails) {
  std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "pictures/jpg/hopper_baseline_420.jpg");
  ASSERT_GT(bytes.size(), 100u);
  // Destroy the start-of-frame marker: the library finds no frame header.
  for (size_t i = 2; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 1] = 0xC3 + 0x0C;  // an undefined marker (0xCF)
      break;
    }
  }
  BitmapData picture;
  LogCapture log;
  EXPECT_EQ(LoadJpegBytes(picture, bytes), 0);
  EXPECT_TRUE(log.Contains("Jpeg err:(")) << log.Text();
  EXPECT_TRUE(log.Contains(") ... exiting\n")) << log.Text();
}

TEST(JpegLoad, EveryTruncatedPrefixFailsCleanlyOrLoads) {
  for (const char* name : {"pictures/jpg/hopper_baseline_420.jpg", "pictures/jpg/restarts.jpg",
                           "pictures/jpg/mozilla_cmyk-1.jpg"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> whole = ReadBytes(CorpusDir() / name);
    ASSERT_FALSE(whole.empty());
    size_t loaded = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
      BitmapData picture;
      LogCapture log;
      const int result = LoadJpegBytes(picture, std::vector<uint8_t>(whole.begin(), whole.begin() + length));
      if (result) {
        ++loaded;
      } else {
        ASSERT_FALSE(log.ErrorText().empty()) << "length " << length;
      }
    }
    // Only a stream missing nothing but its end marker may still load.
    EXPECT_LE(loaded, 2u);
    BitmapData picture;
    EXPECT_EQ(LoadJpegBytes(picture, whole), 1);
  }
}

// A header whose size the data cannot possibly fill is refused before the
// picture is allocated.
TEST(JpegLoad, DeclaredSizeBeyondTheDataIsRefused) {
  std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "pictures/jpg/hopper_baseline_420.jpg");
  size_t frame = 0;
  for (size_t i = 2; i + 9 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      frame = i;
      break;
    }
  }
  ASSERT_NE(frame, 0u);
  // 4000 x 4000: far more blocks than 6 KB of data can code.
  bytes[frame + 5] = 4000 >> 8, bytes[frame + 6] = 4000 & 255;
  bytes[frame + 7] = 4000 >> 8, bytes[frame + 8] = 4000 & 255;
  BitmapData picture;
  LogCapture log;
  EXPECT_EQ(LoadJpegBytes(picture, bytes), 0);
  EXPECT_TRUE(log.Contains("Picture of 4000 x 4000 pixels is larger than the file can hold")) << log.Text();
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
}

void FillGradient(BitmapData& picture, uint32_t width, uint32_t height) {
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(width, height, MODE_RGB888), 1);
  std::vector<uint8_t> row(size_t{width} * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      row[x * 3 + 2] = static_cast<uint8_t>((x + y) & 255);
    }
    ASSERT_EQ(picture.SetPixels(y * width, width, row.data()), 1);
  }
}

// Rows of 65,535 bytes or more do not fit the line buffer. The saver takes
// 21,845 pixels of 3 bytes (exactly 65,535), the loader refuses them.
TEST(JpegRowLimits, SaverTakesExactlyTheBufferLoaderOneByteLess) {
  TempDir temp;
  {
    BitmapData picture;
    FillGradient(picture, 21846, 1);
    LogCapture log;
    EXPECT_EQ(SaveJpegFile(picture, temp.File("too_wide.jpg")), 0);
    EXPECT_TRUE(log.Contains(" Can not save to jpeg, size x is too big.\n"));
  }
  for (uint32_t width : {21845u, 21844u}) {
    SCOPED_TRACE(width);
    BitmapData picture;
    FillGradient(picture, width, 2);
    const std::string path = temp.File("wide" + std::to_string(width) + ".jpg");
    ASSERT_EQ(SaveJpegFile(picture, path), 1);
    BitmapData loaded;
    LogCapture log;
    const int result = LoadJpegFile(loaded, path);
    if (width == 21845) {
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(log.Contains("One line would not fit into buffer, exiting\n"));
    } else {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(loaded.SizeX(), width);
    }
  }
}

// The saver keeps the library's default 2x2 chroma subsampling, so pictures
// with sharp colour edges lose more than photos: the synthetic CMYK test
// card gets a lower bound of its own.
TEST(JpegSave, QualityHundredStaysCloseToTheSource) {
  TempDir temp;
  struct Case {
    const char* name;
    double min_psnr;
  };
  for (const Case& c : {Case{"pictures/jpg/hopper_baseline_420.jpg", 40}, Case{"pictures/jpg/hopper_gray.jpg", 40},
                        Case{"pictures/jpg/progressive3_650x470.jpg", 40},
                        Case{"pictures/jpg/tahoe-gps_2048x1536.jpg", 40}, Case{"pictures/jpg/mozilla_cmyk-2.jpg", 35}}) {
    const char* name = c.name;
    SCOPED_TRACE(name);
    BitmapData source;
    ASSERT_EQ(LoadJpegFile(source, CorpusPath(name)), 1);
    const std::vector<uint8_t> before = PixelsAsRgb(source);
    const std::string path = temp.File("saved.jpg");
    LogCapture log;
    ASSERT_EQ(SaveJpegFile(source, path), 1) << log.Text();
    EXPECT_TRUE(log.Contains(" compress created\n destination assigned\n"));
    EXPECT_TRUE(log.Contains(" writing .. finished.\n"));
    EXPECT_TRUE(log.Contains("...jpg saved\n"));
    EXPECT_EQ(source.Mode(), MODE_RGB888);

    BitmapData reloaded;
    ASSERT_EQ(LoadJpegFile(reloaded, path), 1);
    EXPECT_EQ(reloaded.Mode(), MODE_RGB888);  // always written as 3 components
    ASSERT_EQ(reloaded.SizeX(), source.SizeX());
    ASSERT_EQ(reloaded.SizeY(), source.SizeY());
    const double psnr = Psnr(before, PixelsAsRgb(reloaded));
    EXPECT_GE(psnr, c.min_psnr);
    std::printf("  %s saved at quality 100: PSNR %.2f dB\n", name, psnr);

    if (test::HaveProgram("/usr/bin/identify")) {
      std::string quality;
      ASSERT_EQ(test::RunCommand("/usr/bin/identify -format %Q " + Quoted(path), &quality), 0);
      EXPECT_EQ(quality, "100");
    }
  }
}

TEST(JpegSave, WriteFailureIsReportedNotIgnored) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  BitmapData picture;
  FillGradient(picture, 300, 300);
  LogCapture log;
  EXPECT_EQ(SaveJpegFile(picture, "/dev/full"), 0);
  EXPECT_TRUE(log.Contains("Jpeg err:(")) << log.Text();
  EXPECT_FALSE(log.Contains("...jpg saved"));
}

}  // namespace
}  // namespace zepcon
