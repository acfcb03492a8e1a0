// A save replaces the destination in one step and keeps what made it that
// file: its permission bits, the link that led to it, and the old contents
// when the new ones cannot be written.
#include "core/pipeline/codec_runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/pipeline/file_converter.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNewText = "new contents\r\n";

std::string ReadText(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Holds kNewText as loaded text, ready to be saved anywhere.
class TextToSave {
 public:
  explicit TextToSave(const test::TempDir& dir) {
    const std::string source = dir.File("source.txt");
    test::WriteText(source, kNewText);
    EXPECT_EQ(converter_.InitData(KIND_TEXT), 1);
    EXPECT_EQ(converter_.LoadFile(source.c_str(), TYPE_TEXT), 1);
  }
  ~TextToSave() { converter_.DestroyData(); }
  int SaveTo(const fs::path& path) { return converter_.SaveFile(path.c_str(), TYPE_TEXT); }

 private:
  FileConverter converter_;
};

TEST(StagedSave, KeepsTheModeOfAnExistingFileAndGivesNewOnesTheUmasksMode) {
  test::TempDir dir;
  TextToSave text(dir);
  for (const mode_t mode : {0600, 0640, 0755, 0444}) {
    SCOPED_TRACE(mode);
    const fs::path destination = dir.Path() / ("kept" + std::to_string(mode) + ".txt");
    test::WriteText(destination, "old");
    ASSERT_EQ(chmod(destination.c_str(), mode), 0);
    ASSERT_EQ(text.SaveTo(destination), 1);
    EXPECT_EQ(ReadText(destination), kNewText);
    EXPECT_EQ(ModeOf(destination), mode);
  }
  for (const mode_t mask : {022, 077, 002}) {
    SCOPED_TRACE(mask);
    const mode_t old_mask = umask(mask);
    const fs::path destination = dir.Path() / ("new" + std::to_string(mask) + ".txt");
    const int saved = text.SaveTo(destination);
    umask(old_mask);
    ASSERT_EQ(saved, 1);
    EXPECT_EQ(ModeOf(destination), 0666 & ~mask);
  }
  // Staged files never stay behind: the source, four kept and three new files.
  EXPECT_EQ(EntriesIn(dir.Path()), 8u);
}

TEST(StagedSave, ALinkStaysALinkAndTheFileItNamesIsReplaced) {
  test::TempDir dir;
  TextToSave text(dir);
  const fs::path real = dir.Path() / "real";
  fs::create_directory(real);
  test::WriteText(real / "target.txt", "old");
  ASSERT_EQ(chmod((real / "target.txt").c_str(), 0600), 0);
  struct Case {
    const char* link;
    fs::path points_to;
  };
  const Case cases[] = {
      {"relative.txt", "real/target.txt"},
      {"absolute.txt", real / "target.txt"},
      {"chained.txt", "relative.txt"},  // a link to a link
      {"dangling.txt", "real/created.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    const fs::path link = dir.Path() / c.link;
    fs::create_symlink(c.points_to, link);
    test::WriteText(real / "target.txt", "old");
    ASSERT_EQ(text.SaveTo(link), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), c.points_to);
    EXPECT_EQ(ReadText(link), kNewText);
  }
  EXPECT_EQ(ReadText(real / "created.txt"), kNewText);
  EXPECT_EQ(ModeOf(real / "target.txt"), 0600u);
  EXPECT_EQ(EntriesIn(real), 2u);

  // A loop of links names no file; nothing is written.
  fs::create_symlink("loop_b", dir.Path() / "loop_a");
  fs::create_symlink("loop_a", dir.Path() / "loop_b");
  test::LogCapture log;
  EXPECT_EQ(text.SaveTo(dir.Path() / "loop_a"), 0);
  EXPECT_NE(log.ErrorText().find("cannot follow the link"), std::string::npos) << log.ErrorText();
}

// Renaming over a folder or a pipe would swap it for a plain file.
TEST(StagedSave, OnlyRegularFilesAreReplaced) {
  test::TempDir dir;
  TextToSave text(dir);
  const fs::path folder = dir.Path() / "folder.txt", pipe = dir.Path() / "pipe.txt";
  fs::create_directory(folder);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const fs::path& destination : {folder, pipe}) {
    test::LogCapture log;
    EXPECT_EQ(text.SaveTo(destination), 0);
    EXPECT_NE(log.ErrorText().find("is not a regular file"), std::string::npos) << log.ErrorText();
  }
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(EntriesIn(dir.Path()), 3u);
}

// A folder that takes no new file: the save fails with its reason and the
// old file is untouched. Root may write anywhere, so as root the save runs
// in a child process that has given up root for the "nobody" user.
TEST(StagedSave, AFolderThatTakesNoFileFailsCleanlyAndKeepsTheOldFile) {
  test::TempDir dir;
  TextToSave text(dir);
  const fs::path locked = dir.Path() / "locked", destination = locked / "old.txt";
  fs::create_directory(locked);
  test::WriteText(destination, "old contents");
  ASSERT_EQ(chmod(locked.c_str(), 0555), 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    test::LogCapture log;
    const int saved = text.SaveTo(destination);
    const bool explained = log.ErrorText().find("cannot create a file in the folder of") != std::string::npos;
    _exit(saved ? 1 : explained ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  chmod(locked.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "root here may not become another user; no folder refuses it";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: no reason logged";
  EXPECT_EQ(ReadText(destination), "old contents");
  EXPECT_EQ(EntriesIn(locked), 1u);
}

}  // namespace
}  // namespace zepcon
