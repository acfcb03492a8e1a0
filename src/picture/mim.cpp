// Final Fantasy 8 map pictures: 8,192 bytes of palettes, of which the first
// 256 colours (RGB555) are used, then rows of 1,664 index bytes.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kPaletteArea = 8192;
constexpr uint32_t kWidth = 1664;
constexpr uint32_t kColours = 256;

}  // namespace

int LoadMim(BitmapData& picture, FILE* file) {
  LogMessage("Loading mim...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "mim")) return 0;
  ByteReader reader(bytes);
  const uint8_t* colours = reader.Peek(kColours * 2);
  if (!colours || !reader.Seek(kPaletteArea)) {
    LogMessage("mim: file shorter than its palettes\n", LOG_ERROR);
    return 0;
  }
  // The colours expand by the conversion's own rule (5-bit fields × 8).
  BitmapData expansion;
  if (!expansion.InitData() || !expansion.InitPicture(kColours, 1, MODE_RGB555) ||
      !expansion.SetPixels(0, kColours, colours) || !expansion.BitmapConvertToMode(MODE_RGB888, 0)) {
    LogMessage("mim: could not expand the palette\n", LOG_ERROR);
    return 0;
  }
  uint8_t rgb[kColours * 3];
  expansion.GetPixels(0, kColours, rgb);
  // Only whole rows count; a partial last row is left out.
  const uint32_t height = static_cast<uint32_t>(reader.Remaining() / kWidth);
  LogFormatted(LOG_DETAIL, " predicted size: %lu x %lu\n", static_cast<unsigned long>(kWidth),
               static_cast<unsigned long>(height));
  if (height == 0) {
    LogMessage("mim: no rows behind the palettes\n", LOG_ERROR);
    return 0;
  }
  if (!picture.InitPicture(kWidth, height, MODE_PALETTE_8BIT)) return 0;
  for (uint32_t i = 0; i < kColours; ++i) picture.SetPaletteEntry(i, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255);
  for (uint32_t row = 0; row < height; ++row) {
    if (!picture.SetPixels(row * kWidth, kWidth, reader.Take(kWidth))) return 0;
  }
  LogMessage("...tim loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
