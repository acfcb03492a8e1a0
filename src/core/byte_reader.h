// Bounded reading of binary data: a cursor over a block of bytes (a whole
// file read into memory, or any buffer) with little- and big-endian reads of
// every width, checked seeks and skips, and sub-readers limited to a chunk.
//
// A read past the end never yields garbage: it returns zero, leaves the
// cursor where it was and sets the reader's sticky failure flag, so a loader
// may read a whole header and check `Ok()` once. Counts taken from a file
// are checked with `Fits` (count × element size, without overflow, against
// what remains) before any loop or allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zepcon {

// ---- Endian decoders and encoders over raw bytes (the one copy) ----------
inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t LoadLe64(const uint8_t* p) { return uint64_t{LoadLe32(p)} | (uint64_t{LoadLe32(p + 4)} << 32); }
inline uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint64_t LoadBe64(const uint8_t* p) { return (uint64_t{LoadBe32(p)} << 32) | uint64_t{LoadBe32(p + 4)}; }

inline void StoreLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline uint32_t BitsOfFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// ---- Size arithmetic that cannot overflow ---------------------------------
// a × b into `product`; false (product untouched) when it would not fit in 64 bits.
inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t& product) {
  if (a != 0 && b > UINT64_MAX / a) return false;
  product = a * b;
  return true;
}
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& sum) {
  if (b > UINT64_MAX - a) return false;
  sum = a + b;
  return true;
}

class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  explicit ByteReader(const std::vector<uint8_t>& bytes) : ByteReader(bytes.data(), bytes.size()) {}
  // A reader over a temporary would outlive its bytes.
  explicit ByteReader(std::vector<uint8_t>&&) = delete;

  size_t Size() const { return size_; }
  size_t Position() const { return position_; }
  size_t Remaining() const { return size_ - position_; }
  bool AtEnd() const { return position_ >= size_; }
  // False once any read, skip or seek asked for bytes that are not there.
  bool Ok() const { return !failed_; }
  bool Failed() const { return failed_; }
  // A sub-reader whose chunk length claimed more than its parent held.
  bool Clipped() const { return clipped_; }
  // Bytes from the start of the block.
  const uint8_t* Data() const { return data_; }

  // True when `count` elements of `element_size` bytes remain (no overflow).
  bool Fits(uint64_t count, uint64_t element_size) const {
    uint64_t total = 0;
    return CheckedMul(count, element_size, total) && total <= Remaining();
  }
  bool Fits(uint64_t bytes) const { return bytes <= Remaining(); }

  // Moves to an absolute position within the block (the end included).
  bool Seek(uint64_t position);
  bool Skip(uint64_t count);
  // Copies `count` bytes; on a short block nothing is copied and it fails.
  bool ReadBytes(void* destination, size_t count);
  // A view of the next `count` bytes (the cursor passes them), or nullptr.
  const uint8_t* Take(size_t count);
  // Looks at the next `count` bytes without moving, or nullptr.
  const uint8_t* Peek(size_t count) const { return count <= Remaining() ? data_ + position_ : nullptr; }

  uint8_t U8();
  int8_t I8() { return static_cast<int8_t>(U8()); }
  uint16_t U16Le() { return Fixed<2>(LoadLe16); }
  uint16_t U16Be() { return Fixed<2>(LoadBe16); }
  uint32_t U32Le() { return Fixed<4>(LoadLe32); }
  uint32_t U32Be() { return Fixed<4>(LoadBe32); }
  uint64_t U64Le() { return Fixed<8>(LoadLe64); }
  uint64_t U64Be() { return Fixed<8>(LoadBe64); }
  int16_t I16Le() { return static_cast<int16_t>(U16Le()); }
  int16_t I16Be() { return static_cast<int16_t>(U16Be()); }
  int32_t I32Le() { return static_cast<int32_t>(U32Le()); }
  int32_t I32Be() { return static_cast<int32_t>(U32Be()); }
  float F32Le() { return FloatFromBits(U32Le()); }
  float F32Be() { return FloatFromBits(U32Be()); }
  double F64Le() { return DoubleFromBits(U64Le()); }
  double F64Be() { return DoubleFromBits(U64Be()); }

  // A fixed-size text field of `field_size` bytes copied into `text` of
  // `capacity` bytes: stops at the field's first zero, always terminated,
  // cut to capacity - 1 characters. The cursor passes the whole field.
  bool ReadFixedString(char* text, size_t capacity, size_t field_size);
  // A zero-terminated string (the zero is passed); at most capacity - 1
  // characters are kept, the rest of the string is passed and dropped.
  // Fails (nothing passed) when the block ends before a zero.
  bool ReadZString(char* text, size_t capacity);

  // A reader over the next `length` bytes; the cursor passes them. A length
  // beyond what remains is cut to what remains and the sub-reader reports
  // `Clipped()`, so a chunk never reads past its parent's end.
  ByteReader Chunk(uint64_t length);

  // Marks the reader failed (a loader's own consistency check).
  void Fail() { failed_ = true; }

 private:
  template <size_t N, typename Decode>
  auto Fixed(Decode decode) -> decltype(decode(nullptr)) {
    const uint8_t* p = Take(N);
    return p ? decode(p) : 0;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
  bool failed_ = false;
  bool clipped_ = false;
};

// Reads a file from its current position to its end into `bytes`. Refuses
// (false, logged with `what` in front) files larger than `limit` bytes or
// that cannot be read; the file is left at its end.
bool ReadRestOfFile(FILE* file, std::vector<uint8_t>& bytes, const char* what,
                    uint64_t limit = uint64_t{1} << 30);

}  // namespace zepcon
