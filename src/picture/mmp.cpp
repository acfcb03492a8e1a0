// Etherlords 2 pictures: a 76-byte header (width, height and a pixel type),
// then the pixels, rows top first: gray and alpha, or red, green, blue,
// alpha.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kHeaderSize = 76;
constexpr uint32_t kTypeGrayAlpha = 0x5650;
constexpr uint32_t kTypeRgba = 0x8888;

}  // namespace

int LoadMmp(BitmapData& picture, FILE* file) {
  LogMessage("Loading mmp...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "mmp")) return 0;
  ByteReader reader(bytes);
  const uint8_t* header = reader.Take(kHeaderSize);
  if (!header) {
    LogMessage("mmp: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  const uint32_t width = LoadLe32(header + 4);
  const uint32_t height = LoadLe32(header + 8);
  const uint32_t type = LoadLe32(header + 16);
  LogFormatted(LOG_DETAIL, "size %lu x %lu ...", static_cast<unsigned long>(width), static_cast<unsigned long>(height));
  uint32_t mode = 0;
  if (type == kTypeGrayAlpha) {
    LogMessage("GA\n", LOG_DETAIL);
    mode = MODE_GRAY_ALPHA_88;
  } else if (type == kTypeRgba) {
    LogMessage("RGBA\n", LOG_DETAIL);
    mode = MODE_RGBA8888;
  } else {
    LogFormatted(LOG_ERROR, "Unknown type %08X !\n", type);
    return 0;
  }
  const uint64_t pixels = uint64_t{width} * height;
  const uint32_t pixel_bytes = mode == MODE_GRAY_ALPHA_88 ? 2 : 4;
  if (pixels == 0) {
    LogMessage("mmp: picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  if (!reader.Fits(pixels, pixel_bytes)) {
    LogFormatted(LOG_ERROR, "mmp: file too short for %lu x %lu pixels\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height));
    return 0;
  }
  if (!picture.InitPicture(width, height, mode)) return 0;
  // Runs of at most 65,535 bytes.
  const uint32_t run = BitmapData::kLineBufferSize / pixel_bytes;
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += run) {
    const uint32_t count = total - first < run ? total - first : run;
    if (!picture.SetPixels(first, count, reader.Take(size_t{count} * pixel_bytes))) return 0;
  }
  LogFormatted(LOG_DETAIL, "(%lu) bytes left\n", static_cast<unsigned long>(reader.Remaining()));
  LogMessage("...mmp loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
