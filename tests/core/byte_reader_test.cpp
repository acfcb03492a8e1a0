#include "core/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/fail.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

// A small record of every width in both byte orders (29 bytes).
const std::vector<uint8_t> kRecord = {
    0x81,                                            // U8
    0x01, 0x02,                                      // U16Le 0x0201
    0x01, 0x02,                                      // U16Be 0x0102
    0x01, 0x02, 0x03, 0x84,                          // I32Le 0x84030201 (negative)
    0x01, 0x02, 0x03, 0x04,                          // U32Be 0x01020304
    0x00, 0x00, 0xC0, 0x3F,                          // F32Le 1.5
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,  // U64Le
    'a',  'b',  'c',  0x00,                          // zero-terminated "abc"
};

struct Record {
  uint8_t u8;
  uint16_t le16, be16;
  int32_t le32;
  uint32_t be32;
  float f32;
  uint64_t le64;
  char text[8];
};

Record ReadRecord(ByteReader& reader) {
  Record r{};
  r.u8 = reader.U8();
  r.le16 = reader.U16Le();
  r.be16 = reader.U16Be();
  r.le32 = reader.I32Le();
  r.be32 = reader.U32Be();
  r.f32 = reader.F32Le();
  r.le64 = reader.U64Le();
  reader.ReadZString(r.text, sizeof r.text);
  return r;
}

TEST(ByteReader, ReadsEveryWidthInBothByteOrders) {
  ByteReader reader(kRecord);
  const Record r = ReadRecord(reader);
  EXPECT_TRUE(reader.Ok());
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(r.u8, 0x81);
  EXPECT_EQ(r.le16, 0x0201);
  EXPECT_EQ(r.be16, 0x0102);
  EXPECT_EQ(r.le32, static_cast<int32_t>(0x84030201u));
  EXPECT_EQ(r.be32, 0x01020304u);
  EXPECT_EQ(r.f32, 1.5f);
  EXPECT_EQ(r.le64, 0x0807060504030201ull);
  EXPECT_STREQ(r.text, "abc");
  uint8_t encoded[4];
  StoreBe32(encoded, 0x01020304u);
  EXPECT_EQ(LoadLe32(encoded), 0x04030201u);
  StoreLe16(encoded, 0xBEEF);
  EXPECT_EQ(LoadBe16(encoded), 0xEFBE);
}

// Every prefix of the record: reading stops cleanly at the cut, the failed
// read leaves the cursor where it was and gives zero, and the failure stays.
TEST(ByteReader, EveryCutPrefixFailsCleanlyAndStaysFailed) {
  for (size_t cut = 0; cut < kRecord.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::vector<uint8_t> prefix(kRecord.begin(), kRecord.begin() + static_cast<long>(cut));
    ByteReader reader(prefix.data(), prefix.size());
    ReadRecord(reader);
    EXPECT_FALSE(reader.Ok());
    EXPECT_LE(reader.Position(), cut);

    // Field by field: the first read that does not fit gives 0 and moves nothing.
    ByteReader step(prefix.data(), prefix.size());
    auto read = [&step](size_t width) -> uint64_t {
      return width == 8 ? step.U64Le() : width == 4 ? step.U32Le() : width == 2 ? step.U16Le() : step.U8();
    };
    const size_t widths[] = {1, 2, 2, 4, 4, 4, 8};
    size_t at = 0;
    for (size_t width : widths) {
      if (at + width > cut) {
        EXPECT_EQ(read(width), 0u);
        EXPECT_EQ(step.Position(), at);
        EXPECT_TRUE(step.Failed());
        break;
      }
      read(width);
      EXPECT_TRUE(step.Ok());
      at += width;
    }
    if (at == 25 && cut < kRecord.size()) {  // only the string is cut: no zero before the end
      char text[8] = "xxxxxxx";
      EXPECT_FALSE(step.ReadZString(text, sizeof text));
      EXPECT_STREQ(text, "");
      EXPECT_EQ(step.Position(), 25u);
    }
    EXPECT_FALSE(step.Ok());
    if (cut > 0) {
      step.Seek(0);  // reading again from the start succeeds, the failure stays
      step.U8();
      EXPECT_TRUE(step.Failed());
    }
  }
}

TEST(ByteReader, SeeksSkipsAndTakesStayInsideTheBlock) {
  ByteReader reader(kRecord);
  EXPECT_TRUE(reader.Seek(kRecord.size()));  // the end itself is a place
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.Seek(kRecord.size() + 1));
  EXPECT_EQ(reader.Position(), kRecord.size());
  EXPECT_FALSE(reader.Seek(UINT64_MAX));
  ByteReader skipper(kRecord);
  EXPECT_TRUE(skipper.Skip(28));
  EXPECT_FALSE(skipper.Skip(2));
  EXPECT_FALSE(skipper.Skip(UINT64_MAX));
  EXPECT_EQ(skipper.Position(), 28u);
  EXPECT_EQ(skipper.Take(2), nullptr);
  EXPECT_NE(skipper.Peek(1), nullptr);
  EXPECT_EQ(skipper.Peek(2), nullptr);
  // Empty reads succeed even without data.
  ByteReader empty;
  uint8_t sink = 0;
  char text[4] = "xx";
  EXPECT_TRUE(empty.ReadBytes(&sink, 0));
  EXPECT_TRUE(empty.ReadFixedString(text, sizeof text, 0));
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(empty.Ok());
  EXPECT_EQ(empty.U8(), 0);
  EXPECT_FALSE(empty.Ok());
}

TEST(ByteReader, CountsThatWrapSixtyFourBitsNeverFit) {
  const std::vector<uint8_t> bytes(64);
  ByteReader reader(bytes);
  struct Case {
    uint64_t count, size;
    bool fits;
  };
  for (const Case& c : {Case{16, 4, true}, {17, 4, false}, {64, 1, true}, {0, UINT64_MAX, true},
                        {UINT64_MAX, 0, true}, {uint64_t{1} << 62, 4, false},  // wraps to 0
                        {(uint64_t{1} << 63) + 1, 2, false},                   // wraps to 2
                        {UINT64_MAX, UINT64_MAX, false}}) {                     // wraps to 1
    EXPECT_EQ(reader.Fits(c.count, c.size), c.fits) << c.count << " x " << c.size;
  }
  uint64_t result = 7;
  EXPECT_FALSE(CheckedMul(uint64_t{1} << 32, uint64_t{1} << 32, result));
  EXPECT_EQ(result, 7u);  // untouched on overflow
  EXPECT_TRUE(CheckedMul(uint64_t{1} << 31, uint64_t{1} << 32, result));
  EXPECT_EQ(result, uint64_t{1} << 63);
  EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1, result));
  EXPECT_TRUE(CheckedAdd(UINT64_MAX - 1, 1, result));
  EXPECT_EQ(result, UINT64_MAX);
  reader.Skip(60);
  EXPECT_TRUE(reader.Fits(4));
  EXPECT_FALSE(reader.Fits(5));
}

// outer (20 bytes) { a chunk of 6 claiming 6, a chunk claiming 100 } : the
// lying chunk ends at its parent's end, and so does anything nested in it.
TEST(ByteReader, NestedChunksWhoseLengthsLieAreClippedToTheParent) {
  std::vector<uint8_t> bytes(32);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  ByteReader file(bytes);
  file.Skip(2);
  ByteReader outer = file.Chunk(20);
  EXPECT_FALSE(outer.Clipped());
  EXPECT_EQ(file.Position(), 22u);
  ByteReader first = outer.Chunk(6);
  EXPECT_FALSE(first.Clipped());
  EXPECT_EQ(first.Size(), 6u);
  EXPECT_EQ(first.U8(), 2);  // the chunk's bytes, counted from its own start
  ByteReader liar = outer.Chunk(100);
  EXPECT_TRUE(liar.Clipped());
  EXPECT_EQ(liar.Size(), 14u);
  EXPECT_TRUE(outer.AtEnd());
  ByteReader nested = liar.Chunk(UINT64_MAX);
  EXPECT_TRUE(nested.Clipped());
  EXPECT_EQ(nested.Size(), 14u);
  EXPECT_TRUE(nested.Skip(13));
  EXPECT_EQ(nested.U8(), 21);  // the parent's last byte, never the file's next
  EXPECT_EQ(nested.U8(), 0);
  EXPECT_TRUE(nested.Failed());
  EXPECT_TRUE(outer.Ok());  // a child's failure is its own
  EXPECT_EQ(file.U8(), 22);
}

TEST(ByteReader, FixedAndZeroTerminatedStringsAreCutToCapacity) {
  const std::string block("ABCDEFGH\0IJ\0KLMNOPQRSTUV\0", 25);
  ByteReader reader(reinterpret_cast<const uint8_t*>(block.data()), block.size());
  char text[5];
  EXPECT_TRUE(reader.ReadFixedString(text, sizeof text, 6));  // field longer than the buffer
  EXPECT_STREQ(text, "ABCD");
  EXPECT_EQ(reader.Position(), 6u);  // the whole field is passed
  EXPECT_TRUE(reader.ReadFixedString(text, sizeof text, 4));  // stops at the field's zero
  EXPECT_STREQ(text, "GH");
  EXPECT_TRUE(reader.ReadZString(text, sizeof text));
  EXPECT_STREQ(text, "J");  // the 4-byte field took "GH", its zero and "I"
  EXPECT_EQ(reader.Position(), 12u);
  EXPECT_TRUE(reader.ReadZString(text, sizeof text));  // the rest of a long string is dropped
  EXPECT_STREQ(text, "KLMN");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_TRUE(reader.Seek(20));
  EXPECT_FALSE(reader.ReadFixedString(text, sizeof text, 6));  // field passes the end
  EXPECT_STREQ(text, "");
  EXPECT_EQ(reader.Position(), 20u);
  EXPECT_TRUE(reader.ReadZString(nullptr, 0));  // nothing kept, the string still passed
  EXPECT_TRUE(reader.AtEnd());
}

TEST(ByteReader, ReadRestOfFileReadsFromTheCursorAndRefusesBeyondTheLimit) {
  test::TempDir dir;
  const std::string path = dir.File("r.bin");
  test::WriteBytes(path, kRecord);
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> bytes = {1, 2, 3};
  std::fseek(file, 5, SEEK_SET);
  ASSERT_TRUE(ReadRestOfFile(file, bytes, "t"));
  EXPECT_EQ(bytes, std::vector<uint8_t>(kRecord.begin() + 5, kRecord.end()));
  std::fseek(file, 0, SEEK_SET);
  LogCapture log;
  EXPECT_FALSE(ReadRestOfFile(file, bytes, "t", 28));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(log.ErrorText(), "t: file too large (29 bytes, at most 28)\n");
  std::fclose(file);
  // A pipe cannot tell its size: the limit holds while reading.
  FILE* pipe = popen("head -c 3000 /dev/zero", "r");
  ASSERT_NE(pipe, nullptr);
  log.Clear();
  EXPECT_FALSE(ReadRestOfFile(pipe, bytes, "p", 2999));
  EXPECT_EQ(log.ErrorText(), "p: file too large (more than 2999 bytes)\n");
  pclose(pipe);
  EXPECT_FALSE(ReadRestOfFile(nullptr, bytes, "n"));
}

TEST(Fail, LogsTheFormattedReasonAsAnErrorAndGivesZero) {
  LogCapture log;
  EXPECT_EQ(Fail("bad %s at %u\n", "size", 7u), 0);
  EXPECT_EQ(log.ErrorText(), "bad size at 7\n");
  log.Clear();
  const std::string long_text(600, 'x');
  EXPECT_EQ(Fail("%s", long_text.c_str()), 0);  // cut to the scratch size, never overflowing
  EXPECT_EQ(log.ErrorText(), long_text.substr(0, 511));
}

}  // namespace
}  // namespace zepcon
