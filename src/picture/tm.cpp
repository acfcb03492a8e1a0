// Megaman Legends pictures: a 20-byte header whose field at offset 16 is a
// position p; a 12-byte block at p + 16 whose byte 1 is the bytes a row;
// the rows follow it, two 4-bit gray levels a byte, the left one low.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kHeaderSize = 20;
constexpr size_t kPositionOffset = 16;
constexpr size_t kBlockSkip = 16;
constexpr size_t kBlockSize = 12;

}  // namespace

int LoadTm(BitmapData& picture, FILE* file) {
  LogMessage("Loading tm...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "tm")) return 0;
  ByteReader reader(bytes);
  LogMessage(" reading header\n", LOG_DETAIL);
  if (!reader.Fits(kHeaderSize)) {
    LogMessage("tm: file shorter than its header\n", LOG_ERROR);
    return 0;
  }
  reader.Seek(kPositionOffset);
  const uint64_t position = reader.U32Le();
  if (!reader.Seek(position + kBlockSkip) || !reader.Fits(kBlockSize)) {
    LogMessage("tm: picture block passes the end of the file\n", LOG_ERROR);
    return 0;
  }
  const uint8_t* block = reader.Take(kBlockSize);
  const uint32_t row_bytes = block[1];
  // The rows start behind the block; only rows the file holds whole count.
  const uint32_t height = row_bytes ? static_cast<uint32_t>(reader.Remaining() / row_bytes) : 0;
  LogFormatted(LOG_DETAIL, "  size %lu x %lu\n", static_cast<unsigned long>(row_bytes),
               static_cast<unsigned long>(height));
  if (height == 0) {
    LogMessage("tm: picture has no rows\n", LOG_ERROR);
    return 0;
  }
  const uint32_t width = 2 * row_bytes;
  if (!picture.InitPicture(width, height, MODE_RGB888)) return 0;
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  uint8_t* rgb = picture.LineBuffer();  // at most 510 pixels of 3 bytes
  for (uint32_t row = 0; row < height; ++row) {
    const uint8_t* data = reader.Take(row_bytes);
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t level = (x & 1) ? data[x / 2] >> 4 : data[x / 2] & 15;
      rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = static_cast<uint8_t>(17 * level);
    }
    if (!picture.SetPixels(row * width, width, rgb)) return 0;
  }
  LogMessage("...Megaman TM loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
