// Mafia textures: a 22-byte header (width at offset 6, height at 10), then
// two bytes a pixel. The extension names the layout: "565" files hold
// RGB565, all others 5551 with blue low and the top bit set for opaque.
#include <strings.h>

#include <cstdint>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_stream.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kHeaderSize = 22;
constexpr uint32_t kRunPixels = 32767;

}  // namespace

int Load555(BitmapData& picture, FileStream& stream) {
  LogMessage("Loading mafia tex...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(stream.Handle(), bytes, "mafia tex")) return 0;
  ByteReader reader(bytes);
  LogMessage(" reading header\n", LOG_DETAIL);
  const uint8_t* header = reader.Take(kHeaderSize);
  if (!header) {
    LogMessage("mafia tex: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  const uint32_t width = LoadLe16(header + 6);
  const uint32_t height = LoadLe16(header + 10);
  const uint32_t mode = strcasecmp(picture.settings.file_extension, "565") == 0 ? MODE_RGB565 : MODE_BGRA5551_AFLIP;
  if (width == 0 || height == 0) {
    LogMessage("mafia tex: picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  // A short file would leave pixels undefined: it is refused before anything is allocated.
  if (!reader.Fits(uint64_t{width} * height, 2)) {
    LogMessage("  error reading !\n", LOG_ERROR);
    LogFormatted(LOG_ERROR, "mafia tex: file too short for %lu x %lu pixels\n", static_cast<unsigned long>(width),
                 static_cast<unsigned long>(height));
    return 0;
  }
  if (!picture.InitPicture(width, height, mode)) return 0;
  LogMessage(" reading data\n", LOG_DETAIL);
  const uint32_t total = picture.PixelCount();
  for (uint32_t first = 0; first < total; first += kRunPixels) {
    const uint32_t count = total - first < kRunPixels ? total - first : kRunPixels;
    if (!picture.SetPixels(first, count, reader.Take(size_t{count} * 2))) return 0;
  }
  LogMessage("...mafia tex loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
