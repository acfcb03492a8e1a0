// TIM pictures: an 8-byte header (id 0x10, flags), an optional colour table
// block, then the image block. Each block starts with its length, its
// place in video memory and its width and height in 16-bit units. Pixels
// are 4- or 8-bit indices into the colour table, or direct 16-bit (red in
// the low bits) or 24-bit (red, green, blue) colours.
//
// The length fields are not used to find the image: real files carry wrong
// ones, so the blocks are measured by their width and height.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr uint32_t kTimId = 0x10;
constexpr uint32_t kFlagColourTable = 0x8;
constexpr uint32_t kFlagPixelMode = 0x7;
enum PixelMode : uint32_t { kIndex4 = 0, kIndex8 = 1, kDirect16 = 2, kDirect24 = 3 };

struct Block {
  uint32_t width_units = 0;  // 16-bit units
  uint32_t height = 0;
};

// Reads a block's 12-byte head; the reader is left at its data.
bool ReadBlockHead(ByteReader& reader, Block& block) {
  reader.Skip(8);  // length and place in video memory
  block.width_units = reader.U16Le();
  block.height = reader.U16Le();
  return reader.Ok();
}

uint8_t Widen5(uint32_t value) { return static_cast<uint8_t>((value & 31) << 3); }

}  // namespace

int LoadTim(BitmapData& picture, FILE* file) {
  LogMessage("Loading tim...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "tim")) return 0;
  ByteReader reader(bytes);
  LogMessage(" reading header\n", LOG_DETAIL);
  const uint32_t id = reader.U32Le();
  const uint32_t flags = reader.U32Le();
  if (!reader.Ok()) {
    LogMessage("tim: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  if (id != kTimId) {
    LogFormatted(LOG_ERROR, "tim: not a tim picture (id %08lX)\n", static_cast<unsigned long>(id));
    return 0;
  }
  const uint32_t pixel_mode = flags & kFlagPixelMode;
  if (pixel_mode > kDirect24) {
    LogFormatted(LOG_ERROR, "tim: unsupported pixel mode %lu\n", static_cast<unsigned long>(pixel_mode));
    return 0;
  }
  const bool indexed = pixel_mode == kIndex4 || pixel_mode == kIndex8;
  Block table;
  const uint8_t* colours = nullptr;
  if (flags & kFlagColourTable) {
    if (!ReadBlockHead(reader, table) || !reader.Fits(uint64_t{table.width_units} * table.height, 2)) {
      LogMessage("tim: colour table passes the end of the file\n", LOG_ERROR);
      return 0;
    }
    colours = reader.Take(size_t{table.width_units} * table.height * 2);
  } else if (indexed) {
    LogMessage("tim: indexed picture without colour table\n", LOG_ERROR);
    return 0;
  }
  Block image;
  if (!ReadBlockHead(reader, image)) {
    LogMessage("tim: image block missing\n", LOG_ERROR);
    return 0;
  }
  const uint32_t row_bytes = image.width_units * 2;
  static constexpr uint32_t kPixelsPerUnit2[] = {4, 2, 1};  // pixels a 16-bit unit, modes 0..2
  const uint32_t width = pixel_mode == kDirect24 ? row_bytes / 3 : image.width_units * kPixelsPerUnit2[pixel_mode];
  const uint32_t height = image.height;
  if (width == 0 || height == 0) {
    LogMessage("tim: picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  if (!reader.Fits(height, row_bytes)) {
    LogFormatted(LOG_ERROR, "tim: file too short for %lu x %lu pixels\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height));
    return 0;
  }
  static constexpr const char* kDepthNames[] = {"4bpp", "8bpp", "16bpp", "24bpp"};
  LogFormatted(LOG_DETAIL, " %lu x %lu %s\n", static_cast<unsigned long>(width), static_cast<unsigned long>(height),
               kDepthNames[pixel_mode]);
  static constexpr uint32_t kModes[] = {MODE_PALETTE_8BIT, MODE_PALETTE_8BIT, MODE_RGB555, MODE_RGB888};
  if (!picture.InitPicture(width, height, kModes[pixel_mode])) return 0;
  if (indexed) {
    // Colour 0 stands for transparency: it shows pink. Entries the table
    // does not hold stay black.
    const uint32_t available = table.width_units * table.height;
    picture.SetPaletteEntry(0, 255, 0, 255, 255);
    for (uint32_t i = 1; i < 256; ++i) {
      const uint32_t colour = i < available ? LoadLe16(colours + 2 * i) : 0;
      picture.SetPaletteEntry(i, Widen5(colour), Widen5(colour >> 5), Widen5(colour >> 10), 255);
    }
  }
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  uint8_t* expanded = picture.LineBuffer();
  for (uint32_t row = 0; row < height; ++row) {
    const uint8_t* data = reader.Take(row_bytes);
    const void* pixels = data;
    if (pixel_mode == kIndex4) {
      // Two pixels a byte, the left one in the low four bits; a row of
      // 4-bit pixels expands in pieces that fit the line buffer.
      for (uint32_t x = 0; x < width; x += BitmapData::kLineBufferSize - 1) {
        const uint32_t count = width - x < BitmapData::kLineBufferSize - 1 ? width - x : BitmapData::kLineBufferSize - 1;
        for (uint32_t i = 0; i < count; ++i) {
          const uint32_t column = x + i;
          expanded[i] = (column & 1) ? data[column / 2] >> 4 : data[column / 2] & 15;
        }
        if (!picture.SetPixels(row * width + x, count, expanded)) return 0;
      }
      continue;
    }
    if (!picture.SetPixels(row * width, width, pixels)) return 0;
  }
  LogMessage("...tim loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
