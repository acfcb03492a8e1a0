// Binary portable pixel map ("P6"): a text header of whitespace-separated
// fields (magic, width, height, maximum value; "#" starts a comment that
// runs to the line end), one whitespace byte, then the pixels red, green,
// blue, one byte per sample up to maximum 255, two bytes (big-endian) above.
#include <cstring>

#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/picture_io.h"

namespace zepcon {

using namespace picture_io;

namespace {

constexpr uint32_t kRunPixels = 21845;  // 3 bytes each: the line buffer
constexpr size_t kMaxTokenLength = 32;
constexpr uint64_t kMaxHeaderNumber = 0xFFFFFFFFu;

// Reads the next header field into `token`; skips whitespace and comments.
// Leaves the stream just behind the field's first delimiter byte.
bool ReadToken(FILE* file, char* token, size_t capacity) {
  int c = std::fgetc(file);
  for (;;) {
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') c = std::fgetc(file);
    if (c != '#') break;
    while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(file);
  }
  size_t length = 0;
  while (c != EOF && !(c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '#')) {
    if (length + 1 >= capacity) return false;
    token[length++] = static_cast<char>(c);
    c = std::fgetc(file);
  }
  token[length] = '\0';
  // The byte ending the last field belongs to the header (a comment right
  // after a field is not allowed before the pixels).
  if (c == '#') return false;
  return length > 0 && c != EOF;
}

bool ParseNumber(const char* token, uint32_t& value) {
  uint64_t result = 0;
  if (!*token) return false;
  for (const char* p = token; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    result = result * 10 + static_cast<uint64_t>(*p - '0');
    if (result > kMaxHeaderNumber) return false;
  }
  value = static_cast<uint32_t>(result);
  return true;
}

struct PpmHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t maximum = 0;
};

int ReadHeader(FILE* file, PpmHeader& header) {
  char token[kMaxTokenLength];
  if (!ReadToken(file, token, sizeof token) || std::strcmp(token, "P6") != 0) {
    LogMessage("ppm: only binary pixel maps (P6) are supported\n", LOG_ERROR);
    return 0;
  }
  uint32_t* fields[3] = {&header.width, &header.height, &header.maximum};
  for (uint32_t* field : fields) {
    if (!ReadToken(file, token, sizeof token) || !ParseNumber(token, *field)) {
      LogMessage("ppm: bad header\n", LOG_ERROR);
      return 0;
    }
  }
  if (header.width == 0 || header.height == 0) {
    LogFormatted(LOG_ERROR, "ppm: empty picture (%ux%u)\n", header.width, header.height);
    return 0;
  }
  if (header.maximum == 0 || header.maximum > 65535) {
    LogFormatted(LOG_ERROR, "ppm: bad maximum value %u\n", header.maximum);
    return 0;
  }
  return 1;
}

// Scales samples of 0..maximum to 0..255, rounding down (as ImageMagick
// reads them, so converted pictures agree with it).
uint8_t Scale(uint32_t sample, uint32_t maximum) {
  if (sample >= maximum) return 255;
  return static_cast<uint8_t>(sample * 255u / maximum);
}

// Turns `count` pixels of 1- or 2-byte samples into bytes, in place.
void ToBytes(uint8_t* buffer, uint32_t count, uint32_t maximum) {
  const uint32_t samples = count * 3;
  if (maximum > 255) {
    for (uint32_t i = 0; i < samples; ++i) buffer[i] = Scale(Be16(buffer + 2 * i), maximum);
  } else if (maximum < 255) {
    for (uint32_t i = 0; i < samples; ++i) buffer[i] = Scale(buffer[i], maximum);
  }
}

}  // namespace

int LoadPpm(BitmapData& picture, FILE* file) {
  LogMessage("Loading ppm...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  PpmHeader header;
  if (!ReadHeader(file, header)) return 0;
  const uint32_t sample_bytes = header.maximum > 255 ? 2 : 1;
  const uint64_t data_bytes = uint64_t{header.width} * header.height * 3 * sample_bytes;
  if (data_bytes > BytesLeft(file)) {
    LogFormatted(LOG_ERROR, "ppm: file too short for %ux%u pixels\n", header.width, header.height);
    LogMessage("Error reading !\n", LOG_ERROR);
    return 0;
  }
  if (!picture.InitPicture(header.width, header.height, MODE_RGB888)) return 0;
  LogMessage(" reading data\n", LOG_DETAIL);
  const uint32_t run_pixels = kRunPixels / sample_bytes;
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += run_pixels) {
    const uint32_t count = total - first < run_pixels ? total - first : run_pixels;
    if (!ReadExact(file, buffer, size_t{count} * 3 * sample_bytes)) {
      LogMessage("Error reading !\n", LOG_ERROR);
      return 0;
    }
    ToBytes(buffer, count, header.maximum);
    if (!picture.SetPixels(first, count, buffer)) return 0;
  }
  LogMessage("...ppm loaded\n", LOG_MAJOR);
  return 1;
}

int SavePpm(BitmapData& picture, FILE* file) {
  LogMessage("Saving ppm...\n", LOG_MAJOR);
  if (!picture.BitmapConvertToMode(MODE_RGB888, 0)) return 0;
  LogMessage(" writing header\n", LOG_DETAIL);
  if (std::fprintf(file, "P6\n%lu %lu\n255\n", static_cast<unsigned long>(picture.SizeX()),
                   static_cast<unsigned long>(picture.SizeY())) < 0) {
    LogMessage("ppm: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing data\n", LOG_DETAIL);
  if (!WriteAllPixels(picture, file)) {
    LogMessage("ppm: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...ppm saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
