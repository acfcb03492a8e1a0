#include "picture/bitmap_data.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"

namespace zepcon {

namespace {

constexpr uint32_t kPaletteBytes = BitmapData::kPaletteEntries * 4;

const BitmapModeInfo kModeRows[BitmapData::kModeCount] = {
    {0, "undefined", 0},       {-2, "palette 4bit", 0},     {1, "palette 8bit", 0},
    {1, "gray 8bit", 0},       {2, "gray+alpha 88", 1},     {2, "RGB565", 0},
    {2, "RGB555", 0},          {2, "BGR565", 0},            {2, "RGBA5551", 1},
    {2, "bGrA5551", 1},        {2, "bGrA5551_Aflip", 1},    {3, "RGB888", 0},
    {3, "bGr888", 0},          {4, "RGBA8888", 1},          {4, "bGrA8888", 1},
    {4, "ARGB8888", 1},
};

}  // namespace

BitmapData::BitmapData() : settings(DefaultOptions().conversion) {
  std::memcpy(mode_table_, kModeRows, sizeof mode_table_);
  line_buffer_ = static_cast<uint8_t*>(std::malloc(kLineBufferSize));
}

BitmapData::~BitmapData() { std::free(line_buffer_); }

const BitmapModeInfo& BitmapData::ModeInfo(uint32_t mode) const {
  return mode < kModeCount ? mode_table_[mode] : mode_table_[0];
}

uint32_t BitmapData::StorageBytesPerPixel(uint32_t mode) const {
  if (mode >= kModeCount) return 0;
  const int bytes = mode_table_[mode].bytes_per_pixel;
  return bytes < 1 ? 1 : static_cast<uint32_t>(bytes);
}

int BitmapData::InitData() {
  pool_.FreeAll();  // the old picture, and segments created without an allocation
  pixel_count_ = 1;
  size_x_ = 0;
  size_y_ = 0;
  palette_segment_ = pool_.CreateSegment(kPaletteBytes, 0);
  auxiliary_segment_ = pool_.CreateSegment(kAuxiliarySize, 0);
  pixel_segment_ = pool_.CreateSegment(pixel_count_, 0);
  resize_segment_ = pool_.CreateSegment(1, 0);
  mode_ = MODE_UNDEFINED;
  if (!palette_segment_ || !auxiliary_segment_ || !pixel_segment_ || !resize_segment_) return 0;
  if (!line_buffer_) {
    LogMessage("BitmapData: no line buffer\n", LOG_ERROR);
    return 0;
  }
  if (!pool_.Allocate()) return 0;
  // Fresh storage starts defined: a palette of zeros, an empty aux area.
  std::memset(pool_.SegmentData(palette_segment_), 0, pool_.SegmentSize(palette_segment_));
  std::memset(pool_.SegmentData(auxiliary_segment_), 0, pool_.SegmentSize(auxiliary_segment_));
  std::memset(pool_.SegmentData(pixel_segment_), 0, pool_.SegmentSize(pixel_segment_));
  return 1;
}

int BitmapData::DestroyData() {
  pool_.FreeAll();
  pixel_segment_ = palette_segment_ = auxiliary_segment_ = resize_segment_ = 0;
  mode_ = MODE_UNDEFINED;
  pixel_count_ = 1;
  size_x_ = size_y_ = 0;
  return 1;
}

int BitmapData::InitPicture(uint32_t size_x, uint32_t size_y, uint32_t mode) {
  const uint64_t count = uint64_t{size_x} * size_y;
  if (count > kMaxPixelCount) {
    LogFormatted(LOG_ERROR, "InitPicture: %ux%u is too large, at most %llu pixels\n", size_x, size_y,
                 static_cast<unsigned long long>(kMaxPixelCount));
    return 0;
  }
  if (!pool_.IsAllocated()) {
    LogMessage("InitPicture: picture not initialised\n", LOG_ERROR);
    return 0;
  }
  const uint32_t bytes = StorageBytesPerPixel(mode);
  size_x_ = size_x;
  size_y_ = size_y;
  pixel_count_ = static_cast<uint32_t>(count);
  mode_ = mode;
  return pool_.Resize(pixel_segment_, static_cast<uint32_t>(count * (bytes ? bytes : 1)));
}

uint8_t* BitmapData::PixelStorage() { return pool_.SegmentData(pixel_segment_); }
const uint8_t* BitmapData::PixelStorage() const { return pool_.SegmentData(pixel_segment_); }

int BitmapData::SetPixels(uint32_t first, uint32_t count, const void* source) {
  if (mode_ == MODE_UNDEFINED || mode_ >= kModeCount) {
    LogMessage("SetPixels: Unsupported color depth !\n", LOG_ERROR);
    return 0;
  }
  if (uint64_t{first} + count > pixel_count_) return 0;
  const uint32_t bytes = StorageBytesPerPixel(mode_);
  if (uint64_t{first + count} * bytes > pool_.SegmentSize(pixel_segment_)) return 0;
  uint8_t* target = PixelStorage();
  if (!target) return 0;
  target += uint64_t{first} * bytes;
  const uint8_t* from = static_cast<const uint8_t*>(source);
  if (mode_ == MODE_PALETTE_4BIT) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t packed = from[i >> 1];
      target[i] = (i & 1) ? static_cast<uint8_t>(packed >> 4) : static_cast<uint8_t>(packed & 0x0F);
    }
    return 1;
  }
  if (count) std::memmove(target, from, size_t{count} * bytes);
  return 1;
}

int BitmapData::GetPixels(uint32_t first, uint32_t count, void* destination) const {
  if (mode_ == MODE_UNDEFINED || mode_ >= kModeCount) return 0;
  if (uint64_t{first} + count > pixel_count_) return 0;
  const uint32_t bytes = StorageBytesPerPixel(mode_);
  if (uint64_t{first + count} * bytes > pool_.SegmentSize(pixel_segment_)) return 0;
  const uint8_t* source = PixelStorage();
  if (!source) return 0;
  source += uint64_t{first} * bytes;
  uint8_t* to = static_cast<uint8_t*>(destination);
  if (mode_ == MODE_PALETTE_4BIT) {
    for (uint32_t i = 0; i < count; i += 2) {
      const uint8_t low = source[i] & 0x0F;
      const uint8_t high = (i + 1 < count) ? static_cast<uint8_t>((source[i + 1] & 0x0F) << 4) : 0;
      to[i >> 1] = static_cast<uint8_t>(low | high);
    }
    return 1;
  }
  if (count) std::memmove(to, source, size_t{count} * bytes);
  return 1;
}

// In the paletted modes the index must fit the mode; in every mode it must
// name one of the 256 entries (an index beyond them is a failure, never a
// silent success).
int BitmapData::PaletteIndexAllowed(uint32_t index) const {
  if (mode_ == MODE_PALETTE_8BIT && index >= 256) return 0;
  if (mode_ == MODE_PALETTE_4BIT && index >= 16) return 0;
  return index < kPaletteEntries;
}

int BitmapData::SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  if (!PaletteIndexAllowed(index)) return 0;
  const uint8_t entry[4] = {red, green, blue, alpha};
  return pool_.Write(palette_segment_, index * 4, 4, entry);
}

int BitmapData::SetPaletteEntry(uint32_t index, uint8_t red, uint8_t green, uint8_t blue) {
  return SetPaletteEntry(index, red, green, blue, 255);
}

int BitmapData::GetPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue,
                                uint8_t& alpha) const {
  if (!PaletteIndexAllowed(index)) return 0;
  uint8_t entry[4];
  if (!pool_.Read(palette_segment_, index * 4, 4, entry)) return 0;
  red = entry[0];
  green = entry[1];
  blue = entry[2];
  alpha = entry[3];
  return 1;
}

int BitmapData::GetPaletteEntry(uint32_t index, uint8_t& red, uint8_t& green, uint8_t& blue) const {
  uint8_t alpha;
  return GetPaletteEntry(index, red, green, blue, alpha);
}

int BitmapData::WriteAuxiliary(uint32_t offset, uint32_t length, const void* source) {
  if (uint64_t{offset} + length > kAuxiliarySize) return 0;
  return pool_.Write(auxiliary_segment_, offset, length, source);
}

int BitmapData::ReadAuxiliary(uint32_t offset, uint32_t length, void* destination) const {
  if (uint64_t{offset} + length > kAuxiliarySize) return 0;
  return pool_.Read(auxiliary_segment_, offset, length, destination);
}

}  // namespace zepcon
