// Bounded reading of bit fields packed least significant bit first: bit 0
// of byte 0 is the first bit of the stream, and a field's first bit is its
// lowest. Like `ByteReader`, a read past the end returns zero, passes
// nothing and sets a sticky failure flag, so a caller may decode a whole
// record and check `Ok()` once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zepcon {

class BitReader {
 public:
  BitReader() = default;
  BitReader(const uint8_t* data, size_t size) : data_(data), bits_(data ? uint64_t{size} * 8 : 0) {}

  bool Ok() const { return !failed_; }
  uint64_t BitPosition() const { return position_; }
  uint64_t BitsLeft() const { return bits_ - position_; }
  // Bytes begun so far (a partly read byte counts).
  uint64_t BytesUsed() const { return (position_ + 7) / 8; }

  // The next `count` bits (at most 32) as an unsigned value; 0 and failure
  // when fewer remain or `count` is out of range.
  uint32_t Bits(unsigned count) {
    if (count > 32 || count > BitsLeft()) {
      failed_ = true;
      return 0;
    }
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i, ++position_) {
      const uint32_t bit = (data_[position_ / 8] >> (position_ % 8)) & 1u;
      value |= bit << i;
    }
    return value;
  }

  // The next `count` bits (1 to 32) read as a two's complement number.
  int32_t SignedBits(unsigned count) {
    if (count == 0) {
      failed_ = true;
      return 0;
    }
    const uint32_t value = Bits(count);
    if (count == 32) return static_cast<int32_t>(value);
    const uint32_t sign = 1u << (count - 1);
    return static_cast<int32_t>(value ^ sign) - static_cast<int32_t>(sign);
  }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t bits_ = 0;
  uint64_t position_ = 0;
  bool failed_ = false;
};

}  // namespace zepcon
