// Building a little-endian binary file in memory: the savers append fields
// and patch lengths once what a chunk holds is known, then write the bytes
// in one go.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"

namespace zepcon {

class ByteWriter {
 public:
  void U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    uint8_t b[2];
    StoreLe16(b, v);
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    StoreLe32(b, v);
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(double v) { U32(BitsOfFloat(static_cast<float>(v))); }
  void Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  // The text and its terminating zero.
  void ZString(std::string_view text) {
    Bytes(text.data(), text.size());
    U8(0);
  }
  // A fixed field of `size` bytes: the text cut to leave room for its
  // terminator, the rest zero-filled.
  void Field(const char* text, size_t size) {
    if (size == 0) return;
    const size_t length = std::min(std::strlen(text), size - 1);
    Bytes(text, length);
    bytes_.insert(bytes_.end(), size - length, 0);
  }
  // Overwrites four bytes written before (a length known only later).
  void PatchU32(size_t offset, uint32_t v) {
    if (offset + 4 <= bytes_.size()) StoreLe32(bytes_.data() + offset, v);
  }
  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Data() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace zepcon
