// Targa: true-colour, gray and colour-mapped pictures, plain or run-length
// encoded, either row order.
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

constexpr uint32_t kHeaderBytes = 18;
constexpr uint32_t kMaxSide = 65535;  // the header's 16-bit size fields
constexpr uint8_t kDescriptorTopFirst = 0x20;
constexpr uint8_t kDescriptorRightToLeft = 0x10;

struct TgaHeader {
  uint8_t id_length;
  uint8_t colour_map_type;
  uint8_t image_type;
  uint16_t map_first;
  uint16_t map_length;
  uint8_t map_entry_bits;
  uint16_t width;
  uint16_t height;
  uint8_t pixel_depth;
  uint8_t descriptor;
};

// False when the file is shorter than the header.
bool ReadHeader(ByteReader& reader, TgaHeader& header) {
  ByteReader head = reader.Chunk(kHeaderBytes);
  header.id_length = head.U8();
  header.colour_map_type = head.U8();
  header.image_type = head.U8();
  header.map_first = head.U16Le();
  header.map_length = head.U16Le();
  header.map_entry_bits = head.U8();
  head.Skip(4);  // origin
  header.width = head.U16Le();
  header.height = head.U16Le();
  header.pixel_depth = head.U8();
  header.descriptor = head.U8();
  return !head.Clipped() && head.Ok();
}

// Pixel layout of the stored values: gray, 15/16-bit bGr555 with or
// without a transparency bit, 24-bit bGr, 32-bit bGrA.
bool TrueColourMode(uint32_t depth, uint32_t& mode) {
  switch (depth) {
    case 8: mode = MODE_GRAY_8BIT; return true;
    case 15:
    case 16: mode = MODE_BGRA5551; return true;
    case 24: mode = MODE_BGR888; return true;
    case 32: mode = MODE_BGRA8888; return true;
    default: return false;
  }
}

// 15-bit values have no transparency bit: clear it so they stay opaque.
void ClearTopBits(uint8_t* values, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) values[2 * i + 1] &= 0x7F;
}

// Reads the colour map and turns its entries into palette entries through
// a small 256 x 1 picture in the entry layout. Entry i goes to palette
// index first + i, the index the pixels use.
int ReadColourMap(BitmapData& picture, ByteReader& file, const TgaHeader& header) {
  const uint32_t bits = header.map_entry_bits;
  uint32_t entry_mode = 0;
  if ((bits != 15 && bits != 16 && bits != 24 && bits != 32) || !TrueColourMode(bits, entry_mode))
    return Fail("Unsupported bit depth (%lu)\n", static_cast<unsigned long>(bits));
  const uint32_t entry_bytes = (bits + 7) / 8;
  const uint32_t stored = header.map_length;
  const uint32_t first = header.map_first;
  // Entries beyond index 255 are skipped.
  const uint32_t usable = first >= 256 ? 0 : (stored < 256 - first ? stored : 256 - first);
  if (!file.ReadBytes(picture.LineBuffer(), size_t{usable} * entry_bytes) ||
      !file.Skip(uint64_t{stored - usable} * entry_bytes))
    return Fail("tga: file too short for its colour map\n");
  if (bits == 15) ClearTopBits(picture.LineBuffer(), usable);

  BitmapData entries;
  entries.settings = picture.settings;
  if (!entries.InitData() || !entries.InitPicture(256, 1, entry_mode)) return 0;
  std::vector<uint8_t> zeros(256 * 4, 0);
  if (!entries.SetPixels(0, 256, zeros.data()) || !entries.SetPixels(first < 256 ? first : 0, usable, picture.LineBuffer()) ||
      !entries.BitmapConvertToMode(MODE_RGBA8888, 0))
    return Fail("tga: cannot expand the colour map\n");
  uint8_t rgba[256 * 4];
  entries.GetPixels(0, 256, rgba);
  for (uint32_t i = 0; i < 256; ++i) {
    picture.SetPaletteEntry(i, rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]);
  }
  return 1;
}

// Decodes pixels in file order, a row at a time, carrying a run-length
// packet across row ends.
class PixelReader {
 public:
  PixelReader(ByteReader& file, uint32_t bytes_per_pixel, bool run_length)
      : file_(file), bpp_(bytes_per_pixel), run_length_(run_length) {}

  // Fills `row` with `count` pixels; false on a short read (the rest of the
  // row is then zero).
  bool ReadRow(uint8_t* row, uint32_t count) {
    if (!run_length_) {
      const size_t wanted = size_t{count} * bpp_;
      const size_t got = wanted < file_.Remaining() ? wanted : file_.Remaining();
      file_.ReadBytes(row, got);
      if (got < wanted) std::memset(row + got, 0, wanted - got);
      return got == wanted;
    }
    uint32_t done = 0;
    while (done < count) {
      if (packet_left_ == 0 && !StartPacket()) {
        std::memset(row + size_t{done} * bpp_, 0, size_t{count - done} * bpp_);
        return false;
      }
      const uint32_t take = packet_left_ < count - done ? packet_left_ : count - done;
      uint8_t* out = row + size_t{done} * bpp_;
      if (repeating_) {
        FillRepeated(out, take);
      } else if (!file_.ReadBytes(out, size_t{take} * bpp_)) {
        std::memset(out, 0, size_t{count - done} * bpp_);
        packet_left_ = 0;
        return false;
      }
      packet_left_ -= take;
      done += take;
    }
    return true;
  }

 private:
  bool StartPacket() {
    if (file_.AtEnd()) return false;
    const uint8_t packet = file_.U8();
    packet_left_ = (packet & 127u) + 1;
    repeating_ = (packet & 128u) != 0;
    if (repeating_ && !file_.ReadBytes(value_, bpp_)) {
      packet_left_ = 0;
      return false;
    }
    return true;
  }

  // Writes the packet's value `count` times, by the pixel size so the
  // copies are plain stores.
  void FillRepeated(uint8_t* out, uint32_t count) const {
    switch (bpp_) {
      case 1:
        std::memset(out, value_[0], count);
        break;
      case 2:
        for (uint32_t i = 0; i < count; ++i, out += 2) std::memcpy(out, value_, 2);
        break;
      case 3:
        for (uint32_t i = 0; i < count; ++i, out += 3) std::memcpy(out, value_, 3);
        break;
      default:
        for (uint32_t i = 0; i < count; ++i, out += 4) std::memcpy(out, value_, 4);
        break;
    }
  }

  ByteReader& file_;
  uint32_t bpp_;
  bool run_length_;
  uint32_t packet_left_ = 0;
  bool repeating_ = false;
  uint8_t value_[4] = {};
};

void MirrorRow(uint8_t* row, uint32_t width, uint32_t bpp) {
  uint8_t swap[4];
  for (uint32_t left = 0, right = width - 1; left < right; ++left, --right) {
    std::memcpy(swap, row + size_t{left} * bpp, bpp);
    std::memcpy(row + size_t{left} * bpp, row + size_t{right} * bpp, bpp);
    std::memcpy(row + size_t{right} * bpp, swap, bpp);
  }
}

}  // namespace

int LoadTga(BitmapData& picture, FILE* file) {
  LogMessage("Loading tga...\n", LOG_MAJOR);
  if (file) std::fseek(file, 0, SEEK_SET);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "tga")) return 0;
  const uint64_t file_size = bytes.size();
  ByteReader reader(bytes);
  TgaHeader header{};
  if (!ReadHeader(reader, header)) return Fail("tga: file too short for its header\n");
  LogFormatted(LOG_DETAIL, " tga %lu x %lu, %u bpp\n", static_cast<unsigned long>(header.width),
               static_cast<unsigned long>(header.height), header.pixel_depth);

  bool run_length = false;
  switch (header.image_type) {
    case 1: case 2: case 3: break;
    case 9: case 10: case 11: run_length = true; break;
    default:
      return Fail(" Bad image type (%u), maybe compressed ? Only uncompressed or RLE; RGB, black&white or 8bit "
                  "paletted images are supported\n",
                  header.image_type);
  }
  if (header.descriptor >> 6) {
    LogFormatted(LOG_ERROR, " Some kind of interleaving detected (%i).. loader cannot handle it, but will try anyhow\n",
                 header.descriptor >> 6);
  }
  const bool top_first = (header.descriptor & kDescriptorTopFirst) != 0;
  const bool right_to_left = (header.descriptor & kDescriptorRightToLeft) != 0;

  if (header.id_length) {
    uint8_t* ident = picture.LineBuffer();
    std::memset(ident, 0, 256);
    if (!reader.ReadBytes(ident, header.id_length)) return Fail("tga: file too short for its ident\n");
    LogFormatted(LOG_DETAIL, "Ident found: (%s)\n", reinterpret_cast<const char*>(ident));
  }

  const bool gray = header.image_type == 3 || header.image_type == 11;
  const bool mapped = header.image_type == 1 || header.image_type == 9;
  uint32_t mode = 0;
  if (header.colour_map_type > 1)
    return Fail("tga: colour-map type %u is not supported\n", header.colour_map_type);
  if (mapped && header.colour_map_type != 1) return Fail("tga: colour-mapped picture without a colour map\n");
  if (mapped) {
    if (header.pixel_depth != 8)
      return Fail("Unsupported bit depth (%lu)\n", static_cast<unsigned long>(header.pixel_depth));
    mode = MODE_PALETTE_8BIT;
  } else if (gray && header.pixel_depth == 16) {
    mode = MODE_GRAY_ALPHA_88;
  } else if (!TrueColourMode(header.pixel_depth, mode)) {
    return Fail("Unsupported bit depth (%lu)\n", static_cast<unsigned long>(header.pixel_depth));
  }
  if (header.width == 0 || header.height == 0)
    return Fail("tga: empty picture (%ux%u)\n", header.width, header.height);

  const uint32_t bpp = (header.pixel_depth + 7) / 8;
  const uint64_t pixels = uint64_t{header.width} * header.height;
  const uint64_t map_bytes = header.colour_map_type == 1 ? uint64_t{header.map_length} * ((header.map_entry_bits + 7) / 8) : 0;
  // The least the pixel data can take: plain, every byte; run-length, one
  // packet of 128 repeated pixels per 1 + bpp bytes.
  const uint64_t least = run_length ? (pixels + 127) / 128 * (1 + bpp) : pixels * bpp;
  const uint64_t data_start = kHeaderBytes + uint64_t{header.id_length} + map_bytes;
  if (data_start + least > file_size) {
    return Fail("tga: file is cut short: %llu bytes cannot hold %ux%u pixels\n",
                static_cast<unsigned long long>(file_size), header.width, header.height);
  }
  if (!picture.InitPicture(header.width, header.height, mode)) return 0;
  if (mapped && !ReadColourMap(picture, reader, header)) return 0;
  if (!mapped && !reader.Skip(map_bytes)) return Fail("tga: cannot skip the colour map\n");

  // A row of up to 65,535 pixels of 4 bytes: more than the line buffer.
  std::vector<uint8_t> row(size_t{header.width} * bpp);
  PixelReader pixels_in(reader, bpp, run_length);
  bool short_read = false;
  for (uint32_t r = 0; r < header.height && !short_read; ++r) {
    if (!pixels_in.ReadRow(row.data(), header.width)) short_read = true;
    if (header.pixel_depth == 15 && !gray) ClearTopBits(row.data(), header.width);
    if (right_to_left) MirrorRow(row.data(), header.width, bpp);
    const uint32_t y = top_first ? r : header.height - r - 1;
    if (!picture.SetPixels(y * uint32_t{header.width}, header.width, row.data())) return 0;
  }
  // Rows not reached would hold stale bytes: the picture is unusable.
  if (short_read) return Fail("Some error occured while reading\n");
  LogMessage("...tga loaded\n", LOG_MAJOR);
  return 1;
}

int SaveTga(BitmapData& picture, FILE* file) {
  LogMessage("Saving tga...\n", LOG_MAJOR);
  if (picture.SizeX() > kMaxSide || picture.SizeY() > kMaxSide) {
    LogFormatted(LOG_ERROR, "tga: %ux%u is too large, at most %u in each direction\n", picture.SizeX(),
                 picture.SizeY(), kMaxSide);
    return 0;
  }
  const uint32_t mode = picture.Mode();
  if (mode == MODE_RGB888) {
    if (!picture.BitmapConvertToMode(MODE_BGR888, 0)) return 0;
  } else if (mode != MODE_GRAY_8BIT && mode != MODE_BGR888) {
    if (!picture.BitmapConvertToMode(MODE_BGRA8888, 0)) return 0;
  }
  const uint32_t bpp = picture.BytesPerPixel();
  LogMessage(" writing header\n", LOG_DETAIL);
  uint8_t header[kHeaderBytes] = {};
  header[2] = picture.Mode() == MODE_GRAY_8BIT ? 3 : 2;
  StoreLe16(header + 12, picture.SizeX());
  StoreLe16(header + 14, picture.SizeY());
  header[16] = static_cast<uint8_t>(bpp * 8);
  header[17] = kDescriptorTopFirst;
  if (!WriteExact(file, header, sizeof header)) {
    LogMessage("tga: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing data\n", LOG_DETAIL);
  if (!WriteAllPixels(picture, file)) {
    LogMessage("tga: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing footer\n", LOG_DETAIL);
  uint8_t footer[26] = {};
  std::memcpy(footer + 8, "TRUEVISION-XFILE.", 17);
  if (!WriteExact(file, footer, sizeof footer)) {
    LogMessage("tga: error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage("...tga saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
