// Animator cel pictures: a 32-byte header, 256 palette entries of 6-bit
// red, green, blue, then one index byte a pixel, rows top first.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr uint16_t kMagic = 0x9119;
constexpr size_t kHeaderSize = 32;
constexpr size_t kPaletteBytes = 768;
constexpr uint32_t kMaxSide = 65535;

bool WriteAll(FILE* file, const void* data, size_t size) { return std::fwrite(data, 1, size, file) == size; }

}  // namespace

int LoadCel(BitmapData& picture, FILE* file) {
  LogMessage("Loading cel...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "cel")) return 0;
  ByteReader reader(bytes);
  LogMessage(" reading header\n", LOG_DETAIL);
  const uint16_t magic = reader.U16Le();
  const uint32_t width = reader.U16Le();
  const uint32_t height = reader.U16Le();
  if (!reader.Seek(kHeaderSize)) {
    LogMessage("cel: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  // Later cels of the same name are chunk files of another layout.
  if (magic != kMagic) {
    LogFormatted(LOG_ERROR, "cel: not an Animator cel (magic %04X)\n", magic);
    return 0;
  }
  if (width == 0 || height == 0) {
    LogFormatted(LOG_ERROR, "cel: picture has no pixels (%lu x %lu)\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height));
    return 0;
  }
  if (!reader.Fits(kPaletteBytes) || !reader.Fits(kPaletteBytes + uint64_t{width} * height)) {
    LogFormatted(LOG_ERROR, "cel: file too short for palette and %lu x %lu pixels\n",
                 static_cast<unsigned long>(width), static_cast<unsigned long>(height));
    return 0;
  }
  if (!picture.InitPicture(width, height, MODE_PALETTE_8BIT)) return 0;
  LogMessage(" reading palette\n", LOG_DETAIL);
  const uint8_t* palette = reader.Take(kPaletteBytes);
  for (uint32_t i = 0; i < 256; ++i) {
    // 6-bit channels: 63 becomes 252.
    picture.SetPaletteEntry(i, static_cast<uint8_t>(palette[3 * i] << 2), static_cast<uint8_t>(palette[3 * i + 1] << 2),
                            static_cast<uint8_t>(palette[3 * i + 2] << 2), 255);
  }
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  for (uint32_t row = 0; row < height; ++row) {
    const uint8_t* pixels = reader.Take(width);
    if (!pixels || !picture.SetPixels(row * width, width, pixels)) {
      LogFormatted(LOG_ERROR, "cel: could not store row %lu\n", static_cast<unsigned long>(row));
      return 0;
    }
  }
  LogMessage("...cel loaded\n", LOG_MAJOR);
  return 1;
}

int SaveCel(BitmapData& picture, FILE* file) {
  LogMessage("Saving cel...\n", LOG_MAJOR);
  // Only paletted pictures convert to the paletted layout: there is no
  // colour reduction.
  if (!picture.BitmapConvertToMode(MODE_PALETTE_8BIT, 0)) return 0;
  LogMessage(" writing header\n", LOG_DETAIL);
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  if (width > kMaxSide || height > kMaxSide) {
    LogFormatted(LOG_ERROR, "CEL does not support resolution greater than %u\n", kMaxSide);
    return 0;
  }
  uint8_t header[kHeaderSize] = {};
  StoreLe16(header, kMagic);
  StoreLe16(header + 2, width);
  StoreLe16(header + 4, height);
  StoreLe16(header + 10, 8);  // 8 bits a pixel, no compression
  StoreLe32(header + 12, width * height);
  if (!WriteAll(file, header, sizeof header)) {
    LogMessage("cel: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing palette\n", LOG_DETAIL);
  uint8_t palette[kPaletteBytes];
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t red = 0, green = 0, blue = 0;
    picture.GetPaletteEntry(i, red, green, blue);
    palette[3 * i] = red >> 2;
    palette[3 * i + 1] = green >> 2;
    palette[3 * i + 2] = blue >> 2;
  }
  if (!WriteAll(file, palette, sizeof palette)) {
    LogMessage("cel: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing bitmap\n", LOG_DETAIL);
  uint8_t* row = picture.LineBuffer();  // a row is at most 65,535 indices
  for (uint32_t y = 0; y < height; ++y) {
    if (!picture.GetPixels(y * width, width, row) || !WriteAll(file, row, width)) {
      LogMessage("cel: error writing\n", LOG_ERROR);
      return 0;
    }
  }
  LogMessage("...cel saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
