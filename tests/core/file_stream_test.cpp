#include "core/file_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/test_support.h"

namespace zepcon {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteText;

TEST(FileStream, RefusalsShortReadsAndFailedSeeksLeaveTheirErrorCodes) {
  TempDir dir;
  const std::string path = dir.File("a.bin");
  WriteText(path, "0123456789");
  FileStream stream;
  auto refused = [&](int result, int error) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stream.LastError(), error);
  };
  refused(stream.Open(path.c_str(), 7, FileStream::kRead), FileStream::kBadMode);
  refused(stream.Open(path.c_str(), FileStream::kBinary, 2), FileStream::kBadDirection);
  refused(stream.Open(dir.File("missing").c_str(), FileStream::kBinary, FileStream::kRead), FileStream::kCannotOpen);
  refused(stream.Close(), FileStream::kNotOpen);
  ASSERT_EQ(stream.Open(path.c_str(), FileStream::kBinary, FileStream::kRead), 1);
  refused(stream.Open(path.c_str(), FileStream::kBinary, FileStream::kRead), FileStream::kNoError);  // already open

  char buffer[8] = {};
  EXPECT_EQ(stream.Seek(-2, 2), 1);
  EXPECT_EQ(stream.Read(5, buffer), 2u);
  EXPECT_STREQ(buffer, "89");
  EXPECT_EQ(stream.LastError(), FileStream::kShortRead);
  refused(stream.Seek(0, 3), FileStream::kBadMode);
  refused(stream.Seek(-1, 0), FileStream::kSeekFailed);
  EXPECT_EQ(stream.Tell(), 10);  // a failed seek leaves the position
  EXPECT_EQ(stream.Seek(-6, 1), 1);
  EXPECT_EQ(stream.Read(1, buffer), 1u);
  EXPECT_EQ(buffer[0], '4');
}

TEST(FileStream, FormattedOutputIsBoundedAndCutOutputFails) {
  TempDir dir;
  const std::string path = dir.File("w.txt");
  FileStream stream;
  ASSERT_EQ(stream.Open(path.c_str(), FileStream::kText, FileStream::kWrite), 1);
  EXPECT_EQ(stream.WriteText("head\n"), 1);
  EXPECT_EQ(stream.WriteFormatted("%s %d %.2f\n", "v", 7, 1.5), 1);
  EXPECT_EQ(stream.WriteFormatted("%s", std::string(10000, 'h').c_str()), 0);  // 8192-byte buffer
  EXPECT_EQ(std::make_pair(stream.Tell(), stream.Size()), std::make_pair(14L + 8191, 14L + 8191));
  ASSERT_EQ(stream.Close(), 1);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "head\nv 7 1.50\n" + std::string(8191, 'h'));
}

TEST(FileStream, LinesInTextAndBinaryMode) {
  TempDir dir;
  WriteText(dir.File("l.txt"), "one\r\ntwo\nthree");
  char line[32];
  FileStream text, binary;
  ASSERT_EQ(text.Open(dir.File("l.txt").c_str(), FileStream::kText, FileStream::kRead), 1);
  for (const char* expected : {"one\n", "two\n", "three"}) {
    ASSERT_EQ(text.ReadLine(line, sizeof line), 1);
    EXPECT_STREQ(line, expected);
  }
  EXPECT_EQ(text.Tell(), 14);  // positions count the file's own bytes
  EXPECT_EQ(text.ReadLine(line, sizeof line), 0);
  ASSERT_EQ(binary.Open(dir.File("l.txt").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  ASSERT_EQ(binary.ReadLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "one\r\n");
  ASSERT_EQ(binary.ReadLine(line, 3), 1);  // a small buffer gets the line in pieces
  EXPECT_STREQ(line, "tw");
}

TEST(FileStream, AttachKeepsPositionAndDetachHandsTheFileBack) {
  TempDir dir;
  WriteText(dir.File("d.bin"), "abcdefgh");
  FILE* file = std::fopen(dir.File("d.bin").c_str(), "rb");
  ASSERT_TRUE(file && std::fseek(file, 3, SEEK_SET) == 0);
  FileStream stream;
  ASSERT_EQ(stream.Attach(file, FileStream::kBinary, FileStream::kRead), 1);
  char c = 0;
  EXPECT_EQ(stream.Read(1, &c), 1u);
  EXPECT_EQ(std::make_tuple(c, stream.Tell(), stream.Size()), std::make_tuple('d', 4L, 8L));
  EXPECT_EQ(stream.Attach(file, FileStream::kBinary, FileStream::kRead), 0);  // already attached
  EXPECT_EQ(stream.Detach(), file);
  EXPECT_EQ(stream.Close(), 0);
  EXPECT_EQ(std::ftell(file), 4);  // still open and usable
  std::fclose(file);
}

}  // namespace
}  // namespace zepcon
