// A log pane that keeps its text in memory the way a multi-line edit window
// does: lines end in "\r\n", and once it passes 400 lines the oldest are
// dropped so that 200 remain. Front ends show its text.
#pragma once

#include <cstddef>
#include <string>

#include "core/log.h"

namespace zepcon {

class TextLogPane : public LogPane {
 public:
  static constexpr size_t kMaxLines = 400;
  static constexpr size_t kKeptLines = 200;

  void AppendText(std::string_view text) override;
  void Clear() override;

  const std::string& Text() const { return text_; }
  // Lines as an edit window counts them: line ends plus one.
  size_t LineCount() const { return line_ends_ + 1; }

 private:
  std::string text_;
  size_t line_ends_ = 0;
};

}  // namespace zepcon
