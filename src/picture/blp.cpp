// BLP1 pictures (read only). Two layouts share one 156-byte header: JPEG
// data (a JPEG header shared by all mipmaps, completed by each mipmap's bytes
// into a stream) or a 256-entry palette followed by one index a pixel.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/fail.h"
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

// False when the block is shorter than the header.
bool ReadHeader(ByteReader reader, BlpHeader& header) {
  if (!reader.Fits(kHeaderSize)) return false;
  reader.ReadBytes(header.magic, 4);
  header.compression = reader.U32Le();
  header.alpha_bits = reader.U32Le();
  header.width = reader.U32Le();
  header.height = reader.U32Le();
  header.picture_type = reader.U32Le();
  header.picture_subtype = reader.U32Le();
  for (uint32_t& offset : header.mipmap_offsets) offset = reader.U32Le();
  for (uint32_t& size : header.mipmap_sizes) size = reader.U32Le();
  return reader.Ok();
}

// A reader over [offset, offset + length) of the file; `inside` false (and
// an empty reader) when that range passes the file's end.
ByteReader RangeOfFile(const ByteReader& file, uint64_t offset, uint64_t length, bool& inside) {
  ByteReader range = file;
  inside = range.Seek(offset) && range.Fits(length);
  return inside ? range.Chunk(length) : ByteReader();
}

// The shared JPEG header's length is read from the file: headers of other
// lengths than the usual 624 bytes occur in real files.
int LoadJpegPath(BitmapData& picture, const ByteReader& file, const BlpHeader& header) {
  LogFormatted(LOG_DETAIL, " This pic is compressed(probably) (x:%lu)\n",
               static_cast<unsigned long>(header.compression));
  ByteReader at = file;
  at.Seek(kJpegHeaderLengthOffset);
  const uint32_t jpeg_header_length = at.U32Le();
  if (!at.Ok()) return Fail("Jpeg header length missing\n");
  bool inside = false;
  const ByteReader jpeg_header = RangeOfFile(file, kJpegHeaderOffset, jpeg_header_length, inside);
  if (!inside) {
    return Fail("Jpeg header of %lu bytes passes the end of the file\n",
                static_cast<unsigned long>(jpeg_header_length));
  }
  const uint32_t offset = header.mipmap_offsets[0];
  const uint32_t size = header.mipmap_sizes[0];
  const ByteReader mipmap = RangeOfFile(file, offset, size, inside);
  if (size == 0 || !inside) {
    return Fail("First mipmap (offset %lu, %lu bytes) is not inside the file\n", static_cast<unsigned long>(offset),
                static_cast<unsigned long>(size));
  }
  std::vector<uint8_t> stream(size_t{jpeg_header_length} + size);
  ByteReader(jpeg_header).ReadBytes(stream.data(), jpeg_header_length);
  ByteReader(mipmap).ReadBytes(stream.data() + jpeg_header_length, size);
  LogMessage("Loading as jpg\n", LOG_DETAIL);
  if (!LoadJpegFromMemory(picture, stream.data(), stream.size())) return 0;
  LogMessage("...blp loaded through jpeg\n", LOG_MAJOR);
  return 1;
}

// The palette entries are stored blue, green, red, (alpha).
int ReadPalette(BitmapData& picture, ByteReader palette) {
  LogMessage("reading palette\n", LOG_DETAIL);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t blue = palette.U8(), green = palette.U8(), red = palette.U8();
    palette.Skip(1);  // alpha
    const int stored = i == 0 ? picture.SetPaletteEntry(0, 255, 0, 255)  // index 0 shows as pink
                              : picture.SetPaletteEntry(i, red, green, blue);
    if (!stored || !palette.Ok()) return Fail("Could not store palette\n");
  }
  return 1;
}

int LoadPalettePath(BitmapData& picture, const ByteReader& file, const BlpHeader& header) {
  LogFormatted(LOG_DETAIL, "size %lu x %lu\n", static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(header.height));
  const uint64_t pixels = uint64_t{header.width} * header.height;
  if (pixels == 0) return Fail("Picture has no pixels\n");
  bool inside = false;
  ByteReader indices = RangeOfFile(file, kIndicesOffset, pixels, inside);
  if (!inside) {
    return Fail("File too short for palette and %lu x %lu indices\n", static_cast<unsigned long>(header.width),
                static_cast<unsigned long>(header.height));
  }
  if (!picture.InitPicture(header.width, header.height, MODE_PALETTE_8BIT)) return 0;
  if (!ReadPalette(picture, RangeOfFile(file, kPaletteOffset, kPaletteBytes, inside))) return 0;
  LogMessage("reading data\n", LOG_DETAIL);
  if (header.width > BitmapData::kLineBufferSize) return Fail("Sizex > buffer size; cant read !\n");
  for (uint32_t row = 0; row < header.height; ++row) {
    const uint8_t* indices_of_row = indices.Take(header.width);
    if (!indices_of_row || !picture.SetPixels(row * header.width, header.width, indices_of_row))
      return Fail("Could not store row %lu\n", static_cast<unsigned long>(row));
  }
  LogMessage("...blp loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace

int LoadBlp(BitmapData& picture, FILE* file) {
  LogMessage("Loading blp...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "blp", kMaxFileBytes)) return Fail("Could not read the file\n");
  const ByteReader reader(bytes);
  BlpHeader header{};
  if (!ReadHeader(reader, header)) return Fail("File shorter than the header\n");
  // Later versions share the extension but not the layout.
  if (std::memcmp(header.magic, "BLP1", 4) != 0) return Fail("Not a BLP1 picture\n");
  if (header.compression == kCompressionPalette) return LoadPalettePath(picture, reader, header);
  return LoadJpegPath(picture, reader, header);
}

}  // namespace zepcon
