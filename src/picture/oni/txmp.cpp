// Oni textures: a 192-byte header (resource id, name, width, height, pixel
// format), then the pixels in one of five formats, always loaded as RGBA.
// The saver writes 32-bit pixels (format 8) and takes the resource number
// and name from the file name, "number-name".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_stream.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/oni/oni.h"
#include "picture/picture_codecs.h"

namespace zepcon {

using namespace oni;

namespace {

enum Format : uint32_t { kArgb4444 = 0, kArgb1555Old = 1, kArgb1555 = 2, kArgb8888 = 8, kCompressed = 9 };
constexpr uint32_t kBlockSide = 4;
constexpr uint32_t kBlockBytes = 8;
constexpr uint32_t kMaxSide = 65535;
constexpr uint32_t kSaveRunPixels = 16383;
constexpr size_t kMaxSavedName = 127;

uint8_t Scale5(uint32_t v) { return static_cast<uint8_t>((v & 31) * 255 / 31); }
uint8_t Scale6(uint32_t v) { return static_cast<uint8_t>((v & 63) * 255 / 63); }

// One pixel of the 2- or 4-byte formats into red, green, blue, alpha.
void ExpandPixel(uint32_t format, const uint8_t* in, uint8_t* out) {
  if (format == kArgb8888) {
    out[0] = in[1];
    out[1] = in[2];
    out[2] = in[3];
    out[3] = in[0];
    return;
  }
  const uint32_t v = LoadLe16(in);
  if (format == kArgb4444) {
    out[0] = static_cast<uint8_t>(17 * ((v >> 8) & 15));
    out[1] = static_cast<uint8_t>(17 * ((v >> 4) & 15));
    out[2] = static_cast<uint8_t>(17 * (v & 15));
    out[3] = static_cast<uint8_t>(17 * (v >> 12));
    return;
  }
  out[0] = Scale5(v >> 10);
  out[1] = Scale5(v >> 5);
  out[2] = Scale5(v);
  out[3] = (v & 0x8000) ? 255 : 0;
}

// A 4 × 4 block: two 565 colours (red high), then 2-bit codes choosing c0,
// c1 or the colours a third and two thirds of the way from c0 to c1.
void DecodeBlock(const uint8_t* block, uint8_t out[16][4]) {
  const uint32_t c0 = LoadLe16(block), c1 = LoadLe16(block + 2);
  const int first[3] = {Scale5(c0 >> 11), Scale6(c0 >> 5), Scale5(c0)};
  const int second[3] = {Scale5(c1 >> 11), Scale6(c1 >> 5), Scale5(c1)};
  const uint32_t codes = LoadLe32(block + 4);
  for (uint32_t k = 0; k < 16; ++k) {
    const uint32_t code = (codes >> (2 * k)) & 3;
    for (int c = 0; c < 3; ++c) {
      const int difference = second[c] - first[c];  // signed; division truncates towards zero
      const int value = code == 0 ? first[c] : code == 1 ? second[c] : first[c] + difference * (code == 2 ? 1 : 2) / 3;
      out[k][c] = static_cast<uint8_t>(value);
    }
    out[k][3] = 255;
  }
}

const char* FormatLine(uint32_t format) {
  switch (format) {
    case kArgb4444: return "ARGB4444\n";
    case kArgb1555Old:
    case kArgb1555: return "ARGB1555\n";
    case kArgb8888: return "ARGB8888\n";
    case kCompressed: return "compressed\n";
    default: return nullptr;
  }
}

int LoadCompressed(BitmapData& picture, ByteReader& reader, uint32_t width, uint32_t height) {
  const uint32_t blocks_across = (width + kBlockSide - 1) / kBlockSide;
  const uint32_t blocks_down = (height + kBlockSide - 1) / kBlockSide;
  uint8_t pixels[16][4];
  for (uint32_t by = 0; by < blocks_down; ++by) {
    for (uint32_t bx = 0; bx < blocks_across; ++bx) {
      DecodeBlock(reader.Take(kBlockBytes), pixels);
      // Parts of a block beyond a side that is no multiple of 4 are dropped.
      for (uint32_t row = 0; row < kBlockSide && by * kBlockSide + row < height; ++row) {
        const uint32_t x = bx * kBlockSide;
        const uint32_t count = width - x < kBlockSide ? width - x : kBlockSide;
        if (!picture.SetPixels((by * kBlockSide + row) * width + x, count, pixels[row * kBlockSide])) return 0;
      }
    }
  }
  return 1;
}

}  // namespace

int LoadTxmp(BitmapData& picture, FILE* file) {
  LogMessage("Loading txmp...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "txmp")) return 0;
  ByteReader reader(bytes);
  TxmpHeader header;
  if (!ReadTxmpHeader(reader, header)) {
    LogMessage("txmp: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  LogFormatted(LOG_DETAIL, "[%s], %lu x %lu, format %lu, id %lu ", header.name, static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(header.height), static_cast<unsigned long>(header.format),
               static_cast<unsigned long>(header.id));
  const char* line = FormatLine(header.format);
  if (!line) {
    LogMessage("\n", LOG_DETAIL);
    LogMessage("Unknown format !", LOG_ERROR);
    return 0;
  }
  LogMessage(line, LOG_DETAIL);
  const uint32_t format = header.format == kArgb1555Old ? kArgb1555 : header.format;
  const uint32_t width = header.width, height = header.height;
  if (width == 0 || height == 0) {
    LogMessage("txmp: picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  const uint64_t data_bytes = format == kCompressed
                                  ? uint64_t{(width + 3) / 4} * ((height + 3) / 4) * kBlockBytes
                                  : uint64_t{width} * height * (format == kArgb8888 ? 4 : 2);
  if (!reader.Fits(data_bytes)) {
    LogFormatted(LOG_ERROR, "txmp: file too short for %lu x %lu pixels\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height));
    return 0;
  }
  if (!picture.InitPicture(width, height, MODE_RGBA8888)) return 0;
  if (format == kCompressed) {
    if (!LoadCompressed(picture, reader, width, height)) return 0;
  } else {
    const uint32_t in_bytes = format == kArgb8888 ? 4 : 2;
    uint8_t* row = picture.LineBuffer();  // rows of at most 65,535 pixels go in pieces
    const uint32_t piece = BitmapData::kLineBufferSize / 4;
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; x += piece) {
        const uint32_t count = width - x < piece ? width - x : piece;
        const uint8_t* in = reader.Take(size_t{count} * in_bytes);
        for (uint32_t i = 0; i < count; ++i) ExpandPixel(format, in + i * in_bytes, row + 4 * i);
        if (!picture.SetPixels(y * width + x, count, row)) return 0;
      }
    }
  }
  LogMessage("...txmp loaded\n", LOG_MAJOR);
  return 1;
}

int SaveTxmp(BitmapData& picture, FileStream& stream) {
  LogMessage("Saving txmp...\n", LOG_MAJOR);
  if (!picture.BitmapConvertToMode(MODE_ARGB8888, 0)) return 0;
  const uint32_t width = picture.SizeX(), height = picture.SizeY();
  if (width > kMaxSide || height > kMaxSide) {
    LogFormatted(LOG_ERROR, "txmp: %lu x %lu is too large, at most %u a side\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height), kMaxSide);
    return 0;
  }
  // "number-name": the number before the first '-', the name after it.
  const char* file_name = picture.settings.file_name;
  const char* dash = std::strchr(file_name, '-');
  if (!dash) LogMessage("warning: txmp filename should be in form 'idnumber-name\n", LOG_ERROR);
  // The leading decimal digits; none reads as 0.
  unsigned long long number = 0;
  for (const char* p = file_name; *p >= '0' && *p <= '9' && number <= UINT32_MAX; ++p)
    number = number * 10 + static_cast<unsigned>(*p - '0');
  uint32_t stored = 0;
  // The loader and the big texture read the number above the low 8 bits,
  // so it is stored there.
  if (number <= (UINT32_MAX >> kResourceShift))
    stored = static_cast<uint32_t>(number) << kResourceShift;
  else
    LogFormatted(LOG_ERROR, "warning: txmp resource number %llu too big, 0 written\n", number);
  uint8_t header[kTxmpHeaderSize] = {};
  StoreLe32(header, stored);
  if (dash) {
    const size_t length = std::strlen(dash + 1);
    std::memcpy(header + kTxmpNameOffset, dash + 1, length < kMaxSavedName ? length : kMaxSavedName);
  }
  StoreLe16(header + kTxmpWidthOffset, width);
  StoreLe16(header + kTxmpHeightOffset, height);
  StoreLe32(header + kTxmpFormatOffset, kArgb8888);
  bool written = stream.Write(sizeof header, header) == sizeof header;
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; written && first < total; first += kSaveRunPixels) {
    const uint32_t count = total - first < kSaveRunPixels ? total - first : kSaveRunPixels;
    written = picture.GetPixels(first, count, buffer) && stream.Write(size_t{count} * 4, buffer) == size_t{count} * 4;
  }
  if (!written) {
    LogMessage("txmp: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...txmp saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
