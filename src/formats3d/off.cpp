// "Off text" models: a keyword line, the vertex and polygon counts, one line
// of x y z per vertex, then per polygon its point count and that many
// zero-based vertex indexes. The file lists a polygon's points in the
// opposite order from the model's.
//
// The reader is byte-driven (getc) so that it cannot be fooled by long lines,
// stops at the end of the file whatever the header announces, and never
// allocates by a count read from the file: polygons go through a fixed list
// of at most 100 points.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr uint32_t kMaxOffPoints = 100;       // points kept of one polygon
constexpr uint64_t kMinVertexLineBytes = 6;   // "0 0 0" and its line end
constexpr uint64_t kMinPolygonBytes = 2;      // "0" and its line end
constexpr size_t kTokenCapacity = 64;         // longer tokens are never numbers

// Splits the text of an OFF file into tokens. Blanks, tabs, CR and LF
// separate tokens; "#" starts a comment that runs to the line end.
class OffScanner {
 public:
  explicit OffScanner(FILE* file) : file_(file) {}

  // Bytes from the current position to the end of the file; the largest
  // value when the stream cannot tell.
  uint64_t BytesLeft() {
    const long here = std::ftell(file_);
    if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) return UINT64_MAX;
    const long end = std::ftell(file_);
    if (std::fseek(file_, here, SEEK_SET) != 0 || end < here) return UINT64_MAX;
    return static_cast<uint64_t>(end - here);
  }

  // Moves to the start of the next token, across line ends and comments.
  // 0 at the end of the file.
  int SkipToToken() {
    for (;;) {
      const int c = std::getc(file_);
      if (c == EOF) return 0;
      if (c == '#') {
        SkipLine();
        continue;
      }
      if (!IsSeparator(c)) {
        std::ungetc(c, file_);
        return 1;
      }
    }
  }

  // The next token of the current line into `token` (cut to the capacity;
  // `overlong` tells when it was). 0 when the line (or the file) ends first;
  // the line end itself is left to be read.
  int TokenOnLine(char* token, size_t capacity, bool* overlong) {
    int c = std::getc(file_);
    while (IsBlank(c)) c = std::getc(file_);
    if (c == '#') {
      SkipToLineEnd();
      return 0;
    }
    if (c == EOF || c == '\n') {
      if (c == '\n') std::ungetc(c, file_);
      return 0;
    }
    ReadTokenFrom(c, token, capacity, overlong);
    return 1;
  }

  // The next token wherever it is (across line ends and comments).
  int NextToken(char* token, size_t capacity, bool* overlong) {
    if (!SkipToToken()) return 0;
    ReadTokenFrom(std::getc(file_), token, capacity, overlong);
    return 1;
  }

  // Whether a token follows on the current line (blanks skipped).
  bool MoreOnLine() {
    int c = std::getc(file_);
    while (IsBlank(c)) c = std::getc(file_);
    if (c != EOF) std::ungetc(c, file_);
    return c != EOF && c != '\n' && c != '#';
  }

  // Drops the rest of the current line and its line end.
  void SkipLine() {
    int c;
    do {
      c = std::getc(file_);
    } while (c != EOF && c != '\n');
  }

 private:
  // Separators within a line; CR counts as one, so CR LF ends a line as LF does.
  static bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
  static bool IsSeparator(int c) { return IsBlank(c) || c == '\n'; }

  void SkipToLineEnd() {
    int c;
    do {
      c = std::getc(file_);
    } while (c != EOF && c != '\n');
    if (c == '\n') std::ungetc(c, file_);
  }

  void ReadTokenFrom(int c, char* token, size_t capacity, bool* overlong) {
    size_t length = 0;
    *overlong = false;
    while (c != EOF && !IsSeparator(c) && c != '#') {
      if (length + 1 < capacity)
        token[length++] = static_cast<char>(c);
      else
        *overlong = true;
      c = std::getc(file_);
    }
    if (c != EOF) std::ungetc(c, file_);
    token[length] = '\0';
  }

  FILE* file_;
};

// A token of decimal digits only, fitting 32 bits.
bool ParseCount(const char* token, bool overlong, uint32_t* value) {
  if (overlong || token[0] == '\0') return false;
  uint64_t result = 0;
  for (const char* p = token; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    result = result * 10 + static_cast<uint64_t>(*p - '0');
    if (result > UINT32_MAX) return false;
  }
  *value = static_cast<uint32_t>(result);
  return true;
}

// A whole token read as a finite single-precision number.
bool ParseCoordinate(const char* token, bool overlong, float* value) {
  if (overlong || token[0] == '\0') return false;
  char* end = nullptr;
  const float result = std::strtof(token, &end);
  if (end == token || *end != '\0' || !std::isfinite(result)) return false;
  *value = result;
  return true;
}

struct OffCounts {
  uint32_t vertexs = 0;
  uint32_t polygons = 0;
};

// Reads "NV NP [third]" from the rest of the current line and drops the
// line; the third count is optional and ignored. `first`, when given, is the
// vertex count's token, already read.
bool ReadCountsOnLine(OffScanner& scanner, const char* first, OffCounts* counts) {
  char token[kTokenCapacity];
  bool overlong = false;
  uint32_t vertexs = 0, polygons = 0;
  bool read = first ? ParseCount(first, false, &vertexs)
                    : scanner.TokenOnLine(token, sizeof token, &overlong) && ParseCount(token, overlong, &vertexs);
  read = read && scanner.TokenOnLine(token, sizeof token, &overlong) && ParseCount(token, overlong, &polygons);
  scanner.SkipLine();
  if (!read) return false;
  counts->vertexs = vertexs;
  counts->polygons = polygons;
  return true;
}

// The header: the first line with any text is the keyword line ("OFF",
// "COFF", "NOFF"...). The counts may follow the keyword on its line, even
// glued to it ("OFF8 6 12"); otherwise they open the next line with text.
// A first line that starts with a number is taken for the counts (the
// keyword is missing). Extra per-vertex columns that the prefixes announce
// (colours, normals, texture coordinates) are skipped with the rest of each
// vertex line. 1 read; 0 no header; -1 refused (logged): four-dimensional
// vertices, a dimension other than 3, binary data.
int ReadOffHeader(OffScanner& scanner, OffCounts* counts) {
  char keyword[kTokenCapacity];
  bool overlong = false;
  if (!scanner.SkipToToken() || !scanner.TokenOnLine(keyword, sizeof keyword, &overlong)) return 0;
  uint32_t number = 0;
  if (ParseCount(keyword, overlong, &number)) return ReadCountsOnLine(scanner, keyword, counts) ? 1 : 0;
  const char* found = overlong ? nullptr : std::strstr(keyword, "OFF");
  if (found) {
    const std::string_view prefix(keyword, static_cast<size_t>(found - keyword));
    if (prefix.find('4') != std::string_view::npos) {
      LogMessage("LoadOff: 4OFF files hold four-dimensional vertices, which a model cannot take\n", LOG_ERROR);
      return -1;
    }
    char next[kTokenCapacity];
    bool next_overlong = false;
    if (prefix.find('n') != std::string_view::npos) {
      // The dimension comes first; only three-dimensional vertices fit.
      uint32_t dimension = 0;
      const bool glued = found[3] != '\0';
      const bool read = glued ? ParseCount(found + 3, false, &dimension)
                              : scanner.NextToken(next, sizeof next, &next_overlong) &&
                                    ParseCount(next, next_overlong, &dimension);
      if (!read || dimension != 3) {
        LogMessage("LoadOff: only three-dimensional nOFF files can be read\n", LOG_ERROR);
        return -1;
      }
      if (scanner.MoreOnLine()) return ReadCountsOnLine(scanner, nullptr, counts) ? 1 : 0;
      scanner.SkipLine();
      return scanner.SkipToToken() && ReadCountsOnLine(scanner, nullptr, counts) ? 1 : 0;
    }
    if (found[3] != '\0') return ReadCountsOnLine(scanner, found + 3, counts) ? 1 : 0;
    if (scanner.MoreOnLine()) {
      if (!scanner.TokenOnLine(next, sizeof next, &next_overlong)) return 0;
      if (std::strcmp(next, "BINARY") == 0) {
        LogMessage("LoadOff: binary OFF files are not supported\n", LOG_ERROR);
        return -1;
      }
      return ReadCountsOnLine(scanner, next, counts) ? 1 : 0;
    }
  }
  scanner.SkipLine();
  return scanner.SkipToToken() && ReadCountsOnLine(scanner, nullptr, counts) ? 1 : 0;
}

// A count that the rest of the file cannot possibly hold is a broken or
// hostile header: checked before any loop runs on it.
bool CountsFitFile(const OffCounts& counts, uint64_t bytes_left) {
  if (bytes_left == UINT64_MAX) return true;
  const uint64_t room = bytes_left + 1;  // the last line may lack its line end
  const uint64_t vertex_bytes = static_cast<uint64_t>(counts.vertexs) * kMinVertexLineBytes;
  if (vertex_bytes > room) {
    LogFormatted(LOG_ERROR, "LoadOff: %" PRIu32 " vertexs announced, the file has room for at most %" PRIu64 "\n",
                 counts.vertexs, room / kMinVertexLineBytes);
    return false;
  }
  const uint64_t polygon_bytes = static_cast<uint64_t>(counts.polygons) * kMinPolygonBytes;
  if (polygon_bytes > room - vertex_bytes)
    LogFormatted(LOG_ERROR, "LoadOff: %" PRIu32 " polygons announced, the file has room for at most %" PRIu64 "\n",
                 counts.polygons, (room - vertex_bytes) / kMinPolygonBytes);
  return true;
}

// One vertex per line: x, y and z are its first three numbers; anything
// after them (colours, a fourth coordinate) is ignored. Unreadable or
// missing numbers become 0. Returns how many vertexs were read.
uint32_t ReadOffVertexs(ModelData& model, OffScanner& scanner, uint32_t count, uint64_t* bad_numbers) {
  char token[kTokenCapacity];
  bool overlong = false;
  uint32_t read = 0;
  bool limit_met = false;
  for (; read < count; ++read) {
    if (!scanner.SkipToToken()) break;
    float coordinates[3] = {0.0f, 0.0f, 0.0f};
    for (float& coordinate : coordinates) {
      if (!scanner.TokenOnLine(token, sizeof token, &overlong) || !ParseCoordinate(token, overlong, &coordinate)) {
        coordinate = 0.0f;
        ++*bad_numbers;
      }
    }
    scanner.SkipLine();
    if (limit_met) continue;
    const uint32_t before = model.vertexs_count;
    model.StoreVertex(coordinates[0], coordinates[1], coordinates[2]);
    limit_met = model.vertexs_count == before;
  }
  return read;
}

// Reads one polygon into `points` (model order: the file's order reversed).
// Returns 0 when the file ended inside it.
int ReadOffPolygon(OffScanner& scanner, uint32_t points[kMaxOffPoints], uint32_t* kept, uint64_t* bad_numbers) {
  char token[kTokenCapacity];
  bool overlong = false;
  if (!scanner.NextToken(token, sizeof token, &overlong)) return 0;
  uint32_t announced = 0;
  if (!ParseCount(token, overlong, &announced)) {
    // Not a point count: this line is no polygon.
    ++*bad_numbers;
    scanner.SkipLine();
    *kept = 0;
    return 1;
  }
  uint32_t n = announced;
  if (n >= kMaxOffPoints) {
    LogFormatted(LOG_ERROR, "Too many points (%lu, max %lu)\n", static_cast<unsigned long>(announced),
                 static_cast<unsigned long>(kMaxOffPoints));
    n = kMaxOffPoints;
  }
  for (uint32_t i = 0; i < n; ++i) {
    if (!scanner.NextToken(token, sizeof token, &overlong)) return 0;
    uint32_t index = 0;
    if (!ParseCount(token, overlong, &index)) {
      // Left pointing nowhere: the model check redirects it.
      index = UINT32_MAX;
      ++*bad_numbers;
    }
    points[n - 1 - i] = index;
  }
  scanner.SkipLine();
  *kept = n;
  return 1;
}

uint32_t ReadOffPolygons(ModelData& model, OffScanner& scanner, uint32_t count, uint64_t* bad_numbers) {
  uint32_t points[kMaxOffPoints];
  uint32_t read = 0;
  for (; read < count; ++read) {
    uint32_t kept = 0;
    if (!ReadOffPolygon(scanner, points, &kept, bad_numbers)) break;
    if (kept == 0) {
      LogFormatted(LOG_ERROR, "LoadOff: polygon %" PRIu32 " has no points, skipped\n", read);
      continue;
    }
    model.StorePolygon(kept, points);
  }
  return read;
}

}  // namespace

int LoadOff(ModelData& model, FILE* file) {
  LogMessage("Loading oogl...\n", LOG_MAJOR);
  OffScanner scanner(file);
  OffCounts counts;
  const int header = ReadOffHeader(scanner, &counts);
  if (header < 0) return 0;
  if (header == 0) {
    LogMessage("LoadOff: no vertex and polygon counts found, not an OFF file\n", LOG_ERROR);
    return 0;
  }
  if (!CountsFitFile(counts, scanner.BytesLeft())) return 0;

  uint64_t bad_numbers = 0;
  LogMessage(" reading vertexs\n", LOG_DETAIL);
  const uint32_t vertexs_read = ReadOffVertexs(model, scanner, counts.vertexs, &bad_numbers);
  LogMessage(" reading polygons\n", LOG_DETAIL);
  const uint32_t polygons_read =
      vertexs_read < counts.vertexs ? 0 : ReadOffPolygons(model, scanner, counts.polygons, &bad_numbers);

  if (vertexs_read < counts.vertexs || polygons_read < counts.polygons)
    LogFormatted(LOG_ERROR,
                 "LoadOff: the file ends early: %" PRIu32 " of %" PRIu32 " vertexs and %" PRIu32 " of %" PRIu32
                 " polygons read\n",
                 vertexs_read, counts.vertexs, polygons_read, counts.polygons);
  if (bad_numbers)
    LogFormatted(LOG_ERROR, "LoadOff: %" PRIu64 " unreadable numbers (coordinates read as 0, indexes left for the model check)\n", bad_numbers);
  LogMessage("...oogl loaded\n", LOG_MAJOR);
  return 1;
}

int SaveOff(ModelData& model, FILE* file) {
  LogMessage("Saving oogl...\n", LOG_MAJOR);
  if (!model.TriangulatePolygons()) return 0;
  model.relative_reads = 0;

  std::fprintf(file, "OFF\n");
  std::fprintf(file, "%lu %lu %lu\n", static_cast<unsigned long>(model.vertexs_count),
               static_cast<unsigned long>(model.polygons_count), static_cast<unsigned long>(model.points_count));

  LogMessage(" writing vertexs\n", LOG_DETAIL);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.ReadVertex(v, x, y, z);
    std::fprintf(file, "%f %f %f\n", x, y, z);
  }

  LogMessage(" writing polygons\n", LOG_DETAIL);
  uint32_t points[kMaxOffPoints];
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t count = 0;
    model.ReadPolygon(p, &count, points, kMaxOffPoints);
    // A polygon longer than the list is written with the points it kept,
    // never with a count that its indexes do not match.
    if (count > kMaxOffPoints) count = kMaxOffPoints;
    std::fprintf(file, "%lu", static_cast<unsigned long>(count));
    for (uint32_t i = count; i-- > 0;) std::fprintf(file, " %lu", static_cast<unsigned long>(points[i]));
    std::fprintf(file, "\n");
  }
  LogMessage("...oogl saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
