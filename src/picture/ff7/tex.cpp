// Final Fantasy 7 textures: a 236-byte header of 32-bit fields, then for 4
// and 8 bits a palette of blue, green, red, alpha entries and one index byte
// a pixel, for 16 bits two bytes a pixel in the RGB555 layout.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kHeaderSize = 236;
constexpr size_t kOffsetVersion = 0;
constexpr size_t kOffsetPaletteCount = 48;
constexpr size_t kOffsetColoursPerPalette = 52;
constexpr size_t kOffsetBitDepth = 56;
constexpr size_t kOffsetWidth = 60;
constexpr size_t kOffsetHeight = 64;
constexpr size_t kOffsetHasPalette = 76;
constexpr size_t kOffsetBitsPerIndex = 80;
constexpr size_t kOffsetPaletteEntries = 88;
constexpr size_t kOffsetColoursPerPalette2 = 92;
constexpr size_t kOffsetBitsPerPixel = 100;
constexpr size_t kOffsetBytesPerPixel = 104;
constexpr uint32_t kMaxSide = 65535;
constexpr uint32_t kMaxEntries = 256;

}  // namespace

int LoadFf7Tex(BitmapData& picture, FILE* file) {
  LogMessage("Loading tex...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "tex")) return 0;
  const uint64_t size = bytes.size();
  ByteReader reader(bytes);
  LogMessage(" reading header\n", LOG_DETAIL);
  const uint8_t* header = reader.Take(kHeaderSize);
  if (!header) {
    LogMessage("tex: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  const uint32_t bits = LoadLe32(header + kOffsetBitDepth);
  const uint32_t width = LoadLe32(header + kOffsetWidth);
  const uint32_t height = LoadLe32(header + kOffsetHeight);
  const uint32_t entries = LoadLe32(header + kOffsetPaletteEntries);
  LogFormatted(LOG_DETAIL, " %lu x %lu, %lu bpp, %lu pal entries\n", static_cast<unsigned long>(width),
               static_cast<unsigned long>(height), static_cast<unsigned long>(bits),
               static_cast<unsigned long>(entries));
  if (width > kMaxSide) {
    LogFormatted(LOG_ERROR, "sizeX too large, max %u\n", kMaxSide);
    return 0;
  }
  if (height > kMaxSide) {
    LogFormatted(LOG_ERROR, "sizeY too large, max %u\n", kMaxSide);
    return 0;
  }
  if (entries > kMaxEntries) LogMessage("too many palette enteries, max 256\n", LOG_ERROR);
  if (bits != 4 && bits != 8 && bits != 16) {
    LogMessage("unsupported colour depth !\n", LOG_ERROR);
    return 0;
  }
  if (width == 0 || height == 0) {
    LogMessage("tex: picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  const uint64_t pixels = uint64_t{width} * height;
  // Some writers put 4 more bytes behind the header; the file size tells.
  if (size == 240 + pixels + 4 * uint64_t{entries} || size == 240 + 2 * pixels) reader.Skip(4);
  if (bits == 16) {
    if (!reader.Fits(pixels, 2)) {
      LogMessage("tex: file too short for its pixels\n", LOG_ERROR);
      return 0;
    }
    if (!picture.InitPicture(width, height, MODE_RGB555)) return 0;
    LogMessage(" reading bitmap\n", LOG_DETAIL);
    for (uint32_t row = 0; row < height; ++row) {
      if (!picture.SetPixels(row * width, width, reader.Take(size_t{width} * 2))) return 0;
    }
  } else {
    if (!reader.Fits(entries, 4) || !reader.Fits(4 * uint64_t{entries} + pixels)) {
      LogMessage("tex: file too short for its palette and pixels\n", LOG_ERROR);
      return 0;
    }
    if (!picture.InitPicture(width, height, MODE_PALETTE_8BIT)) return 0;
    LogMessage(" reading palette\n", LOG_DETAIL);
    const uint8_t* palette = reader.Take(size_t{entries} * 4);
    for (uint32_t i = 0; i < entries && i < kMaxEntries; ++i) {
      const uint8_t* entry = palette + 4 * i;
      picture.SetPaletteEntry(i, entry[2], entry[1], entry[0], entry[3]);
    }
    LogMessage(" reading bitmap\n", LOG_DETAIL);
    for (uint32_t row = 0; row < height; ++row) {
      if (!picture.SetPixels(row * width, width, reader.Take(width))) return 0;
    }
  }
  LogMessage("...tex loaded\n", LOG_MAJOR);
  return 1;
}

int SaveFf7Tex(BitmapData& picture, FILE* file) {
  LogMessage("Saving tex...\n", LOG_MAJOR);
  if (!picture.BitmapConvertToMode(MODE_PALETTE_8BIT, 0)) return 0;
  LogMessage(" writing header\n", LOG_DETAIL);
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  // A new texture describes itself fully: one palette of 256 colours, one
  // index byte a pixel. Fields of no meaning here stay 0.
  uint8_t header[kHeaderSize] = {};
  StoreLe32(header + kOffsetVersion, 1);
  StoreLe32(header + kOffsetPaletteCount, 1);
  StoreLe32(header + kOffsetColoursPerPalette, kMaxEntries);
  StoreLe32(header + kOffsetBitDepth, 8);
  StoreLe32(header + kOffsetWidth, width);
  StoreLe32(header + kOffsetHeight, height);
  StoreLe32(header + kOffsetHasPalette, 1);
  StoreLe32(header + kOffsetBitsPerIndex, 8);
  StoreLe32(header + kOffsetPaletteEntries, kMaxEntries);
  StoreLe32(header + kOffsetColoursPerPalette2, kMaxEntries);
  StoreLe32(header + kOffsetBitsPerPixel, 8);
  StoreLe32(header + kOffsetBytesPerPixel, 1);
  bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  LogMessage(" writing palette\n", LOG_DETAIL);
  uint8_t palette[kMaxEntries * 4];
  for (uint32_t i = 0; i < kMaxEntries; ++i) {
    uint8_t red = 0, green = 0, blue = 0;
    picture.GetPaletteEntry(i, red, green, blue);
    palette[4 * i] = blue;
    palette[4 * i + 1] = green;
    palette[4 * i + 2] = red;
    palette[4 * i + 3] = 255;
  }
  written = written && std::fwrite(palette, 1, sizeof palette, file) == sizeof palette;
  LogMessage(" writing bitmap\n", LOG_DETAIL);
  uint8_t* row = picture.LineBuffer();
  for (uint32_t y = 0; written && y < height; ++y) {
    // A row of more than 65,535 indices goes out in pieces.
    for (uint32_t x = 0; written && x < width; x += BitmapData::kLineBufferSize) {
      const uint32_t count = width - x < BitmapData::kLineBufferSize ? width - x : BitmapData::kLineBufferSize;
      written = picture.GetPixels(y * width + x, count, row) && std::fwrite(row, 1, count, file) == count;
    }
  }
  if (!written) {
    LogMessage("tex: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...tex saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
