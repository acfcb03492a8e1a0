// Bounded byte access shared by the picture codecs: how much a file still
// holds (so header counts are checked before anything is allocated), exact
// reads and writes, and little/big-endian fields.
#pragma once

#include <cstdint>
#include <cstdio>

namespace zepcon {
class BitmapData;
}  // namespace zepcon

namespace zepcon::picture_io {

// Bytes from the current position to the end; the position is kept. A
// stream that cannot tell its size gives 0.
uint64_t BytesLeft(FILE* file);
// Whole size of the file; the position is kept.
uint64_t FileSize(FILE* file);

inline bool ReadExact(FILE* file, void* destination, size_t length) {
  return length == 0 || std::fread(destination, 1, length, file) == length;
}
inline bool WriteExact(FILE* file, const void* source, size_t length) {
  return length == 0 || std::fwrite(source, 1, length, file) == length;
}
// Writes every pixel in the picture's current layout, top row first, in
// runs that fit the line buffer.
bool WriteAllPixels(BitmapData& picture, FILE* file);
// Seeks to an absolute position within the file's size.
bool SeekTo(FILE* file, uint64_t position, uint64_t file_size);

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace zepcon::picture_io
