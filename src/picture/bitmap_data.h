// The in-memory picture: size, pixel layout (mode), a 256-entry palette and
// the pixels, kept in the picture's own segment pool. Every picture loader
// fills one and every picture saver reads one out; all pixel and palette
// access goes through the copy operations below.
#pragma once

#include <cstdint>

#include "core/companion_files.h"
#include "core/conversion_settings.h"
#include "core/reading_helper.h"
#include "core/segment_pool.h"

namespace zepcon {

// Pixel layouts. For 16-bit layouts the letters run from the least
// significant bit up; for 8-bit channels they are in byte order in memory.
// A lower-case letter marks a channel sitting where the upper-case name
// would not expect it. 16-bit pixels are stored low byte first.
enum BitmapMode : uint32_t {
  MODE_UNDEFINED = 0,        // no pixels
  MODE_PALETTE_4BIT = 1,     // index 0..15, one byte per pixel in memory
  MODE_PALETTE_8BIT = 2,     // index 0..255
  MODE_GRAY_8BIT = 3,        // gray
  MODE_GRAY_ALPHA_88 = 4,    // gray, alpha
  MODE_RGB565 = 5,           // bits 0-4 red, 5-10 green, 11-15 blue
  MODE_RGB555 = 6,           // bits 0-4 red, 5-9 green, 10-14 blue
  MODE_BGR565 = 7,           // bits 0-4 blue, 5-10 green, 11-15 red
  MODE_RGBA5551 = 8,         // as RGB555, bit 15 set = transparent
  MODE_BGRA5551 = 9,         // bits 0-4 blue, 5-9 green, 10-14 red, bit 15 set = transparent
  MODE_BGRA5551_AFLIP = 10,  // as 9, bit 15 set = opaque
  MODE_RGB888 = 11,          // bytes red, green, blue
  MODE_BGR888 = 12,          // bytes blue, green, red
  MODE_RGBA8888 = 13,        // bytes red, green, blue, alpha (the working layout)
  MODE_BGRA8888 = 14,        // bytes blue, green, red, alpha
  MODE_ARGB8888 = 15,        // bytes alpha, red, green, blue
};

struct BitmapModeInfo {
  int8_t bytes_per_pixel;  // -2 for the 4-bit palette: two pixels share a byte when packed
  char name[21];           // shown in log lines
  uint8_t has_alpha;
};

// Flag bit 0 of BitmapConvertToMode: do nothing when the picture already has
// the destination mode.
constexpr uint32_t CONVERT_SKIP_SAME_MODE = 1;

class BitmapData {
 public:
  static constexpr int kModeCount = 16;
  static constexpr uint32_t kLineBufferSize = 65535;   // bytes; one row or run of pixels
  static constexpr uint32_t kAuxiliarySize = 0x3FFFC;  // 262,140 bytes of loader working room
  static constexpr uint32_t kPaletteEntries = 256;
  // Pictures beyond this many pixels are refused by InitPicture, so a
  // header can never drive a huge allocation (the working layout needs 4
  // bytes per pixel).
  static constexpr uint64_t kMaxPixelCount = uint64_t{1} << 27;

  BitmapData();
  ~BitmapData();
  BitmapData(const BitmapData&) = delete;
  BitmapData& operator=(const BitmapData&) = delete;

  // Copied in by the pipeline before every load and save. The constructor
  // starts it at the options' defaults.
  ConversionSettings settings;
  // Companion files (tiles) are reached through this; set by the pipeline
  // with the settings, nullptr when the picture stands alone.
  CompanionFiles* companions = nullptr;
  // The readers every container carries, for codecs of text-based formats.
  ReadingHelper reading;

  // --- lifecycle (1 success, 0 failure) ---
  int InitData();     // empty picture: mode 0, one pixel of storage
  int DestroyData();  // frees everything; always 1
  void TakeSettings(const ConversionSettings& source) { settings = source; }
  // Sets size and mode and sizes the pixel storage (not cleared). Refuses
  // sizes beyond kMaxPixelCount with a logged message.
  int InitPicture(uint32_t size_x, uint32_t size_y, uint32_t mode);

  // --- pixels: runs of `count` pixels from pixel number `first` (row-major,
  // row 0 at the top), laid out in the current mode. Mode 1 runs are packed,
  // two pixels a byte, even pixel of the run in the low nibble.
  int SetPixels(uint32_t first, uint32_t count, const void* source);
  int GetPixels(uint32_t first, uint32_t count, void* destination) const;

  // --- palette: 256 entries of red, green, blue, alpha ---
  int SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
  int SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue);  // alpha 255
  int GetPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue, uint8_t& alpha) const;
  int GetPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue) const;

  // --- auxiliary area (kAuxiliarySize bytes); out-of-range access is refused (0) ---
  int WriteAuxiliary(uint32_t offset, uint32_t length, const void* source);
  int ReadAuxiliary(uint32_t offset, uint32_t length, void* destination) const;

  // --- conversions (bitmap_convert.cpp) ---
  // In place, through the working layout, applying the three alpha options.
  int BitmapConvertToMode(uint32_t destination_mode, uint32_t flags = 0);
  int AlphaToGray();
  int InvertColors();
  int Resize(uint32_t new_size_x, uint32_t new_size_y);  // nearest neighbour, same mode
  int RemoveAlpha();                                     // fix stage; always 1

  // --- queries ---
  uint32_t SizeX() const { return size_x_; }
  uint32_t SizeY() const { return size_y_; }
  uint32_t PixelCount() const { return pixel_count_; }
  uint32_t Mode() const { return mode_; }
  // Bytes one pixel takes in memory in the current mode (at least 1, 0 for
  // modes outside 0..15).
  uint32_t BytesPerPixel() const { return StorageBytesPerPixel(mode_); }
  const BitmapModeInfo& ModeInfo(uint32_t mode) const;  // row 0 for modes outside 0..15
  const char* ModeName(uint32_t mode) const { return ModeInfo(mode).name; }
  bool ModeHasAlpha(uint32_t mode) const { return ModeInfo(mode).has_alpha != 0; }
  uint32_t StorageBytesPerPixel(uint32_t mode) const;

  // The 65,535-byte working buffer for one row or run (loaders, savers and
  // conversions share it; its content does not survive another call).
  uint8_t* LineBuffer() { return line_buffer_; }

 private:
  uint8_t* PixelStorage();
  const uint8_t* PixelStorage() const;
  int PaletteIndexAllowed(uint32_t index) const;

  BitmapModeInfo mode_table_[kModeCount];
  uint32_t pixel_count_ = 1;
  uint16_t pixel_segment_ = 0;
  uint16_t palette_segment_ = 0;
  uint16_t auxiliary_segment_ = 0;
  uint16_t resize_segment_ = 0;
  uint32_t mode_ = MODE_UNDEFINED;
  uint8_t* line_buffer_ = nullptr;
  SegmentPool pool_;
  uint32_t size_x_ = 0;
  uint32_t size_y_ = 0;
};

}  // namespace zepcon
