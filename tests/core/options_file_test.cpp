#include "core/options_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <vector>

#include "core/log.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr size_t kRecordSize = 1940;

std::vector<uint8_t> BytesOf(const OptionsRecord& options) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&options);
  return std::vector<uint8_t>(bytes, bytes + sizeof options);
}

uint32_t Uint32At(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
         uint32_t{bytes[offset + 3]} << 24;
}

float FloatAt(const std::vector<uint8_t>& bytes, size_t offset) {
  const uint32_t raw = Uint32At(bytes, offset);
  float value;
  std::memcpy(&value, &raw, sizeof value);
  return value;
}

// A record unlike the defaults in every field the tests look at.
OptionsRecord CustomOptions() {
  OptionsRecord options = DefaultOptions();
  std::snprintf(options.conversion.last_folder, sizeof options.conversion.last_folder, "%s", "/data/models");
  options.conversion.log_mode = 3;
  options.conversion.smoothing_angle = 89.53f;
  options.conversion.ff7_weapon = 4;
  options.sort_mode = 2;
  options.preview_left = 640;
  options.animation_delay = 0.5f;
  options.background_3d = {1, 2, 3};
  options.background_picture = {200, 100, 50};
  return options;
}

// Sets or clears an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(OptionsFile, DefaultsMatchTheStoredLayout) {
  TempDir dir;
  const std::string path = OptionsFilePath(dir.Path().string());
  OptionsRecord options = DefaultOptions();
  ASSERT_EQ(SaveOptions(options, path), 1);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), kRecordSize);
  EXPECT_EQ(bytes[0], '.');
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(Uint32At(bytes, 0x700), 1u);            // log mode
  EXPECT_EQ(FloatAt(bytes, 0x71C), -1.0f);          // smoothing angle
  EXPECT_EQ(FloatAt(bytes, 0x720), 75.0f);          // luminosity
  EXPECT_EQ(Uint32At(bytes, 0x72C), 0xFFFFFFFFu);   // no weapon
  EXPECT_EQ(Uint32At(bytes, 0x740), 1u);            // ask on overwrite
  EXPECT_EQ(Uint32At(bytes, 0x760), 200u);          // preview width
  EXPECT_EQ(Uint32At(bytes, 0x768), 1u);            // sort by extension
  EXPECT_EQ(FloatAt(bytes, 0x778), 0.04f);          // animation delay
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x77C, bytes.begin() + 0x780),
            (std::vector<uint8_t>{126, 126, 169, 0}));
  EXPECT_EQ(FloatAt(bytes, 0x788), 0.4f);           // frame stepping
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x790, bytes.end()), (std::vector<uint8_t>{55, 225, 235, 0}));
  for (size_t offset = 0x100; offset < 0x700; ++offset) ASSERT_EQ(bytes[offset], 0) << offset;
}

TEST(OptionsFile, MissingOrShortFileGivesDefaultsAndIsRewritten) {
  TempDir dir;
  const std::string path = dir.File("zepcon.opt");
  const std::vector<uint8_t> defaults = BytesOf(DefaultOptions());

  OptionsRecord options = CustomOptions();
  EXPECT_EQ(LoadOptions(options, path), 0);
  EXPECT_EQ(BytesOf(options), defaults);
  EXPECT_EQ(ReadBytes(path), defaults);

  std::vector<uint8_t> short_file = BytesOf(CustomOptions());
  short_file.resize(kRecordSize - 1);
  WriteBytes(path, short_file);
  options = CustomOptions();
  EXPECT_EQ(LoadOptions(options, path), 0);
  EXPECT_EQ(BytesOf(options), defaults);
  EXPECT_EQ(ReadBytes(path), defaults);
}

TEST(OptionsFile, LongerFileGivesItsFirstRecordAndIsSavedAtRecordSize) {
  TempDir dir;
  const std::string path = dir.File("zepcon.opt");
  std::vector<uint8_t> long_file = BytesOf(CustomOptions());
  long_file.resize(2000, 0xEE);
  WriteBytes(path, long_file);

  OptionsRecord options = DefaultOptions();
  EXPECT_EQ(LoadOptions(options, path), 1);
  EXPECT_STREQ(options.conversion.last_folder, "/data/models");
  EXPECT_EQ(options.conversion.log_mode, 3);
  EXPECT_EQ(options.background_picture.green, 100);
  EXPECT_EQ(ReadBytes(path).size(), 2000u);  // loading alone does not rewrite it

  ASSERT_EQ(SaveOptions(options, path), 1);
  const std::vector<uint8_t> saved = ReadBytes(path);
  EXPECT_EQ(saved, std::vector<uint8_t>(long_file.begin(), long_file.begin() + kRecordSize));
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

TEST(OptionsFile, SavedRecordReloadsEqualWithFolderTailCleared) {
  TempDir dir;
  const std::string path = dir.File("zepcon.opt");
  OptionsRecord options = CustomOptions();
  // Left-overs of a longer folder name behind the terminator.
  std::memset(options.conversion.last_folder + 13, 'Z', 200);
  ASSERT_EQ(SaveOptions(options, path), 1);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), kRecordSize);
  for (size_t offset = 12; offset < 0x100; ++offset) ASSERT_EQ(bytes[offset], 0) << offset;
  EXPECT_EQ(Uint32At(bytes, 0x700), 3u);
  EXPECT_EQ(Uint32At(bytes, 0x72C), 4u);
  EXPECT_EQ(Uint32At(bytes, 0x758), 640u);
  EXPECT_EQ(FloatAt(bytes, 0x71C), 89.53f);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x77C, bytes.begin() + 0x77F), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x790, bytes.begin() + 0x793),
            (std::vector<uint8_t>{200, 100, 50}));

  OptionsRecord reloaded = DefaultOptions();
  ASSERT_EQ(LoadOptions(reloaded, path), 1);
  EXPECT_EQ(BytesOf(reloaded), bytes);
}

TEST(OptionsFile, UnterminatedFolderInFileIsCut) {
  TempDir dir;
  const std::string path = dir.File("zepcon.opt");
  std::vector<uint8_t> bytes = BytesOf(DefaultOptions());
  std::fill(bytes.begin(), bytes.begin() + 0x700, 'a');  // no terminator anywhere
  WriteBytes(path, bytes);
  OptionsRecord options = DefaultOptions();
  ASSERT_EQ(LoadOptions(options, path), 1);
  EXPECT_EQ(std::strlen(options.conversion.last_folder), 255u);
  EXPECT_EQ(std::strlen(options.conversion.file_extension), 511u);
  EXPECT_EQ(options.conversion.log_mode, 1);
}

TEST(OptionsFile, UnwritableLocationLeavesOptionsUnsaved) {
  TempDir dir;
  OptionsRecord options = CustomOptions();
  EXPECT_EQ(SaveOptions(options, dir.File("no-such-folder/zepcon.opt")), 0);
  EXPECT_EQ(LoadOptions(options, dir.File("no-such-folder/zepcon.opt")), 0);
  EXPECT_EQ(BytesOf(options), BytesOf(DefaultOptions()));

  // A target that cannot be replaced keeps what it was; no stray file is left.
  const std::string blocked = dir.File("blocked.opt");
  std::filesystem::create_directories(std::filesystem::path(blocked) / "inside");
  options = CustomOptions();
  EXPECT_EQ(SaveOptions(options, blocked), 0);
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(std::filesystem::exists(blocked + ".new"));
}

TEST(OptionsFile, SettingsFolderFallsBackToUserConfig) {
  TempDir dir;
  const std::string program_folder = (dir.Path() / "bin").string();
  std::filesystem::create_directories(program_folder);
  const std::string executable = program_folder + "/zepcon";
  auto writable = [](const std::string&) { return true; };
  auto read_only = [](const std::string&) { return false; };

  EXPECT_EQ(SettingsFolder(executable, writable), program_folder + "/");
  EXPECT_EQ(OptionsFilePath(SettingsFolder(executable, writable)), program_folder + "/zepcon.opt");
  EXPECT_EQ(LogFilePath(program_folder), program_folder + "/Zepcon.log");

  {
    const std::string config = (dir.Path() / "config").string();
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
    const std::string folder = SettingsFolder(executable, read_only);
    EXPECT_EQ(folder, config + "/zepcon/");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    OptionsRecord options = DefaultOptions();
    LoadOptions(options, OptionsFilePath(folder));
    EXPECT_EQ(ReadBytes(folder + "zepcon.opt").size(), kRecordSize);
  }
  {
    const std::string home = (dir.Path() / "home").string();
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv home_env("HOME", home.c_str());
    const std::string folder = SettingsFolder(executable, read_only);
    EXPECT_EQ(folder, home + "/.config/zepcon/");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
  }

  // The real check: an existing folder is writable here, a missing one never.
  EXPECT_TRUE(FolderIsWritable(program_folder + "/"));
  EXPECT_FALSE(FolderIsWritable(program_folder + "/missing/"));
  EXPECT_EQ(SettingsFolder(executable), program_folder + "/");
  EXPECT_EQ(SettingsFolder("zepcon", writable), "./");
}

TEST(OptionsFile, ApplySetsLogModeAndPreviewStaysReachable) {
  const uint32_t old_mode = GetLogMode();
  OptionsRecord options = DefaultOptions();
  options.conversion.log_mode = 2;
  ApplyOptions(options);
  EXPECT_EQ(GetLogMode(), 2u);
  options.conversion.log_mode = 9;  // not a mode: the current one stays
  ApplyOptions(options);
  EXPECT_EQ(GetLogMode(), 2u);
  SetLogMode(old_mode);

  options.preview_left = 3000;
  options.preview_top = 100;
  KeepPreviewWindowReachable(options, 1280, 1024);
  EXPECT_EQ(options.preview_left, 1230);
  EXPECT_EQ(options.preview_top, 100);
  options.preview_top = 2147483647;
  KeepPreviewWindowReachable(options, 1280, 1024);
  EXPECT_EQ(options.preview_top, 974);
}

TEST(OptionsFile, DescribeListsEveryFieldOnItsOwnLine) {
  const std::string text = DescribeOptions(CustomOptions());
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines.size(), 35u);
  EXPECT_EQ(lines.front(), "last_folder = /data/models");
  for (const char* expected : {"log_mode = 3", "smoothing_angle = 89.53", "ff7_weapon = 4", "sort_mode = 2",
                               "animation_delay = 0.5", "background_3d = 1 2 3",
                               "background_picture = 200 100 50", "normals_time_limit = 0"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
  for (const std::string& line : lines) EXPECT_NE(line.find(" = "), std::string::npos) << line;
}

}  // namespace
}  // namespace zepcon
