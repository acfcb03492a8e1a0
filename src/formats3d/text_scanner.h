// Reading of the small text model formats: whole lines into a fixed buffer
// (longer lines are cut, never overrun), and numbers read across line ends
// the way formatted reading skips white space. Byte-driven, so nothing in
// the file can make it allocate or loop without consuming input.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zepcon {

class TextScanner {
 public:
  static constexpr size_t kLineCapacity = 1024;
  static constexpr size_t kTokenCapacity = 64;  // longer tokens are never numbers

  explicit TextScanner(FILE* file) : file_(file) {}

  // The next line, without its line end (CR LF or LF), into `line`; a line
  // longer than the buffer is cut and the rest dropped. False at the end.
  bool ReadLine(char (&line)[kLineCapacity]) {
    int c = std::getc(file_);
    if (c == EOF) return false;
    size_t length = 0;
    while (c != EOF && c != '\n') {
      if (length + 1 < kLineCapacity) line[length++] = static_cast<char>(c);
      c = std::getc(file_);
    }
    while (length > 0 && line[length - 1] == '\r') --length;
    line[length] = '\0';
    return true;
  }

  // Skips white space across lines; false when the file ends first.
  bool AtEnd() {
    int c = std::getc(file_);
    while (c != EOF && IsSpace(c)) c = std::getc(file_);
    if (c == EOF) return true;
    std::ungetc(c, file_);
    return false;
  }

  // The next word, wherever it is; false at the end.
  bool NextToken(char (&token)[kTokenCapacity], bool* overlong) {
    if (AtEnd()) return false;
    size_t length = 0;
    *overlong = false;
    int c = std::getc(file_);
    while (c != EOF && !IsSpace(c)) {
      if (length + 1 < kTokenCapacity)
        token[length++] = static_cast<char>(c);
      else
        *overlong = true;
      c = std::getc(file_);
    }
    if (c != EOF) std::ungetc(c, file_);
    token[length] = '\0';
    return true;
  }

  // A whole word read as a non-negative integer of at most 32 bits. A word
  // that is no such number is left unread, so every later read fails too
  // (as formatted reading stops at it).
  bool ReadUnsigned(uint32_t* value) { return ReadNumber(value, nullptr); }
  bool ReadDouble(double* value) { return ReadNumber(nullptr, value); }

  // Drops the rest of the current line and its line end.
  void SkipRestOfLine() {
    int c;
    do {
      c = std::getc(file_);
    } while (c != EOF && c != '\n');
  }

  // Drops `count` whole lines; stops at the end of the file.
  void SkipLines(uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
      int c = std::getc(file_);
      if (c == EOF) return;
      while (c != EOF && c != '\n') c = std::getc(file_);
    }
  }

  static bool ParseUnsigned(const char* text, uint32_t* value) {
    if (!text || *text < '0' || *text > '9') return false;
    uint64_t result = 0;
    for (const char* p = text; *p; ++p) {
      if (*p < '0' || *p > '9') return false;
      result = result * 10 + static_cast<uint64_t>(*p - '0');
      if (result > UINT32_MAX) return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
  }

  static bool ParseDouble(const char* text, double* value) {
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(result)) return false;
    *value = result;
    return true;
  }

 private:
  static bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

  bool ReadNumber(uint32_t* whole, double* real) {
    if (failed_ || AtEnd()) return false;
    const long start = std::ftell(file_);
    char token[kTokenCapacity];
    bool overlong = false;
    NextToken(token, &overlong);
    const bool ok = !overlong && (whole ? ParseUnsigned(token, whole) : ParseDouble(token, real));
    if (!ok) {
      failed_ = true;
      if (start >= 0) std::fseek(file_, start, SEEK_SET);
    }
    return ok;
  }

  FILE* file_;
  bool failed_ = false;
};

}  // namespace zepcon
