// The toolbox every container carries: line and token readers for text
// formats, the nesting-level stack, Form chunk headers (four-character
// identifier + 32-bit length, either byte order), byte swapping, temporary
// names, folder search, time and a few angle/normal calculations.
//
// Functions that return text return a pointer to one buffer of their own,
// overwritten by the next call of the same function on the same object (or,
// for the static ones, by the next call anywhere). Copy what you keep.
//
// Results: 1 success / 0 failure unless said otherwise; nothing throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/geometry.h"

namespace zepcon {

class FileStream;

class ReadingHelper {
 public:
  static constexpr int kLineSize = 1000;       // line buffer: 999 characters + zero
  static constexpr int kTokenSize = 255;       // a token: 254 characters + zero
  static constexpr int kTrimSize = 256;        // Trim works on 255 characters
  static constexpr int kPathSize = 512;        // FileNameOfPath/FolderOfPath: 511 + zero
  static constexpr int kMaxLevels = 50;        // entries 0..49; entry 0 is the outermost
  static constexpr int kLevelNameSize = 40;    // 39 characters + zero
  static constexpr int kMaxFormDepth = 19;     // nested BeginFormChunk calls
  static constexpr int kSkipBlock = 2000;      // SkipBytes reads in blocks of this
  static constexpr const char* kDefaultDelimiters = " \n\r\t";
  static constexpr double kDegreesToRadians = geometry::kDegreesToRadians;
  static constexpr double kRadiansToDegrees = geometry::kRadiansToDegrees;

  ReadingHelper();

  // ---- Text lines ------------------------------------------------------
  // The line readers put the line into `line`, keeping its line end as the
  // standard line reading does; a CR LF end is stored as a single LF (a lone
  // CR just before the end of the file is dropped). A line longer than 999
  // characters keeps its first 999; the rest of it, up to and including its
  // line end, is skipped (so the tail is never taken for a line of its own)
  // and `line_truncated` is set. Return 1 when a line was read, 0 at the end
  // of the file (the buffer is then empty).
  int ReadLine(FILE* file);
  int ReadLine(FileStream& stream);
  // Reads lines until one is neither empty nor just a line end; 0 at the end
  // of the file.
  int ReadNonEmptyLine(FILE* file);
  int ReadNonEmptyLine(FileStream& stream);
  // Appends characters of the file to `line` until it holds 999 characters
  // or the file ends; returns the number appended.
  int ReadRest(FILE* file);

  // Reads a zero-terminated string up to and including its zero; returns the
  // bytes consumed (the zero counts; at the end of the file without a zero,
  // what was there). `buffer` is always zero-terminated when capacity >= 1.
  // A string that does not fit keeps capacity - 2 characters (plain file) or
  // capacity - 1 characters (stream); the rest is consumed and dropped.
  static int ReadZString(FILE* file, char* buffer, int capacity);
  static int ReadZString(FileStream& stream, char* buffer, int capacity);

  // ---- Tokens and small string tools -----------------------------------
  // The token of the given index (0 first) in `line`, split at any character
  // of `delimiters` (nullptr: " \n\r\t"). Delimiters at the very start of the
  // line are not a separator; a run of delimiters counts as one. Empty when
  // there is no such token. At most 254 characters. `end_position`, when
  // given, receives the position just after the token.
  const char* GetToken(const char* line, int index, const char* delimiters = nullptr,
                       uint16_t* end_position = nullptr);
  // `text` (up to 255 characters) without leading and trailing characters of
  // `set`.
  const char* Trim(const char* text, const char* set);
  // The text between the first two double quotes; when the closing quote is
  // missing, the rest of the text after the opening one; empty without quotes.
  const char* GetQuoted(const char* text);
  // Replaces, in place, each character of `text` found in `from` by the
  // character at the same place in `to`. Returns the count of replacements;
  // 0 (and nothing done) when the sets differ in length.
  static int ReplaceChars(char* text, const char* from, const char* to);
  // 1 when `text` is not empty and every character is one of "0123456789.-".
  static int IsNumber(const char* text);
  // Removes every occurrence of `marker` with the rest of its line, keeping
  // the line end. An occurrence with no line end behind it is kept and ends
  // the work.
  static void StripToLineEnd(char* text, const char* marker);
  // Removes leading blanks and tabs, in place.
  static void StripLeadingBlanks(char* text);

  // ---- Nesting levels --------------------------------------------------
  // `level` open levels use level_lengths[1..level]; entry 0 is the outermost
  // level and is never closed. `indent` holds `level` blanks.
  void PushLevel(int32_t length);       // 0: nothing; at 49 open: "Extend Maxlevels !\n"
  void PushLevelOuter(int32_t length);  // same, first adds length to every open level
  // Subtracts count from every open level; a counter below 0 is logged and
  // set to 0; exhausted levels are closed, innermost first.
  void ConsumeLevel(int32_t count);
  int32_t LevelLength() const { return level_lengths[level]; }  // bytes left in the innermost
  void SetLevelName(const char* name);  // names the innermost level
  // 1 when the level at level + relative (relative <= 0) has that name.
  int LevelNameIs(const char* name, int relative) const;
  // The name of the level at level + relative; nullptr when out of range.
  const char* GetLevelName(int relative) const;
  void ResetLevels();

  // ---- Form chunks -----------------------------------------------------
  // Both settings must be set before reading or writing chunk headers:
  // FormByteOrdering 0 big-endian lengths, 1 little-endian; FormSkipOddByte 1
  // when odd bodies are followed by a pad byte, 0 when not.
  struct FormHeader {
    char id[4];
    uint32_t length;
  };
  // Reads 8 bytes into `form_header` and sets `form_padded_length`.
  int ReadFormHeader(FILE* file);
  int ReadFormHeader(FileStream& stream);
  // Reads the pad byte after an odd body when pad bytes are in use.
  int SkipFormPad(FILE* file);
  int SkipFormPad(FileStream& stream);
  // Skips the body of the chunk just read and its pad byte; 1 when the whole
  // body was there.
  int SkipFormChunk(FILE* file);
  int SkipFormChunk(FileStream& stream);
  // The same on a block already in memory (loaders that read the whole file
  // first). The reader's cursor moves exactly as the file's would; a header
  // cut short reads nothing and leaves the cursor where it was.
  int ReadFormHeader(ByteReader& reader);
  int SkipFormPad(ByteReader& reader);
  int SkipFormChunk(ByteReader& reader);
  // Reads a chunk header and hands back in `body` a reader over the chunk's
  // body alone: never beyond the chunk's length nor beyond the end of
  // `reader` (a length claiming more than the parent holds is cut to the
  // parent's end and `body.Clipped()` tells). The parent passes the body and
  // its pad byte, so each call moves at least 8 bytes on: a loop over the
  // chunks of a block ends whatever the lengths say. 0 (nothing passed) when
  // the settings are missing or no whole header is left.
  int ReadFormChunk(ByteReader& reader, ByteReader& body);
  // Writes a placeholder header for a chunk `id` and remembers where it is.
  int BeginFormChunk(FILE* file, const char* id);
  int BeginFormChunk(FileStream& stream, const char* id);
  // Fills in the innermost open chunk's header (length = bytes written since
  // its header) and returns to the end of the file.
  int EndFormChunk(FILE* file);
  int EndFormChunk(FileStream& stream);
  // Reads and discards up to `count` bytes; returns how many were skipped.
  static uint64_t SkipBytes(FILE* file, uint64_t count);
  static uint64_t SkipBytes(FileStream& stream, uint64_t count);

  // ---- Bytes and numbers -----------------------------------------------
  static int Swap(void* buffer, int count);  // reverses 1..64 bytes in place
  static uint32_t Swap32(uint32_t value);
  static uint16_t Swap16(uint16_t value);
  // A big-endian signed 16.16 fixed-point number as read raw from the file.
  static double Fixed16(uint32_t value);
  // The value the pair (a, b) shares with (c, d); -1 (logged) when none.
  static int32_t FindTwoSame(int32_t a, int32_t b, int32_t c, int32_t d);

  // ---- Files and time --------------------------------------------------
  // "<folder>/F<n>.tmp" with n below 10,000,000, naming no existing file;
  // empty when 100 draws all named existing files. The folder may end with
  // a separator or not.
  const char* TempFileName(const char* folder);
  // Makes the temporary-name draws repeatable (tests).
  void SeedRandom(uint32_t seed) { random_.seed(seed); }
  // The part after the last '\' or '/' (at most 511 characters).
  const char* FileNameOfPath(const char* path);
  // The part up to and including the last '\' or '/'; empty without one.
  const char* FolderOfPath(const char* path);
  // Folder search: the pattern is a folder plus a name with '*' and '?'
  // ("*.*" matches every name). Names match case-insensitively (asset names
  // come from case-blind systems); folders match too, "." and ".." never;
  // matches come in name order. FindFirst → 1 when
  // something matches. FindNext → the next matching name (the first one on
  // its first call), nullptr when there are no more.
  int FindFirst(const char* pattern);
  const char* FindNext();
  // The current universal time as "Sun 6 Dec 2026 20:21".
  const char* TimeStamp();
  // Interval timing on a monotonic clock (any length of interval).
  void StartTimer();
  int TimeReached(double seconds) const;

  // ---- Geometry (degrees) ----------------------------------------------
  static void RotatePair(double& u, double& v, double angle);
  // (y, z) by c, then (x, z) by b, then (x, y) by a.
  static void RotateYzXzXy(double& x, double& y, double& z, double a, double b, double c);
  // (x, y) by a, (y, z) by c, (x, z) by b.
  static void RotateXyYzXz(double& x, double& y, double& z, double a, double b, double c);
  // (x, y) by c; z negated, (z, y) by b, z negated back; then (z, x) by a.
  static void RotateXyZyZx(double& x, double& y, double& z, double a, double b, double c);
  // Scales to length 1; a zero vector becomes (1, 0, 0).
  static void Normalize(double& x, double& y, double& z);
  // (p2 - p1) x (p3 - p1), not normalised.
  static void TriangleNormal(const double p1[3], const double p2[3], const double p3[3],
                             double normal[3]);
  static double VectorLength(double x, double y, double z);
  static double AngleOfXY(double x, double y);  // [0, 360)
  static double Normalize360(double angle);
  // Angle at `centre` from b to a: AngleOfXY(a - centre) - AngleOfXY(b - centre), in [0, 360).
  static double AngleBetween(double ax, double ay, double cx, double cy, double bx, double by);
  // azimuth = AngleOfXY(x, y), elevation = AngleOfXY(sqrt(x² + y²), z).
  static void ToSpherical(double x, double y, double z, double& azimuth, double& elevation);

  // ---- State (read freely; the operations above keep it consistent) ----
  char line[kLineSize] = {};
  int line_truncated = 0;  // the last line read was longer than 999 characters
  int32_t level = 0;
  int32_t level_lengths[kMaxLevels] = {};
  char indent[kMaxLevels] = {};
  char level_names[kMaxLevels][kLevelNameSize] = {};
  FormHeader form_header = {};
  uint64_t form_padded_length = 0;
  int32_t FormSkipOddByte = -1;
  int32_t FormByteOrdering = 2;

 private:
  struct OpenChunk {
    long header_position;
    char id[4];
  };

  int FormSettingsReady() const;
  // The stack entry for a new chunk with the identifier set, or nullptr
  // (logged) when the settings are missing or chunks nest too deep.
  OpenChunk* ReserveWriteChunk(const char* id);
  // Takes the innermost open chunk off the stack; 0 when a refused (too
  // deep) chunk is ended instead, or nothing is open (logged).
  int PopWriteChunk(OpenChunk& chunk);
  void TakeFormHeader(const unsigned char raw[8]);
  void EncodeFormHeader(const char* id, uint64_t length, unsigned char raw[8]) const;
  void RebuildIndent();
  void FinishLine(int had_line_end);

  OpenChunk write_stack_[kMaxFormDepth] = {};
  int write_depth_ = 0;
  int write_overflow_ = 0;  // BeginFormChunk calls refused for depth, not yet ended
  char token_[kTokenSize + 1] = {};
  char trimmed_[kTrimSize] = {};
  char quoted_[kLineSize] = {};
  char temp_name_[1024] = {};
  char file_name_[kPathSize] = {};
  char folder_[kPathSize] = {};
  char time_stamp_[512] = {};
  std::vector<std::string> found_;
  size_t next_found_ = 0;
  char found_name_[kPathSize] = {};
  std::chrono::steady_clock::time_point timer_start_{};
  std::mt19937 random_;
};

}  // namespace zepcon
