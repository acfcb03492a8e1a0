#include "core/bit_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zepcon {
namespace {

// 0xB5 = 1011'0101, 0x3C = 0011'1100: read from bit 0 of the first byte up.
const std::vector<uint8_t> kBytes = {0xB5, 0x3C, 0xFF, 0x80};

TEST(BitReader, FieldsComeLowBitFirstAndCrossByteBoundaries) {
  struct Case {
    unsigned width;
    uint32_t unsigned_value;
  };
  // 0xB5 -> bits 1,0,1,0,1,1,0,1; 0x3C -> 0,0,1,1,1,1,0,0.
  const Case fields[] = {{1, 1}, {2, 0b10}, {3, 0b110}, {5, 0b10010}, {5, 0b00111}};
  BitReader reader(kBytes.data(), kBytes.size());
  uint64_t position = 0;
  for (const Case& c : fields) {
    SCOPED_TRACE(c.width);
    EXPECT_EQ(reader.Bits(c.width), c.unsigned_value);
    position += c.width;
    EXPECT_EQ(reader.BitPosition(), position);
  }
  EXPECT_EQ(reader.BytesUsed(), 2u);
  EXPECT_EQ(reader.Bits(16), 0x80FFu) << "whole bytes once the fields met a byte boundary";
  EXPECT_TRUE(reader.Ok());
}

TEST(BitReader, SignedFieldsAreSignExtendedFromTheirWidth) {
  struct Case {
    std::vector<uint8_t> bytes;
    unsigned width;
    int32_t value;
  };
  const Case cases[] = {
      {{0x07}, 3, -1},          {{0x04}, 3, -4},          {{0x03}, 3, 3},
      {{0x20}, 6, -32},         {{0x1F}, 6, 31},          {{0x80}, 8, -128},
      {{0x00, 0x08}, 12, -2048}, {{0xFF, 0x07}, 12, 2047}, {{0x00, 0x80}, 16, -32768},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 32, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    BitReader reader(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(reader.SignedBits(c.width), c.value);
    EXPECT_TRUE(reader.Ok());
  }
}

TEST(BitReader, ReadingPastTheEndFailsWithoutMoving) {
  BitReader reader(kBytes.data(), kBytes.size());
  EXPECT_EQ(reader.Bits(30), 0x00FF3CB5u);
  EXPECT_EQ(reader.Bits(3), 0u) << "only two bits remain";
  EXPECT_FALSE(reader.Ok());
  EXPECT_EQ(reader.BitPosition(), 30u);
  EXPECT_EQ(reader.BitsLeft(), 2u);
  EXPECT_EQ(reader.Bits(2), 0b10u) << "a failed read passes nothing";
  EXPECT_FALSE(reader.Ok()) << "the failure sticks";

  BitReader wide(kBytes.data(), kBytes.size());
  EXPECT_EQ(wide.Bits(33), 0u);
  EXPECT_FALSE(wide.Ok());
  BitReader zero(kBytes.data(), kBytes.size());
  EXPECT_EQ(zero.SignedBits(0), 0);
  EXPECT_FALSE(zero.Ok());
  BitReader empty(nullptr, 8);
  EXPECT_EQ(empty.BitsLeft(), 0u);
  EXPECT_EQ(empty.Bits(1), 0u);
  EXPECT_FALSE(empty.Ok());
}

}  // namespace
}  // namespace zepcon
