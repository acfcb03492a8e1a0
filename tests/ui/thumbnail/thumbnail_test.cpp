// The desktop thumbnails: pictures shrunk to fit, models drawn offscreen
// with the preview's drawing code, and the command the desktop runs, which
// is run without a display, as the desktop runs a thumbnailer.
#include "ui/thumbnail.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "support/test_support.h"

// The software renderer keeps a few allocations of its own until exit; the
// leak checker of the sanitizer build is told so (the same list is handed
// to the thumbnailer runs below).
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }

namespace zepcon::ui {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;
using test::RunCommand;
using test::TempDir;
using test::WriteText;

Thumbnail Solid(uint32_t w, uint32_t h, std::vector<std::array<uint8_t, 4>> pixels) {
  Thumbnail t;
  t.width = w;
  t.height = h;
  for (const auto& p : pixels) t.rgba.insert(t.rgba.end(), p.begin(), p.end());
  return t;
}

std::array<uint8_t, 4> PixelAt(const Thumbnail& t, uint32_t x, uint32_t y) {
  const uint8_t* p = &t.rgba[(size_t{y} * t.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

TEST(ShrinkToFit, AveragesBlocksKeepsProportionsAndIgnoresTransparentColour) {
  const std::array<uint8_t, 4> red{255, 0, 0, 255}, blue{0, 0, 255, 255}, clear{0, 0, 0, 0};
  // 4 x 2: a red 2 x 2 block left of a blue one.
  const Thumbnail blocks = Solid(4, 2, {red, red, blue, blue, red, red, blue, blue});
  const Thumbnail two = ShrinkToFit(blocks, 2);
  ASSERT_EQ(two.width, 2u);
  ASSERT_EQ(two.height, 1u);
  EXPECT_EQ(PixelAt(two, 0, 0), red);
  EXPECT_EQ(PixelAt(two, 1, 0), blue);

  // Half covered: the colour is the covered part's, the alpha the share.
  const Thumbnail edge = ShrinkToFit(Solid(2, 1, {red, clear}), 1);
  ASSERT_EQ(edge.width, 1u);
  EXPECT_EQ(PixelAt(edge, 0, 0), (std::array<uint8_t, 4>{255, 0, 0, 128}));

  // A picture that fits is left as it is; a wide one keeps its shape.
  const Thumbnail fits = ShrinkToFit(blocks, 4);
  EXPECT_EQ(fits.rgba, blocks.rgba);
  Thumbnail wide;
  wide.width = 300;
  wide.height = 100;
  wide.rgba.assign(300 * 100 * 4, 200);
  const Thumbnail shrunk = ShrinkToFit(wide, 64);
  EXPECT_EQ(shrunk.width, 64u);
  EXPECT_EQ(shrunk.height, 21u);
  EXPECT_EQ(PixelAt(shrunk, 63, 20), (std::array<uint8_t, 4>{200, 200, 200, 200}));
}

// What a model thumbnail shows: the covered pixels and where they lie.
struct Coverage {
  size_t covered = 0;
  uint32_t left = UINT32_MAX, right = 0, top = UINT32_MAX, bottom = 0;
  double mean[3] = {0, 0, 0};
  size_t distinct = 0;  // different colours
  size_t reddish = 0, bluish = 0;
};

Coverage Measure(const Thumbnail& t) {
  Coverage c;
  std::set<int> colours;
  for (uint32_t y = 0; y < t.height; ++y)
    for (uint32_t x = 0; x < t.width; ++x) {
      const auto p = PixelAt(t, x, y);
      if (p[3] < 128) continue;
      ++c.covered;
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.top = std::min(c.top, y);
      c.bottom = std::max(c.bottom, y);
      for (int k = 0; k < 3; ++k) c.mean[k] += p[k];
      colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
      if (p[0] > 2 * p[2] + 20) ++c.reddish;
      if (p[2] > 2 * p[0] + 20) ++c.bluish;
    }
  for (double& m : c.mean) m = c.covered ? m / c.covered : 0.0;
  c.distinct = colours.size();
  return c;
}

// A model fills a good part of its square, with a margin to every side.
void ExpectFramed(const Thumbnail& t, uint32_t size) {
  ASSERT_EQ(t.width, size);
  ASSERT_EQ(t.height, size);
  const Coverage c = Measure(t);
  ASSERT_GT(c.covered, size_t{size} * size / 20) << "almost nothing drawn";
  EXPECT_LT(c.covered, size_t{size} * size * 9 / 10) << "no background left";
  const uint32_t span = std::max(c.right - c.left, c.bottom - c.top) + 1;
  EXPECT_GE(span, size / 2) << "the model is drawn too small";
  EXPECT_GT(c.left, 0u);
  EXPECT_GT(c.top, 0u);
  EXPECT_LT(c.right, size - 1);
  EXPECT_LT(c.bottom, size - 1);
}

// A closed box of one colour, written as OBJ with its material file.
std::string WriteColouredBox(const TempDir& dir, const std::string& name, const char* kd) {
  WriteText(dir.Path() / (name + ".mtl"), std::string("newmtl paint\nKd ") + kd + "\n");
  std::string obj = "mtllib " + name + ".mtl\nusemtl paint\n";
  for (int i = 0; i < 8; ++i)
    obj += "v " + std::to_string(i & 1 ? 3 : -3) + " " + std::to_string(i & 2 ? 1 : -1) + " " +
           std::to_string(i & 4 ? 2 : -2) + "\n";
  obj += "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
  WriteText(dir.Path() / (name + ".obj"), obj);
  return (dir.Path() / (name + ".obj")).string();
}

TEST(ModelThumbnail, ShowsTheMaterialColourLitAndFramed) {
  struct Case {
    const char* kd;
    int dominant;
  };
  for (const Case& paint : {Case{"1 0 0", 0}, Case{"0 1 0", 1}, Case{"0 0 1", 2}}) {
    SCOPED_TRACE(paint.kd);
    TempDir dir;
    Thumbnail t;
    std::string error;
    ASSERT_TRUE(MakeThumbnail(WriteColouredBox(dir, "box", paint.kd), 96, t, error)) << error;
    ExpectFramed(t, 96);
    const Coverage c = Measure(t);
    for (int k = 0; k < 3; ++k) {
      if (k != paint.dominant) {
        EXPECT_GT(c.mean[paint.dominant], 2.0 * c.mean[k] + 20.0) << "channel " << k;
      }
    }
    // Lit, not flat: the faces turned differently differ in brightness.
    EXPECT_GE(c.distinct, 2u);
  }
}

// A white box textured with a red and blue checkerboard (a pixel map
// beside it): both colours show; without the texture it would be grey.
TEST(ModelThumbnail, ShowsTheTexture) {
  TempDir dir;
  std::string ppm = "P6\n4 4\n255\n";
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ppm += (x + y) % 2 ? std::string("\x20\x20\xf0", 3) : std::string("\xf0\x20\x20", 3);
  WriteText(dir.Path() / "checks.ppm", ppm);
  WriteText(dir.Path() / "box.mtl", "newmtl paint\nKd 1 1 1\nmap_Kd checks.ppm\n");
  std::string obj = "mtllib box.mtl\nusemtl paint\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  for (int i = 0; i < 8; ++i)
    obj += "v " + std::to_string(i & 1 ? 2 : -2) + " " + std::to_string(i & 2 ? 2 : -2) + " " +
           std::to_string(i & 4 ? 2 : -2) + "\n";
  obj += "f 1/1 3/2 4/3 2/4\nf 5/1 6/2 8/3 7/4\nf 1/1 2/2 6/3 5/4\nf 3/1 7/2 8/3 4/4\nf 1/1 5/2 7/3 3/4\nf 2/1 4/2 8/3 6/4\n";
  WriteText(dir.Path() / "box.obj", obj);
  Thumbnail t;
  std::string error;
  ASSERT_TRUE(MakeThumbnail(dir.File("box.obj"), 96, t, error)) << error;
  ExpectFramed(t, 96);
  const Coverage c = Measure(t);
  EXPECT_GT(c.reddish, c.covered / 5);
  EXPECT_GT(c.bluish, c.covered / 5);
}

TEST(ModelThumbnail, RealTexturedModelIsFramedInItsTexturesColour) {
  const fs::path jeep = CorpusDir() / "models/3ds/jeep1/jeep1.3ds";
  if (!fs::exists(jeep)) GTEST_SKIP() << "corpus absent";
  Thumbnail t;
  std::string error;
  ASSERT_TRUE(MakeThumbnail(jeep.string(), 128, t, error)) << error;
  ExpectFramed(t, 128);
  // The one material is textured with a dark olive picture (mean 56, 61,
  // 53 by ImageMagick): the lit model keeps its hue.
  const Coverage c = Measure(t);
  const double sum = c.mean[0] + c.mean[1] + c.mean[2];
  ASSERT_GT(sum, 0.0);
  EXPECT_NEAR(c.mean[0] / sum, 56.4 / 170.3, 0.015);
  EXPECT_NEAR(c.mean[1] / sum, 61.1 / 170.3, 0.015);
  EXPECT_GT(c.distinct, 100u);
}

// ImageMagick's reading and shrinking of the same picture, as RGBA.
std::vector<uint8_t> PeerShrunk(const fs::path& picture, uint32_t w, uint32_t h) {
  const TempDir dir;
  const std::string raw = dir.File("peer.rgba");
  const std::string command = "/usr/bin/convert '" + picture.string() + "' -resize " + std::to_string(w) + "x" +
                              std::to_string(h) + "! -depth 8 rgba:'" + raw + "' 2>/dev/null";
  if (RunCommand(command) != 0) return {};
  std::vector<uint8_t> bytes(size_t{w} * h * 4);
  FILE* file = std::fopen(raw.c_str(), "rb");
  if (!file) return {};
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return got == bytes.size() ? bytes : std::vector<uint8_t>{};
}

TEST(PictureThumbnail, RealPicturesShrinkLikeThePeer) {
  for (const char* name : {"pictures/jpg/hopper_baseline_420.jpg", "models/3ds/jeep1/jeep1.jpg"}) {
    SCOPED_TRACE(name);
    const fs::path path = CorpusDir() / name;
    if (!fs::exists(path)) GTEST_SKIP() << "corpus absent";
    Thumbnail t;
    std::string error;
    ASSERT_TRUE(MakeThumbnail(path.string(), 64, t, error)) << error;
    ASSERT_EQ(t.width, 64u);
    ASSERT_EQ(t.height, 64u);
    const std::vector<uint8_t> peer = PeerShrunk(path, t.width, t.height);
    ASSERT_EQ(peer.size(), t.rgba.size()) << "ImageMagick could not shrink the picture";
    double difference = 0.0;
    for (size_t i = 0; i < peer.size(); ++i) difference += std::abs(int{peer[i]} - int{t.rgba[i]});
    // Different filters, same picture: small on average.
    EXPECT_LT(difference / peer.size(), 8.0);
    for (size_t a = 3; a < t.rgba.size(); a += 4) ASSERT_EQ(t.rgba[a], 255) << "a JPEG is opaque";
  }
}

TEST(MakeThumbnail, RefusesWhatItCannotDraw) {
  TempDir dir;
  WriteText(dir.Path() / "noise.xyz", "no format starts like this");
  Thumbnail t;
  std::string error;
  EXPECT_FALSE(MakeThumbnail(dir.File("noise.xyz"), 64, t, error));
  EXPECT_EQ(error, "unknown file type");
  EXPECT_FALSE(MakeThumbnail(dir.File("missing.obj"), 64, t, error));
  EXPECT_FALSE(MakeThumbnail(WriteColouredBox(dir, "box", "1 1 1"), 0, t, error));
  EXPECT_FALSE(MakeThumbnail(WriteColouredBox(dir, "box", "1 1 1"), kMaxThumbnailSide + 1, t, error));
}

// The command as the desktop runs it, with no display at all.
int Thumbnailer(const std::string& arguments) {
  return RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY LSAN_OPTIONS=suppressions='" ZEPCON_THUMBNAIL_LSAN_SUPPRESSIONS
                    "' '" ZEPCON_THUMBNAILER_PATH "' " +
                    arguments + " >/dev/null 2>&1");
}

bool ReadPng(const std::string& path, BitmapData& picture) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool ok = picture.InitData() && LoadPng(picture, file);
  std::fclose(file);
  return ok;
}

TEST(Thumbnailer, WritesPngsOfTheAskedSizeWithoutADisplay) {
  TempDir dir;
  const std::string box = WriteColouredBox(dir, "box", "1 0.5 0");
  ASSERT_EQ(Thumbnailer("-s 80 '" + box + "' '" + dir.File("box.png") + "'"), 0);
  BitmapData picture;
  ASSERT_TRUE(ReadPng(dir.File("box.png"), picture));
  EXPECT_EQ(picture.SizeX(), 80u);
  EXPECT_EQ(picture.SizeY(), 80u);

  const fs::path hopper = CorpusDir() / "pictures/jpg/hopper_baseline_420.jpg";
  if (fs::exists(hopper)) {
    ASSERT_EQ(Thumbnailer("-s 32 '" + hopper.string() + "' '" + dir.File("hopper.png") + "'"), 0);
    BitmapData shrunk;
    ASSERT_TRUE(ReadPng(dir.File("hopper.png"), shrunk));
    EXPECT_EQ(shrunk.SizeX(), 32u);
    EXPECT_EQ(shrunk.SizeY(), 32u);
  }
}

TEST(Thumbnailer, BadArgumentsAndUnreadableFilesFailWithoutOutput) {
  TempDir dir;
  const std::string box = WriteColouredBox(dir, "box", "1 1 1");
  const std::string out = dir.File("out.png");
  struct Case {
    std::string arguments;
    int exit_code;
  };
  WriteText(dir.Path() / "noise.xyz", "no format starts like this");
  for (const Case& c : {Case{"'" + box + "' '" + out + "'", 2}, Case{"-s 0 '" + box + "' '" + out + "'", 2},
                        Case{"-s 5000 '" + box + "' '" + out + "'", 2}, Case{"-s -4 '" + box + "' '" + out + "'", 2},
                        Case{"-s 64 '" + box + "'", 2}, Case{"-s 64 '" + box + "' '" + out + "' extra", 2},
                        Case{"-s 64 '" + dir.File("noise.xyz") + "' '" + out + "'", 1},
                        Case{"-s 64 '" + dir.File("absent.obj") + "' '" + out + "'", 1}}) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(Thumbnailer(c.arguments), c.exit_code);
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace
}  // namespace zepcon::ui
