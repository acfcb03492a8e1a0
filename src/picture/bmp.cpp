// Windows bitmap. Read: OS/2 1.x core headers (12 bytes, 3-byte palette
// entries), OS/2 2.x headers and Windows information headers up to the
// 124-byte kind; 1-, 4- and 8-bit palettes, run-length 4 and 8, 16 bits
// (5-5-5 or masks), 24 bits, 32 bits (plain or masks); rows bottom up or
// top down. Written: 8-bit paletted, 24-bit or 32-bit with the classic
// 40-byte header, rows bottom up, each padded to a multiple of 4 bytes.
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
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr uint32_t kMaxSide = 21845;
constexpr uint32_t kPaletteBytes = 1024;

enum Compression : uint32_t {
  kUncompressed = 0,
  kRunLength8 = 1,
  kRunLength4 = 2,
  kBitFields = 3,  // OS/2 2.x: Huffman 1D
  kJpeg = 4,       // OS/2 2.x: run-length 24
  kPng = 5,
  kAlphaBitFields = 6,
};

struct BmpHeader {
  uint32_t data_offset = 0;
  uint32_t info_size = 0;
  uint32_t width = 0;  // a negative width reads as a huge one
  int64_t height = 0;  // negative: rows stored top down
  uint32_t planes = 0;
  uint32_t bits = 0;
  uint32_t compression = 0;
  uint32_t colours_used = 0;
  uint32_t masks[4] = {};  // red, green, blue, alpha
  bool core = false;       // OS/2 1.x: 16-bit sizes, 3-byte palette entries
  bool os2 = false;        // OS/2 2.x: compressions 3 and 4 mean other things
};

bool IsWindowsInfoSize(uint32_t size) { return size == 40 || size == 52 || size == 56 || size == 108 || size == 124; }
bool IsKnownInfoSize(uint32_t size) {
  return size == kCoreHeaderBytes || IsWindowsInfoSize(size) || (size >= 16 && size <= 64);
}

// A 32-bit field of the information header at `offset`; 0 when a shorter
// header leaves it out.
uint32_t InfoField(const ByteReader& info, uint32_t offset) {
  ByteReader field = info;
  return field.Seek(offset) && field.Fits(4) ? field.U32Le() : 0;
}

// Reads the file header and the information header of any known size.
// False when the file is too short for what its header size announces.
bool ReadHeader(ByteReader& reader, BmpHeader& header) {
  ByteReader head = reader.Chunk(kFileHeaderBytes);
  head.Skip(10);  // magic, file size, reserved
  header.data_offset = head.U32Le();
  if (head.Clipped() || !head.Ok() || !reader.Fits(4)) return false;
  ByteReader size_field = reader;
  header.info_size = size_field.U32Le();
  // A file shorter than the classic header is too short whatever its size
  // field says; an unknown size is left for the caller to refuse.
  if (!IsKnownInfoSize(header.info_size)) return reader.Fits(kHeaderBytes - kFileHeaderBytes);
  ByteReader info = reader.Chunk(header.info_size);
  if (info.Clipped()) return false;
  info.Skip(4);
  if (header.info_size == kCoreHeaderBytes) {
    header.core = true;
    header.width = static_cast<uint32_t>(int32_t{info.I16Le()});
    header.height = info.I16Le();
    header.planes = info.U16Le();
    header.bits = info.U16Le();
    return info.Ok();
  }
  header.os2 = !IsWindowsInfoSize(header.info_size);
  header.width = info.U32Le();
  header.height = info.I32Le();
  header.planes = info.U16Le();
  header.bits = info.U16Le();
  header.compression = InfoField(info, 16);
  header.colours_used = InfoField(info, 32);
  if (!header.os2 && header.info_size >= 52) {
    for (uint32_t c = 0; c < 3; ++c) header.masks[c] = InfoField(info, 40 + 4 * c);
    if (header.info_size >= 56) header.masks[3] = InfoField(info, 52);
  }
  return info.Ok();
}

uint64_t PaddedRowBytes(uint64_t width, uint32_t bits) { return (width * bits + 31) / 32 * 4; }

// One colour field of a pixel under a mask: where it sits and how wide it is.
struct MaskField {
  uint32_t shift = 0;
  uint32_t bits = 0;
};

// False for a mask whose bits are not one contiguous run.
bool MakeField(uint32_t mask, MaskField& field) {
  field = {};
  if (mask == 0) return true;
  while (!((mask >> field.shift) & 1)) ++field.shift;
  const uint32_t run = mask >> field.shift;
  while (field.bits < 32 && ((run >> field.bits) & 1)) ++field.bits;
  return field.bits == 32 || (run >> field.bits) == 0;
}

// A field widened to 8 bits by repeating its bits (5 bits: 31 becomes 255,
// 1 bit: 1 becomes 255); wider fields keep their top 8 bits.
uint8_t FieldValue(uint32_t pixel, const MaskField& field) {
  if (field.bits == 0) return 0;
  const uint32_t value = field.bits == 32 ? pixel : (pixel >> field.shift) & ((1u << field.bits) - 1);
  if (field.bits >= 8) return static_cast<uint8_t>(value >> (field.bits - 8));
  uint32_t widened = 0;
  for (int filled = 0; filled < 8; filled += static_cast<int>(field.bits))
    widened = (widened << field.bits) | value;
  return static_cast<uint8_t>(widened >> ((8 + field.bits - 1) / field.bits * field.bits - 8));
}

enum class PixelKind { kDirect, kIndexed, kRunLength, kMasked };

// How the pixels are stored and where palette and pixels start.
struct BmpLayout {
  PixelKind kind = PixelKind::kDirect;
  uint32_t mode = MODE_UNDEFINED;
  uint32_t bits = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool top_down = false;
  uint32_t palette_entries = 0;
  uint32_t palette_entry_bytes = 4;
  uint64_t palette_start = 0;
  uint64_t pixels_start = 0;
  MaskField fields[4];  // red, green, blue, alpha
};

enum class Choice { kOk, kCompressed, kUnknown };

Choice ChooseMasks(const BmpHeader& header, ByteReader reader, BmpLayout& layout) {
  uint32_t masks[4] = {header.masks[0], header.masks[1], header.masks[2], header.masks[3]};
  if (header.compression == kUncompressed) {
    // Without masks the pixels are 5-5-5 (16 bits); masks in a long header
    // do not apply then.
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
    masks[3] = 0;
  } else if (header.info_size == 40) {
    // The classic header is followed by the masks.
    const uint32_t count = header.compression == kAlphaBitFields ? 4 : 3;
    if (!reader.Seek(layout.palette_start)) return Choice::kUnknown;
    for (uint32_t c = 0; c < count; ++c) masks[c] = reader.U32Le();
    if (!reader.Ok()) return Choice::kUnknown;
    layout.palette_start += 4 * count;
  }
  for (uint32_t c = 0; c < 4; ++c) {
    if (header.bits == 16 && masks[c] > 0xFFFF) return Choice::kUnknown;
    if (!MakeField(masks[c], layout.fields[c])) return Choice::kUnknown;
  }
  layout.kind = PixelKind::kMasked;
  layout.mode = masks[3] ? MODE_BGRA8888 : MODE_BGR888;
  return Choice::kOk;
}

Choice ChooseLayout(const BmpHeader& header, const ByteReader& reader, BmpLayout& layout) {
  layout.bits = header.bits;
  layout.width = header.width;
  layout.top_down = header.height < 0;
  layout.height = static_cast<uint32_t>(header.height < 0 ? -header.height : header.height);
  layout.palette_start = kFileHeaderBytes + uint64_t{header.info_size};
  layout.palette_entry_bytes = header.core ? 3 : 4;
  layout.pixels_start = header.data_offset;
  const uint32_t compression = header.compression;
  if (compression == kJpeg || compression == kPng || (header.os2 && compression == kBitFields))
    return Choice::kCompressed;
  switch (header.bits) {
    case 1:
    case 4:
    case 8: {
      const bool run_length = (header.bits == 8 && compression == kRunLength8) ||
                              (header.bits == 4 && compression == kRunLength4);
      if (compression != kUncompressed && !run_length) return Choice::kCompressed;
      const uint32_t most = 1u << header.bits;
      layout.palette_entries =
          header.colours_used == 0 || header.colours_used > most ? most : header.colours_used;
      layout.kind = run_length ? PixelKind::kRunLength : PixelKind::kIndexed;
      layout.mode = MODE_PALETTE_8BIT;
      return header.data_offset >= layout.palette_start + uint64_t{layout.palette_entries} * layout.palette_entry_bytes
                 ? Choice::kOk
                 : Choice::kUnknown;
    }
    case 16:
    case 32: {
      if (header.bits == 32 && compression == kUncompressed) {
        layout.mode = MODE_BGRA8888;
      } else if (compression == kUncompressed || compression == kBitFields || compression == kAlphaBitFields) {
        if (header.core) return Choice::kUnknown;
        const Choice masks = ChooseMasks(header, reader, layout);
        if (masks != Choice::kOk) return masks;
      } else {
        return Choice::kCompressed;
      }
      return header.data_offset >= layout.palette_start ? Choice::kOk : Choice::kUnknown;
    }
    case 24:
      if (compression != kUncompressed) return Choice::kCompressed;
      layout.mode = MODE_BGR888;
      return header.data_offset >= layout.palette_start ? Choice::kOk : Choice::kUnknown;
    default:
      return Choice::kUnknown;
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
  // A short palette keeps the ramp behind what was read.
  for (uint32_t i = 0; i < layout.palette_entries && reader.Fits(layout.palette_entry_bytes); ++i) {
    reader.ReadBytes(palette + 4 * i, layout.palette_entry_bytes);
  }
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

// `count` pixels of a row into the picture's layout in `out`.
void DecodePixels(ByteReader& row, const BmpLayout& layout, uint32_t count, uint32_t out_bytes, uint8_t* out) {
  switch (layout.kind) {
    case PixelKind::kDirect:
      row.ReadBytes(out, size_t{count} * out_bytes);
      return;
    case PixelKind::kIndexed: {
      // Packed indexes, the leftmost pixel in the highest bits.
      const uint32_t per_byte = 8 / layout.bits;
      const uint32_t mask = (1u << layout.bits) - 1;
      uint8_t byte = 0;
      for (uint32_t x = 0; x < count; ++x) {
        const uint32_t slot = x % per_byte;
        if (slot == 0) byte = row.U8();
        out[x] = static_cast<uint8_t>((byte >> (8 - layout.bits * (slot + 1))) & mask);
      }
      return;
    }
    case PixelKind::kMasked:
      for (uint32_t x = 0; x < count; ++x) {
        const uint32_t pixel = layout.bits == 16 ? row.U16Le() : row.U32Le();
        uint8_t* p = out + size_t{x} * out_bytes;
        p[0] = FieldValue(pixel, layout.fields[2]);
        p[1] = FieldValue(pixel, layout.fields[1]);
        p[2] = FieldValue(pixel, layout.fields[0]);
        if (out_bytes == 4) p[3] = FieldValue(pixel, layout.fields[3]);
      }
      return;
    case PixelKind::kRunLength:
      return;  // not read by rows
  }
}

// Reads the rows in file order; a row longer than the line buffer is
// decoded in pieces (packed indexes never are: 21,845 of them fit). The
// file size was checked to hold every row's pixels.
int ReadRows(BitmapData& picture, ByteReader& file, const BmpLayout& layout) {
  LogMessage(" reading bitmap\n", LOG_DETAIL);
  const uint32_t width = layout.width;
  const uint32_t height = layout.height;
  const uint32_t out_bytes = picture.BytesPerPixel();
  const uint32_t piece_pixels = layout.kind == PixelKind::kIndexed ? width : BitmapData::kLineBufferSize / out_bytes;
  const uint64_t row_bytes = PaddedRowBytes(width, layout.bits);
  uint8_t* buffer = picture.LineBuffer();
  bool any_alpha = false;
  for (uint32_t r = 0; r < height; ++r) {
    // The last row's padding may be missing: the chunk then ends early.
    ByteReader row = file.Chunk(row_bytes);
    const uint32_t row_start = (layout.top_down ? r : height - r - 1) * width;
    for (uint32_t x = 0; x < width; x += piece_pixels) {
      const uint32_t count = width - x < piece_pixels ? width - x : piece_pixels;
      DecodePixels(row, layout, count, out_bytes, buffer);
      if (!row.Ok()) return Fail("bmp: file is cut short in row %u\n", r);
      if (out_bytes == 4 && !any_alpha) any_alpha = AnyAlpha(buffer, count);
      if (!picture.SetPixels(row_start + x, count, buffer)) return 0;
    }
  }
  if (out_bytes == 4 && !any_alpha) {
    LogMessage(" no alpha in the file: taken as opaque\n", LOG_DETAIL);
    return MakeOpaque(picture);
  }
  return 1;
}

// Run-length pixels land at a position counted in file order (bottom row
// first unless top down), row after row without padding; a run that passes
// the end of a row goes on in the next one.
class RunLengthTarget {
 public:
  RunLengthTarget(BitmapData& picture, const BmpLayout& layout) : picture_(picture), layout_(layout) {}

  uint64_t Total() const { return uint64_t{layout_.width} * layout_.height; }

  // Index 0 wherever the data put nothing.
  int Clear() {
    uint8_t* buffer = picture_.LineBuffer();
    std::memset(buffer, 0, layout_.width);
    for (uint32_t r = 0; r < layout_.height; ++r)
      if (!picture_.SetPixels(r * layout_.width, layout_.width, buffer)) return 0;
    return 1;
  }

  // `count` indexes from `position`, which the caller keeps inside Total().
  int Put(uint64_t position, const uint8_t* indexes, uint32_t count) {
    while (count > 0) {
      const uint32_t file_row = static_cast<uint32_t>(position / layout_.width);
      const uint32_t column = static_cast<uint32_t>(position % layout_.width);
      const uint32_t room = layout_.width - column;
      const uint32_t piece = count < room ? count : room;
      const uint32_t row = layout_.top_down ? file_row : layout_.height - file_row - 1;
      if (!picture_.SetPixels(row * layout_.width + column, piece, indexes)) return 0;
      position += piece;
      indexes += piece;
      count -= piece;
    }
    return 1;
  }

 private:
  BitmapData& picture_;
  const BmpLayout& layout_;
};

// Run-length 8 and 4: pairs of a count and a value, or an escape (0) with
// end of line (0), end of picture (1), a move right and up (2, dx, dy) or a
// run of literal values (3..255, padded to an even number of bytes). Runs
// are cut at the end of the picture; moves past it end the reading. Data
// that stop before the last row without an end-of-picture mark fail.
int ReadRunLength(BitmapData& picture, ByteReader& file, const BmpLayout& layout) {
  LogMessage(" reading run-length bitmap\n", LOG_DETAIL);
  RunLengthTarget target(picture, layout);
  if (!target.Clear()) return 0;
  const bool four_bits = layout.bits == 4;
  const uint64_t total = target.Total();
  uint64_t position = 0;
  uint64_t x = 0, y = 0;
  uint8_t run[256];
  while (y < layout.height && position <= total && file.Fits(2)) {
    const uint32_t count = file.U8();
    const uint32_t value = file.U8();
    if (count > 0) {
      const uint32_t n = static_cast<uint32_t>(count < total - position ? count : total - position);
      for (uint32_t i = 0; i < n; ++i) run[i] = static_cast<uint8_t>(!four_bits ? value : i & 1 ? value & 0x0F : value >> 4);
      if (!target.Put(position, run, n)) return 0;
      position += n;
      x += n;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
      position = y * layout.width;
    } else if (value == 1) {  // end of picture
      return 1;
    } else if (value == 2) {  // move
      if (!file.Fits(2)) break;
      x += file.U8();
      y += file.U8();
      position = y * layout.width + x;
    } else {  // literal values
      const uint32_t n = static_cast<uint32_t>(value < total - position ? value : total - position);
      const uint32_t data_bytes = four_bits ? (n + 1) / 2 : n;
      if (!file.Fits(data_bytes)) break;
      uint8_t pair = 0;
      for (uint32_t i = 0; i < n; ++i) {
        if (!four_bits) {
          run[i] = file.U8();
          continue;
        }
        if (i % 2 == 0) pair = file.U8();  // two values, the first in the high bits
        run[i] = static_cast<uint8_t>(i % 2 ? pair & 0x0F : pair >> 4);
      }
      if (!target.Put(position, run, n)) return 0;
      position += n;
      x += n;
      if (data_bytes % 2) file.Skip(1);  // to an even number of bytes
    }
  }
  if (y < layout.height)
    return Fail("bmp: run-length data end before the last row (row %llu of %u)\n", static_cast<unsigned long long>(y),
                layout.height);
  return 1;
}

}  // namespace

int LoadBmp(BitmapData& picture, FILE* file) {
  LogMessage("Loading bmp...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "bmp")) return 0;
  ByteReader reader(bytes);
  BmpHeader header;
  if (!ReadHeader(reader, header)) return Fail("bmp: file too short for its header\n");
  if (!IsKnownInfoSize(header.info_size)) return Fail("sorry, unknown bitmap representation\n");
  const uint64_t height = static_cast<uint64_t>(header.height < 0 ? -header.height : header.height);
  if (header.width > kMaxSide) return Fail("sizeX too large, max %u\n", kMaxSide);
  if (height > kMaxSide) return Fail("sizeY too large, max %u\n", kMaxSide);
  LogFormatted(LOG_DETAIL, "bmp, %lux%lu %lu bpp %s\n", static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(height), static_cast<unsigned long>(header.bits),
               header.compression == 0 ? "uncompressed" : "compressed");
  if (header.planes != 1) return Fail("bmp: %u planes, a bitmap has 1\n", header.planes);
  BmpLayout layout;
  switch (ChooseLayout(header, ByteReader(bytes), layout)) {
    case Choice::kOk:
      break;
    case Choice::kCompressed:
      return Fail("sorry, compressed bitmaps not supported\n");
    case Choice::kUnknown:
      return Fail("sorry, unknown bitmap representation\n");
  }
  if (header.width == 0 || height == 0)
    return Fail("bmp: empty picture (%ux%llu)\n", header.width, static_cast<unsigned long long>(height));
  if (layout.kind != PixelKind::kRunLength) {
    // Every row's pixels must be in the file before anything is allocated
    // (the last row's padding may be missing).
    const uint64_t row_bytes = PaddedRowBytes(header.width, layout.bits);
    uint64_t rows_before_last = 0, needed = 0;
    if (!CheckedMul(row_bytes, height - 1, rows_before_last) ||
        !CheckedAdd(layout.pixels_start, rows_before_last, needed) ||
        !CheckedAdd(needed, (uint64_t{header.width} * layout.bits + 7) / 8, needed) || needed > bytes.size()) {
      return Fail("bmp: file is cut short: %llu bytes, the pixels need %llu\n",
                  static_cast<unsigned long long>(bytes.size()), static_cast<unsigned long long>(needed));
    }
  }
  if (!picture.InitPicture(header.width, layout.height, layout.mode)) return 0;
  if (layout.mode == MODE_PALETTE_8BIT && !ReadPalette(picture, reader, layout)) return 0;
  if (!reader.Seek(layout.pixels_start)) return Fail("bmp: cannot reach the pixels\n");
  if (layout.kind == PixelKind::kRunLength ? !ReadRunLength(picture, reader, layout) : !ReadRows(picture, reader, layout))
    return 0;
  LogMessage("...bmp loaded\n", LOG_MAJOR);
  return 1;
}

namespace {

int WriteRows(BitmapData& picture, FILE* file, uint32_t bpp) {
  const uint32_t width = picture.SizeX();
  const uint32_t height = picture.SizeY();
  const uint32_t piece_pixels = BitmapData::kLineBufferSize / bpp;
  const uint32_t padding = static_cast<uint32_t>(PaddedRowBytes(width, bpp * 8) - uint64_t{width} * bpp);
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
  const uint64_t row_bytes = PaddedRowBytes(picture.SizeX(), bpp * 8);
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
