// "Raw 3d" models: one triangle per line as nine numbers (x y z of three
// corners), and name lines that start a new object. Two common variants are
// read as well: a tenth token after the nine numbers (a texture name), and
// twelve numbers, the first three being a colour that this format's model
// does not keep.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/reading_helper.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr int kTriangleNumbers = 9;
constexpr int kColouredTriangleNumbers = 12;
constexpr size_t kShownNameLength = 20;  // longer names are cut and get " ..."
constexpr size_t kObjectNameCapacity = 40;

// A token made only of the characters of a decimal number (with an optional
// exponent) and holding at least one digit.
bool IsNumberToken(const char* token) {
  if (token[0] == '\0') return false;
  bool digit = false;
  for (const char* p = token; *p; ++p) {
    if (*p >= '0' && *p <= '9')
      digit = true;
    else if (!std::strchr(".-+eE", *p))
      return false;
  }
  return digit;
}

// The value of a number token; what does not convert (or overflows) is
// NaN, read as 0 once the line is known to be a triangle.
double NumberValue(const char* token) {
  char* end = nullptr;
  const double value = std::strtod(token, &end);
  if (end == token || !std::isfinite(value)) return NAN;
  return value;
}

enum class RawLineKind { kEmpty, kName, kTriangle };

// Classifies the line in the helper's buffer; a triangle line leaves its
// nine coordinates in `corners`.
RawLineKind ClassifyRawLine(ReadingHelper& reader, double corners[kTriangleNumbers], uint64_t* bad_numbers) {
  // Up to 13 tokens tell every case apart; the values are taken right away
  // since GetToken reuses its buffer.
  double values[kColouredTriangleNumbers];
  int tokens = 0;
  int leading_numbers = 0;
  for (; tokens <= kColouredTriangleNumbers; ++tokens) {
    const char* token = reader.GetToken(reader.line, tokens);
    if (token[0] == '\0') break;
    if (leading_numbers == tokens && IsNumberToken(token)) {
      if (tokens < kColouredTriangleNumbers) values[tokens] = NumberValue(token);
      ++leading_numbers;
    }
  }
  if (tokens == 0) return RawLineKind::kEmpty;
  int first = -1;
  if (leading_numbers >= kTriangleNumbers && tokens <= kTriangleNumbers + 1)
    first = 0;
  else if (tokens == kColouredTriangleNumbers && leading_numbers == kColouredTriangleNumbers)
    first = kColouredTriangleNumbers - kTriangleNumbers;
  if (first < 0) return RawLineKind::kName;
  for (int k = 0; k < kTriangleNumbers; ++k) {
    corners[k] = values[first + k];
    if (std::isnan(corners[k])) {
      corners[k] = 0.0;
      ++*bad_numbers;
    }
  }
  return RawLineKind::kTriangle;
}

// A name line opens a new object named by it.
void StartRawObject(ModelData& model, const char* line) {
  char name[kShownNameLength + 8];
  size_t length = std::strcspn(line, "\r\n");
  while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
  if (length > kShownNameLength)
    std::snprintf(name, sizeof name, "%.*s ...", static_cast<int>(kShownNameLength), line);
  else
    std::snprintf(name, sizeof name, "%.*s", static_cast<int>(length), line);
  LogFormatted(LOG_DETAIL, "Skipping line [%s]\n", name);
  if (!model.NewObject()) return;  // the object limit was met and logged
  char object_name[kObjectNameCapacity];
  std::snprintf(object_name, sizeof object_name, "%s", name);
  model.SetObjectName(object_name);
}

// Stores the three corners and their triangle; nothing once the vertex
// limit has been met, so that no triangle names a vertex never stored.
bool StoreRawTriangle(ModelData& model, const double corners[kTriangleNumbers]) {
  uint32_t indexes[3];
  for (int k = 0; k < 3; ++k) {
    const uint32_t before = model.vertexs_count;
    indexes[k] = model.StoreVertex(corners[3 * k], corners[3 * k + 1], corners[3 * k + 2]);
    if (model.vertexs_count == before) return false;
  }
  model.StorePolygon(3, indexes);
  return true;
}

}  // namespace

int LoadRaw(ModelData& model, FILE* file) {
  LogMessage("Loading raw...\n", LOG_MAJOR);
  model.relative_writes = 1;
  ReadingHelper& reader = model.reading;
  unsigned long skipped = 0;
  uint64_t bad_numbers = 0;
  uint64_t dropped = 0;
  while (reader.ReadNonEmptyLine(file)) {
    double corners[kTriangleNumbers];
    switch (ClassifyRawLine(reader, corners, &bad_numbers)) {
      case RawLineKind::kEmpty:
        break;
      case RawLineKind::kName:
        StartRawObject(model, reader.line);
        ++skipped;
        break;
      case RawLineKind::kTriangle:
        if (!StoreRawTriangle(model, corners)) ++dropped;
        break;
    }
  }
  if (bad_numbers)
    LogFormatted(LOG_ERROR, "LoadRaw: %" PRIu64 " unreadable numbers read as 0\n", bad_numbers);
  if (dropped)
    LogFormatted(LOG_ERROR, "LoadRaw: %" PRIu64 " triangles dropped at the vertex limit\n", dropped);
  LogFormatted(LOG_MAJOR, "%lu polygons loaded\n", static_cast<unsigned long>(model.polygons_count));
  LogFormatted(LOG_DETAIL, "%lu lines skipped\n", skipped);
  LogMessage("...raw loaded\n", LOG_MAJOR);
  return 1;
}

int SaveRaw(ModelData& model, FILE* file) {
  LogMessage("Saving Raw...\n", LOG_MAJOR);
  model.relative_reads = 0;
  if (!model.TriangulatePolygons()) return 0;

  for (uint32_t k = 0; k < model.objects_count; ++k) {
    ObjectRecord object;
    if (!model.GetObjectInfo(k, &object)) continue;
    std::fprintf(file, "%s\n", object.name);
    for (uint32_t p = 0; p < object.polygon_count; ++p) {
      uint32_t count = 0;
      uint32_t vertexes[3] = {0, 0, 0};
      model.ReadPolygon(object.first_polygon + p, &count, vertexes, 3);
      if (count != 3) {
        LogFormatted(LOG_ERROR, "SaveRaw3d: Poly %lu is not triangle\n", static_cast<unsigned long>(p));
        continue;
      }
      for (int corner = 0; corner < 3; ++corner) {
        double x = 0.0, y = 0.0, z = 0.0;
        model.ReadVertex(vertexes[corner], x, y, z);
        std::fprintf(file, "%f %f %f", x, y, z);
        std::fputc(corner < 2 ? ' ' : '\n', file);
      }
    }
  }
  LogMessage("...Raw saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
