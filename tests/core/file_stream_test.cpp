#include "core/file_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace zepcon {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteText;

TEST(FileStream, OpenAndCloseReportTheirErrorCodes) {
  TempDir dir;
  WriteText(dir.File("a.txt"), "0123456789");
  FileStream stream;
  EXPECT_EQ(stream.Open(dir.File("a.txt").c_str(), 7, FileStream::kRead), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kBadMode);
  EXPECT_EQ(stream.Open(dir.File("a.txt").c_str(), FileStream::kBinary, 2), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kBadDirection);
  EXPECT_EQ(stream.Open(dir.File("missing.txt").c_str(), FileStream::kBinary, FileStream::kRead), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kCannotOpen);
  EXPECT_EQ(stream.Close(), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kNotOpen);

  ASSERT_EQ(stream.Open(dir.File("a.txt").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  EXPECT_EQ(stream.LastError(), FileStream::kNoError);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Tell(), 0);
  // Already open: refused without a code.
  EXPECT_EQ(stream.Open(dir.File("missing.txt").c_str(), FileStream::kBinary, FileStream::kRead), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kNoError);
  EXPECT_EQ(stream.Close(), 1);
}

TEST(FileStream, ReadSeekAndEnd) {
  TempDir dir;
  WriteText(dir.File("a.bin"), "0123456789");
  FileStream stream;
  ASSERT_EQ(stream.Open(dir.File("a.bin").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(4, buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(stream.Tell(), 4);
  EXPECT_EQ(stream.Seek(3, 1), 1);
  EXPECT_EQ(stream.Tell(), 7);
  EXPECT_EQ(stream.Seek(-2, 2), 1);
  EXPECT_EQ(stream.Tell(), 8);
  EXPECT_EQ(stream.AtEnd(), 0);
  EXPECT_EQ(stream.Read(5, buffer), 2u);
  EXPECT_EQ(std::string(buffer, 2), "89");
  EXPECT_EQ(stream.LastError(), FileStream::kShortRead);
  EXPECT_EQ(stream.AtEnd(), 1);
  EXPECT_EQ(stream.Seek(0, 3), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kBadMode);
  EXPECT_EQ(stream.Seek(-1, 0), 0);
  EXPECT_EQ(stream.LastError(), FileStream::kSeekFailed);
  EXPECT_EQ(stream.Tell(), 10);  // a failed seek leaves the position
  EXPECT_EQ(stream.Seek(1, 0), 1);
  EXPECT_EQ(stream.Read(1, buffer), 1u);
  EXPECT_EQ(buffer[0], '1');
}

TEST(FileStream, WritingTextAndFormattedOutput) {
  TempDir dir;
  const std::string path = dir.File("w.txt");
  FileStream stream;
  ASSERT_EQ(stream.Open(path.c_str(), FileStream::kText, FileStream::kWrite), 1);
  EXPECT_EQ(stream.WriteText("head\n"), 1);
  EXPECT_EQ(stream.WriteFormatted("%s %d %.2f\n", "v", 7, 1.5), 1);
  EXPECT_EQ(stream.Tell(), 14);
  EXPECT_EQ(stream.Size(), 14);
  // Formatted output is bounded by its 8192-byte buffer.
  const std::string huge(10000, 'h');
  EXPECT_EQ(stream.WriteFormatted("%s", huge.c_str()), 0);  // cut output is not a success
  EXPECT_EQ(stream.Size(), 14 + 8191);
  ASSERT_EQ(stream.Close(), 1);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 14u + 8191u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 14), "head\nv 7 1.50\n");
}

TEST(FileStream, LinesInTextAndBinaryMode) {
  TempDir dir;
  WriteText(dir.File("l.txt"), "one\r\ntwo\nthree");
  char line[32];
  FileStream text;
  ASSERT_EQ(text.Open(dir.File("l.txt").c_str(), FileStream::kText, FileStream::kRead), 1);
  ASSERT_EQ(text.ReadLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "one\n");
  ASSERT_EQ(text.ReadLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "two\n");
  EXPECT_EQ(text.Tell(), 9);
  ASSERT_EQ(text.ReadLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "three");
  EXPECT_EQ(text.ReadLine(line, sizeof line), 0);
  EXPECT_EQ(text.LastError(), FileStream::kShortRead);

  FileStream binary;
  ASSERT_EQ(binary.Open(dir.File("l.txt").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  ASSERT_EQ(binary.ReadLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "one\r\n");
  // A small buffer gets the line in pieces.
  ASSERT_EQ(binary.ReadLine(line, 3), 1);
  EXPECT_STREQ(line, "tw");
}

TEST(FileStream, AttachKeepsPositionAndDetachHandsTheFileBack) {
  TempDir dir;
  WriteText(dir.File("d.bin"), "abcdefgh");
  FILE* file = std::fopen(dir.File("d.bin").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fseek(file, 3, SEEK_SET);
  FileStream stream;
  ASSERT_EQ(stream.Attach(file, FileStream::kBinary, FileStream::kRead), 1);
  EXPECT_EQ(stream.Size(), 8);
  EXPECT_EQ(stream.Tell(), 3);
  char c = 0;
  EXPECT_EQ(stream.Read(1, &c), 1u);
  EXPECT_EQ(c, 'd');
  EXPECT_EQ(stream.Attach(file, FileStream::kBinary, FileStream::kRead), 0);  // already attached
  EXPECT_EQ(stream.Detach(), file);
  EXPECT_EQ(stream.IsOpen(), 0);
  EXPECT_EQ(stream.Close(), 0);
  EXPECT_EQ(std::ftell(file), 4);  // still open and usable
  std::fclose(file);
}

}  // namespace
}  // namespace zepcon
