#include "core/reading_helper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteText;

// A file opened for reading that closes itself.
struct OpenFile {
  explicit OpenFile(const std::string& path, const char* mode = "rb") : file(std::fopen(path.c_str(), mode)) {}
  ~OpenFile() {
    if (file) std::fclose(file);
  }
  FILE* file;
};

// ---- Tokens and string tools ------------------------------------------------

TEST(ReadingHelperTokens, LeadingAndRepeatedDelimitersCountAsOneSeparator) {
  ReadingHelper helper;
  EXPECT_STREQ(helper.GetToken(" ab  cd", 0), "ab");
  EXPECT_STREQ(helper.GetToken(" ab  cd", 1), "cd");
  EXPECT_STREQ(helper.GetToken(" ab  cd", 2), "");
  EXPECT_STREQ(helper.GetToken("v 1.0\t2.5\r\n", 2), "2.5");
  EXPECT_STREQ(helper.GetToken("v 1.0\t2.5\r\n", 3), "");
  EXPECT_STREQ(helper.GetToken("   ", 0), "");
  EXPECT_STREQ(helper.GetToken("", 0), "");
  EXPECT_STREQ(helper.GetToken(nullptr, 0), "");
}

TEST(ReadingHelperTokens, OwnDelimitersAndEndPosition) {
  ReadingHelper helper;
  uint16_t end = 0;
  EXPECT_STREQ(helper.GetToken("12/3/4 7", 1, "/ ", &end), "3");
  EXPECT_EQ(end, 4);
  // Blanks are ordinary characters when not among the delimiters.
  EXPECT_STREQ(helper.GetToken("a b,c d", 1, ",", &end), "c d");
  EXPECT_EQ(end, 7);
}

TEST(ReadingHelperTokens, LongTokenIsCutAt254Characters) {
  ReadingHelper helper;
  const std::string line = "x " + std::string(400, 'q') + " y";
  EXPECT_EQ(std::string(helper.GetToken(line.c_str(), 1)), std::string(254, 'q'));
  EXPECT_STREQ(helper.GetToken(line.c_str(), 2), "y");
}

TEST(ReadingHelperStrings, TrimQuotedAndIsNumber) {
  ReadingHelper helper;
  EXPECT_STREQ(helper.Trim("  x y  ", " "), "x y");
  EXPECT_STREQ(helper.Trim("\t map.tga \r\n", " \t\r\n"), "map.tga");
  EXPECT_STREQ(helper.Trim("    ", " "), "");
  EXPECT_EQ(std::strlen(helper.Trim(std::string(600, 'a').c_str(), " ")), 255u);

  EXPECT_STREQ(helper.GetQuoted("*BITMAP \"c:\\maps\\wood.tga\" x"), "c:\\maps\\wood.tga");
  EXPECT_STREQ(helper.GetQuoted("name \"unterminated"), "unterminated");
  EXPECT_STREQ(helper.GetQuoted("no quotes"), "");

  EXPECT_EQ(ReadingHelper::IsNumber("-1.5"), 1);
  EXPECT_EQ(ReadingHelper::IsNumber("1e3"), 0);
  EXPECT_EQ(ReadingHelper::IsNumber("12 "), 0);
  EXPECT_EQ(ReadingHelper::IsNumber(""), 0);
}

TEST(ReadingHelperStrings, ReplaceAndStrip) {
  char path[] = "a\\b/c\\d";
  EXPECT_EQ(ReadingHelper::ReplaceChars(path, "\\", "/"), 2);
  EXPECT_STREQ(path, "a/b/c/d");
  char pair[] = "abcabc";
  EXPECT_EQ(ReadingHelper::ReplaceChars(pair, "ab", "xy"), 4);
  EXPECT_STREQ(pair, "xycxyc");
  char mismatched[] = "abc";
  EXPECT_EQ(ReadingHelper::ReplaceChars(mismatched, "ab", "x"), 0);
  EXPECT_STREQ(mismatched, "abc");
  char empty[] = "";
  EXPECT_EQ(ReadingHelper::ReplaceChars(empty, "a", "b"), 0);

  char text[] = "v 1 2 // first\nv 3 4\r\n// whole line\nf 1 2 // open end";
  ReadingHelper::StripToLineEnd(text, "//");
  EXPECT_STREQ(text, "v 1 2 \nv 3 4\r\n\nf 1 2 // open end");

  char blanks[] = " \t  word  ";
  ReadingHelper::StripLeadingBlanks(blanks);
  EXPECT_STREQ(blanks, "word  ");
}

// ---- Lines --------------------------------------------------------------------

TEST(ReadingHelperLines, CrLfBecomesLfAndEmptyLinesAreSkipped) {
  TempDir dir;
  WriteText(dir.File("t.txt"), "first\r\n\r\n\n  \r\nlast\r");
  ReadingHelper helper;
  OpenFile in(dir.File("t.txt"));
  ASSERT_EQ(helper.ReadLine(in.file), 1);
  EXPECT_STREQ(helper.line, "first\n");
  ASSERT_EQ(helper.ReadNonEmptyLine(in.file), 1);
  EXPECT_STREQ(helper.line, "  \n");  // blanks are content
  ASSERT_EQ(helper.ReadNonEmptyLine(in.file), 1);
  EXPECT_STREQ(helper.line, "last");  // no line end, lone CR dropped
  EXPECT_EQ(helper.ReadNonEmptyLine(in.file), 0);
  EXPECT_STREQ(helper.line, "");
  EXPECT_EQ(helper.ReadLine(in.file), 0);

  FileStream stream;
  ASSERT_EQ(stream.Open(dir.File("t.txt").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  ASSERT_EQ(helper.ReadNonEmptyLine(stream), 1);
  EXPECT_STREQ(helper.line, "first\n");
  ASSERT_EQ(helper.ReadNonEmptyLine(stream), 1);
  EXPECT_STREQ(helper.line, "  \n");
  ASSERT_EQ(helper.ReadNonEmptyLine(stream), 1);
  EXPECT_STREQ(helper.line, "last");
  EXPECT_EQ(helper.ReadNonEmptyLine(stream), 0);
}

TEST(ReadingHelperLines, OverLongLineKeeps999CharactersAndDropsItsTail) {
  TempDir dir;
  const std::string exact(999, 'e');
  const std::string longer(1500, 'l');
  WriteText(dir.File("long.txt"), exact + "\r\n" + longer + "\r\nnext\r\n");
  for (int use_stream = 0; use_stream < 2; ++use_stream) {
    SCOPED_TRACE(use_stream ? "FileStream" : "FILE*");
    ReadingHelper helper;
    OpenFile in(dir.File("long.txt"));
    FileStream stream;
    if (use_stream) {
      ASSERT_EQ(stream.Open(dir.File("long.txt").c_str(), 2, 0), 1);
    }
    auto read = [&] { return use_stream ? helper.ReadLine(stream) : helper.ReadLine(in.file); };

    ASSERT_EQ(read(), 1);
    EXPECT_EQ(std::string(helper.line), exact);  // fits; no room left for the line end
    EXPECT_EQ(helper.line_truncated, 0);
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(std::string(helper.line), std::string(999, 'l'));
    EXPECT_EQ(helper.line_truncated, 1);
    ASSERT_EQ(read(), 1);
    EXPECT_STREQ(helper.line, "next\n");
    EXPECT_EQ(helper.line_truncated, 0);
    EXPECT_EQ(read(), 0);
  }
}

TEST(ReadingHelperLines, ReadRestFillsTheLineUpTo999) {
  TempDir dir;
  WriteText(dir.File("rest.txt"), "head\nbody " + std::string(2000, 'r'));
  ReadingHelper helper;
  OpenFile in(dir.File("rest.txt"));
  ASSERT_EQ(helper.ReadLine(in.file), 1);
  EXPECT_EQ(helper.ReadRest(in.file), 999 - 5);
  EXPECT_EQ(std::strlen(helper.line), 999u);
  EXPECT_EQ(std::string(helper.line, 10), "head\nbody ");
}

TEST(ReadingHelperLines, ZeroTerminatedStringsInPlainFileAndStream) {
  TempDir dir;
  const std::vector<uint8_t> bytes = {'a', 'b', 'c', 'd', 'e', 'f', 0, 'x', 'y', 0, 'z'};
  WriteBytes(dir.File("z.bin"), bytes);
  char buffer[8];

  OpenFile in(dir.File("z.bin"));
  EXPECT_EQ(ReadingHelper::ReadZString(in.file, buffer, 4), 7);  // cut: capacity - 2 kept
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(ReadingHelper::ReadZString(in.file, buffer, 3), 3);  // "xy" fits exactly
  EXPECT_STREQ(buffer, "xy");
  EXPECT_EQ(ReadingHelper::ReadZString(in.file, buffer, 8), 1);  // end of file, no zero
  EXPECT_STREQ(buffer, "z");
  EXPECT_EQ(ReadingHelper::ReadZString(in.file, buffer, 8), 0);
  EXPECT_STREQ(buffer, "");

  FileStream stream;
  ASSERT_EQ(stream.Open(dir.File("z.bin").c_str(), FileStream::kBinary, FileStream::kRead), 1);
  EXPECT_EQ(ReadingHelper::ReadZString(stream, buffer, 4), 7);  // cut: capacity - 1 kept
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(ReadingHelper::ReadZString(stream, buffer, 8), 3);
  EXPECT_STREQ(buffer, "xy");
  EXPECT_EQ(stream.Tell(), 10);
}

// ---- Levels -------------------------------------------------------------------

TEST(ReadingHelperLevels, PushStopsAt49OpenLevels) {
  LogCapture log;
  ReadingHelper helper;
  helper.PushLevel(0);
  EXPECT_EQ(helper.level, 0);
  for (int i = 0; i < 49; ++i) helper.PushLevel(100);
  EXPECT_EQ(helper.level, 49);
  EXPECT_EQ(std::strlen(helper.indent), 49u);
  EXPECT_FALSE(log.Contains("Extend Maxlevels !\n"));
  helper.PushLevel(100);
  EXPECT_EQ(helper.level, 49);
  EXPECT_EQ(log.ErrorText(), "Extend Maxlevels !\n");
  helper.ResetLevels();
  EXPECT_EQ(helper.level, 0);
  EXPECT_STREQ(helper.indent, "");
  EXPECT_EQ(helper.level_lengths[49], 0);
}

TEST(ReadingHelperLevels, ConsumeClosesExhaustedLevelsAndClampsOverruns) {
  LogCapture log;
  ReadingHelper helper;
  helper.PushLevel(30);
  helper.PushLevel(10);
  EXPECT_STREQ(helper.indent, "  ");
  helper.ConsumeLevel(10);
  EXPECT_EQ(helper.level, 1);
  EXPECT_EQ(helper.LevelLength(), 20);
  EXPECT_STREQ(helper.indent, " ");
  EXPECT_TRUE(log.ErrorText().empty());

  helper.PushLevel(5);
  helper.ConsumeLevel(8);  // the inner block claims less than was read
  EXPECT_TRUE(log.Contains("LevelLen -3\n"));
  EXPECT_EQ(helper.level, 1);
  EXPECT_EQ(helper.LevelLength(), 12);
  helper.ConsumeLevel(12);
  EXPECT_EQ(helper.level, 0);
}

TEST(ReadingHelperLevels, PushOuterGrowsEveryOpenLevel) {
  ReadingHelper helper;
  helper.PushLevelOuter(8);
  helper.PushLevelOuter(4);
  helper.PushLevelOuter(2);
  EXPECT_EQ(helper.level_lengths[1], 14);
  EXPECT_EQ(helper.level_lengths[2], 6);
  EXPECT_EQ(helper.level_lengths[3], 2);
  helper.ConsumeLevel(2);
  EXPECT_EQ(helper.level, 2);
  EXPECT_EQ(helper.level_lengths[1], 12);
}

TEST(ReadingHelperLevels, NamesByRelativeLevel) {
  ReadingHelper helper;
  helper.PushLevel(100);
  helper.SetLevelName("4D4D");
  helper.PushLevel(50);
  helper.SetLevelName("a name far longer than the thirty-nine characters kept");
  EXPECT_EQ(std::strlen(helper.GetLevelName(0)), 39u);
  EXPECT_EQ(helper.LevelNameIs("4D4D", -1), 1);
  EXPECT_EQ(helper.LevelNameIs("4D4D", 0), 0);
  EXPECT_STREQ(helper.GetLevelName(-2), "");
  EXPECT_EQ(helper.GetLevelName(-3), nullptr);
  EXPECT_EQ(helper.GetLevelName(1), nullptr);
  EXPECT_EQ(helper.LevelNameIs("4D4D", 1), 0);
  helper.ConsumeLevel(50);
  EXPECT_EQ(helper.LevelNameIs("4D4D", 0), 1);
  helper.PushLevel(10);  // a new level starts unnamed
  EXPECT_STREQ(helper.GetLevelName(0), "");
}

// ---- Form chunks ----------------------------------------------------------------

TEST(ReadingHelperForm, SettingsMustBeChosenFirst) {
  TempDir dir;
  WriteBytes(dir.File("f.bin"), {'F', 'O', 'R', 'M', 0, 0, 0, 4});
  LogCapture log;
  ReadingHelper helper;
  OpenFile in(dir.File("f.bin"));
  EXPECT_EQ(helper.ReadFormHeader(in.file), 0);
  EXPECT_EQ(log.ErrorText(), "Dont forget to set [FormSkipOddByte] and [FormByteOrdering] !\n");
  EXPECT_EQ(std::ftell(in.file), 0);  // nothing read
  helper.FormByteOrdering = 0;
  EXPECT_EQ(helper.ReadFormHeader(in.file), 0);  // still one missing
  helper.FormSkipOddByte = 1;
  EXPECT_EQ(helper.ReadFormHeader(in.file), 1);
  EXPECT_EQ(helper.form_header.length, 4u);
}

// Three chunks: odd "AAAA" (3 bytes + pad), "BBBB" (2 bytes), then a header
// cut off after 5 bytes.
std::vector<uint8_t> ChunkFile(bool big_endian, bool padded) {
  auto length = [&](uint8_t n) {
    return big_endian ? std::vector<uint8_t>{0, 0, 0, n} : std::vector<uint8_t>{n, 0, 0, 0};
  };
  std::vector<uint8_t> bytes = {'A', 'A', 'A', 'A'};
  for (uint8_t b : length(3)) bytes.push_back(b);
  bytes.insert(bytes.end(), {1, 2, 3});
  if (padded) bytes.push_back(0);
  bytes.insert(bytes.end(), {'B', 'B', 'B', 'B'});
  for (uint8_t b : length(2)) bytes.push_back(b);
  bytes.insert(bytes.end(), {7, 8, 'C', 'C', 'C', 'C', 0});
  return bytes;
}

TEST(ReadingHelperForm, ByteOrdersAndOddPaddingOnFileAndStream) {
  TempDir dir;
  for (int big_endian = 0; big_endian < 2; ++big_endian) {
    for (int padded = 0; padded < 2; ++padded) {
      for (int use_stream = 0; use_stream < 2; ++use_stream) {
        SCOPED_TRACE(testing::Message() << "big " << big_endian << " padded " << padded << " stream "
                                        << use_stream);
        const std::string path = dir.File("c.bin");
        WriteBytes(path, ChunkFile(big_endian, padded));
        ReadingHelper helper;
        helper.FormByteOrdering = big_endian ? 0 : 1;
        helper.FormSkipOddByte = padded;
        OpenFile in(path);
        FileStream stream;
        if (use_stream) {
          ASSERT_EQ(stream.Open(path.c_str(), 2, 0), 1);
        }
        auto header = [&] { return use_stream ? helper.ReadFormHeader(stream) : helper.ReadFormHeader(in.file); };
        auto skip = [&] { return use_stream ? helper.SkipFormChunk(stream) : helper.SkipFormChunk(in.file); };

        ASSERT_EQ(header(), 1);
        EXPECT_EQ(std::string(helper.form_header.id, 4), "AAAA");
        EXPECT_EQ(helper.form_header.length, 3u);
        EXPECT_EQ(helper.form_padded_length, 4u);
        ASSERT_EQ(skip(), 1);
        ASSERT_EQ(header(), 1);
        EXPECT_EQ(std::string(helper.form_header.id, 4), "BBBB");
        EXPECT_EQ(helper.form_header.length, 2u);
        ASSERT_EQ(skip(), 1);
        EXPECT_EQ(header(), 0);  // the file ends inside the next header
      }
    }
  }
}

TEST(ReadingHelperForm, BigEndianLengthAndShortBody) {
  TempDir dir;
  std::vector<uint8_t> bytes = {'D', 'A', 'T', 'A', 0, 0, 1, 2};
  bytes.resize(8 + 100, 0x55);
  WriteBytes(dir.File("s.bin"), bytes);
  ReadingHelper helper;
  helper.FormByteOrdering = 0;
  helper.FormSkipOddByte = 1;
  OpenFile in(dir.File("s.bin"));
  ASSERT_EQ(helper.ReadFormHeader(in.file), 1);
  EXPECT_EQ(helper.form_header.length, 258u);
  EXPECT_EQ(helper.SkipFormChunk(in.file), 0);  // only 100 of 258 bytes there
  EXPECT_EQ(std::ftell(in.file), 108);
}

TEST(ReadingHelperForm, SkipBytesStopsAtTheEnd) {
  TempDir dir;
  WriteBytes(dir.File("b.bin"), std::vector<uint8_t>(4500, 1));
  OpenFile in(dir.File("b.bin"));
  EXPECT_EQ(ReadingHelper::SkipBytes(in.file, 4100), 4100u);
  EXPECT_EQ(ReadingHelper::SkipBytes(in.file, 0xFFFFFFFFull), 400u);
  EXPECT_EQ(ReadingHelper::SkipBytes(in.file, 1), 0u);
}

// Writes FORM { NAME "abc", LIST { ITEM 1 2 } } and returns the file bytes.
template <typename Target>
void WriteNested(ReadingHelper& helper, Target& target, size_t (*put)(Target&, const void*, size_t)) {
  ASSERT_EQ(helper.BeginFormChunk(target, "FORM"), 1);
  put(target, "TEST", 4);
  ASSERT_EQ(helper.BeginFormChunk(target, "NAME"), 1);
  put(target, "abc", 3);
  ASSERT_EQ(helper.EndFormChunk(target), 1);
  ASSERT_EQ(helper.BeginFormChunk(target, "LIST"), 1);
  ASSERT_EQ(helper.BeginFormChunk(target, "ITEM"), 1);
  put(target, "\x01\x02", 2);
  ASSERT_EQ(helper.EndFormChunk(target), 1);
  ASSERT_EQ(helper.EndFormChunk(target), 1);
  ASSERT_EQ(helper.EndFormChunk(target), 1);
}

size_t PutFile(FILE*& file, const void* data, size_t count) { return std::fwrite(data, 1, count, file); }
size_t PutStream(FileStream& stream, const void* data, size_t count) { return stream.Write(count, data); }

TEST(ReadingHelperForm, NestedChunksWrittenAndReadBack) {
  TempDir dir;
  const std::string path = dir.File("w.bin");
  for (int big_endian = 0; big_endian < 2; ++big_endian) {
    for (int use_stream = 0; use_stream < 2; ++use_stream) {
      SCOPED_TRACE(testing::Message() << "big " << big_endian << " stream " << use_stream);
      ReadingHelper writer;
      writer.FormByteOrdering = big_endian ? 0 : 1;
      writer.FormSkipOddByte = 0;
      if (use_stream) {
        FileStream stream;
        ASSERT_EQ(stream.Open(path.c_str(), 2, 1), 1);
        WriteNested(writer, stream, PutStream);
        EXPECT_EQ(stream.Tell(), 41);  // back at the end after the last fill-in
        stream.Close();
      } else {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        WriteNested(writer, file, PutFile);
        EXPECT_EQ(std::ftell(file), 41);
        std::fclose(file);
      }
      const std::vector<uint8_t> bytes = ReadBytes(path);
      ASSERT_EQ(bytes.size(), 41u);
      // Independent check of the outer header bytes.
      const std::vector<uint8_t> outer_length =
          big_endian ? std::vector<uint8_t>{0, 0, 0, 33} : std::vector<uint8_t>{33, 0, 0, 0};
      EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 8), outer_length);

      // Read the tree back, tracking nesting with the level stack.
      ReadingHelper reader;
      reader.FormByteOrdering = writer.FormByteOrdering;
      reader.FormSkipOddByte = 0;
      OpenFile in(path);
      std::vector<std::string> seen;
      while (reader.ReadFormHeader(in.file)) {
        const std::string id(reader.form_header.id, 4);
        seen.push_back(std::string(reader.indent) + id + ":" + std::to_string(reader.form_header.length));
        reader.ConsumeLevel(8);
        if (id == "FORM" || id == "LIST") {
          reader.PushLevel(static_cast<int32_t>(reader.form_header.length));
          if (id == "FORM") {
            char type[4];
            ASSERT_EQ(std::fread(type, 1, 4, in.file), 4u);
            reader.ConsumeLevel(4);
          }
        } else {
          ASSERT_EQ(reader.SkipFormChunk(in.file), 1);
          reader.ConsumeLevel(static_cast<int32_t>(reader.form_header.length));
        }
      }
      EXPECT_EQ(seen, (std::vector<std::string>{"FORM:33", " NAME:3", " LIST:10", "  ITEM:2"}));
      EXPECT_EQ(reader.level, 0);
    }
  }
}

TEST(ReadingHelperForm, WritingDepthIsLimitedAndEndsStayPaired) {
  TempDir dir;
  LogCapture log;
  ReadingHelper helper;
  helper.FormByteOrdering = 1;
  helper.FormSkipOddByte = 0;
  FileStream stream;
  ASSERT_EQ(stream.Open(dir.File("deep.bin").c_str(), 2, 1), 1);
  EXPECT_EQ(helper.EndFormChunk(stream), 0);  // nothing open
  for (int i = 0; i < 19; ++i) ASSERT_EQ(helper.BeginFormChunk(stream, "DEEP"), 1);
  EXPECT_EQ(helper.BeginFormChunk(stream, "LOST"), 0);
  EXPECT_FALSE(log.ErrorText().empty());
  EXPECT_EQ(helper.EndFormChunk(stream), 0);  // pairs with the refused one
  for (int i = 0; i < 19; ++i) ASSERT_EQ(helper.EndFormChunk(stream), 1);
  stream.Close();
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("deep.bin"));
  ASSERT_EQ(bytes.size(), 19u * 8);
  EXPECT_EQ(bytes[4], 18 * 8);  // outermost holds the 18 inner headers
  EXPECT_EQ(bytes[18 * 8 + 4], 0);
}

// ---- Bytes and numbers -----------------------------------------------------------

TEST(ReadingHelperBytes, SwapsAndFixedPoint) {
  LogCapture log;
  uint8_t bytes[65];
  for (int i = 0; i < 65; ++i) bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(ReadingHelper::Swap(bytes, 65), 0);
  EXPECT_EQ(log.ErrorText(), "Swap: too many bytes (65) !\n");
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(ReadingHelper::Swap(bytes, 0), 0);
  EXPECT_EQ(ReadingHelper::Swap(bytes, 64), 1);
  EXPECT_EQ(bytes[0], 63);
  EXPECT_EQ(bytes[63], 0);
  EXPECT_EQ(bytes[64], 64);
  uint8_t three[3] = {1, 2, 3};
  ReadingHelper::Swap(three, 3);
  EXPECT_EQ(three[0], 3);
  EXPECT_EQ(three[2], 1);

  EXPECT_EQ(ReadingHelper::Swap32(0x11223344u), 0x44332211u);
  EXPECT_EQ(ReadingHelper::Swap16(0xA1B2), 0xB2A1);
  // Raw little-endian loads of big-endian 16.16 numbers 1.5 and -2.25.
  EXPECT_DOUBLE_EQ(ReadingHelper::Fixed16(0x00800100u), 1.5);
  EXPECT_DOUBLE_EQ(ReadingHelper::Fixed16(0x00C0FDFFu), -2.25);
}

TEST(ReadingHelperBytes, FindTwoSame) {
  LogCapture log;
  EXPECT_EQ(ReadingHelper::FindTwoSame(1, 2, 2, 3), 2);
  EXPECT_EQ(ReadingHelper::FindTwoSame(1, 2, 3, 1), 1);
  EXPECT_EQ(ReadingHelper::FindTwoSame(5, 5, 0, 5), 5);
  EXPECT_TRUE(log.ErrorText().empty());
  EXPECT_EQ(ReadingHelper::FindTwoSame(1, 2, 3, 4), -1);
  EXPECT_EQ(log.ErrorText(), "FindTwoSame: Can't find two same !\n");
}

// ---- Files and time -----------------------------------------------------------------

TEST(ReadingHelperFiles, TempFileNameSkipsExistingEntries) {
  TempDir dir;
  const std::string folder = dir.Path().string();
  ReadingHelper first;
  first.SeedRandom(1234);
  const std::string name1 = first.TempFileName(folder.c_str());
  const std::string name2 = first.TempFileName((folder + "/").c_str());
  const std::string prefix = folder + "/F";
  ASSERT_EQ(name1.rfind(prefix, 0), 0u) << name1;
  const std::string number = name1.substr(prefix.size(), name1.size() - prefix.size() - 4);
  EXPECT_EQ(name1.substr(name1.size() - 4), ".tmp");
  EXPECT_TRUE(!number.empty() && number.size() <= 7 && number.find_first_not_of("0123456789") == std::string::npos)
      << name1;
  EXPECT_EQ(name2.rfind(folder + "/F", 0), 0u) << name2;  // no doubled separator

  // The same draws again, with the first name taken by a dangling link and
  // the second by a file: both must be passed over.
  std::filesystem::create_symlink(dir.File("nowhere"), name1);
  WriteText(name2, "taken");
  ReadingHelper second;
  second.SeedRandom(1234);
  const std::string name3 = second.TempFileName(folder.c_str());
  EXPECT_NE(name3, name1);
  EXPECT_NE(name3, name2);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(name3)));

  ReadingHelper helper;
  EXPECT_EQ(std::string(helper.TempFileName("")).rfind("./F", 0), 0u);
}

TEST(ReadingHelperFiles, NameAndFolderOfPath) {
  ReadingHelper helper;
  EXPECT_STREQ(helper.FileNameOfPath("c:\\games\\ff7/field\\aaaa.hrc"), "aaaa.hrc");
  EXPECT_STREQ(helper.FolderOfPath("c:\\games\\ff7/field\\aaaa.hrc"), "c:\\games\\ff7/field\\");
  EXPECT_STREQ(helper.FileNameOfPath("plain.obj"), "plain.obj");
  EXPECT_STREQ(helper.FolderOfPath("plain.obj"), "");
  EXPECT_STREQ(helper.FileNameOfPath("dir/"), "");
  const std::string deep = std::string(700, 'd') + "/x";
  EXPECT_EQ(std::strlen(helper.FolderOfPath(deep.c_str())), 511u);
}

TEST(ReadingHelperFiles, FindFirstAndNextWithWildcards) {
  TempDir dir;
  for (const char* name : {"b.tga", "A.TGA", "x[1].tga", "c.bmp", "noext", "ab.bmp"}) WriteText(dir.File(name), "x");
  std::filesystem::create_directory(dir.Path() / "sub.tga");
  ReadingHelper helper;
  auto all = [&](const std::string& pattern) {
    std::vector<std::string> names;
    if (!helper.FindFirst(pattern.c_str())) return names;
    while (const char* name = helper.FindNext()) names.push_back(name);
    return names;
  };
  const std::string folder = dir.Path().string();
  EXPECT_EQ(all(folder + "/*.tga"), (std::vector<std::string>{"A.TGA", "b.tga", "sub.tga", "x[1].tga"}));
  EXPECT_EQ(all(folder + "/?.BMP"), (std::vector<std::string>{"c.bmp"}));
  EXPECT_EQ(all(folder + "\\x[1].TGA"), (std::vector<std::string>{"x[1].tga"}));
  EXPECT_EQ(all(folder + "/*.*").size(), 7u);
  EXPECT_TRUE(all(folder + "/*.jpg").empty());
  EXPECT_EQ(helper.FindNext(), nullptr);
  EXPECT_EQ(helper.FindFirst((folder + "/missing-folder/*").c_str()), 0);
}

TEST(ReadingHelperTime, StampFormatAndTimer) {
  ReadingHelper helper;
  EXPECT_TRUE(std::regex_match(helper.TimeStamp(),
                               std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [1-9][0-9]? "
                                          "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 2[0-9]{3} "
                                          "[0-2][0-9]:[0-5][0-9]")))
      << helper.TimeStamp();
  helper.StartTimer();
  EXPECT_EQ(helper.TimeReached(0.0), 1);
  EXPECT_EQ(helper.TimeReached(3600.0), 0);
  usleep(30000);
  EXPECT_EQ(helper.TimeReached(0.02), 1);
}

// ---- Geometry -------------------------------------------------------------------------

TEST(ReadingHelperGeometry, AnglesOfDirections) {
  EXPECT_DOUBLE_EQ(ReadingHelper::AngleOfXY(-1, 0), 180.0);
  EXPECT_DOUBLE_EQ(ReadingHelper::AngleOfXY(0, -1), 270.0);
  EXPECT_DOUBLE_EQ(ReadingHelper::AngleOfXY(0, 1), 90.0);
  EXPECT_DOUBLE_EQ(ReadingHelper::AngleOfXY(0, 0), 0.0);
  EXPECT_NEAR(ReadingHelper::AngleOfXY(1, -1), 315.0, 1e-5);
  EXPECT_NEAR(ReadingHelper::AngleOfXY(-1, -1), 225.0, 1e-5);
  EXPECT_NEAR(ReadingHelper::AngleOfXY(1, 1e-300), 0.0, 1e-9);

  EXPECT_DOUBLE_EQ(ReadingHelper::Normalize360(720.5), 0.5);
  EXPECT_DOUBLE_EQ(ReadingHelper::Normalize360(-30), 330.0);
  EXPECT_DOUBLE_EQ(ReadingHelper::Normalize360(360), 0.0);
  const double huge = ReadingHelper::Normalize360(1e300);  // must not spin forever
  EXPECT_TRUE(huge >= 0.0 && huge < 360.0);

  // a straight up from the centre, b to its right: a is 90 degrees past b.
  EXPECT_NEAR(ReadingHelper::AngleBetween(5, 6, 5, 5, 6, 5), 90.0, 1e-6);
  EXPECT_NEAR(ReadingHelper::AngleBetween(6, 5, 5, 5, 5, 6), 270.0, 1e-6);

  double azimuth = 0, elevation = 0;
  ReadingHelper::ToSpherical(0, -2, 2, azimuth, elevation);
  EXPECT_DOUBLE_EQ(azimuth, 270.0);
  EXPECT_NEAR(elevation, 45.0, 1e-5);
}

TEST(ReadingHelperGeometry, RotationsApplyTheirStepsInOrder) {
  auto check = [](double x, double y, double z, double ex, double ey, double ez) {
    EXPECT_NEAR(x, ex, 1e-6);
    EXPECT_NEAR(y, ey, 1e-6);
    EXPECT_NEAR(z, ez, 1e-6);
  };
  double u = 1, v = 0;
  ReadingHelper::RotatePair(u, v, 180);
  EXPECT_NEAR(u, -1, 1e-6);
  EXPECT_NEAR(v, 0, 1e-6);

  // (0, 1, 0) with a = 90 and c = 90: the order decides where it ends.
  double x = 0, y = 1, z = 0;
  ReadingHelper::RotateYzXzXy(x, y, z, 90, 0, 90);
  check(x, y, z, 0, 0, 1);
  x = 0, y = 1, z = 0;
  ReadingHelper::RotateXyYzXz(x, y, z, 90, 0, 90);
  check(x, y, z, -1, 0, 0);
  x = 0, y = 1, z = 0;
  ReadingHelper::RotateXyZyZx(x, y, z, 90, 0, 90);
  check(x, y, z, 0, 0, 1);
  // The third variant turns (z, y) with z mirrored.
  x = 0, y = 1, z = 0;
  ReadingHelper::RotateXyZyZx(x, y, z, 0, 90, 0);
  check(x, y, z, 0, 0, 1);
  x = 1, y = 0, z = 0;
  ReadingHelper::RotateYzXzXy(x, y, z, 0, 90, 0);
  check(x, y, z, 0, 0, 1);
}

TEST(ReadingHelperGeometry, NormalsAndLengths) {
  const double p1[3] = {1, 1, 1}, p2[3] = {3, 1, 1}, p3[3] = {1, 4, 1};
  double n[3];
  ReadingHelper::TriangleNormal(p1, p2, p3, n);
  EXPECT_DOUBLE_EQ(n[0], 0);
  EXPECT_DOUBLE_EQ(n[1], 0);
  EXPECT_DOUBLE_EQ(n[2], 6);  // twice the area, counter-clockwise seen from +z
  EXPECT_DOUBLE_EQ(ReadingHelper::VectorLength(3, 4, 12), 13);
  double x = 0, y = 3, z = -4;
  ReadingHelper::Normalize(x, y, z);
  EXPECT_DOUBLE_EQ(y, 0.6);
  EXPECT_DOUBLE_EQ(z, -0.8);
  x = y = z = 0;
  ReadingHelper::Normalize(x, y, z);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
}

}  // namespace
}  // namespace zepcon
