// BLP1 pictures (read only). Two layouts share one 156-byte header: JPEG
// data (a JPEG header shared by all mipmaps, completed by each mipmap's bytes
// into a stream) or a 256-entry palette followed by one index a pixel.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/jpeg_memory.h"
#include "picture/picture_codecs.h"

namespace zepcon {

namespace {

constexpr size_t kHeaderSize = 156;
constexpr size_t kJpegHeaderLengthOffset = 156;
constexpr size_t kJpegHeaderOffset = 160;
constexpr size_t kPaletteOffset = 156;
constexpr size_t kPaletteBytes = 256 * 4;
constexpr size_t kIndicesOffset = kPaletteOffset + kPaletteBytes;
constexpr uint32_t kCompressionPalette = 1;
// Beyond any BLP a game ships; keeps a hostile file from being read whole.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 28;

struct BlpHeader {
  char magic[4];
  uint32_t compression;
  uint32_t alpha_bits;
  uint32_t width;
  uint32_t height;
  uint32_t picture_type;
  uint32_t picture_subtype;
  uint32_t mipmap_offsets[16];
  uint32_t mipmap_sizes[16];
};

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 | uint32_t{bytes[offset + 2]} << 16 |
         uint32_t{bytes[offset + 3]} << 24;
}

// The whole file from its current position; fails on read errors and on
// files beyond kMaxFileBytes.
int ReadRestOfFile(FILE* file, std::vector<uint8_t>& bytes) {
  const long start = std::ftell(file);
  if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  if (end < start || std::fseek(file, start, SEEK_SET) != 0) return 0;
  const uint64_t size = static_cast<uint64_t>(end - start);
  if (size > kMaxFileBytes) return 0;
  bytes.resize(static_cast<size_t>(size));
  return size == 0 || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

BlpHeader ParseHeader(const std::vector<uint8_t>& bytes) {
  BlpHeader header;
  std::memcpy(header.magic, bytes.data(), 4);
  header.compression = ReadU32(bytes, 4);
  header.alpha_bits = ReadU32(bytes, 8);
  header.width = ReadU32(bytes, 12);
  header.height = ReadU32(bytes, 16);
  header.picture_type = ReadU32(bytes, 20);
  header.picture_subtype = ReadU32(bytes, 24);
  for (size_t i = 0; i < 16; ++i) {
    header.mipmap_offsets[i] = ReadU32(bytes, 28 + 4 * i);
    header.mipmap_sizes[i] = ReadU32(bytes, 92 + 4 * i);
  }
  return header;
}

// True when [offset, offset + length) lies inside the file.
bool RangeInFile(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t length) {
  return offset <= bytes.size() && length <= bytes.size() - offset;
}

// The shared JPEG header's length is read from the file: headers of other
// lengths than the usual 624 bytes occur in real files.
int LoadJpegPath(BitmapData& picture, const std::vector<uint8_t>& bytes, const BlpHeader& header) {
  LogFormatted(LOG_DETAIL, " This pic is compressed(probably) (x:%lu)\n",
               static_cast<unsigned long>(header.compression));
  if (!RangeInFile(bytes, kJpegHeaderLengthOffset, 4)) {
    LogMessage("Jpeg header length missing\n", LOG_ERROR);
    return 0;
  }
  const uint32_t jpeg_header_length = ReadU32(bytes, kJpegHeaderLengthOffset);
  if (!RangeInFile(bytes, kJpegHeaderOffset, jpeg_header_length)) {
    LogFormatted(LOG_ERROR, "Jpeg header of %lu bytes passes the end of the file\n",
                 static_cast<unsigned long>(jpeg_header_length));
    return 0;
  }
  const uint32_t offset = header.mipmap_offsets[0];
  const uint32_t size = header.mipmap_sizes[0];
  if (size == 0 || !RangeInFile(bytes, offset, size)) {
    LogFormatted(LOG_ERROR, "First mipmap (offset %lu, %lu bytes) is not inside the file\n",
                 static_cast<unsigned long>(offset), static_cast<unsigned long>(size));
    return 0;
  }
  std::vector<uint8_t> stream;
  stream.reserve(size_t{jpeg_header_length} + size);
  stream.insert(stream.end(), bytes.begin() + kJpegHeaderOffset,
                bytes.begin() + kJpegHeaderOffset + jpeg_header_length);
  stream.insert(stream.end(), bytes.begin() + offset, bytes.begin() + offset + size);
  LogMessage("Loading as jpg\n", LOG_DETAIL);
  if (!LoadJpegFromMemory(picture, stream.data(), stream.size())) return 0;
  LogMessage("...blp loaded through jpeg\n", LOG_MAJOR);
  return 1;
}

// The palette entries are stored blue, green, red, (alpha).
int ReadPalette(BitmapData& picture, const std::vector<uint8_t>& bytes) {
  LogMessage("reading palette\n", LOG_DETAIL);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t* entry = bytes.data() + kPaletteOffset + 4 * i;
    const int stored = i == 0 ? picture.SetPaletteEntry(0, 255, 0, 255)  // index 0 shows as pink
                              : picture.SetPaletteEntry(i, entry[2], entry[1], entry[0]);
    if (!stored) {
      LogMessage("Could not store palette\n", LOG_ERROR);
      return 0;
    }
  }
  return 1;
}

int LoadPalettePath(BitmapData& picture, const std::vector<uint8_t>& bytes, const BlpHeader& header) {
  LogFormatted(LOG_DETAIL, "size %lu x %lu\n", static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(header.height));
  const uint64_t pixels = uint64_t{header.width} * header.height;
  if (pixels == 0) {
    LogMessage("Picture has no pixels\n", LOG_ERROR);
    return 0;
  }
  if (!RangeInFile(bytes, kIndicesOffset, pixels)) {
    LogFormatted(LOG_ERROR, "File too short for palette and %lu x %lu indices\n",
                 static_cast<unsigned long>(header.width), static_cast<unsigned long>(header.height));
    return 0;
  }
  if (!picture.InitPicture(header.width, header.height, MODE_PALETTE_8BIT)) return 0;
  if (!ReadPalette(picture, bytes)) return 0;
  LogMessage("reading data\n", LOG_DETAIL);
  if (header.width > BitmapData::kLineBufferSize) {
    LogMessage("Sizex > buffer size; cant read !\n", LOG_ERROR);
    return 0;
  }
  for (uint32_t row = 0; row < header.height; ++row) {
    const uint64_t first = uint64_t{row} * header.width;
    if (!picture.SetPixels(static_cast<uint32_t>(first), header.width, bytes.data() + kIndicesOffset + first)) {
      LogFormatted(LOG_ERROR, "Could not store row %lu\n", static_cast<unsigned long>(row));
      return 0;
    }
  }
  LogMessage("...blp loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace

int LoadBlp(BitmapData& picture, FILE* file) {
  LogMessage("Loading blp...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (file == nullptr || !ReadRestOfFile(file, bytes)) {
    LogMessage("Could not read the file\n", LOG_ERROR);
    return 0;
  }
  if (bytes.size() < kHeaderSize) {
    LogMessage("File shorter than the header\n", LOG_ERROR);
    return 0;
  }
  const BlpHeader header = ParseHeader(bytes);
  // Later versions share the extension but not the layout.
  if (std::memcmp(header.magic, "BLP1", 4) != 0) {
    LogMessage("Not a BLP1 picture\n", LOG_ERROR);
    return 0;
  }
  if (header.compression == kCompressionPalette) return LoadPalettePath(picture, bytes, header);
  return LoadJpegPath(picture, bytes, header);
}

}  // namespace zepcon
