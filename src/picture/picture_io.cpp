#include "picture/picture_io.h"

#include "picture/bitmap_data.h"

namespace zepcon::picture_io {

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
