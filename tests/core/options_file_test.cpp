#include "core/options_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
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
  const auto* bytes = reinterpret_cast<const uint8_t*>(&options);
  return std::vector<uint8_t>(bytes, bytes + sizeof options);
}

uint32_t Uint32At(const std::vector<uint8_t>& bytes, size_t at) {  // little-endian whatever the host
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

// A record unlike the defaults in several fields.
OptionsRecord CustomOptions() {
  OptionsRecord options = DefaultOptions();
  std::snprintf(options.conversion.last_folder, sizeof options.conversion.last_folder, "%s", "/data/models");
  options.conversion.log_mode = 3;
  options.conversion.smoothing_angle = 89.53f;
  options.conversion.ff7_weapon = 4;
  options.background_picture = {200, 100, 50};
  return options;
}

// Sets an environment variable for one scope.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name(name) {
    if (const char* current = std::getenv(name)) old = current;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
  const char* name;
  std::optional<std::string> old;
};

TEST(OptionsFile, SaveWritesTheStoredLayoutOrNothing) {
  const std::pair<size_t, uint32_t> defaults[] = {
      {0x700, 1},          {0x71C, 0xBF800000}, {0x720, 0x42960000},  // log mode, smoothing -1 (none), luminosity 75
      {0x72C, 0xFFFFFFFF}, {0x740, 1},          {0x760, 200},         // no weapon, ask on overwrite, preview width
      {0x768, 1},          {0x778, 0x3D23D70A}, {0x788, 0x3ECCCCCD},  // sort by extension, delay 0.04f, stepping 0.4f
      {0x77C, 0x00A97E7E}, {0x790, 0x00EBE137}};                      // backgrounds 126 126 169 and 55 225 235
  TempDir dir;
  const std::string path = OptionsFilePath(dir.Path().string());
  OptionsRecord options = DefaultOptions();
  ASSERT_EQ(SaveOptions(options, path), 1);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), kRecordSize);
  EXPECT_EQ(bytes[0], '.');
  EXPECT_EQ(std::count(bytes.begin() + 1, bytes.begin() + 0x700, 0), 0x6FF);  // folder tail and reserved part
  for (const auto& [offset, value] : defaults) EXPECT_EQ(Uint32At(bytes, offset), value) << std::hex << offset;
  // Left-overs of a longer folder name behind the terminator are saved as zeros.
  options = CustomOptions();
  std::memset(options.conversion.last_folder + 13, 'Z', 200);
  ASSERT_EQ(SaveOptions(options, path), 1);
  EXPECT_EQ(ReadBytes(path), BytesOf(CustomOptions()));
  // Its permission bits stay as the user set them.
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_EQ(SaveOptions(options, path), 1);
  EXPECT_EQ(std::filesystem::status(path).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
  // A target that cannot be replaced keeps what it was; no stray file is left.
  const std::string blocked = dir.File("blocked.opt");
  std::filesystem::create_directories(std::filesystem::path(blocked) / "inside");
  EXPECT_EQ(SaveOptions(options, blocked), 0);
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 2);
}

// Only a whole record is taken from a file; anything shorter gives the
// defaults, written back at once. Saving writes exactly one record.
TEST(OptionsFile, LoadTakesWholeRecordsAndRewritesShortOnesAsDefaults) {
  const std::vector<uint8_t> defaults = BytesOf(DefaultOptions()), custom = BytesOf(CustomOptions());
  std::vector<uint8_t> longer = custom, unterminated = defaults;
  longer.resize(2000, 0xEE);
  std::fill(unterminated.begin(), unterminated.begin() + 0x700, 'a');  // no terminator anywhere
  std::vector<uint8_t> cut = unterminated;
  for (size_t last : {0xFF, 0x2FF, 0x4FF, 0x6FF}) cut[last] = 0;  // every text field ends in its own bytes
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> file;  // none: no file at all
    int result;
    std::vector<uint8_t> record, after_load;
  };
  const Case cases[] = {{"missing", std::nullopt, 0, defaults, defaults},
                        {"short", std::vector<uint8_t>(custom.begin(), custom.end() - 1), 0, defaults, defaults},
                        {"longer", longer, 1, custom, longer},  // loading alone does not rewrite it
                        {"unterminated", unterminated, 1, cut, unterminated}};
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string(c.name) + ".opt");
    if (c.file) WriteBytes(path, *c.file);
    OptionsRecord options;
    std::memset(&options, 0x5A, sizeof options);
    EXPECT_EQ(LoadOptions(options, path), c.result);
    EXPECT_EQ(BytesOf(options), c.record);
    EXPECT_EQ(ReadBytes(path), c.after_load);
    ASSERT_EQ(SaveOptions(options, path), 1);
    EXPECT_EQ(ReadBytes(path), c.record);
  }
}

TEST(OptionsFile, SettingsFolderFallsBackToUserConfig) {
  TempDir dir;
  const std::string program_folder = dir.File("bin"), executable = program_folder + "/zepcon";
  const std::string config = dir.File("config"), home = dir.File("home");
  std::filesystem::create_directories(program_folder);
  auto writable = [](bool answer) { return [answer](const std::string&) { return answer; }; };  // stand-in checks
  EXPECT_EQ(OptionsFilePath(SettingsFolder(executable, writable(true))), program_folder + "/zepcon.opt");
  EXPECT_EQ(LogFilePath(program_folder), program_folder + "/Zepcon.log");
  EXPECT_EQ(SettingsFolder("zepcon", writable(true)), "./");
  ScopedEnv home_env("HOME", home);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", config);
    EXPECT_EQ(SettingsFolder(executable, writable(false)), config + "/zepcon/");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/zepcon/"));
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(SettingsFolder(executable, writable(false)), home + "/.config/zepcon/");
  // An installed program keeps its settings with the user even where it
  // could write beside itself (root can write anywhere).
  const std::string installed = std::string(InstalledProgramFolder()) + "/zepcon-cli";
  for (const std::string& system : {std::string("/usr/bin/zepcon-cli"), std::string("/usr/local/bin/zepcon-cli"),
                                    std::string("/opt/zepcon/bin/zepcon-cli"), std::string("/usr/zepcon-cli"),
                                    installed}) {
    EXPECT_EQ(SettingsFolder(system, writable(true)), home + "/.config/zepcon/") << system;
  }
  for (const std::string& own : {std::string("/usrx/bin/"), std::string("/home/u/opt/"), std::string("/optimal/")})
    EXPECT_EQ(SettingsFolder(own + "zepcon-cli", writable(true)), own) << own;
  // The real check: an existing folder is writable here, a missing one never.
  EXPECT_EQ(SettingsFolder(executable), program_folder + "/");
  EXPECT_FALSE(FolderIsWritable(program_folder + "/missing/"));
}

TEST(OptionsFile, ApplySetsLogModeAndPreviewStaysReachable) {
  const uint32_t old_mode = GetLogMode();
  OptionsRecord options = DefaultOptions();
  options.conversion.log_mode = old_mode == 2 ? 3 : 2;  // a change the check can see
  ApplyOptions(options);
  EXPECT_EQ(GetLogMode(), static_cast<uint32_t>(options.conversion.log_mode));
  SetLogMode(old_mode);
  options.preview_left = 3000;
  options.preview_top = 2147483647;  // must not overflow on the way
  for (int width : {1280, 1920}) {   // once pulled in, a larger desktop leaves it
    KeepPreviewWindowReachable(options, width, 1024);
    EXPECT_EQ(std::make_pair(options.preview_left, options.preview_top), std::make_pair(1230, 974));
  }
}

TEST(OptionsFile, DescribeListsEveryFieldOnItsOwnLine) {
  const std::string text = "\n" + DescribeOptions(CustomOptions());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 36);
  for (const char* line : {"last_folder = /data/models", "log_mode = 3", "smoothing_angle = 89.53", "ff7_weapon = 4",
                           "background_picture = 200 100 50", "normals_time_limit = 0"}) {
    EXPECT_NE(text.find("\n" + std::string(line) + "\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace zepcon
