// Pictures carried through every common format and back, and every prefix
// of small real files: each either loads or fails with a logged reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

struct Format {
  const char* name;
  PictureCodec loader;
  PictureCodec saver;
  bool keeps_alpha;
};

const Format kBmp = {"bmp", LoadBmp, SaveBmp, true};
const Format kTga = {"tga", LoadTga, SaveTga, true};
const Format kPpm = {"ppm", LoadPpm, SavePpm, false};
const Format kSgi = {"sgi", LoadSgi, SaveSgi, true};

// Saves `picture` as `format`, loads the bytes into `picture` again.
void PassThrough(BitmapData& picture, const Format& format) {
  int saved = 0;
  const Bytes bytes = SaveToBytes(picture, format.saver, &saved);
  ASSERT_EQ(saved, 1) << format.name;
  ASSERT_EQ(LoadFromBytes(picture, format.loader, bytes), 1) << format.name;
}

Bytes WithoutAlpha(Bytes rgba) {
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  return rgba;
}

void CheckChain(const std::string& corpus_file, PictureCodec loader, const std::vector<Format>& chain) {
  BitmapData picture;
  NeutralSettings(picture);
  ASSERT_EQ(LoadFromFile(picture, loader, CorpusPath(corpus_file)), 1) << corpus_file;
  const Bytes reference = RgbaPixels(picture);
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  bool alpha_kept = true;
  for (const Format& format : chain) {
    SCOPED_TRACE(format.name);
    PassThrough(picture, format);
    alpha_kept = alpha_kept && format.keeps_alpha;
    ASSERT_EQ(picture.SizeX(), width);
    ASSERT_EQ(picture.SizeY(), height);
    const Bytes now = RgbaPixels(picture);
    ASSERT_EQ(now, alpha_kept ? reference : WithoutAlpha(reference));
  }
}

// Colour, alpha (lost only in pixel maps), gray and paletted pictures.
TEST(PictureRoundTrip, PicturesThroughEveryFormat) {
  CheckChain("pictures/bmp/hopper.bmp", LoadBmp, {kTga, kPpm, kSgi, kBmp, kTga, kSgi, kPpm, kBmp});
  CheckChain("pictures/sgi/testcard_rgba_256.rgb", LoadSgi, {kTga, kBmp, kSgi, kTga, kPpm, kSgi});
  CheckChain("pictures/tga/200x32_l_tl_raw.tga", LoadTga, {kTga, kBmp, kSgi, kPpm, kTga});
  CheckChain("pictures/bmp/pal8.bmp", LoadBmp, {kBmp, kTga, kSgi, kBmp});
  CheckChain("pictures/tga/200x32_p_bl_rle.tga", LoadTga, {kBmp, kTga});
}

TEST(PictureRoundTrip, PalettedPictureStaysPalettedInBitmaps) {
  BitmapData picture, again;
  ASSERT_EQ(LoadFromFile(picture, LoadBmp, CorpusPath("pictures/bmp/pal8.bmp")), 1);
  const Bytes first = SaveToBytes(picture, SaveBmp);
  EXPECT_EQ(picture.Mode(), MODE_PALETTE_8BIT);
  ASSERT_EQ(LoadFromBytes(again, LoadBmp, first), 1);
  EXPECT_EQ(SaveToBytes(again, SaveBmp), first) << "a second save writes the same bytes";
}

TEST(PictureTruncation, EveryPrefixLoadsOrFailsWithAReason) {
  const std::pair<const char*, PictureCodec> cases[] = {
      {"pictures/bmp/Info_R8_G8_B8.bmp", LoadBmp},
      {"pictures/bmp/Info_8_Bit.bmp", LoadBmp},
      {"pictures/bmp/Info_A8_R8_G8_B8.bmp", LoadBmp},
      {"pictures/tga/cross_scan_line.tga", LoadTga},
      {"pictures/tga/b5-cmap.tga", LoadTga},
      {"pictures/tga/cmap_offset.tga", LoadTga},
      {"pictures/tga/imager_longid.tga", LoadTga},
      {"pictures/ppm/filltest_22x11.ppm", LoadPpm},
      {"pictures/ppm/maxval_256_2byte.ppm", LoadPpm},
      {"pictures/sgi/rleagr_20x20.rgb", LoadSgi},
      {"pictures/sgi/rgb-gimp-rle.rgb", LoadSgi},
  };
  for (const auto& [file, loader] : cases) {
    SCOPED_TRACE(file);
    // Only prefixes missing nothing but trailing bytes the pixels do not
    // need (a footer, the last row's padding) may load.
    EXPECT_LT(LoadEveryPrefix(loader, ReadBytes(CorpusDir() / file)), 30u);
  }
}

}  // namespace
}  // namespace zepcon::test
