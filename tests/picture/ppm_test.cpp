// Binary pixel map loader and saver: header layouts and refusals (other
// maxima and comments in real files are compared against ImageMagick in
// picture_corpus_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Ppm(const std::string& header, const Bytes& pixels) {
  Bytes file(header.begin(), header.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

Bytes LoadRgb(const Bytes& file) {
  BitmapData picture;
  if (LoadFromBytes(picture, LoadPpm, file) != 1) return {};
  EXPECT_EQ(picture.Mode(), MODE_RGB888);
  return RawPixels(picture);
}

TEST(PpmLoad, HeaderFieldsMayStandOnAnyLinesWithComments) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(LoadRgb(Ppm("P6\n2 1\n255\n", pixels)), pixels);
  EXPECT_EQ(LoadRgb(Ppm("P6\r\n# made by hand\r\n2\r\n1\r\n255\r", pixels)), pixels);
  EXPECT_EQ(LoadRgb(Ppm("P6 2 1 255\n", pixels)), pixels);
  // A pixel byte that looks like whitespace right after the header is data.
  EXPECT_EQ(LoadRgb(Ppm("P6\n1 1\n255\n", {'\n', ' ', '#'})), Bytes({'\n', ' ', '#'}));
}

TEST(PpmLoad, RefusalsSayWhy) {
  struct Case {
    std::string header;
    Bytes pixels;
    const char* message;
  };
  const Case cases[] = {
      {"P3\n1 1\n255\n", {'1', ' ', '2'}, "only binary pixel maps (P6)"},
      {"P5\n1 1\n255\n", {1}, "only binary pixel maps (P6)"},
      {"P6\n2 2\n255\n", {1, 2, 3}, "Error reading !\n"},
      {"P6\n1 99999999999999999999\n255\n", {1, 2, 3}, "bad header"},
      {"P6\n1 -1\n255\n", {1, 2, 3}, "bad header"},
      {"P6\n0 1\n255\n", {}, "empty picture"},
      {"P6\n1 1\n0\n", {1, 2, 3}, "bad maximum value 0"},
      {"P6\n1 1\n65536\n", {1, 2, 3}, "bad maximum value 65536"},
      {"P6\n1 1\n255", {}, "bad header"},
      {"P6\n60000 60000\n255\n", {1, 2, 3}, "file too short"},
      // width x height x 6 bytes wraps 64 bits to 12, which the file holds
      {"P6\n2147549185 4294836226\n65535\n", Bytes(12, 7), "file too short for 2147549185x4294836226"},
  };
  for (const Case& c : cases) ExpectRefused(LoadPpm, Ppm(c.header, c.pixels), c.message);
}

TEST(PpmSave, WritesTheHeaderAndRoundTrips) {
  BitmapData picture;
  NeutralSettings(picture);
  MakePicture(picture, 2, 1, MODE_BGRA8888, {3, 2, 1, 0, 6, 5, 4, 255});
  const Bytes file = SaveToBytes(picture, SavePpm);
  const std::string header = "P6\n2 1\n255\n";
  ASSERT_EQ(file.size(), header.size() + 6);
  EXPECT_EQ(std::string(file.begin(), file.begin() + header.size()), header);
  EXPECT_EQ(LoadRgb(file), Bytes({1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace zepcon::test
