// The reading toolbox: text lines, tokens and small string tools.
#include "core/reading_helper.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/file_stream.h"
#include "core/log.h"

namespace zepcon {
namespace {

constexpr int kMaxLineText = ReadingHelper::kLineSize - 1;

bool IsDelimiter(char c, const char* delimiters) { return c != '\0' && std::strchr(delimiters, c); }

}  // namespace

// ---- Text lines -----------------------------------------------------------

// Drops the CR of a CR LF end (or a lone CR before the end of the file),
// puts the LF back when it fits and terminates the line.
void ReadingHelper::FinishLine(int had_line_end) {
  size_t length = std::strlen(line);
  if (!line_truncated && length > 0 && line[length - 1] == '\r') line[--length] = '\0';
  if (had_line_end && length < static_cast<size_t>(kMaxLineText)) {
    line[length++] = '\n';
    line[length] = '\0';
  }
}

int ReadingHelper::ReadLine(FILE* file) {
  line[0] = '\0';
  line_truncated = 0;
  if (!file) return 0;
  int length = 0;
  int got_any = 0;
  int had_line_end = 0;
  int c;
  while ((c = std::getc(file)) != EOF) {
    got_any = 1;
    if (c == '\n') {
      had_line_end = 1;
      break;
    }
    if (length < kMaxLineText)
      line[length++] = static_cast<char>(c);
    else if (!(length == kMaxLineText && c == '\r'))  // a CR just before LF is not text
      line_truncated = 1;
  }
  line[length] = '\0';
  if (!got_any) return 0;
  FinishLine(had_line_end);
  return 1;
}

int ReadingHelper::ReadLine(FileStream& stream) {
  line[0] = '\0';
  line_truncated = 0;
  if (!stream.IsOpen() || !stream.ReadLine(line, kLineSize)) {
    line[0] = '\0';
    return 0;
  }
  size_t length = std::strlen(line);
  int had_line_end = length > 0 && line[length - 1] == '\n';
  if (had_line_end) {
    line[--length] = '\0';
  } else if (length == static_cast<size_t>(kMaxLineText)) {
    // The buffer filled up: drop the rest of this line. A bare line end left
    // over means the text did fit after all.
    char rest[256];
    int first_piece = 1;
    while (stream.ReadLine(rest, sizeof rest)) {
      const size_t piece = std::strlen(rest);
      const int ends = piece > 0 && rest[piece - 1] == '\n';
      const bool only_line_end = std::strcmp(rest, "\n") == 0 || std::strcmp(rest, "\r\n") == 0;
      if (first_piece && line[length - 1] == '\r' && std::strcmp(rest, "\n") == 0) {
        line[--length] = '\0';  // the CR of a CR LF split across the buffer's end
      } else if (!(first_piece && only_line_end) && !(first_piece && piece == 0)) {
        line_truncated = 1;
      }
      first_piece = 0;
      if (ends) {
        had_line_end = 1;
        break;
      }
    }
  }
  FinishLine(had_line_end);
  return 1;
}

int ReadingHelper::ReadNonEmptyLine(FILE* file) {
  while (ReadLine(file))
    if (line[0] != '\0' && std::strcmp(line, "\n") != 0) return 1;
  line[0] = '\0';
  return 0;
}

int ReadingHelper::ReadNonEmptyLine(FileStream& stream) {
  while (ReadLine(stream))
    if (line[0] != '\0' && std::strcmp(line, "\n") != 0) return 1;
  line[0] = '\0';
  return 0;
}

int ReadingHelper::ReadRest(FILE* file) {
  if (!file) return 0;
  size_t length = std::strlen(line);
  int appended = 0;
  int c;
  while (length < static_cast<size_t>(kMaxLineText) && (c = std::getc(file)) != EOF) {
    line[length++] = static_cast<char>(c);
    ++appended;
  }
  line[length] = '\0';
  return appended;
}

int ReadingHelper::ReadZString(FILE* file, char* buffer, int capacity) {
  int consumed = 0;
  int kept = 0;
  bool cut = false;
  int c;
  while (file && (c = std::getc(file)) != EOF) {
    ++consumed;
    if (c == 0) break;
    if (kept < capacity - 1)
      buffer[kept++] = static_cast<char>(c);
    else
      cut = true;
  }
  if (cut) kept = std::max(capacity - 2, 0);
  if (capacity >= 1) buffer[kept] = '\0';
  return consumed;
}

int ReadingHelper::ReadZString(FileStream& stream, char* buffer, int capacity) {
  int consumed = 0;
  int kept = 0;
  unsigned char c;
  while (stream.IsOpen() && stream.Read(1, &c) == 1) {
    ++consumed;
    if (c == 0) break;
    if (kept < capacity - 1) buffer[kept++] = static_cast<char>(c);
  }
  if (capacity >= 1) buffer[kept] = '\0';
  return consumed;
}

// ---- Tokens and small string tools ---------------------------------------

const char* ReadingHelper::GetToken(const char* text, int index, const char* delimiters,
                                    uint16_t* end_position) {
  if (!delimiters) delimiters = kDefaultDelimiters;
  token_[0] = '\0';
  size_t position = 0;
  if (!text) {
    if (end_position) *end_position = 0;
    return token_;
  }
  int wanted = index;
  bool found = false;
  while (text[position] != '\0') {
    if (!IsDelimiter(text[position], delimiters)) {
      if (wanted == 0) {
        found = true;
        break;
      }
      ++position;
      continue;
    }
    if (wanted >= 1 && position != 0) --wanted;
    while (IsDelimiter(text[position], delimiters)) ++position;
    if (wanted < 1) {
      found = true;
      break;
    }
  }
  size_t length = 0;
  if (found) {
    while (text[position] != '\0' && !IsDelimiter(text[position], delimiters) && length < kTokenSize - 1)
      token_[length++] = text[position++];
  }
  token_[length] = '\0';
  if (end_position) *end_position = static_cast<uint16_t>(std::min<size_t>(position, 0xFFFF));
  return token_;
}

const char* ReadingHelper::Trim(const char* text, const char* set) {
  if (!set) set = kDefaultDelimiters;
  std::snprintf(trimmed_, sizeof trimmed_, "%s", text ? text : "");
  size_t end = std::strlen(trimmed_);
  while (end > 0 && std::strchr(set, trimmed_[end - 1])) --end;
  trimmed_[end] = '\0';
  size_t start = 0;
  while (trimmed_[start] != '\0' && std::strchr(set, trimmed_[start])) ++start;
  std::memmove(trimmed_, trimmed_ + start, end - start + 1);
  return trimmed_;
}

const char* ReadingHelper::GetQuoted(const char* text) {
  quoted_[0] = '\0';
  const char* open = text ? std::strchr(text, '"') : nullptr;
  if (!open) return quoted_;
  const char* close = std::strchr(open + 1, '"');
  const size_t length = close ? static_cast<size_t>(close - open - 1) : std::strlen(open + 1);
  const size_t kept = std::min(length, sizeof quoted_ - 1);
  std::memcpy(quoted_, open + 1, kept);
  quoted_[kept] = '\0';
  return quoted_;
}

int ReadingHelper::ReplaceChars(char* text, const char* from, const char* to) {
  if (!text || !from || !to || std::strlen(from) != std::strlen(to)) return 0;
  int replaced = 0;
  for (char* c = text; *c; ++c) {
    const char* hit = std::strchr(from, *c);
    if (!hit) continue;
    *c = to[hit - from];
    ++replaced;
  }
  return replaced;
}

int ReadingHelper::IsNumber(const char* text) {
  // An empty text is not a number: callers use this to decide whether to
  // convert a token.
  if (!text || !*text) return 0;
  return text[std::strspn(text, "0123456789.-")] == '\0';
}

void ReadingHelper::StripToLineEnd(char* text, const char* marker) {
  if (!text || !marker || !*marker) return;
  const size_t marker_length = std::strlen(marker);
  char* search_from = text;
  while (char* hit = std::strstr(search_from, marker)) {
    char* line_end = std::strpbrk(hit + marker_length, "\r\n");
    if (!line_end) return;
    std::memmove(hit, line_end, std::strlen(line_end) + 1);
    search_from = hit;
  }
}

void ReadingHelper::StripLeadingBlanks(char* text) {
  if (!text) return;
  const size_t blanks = std::strspn(text, " \t");
  if (blanks) std::memmove(text, text + blanks, std::strlen(text + blanks) + 1);
}


}  // namespace zepcon
