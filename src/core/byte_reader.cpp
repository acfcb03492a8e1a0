#include "core/byte_reader.h"

#include <sys/stat.h>

#include "core/log.h"

namespace zepcon {

bool ByteReader::Seek(uint64_t position) {
  if (position > size_) {
    failed_ = true;
    return false;
  }
  position_ = static_cast<size_t>(position);
  return true;
}

bool ByteReader::Skip(uint64_t count) {
  if (count > Remaining()) {
    failed_ = true;
    return false;
  }
  position_ += static_cast<size_t>(count);
  return true;
}

const uint8_t* ByteReader::Take(size_t count) {
  if (count > Remaining()) {
    failed_ = true;
    return nullptr;
  }
  const uint8_t* p = data_ + position_;
  position_ += count;
  return p;
}

bool ByteReader::ReadBytes(void* destination, size_t count) {
  if (count == 0) return true;  // even on a reader without data
  const uint8_t* p = Take(count);
  if (!p) return false;
  if (count) std::memcpy(destination, p, count);
  return true;
}

uint8_t ByteReader::U8() {
  const uint8_t* p = Take(1);
  return p ? *p : 0;
}

bool ByteReader::ReadFixedString(char* text, size_t capacity, size_t field_size) {
  if (capacity) text[0] = '\0';
  if (field_size == 0) return true;  // even on a reader without data
  const uint8_t* field = Take(field_size);
  if (!field || capacity == 0) return field != nullptr;
  size_t length = 0;
  while (length < field_size && length + 1 < capacity && field[length] != 0) ++length;
  std::memcpy(text, field, length);
  text[length] = '\0';
  return true;
}

bool ByteReader::ReadZString(char* text, size_t capacity) {
  if (capacity) text[0] = '\0';
  const uint8_t* start = data_ + position_;
  const void* zero = Remaining() ? std::memchr(start, 0, Remaining()) : nullptr;
  if (!zero) {
    failed_ = true;
    return false;
  }
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - start);
  if (capacity) {
    const size_t kept = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(text, start, kept);
    text[kept] = '\0';
  }
  position_ += length + 1;
  return true;
}

ByteReader ByteReader::Chunk(uint64_t length) {
  const bool clipped = length > Remaining();
  const size_t taken = clipped ? Remaining() : static_cast<size_t>(length);
  ByteReader chunk(data_ + position_, taken);
  chunk.clipped_ = clipped;
  position_ += taken;
  return chunk;
}

bool ReadRestOfFile(FILE* file, std::vector<uint8_t>& bytes, const char* what, uint64_t limit) {
  bytes.clear();
  if (!file) {
    LogFormatted(LOG_ERROR, "%s: no file to read\n", what);
    return false;
  }
  // A regular file's size bounds the allocation up front; anything else
  // (a pipe) is read in blocks up to the limit.
  struct stat info {};
  const long here = std::ftell(file);
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && here >= 0) {
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    const uint64_t left = size > static_cast<uint64_t>(here) ? size - static_cast<uint64_t>(here) : 0;
    if (left > limit) {
      LogFormatted(LOG_ERROR, "%s: file too large (%llu bytes, at most %llu)\n", what,
                   static_cast<unsigned long long>(left), static_cast<unsigned long long>(limit));
      return false;
    }
    bytes.reserve(static_cast<size_t>(left));
  }
  uint8_t block[65536];
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, file);
    if (got == 0) break;
    if (bytes.size() + got > limit) {
      LogFormatted(LOG_ERROR, "%s: file too large (more than %llu bytes)\n", what,
                   static_cast<unsigned long long>(limit));
      bytes.clear();
      return false;
    }
    bytes.insert(bytes.end(), block, block + got);
  }
  if (std::ferror(file)) {
    LogFormatted(LOG_ERROR, "%s: error reading the file\n", what);
    bytes.clear();
    return false;
  }
  return true;
}

}  // namespace zepcon
