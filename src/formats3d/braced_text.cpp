#include "formats3d/braced_text.h"

#include <algorithm>
#include <cinttypes>

#include "core/log.h"
#include "formats3d/model_text.h"

namespace zepcon::braced_text {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

Token BracedText::Next(std::string_view& text) {
  for (;;) {
    while (p_ < end_ && IsSpace(*p_)) ++p_;
    if (p_ >= end_) return Token::kEnd;
    if ((syntax_.hash_comments && *p_ == '#') || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) {
      SkipLine();
      continue;
    }
    if (syntax_.guids && *p_ == '<') {
      while (p_ < end_ && *p_ != '>') ++p_;
      if (p_ < end_) ++p_;
      continue;
    }
    break;
  }
  const char c = *p_;
  if (c == '{' || c == '}' || c == ',' || c == ';') {
    text = std::string_view(p_++, 1);
    return c == '{' ? Token::kOpen : c == '}' ? Token::kClose : Token::kSeparator;
  }
  if (c == '"') {
    const char* start = ++p_;
    while (p_ < end_ && *p_ != '"') ++p_;
    text = std::string_view(start, static_cast<size_t>(p_ - start));
    if (p_ < end_) ++p_;
    return Token::kString;
  }
  const char* start = p_;
  while (p_ < end_ && !IsSpace(*p_) && !IsSpecial(*p_)) ++p_;
  text = std::string_view(start, static_cast<size_t>(p_ - start));
  if (text.empty()) {
    // A stray '>' outside a guid: passed over like a separator, so the
    // reading always moves on.
    text = std::string_view(p_++, 1);
    return Token::kSeparator;
  }
  return Token::kName;
}

Token BracedText::NextValue(std::string_view& text) {
  Token token;
  do token = Next(text);
  while (token == Token::kSeparator);
  return token;
}

Token BracedText::Peek(std::string_view& text) {
  const char* keep = p_;
  const Token token = NextValue(text);
  p_ = keep;
  return token;
}

void BracedText::SkipLine() {
  while (p_ < end_ && *p_ != '\n') ++p_;
}

uint64_t BracedText::Line() const { return syntax_.first_line + static_cast<uint64_t>(std::count(start_, p_, '\n')); }

bool BracedText::Fail(const char* why) const {
  LogFormatted(LOG_ERROR, "%s: %s (line %" PRIu64 ")\n", loader_, why, Line());
  return false;
}

bool BracedText::Number(double& value) {
  std::string_view text;
  if (NextValue(text) != Token::kName) return Fail("number expected");
  bool ok = false;
  value = model_text::ParseDouble(text, &ok);
  if (!ok) return Fail("number expected");
  return true;
}

bool BracedText::Count(uint64_t& value, uint64_t min_bytes_each) {
  double number = 0;
  if (!Number(number)) return false;
  // Checked before the cast: a number beyond 2^64 (or NaN) cannot be cast.
  if (!(number >= 0) || number >= 18446744073709551616.0 ||
      number != static_cast<double>(static_cast<uint64_t>(number)))
    return Fail("count is no whole number");
  value = static_cast<uint64_t>(number);
  if (value > Remaining() / min_bytes_each) return Fail("count larger than the file");
  return true;
}

bool BracedText::SkipBlock() {
  uint64_t depth = 1;
  std::string_view text;
  while (depth > 0) {
    const Token token = Next(text);
    if (token == Token::kEnd) return Fail("unclosed braces");
    if (token == Token::kOpen) ++depth;
    if (token == Token::kClose) --depth;
  }
  return true;
}

}  // namespace zepcon::braced_text
