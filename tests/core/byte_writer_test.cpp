// The in-memory writer of the binary savers: what it writes reads back
// through the bounded reader, fixed fields are cut and padded, and a patch
// outside what was written changes nothing.
#include "core/byte_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "core/byte_reader.h"

namespace zepcon {
namespace {

TEST(ByteWriter, ValuesReadBackLittleEndian) {
  ByteWriter out;
  out.U8(0x1FF);  // only the low byte
  out.U16(0xBEEF);
  out.U32(0xDEADBEEF);
  out.I32(-2);
  out.F32(-1.5);
  out.ZString("ab");
  ASSERT_EQ(out.Size(), 1u + 2 + 4 + 4 + 4 + 3);
  EXPECT_EQ(out.Data()[1], 0xEF) << "low byte first";

  ByteReader in(out.Data().data(), out.Size());
  EXPECT_EQ(in.U8(), 0xFF);
  EXPECT_EQ(in.U16Le(), 0xBEEF);
  EXPECT_EQ(in.U32Le(), 0xDEADBEEFu);
  EXPECT_EQ(in.I32Le(), -2);
  EXPECT_EQ(in.F32Le(), -1.5f);
  char text[8] = {};
  EXPECT_TRUE(in.ReadZString(text, sizeof text));
  EXPECT_STREQ(text, "ab");
  EXPECT_TRUE(in.Ok());
}

TEST(ByteWriter, FieldsAreCutPaddedAndPatchesStayInside) {
  struct Case {
    const char* text;
    size_t size;
    std::string expected;
  };
  for (const Case& c : {Case{"abc", 6, std::string("abc\0\0\0", 6)}, Case{"abcdef", 4, std::string("abc\0", 4)},
                        Case{"", 2, std::string("\0\0", 2)}, Case{"abc", 0, std::string()}}) {
    ByteWriter out;
    out.Field(c.text, c.size);
    EXPECT_EQ(std::string(out.Data().begin(), out.Data().end()), c.expected) << c.text << " in " << c.size;
  }
  ByteWriter out;
  out.U32(0);
  out.U16(7);
  out.PatchU32(2, 0x04030201);  // the last four bytes
  out.PatchU32(3, 0xFFFFFFFF);  // would run past the end: ignored
  const std::vector<uint8_t> expected = {0, 0, 1, 2, 3, 4};
  EXPECT_EQ(out.Data(), expected);
}

}  // namespace
}  // namespace zepcon
