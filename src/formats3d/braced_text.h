// Reading the braced text formats ("Type [name] { values ; children }"):
// the text cut into names (numbers included), quoted strings, braces and
// the separators "," and ";", with the numbers, counts and skipped blocks
// their loaders read. Comments ("//", and "#" where the syntax has them)
// and, where the syntax has them, GUIDs ("<...>") are dropped.
//
// Every failure is logged once, as "<loader>: <why> (line N)", and
// returns false. Counts are checked against the bytes left before a caller
// sizes anything by them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zepcon::braced_text {

enum class Token { kEnd, kName, kString, kOpen, kClose, kSeparator };

struct Syntax {
  bool hash_comments = false;  // "#" starts a comment as "//" does
  bool guids = false;          // "<...>" is dropped
  uint64_t first_line = 1;     // the number of the text's first line
};

class BracedText {
 public:
  // `loader` names the failures in the log; it must outlive the reader.
  BracedText(const uint8_t* data, size_t size, const Syntax& syntax, const char* loader)
      : start_(reinterpret_cast<const char*>(data)), p_(start_), end_(p_ + size), syntax_(syntax), loader_(loader) {}

  Token Next(std::string_view& text);
  // The next token that is no separator, read, or left unread.
  Token NextValue(std::string_view& text);
  Token Peek(std::string_view& text);
  void SkipLine();

  bool Fail(const char* why) const;
  bool Number(double& value);
  // A count that the bytes left can hold at `min_bytes_each` bytes an item.
  bool Count(uint64_t& value, uint64_t min_bytes_each);
  // Passes over the rest of an object whose "{" was read.
  bool SkipBlock();

  uint64_t Remaining() const { return static_cast<uint64_t>(end_ - p_); }
  // The line the reading stands on.
  uint64_t Line() const;

 private:
  bool IsSpecial(char c) const {
    return c == '{' || c == '}' || c == ',' || c == ';' || c == '"' || (syntax_.guids && (c == '<' || c == '>'));
  }
  const char* start_;
  const char* p_;
  const char* end_;
  Syntax syntax_;
  const char* loader_;
};

}  // namespace zepcon::braced_text
