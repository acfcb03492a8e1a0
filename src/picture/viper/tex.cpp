// Viper Racing textures: a 96-byte header, then square mipmaps of RGB555
// pixels from 4 x 4 upwards, each side twice the last; the largest, the
// last one, is the picture.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr uint64_t kHeaderSize = 96;

}  // namespace

int LoadViperTex(BitmapData& picture, FILE* file) {
  LogMessage("Loading viper racing texture...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "viper tex")) return 0;
  const uint64_t size = bytes.size();
  // Walk the chain of mipmaps while the next one still starts inside the file.
  uint64_t side = 4;
  uint64_t position = kHeaderSize;
  if (size > 128) {
    position += 32;
    side *= 2;
    while (position + 2 * side * side < size) {
      position += 2 * side * side;
      side *= 2;
    }
  }
  LogFormatted(LOG_DETAIL, " calculated biggest mip size is %lu.\n", static_cast<unsigned long>(side));
  ByteReader reader(bytes);
  if (!reader.Fits(kHeaderSize) || !reader.Seek(position) || !reader.Fits(side, 2 * side)) {
    LogMessage(" error reading from file, quitting\n", LOG_ERROR);
    return 0;
  }
  const uint32_t width = static_cast<uint32_t>(side);
  if (!picture.InitPicture(width, width, MODE_RGB555)) return 0;
  for (uint32_t row = 0; row < width; ++row) {
    if (!picture.SetPixels(row * width, width, reader.Take(size_t{width} * 2))) {
      LogMessage(" error reading from file, quitting\n", LOG_ERROR);
      return 0;
    }
  }
  LogMessage("...viper racing texture loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
