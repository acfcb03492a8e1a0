#include "core/reading_helper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <tuple>
#include <type_traits>
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

// Runs `body` on the file opened as a plain FILE*, then again as a FileStream:
// every reader comes in both kinds.
template <typename Body>
void OnFileAndStream(const std::string& path, Body body) {
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr) << path;
  body(file);
  std::fclose(file);
  FileStream stream;
  ASSERT_EQ(stream.Open(path.c_str(), FileStream::kBinary, FileStream::kRead), 1);
  SCOPED_TRACE("read through a FileStream");
  body(stream);
}

// ---- Text tools ---------------------------------------------------------------

TEST(ReadingHelperText, TokensTrimQuotesAndInPlaceEditsStayInTheirBuffers) {
  const std::string long_line = "x " + std::string(400, 'q') + " y";
  struct Case { const char* line; int index; const char* delimiters; std::string token; int end; };
  const Case cases[] = {{" ab  cd", 0, nullptr, "ab", 3},         {" ab  cd", 2, nullptr, "", -1},
                        {"v 1.0\t2.5\r\n", 2, nullptr, "2.5", 9}, {nullptr, 0, nullptr, "", 0},
                        {"a b,c d", 1, ",", "c d", 7},  // blanks are ordinary when not delimiters
                        {long_line.c_str(), 1, nullptr, std::string(254, 'q'), -1},
                        {long_line.c_str(), 2, nullptr, "y", 404}};
  ReadingHelper helper;
  for (const Case& c : cases) {
    uint16_t end = 0xFFFF;
    EXPECT_EQ(helper.GetToken(c.line, c.index, c.delimiters, &end), c.token) << (&c - cases);
    EXPECT_TRUE(c.end < 0 || end == c.end) << (&c - cases) << " ends at " << end;
  }
  EXPECT_STREQ(helper.Trim("\t map.tga \r\n", " \t\r\n"), "map.tga");
  EXPECT_EQ(std::strlen(helper.Trim(std::string(600, 'a').c_str(), " ")), 255u);
  EXPECT_STREQ(helper.GetQuoted("*BITMAP \"c:\\maps\\wood.tga\" x"), "c:\\maps\\wood.tga");
  EXPECT_STREQ(helper.GetQuoted("name \"unterminated"), "unterminated");
  char pair[] = "a\\bca/c", mismatched[] = "abc";
  EXPECT_EQ(ReadingHelper::ReplaceChars(pair, "\\a", "/x"), 3);
  EXPECT_STREQ(pair, "x/bcx/c");
  EXPECT_EQ(ReadingHelper::ReplaceChars(mismatched, "ab", "x"), 0);  // sets of unequal length
  EXPECT_STREQ(mismatched, "abc");
  char text[] = " \t v 1 // first\nv 3 4\r\n// whole line\nf 1 2 // open end";
  ReadingHelper::StripToLineEnd(text, "//");
  ReadingHelper::StripLeadingBlanks(text);
  EXPECT_STREQ(text, "v 1 \nv 3 4\r\n\nf 1 2 // open end");
}

// ---- Lines --------------------------------------------------------------------

// CR LF ends become LF and a lone CR at the end of the file is dropped. A line
// over 999 characters keeps 999, and its tail is not taken for a line of its own.
TEST(ReadingHelperLines, CrLfEmptyAndOverLongLinesOnFileAndStream) {
  TempDir dir;
  const std::string path = dir.File("t.txt"), exact(999, 'e');
  WriteText(path, "first\r\n\r\n\n  \r\n" + exact + "\r\n" + std::string(1500, 'l') + "\r\nnext\r\nlast\r");
  const std::pair<std::string, int> lines[] = {{"first\n", 0}, {"\n", 0}, {"\n", 0}, {"  \n", 0}, {exact, 0},
                                               {std::string(999, 'l'), 1}, {"next\n", 0}, {"last", 0}};
  for (int skip_empty = 0; skip_empty < 2; ++skip_empty) {
    OnFileAndStream(path, [&](auto& in) {
      ReadingHelper helper;
      auto read = [&] { return skip_empty ? helper.ReadNonEmptyLine(in) : helper.ReadLine(in); };
      for (const auto& [text, truncated] : lines) {
        if (skip_empty && text == "\n") continue;  // blanks are content, not empty
        ASSERT_EQ(read(), 1) << "skip empty " << skip_empty;
        EXPECT_EQ(helper.line, text);
        EXPECT_EQ(helper.line_truncated, truncated);
      }
      EXPECT_EQ(read(), 0);
      EXPECT_STREQ(helper.line, "");
    });
  }
}

// A string too long for its buffer is consumed whole but cut: a plain file
// keeps capacity - 2 characters, a stream capacity - 1. ReadRest stops at 999.
TEST(ReadingHelperLines, ZeroTerminatedStringsAndRestAreCutToTheirBuffer) {
  TempDir dir;
  WriteBytes(dir.File("z.bin"), {'a', 'b', 'c', 'd', 'e', 'f', 0, 'x', 'y', 0, 'z'});
  OnFileAndStream(dir.File("z.bin"), [](auto& in) {
    const bool stream = std::is_same_v<decltype(in), FileStream&>;
    struct Step { int capacity, consumed; const char* text; };
    for (const Step& step : {Step{4, 7, stream ? "abc" : "ab"}, {3, 3, "xy"}, {8, 1, "z"}, {8, 0, ""}}) {
      char buffer[8];
      EXPECT_EQ(ReadingHelper::ReadZString(in, buffer, step.capacity), step.consumed) << "stream " << stream;
      EXPECT_STREQ(buffer, step.text) << "stream " << stream;
    }
  });
  WriteText(dir.File("rest.txt"), "head\nbody " + std::string(2000, 'r'));
  FILE* file = std::fopen(dir.File("rest.txt").c_str(), "rb");
  ReadingHelper helper;
  EXPECT_EQ(helper.ReadLine(file), 1);
  EXPECT_EQ(helper.ReadRest(file), 999 - 5);
  std::fclose(file);
  EXPECT_EQ(std::string(helper.line), "head\nbody " + std::string(989, 'r'));
}

// ---- Levels -------------------------------------------------------------------

TEST(ReadingHelperLevels, ConsumeClampsOverrunsPushStopsAt49AndNamesAreCut) {
  LogCapture log;
  ReadingHelper helper;
  helper.PushLevelOuter(30);
  helper.PushLevelOuter(10);  // grows the level around it to 40
  helper.ConsumeLevel(10);    // closes the exhausted inner one
  EXPECT_EQ(std::make_pair(helper.level, helper.LevelLength()), std::make_pair(1, 30));
  helper.PushLevel(5);
  helper.ConsumeLevel(8);  // the inner block claims less than was read
  EXPECT_EQ(std::make_pair(helper.level, helper.LevelLength()), std::make_pair(1, 22));
  for (int i = 1; i < 50; ++i) helper.PushLevel(100);  // the last one is refused
  EXPECT_EQ(std::make_pair(helper.level, std::strlen(helper.indent)), std::make_pair(49, size_t{49}));
  EXPECT_EQ(log.ErrorText(), "LevelLen -3\nExtend Maxlevels !\n");
  helper.ResetLevels();
  EXPECT_EQ(std::make_pair(helper.level, helper.level_lengths[49]), std::make_pair(0, 0));
  EXPECT_STREQ(helper.indent, "");

  helper.PushLevel(100);
  helper.SetLevelName("4D4D");
  helper.PushLevel(50);
  helper.SetLevelName("a name far longer than the thirty-nine characters kept");
  EXPECT_EQ(std::strlen(helper.GetLevelName(0)), 39u);
  EXPECT_EQ(std::make_pair(helper.LevelNameIs("4D4D", -1), helper.LevelNameIs("4D4D", 0)), std::make_pair(1, 0));
  for (int outside : {-3, 1}) EXPECT_EQ(helper.GetLevelName(outside), nullptr) << outside;
  helper.ConsumeLevel(50);
  helper.PushLevel(10);  // a new level starts unnamed
  EXPECT_STREQ(helper.GetLevelName(0), "");
}

// ---- Form chunks ----------------------------------------------------------------

TEST(ReadingHelperForm, ByteOrdersOddPaddingAndShortBodiesOnFileAndStream) {
  TempDir dir;
  const std::string path = dir.File("c.bin");
  for (int variant = 0; variant < 4; ++variant) {
    const bool big_endian = variant & 1, padded = variant & 2;
    using Chunk = std::tuple<std::string, uint32_t, uint32_t>;  // id, length, body bytes in the file
    const Chunk chunks[] = {{"AAAA", 3, padded ? 4u : 3u}, {"BBBB", 258, 258}, {"CCCC", 256, 3}};
    std::vector<uint8_t> bytes;
    for (const auto& [id, length, body] : chunks) {
      bytes.insert(bytes.end(), id.begin(), id.end());
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (big_endian ? 24 - 8 * i : 8 * i)));
      bytes.resize(bytes.size() + body, 0x11);
    }
    WriteBytes(path, bytes);
    auto check = [&](auto& in) {
      LogCapture log;
      ReadingHelper helper;
      helper.FormByteOrdering = big_endian ? 0 : 1;
      EXPECT_EQ(helper.ReadFormHeader(in), 0);  // the pad byte rule must be chosen too
      EXPECT_EQ(log.ErrorText(), "Dont forget to set [FormSkipOddByte] and [FormByteOrdering] !\n");
      helper.FormSkipOddByte = padded;
      for (const auto& [id, length, body] : chunks) {  // the first read shows nothing was consumed before
        ASSERT_EQ(helper.ReadFormHeader(in), 1) << "variant " << variant;
        EXPECT_EQ(std::string(helper.form_header.id, 4) + " " + std::to_string(helper.form_header.length),
                  id + " " + std::to_string(length));
        EXPECT_EQ(helper.SkipFormChunk(in), body >= length ? 1 : 0) << "variant " << variant << " " << id;
      }
    };
    OnFileAndStream(path, check);
    SCOPED_TRACE("read from a ByteReader");
    ByteReader reader(bytes);
    check(reader);
  }
}

// A loop over the chunks of a block ends whatever the lengths say: a zero
// length still passes its header, a length beyond the parent is cut to the
// parent's end (never the file's), and a cut header reads nothing.
TEST(ReadingHelperForm, ChunkBodiesFromAByteReaderStayInsideTheirParent) {
  auto header = [](std::vector<uint8_t>& bytes, const char* id, uint32_t length) {
    bytes.insert(bytes.end(), id, id + 4);
    bytes.resize(bytes.size() + 4);
    StoreBe32(bytes.data() + bytes.size() - 4, length);
  };
  std::vector<uint8_t> bytes;
  header(bytes, "FORM", 30);
  header(bytes, "ODD ", 3);
  bytes.insert(bytes.end(), {'a', 'b', 'c', 0});  // and its pad byte
  header(bytes, "ZERO", 0);
  header(bytes, "KID ", 0xFFFFFFF0u);  // claims far more than FORM holds
  bytes.insert(bytes.end(), {'x', 'y'});
  header(bytes, "NEXT", 1);
  bytes.push_back('n');  // no pad byte at the very end

  ReadingHelper helper;
  helper.FormByteOrdering = 0;
  ByteReader file(bytes);
  ByteReader form;
  {
    LogCapture log;
    EXPECT_EQ(helper.ReadFormChunk(file, form), 0);  // the pad rule is not chosen yet
    EXPECT_EQ(log.ErrorText(), "Dont forget to set [FormSkipOddByte] and [FormByteOrdering] !\n");
    EXPECT_EQ(file.Position(), 0u);
  }
  helper.FormSkipOddByte = 1;
  ASSERT_EQ(helper.ReadFormChunk(file, form), 1);
  EXPECT_EQ(form.Size(), 30u);
  EXPECT_EQ(file.Position(), 38u);
  std::string tree;
  ByteReader body;
  for (int guard = 0; guard < 10 && helper.ReadFormChunk(form, body); ++guard) {
    tree += std::string(helper.form_header.id, 4) + ":" + std::to_string(body.Size()) +
            (body.Clipped() ? "cut " : " ");
  }
  EXPECT_EQ(tree, "ODD :3 ZERO:0 KID :2cut ");
  EXPECT_TRUE(form.AtEnd());
  EXPECT_EQ(body.U8(), 0);  // the cut header handed back an empty body

  ASSERT_EQ(helper.ReadFormChunk(file, body), 1);
  EXPECT_EQ(std::string(helper.form_header.id, 4), "NEXT");
  EXPECT_EQ(body.U8(), 'n');
  EXPECT_TRUE(file.AtEnd());  // the missing pad byte at the end is no error

  ByteReader again(bytes);
  ASSERT_EQ(helper.ReadFormHeader(again), 1);
  ASSERT_EQ(helper.ReadFormHeader(again), 1);
  EXPECT_EQ(helper.SkipFormChunk(again), 1);
  EXPECT_EQ(again.Position(), 20u);  // the odd body and its pad byte
  ASSERT_EQ(helper.ReadFormHeader(again), 1);
  ASSERT_EQ(helper.ReadFormHeader(again), 1);
  EXPECT_EQ(helper.SkipFormChunk(again), 0);  // KID's body is not all there
  EXPECT_TRUE(again.AtEnd());
}

size_t Put(FILE* file, const char* data) { return std::fwrite(data, 1, std::strlen(data), file); }
size_t Put(FileStream& stream, const char* data) { return stream.Write(std::strlen(data), data); }

// FORM "TEST" { NAME "abc", LIST { ITEM 01 02 } } and 3 stray bytes: '<' opens
// a chunk, '>' ends the innermost, anything else is written as it is.
template <typename Target>
void WriteNested(ReadingHelper& helper, Target& target) {
  for (const char* step : {"<FORM", "TEST", "<NAME", "abc", ">", "<LIST", "<ITEM", "\x01\x02", ">", ">", ">", "CUT"}) {
    const int done = step[0] == '<'   ? helper.BeginFormChunk(target, step + 1)
                     : step[0] == '>' ? helper.EndFormChunk(target)
                                      : Put(target, step) == std::strlen(step);
    EXPECT_EQ(done, 1) << step;
  }
}

TEST(ReadingHelperForm, NestedChunksWrittenAndReadBack) {
  TempDir dir;
  const std::string path = dir.File("w.bin");
  for (int variant = 0; variant < 4; ++variant) {
    const bool big_endian = variant & 1, use_stream = variant & 2;
    SCOPED_TRACE(testing::Message() << "big " << big_endian << " written to stream " << use_stream);
    ReadingHelper writer;
    writer.FormByteOrdering = big_endian ? 0 : 1;
    writer.FormSkipOddByte = 0;
    if (use_stream) {
      FileStream stream;
      ASSERT_EQ(stream.Open(path.c_str(), FileStream::kBinary, FileStream::kWrite), 1);
      WriteNested(writer, stream);
    } else {
      FILE* file = std::fopen(path.c_str(), "wb");
      ASSERT_NE(file, nullptr);
      WriteNested(writer, file);
      std::fclose(file);
    }
    // Each fill-in goes back to the end: the stray bytes land after the form.
    EXPECT_EQ(ReadBytes(path).size(), 44u);
    OnFileAndStream(path, [&](auto& in) {
      ReadingHelper reader = writer;  // the same byte order and pad rule, no chunk open
      std::string tree;
      while (reader.ReadFormHeader(in)) {  // the 3 stray bytes are no header
        const std::string id(reader.form_header.id, 4);
        tree += id + ":" + std::to_string(reader.form_header.length) + " ";
        const uint64_t body = id == "FORM" ? 4 : id == "LIST" ? 0 : reader.form_header.length;  // FORM: its type
        EXPECT_EQ(ReadingHelper::SkipBytes(in, body), body);
      }
      EXPECT_EQ(tree, "FORM:33 NAME:3 LIST:10 ITEM:2 ");
    });
  }
}

TEST(ReadingHelperForm, WritingDepthIsLimitedAndEndsStayPaired) {
  TempDir dir;
  LogCapture log;
  ReadingHelper helper;
  helper.FormByteOrdering = 1;
  helper.FormSkipOddByte = 0;
  FileStream stream;
  ASSERT_EQ(stream.Open(dir.File("deep.bin").c_str(), FileStream::kBinary, FileStream::kWrite), 1);
  EXPECT_EQ(helper.EndFormChunk(stream), 0);  // nothing open
  for (int i = 0; i < 19; ++i) ASSERT_EQ(helper.BeginFormChunk(stream, "DEEP"), 1);
  EXPECT_EQ(helper.BeginFormChunk(stream, "LOST"), 0);
  EXPECT_FALSE(log.ErrorText().empty());
  EXPECT_EQ(helper.EndFormChunk(stream), 0);  // pairs with the refused one
  for (int i = 0; i < 19; ++i) ASSERT_EQ(helper.EndFormChunk(stream), 1);
  stream.Close();
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("deep.bin"));
  ASSERT_EQ(bytes.size(), 19u * 8);
  EXPECT_EQ(std::make_pair(bytes[4], bytes[18 * 8 + 4]), std::make_pair(uint8_t{18 * 8}, uint8_t{0}));  // outer, inner
}

// ---- Bytes and numbers -----------------------------------------------------------

TEST(ReadingHelperBytes, SwapsFixedPointAndFindTwoSame) {
  LogCapture log;
  uint8_t bytes[65];
  for (int i = 0; i < 65; ++i) bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(ReadingHelper::Swap(bytes, 65), 0);  // refused whole
  EXPECT_EQ(ReadingHelper::Swap(bytes, 64), 1);
  EXPECT_EQ(ReadingHelper::Swap(bytes + 1, 3), 1);  // odd count: the middle stays
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{63, 60, 61, 62, 59}));
  EXPECT_EQ(std::vector<uint8_t>(bytes + 62, bytes + 65), (std::vector<uint8_t>{1, 0, 64}));  // 65th untouched
  // Raw little-endian loads of big-endian 16.16 numbers 1.5 and -2.25: byte swap and sign.
  EXPECT_DOUBLE_EQ(ReadingHelper::Fixed16(0x00800100u), 1.5);
  EXPECT_DOUBLE_EQ(ReadingHelper::Fixed16(0x00C0FDFFu), -2.25);
  EXPECT_EQ(std::make_pair(ReadingHelper::FindTwoSame(5, 6, 0, 6), ReadingHelper::FindTwoSame(1, 2, 3, 1)),
            std::make_pair(6, 1));
  EXPECT_EQ(ReadingHelper::FindTwoSame(1, 2, 3, 4), -1);
  EXPECT_EQ(log.ErrorText(), "Swap: too many bytes (65) !\nFindTwoSame: Can't find two same !\n");
}

// ---- Files ------------------------------------------------------------------------

TEST(ReadingHelperFiles, TempNamesSkipExistingEntriesPathPartsAndFolderSearch) {
  TempDir dir;
  const std::string folder = dir.Path().string();
  const std::regex expected(folder + "/F[0-9]{1,7}\\.tmp");  // one separator, whichever way the folder ends
  ReadingHelper first, second;
  first.SeedRandom(1234);
  const std::string name1 = first.TempFileName(folder.c_str()), name2 = first.TempFileName((folder + "/").c_str());
  EXPECT_TRUE(std::regex_match(name1, expected) && std::regex_match(name2, expected)) << name1 << " " << name2;
  // The same draws again, with the first name taken by a dangling link and
  // the second by a file: both must be passed over.
  std::filesystem::create_symlink(dir.File("nowhere"), name1);
  WriteText(name2, "taken");
  second.SeedRandom(1234);
  const std::string name3 = second.TempFileName(folder.c_str());
  EXPECT_TRUE(std::regex_match(name3, expected) && name3 != name1 && name3 != name2) << name3;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(name3)));

  ReadingHelper helper;
  EXPECT_STREQ(helper.FileNameOfPath("c:\\models\\car/parts\\wheel.hrc"), "wheel.hrc");
  EXPECT_STREQ(helper.FolderOfPath("c:\\models\\car/parts\\wheel.hrc"), "c:\\models\\car/parts\\");
  EXPECT_EQ(helper.FolderOfPath((std::string(700, 'd') + "/x").c_str()), std::string(511, 'd'));
  const std::string root = dir.File("root");
  std::filesystem::create_directories(root + "/sub.tga");
  for (const char* name : {"b.tga", "A.TGA", "x[1].tga", "c.bmp", "ab.bmp", "noext"}) WriteText(root + '/' + name, "x");
  auto all = [&](const std::string& pattern) {
    std::string names;
    EXPECT_EQ(helper.FindFirst((root + pattern).c_str()), 1) << pattern;
    while (const char* name = helper.FindNext()) names += std::string(name) + " ";
    return names;
  };
  EXPECT_EQ(all("/*.tga"), "A.TGA b.tga sub.tga x[1].tga ");
  EXPECT_EQ(all("\\?.BMP"), "c.bmp ");
  EXPECT_EQ(all("/x[1].TGA"), "x[1].tga ");
  EXPECT_EQ(all("/*.*"), "A.TGA ab.bmp b.tga c.bmp noext sub.tga x[1].tga ");
  EXPECT_EQ(helper.FindFirst((root + "/*.jpg").c_str()), 0);
  EXPECT_EQ(helper.FindNext(), nullptr);
}

// ---- Geometry -------------------------------------------------------------------------

TEST(ReadingHelperGeometry, AnglesRotationsAndNormals) {
  struct Case { double x, y, degrees, tolerance; };
  for (const Case& c : {Case{-1, 0, 180, 0}, {0, -1, 270, 0}, {0, 0, 0, 0}, {1, -1, 315, 1e-5}, {1, 1e-300, 0, 1e-9}}) {
    EXPECT_NEAR(ReadingHelper::AngleOfXY(c.x, c.y), c.degrees, c.tolerance) << c.x << " " << c.y;
  }
  const double huge = ReadingHelper::Normalize360(1e300);  // must not spin forever
  EXPECT_TRUE(huge >= 0.0 && huge < 360.0);
  EXPECT_DOUBLE_EQ(ReadingHelper::Normalize360(-30), 330.0);
  // (0, 1, 0) turned in (x, y) by a first, then in (y, z) by c: the order puts it on -x.
  double x = 0, y = 1, z = 0;
  ReadingHelper::RotateXyYzXz(x, y, z, 90, 0, 90);
  EXPECT_NEAR(std::abs(x + 1) + std::abs(y) + std::abs(z), 0, 1e-6) << x << " " << y << " " << z;
  const double p1[3] = {1, 1, 1}, p2[3] = {3, 1, 1}, p3[3] = {1, 4, 1};
  double n[3];
  ReadingHelper::TriangleNormal(p1, p2, p3, n);
  EXPECT_EQ(std::vector<double>(n, n + 3), (std::vector<double>{0, 0, 6}));  // twice the area, towards +z
  x = y = z = 0;
  ReadingHelper::Normalize(x, y, z);  // no division by zero
  EXPECT_EQ(std::vector<double>({x, y, z}), (std::vector<double>{1, 0, 0}));
}

}  // namespace
}  // namespace zepcon
