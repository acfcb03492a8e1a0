// "Jawed K" text models: a light line, numbered vertex lines "n: x y z" and
// triangle lines "tri a, b, c". A vertex out of sequence or an unknown line
// ends the reading; what was read before is kept.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/text_scanner.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

// Splits `line` in place into at most `capacity` words.
size_t SplitWords(char* line, char** words, size_t capacity) {
  size_t count = 0;
  char* p = line;
  while (count < capacity) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    words[count++] = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    if (*p) *p++ = '\0';
  }
  return count;
}

// A triangle corner: the digits at the start of the word (a comma ends it).
bool ParseCorner(const char* word, uint32_t* index) {
  char digits[TextScanner::kTokenCapacity];
  size_t length = 0;
  while (word[length] >= '0' && word[length] <= '9' && length + 1 < sizeof digits) {
    digits[length] = word[length];
    ++length;
  }
  digits[length] = '\0';
  const char rest = word[length];
  return (rest == '\0' || rest == ',') && TextScanner::ParseUnsigned(digits, index);
}

// "n:" with n a whole number.
bool ParseVertexNumber(const char* word, uint32_t* number) {
  const size_t length = std::strlen(word);
  if (length < 2 || length >= TextScanner::kTokenCapacity || word[length - 1] != ':') return false;
  char digits[TextScanner::kTokenCapacity];
  std::memcpy(digits, word, length - 1);
  digits[length - 1] = '\0';
  return TextScanner::ParseUnsigned(digits, number);
}

}  // namespace

int LoadJaw(ModelData& model, FILE* file) {
  LogMessage("Loading jaw...\n", LOG_MAJOR);
  model.relative_writes = 0;
  TextScanner scanner(file);
  char line[TextScanner::kLineCapacity];
  char copy[TextScanner::kLineCapacity];
  uint64_t bad_numbers = 0;
  while (scanner.ReadLine(line)) {
    std::memcpy(copy, line, sizeof line);
    char* words[5];
    const size_t count = SplitWords(line, words, 5);
    if (count == 0) continue;
    if (std::strcmp(words[0], "Light:") == 0) continue;
    if (std::strcmp(words[0], "tri") == 0) {
      uint32_t corners[3];
      bool read = count >= 4;
      for (size_t k = 0; read && k < 3; ++k) read = ParseCorner(words[k + 1], &corners[k]);
      if (!read) {
        ++bad_numbers;
        continue;
      }
      model.StorePolygon(3, corners);
      continue;
    }
    uint32_t number = 0;
    if (ParseVertexNumber(words[0], &number)) {
      if (number != model.vertexs_count) {
        LogFormatted(LOG_ERROR, "Vertex number should be %lu, is %lu\n",
                     static_cast<unsigned long>(model.vertexs_count), static_cast<unsigned long>(number));
        break;
      }
      double position[3] = {0.0, 0.0, 0.0};
      for (size_t k = 0; k < 3; ++k) {
        if (k + 1 >= count || !TextScanner::ParseDouble(words[k + 1], &position[k])) {
          position[k] = 0.0;
          ++bad_numbers;
        }
      }
      model.StoreVertex(position[0], position[1], position[2]);
      continue;
    }
    LogFormatted(LOG_ERROR, "!! Error Loading: Unknown item '%s'\n", copy);
    break;
  }
  if (bad_numbers)
    LogFormatted(LOG_ERROR,
                 "LoadJaw: %" PRIu64 " unreadable lines or numbers (coordinates read as 0, triangles skipped)\n",
                 bad_numbers);
  LogMessage("...jaw loaded\n", LOG_MAJOR);
  LogFormatted(LOG_DETAIL, "verts %lu, polys %lu\n", static_cast<unsigned long>(model.vertexs_count),
               static_cast<unsigned long>(model.polygons_count));
  return 1;
}

int SaveJaw(ModelData& model, FILE* file) {
  LogMessage("Saving jaw...\n", LOG_MAJOR);
  if (!model.TriangulatePolygons()) return 0;
  model.relative_reads = 0;
  std::fprintf(file, "Light: (0,0,0)\n");
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.ReadVertex(v, x, y, z);
    std::fprintf(file, "%lu: %f %f %f\n", static_cast<unsigned long>(v), x, y, z);
  }
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t count = 0, corners[3] = {0, 0, 0};
    model.ReadPolygon(p, &count, corners, 3);
    if (count != 3) {
      LogMessage("Why not triangulated ?\n", LOG_ERROR);
      break;
    }
    std::fprintf(file, "tri %lu, %lu, %lu\n", static_cast<unsigned long>(corners[0]),
                 static_cast<unsigned long>(corners[1]), static_cast<unsigned long>(corners[2]));
  }
  if (std::fflush(file) != 0 || std::ferror(file)) {
    LogMessage("SaveJaw: could not write the file\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...jaw saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
