#include "core/file_stream.h"

#include <cstring>

namespace zepcon {

FileStream::~FileStream() {
  if (file_) std::fclose(file_);
}

int FileStream::Open(const char* path, int mode, int direction) {
  if (file_) return 0;
  if (mode != kBinary && mode != kText) {
    last_error_ = kBadMode;
    return 0;
  }
  if (direction != kRead && direction != kWrite) {
    last_error_ = kBadDirection;
    return 0;
  }
  // Binary and text are the same on this platform; text line ends are
  // handled by the line readers.
  FILE* file = std::fopen(path, direction == kRead ? "rb" : "wb");
  if (!file) {
    last_error_ = kCannotOpen;
    return 0;
  }
  return Attach(file, mode, direction);
}

int FileStream::Attach(FILE* file, int mode, int direction) {
  if (file_ || !file) return 0;
  file_ = file;
  text_or_binary_ = mode;
  direction_ = direction;
  last_error_ = kNoError;
  const long start = std::ftell(file_);
  size_ = 0;
  if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
  std::fseek(file_, start < 0 ? 0 : start, SEEK_SET);
  UpdatePosition();
  return 1;
}

int FileStream::Close() {
  if (!file_) {
    last_error_ = kNotOpen;
    return 0;
  }
  std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  position_ = 0;
  return 1;
}

FILE* FileStream::Detach() {
  FILE* file = file_;
  file_ = nullptr;
  size_ = 0;
  position_ = 0;
  return file;
}

void FileStream::UpdatePosition() {
  const long position = file_ ? std::ftell(file_) : 0;
  position_ = position < 0 ? 0 : position;
  if (direction_ == kWrite && position_ > size_) size_ = position_;
}

int FileStream::Seek(long offset, int origin) {
  if (!file_) {
    last_error_ = kNotOpen;
    return 0;
  }
  static constexpr int kOrigins[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) {
    last_error_ = kBadMode;
    return 0;
  }
  if (std::fseek(file_, offset, kOrigins[origin]) != 0) {
    last_error_ = kSeekFailed;
    UpdatePosition();
    return 0;
  }
  UpdatePosition();
  return 1;
}

size_t FileStream::Read(size_t count, void* destination) {
  if (!file_) {
    last_error_ = kNotOpen;
    return 0;
  }
  const size_t got = count ? std::fread(destination, 1, count, file_) : 0;
  if (got < count) last_error_ = kShortRead;
  UpdatePosition();
  return got;
}

size_t FileStream::Write(size_t count, const void* source) {
  if (!file_) {
    last_error_ = kNotOpen;
    return 0;
  }
  const size_t put = count ? std::fwrite(source, 1, count, file_) : 0;
  UpdatePosition();
  return put;
}

int FileStream::ReadLine(char* buffer, int capacity) {
  if (!file_) {
    last_error_ = kNotOpen;
    return 0;
  }
  if (capacity < 1) return 0;
  if (!std::fgets(buffer, capacity, file_)) {
    buffer[0] = '\0';
    last_error_ = kShortRead;
    UpdatePosition();
    return 0;
  }
  if (text_or_binary_ == kText) {
    const size_t length = std::strlen(buffer);
    if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
      buffer[length - 2] = '\n';
      buffer[length - 1] = '\0';
    }
  }
  UpdatePosition();
  return 1;
}

int FileStream::WriteText(const char* text) {
  if (!text) return 0;
  const size_t length = std::strlen(text);
  return Write(length, text) == length;
}

int FileStream::WriteFormatted(const char* format, ...) {
  char buffer[8192];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return 0;
  // Output longer than the buffer is written as far as it goes and reported as a failure.
  const bool whole = static_cast<size_t>(length) < sizeof buffer;
  const size_t written = whole ? static_cast<size_t>(length) : sizeof buffer - 1;
  return Write(written, buffer) == written && whole;
}

}  // namespace zepcon
