// Companion files as the pipeline serves them: names found whatever their
// case, pictures loaded and saved through the dispatch table on the caller's
// own container.
#include "core/pipeline/pipeline_companions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "picture/bitmap_data.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

TEST(FindFileIgnoringCase, ExactNameFirstThenTheFirstMatchIgnoringCase) {
  test::TempDir dir;
  for (const char* name : {"wood.bmp", "Both.tga", "BOTH.TGA", "only.Lower"}) test::WriteText(dir.Path() / name, "x");
  fs::create_directory(dir.Path() / "Sub");
  const std::string folder = dir.Path().string() + "/";
  struct Case {
    std::string asked, found;
  };
  const Case cases[] = {
      {"wood.bmp", "wood.bmp"},    {"WOOD.BMP", "wood.bmp"},     {"Wood.Bmp", "wood.bmp"},
      {"Both.tga", "Both.tga"},    {"BOTH.TGA", "BOTH.TGA"},     {"both.tga", "BOTH.TGA"},  // first in name order
      {"ONLY.LOWER", "only.Lower"}, {"sub", "Sub"},               {"missing.bmp", ""},
      {"wood.bm", ""},             {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    const std::string asked = c.asked.empty() ? "" : folder + c.asked;
    EXPECT_EQ(FindFileIgnoringCase(asked.c_str()), c.found.empty() ? "" : folder + c.found);
  }
  EXPECT_EQ(FindFileIgnoringCase((folder + "nofolder/wood.bmp").c_str()), "");
  PipelineCompanions companions;
  EXPECT_EQ(companions.FindFile((folder + "WOOD.BMP").c_str()), folder + "wood.bmp");
}

// A 3 x 2 opaque picture with every channel different.
void FillPicture(BitmapData& picture) {
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(3, 2, MODE_RGBA8888), 1);
  std::vector<uint8_t> pixels;
  for (uint8_t i = 0; i < 6; ++i) pixels.insert(pixels.end(), {uint8_t(40 * i), uint8_t(255 - 30 * i), uint8_t(7 + i), 255});
  ASSERT_EQ(picture.SetPixels(0, 6, pixels.data()), 1);
}

std::vector<uint8_t> WorkingPixels(BitmapData& picture) {
  EXPECT_EQ(picture.BitmapConvertToMode(MODE_RGBA8888), 1);
  std::vector<uint8_t> pixels(picture.PixelCount() * 4);
  EXPECT_EQ(picture.GetPixels(0, picture.PixelCount(), pixels.data()), 1);
  return pixels;
}

TEST(PipelineCompanions, PicturesSavedAndLoadedThroughItKeepTheirPixels) {
  test::TempDir dir;
  test::LogCapture log;
  PipelineCompanions companions;
  const ConversionSettings settings = DefaultOptions().conversion;
  BitmapData original;
  FillPicture(original);
  const std::vector<uint8_t> expected = WorkingPixels(original);
  for (const int type : {int{TYPE_BMP}, int{TYPE_TGA}, int{TYPE_PPM}, int{TYPE_PNG}}) {
    const std::string extension = FileTypeRow(type)->extension;
    SCOPED_TRACE(extension);
    const std::string saved = dir.File("wood." + extension);
    ASSERT_EQ(companions.SavePicture(saved.c_str(), type, settings, original), 1) << log.ErrorText();
    EXPECT_STREQ(original.settings.file_name, "wood");
    // The model asks with the case its file was written on another system.
    const std::string found = companions.FindFile(dir.File("WOOD." + extension).c_str());
    ASSERT_EQ(found, saved);
    const int recognised = companions.DetermineType(found.c_str());
    EXPECT_EQ(recognised, type);
    BitmapData loaded;
    ASSERT_EQ(companions.LoadPicture(found.c_str(), recognised, settings, loaded), 1) << log.ErrorText();
    EXPECT_EQ(loaded.companions, &companions);
    EXPECT_EQ(std::string(loaded.settings.file_folder), dir.Path().string() + "/");
    EXPECT_EQ(loaded.SizeX(), 3u);
    EXPECT_EQ(loaded.SizeY(), 2u);
    EXPECT_EQ(WorkingPixels(loaded), expected);
  }
}

TEST(PipelineCompanions, OnlyPictureTypesAreLoadedOrSaved) {
  test::TempDir dir;
  PipelineCompanions companions;
  const ConversionSettings settings = DefaultOptions().conversion;
  const std::string text = dir.File("notes.txt");
  test::WriteText(text, "OFF\n3 1 0\n");
  BitmapData picture;
  FillPicture(picture);
  for (const int type : {int{TYPE_TEXT}, int{TYPE_OFF}, int{TYPE_UNKNOWN}, -1}) {
    SCOPED_TRACE(type);
    test::LogCapture log;
    EXPECT_EQ(companions.LoadPicture(text.c_str(), type, settings, picture), 0);
    EXPECT_EQ(companions.SavePicture(dir.File("out").c_str(), type, settings, picture), 0);
    EXPECT_NE(log.ErrorText().find("LoadPicture: type " + std::to_string(type) + " is not a picture type"),
              std::string::npos);
    EXPECT_NE(log.ErrorText().find("SavePicture: type " + std::to_string(type) + " is not a picture type"),
              std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir.File("out")));
  // A refused load leaves the caller's picture as it was.
  EXPECT_EQ(picture.SizeX(), 3u);
}

}  // namespace
}  // namespace zepcon
