// Windows bitmap: uncompressed 8-bit paletted, 24-bit and 32-bit pictures,
// rows bottom up, each padded to a multiple of 4 bytes.
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/fail.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture/picture_io.h"

namespace zepcon {

using namespace picture_io;

namespace {

constexpr uint32_t kHeaderBytes = 54;  // file header (14) + information header (40)
constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kMaxSide = 21845;
constexpr uint32_t kPaletteBytes = 1024;

struct BmpHeader {
  uint32_t data_offset;
  uint32_t info_size;
  uint32_t width;
  uint32_t height;
  uint32_t bits;
  uint32_t compression;
  uint32_t colours_used;
};

// The 14-byte file header and the 40 bytes of the information header that
// every supported kind has; false when the file is shorter.
bool ReadHeader(ByteReader& reader, BmpHeader& header) {
  ByteReader head = reader.Chunk(kHeaderBytes);
  head.Skip(10);  // magic, file size, reserved
  header.data_offset = head.U32Le();
  header.info_size = head.U32Le();
  header.width = head.U32Le();
  header.height = head.U32Le();
  head.Skip(2);  // planes
  header.bits = head.U16Le();
  header.compression = head.U32Le();
  head.Skip(12);  // image size, resolution
  header.colours_used = head.U32Le();
  return !head.Clipped() && head.Ok();
}

uint64_t PaddedRowBytes(uint64_t width, uint32_t bytes_per_pixel) { return (width * bytes_per_pixel + 3) & ~uint64_t{3}; }

// Where the palette and the pixels start. Files with the classic 40-byte
// information header and a full palette have the pixels at 1,078 (8 bits)
// or 54; longer information headers and shorter palettes (colours used)
// move them, and the data offset then says where the pixels are.
struct BmpLayout {
  uint32_t mode;
  uint32_t bytes_per_pixel;
  uint32_t palette_entries;
  uint64_t palette_start;
  uint64_t pixels_start;
};

bool ChooseLayout(const BmpHeader& header, BmpLayout& layout) {
  if (header.info_size < 40) return false;  // OS/2 core headers hold 16-bit fields
  const uint64_t palette_start = kFileHeaderBytes + uint64_t{header.info_size};
  layout.palette_start = palette_start;
  layout.pixels_start = header.data_offset;
  layout.palette_entries = 0;
  switch (header.bits) {
    case 8: {
      const uint32_t entries = header.colours_used == 0 ? 256 : header.colours_used;
      if (entries > 256) return false;
      layout.mode = MODE_PALETTE_8BIT;
      layout.bytes_per_pixel = 1;
      layout.palette_entries = entries;
      return header.data_offset >= palette_start + entries * 4;
    }
    case 24:
      layout.mode = MODE_BGR888;
      layout.bytes_per_pixel = 3;
      return header.data_offset >= palette_start;
    case 32:
      layout.mode = MODE_BGRA8888;
      layout.bytes_per_pixel = 4;
      return header.data_offset >= palette_start;
    default:
      return false;
  }
}

int ReadPalette(BitmapData& picture, const ByteReader& file, const BmpLayout& layout) {
  LogMessage(" reading palette\n", LOG_DETAIL);
  // Entries the file does not hold keep a gray ramp.
  uint8_t palette[kPaletteBytes];
  for (uint32_t i = 0; i < 256; ++i) {
    palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<uint8_t>(i);
  }
  ByteReader reader = file;
  if (!reader.Seek(layout.palette_start)) return Fail("bmp: cannot reach the palette\n");
  const size_t wanted = size_t{layout.palette_entries} * 4;
  // A short palette keeps the ramp behind what was read.
  reader.ReadBytes(palette, wanted < reader.Remaining() ? wanted : reader.Remaining());
  for (uint32_t i = 0; i < 256; ++i) {
    if (!picture.SetPaletteEntry(i, palette[4 * i + 2], palette[4 * i + 1], palette[4 * i], 255)) return 0;
  }
  return 1;
}

// True when any 4th byte of the BGRA pixels is not zero.
bool AnyAlpha(const uint8_t* pixels, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (pixels[4 * i + 3]) return true;
  return false;
}

// Most 32-bit bitmaps leave the fourth byte zero and mean no transparency:
// a picture whose alpha is zero everywhere is taken as opaque, not as
// invisible.
int MakeOpaque(BitmapData& picture) {
  uint8_t* buffer = picture.LineBuffer();
  const uint32_t piece = BitmapData::kLineBufferSize / 4;
  const uint32_t total = picture.SizeX() * picture.SizeY();
  for (uint32_t first = 0; first < total; first += piece) {
    const uint32_t count = total - first < piece ? total - first : piece;
    if (!picture.GetPixels(first, count, buffer)) return 0;
    for (uint32_t i = 0; i < count; ++i) buffer[4 * i + 3] = 255;
    if (!picture.SetPixels(first, count, buffer)) return 0;
  }
  return 1;
}

// Reads the rows bottom up; a row longer than the line buffer is read in
// pieces. The file size was checked to hold every row's pixels.
int ReadRows(BitmapData& picture, ByteReader& file, const BmpLayout& layout) {
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  const uint32_t bpp = layout.bytes_per_pixel;
  const uint32_t piece_pixels = BitmapData::kLineBufferSize / bpp;
  const uint32_t padding = static_cast<uint32_t>(PaddedRowBytes(width, bpp) - uint64_t{width} * bpp);
  uint8_t* buffer = picture.LineBuffer();
  bool any_alpha = false;
  for (uint32_t r = 0; r < height; ++r) {
    const uint32_t row_start = (height - r - 1) * width;
    for (uint32_t x = 0; x < width; x += piece_pixels) {
      const uint32_t count = width - x < piece_pixels ? width - x : piece_pixels;
      if (!file.ReadBytes(buffer, size_t{count} * bpp)) return Fail("bmp: file is cut short in row %u\n", r);
      if (bpp == 4 && !any_alpha) any_alpha = AnyAlpha(buffer, count);
      if (!picture.SetPixels(row_start + x, count, buffer)) return 0;
    }
    // The last row's padding may be missing; nothing of it is kept.
    if (padding && r + 1 < height && !file.Skip(padding)) return Fail("bmp: file is cut short in row %u\n", r);
  }
  if (bpp == 4 && !any_alpha) {
    LogMessage(" no alpha in the file: taken as opaque\n", LOG_DETAIL);
    return MakeOpaque(picture);
  }
  return 1;
}

}  // namespace

int LoadBmp(BitmapData& picture, FILE* file) {
  LogMessage("Loading bmp...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "bmp")) return 0;
  ByteReader reader(bytes);
  BmpHeader header{};
  if (!ReadHeader(reader, header)) return Fail("bmp: file too short for its header\n");
  // OS/2 core headers keep 16-bit sizes where the fields above are read.
  if (header.info_size < 40) return Fail("sorry, unknown bitmap representation\n");
  if (header.width > kMaxSide) return Fail("sizeX too large, max %u\n", kMaxSide);
  if (header.height > kMaxSide) return Fail("sizeY too large, max %u\n", kMaxSide);
  LogFormatted(LOG_DETAIL, "bmp, %lux%lu %lu bpp %s\n", static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(header.height), static_cast<unsigned long>(header.bits),
               header.compression == 0 ? "uncompressed" : "compressed");
  if (header.compression != 0) return Fail("sorry, compressed bitmaps not supported\n");
  BmpLayout layout{};
  if (!ChooseLayout(header, layout)) return Fail("sorry, unknown bitmap representation\n");
  if (header.width == 0 || header.height == 0)
    return Fail("bmp: empty picture (%ux%u)\n", header.width, header.height);
  // Every row's pixels must be in the file before anything is allocated
  // (the last row's padding may be missing).
  const uint64_t row_bytes = PaddedRowBytes(header.width, layout.bytes_per_pixel);
  const uint64_t needed =
      layout.pixels_start + row_bytes * (header.height - 1) + uint64_t{header.width} * layout.bytes_per_pixel;
  if (needed > bytes.size()) {
    return Fail("bmp: file is cut short: %llu bytes, the pixels need %llu\n",
                static_cast<unsigned long long>(bytes.size()), static_cast<unsigned long long>(needed));
  }
  if (!picture.InitPicture(header.width, header.height, layout.mode)) return 0;
  if (layout.mode == MODE_PALETTE_8BIT && !ReadPalette(picture, reader, layout)) return 0;
  if (!reader.Seek(layout.pixels_start)) return Fail("bmp: cannot reach the pixels\n");
  if (!ReadRows(picture, reader, layout)) return 0;
  LogMessage("...bmp loaded\n", LOG_MAJOR);
  return 1;
}

namespace {

int WriteRows(BitmapData& picture, FILE* file, uint32_t bpp) {
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  const uint32_t piece_pixels = BitmapData::kLineBufferSize / bpp;
  const uint32_t padding = static_cast<uint32_t>(PaddedRowBytes(width, bpp) - uint64_t{width} * bpp);
  const uint8_t zeros[4] = {0, 0, 0, 0};
  uint8_t* buffer = picture.LineBuffer();
  for (uint32_t r = 0; r < height; ++r) {
    const uint32_t row_start = (height - r - 1) * width;
    for (uint32_t x = 0; x < width; x += piece_pixels) {
      const uint32_t count = width - x < piece_pixels ? width - x : piece_pixels;
      if (!picture.GetPixels(row_start + x, count, buffer)) {
        LogMessage("bmp: can't read pixels\n", LOG_ERROR);
        return 0;
      }
      if (!WriteExact(file, buffer, size_t{count} * bpp)) {
        LogMessage("bmp: error writing\n", LOG_ERROR);
        return 0;
      }
    }
    if (!WriteExact(file, zeros, padding)) {
      LogMessage("bmp: error writing\n", LOG_ERROR);
      return 0;
    }
  }
  return 1;
}

}  // namespace

int SaveBmp(BitmapData& picture, FILE* file) {
  LogMessage("Saving bmp...\n", LOG_MAJOR);
  const uint32_t mode = picture.Mode();
  if (mode != MODE_PALETTE_8BIT && mode != MODE_BGR888 && mode != MODE_BGRA8888) {
    const uint32_t target = mode == MODE_RGB888 ? MODE_BGR888 : MODE_BGRA8888;
    if (!picture.BitmapConvertToMode(target, 0)) return 0;
  }
  const uint32_t bpp = picture.BytesPerPixel();
  const uint64_t row_bytes = PaddedRowBytes(picture.SizeX(), bpp);
  const uint64_t image_bytes = row_bytes * picture.SizeY();
  const uint32_t data_offset = picture.Mode() == MODE_PALETTE_8BIT ? kHeaderBytes + kPaletteBytes : kHeaderBytes;
  if (image_bytes + data_offset > UINT32_MAX) {
    LogMessage("bmp: picture too large for a bitmap file\n", LOG_ERROR);
    return 0;
  }
  uint8_t header[kHeaderBytes] = {};
  header[0] = 'B';
  header[1] = 'M';
  StoreLe32(header + 2, static_cast<uint32_t>(data_offset + image_bytes));
  StoreLe32(header + 10, data_offset);
  StoreLe32(header + 14, 40);
  StoreLe32(header + 18, picture.SizeX());
  StoreLe32(header + 22, picture.SizeY());
  StoreLe16(header + 26, 1);
  StoreLe16(header + 28, bpp * 8);
  StoreLe32(header + 34, static_cast<uint32_t>(image_bytes));
  LogFormatted(LOG_DETAIL, " %lu x %lu ..", static_cast<unsigned long>(picture.SizeX()),
               static_cast<unsigned long>(picture.SizeY()));
  LogMessage(bpp == 1 ? " (8bit paletted)\n" : bpp == 3 ? " (RGB)\n" : " (RGBA)\n", LOG_DETAIL);
  LogMessage(" writing header\n", LOG_DETAIL);
  if (!WriteExact(file, header, sizeof header)) {
    LogMessage("bmp: error writing\n", LOG_ERROR);
    return 0;
  }
  if (picture.Mode() == MODE_PALETTE_8BIT) {
    LogMessage(" writing palette\n", LOG_DETAIL);
    uint8_t palette[kPaletteBytes] = {};
    for (uint32_t i = 0; i < 256; ++i) {
      uint8_t red = 0, green = 0, blue = 0;
      picture.GetPaletteEntry(i, red, green, blue);
      palette[4 * i] = blue;
      palette[4 * i + 1] = green;
      palette[4 * i + 2] = red;
    }
    if (!WriteExact(file, palette, sizeof palette)) {
      LogMessage("bmp: error writing\n", LOG_ERROR);
      return 0;
    }
  }
  LogMessage(" writing bitmap\n", LOG_DETAIL);
  if (!WriteRows(picture, file, bpp)) return 0;
  LogMessage("...bmp saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
