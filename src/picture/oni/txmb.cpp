// Oni big textures: a 32-byte header (tiles across at 24, down at 26, the
// tile count at 28), then one resource id per tile, row by row. Each tile
// is an Oni texture in a file of its own, found in the same folder by its
// resource number and loaded through the picture's companion files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/oni/oni.h"
#include "picture/picture_codecs.h"

namespace zepcon {

using namespace oni;

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kAcrossOffset = 24;
constexpr size_t kDownOffset = 26;
constexpr size_t kCountOffset = 28;
constexpr uint32_t kRunPixels = BitmapData::kLineBufferSize / 4;

// The tile's header, read from its file.
bool ReadTileHeader(const std::string& path, TxmpHeader& header) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    LogMessage("Error opening tile file\n", LOG_ERROR);
    return false;
  }
  uint8_t bytes[kTxmpHeaderSize];
  const size_t got = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  ByteReader reader(bytes, got);
  if (!ReadTxmpHeader(reader, header)) {
    LogMessage("tile file shorter than a texture header\n", LOG_ERROR);
    return false;
  }
  return true;
}

// Sets every pixel to transparent black, so that a picture whose tiles
// leave gaps never shows undefined memory.
int ClearPicture(BitmapData& picture) {
  uint8_t* zeros = picture.LineBuffer();
  std::fill(zeros, zeros + kRunPixels * 4, uint8_t{0});
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += kRunPixels)
    if (!picture.SetPixels(first, total - first < kRunPixels ? total - first : kRunPixels, zeros)) return 0;
  return 1;
}

// Copies the working-layout tile into the picture with its top left corner at (x, y).
int CopyTile(BitmapData& picture, BitmapData& tile, uint32_t x, uint32_t y) {
  const uint32_t width = tile.SizeX();
  uint8_t* buffer = picture.LineBuffer();
  for (uint32_t row = 0; row < tile.SizeY(); ++row) {
    for (uint32_t column = 0; column < width; column += kRunPixels) {
      const uint32_t count = width - column < kRunPixels ? width - column : kRunPixels;
      if (!tile.GetPixels(row * width + column, count, buffer) ||
          !picture.SetPixels((y + row) * picture.SizeX() + x + column, count, buffer))
        return 0;
    }
  }
  return 1;
}

}  // namespace

int LoadTxmb(BitmapData& picture, FILE* file) {
  LogMessage("Loading txmb...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "txmb")) return 0;
  ByteReader reader(bytes);
  const uint8_t* header = reader.Take(kHeaderSize);
  if (!header) {
    LogMessage("txmb: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  const uint32_t across = LoadLe16(header + kAcrossOffset);
  const uint32_t down = LoadLe16(header + kDownOffset);
  const uint32_t count = LoadLe32(header + kCountOffset);
  if (uint64_t{across} * down != count) {
    LogMessage("Bad number of tiles", LOG_ERROR);
    return 0;
  }
  if (count == 0) {
    LogMessage("txmb: no tiles\n", LOG_ERROR);
    return 0;
  }
  if (!reader.Fits(count, 4)) {
    LogMessage("txmb: tile list passes the end of the file\n", LOG_ERROR);
    return 0;
  }
  std::vector<uint32_t> numbers(count);
  for (uint32_t& number : numbers) number = reader.U32Le() >> kResourceShift;

  // First pass: the first row's widths and the first column's heights give the size.
  uint64_t total_width = 0, total_height = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string path = FindResource(picture, numbers[i]);
    if (path.empty()) return 0;
    TxmpHeader tile;
    if (!ReadTileHeader(path, tile)) return 0;
    if (i < across) total_width += tile.width;
    if (i % across == 0) total_height += tile.height;
  }
  LogFormatted(LOG_DETAIL, "txmb: %lu x %lu tiles, %llu x %llu\n", static_cast<unsigned long>(across),
               static_cast<unsigned long>(down), static_cast<unsigned long long>(total_width),
               static_cast<unsigned long long>(total_height));
  if (total_width == 0 || total_height == 0 || total_width > UINT32_MAX || total_height > UINT32_MAX) {
    LogMessage("txmb: tiles give no usable picture size\n", LOG_ERROR);
    return 0;
  }
  const uint32_t width = static_cast<uint32_t>(total_width), height = static_cast<uint32_t>(total_height);
  if (!picture.InitPicture(width, height, MODE_RGBA8888) || !ClearPicture(picture)) return 0;

  // Second pass: load each tile with the picture's own options and place it.
  uint32_t x = 0, y = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string path = FindResource(picture, numbers[i]);
    if (path.empty()) return 0;
    if (picture.companions->DetermineType(path.c_str()) != TYPE_TXMP) {
      LogMessage("Tile is not txmp!\n", LOG_ERROR);
      return 0;
    }
    BitmapData tile;
    if (!picture.companions->LoadPicture(path.c_str(), TYPE_TXMP, picture.settings, tile)) return 0;
    tile.settings.alpha_zero_to_pink = picture.settings.alpha_zero_to_pink;
    tile.settings.pink_to_alpha_zero = picture.settings.pink_to_alpha_zero;
    tile.settings.alpha_activated = picture.settings.alpha_activated;
    if (!tile.BitmapConvertToMode(MODE_RGBA8888, 0)) return 0;
    // Tiles whose sizes disagree with the first row and column would be
    // placed outside the picture.
    if (uint64_t{x} + tile.SizeX() > width || uint64_t{y} + tile.SizeY() > height) {
      LogFormatted(LOG_ERROR, "txmb: tile %lu (%lu x %lu) does not fit at %lu, %lu\n", static_cast<unsigned long>(i),
                   static_cast<unsigned long>(tile.SizeX()), static_cast<unsigned long>(tile.SizeY()),
                   static_cast<unsigned long>(x), static_cast<unsigned long>(y));
      return 0;
    }
    if (!CopyTile(picture, tile, x, y)) {
      LogMessage("txmb: could not copy a tile\n", LOG_ERROR);
      return 0;
    }
    x += tile.SizeX();
    if (x >= width) {
      x = 0;
      y += tile.SizeY();
    }
    tile.DestroyData();
  }
  LogMessage("txmb loaded...\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
