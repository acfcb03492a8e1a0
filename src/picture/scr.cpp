// ZX Spectrum screens: 6,144 bytes of bitmap (192 lines of 32 bytes, the
// most significant bit leftmost, lines interleaved by thirds), optionally
// 768 attribute bytes (ink, paper, bright a character cell).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr uint32_t kWidth = 256;
constexpr uint32_t kHeight = 192;
constexpr size_t kBitmapBytes = 6144;
constexpr size_t kAttributeBytes = 768;
constexpr size_t kWithAttributes = kBitmapBytes + kAttributeBytes;
constexpr uint32_t kBytesPerLine = 32;
// Screens are small; anything far larger is no screen.
constexpr uint64_t kMaxFileBytes = 1 << 20;

constexpr uint8_t kPalette[16][3] = {
    {0, 0, 0},     {0, 0, 165},   {232, 0, 0},   {232, 0, 184},   {0, 216, 0},   {0, 216, 216},
    {212, 212, 0}, {204, 204, 204}, {0, 0, 0},   {0, 0, 176},     {246, 0, 0},   {255, 0, 224},
    {0, 246, 0},   {0, 255, 255}, {255, 255, 0}, {255, 255, 255},
};

// The screen row of file line n: the screen is stored in thirds of 64 rows,
// each third by pixel line within its character rows.
uint32_t ScreenRow(uint32_t line) { return 64 * (line / 64) + 8 * (line % 8) + (line % 64) / 8; }

}  // namespace

int LoadScr(BitmapData& picture, FILE* file) {
  LogMessage("Loading scr...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "scr", kMaxFileBytes)) return 0;
  const size_t size = bytes.size();
  if (size < kBitmapBytes)
    LogMessage(" something wrong here, file is too small, loading anyhow\n", LOG_ERROR);
  else if (size > kWithAttributes)
    LogMessage(" something wrong here, file is too big, loading anyhow\n", LOG_ERROR);
  else if (size == kWithAttributes)
    LogMessage("picture with attribs\n", LOG_DETAIL);
  else if (size == kBitmapBytes)
    LogMessage("picture without attribs\n", LOG_DETAIL);
  if (!picture.InitPicture(kWidth, kHeight, MODE_PALETTE_8BIT)) return 0;
  LogMessage(" setting palette\n", LOG_DETAIL);
  for (uint32_t i = 0; i < 16; ++i) picture.SetPaletteEntry(i, kPalette[i][0], kPalette[i][1], kPalette[i][2]);
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  // What a short file lacks reads as zeros.
  uint8_t screen[kWithAttributes] = {};
  ByteReader reader(bytes);
  reader.ReadBytes(screen, size < kWithAttributes ? size : kWithAttributes);
  const bool attributes = size >= kWithAttributes;
  LogMessage(" decoding bitmap\n", LOG_DETAIL);
  uint8_t* pixels = picture.LineBuffer();  // 49,152 pixels fit
  for (uint32_t line = 0; line < kHeight; ++line) {
    const uint32_t row = ScreenRow(line);
    for (uint32_t column = 0; column < kBytesPerLine; ++column) {
      const uint8_t bits = screen[line * kBytesPerLine + column];
      uint8_t ink = 15, paper = 0;
      if (attributes) {
        const uint8_t cell = screen[kBitmapBytes + (row / 8) * kBytesPerLine + column];
        const uint8_t bright = (cell & 0x40) ? 8 : 0;
        ink = static_cast<uint8_t>((cell & 7) + bright);
        paper = static_cast<uint8_t>(((cell >> 3) & 7) + bright);
      }
      uint8_t* out = pixels + row * kWidth + column * 8;
      for (int bit = 0; bit < 8; ++bit) out[bit] = (bits & (0x80 >> bit)) ? ink : paper;
    }
  }
  LogMessage(" storing bitmap\n", LOG_DETAIL);
  if (!picture.SetPixels(0, kWidth * kHeight, pixels)) return 0;
  LogMessage("...scr loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
