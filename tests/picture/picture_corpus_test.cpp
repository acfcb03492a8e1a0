// Every BMP, Targa, pixel map and SGI file of the corpus: the ones we read
// must give ImageMagick's pixels exactly; the ones we refuse must be
// refused with the loader's message; corrupt ones must fail cleanly.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

struct FormatCase {
  const char* folder;
  PictureCodec loader;
};

const FormatCase kFormats[] = {
    {"pictures/bmp/", LoadBmp},
    {"pictures/tga/", LoadTga},
    {"pictures/ppm/", LoadPpm},
    {"pictures/sgi/", LoadSgi},
};

// Well-formed files this program does not read, with the message it gives.
const std::map<std::string, std::string> kRefused = {
    // Bitmaps holding an embedded JPEG or PNG, and OS/2 run-length 24 bits
    // (which ImageMagick refuses too).
    {"pictures/bmp/rgb24jpeg.bmp", "sorry, compressed bitmaps not supported"},
    {"pictures/bmp/rgb24png.bmp", "sorry, compressed bitmaps not supported"},
    {"pictures/bmp/rgb24rle24.bmp", "sorry, compressed bitmaps not supported"},
    // Only binary pixel maps are read (the first picture here is a P1).
    {"pictures/ppm/multiple_images_concat.ppm", "only binary pixel maps (P6) are supported"},
    {"pictures/ppm/refuse/hopper_P3_plain.ppm", "only binary pixel maps (P6) are supported"},
    {"pictures/ppm/refuse/hopper_P5_16bit.ppm", "only binary pixel maps (P6) are supported"},
};

// 5-bit fields are widened by a shift (31 becomes 248), ImageMagick scales
// them (31 becomes 255): the top five bits of each colour must match, and
// alpha exactly.
const std::set<std::string> kFiveBitColour = {"pictures/tga/b5-cmap.tga", "pictures/tga/p_16.tga",
                                              "pictures/tga/rgb16.tga", "pictures/tga/zaa_rgb15.tga"};

// ImageMagick refuses this bitmap because its writer left the row padding
// out of the file and image sizes in the header; the rows themselves are
// whole. ImageMagick reads a copy with those two sizes corrected.
const char kMisSizedBitmap[] = "pictures/bmp/padding1_401x500.bmp";

std::string MagickReadablePath(const CorpusEntry& entry, const TempDir& temp) {
  const std::string path = (CorpusDir() / entry.path).string();
  if (entry.path != kMisSizedBitmap) return path;
  std::vector<uint8_t> bytes = ReadBytes(path);
  if (bytes.size() < 54) return path;
  PutLe32(bytes, 2, static_cast<uint32_t>(bytes.size()));
  PutLe32(bytes, 34, static_cast<uint32_t>(bytes.size() - 54));
  const std::string fixed = temp.File("fixed.bmp");
  WriteBytes(fixed, bytes);
  return fixed;
}

bool IsUnder(const std::string& path, const char* part) { return path.find(part) != std::string::npos; }

void CheckReadLikeMagick(const CorpusEntry& entry, PictureCodec loader) {
  const std::string path = (CorpusDir() / entry.path).string();
  BitmapData picture;
  LogCapture log;
  ASSERT_EQ(LoadFromFile(picture, loader, path), 1) << "LOADFAIL " << entry.path << ": " << log.ErrorText();
  TempDir temp;
  const MagickPicture magick = MagickRead(MagickReadablePath(entry, temp));
  ASSERT_TRUE(magick.ok) << "ImageMagick cannot read " << entry.path;
  ASSERT_EQ(picture.SizeX(), magick.width) << entry.path;
  ASSERT_EQ(picture.SizeY(), magick.height) << entry.path;
  const std::vector<uint8_t> ours = RgbaPixels(picture);
  ASSERT_EQ(ours.size(), magick.rgba.size()) << entry.path;
  const bool five_bit = kFiveBitColour.count(entry.path) != 0;
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const uint8_t theirs = five_bit && i % 4 != 3 ? magick.rgba[i] & 0xF8 : magick.rgba[i];
    if (ours[i] != theirs && differing++ == 0) first = i;
  }
  EXPECT_EQ(differing, 0u) << entry.path << ": first difference at byte " << first << " (pixel " << first / 4
                           << "): ours " << int{ours[first]} << ", ImageMagick " << int{magick.rgba[first]};
}

void CheckFailsCleanly(const CorpusEntry& entry, PictureCodec loader, const std::string& message) {
  const std::string path = (CorpusDir() / entry.path).string();
  BitmapData picture;
  LogCapture log;
  EXPECT_EQ(LoadFromFile(picture, loader, path), 0) << entry.path;
  EXPECT_FALSE(log.ErrorText().empty()) << entry.path << ": failed without saying why";
  if (!message.empty()) {
    EXPECT_TRUE(log.Contains(message)) << entry.path << " lacks \"" << message << "\"\n" << log.Text();
  }
}

TEST(PictureCorpus, EveryFileReadLikeMagickOrRefusedCleanly) {
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick not installed";
  size_t files = 0;
  for (const FormatCase& format : kFormats) {
    for (const CorpusEntry& entry : CorpusFiles(format.folder)) {
      ++files;
      SCOPED_TRACE(entry.path);
      const auto refused = kRefused.find(entry.path);
      // The manifest's notes on bitmaps were written before the fuller
      // bitmap reader; there the list above alone says what is refused.
      const bool expected_refusal =
          !IsUnder(entry.path, "/bad/") &&
          (IsUnder(entry.path, "/refuse/") ||
           (IsUnder(entry.notes, "expected REFUSE") && !IsUnder(entry.path, "pictures/bmp/")));
      if (expected_refusal) {
        EXPECT_NE(refused, kRefused.end()) << entry.path << " should be refused";
      }
      if (IsUnder(entry.path, "/bad/")) {
        CheckFailsCleanly(entry, format.loader, "");
      } else if (refused != kRefused.end()) {
        CheckFailsCleanly(entry, format.loader, refused->second);
      } else {
        CheckReadLikeMagick(entry, format.loader);
      }
    }
  }
  EXPECT_GT(files, 60u) << "corpus not found at " << CorpusDir();
}

}  // namespace
}  // namespace zepcon::test
