// Helpers shared by the text model codecs (OBJ, MTL, ASC): a line reader over
// a file read whole into memory, a tokenizer with bounded tokens, number
// reading that never runs past its token, and a buffered writer that prints
// numbers as "%f" does without going through printf for every one.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"

namespace zepcon::model_text {

// Physical lines of a block of text; a line ends at LF (CR before it and any
// trailing CR are dropped). Lines longer than `max_length` are cut and the
// cut is counted.
class TextLines {
 public:
  TextLines(const uint8_t* data, size_t size, size_t max_length)
      : p_(reinterpret_cast<const char*>(data)), end_(p_ + size), max_(max_length) {}

  bool AtEnd() const { return p_ >= end_; }

  // The next physical line (possibly empty); false at the end of the text.
  bool Next(std::string_view& line) {
    if (p_ >= end_) return false;
    const char* start = p_;
    const void* found = std::memchr(p_, '\n', static_cast<size_t>(end_ - p_));
    const char* stop = found ? static_cast<const char*>(found) : end_;
    p_ = found ? stop + 1 : end_;
    size_t length = static_cast<size_t>(stop - start);
    while (length > 0 && start[length - 1] == '\r') --length;
    if (length > max_) {
      length = max_;
      ++cut_lines_;
    }
    line = std::string_view(start, length);
    return true;
  }

  // The next line that holds anything but blanks.
  bool NextNonEmpty(std::string_view& line) {
    while (Next(line)) {
      for (char c : line)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') return true;
    }
    return false;
  }

  uint64_t CutLines() const { return cut_lines_; }

 private:
  const char* p_;
  const char* end_;
  size_t max_;
  uint64_t cut_lines_ = 0;
};

inline bool IsTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Splits a line into at most `max_tokens` tokens of at most `max_token`
// characters each (longer ones are cut).
inline void SplitTokens(std::string_view line, std::vector<std::string_view>& tokens, size_t max_tokens,
                        size_t max_token) {
  tokens.clear();
  size_t i = 0;
  while (i < line.size() && tokens.size() < max_tokens) {
    while (i < line.size() && IsTokenSeparator(line[i])) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && !IsTokenSeparator(line[i])) ++i;
    tokens.push_back(line.substr(start, std::min(i - start, max_token)));
  }
}

// The text with blanks, tabs, CR and LF removed at both ends.
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsTokenSeparator(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTokenSeparator(text.back())) text.remove_suffix(1);
  return text;
}

// The number at the start of the token, as the C library's atof reads it
// (a leading "+" allowed, trailing text ignored); 0 when none or when it is
// not finite. `ok` tells whether a number was there.
inline double ParseDouble(std::string_view token, bool* ok = nullptr) {
  const char* p = token.data();
  const char* end = p + token.size();
  if (p < end && *p == '+') ++p;
  double value = 0.0;
  const auto result = std::from_chars(p, end, value, std::chars_format::general);
  const bool good = result.ec == std::errc() && std::isfinite(value);
  if (ok) *ok = good;
  return good ? value : 0.0;
}

// The integer at the start of the token, as atoi reads it but wide enough
// to tell an index out of every range; `ok` false when there is none.
inline int64_t ParseInteger(std::string_view token, bool* ok) {
  const char* p = token.data();
  const char* end = p + token.size();
  if (p < end && *p == '+') ++p;
  int64_t value = 0;
  const auto result = std::from_chars(p, end, value);
  *ok = result.ec == std::errc() && result.ptr != p;
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond 64 bits: certainly beyond every list.
    *ok = true;
    value = (p < end && *p == '-') ? INT64_MIN : INT64_MAX;
  }
  return *ok ? value : 0;
}

// Output gathered in blocks and written with fwrite; numbers formatted with
// to_chars exactly as "%f" and "%lu" print them.
class TextWriter {
 public:
  explicit TextWriter(FILE* file) : file_(file) { buffer_.reserve(kBlock + 512); }
  ~TextWriter() { Flush(); }
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  TextWriter& Text(std::string_view text) {
    buffer_.append(text);
    MaybeFlush();
    return *this;
  }
  TextWriter& Char(char c) {
    buffer_.push_back(c);
    return *this;
  }
  TextWriter& Fixed(double value) {
    char digits[400];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
    if (result.ec == std::errc()) buffer_.append(digits, result.ptr);
    MaybeFlush();
    return *this;
  }
  TextWriter& Unsigned(uint64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, result.ptr);
    MaybeFlush();
    return *this;
  }
  void Flush() {
    if (!buffer_.empty() && file_) std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
    buffer_.clear();
  }

 private:
  static constexpr size_t kBlock = 1 << 16;
  void MaybeFlush() {
    if (buffer_.size() >= kBlock) Flush();
  }
  FILE* file_;
  std::string buffer_;
};

// Reads a companion text file (a material library) whole: only a regular
// file is opened, and at most `limit` bytes of it are taken. False, with the
// reason in `why`, otherwise.
bool ReadCompanionText(const std::string& path, std::vector<uint8_t>& bytes, const char** why,
                       uint64_t limit = uint64_t{64} << 20);

// Copies text into a fixed field, cut to fit and always terminated.
template <size_t N>
void CopyField(char (&field)[N], std::string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace zepcon::model_text
