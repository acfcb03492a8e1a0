// JPEG loader and saver: real files against ImageMagick (which decodes with
// the same JPEG library build and the same default IDCT and upsampling, so
// the pixels must agree exactly), hostile and damaged files, the row-size
// limits and the quality of saved files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

int SaveJpegFile(BitmapData& picture, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const int result = SaveJpeg(picture, file);
  std::fclose(file);
  return result;
}

// Over the colour bytes of two RGBA pictures.
double Psnr(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += i % 4 == 3 ? 0 : (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return squares == 0 ? 1000 : 10 * std::log10(255.0 * 255.0 / (squares / (double(a.size()) * 3 / 4)));
}

TEST(JpegCorpus, ReadableFilesMatchTheLibrarysOwnDecodingOthersFailWithAnError) {
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick missing";
  size_t readable = 0, refused = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    const bool bad = entry.path.find("/bad/") != std::string::npos;
    const bool jpeg_name = entry.path.ends_with(".jpg") || entry.path.ends_with(".JPG");
    if (entry.expected_name != "Jpeg picture" && !(jpeg_name && bad)) continue;
    SCOPED_TRACE(entry.path);
    BitmapData picture;
    LogCapture log;
    const int result = LoadFromFile(picture, LoadJpeg, CorpusPath(entry.path));
    // Damage inside a complete stream is repaired by the library as far as
    // it can (as every reader built on it does); such files may load.
    if (entry.notes.find("partial image or error") != std::string::npos) {
      if (result == 0) { EXPECT_FALSE(log.ErrorText().empty()); }
    } else if (bad || entry.notes.find("expected REFUSE") != std::string::npos) {
      ++refused;
      EXPECT_EQ(result, 0);
      EXPECT_FALSE(log.ErrorText().empty());
      EXPECT_FALSE(log.Contains("...jpg loaded"));
    } else {
      ++readable;
      ASSERT_EQ(result, 1) << log.Text();
      EXPECT_TRUE(log.Contains("...jpg loaded\n"));
      const Bytes ours = RgbaPixels(picture);
      const MagickPicture reference = MagickRead(CorpusPath(entry.path), "rgba", false);
      ASSERT_EQ(ours.size(), reference.rgba.size()) << picture.SizeX() << "x" << picture.SizeY();
      size_t differing = 0, first = 0;
      for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] != reference.rgba[i] && differing++ == 0) first = i;
      }
      EXPECT_EQ(differing, 0u) << "first at byte " << first;
    }
  }
  EXPECT_GE(readable, 20u);
  EXPECT_GE(refused, 5u);
}

// One, three and four components (inverted Adobe CMYK; its colours and
// opacity are compared against ImageMagick with the rest of the corpus).
TEST(JpegLoad, ComponentCountsChooseTheLayout) {
  struct Case {
    const char* file;
    uint32_t mode, width, height, streams;
  };
  const Case cases[] = {
      {"pictures/jpg/hopper_gray.jpg", MODE_GRAY_8BIT, 128, 128, 1},
      {"pictures/jpg/rgb_components_adobe0_500x333.jpg", MODE_RGB888, 500, 333, 3},
      {"pictures/jpg/mozilla_cmyk-2.jpg", MODE_BGRA8888, 256, 256, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadFromFile(picture, LoadJpeg, CorpusPath(c.file)), 1);
    EXPECT_EQ(picture.Mode(), c.mode);
    EXPECT_EQ(picture.SizeX(), c.width);
    EXPECT_EQ(picture.SizeY(), c.height);
    EXPECT_TRUE(log.Contains(" picture " + std::to_string(c.width) + " x " + std::to_string(c.height) + ", " +
                             std::to_string(c.streams) + " streams\n"))
        << log.Text();
  }
}

// A destroyed frame marker is reported with the library's message; a frame
// whose size the data cannot fill is refused before the picture is allocated.
TEST(JpegLoad, DamagedFrameHeadersAreRefused) {
  const Bytes whole = ReadBytes(CorpusDir() / "pictures/jpg/hopper_baseline_420.jpg");
  size_t frame = 0;
  for (size_t i = 2; i + 9 < whole.size() && !frame; ++i) frame = whole[i] == 0xFF && whole[i + 1] == 0xC0 ? i : 0;
  ASSERT_NE(frame, 0u);
  Bytes no_frame = whole;
  no_frame[frame + 1] = 0xCF;  // an undefined marker
  ExpectRefused(LoadJpeg, no_frame, "Jpeg err:(");
  ExpectRefused(LoadJpeg, no_frame, ") ... exiting\n");
  Bytes huge = whole;  // 4000 x 4000: far more blocks than 6 KB of data can code
  PutBe16(huge, frame + 5, 4000);
  PutBe16(huge, frame + 7, 4000);
  ExpectRefused(LoadJpeg, huge, "Picture of 4000 x 4000 pixels is larger than the file can hold", true);
}

TEST(JpegLoad, EveryTruncatedPrefixFailsCleanlyOrLoads) {
  for (const char* name : {"pictures/jpg/hopper_baseline_420.jpg", "pictures/jpg/restarts.jpg",
                           "pictures/jpg/mozilla_cmyk-1.jpg"}) {
    SCOPED_TRACE(name);
    // Only a stream missing nothing but its end marker may still load.
    EXPECT_LE(LoadEveryPrefix(LoadJpeg, ReadBytes(CorpusDir() / name)), 2u);
  }
}

void FillGradient(BitmapData& picture, uint32_t width, uint32_t height) {
  Bytes pixels;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      pixels.insert(pixels.end(), {uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t(x + y)});
  MakePicture(picture, width, height, MODE_RGB888, pixels);
}

// Rows of 65,535 bytes or more do not fit the line buffer. The saver takes
// 21,845 pixels of 3 bytes (exactly 65,535), the loader refuses them. A
// failed write is reported, not taken for success.
TEST(JpegSave, RowLimitsAndWriteFailure) {
  TempDir temp;
  BitmapData too_wide;
  FillGradient(too_wide, 21846, 1);
  LogCapture log;
  EXPECT_EQ(SaveJpegFile(too_wide, temp.File("too_wide.jpg")), 0);
  EXPECT_TRUE(log.Contains(" Can not save to jpeg, size x is too big.\n"));
  for (uint32_t width : {21845u, 21844u}) {
    SCOPED_TRACE(width);
    BitmapData picture, loaded;
    FillGradient(picture, width, 2);
    ASSERT_EQ(SaveJpegFile(picture, temp.File("wide.jpg")), 1);
    log.Clear();
    EXPECT_EQ(LoadFromFile(loaded, LoadJpeg, temp.File("wide.jpg")), width == 21844 ? 1 : 0);
    EXPECT_EQ(log.Contains("One line would not fit into buffer, exiting\n"), width == 21845);
    EXPECT_EQ(loaded.SizeX(), width == 21844 ? width : 0);
  }
  if (!std::filesystem::exists("/dev/full")) return;
  BitmapData picture;
  FillGradient(picture, 300, 300);
  log.Clear();
  EXPECT_EQ(SaveJpegFile(picture, "/dev/full"), 0);
  EXPECT_TRUE(log.Contains("Jpeg err:(")) << log.Text();
  EXPECT_FALSE(log.Contains("...jpg saved"));
}

// The saver keeps the library's default 2x2 chroma subsampling, so pictures
// with sharp colour edges lose more than photos: the synthetic CMYK test
// card gets a lower bound of its own.
TEST(JpegSave, QualityHundredStaysCloseToTheSource) {
  TempDir temp;
  const std::string path = temp.File("saved.jpg");
  const std::pair<const char*, double> cases[] = {{"pictures/jpg/hopper_baseline_420.jpg", 40},
                                                  {"pictures/jpg/hopper_gray.jpg", 40},
                                                  {"pictures/jpg/progressive3_650x470.jpg", 40},
                                                  {"pictures/jpg/tahoe-gps_2048x1536.jpg", 40},
                                                  {"pictures/jpg/mozilla_cmyk-2.jpg", 35}};
  for (const auto& [name, min_psnr] : cases) {
    SCOPED_TRACE(name);
    BitmapData source, reloaded;
    ASSERT_EQ(LoadFromFile(source, LoadJpeg, CorpusPath(name)), 1);
    const Bytes before = RgbaPixels(source);
    LogCapture log;
    ASSERT_EQ(SaveJpegFile(source, path), 1) << log.Text();
    EXPECT_TRUE(log.Contains("...jpg saved\n")) << log.Text();
    ASSERT_EQ(LoadFromFile(reloaded, LoadJpeg, path), 1);
    EXPECT_EQ(reloaded.Mode(), MODE_RGB888);  // always written as 3 components
    ASSERT_EQ(reloaded.SizeX(), source.SizeX());
    ASSERT_EQ(reloaded.SizeY(), source.SizeY());
    EXPECT_GE(Psnr(before, RgbaPixels(reloaded)), min_psnr);
    std::string quality;
    if (!HaveProgram("/usr/bin/identify")) continue;
    ASSERT_EQ(RunCommand("/usr/bin/identify -format %Q '" + path + "'", &quality), 0);
    EXPECT_EQ(quality, "100");
  }
}

}  // namespace
}  // namespace zepcon::test
