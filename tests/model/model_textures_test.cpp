// Textures: loading through the companion files (case-blind names, the last
// folder), placeholders, the texture table, and saving beside the model.
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "model_test_util.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

using model_test::ModelTest;
using model_test::Values;
using test::LogCapture;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Files are names mapped to picture sizes; a picture's pixel n is
// (n, n + 1, n + 2, 200). Saving records the path, the type and the size.
class FakeFiles final : public CompanionFiles {
 public:
  std::map<std::string, std::pair<uint32_t, uint32_t>> pictures;
  std::vector<std::string> other_files;  // exist, but are no pictures
  struct Saved {
    std::string path;
    int type;
    uint32_t width, height, mode;
    std::vector<uint8_t> first_pixel;
  };
  std::vector<Saved> saved;
  int save_result = 1;

  int DetermineType(const char* path) override {
    if (pictures.count(path)) return TYPE_BMP;
    return TYPE_OBJ;
  }
  int LoadPicture(const char* path, int type, const ConversionSettings&, BitmapData& picture) override {
    const auto found = pictures.find(path);
    if (found == pictures.end() || type != TYPE_BMP) return 0;
    const auto [width, height] = found->second;
    if (!picture.InitPicture(width, height, MODE_RGBA8888)) return 0;
    for (uint32_t n = 0; n < width * height; ++n) {
      const uint8_t pixel[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n + 1),
                                static_cast<uint8_t>(n + 2), 200};
      picture.SetPixels(n, 1, pixel);
    }
    return 1;
  }
  int SavePicture(const char* path, int type, const ConversionSettings&, BitmapData& picture) override {
    std::vector<uint8_t> first(picture.BytesPerPixel());
    picture.GetPixels(0, 1, first.data());
    saved.push_back({path, type, picture.SizeX(), picture.SizeY(), picture.Mode(), first});
    return save_result;
  }
  std::string FindFile(const char* path) override {
    const std::string wanted = path;
    if (pictures.count(wanted) || std::count(other_files.begin(), other_files.end(), wanted))
      return wanted;
    const size_t cut = wanted.find_last_of("/\\") + 1;
    for (const auto& [name, size] : pictures) {
      const size_t name_cut = name.find_last_of("/\\") + 1;
      if (name.substr(0, name_cut) == wanted.substr(0, cut) &&
          Lower(name.substr(name_cut)) == Lower(wanted.substr(cut)))
        return name;
    }
    return "";
  }
};

class Textures : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    files.pictures["/maps/wood.bmp"] = {3, 2};
    files.pictures["/last/stone.bmp"] = {1, 1};
    files.other_files.push_back("/maps/notes.txt");
    std::snprintf(model.settings.last_folder, sizeof model.settings.last_folder, "/last/");
    std::snprintf(model.settings.file_folder, sizeof model.settings.file_folder, "/out/");
    model.settings.alpha_activated = 1;  // pictures keep their alpha
    model.companions = &files;
  }
  std::vector<double> Info(uint32_t index) {
    EXPECT_EQ(model.GetTextureInfo(index), 1);
    return Values(model.texture.width, model.texture.height, model.texture.kind, model.texture.size);
  }
  std::vector<uint8_t> Pixel(uint32_t index, uint32_t pixel) {
    std::vector<uint8_t> bytes(4);
    EXPECT_EQ(model.GetTextureData(index, pixel * 4, 4, bytes.data()), 1);
    return bytes;
  }
  FakeFiles files;
};

TEST_F(Textures, FilesAreFoundIgnoringCaseThenInTheLastFolder) {
  const struct {
    const char* asked;
    int32_t index;
    const char* full_name;
    const char* base_name;
    std::vector<double> info;
  } cases[] = {
      {"/maps/WOOD.BMP", 0, "/maps/WOOD.BMP", "WOOD", Values(3, 2, 0, 24)},
      {"/maps/wood.bmp", 1, "/maps/wood.bmp", "wood", Values(3, 2, 0, 24)},  // names compare exactly
      {"/maps/WOOD.BMP", 0, "/maps/WOOD.BMP", "WOOD", Values(3, 2, 0, 24)},
      {"C:\\old\\stone.bmp", 2, "/last/stone.bmp", "stone", Values(1, 1, 0, 4)},
      {"/elsewhere/stone.bmp", 2, "/last/stone.bmp", "stone", Values(1, 1, 0, 4)},
      {"/maps/missing.bmp", 3, "/maps/missing.bmp", "missing", Values(16, 16, 1, 1024)},
      {"/maps/missing.bmp", 3, "/maps/missing.bmp", "missing", Values(16, 16, 1, 1024)},
      {"/maps/notes.txt", 4, "/maps/notes.txt", "notes", Values(16, 16, 1, 1024)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    EXPECT_EQ(model.LoadTexture(c.asked), c.index);
    EXPECT_EQ(Info(static_cast<uint32_t>(c.index)), c.info);
    EXPECT_STREQ(model.texture.full_name, c.full_name);
    EXPECT_STREQ(model.texture.base_name, c.base_name);
  }
  EXPECT_EQ(model.textures_count, 5u);
  EXPECT_EQ(model.texture_memory_size, 24u + 24u + 4u + 1024u + 1024u);
  EXPECT_EQ(Pixel(0, 5), (std::vector<uint8_t>{5, 6, 7, 200}));
  EXPECT_EQ(Pixel(2, 0), (std::vector<uint8_t>{0, 1, 2, 200}));
}

TEST_F(Textures, PlaceholderPatternAndItsMessages) {
  model.companions = nullptr;  // a model on its own cannot reach any file
  LogCapture log;
  EXPECT_EQ(model.LoadTexture("/maps/wood.bmp"), 0);
  EXPECT_TRUE(log.Contains("  Creating Empty Texture\n")) << log.Text();
  EXPECT_EQ(Info(0), Values(16, 16, 1, 1024));
  // Row r, column c: 255 - 15c, min(255, 255 + 15r - 15c), 15r, 128.
  EXPECT_EQ(Pixel(0, 1 * 16 + 2), (std::vector<uint8_t>{225, 240, 15, 128}));
  EXPECT_EQ(Pixel(0, 15 * 16 + 0), (std::vector<uint8_t>{255, 255, 225, 128}));
  EXPECT_EQ(model.LoadTexture(""), 1);
  EXPECT_STREQ(model.Texture(1).full_name, "texnoname1");
  EXPECT_TRUE(log.Contains("StoreTextureFromBitmapFile: empty name supplied!\n"));
}

TEST_F(Textures, TableLimitsAndBounds) {
  for (int i = 0; i < 40; ++i) ASSERT_EQ(model.CreateEmptyTexture(std::to_string(i).c_str()), i);
  LogCapture log;
  EXPECT_EQ(model.LoadTexture("/maps/wood.bmp"), -1);
  EXPECT_TRUE(log.Contains("Textures count limit reached (max 40)\n"));
  EXPECT_EQ(model.FindTexture("39"), 39);
  EXPECT_EQ(model.FindTexture("40"), -1);

  // The last 4 bytes of a 2 x 2 texture, and one byte further.
  model.InitData();
  ASSERT_EQ(model.SetUpTexture(2, 2, "small", 0), 1);
  uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(model.SetTextureData(0, bytes, 12, 4), 1);
  EXPECT_EQ(model.GetTextureData(0, 12, 4, bytes), 1);
  EXPECT_EQ(model.GetTextureData(0, 13, 4, bytes) + model.SetTextureData(0, bytes, 13, 4) +
                model.GetTextureData(1, 0, 4, bytes),
            0);
}

TEST_F(Textures, SavedBesideTheModelUnderTheirBaseNames) {
  files.pictures["C:\\maps\\wood.bmp"] = {2, 1};
  ASSERT_EQ(model.LoadTexture("C:\\maps\\wood.bmp"), 0);
  ASSERT_EQ(model.LoadTexture("gone.bmp"), 1);
  model.SaveMaterialsTextures(TYPE_TGA, MODE_BGRA8888, 0);
  model.SaveMaterialsTextures(TYPE_TGA, MODE_RGBA8888, 1);
  ASSERT_EQ(files.saved.size(), 4u);
  const std::string paths[4] = {"/out/wood.tga", "/out/gone.tga", "/out/wood_a.tga", "/out/gone_a.tga"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(files.saved[i].path, paths[i]);
    EXPECT_EQ(files.saved[i].type, TYPE_TGA);
  }
  EXPECT_EQ(Values(files.saved[0].width, files.saved[0].height, files.saved[0].mode),
            Values(2, 1, MODE_BGRA8888));
  EXPECT_EQ(files.saved[0].first_pixel, (std::vector<uint8_t>{2, 1, 0, 200}));
  // The alpha map: alpha 200 shown inverted as grey 55.
  EXPECT_EQ(files.saved[2].first_pixel[0], 55);

  LogCapture log;
  model.SaveMaterialsTextures(TYPE_OBJ, MODE_RGBA8888, 0);
  EXPECT_EQ(log.Text(), "SaveMaterialsTextures: Trying to save textures to non-picture type (31)\n");
  EXPECT_EQ(model.SaveTextureToFile(2, "/out/x.tga", TYPE_TGA, MODE_RGBA8888, 0), 0);
  EXPECT_TRUE(log.Contains("SaveTextureToFile: bad texture number (2)\n"));
  EXPECT_EQ(files.saved.size(), 4u);
}

TEST_F(Textures, ExistingFilesAreReplacedOnlyWhenAllowed) {
  ASSERT_EQ(model.LoadTexture("/maps/wood.bmp"), 0);
  files.other_files.push_back("/out/wood.tga");
  LogCapture log;
  EXPECT_EQ(model.SaveTextureToFile(0, "/out/wood.tga", TYPE_TGA, MODE_RGBA8888, 0), 0);
  EXPECT_TRUE(log.Contains("SaveTextureToFile: file already exists [/out/wood.tga]..exiting\n"))
      << log.Text();
  EXPECT_TRUE(files.saved.empty());
  model.settings.overwrite_textures = 1;
  EXPECT_EQ(model.SaveTextureToFile(0, "/out/wood.tga", TYPE_TGA, MODE_RGBA8888, 0), 1);
  EXPECT_TRUE(log.Contains("overwriting\n"));
  EXPECT_EQ(files.saved.size(), 1u);
  // A name differing only in case is another file here.
  model.settings.overwrite_textures = 0;
  EXPECT_EQ(model.SaveTextureToFile(0, "/out/WOOD.tga", TYPE_TGA, MODE_RGBA8888, 0), 1);
  // A saver that fails is not reported as success.
  files.save_result = 0;
  EXPECT_EQ(model.SaveTextureToFile(0, "/out/other.tga", TYPE_TGA, MODE_RGBA8888, 0), 0);
}

}  // namespace
}  // namespace zepcon
