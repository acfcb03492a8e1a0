#include "core/log_pane.h"

namespace zepcon {

namespace {

size_t CountLineEnds(std::string_view text) {
  size_t count = 0;
  for (size_t p = text.find("\r\n"); p != std::string_view::npos; p = text.find("\r\n", p + 2)) ++count;
  return count;
}

}  // namespace

void TextLogPane::AppendText(std::string_view text) {
  // A "\r\n" may be split between the old text and the new piece.
  const bool joins = !text_.empty() && text_.back() == '\r' && !text.empty() && text.front() == '\n';
  text_.append(text);
  line_ends_ += CountLineEnds(text) + (joins ? 1 : 0);
  if (LineCount() <= kMaxLines) return;
  // Drop everything up to and including the (lines - 200)-th line end.
  size_t to_drop = LineCount() - kKeptLines;
  size_t cut = 0;
  while (to_drop-- > 0) cut = text_.find("\r\n", cut) + 2;
  text_.erase(0, cut);
  line_ends_ = CountLineEnds(text_);
}

void TextLogPane::Clear() {
  text_.clear();
  line_ends_ = 0;
}

}  // namespace zepcon
