// Binary portable pixel map ("P6"): a text header of whitespace-separated
// fields (magic, width, height, maximum value; "#" starts a comment that
// runs to the line end), one whitespace byte, then the pixels red, green,
// blue, one byte per sample up to maximum 255, two bytes (big-endian) above.
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/fail.h"
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

bool IsWhitespace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The next byte, or EOF at the end of the block.
int NextByte(ByteReader& reader) { return reader.AtEnd() ? EOF : reader.U8(); }

// Reads the next header field into `token`; skips whitespace and comments.
// Leaves the reader just behind the field's first delimiter byte.
bool ReadToken(ByteReader& reader, char* token, size_t capacity) {
  int c = NextByte(reader);
  for (;;) {
    while (IsWhitespace(c)) c = NextByte(reader);
    if (c != '#') break;
    while (c != EOF && c != '\n' && c != '\r') c = NextByte(reader);
  }
  size_t length = 0;
  while (c != EOF && !IsWhitespace(c) && c != '#') {
    if (length + 1 >= capacity) return false;
    token[length++] = static_cast<char>(c);
    c = NextByte(reader);
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

int ReadHeader(ByteReader& reader, PpmHeader& header) {
  char token[kMaxTokenLength];
  if (!ReadToken(reader, token, sizeof token) || std::strcmp(token, "P6") != 0)
    return Fail("ppm: only binary pixel maps (P6) are supported\n");
  uint32_t* fields[3] = {&header.width, &header.height, &header.maximum};
  for (uint32_t* field : fields) {
    if (!ReadToken(reader, token, sizeof token) || !ParseNumber(token, *field)) return Fail("ppm: bad header\n");
  }
  if (header.width == 0 || header.height == 0)
    return Fail("ppm: empty picture (%ux%u)\n", header.width, header.height);
  if (header.maximum == 0 || header.maximum > 65535) return Fail("ppm: bad maximum value %u\n", header.maximum);
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
    for (uint32_t i = 0; i < samples; ++i) buffer[i] = Scale(LoadBe16(buffer + 2 * i), maximum);
  } else if (maximum < 255) {
    for (uint32_t i = 0; i < samples; ++i) buffer[i] = Scale(buffer[i], maximum);
  }
}

}  // namespace

int LoadPpm(BitmapData& picture, FILE* file) {
  LogMessage("Loading ppm...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "ppm")) return 0;
  ByteReader reader(bytes);
  PpmHeader header;
  if (!ReadHeader(reader, header)) return 0;
  const uint32_t pixel_bytes = 3 * (header.maximum > 255 ? 2 : 1);
  // Width x height x 6 passes 64 bits for the largest header values: the
  // product is checked, never wrapped into a small number the file holds.
  uint64_t pixels = 0;
  if (!CheckedMul(header.width, header.height, pixels) || !reader.Fits(pixels, pixel_bytes)) {
    LogFormatted(LOG_ERROR, "ppm: file too short for %ux%u pixels\n", header.width, header.height);
    return Fail("Error reading !\n");
  }
  if (!picture.InitPicture(header.width, header.height, MODE_RGB888)) return 0;
  LogMessage(" reading data\n", LOG_DETAIL);
  const uint32_t run_pixels = kRunPixels * 3 / pixel_bytes;
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += run_pixels) {
    const uint32_t count = total - first < run_pixels ? total - first : run_pixels;
    if (!reader.ReadBytes(buffer, size_t{count} * pixel_bytes)) return Fail("Error reading !\n");
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
