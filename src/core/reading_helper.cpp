#include "core/reading_helper.h"

#include <dirent.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/file_stream.h"
#include "core/geometry.h"
#include "core/log.h"

namespace zepcon {
namespace {

constexpr int kMaxLineText = ReadingHelper::kLineSize - 1;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Position just after the last path separator, 0 when there is none.
size_t AfterLastSeparator(const char* path) {
  size_t after = 0;
  for (size_t i = 0; path[i]; ++i)
    if (IsSeparator(path[i])) after = i + 1;
  return after;
}

bool IsDelimiter(char c, const char* delimiters) { return c != '\0' && std::strchr(delimiters, c); }

// The chunk code works the same on a plain file and on a FileStream; these
// adapters give both one face.
struct PlainIo {
  FILE* file;
  size_t Read(void* to, size_t count) { return file ? std::fread(to, 1, count, file) : 0; }
  size_t Write(const void* from, size_t count) { return file ? std::fwrite(from, 1, count, file) : 0; }
  long Tell() { return file ? std::ftell(file) : -1; }
  bool SeekTo(long position) { return file && std::fseek(file, position, SEEK_SET) == 0; }
};

struct StreamIo {
  FileStream& stream;
  size_t Read(void* to, size_t count) { return stream.IsOpen() ? stream.Read(count, to) : 0; }
  size_t Write(const void* from, size_t count) { return stream.IsOpen() ? stream.Write(count, from) : 0; }
  long Tell() { return stream.IsOpen() ? stream.Tell() : -1; }
  bool SeekTo(long position) { return stream.Seek(position, 0) == 1; }
};

template <typename Io>
uint64_t SkipWith(Io io, uint64_t count) {
  unsigned char block[ReadingHelper::kSkipBlock];
  uint64_t skipped = 0;
  while (skipped < count) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count - skipped, sizeof block));
    const size_t got = io.Read(block, want);
    skipped += got;
    if (got < want) break;
  }
  return skipped;
}

}  // namespace

ReadingHelper::ReadingHelper() {
  // Seeded per object so that helpers made in the same second still draw
  // different temporary names.
  const auto now = std::chrono::system_clock::now().time_since_epoch().count();
  random_.seed(static_cast<std::mt19937::result_type>(now ^ reinterpret_cast<uintptr_t>(this)));
  ResetLevels();
  StartTimer();
}

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

// ---- Nesting levels --------------------------------------------------------

void ReadingHelper::RebuildIndent() {
  const int blanks = std::clamp(level, 0, kMaxLevels - 1);
  std::memset(indent, ' ', blanks);
  indent[blanks] = '\0';
}

void ReadingHelper::PushLevel(int32_t length) {
  if (length == 0) return;
  if (level >= kMaxLevels - 1) {
    LogMessage("Extend Maxlevels !\n", LOG_ERROR);
    return;
  }
  ++level;
  level_lengths[level] = length;
  level_names[level][0] = '\0';
  RebuildIndent();
}

void ReadingHelper::PushLevelOuter(int32_t length) {
  if (length == 0) return;
  if (level >= kMaxLevels - 1) {
    LogMessage("Extend Maxlevels !\n", LOG_ERROR);
    return;
  }
  for (int i = 1; i <= level; ++i) {
    const int64_t grown = int64_t{level_lengths[i]} + length;
    level_lengths[i] = static_cast<int32_t>(
        std::clamp<int64_t>(grown, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  }
  PushLevel(length);
}

void ReadingHelper::ConsumeLevel(int32_t count) {
  for (int i = level; i >= 1; --i) {
    const int64_t left = int64_t{level_lengths[i]} - count;
    if (left < 0) {
      LogFormatted(LOG_ERROR, "LevelLen %lld\n", static_cast<long long>(left));
      level_lengths[i] = 0;
    } else {
      level_lengths[i] = static_cast<int32_t>(std::min<int64_t>(left, std::numeric_limits<int32_t>::max()));
    }
  }
  // A level can only close once everything inside it has closed.
  while (level > 0 && level_lengths[level] == 0) --level;
  RebuildIndent();
}

void ReadingHelper::SetLevelName(const char* name) {
  std::snprintf(level_names[level], kLevelNameSize, "%s", name ? name : "");
}

int ReadingHelper::LevelNameIs(const char* name, int relative) const {
  const char* own = GetLevelName(relative);
  return own && name && std::strcmp(own, name) == 0;
}

const char* ReadingHelper::GetLevelName(int relative) const {
  if (relative > 0 || level + relative < 0) return nullptr;
  return level_names[level + relative];
}

void ReadingHelper::ResetLevels() {
  level = 0;
  std::memset(level_lengths, 0, sizeof level_lengths);
  std::memset(level_names, 0, sizeof level_names);
  RebuildIndent();
}

// ---- Form chunks -----------------------------------------------------------

int ReadingHelper::FormSettingsReady() const {
  if (FormSkipOddByte != -1 && (FormByteOrdering == 0 || FormByteOrdering == 1)) return 1;
  LogMessage("Dont forget to set [FormSkipOddByte] and [FormByteOrdering] !\n", LOG_ERROR);
  return 0;
}

void ReadingHelper::TakeFormHeader(const unsigned char raw[8]) {
  std::memcpy(form_header.id, raw, 4);
  form_header.length = FormByteOrdering == 0 ? LoadBe32(raw + 4) : LoadLe32(raw + 4);
  form_padded_length = uint64_t{form_header.length} + (form_header.length & 1);
}

void ReadingHelper::EncodeFormHeader(const char* id, uint64_t length, unsigned char raw[8]) const {
  std::memcpy(raw, id, 4);
  const uint32_t value = static_cast<uint32_t>(length);
  for (int i = 0; i < 4; ++i) {
    const int shift = FormByteOrdering == 0 ? 24 - 8 * i : 8 * i;
    raw[4 + i] = static_cast<unsigned char>(value >> shift);
  }
}

namespace {

template <typename Io>
int ReadHeaderWith(Io io, unsigned char raw[8]) {
  return io.Read(raw, 8) == 8;
}

}  // namespace

int ReadingHelper::ReadFormHeader(FILE* file) {
  if (!FormSettingsReady()) return 0;
  unsigned char raw[8];
  if (!ReadHeaderWith(PlainIo{file}, raw)) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::ReadFormHeader(FileStream& stream) {
  if (!FormSettingsReady()) return 0;
  unsigned char raw[8];
  if (!ReadHeaderWith(StreamIo{stream}, raw)) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::SkipFormPad(FILE* file) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  return SkipBytes(file, 1) == 1;
}

int ReadingHelper::SkipFormPad(FileStream& stream) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  return SkipBytes(stream, 1) == 1;
}

int ReadingHelper::SkipFormChunk(FILE* file) {
  if (SkipBytes(file, form_header.length) != form_header.length) return 0;
  SkipFormPad(file);
  return 1;
}

int ReadingHelper::SkipFormChunk(FileStream& stream) {
  if (SkipBytes(stream, form_header.length) != form_header.length) return 0;
  SkipFormPad(stream);
  return 1;
}

int ReadingHelper::ReadFormHeader(ByteReader& reader) {
  if (!FormSettingsReady()) return 0;
  const uint8_t* raw = reader.Take(8);
  if (!raw) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::SkipFormPad(ByteReader& reader) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  // A pad byte missing at the very end of the block is no error: the file
  // would give the same short read.
  if (reader.AtEnd()) return 0;
  return reader.Skip(1);
}

int ReadingHelper::SkipFormChunk(ByteReader& reader) {
  const ByteReader body = reader.Chunk(form_header.length);
  if (body.Clipped()) return 0;
  SkipFormPad(reader);
  return 1;
}

int ReadingHelper::ReadFormChunk(ByteReader& reader, ByteReader& body) {
  body = ByteReader();
  if (!ReadFormHeader(reader)) return 0;
  body = reader.Chunk(form_header.length);
  if (!body.Clipped()) SkipFormPad(reader);
  return 1;
}

namespace {

// Remembers where the header goes and writes a placeholder for it.
template <typename Io>
int BeginChunkWith(Io io, const char* id, long& position) {
  position = io.Tell();
  if (position < 0) return 0;
  unsigned char raw[8] = {};
  std::memcpy(raw, id, 4);
  return io.Write(raw, 8) == 8;
}

}  // namespace

ReadingHelper::OpenChunk* ReadingHelper::ReserveWriteChunk(const char* id) {
  if (!FormSettingsReady() || !id) return nullptr;
  if (write_depth_ >= kMaxFormDepth) {
    // Counted so that the matching EndFormChunk does not close an outer chunk.
    ++write_overflow_;
    LogMessage("BeginFormChunk: chunks nested too deep\n", LOG_ERROR);
    return nullptr;
  }
  OpenChunk& chunk = write_stack_[write_depth_];
  std::memcpy(chunk.id, id, 4);
  return &chunk;
}

int ReadingHelper::BeginFormChunk(FILE* file, const char* id) {
  OpenChunk* chunk = ReserveWriteChunk(id);
  if (!chunk || !BeginChunkWith(PlainIo{file}, id, chunk->header_position)) return 0;
  ++write_depth_;
  return 1;
}

int ReadingHelper::BeginFormChunk(FileStream& stream, const char* id) {
  OpenChunk* chunk = ReserveWriteChunk(id);
  if (!chunk || !BeginChunkWith(StreamIo{stream}, id, chunk->header_position)) return 0;
  ++write_depth_;
  return 1;
}

namespace {

// Goes back to the chunk's header, writes its identifier and length and
// returns to the end. The length counts everything after the header.
template <typename Io, typename Encode>
int EndChunkWith(Io io, long header_position, const char* id, Encode encode) {
  const long end = io.Tell();
  if (end < 0 || end - header_position < 8) return 0;
  const uint64_t length = static_cast<uint64_t>(end - header_position - 8);
  if (length > 0xFFFFFFFFu) {
    LogMessage("EndFormChunk: chunk longer than 4 GB\n", LOG_ERROR);
    return 0;
  }
  unsigned char raw[8];
  encode(id, length, raw);
  if (!io.SeekTo(header_position)) return 0;
  const bool written = io.Write(raw, 8) == 8;
  return io.SeekTo(end) && written;
}

}  // namespace

int ReadingHelper::PopWriteChunk(OpenChunk& chunk) {
  if (write_overflow_ > 0) {
    --write_overflow_;
    return 0;
  }
  if (write_depth_ == 0) {
    LogMessage("EndFormChunk: no chunk open\n", LOG_ERROR);
    return 0;
  }
  chunk = write_stack_[--write_depth_];
  return 1;
}

int ReadingHelper::EndFormChunk(FILE* file) {
  OpenChunk chunk;
  if (!PopWriteChunk(chunk)) return 0;
  return EndChunkWith(PlainIo{file}, chunk.header_position, chunk.id,
                      [this](const char* id, uint64_t length, unsigned char raw[8]) {
                        EncodeFormHeader(id, length, raw);
                      });
}

int ReadingHelper::EndFormChunk(FileStream& stream) {
  OpenChunk chunk;
  if (!PopWriteChunk(chunk)) return 0;
  return EndChunkWith(StreamIo{stream}, chunk.header_position, chunk.id,
                      [this](const char* id, uint64_t length, unsigned char raw[8]) {
                        EncodeFormHeader(id, length, raw);
                      });
}

uint64_t ReadingHelper::SkipBytes(FILE* file, uint64_t count) { return SkipWith(PlainIo{file}, count); }

uint64_t ReadingHelper::SkipBytes(FileStream& stream, uint64_t count) {
  return SkipWith(StreamIo{stream}, count);
}

// ---- Bytes and numbers -------------------------------------------------------

int ReadingHelper::Swap(void* buffer, int count) {
  if (count < 1 || count > 64) {
    LogFormatted(LOG_ERROR, "Swap: too many bytes (%i) !\n", count);
    return 0;
  }
  if (!buffer) return 0;
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  std::reverse(bytes, bytes + count);
  return 1;
}

uint32_t ReadingHelper::Swap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

uint16_t ReadingHelper::Swap16(uint16_t value) { return static_cast<uint16_t>((value >> 8) | (value << 8)); }

double ReadingHelper::Fixed16(uint32_t value) {
  return static_cast<int32_t>(Swap32(value)) * (1.0 / 65536.0);
}

int32_t ReadingHelper::FindTwoSame(int32_t a, int32_t b, int32_t c, int32_t d) {
  if (b == c || b == d) return b;
  if (a == c || a == d) return a;
  LogMessage("FindTwoSame: Can't find two same !\n", LOG_ERROR);
  return -1;
}

// ---- Files and time ----------------------------------------------------------

const char* ReadingHelper::TempFileName(const char* folder) {
  if (!folder || !*folder) folder = ".";
  const size_t length = std::strlen(folder);
  const char* separator = IsSeparator(folder[length - 1]) ? "" : "/";
  std::uniform_int_distribution<unsigned long> draw(0, 9999999);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int written =
        std::snprintf(temp_name_, sizeof temp_name_, "%s%sF%lu.tmp", folder, separator, draw(random_));
    if (written < 0 || written >= static_cast<int>(sizeof temp_name_)) break;
    // Any directory entry of that name counts, readable or not, so an
    // existing file is never handed out to be overwritten.
    struct stat info;
    if (lstat(temp_name_, &info) != 0) return temp_name_;
  }
  temp_name_[0] = '\0';
  return temp_name_;
}

const char* ReadingHelper::FileNameOfPath(const char* path) {
  if (!path) path = "";
  std::snprintf(file_name_, sizeof file_name_, "%s", path + AfterLastSeparator(path));
  return file_name_;
}

const char* ReadingHelper::FolderOfPath(const char* path) {
  if (!path) path = "";
  const size_t length = std::min(AfterLastSeparator(path), sizeof folder_ - 1);
  std::memcpy(folder_, path, length);
  folder_[length] = '\0';
  return folder_;
}

namespace {

// Wildcards as users type them: '*' and '?' only, "*.*" meaning everything,
// every other character literal.
std::string ToFnmatchPattern(const char* name) {
  if (std::strcmp(name, "*.*") == 0) return "*";
  std::string pattern;
  for (const char* c = name; *c; ++c) {
    if (*c == '[')
      pattern += "[[]";
    else
      pattern += *c;
  }
  return pattern;
}

}  // namespace

int ReadingHelper::FindFirst(const char* pattern) {
  found_.clear();
  next_found_ = 0;
  if (!pattern || !*pattern) return 0;
  const size_t name_start = AfterLastSeparator(pattern);
  std::string folder(pattern, name_start);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty()) folder = ".";
  const std::string wanted = ToFnmatchPattern(pattern + name_start);
  if (wanted.empty()) return 0;
  DIR* directory = opendir(folder.c_str());
  if (!directory) return 0;
  while (const dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (fnmatch(wanted.c_str(), name, FNM_NOESCAPE | FNM_CASEFOLD) == 0) found_.emplace_back(name);
  }
  closedir(directory);
  // Directory order is arbitrary; name order makes "the first match" stable.
  std::sort(found_.begin(), found_.end(), [](const std::string& a, const std::string& b) {
    const int folded = strcasecmp(a.c_str(), b.c_str());
    return folded != 0 ? folded < 0 : a < b;
  });
  return !found_.empty();
}

const char* ReadingHelper::FindNext() {
  if (next_found_ >= found_.size()) return nullptr;
  std::snprintf(found_name_, sizeof found_name_, "%s", found_[next_found_++].c_str());
  return found_name_;
}

const char* ReadingHelper::TimeStamp() {
  static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (!gmtime_r(&now, &utc)) {
    time_stamp_[0] = '\0';
    return time_stamp_;
  }
  std::snprintf(time_stamp_, sizeof time_stamp_, "%s %i %s %i %02i:%02i", kDays[utc.tm_wday % 7], utc.tm_mday,
                kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min);
  return time_stamp_;
}

void ReadingHelper::StartTimer() { timer_start_ = std::chrono::steady_clock::now(); }

int ReadingHelper::TimeReached(double seconds) const {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - timer_start_;
  return elapsed.count() >= seconds;
}

// ---- Geometry ----------------------------------------------------------------

void ReadingHelper::RotatePair(double& u, double& v, double angle) { geometry::RotatePair(u, v, angle); }

void ReadingHelper::RotateYzXzXy(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(y, z, c);
  RotatePair(x, z, b);
  RotatePair(x, y, a);
}

void ReadingHelper::RotateXyYzXz(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(x, y, a);
  RotatePair(y, z, c);
  RotatePair(x, z, b);
}

void ReadingHelper::RotateXyZyZx(double& x, double& y, double& z, double a, double b, double c) {
  RotatePair(x, y, c);
  z = -z;
  RotatePair(z, y, b);
  z = -z;
  RotatePair(z, x, a);
}

void ReadingHelper::Normalize(double& x, double& y, double& z) { geometry::Normalize(x, y, z); }

void ReadingHelper::TriangleNormal(const double p1[3], const double p2[3], const double p3[3],
                                   double normal[3]) {
  geometry::TriangleNormal(p1, p2, p3, normal);
}

double ReadingHelper::VectorLength(double x, double y, double z) { return geometry::VectorLength(x, y, z); }

double ReadingHelper::AngleOfXY(double x, double y) { return geometry::AngleOfXY(x, y); }

double ReadingHelper::Normalize360(double angle) { return geometry::Normalize360(angle); }

double ReadingHelper::AngleBetween(double ax, double ay, double cx, double cy, double bx, double by) {
  return Normalize360(AngleOfXY(ax - cx, ay - cy) - AngleOfXY(bx - cx, by - cy));
}

void ReadingHelper::ToSpherical(double x, double y, double z, double& azimuth, double& elevation) {
  geometry::ToSpherical(x, y, z, azimuth, elevation);
}

}  // namespace zepcon
