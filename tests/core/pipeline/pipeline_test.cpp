#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/pipeline/convert_one_file.h"
#include "core/pipeline/file_converter.h"
#include "core/format_table.h"
#include "core/log.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

TEST(SplitPath, FolderNameAndExtension) {
  ConversionSettings settings{};
  SplitPath("D:\\m\\a.b.obj", settings);
  EXPECT_STREQ(settings.file_folder, "D:\\m\\");
  EXPECT_STREQ(settings.file_name, "a");
  EXPECT_STREQ(settings.file_extension, "b.obj");

  SplitPath("/home/u/models/ship.3DS", settings);
  EXPECT_STREQ(settings.file_folder, "/home/u/models/");
  EXPECT_STREQ(settings.file_name, "ship");
  EXPECT_STREQ(settings.file_extension, "3DS");

  SplitPath("noext", settings);
  EXPECT_STREQ(settings.file_folder, "./");
  EXPECT_STREQ(settings.file_name, "noext");
  EXPECT_STREQ(settings.file_extension, "");

  // A dot in a folder name does not make an extension.
  SplitPath("dir.v2/readme", settings);
  EXPECT_STREQ(settings.file_folder, "dir.v2/");
  EXPECT_STREQ(settings.file_name, "readme");
  EXPECT_STREQ(settings.file_extension, "");

  // Over-long parts are cut to their fields, never overflowing them.
  const std::string long_name(2000, 'n');
  SplitPath((long_name + ".e").c_str(), settings);
  EXPECT_EQ(std::string(settings.file_name).size(), sizeof settings.file_name - 1);
}

TEST(Pipeline, ErrorPathsLogTheirMessagesAndFail) {
  LogCapture log;
  FileConverter converter;

  EXPECT_EQ(converter.DestroyData(), 0);
  EXPECT_TRUE(log.Contains("Destroy data: bad param(0)\nDestroyData: error\n"));

  EXPECT_EQ(converter.InitData(KIND_SUBS), 0);
  EXPECT_TRUE(log.Contains("InitData:Hey this type is not programmed (4)\nInitData: error\n"));
  EXPECT_EQ(converter.GetHeldKind(), 0u);

  EXPECT_EQ(converter.FixData(), 0);
  EXPECT_TRUE(log.Contains("Hey do this part in FixData(0)\n"));

  ASSERT_EQ(converter.InitData(KIND_TEXT), 1);
  EXPECT_EQ(converter.LoadFile("/nonexistent/zepcon/file.txt", TYPE_TEXT), 0);
  EXPECT_TRUE(log.Contains(" Error opening file [/nonexistent/zepcon/file.txt]\n"));
  EXPECT_EQ(converter.LoadFile("x.txt", 60), 0);
  EXPECT_TRUE(log.Contains("LoadFile:Sorry. Filetype 60 not supported.\n"));
  // A model loader on text data would write into an empty container.
  EXPECT_EQ(converter.LoadFile("x.off", TYPE_OFF), 0);
  EXPECT_EQ(converter.FixData(), 1);
  EXPECT_EQ(converter.DestroyData(), 1);

  test::TempDir dir;
  ASSERT_EQ(converter.InitData(KIND_MODEL), 1);
  EXPECT_EQ(converter.SaveFile(dir.File("m.x").c_str(), TYPE_X), 0);
  EXPECT_TRUE(log.Contains("SaveFile: Sorry. Filetype X not supported.\n"));
  log.Clear();
  EXPECT_EQ(converter.SaveFile(dir.File("m.cob").c_str(), TYPE_COB), 0);  // never a silent success
  EXPECT_FALSE(log.ErrorText().empty());
  EXPECT_EQ(converter.SaveFile(dir.File("m.hrc").c_str(), TYPE_HRC), 0);
  EXPECT_TRUE(log.Contains("Saving hrc...\n... not supported yet ... is it needed ??\n"));
  EXPECT_EQ(converter.DestroyData(), 1);
  // None of the failed saves left a file behind.
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(Pipeline, AFailedSaveLeavesTheDestinationUntouched) {
  test::TempDir dir;
  LogCapture log;
  FileConverter converter;
  const std::string destination = dir.File("keep.cob");
  const std::vector<uint8_t> original(5000, 0xA5);
  test::WriteBytes(destination, original);

  ASSERT_EQ(converter.InitData(KIND_MODEL), 1);
  EXPECT_EQ(converter.SaveFile(destination.c_str(), TYPE_COB), 0);
  EXPECT_EQ(converter.DestroyData(), 1);
  EXPECT_EQ(test::ReadBytes(destination), original);
  // No staged leftovers beside it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);

  // A successful save replaces the file.
  const std::string source = dir.File("new.txt");
  test::WriteText(source, "fresh");
  const std::string text_destination = dir.File("keep.txt");
  test::WriteBytes(text_destination, original);
  const ConversionOutcome outcome = ConvertOneFile(converter, DefaultOptions(), source.c_str(), TYPE_TEXT,
                                                   text_destination.c_str(), TYPE_TEXT);
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(test::ReadBytes(text_destination), (std::vector<uint8_t>{'f', 'r', 'e', 's', 'h'}));
}

TEST(Pipeline, LoadAndSaveFillThePathFieldsOfTheContainers) {
  test::TempDir dir;
  LogCapture log;
  FileConverter converter;
  const std::string source = dir.File("Some.Name.TXT");
  test::WriteText(source, "x");
  ASSERT_EQ(converter.InitData(KIND_TEXT), 1);
  ASSERT_EQ(converter.LoadFile(source.c_str(), TYPE_TEXT), 1);
  EXPECT_EQ(std::string(converter.Settings().file_folder), dir.Path().string() + "/");
  EXPECT_STREQ(converter.Settings().file_name, "Some");
  EXPECT_STREQ(converter.Settings().file_extension, "Name.TXT");
  const std::string destination = dir.File("out.txt");
  ASSERT_EQ(converter.SaveFile(destination.c_str(), TYPE_TEXT), 1);
  EXPECT_STREQ(converter.Settings().file_name, "out");  // from the real destination, not the staged file
  EXPECT_TRUE(log.Contains("--- Loading file [" + source + "] ---\n"));
  EXPECT_TRUE(log.Contains("--- Saving file [" + destination + "]---\n"));
  converter.DestroyData();
}

TEST(ConvertOneFile, DestinationsAreSavableRowsOfTheSameKind) {
  EXPECT_TRUE(IsDestinationFor(TYPE_OFF, TYPE_RAW));
  EXPECT_FALSE(IsDestinationFor(TYPE_OFF, TYPE_BMP));   // other kind
  EXPECT_FALSE(IsDestinationFor(TYPE_OFF, TYPE_X));     // cannot save
  EXPECT_FALSE(IsDestinationFor(TYPE_PIC, TYPE_BMP));   // source cannot load
  EXPECT_FALSE(IsDestinationFor(TYPE_UNKNOWN, TYPE_BMP));
  int sources = 0, destinations = 0;
  for (int i = 0; i < kFileTypeCount; ++i) {
    sources += FormatTable()[i].can_load;
    destinations += FormatTable()[i].can_save;
  }
  EXPECT_EQ(sources, 52);
  EXPECT_EQ(destinations, 27);  // glTF and its binary kind are saved only
}

}  // namespace
}  // namespace zepcon
