// The byte writer shared by the two LightWave savers: big-endian numbers,
// chunks whose 32-bit lengths are filled in when they close, sub-chunks with
// 16-bit lengths, zero-terminated strings padded to an even length, and the
// variable-length point and polygon indexes of the later form. The file is
// built in memory and written in one go, so a failed write is noticed once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"

namespace zepcon::lwo {

class ChunkWriter {
 public:
  // Opens a chunk with a 4-byte identifier and a 32-bit length.
  void Begin(const char* id) {
    open_.push_back(bytes_.size());
    Id(id);
    U32(0);
  }
  // Closes the innermost chunk; odd bodies get their pad byte, which the
  // length leaves out.
  void End() {
    const size_t start = open_.back();
    open_.pop_back();
    const uint64_t length = bytes_.size() - start - 8;
    StoreBe32(bytes_.data() + start + 4, static_cast<uint32_t>(length));
    if (length & 1) bytes_.push_back(0);
  }
  // A sub-chunk header with a 16-bit length (the caller writes the data).
  void Sub(const char* id, uint32_t size) {
    Id(id);
    U16(size);
  }
  void Id(const char* id) { bytes_.insert(bytes_.end(), id, id + 4); }
  void U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    uint8_t b[2];
    StoreBe16(b, v);
    bytes_.insert(bytes_.end(), b, b + 2);
  }
  void I16(int32_t v) { U16(static_cast<uint16_t>(static_cast<int16_t>(v))); }
  void U32(uint32_t v) {
    uint8_t b[4];
    StoreBe32(b, v);
    bytes_.insert(bytes_.end(), b, b + 4);
  }
  void F32(double v) { U32(BitsOfFloat(static_cast<float>(v))); }
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  // The text, its terminator and one more zero when the two make an odd count.
  void String(const std::string& text) {
    Bytes(text.data(), text.size());
    Zeros(PaddedSize(text) - text.size());
  }
  // A point or polygon index of the later form: two bytes below 0xFF00,
  // else four bytes whose first is 0xFF.
  void Vx(uint32_t index) {
    if (index < 0xFF00) {
      U16(index);
    } else {
      U32(0xFF000000u | (index & 0x00FFFFFFu));
    }
  }
  static size_t VxSize(uint32_t index) { return index < 0xFF00 ? 2 : 4; }
  // Bytes `String` writes for the text.
  static size_t PaddedSize(const std::string& text) { return (text.size() + 2) & ~size_t{1}; }

  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Data() const { return bytes_; }

  // Writes everything; 0 (logged by the caller) on a short write.
  int WriteTo(FILE* file) const {
    return file && std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size() ? 1 : 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<size_t> open_;
};

// The largest index the later form's variable-length indexes hold.
inline constexpr uint32_t kMaxVx = 0x00FFFFFFu;

}  // namespace zepcon::lwo
