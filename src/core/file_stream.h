// A small file stream with a remembered error code, handed to the codecs
// that prefer it to a plain FILE*.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace zepcon {

class FileStream {
 public:
  enum Mode : int { kBinary = 2, kText = 3 };
  enum Direction : int { kRead = 0, kWrite = 1 };
  enum Error : int {
    kNoError = 0,
    kCannotOpen = 1,
    kBadMode = 4,
    kBadDirection = 5,
    kNotOpen = 8,
    kSeekFailed = 9,
    kShortRead = 11,
  };

  FileStream() = default;
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  int Open(const char* path, int mode, int direction);
  // Takes over an already opened file; the stream closes it.
  int Attach(FILE* file, int mode, int direction);
  int Close();
  // Lets go of the file without closing it; returns it.
  FILE* Detach();
  int Seek(long offset, int origin);
  long Tell() const { return position_; }
  int AtEnd() const { return position_ >= size_; }
  size_t Read(size_t count, void* destination);
  size_t Write(size_t count, const void* source);
  // Reads one line as fgets does (the line end is kept; CR LF is turned
  // into LF for text streams). Returns 0 at the end of the file.
  int ReadLine(char* buffer, int capacity);
  int WriteText(const char* text);
  int WriteFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));

  int LastError() const { return last_error_; }
  int IsOpen() const { return file_ != nullptr; }
  long Size() const { return size_; }
  FILE* Handle() { return file_; }

 private:
  void UpdatePosition();

  int last_error_ = kNoError;
  FILE* file_ = nullptr;
  int text_or_binary_ = kBinary;
  int direction_ = kRead;
  long size_ = 0;
  long position_ = 0;
};

}  // namespace zepcon
