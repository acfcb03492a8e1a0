#include "picture/picture_io.h"

#include <climits>

#include "picture/bitmap_data.h"

namespace zepcon::picture_io {

uint64_t FileSize(FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  std::fseek(file, here, SEEK_SET);
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

uint64_t BytesLeft(FILE* file) {
  const long here = std::ftell(file);
  if (here < 0) return 0;
  const uint64_t size = FileSize(file);
  return size > static_cast<uint64_t>(here) ? size - static_cast<uint64_t>(here) : 0;
}

bool SeekTo(FILE* file, uint64_t position, uint64_t file_size) {
  if (position > file_size || position > static_cast<uint64_t>(LONG_MAX)) return false;
  return std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

bool WriteAllPixels(BitmapData& picture, FILE* file) {
  const uint32_t bpp = picture.BytesPerPixel() ? picture.BytesPerPixel() : 1;
  const uint32_t run = BitmapData::kLineBufferSize / bpp;
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += run) {
    const uint32_t count = total - first < run ? total - first : run;
    if (!picture.GetPixels(first, count, buffer) || !WriteExact(file, buffer, size_t{count} * bpp)) return false;
  }
  return true;
}

}  // namespace zepcon::picture_io
