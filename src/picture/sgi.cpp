// SGI image: a 512-byte big-endian header, then each channel as a plane of
// rows (bottom row first), stored plain or run-length encoded per row.
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

constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kMaxSide = 65535;  // the header's 16-bit size fields
constexpr uint32_t kSaveRunPixels = 10000;

struct SgiHeader {
  uint8_t storage;
  uint8_t bytes_per_channel;
  uint16_t size_x;
  uint16_t size_y;
  uint16_t size_z;
};

// False when the file is shorter than the header.
bool ReadHeader(ByteReader& reader, SgiHeader& header) {
  ByteReader head = reader.Chunk(kHeaderBytes);
  head.Skip(2);  // magic
  header.storage = head.U8();
  header.bytes_per_channel = head.U8();
  head.Skip(2);  // dimension
  header.size_x = head.U16Be();
  header.size_y = head.U16Be();
  header.size_z = head.U16Be();
  return !head.Clipped() && head.Ok();
}

bool ModeForChannels(uint32_t channels, uint32_t& mode) {
  switch (channels) {
    case 1: mode = MODE_GRAY_8BIT; return true;
    case 2: mode = MODE_GRAY_ALPHA_88; return true;
    case 3: mode = MODE_RGB888; return true;
    case 4: mode = MODE_RGBA8888; return true;
    default: return false;
  }
}

// Expands one run-length row of one channel into every `stride`-th byte of
// `row`, until all but the row's last byte (its closing count) are used.
// Runs that would pass the row end are an error; a count of 0 adds nothing.
bool ExpandRunLengthRow(ByteReader packed, uint8_t* row, uint32_t size_x, uint32_t stride) {
  uint32_t column = 0;
  while (packed.Remaining() > 1) {
    const uint8_t control = packed.U8();
    const uint32_t count = control & 127u;
    if (count == 0) continue;
    if (column + count > size_x) return false;
    if (control & 128u) {
      const uint8_t* literal = packed.Take(count);
      if (!literal) return false;
      for (uint32_t i = 0; i < count; ++i) row[size_t{column + i} * stride] = literal[i];
    } else {
      if (packed.AtEnd()) return false;
      const uint8_t value = packed.U8();
      for (uint32_t i = 0; i < count; ++i) row[size_t{column + i} * stride] = value;
    }
    column += count;
  }
  return true;
}

class SgiRowSource {
 public:
  SgiRowSource(const ByteReader& file, const SgiHeader& header) : file_(file), header_(header) {}

  // Reads the run-length tables; their size was checked against the file.
  bool ReadTables() {
    const size_t entries = size_t{header_.size_y} * header_.size_z;
    ByteReader tables = file_;
    if (!tables.Seek(kHeaderBytes) || !tables.Fits(entries, 8)) return false;
    starts_.resize(entries);
    lengths_.resize(entries);
    for (size_t i = 0; i < entries; ++i) starts_[i] = tables.U32Be();
    for (size_t i = 0; i < entries; ++i) lengths_[i] = tables.U32Be();
    return tables.Ok();
  }

  // Fills channel `channel` of file row `r` into the interleaved `row`.
  bool ReadChannelRow(uint32_t r, uint32_t channel, uint8_t* row) {
    const uint32_t size_x = header_.size_x;
    const uint32_t stride = header_.size_z;
    ByteReader at = file_;
    if (header_.storage == 0) {
      const uint64_t start = kHeaderBytes + (uint64_t{channel} * header_.size_y + r) * size_x;
      if (!at.Seek(start)) return Fail(" error seeking\n");
      const uint8_t* plane_row = at.Take(size_x);
      if (!plane_row) return Fail(" error reading\n");
      for (uint32_t x = 0; x < size_x; ++x) row[size_t{x} * stride + channel] = plane_row[x];
      return true;
    }
    const size_t entry = size_t{channel} * header_.size_y + r;
    const uint32_t start = starts_[entry];
    const uint32_t length = lengths_[entry];
    if (!at.Seek(start)) return Fail(" error reading\n");
    const ByteReader packed = at.Chunk(length);
    if (packed.Clipped()) return Fail(" error reading\n");
    if (!ExpandRunLengthRow(packed, row + channel, size_x, stride))
      return Fail("Error reading rle line\n");
    return true;
  }

 private:
  ByteReader file_;
  SgiHeader header_;
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> lengths_;
};

}  // namespace

int LoadSgi(BitmapData& picture, FILE* file) {
  LogMessage("Loading rgb...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "rgb")) return 0;
  const uint64_t file_size = bytes.size();
  ByteReader reader(bytes);
  SgiHeader header{};
  if (!ReadHeader(reader, header)) return Fail(" error reading\n");
  uint32_t mode = 0;
  if (!ModeForChannels(header.size_z, mode)) {
    LogFormatted(LOG_ERROR, "I don't know what means number of streams '%u'\n", header.size_z);
    picture.InitPicture(0, 0, MODE_UNDEFINED);
    return 0;
  }
  if (header.bytes_per_channel != 1)
    return Fail("rgb: %u bytes per channel are not supported, only 1\n", header.bytes_per_channel);
  if (header.storage > 1) return Fail("rgb: unknown storage %u\n", header.storage);
  if (header.size_x == 0 || header.size_y == 0)
    return Fail("rgb: empty picture (%ux%u)\n", header.size_x, header.size_y);
  // What the file must hold before anything is allocated: every plane, or
  // the two run-length tables and at least one byte per row.
  const uint64_t rows = uint64_t{header.size_y} * header.size_z;
  const uint64_t least = header.storage == 0 ? kHeaderBytes + rows * header.size_x : kHeaderBytes + rows * 8 + rows;
  if (least > file_size) {
    return Fail("rgb: file is cut short: %llu bytes cannot hold %ux%ux%u\n",
                static_cast<unsigned long long>(file_size), header.size_x, header.size_y, header.size_z);
  }
  if (!picture.InitPicture(header.size_x, header.size_y, mode)) return 0;
  LogFormatted(LOG_DETAIL, " reading bitmap %lu x %lu, %s, %u bytes/pixel\n", static_cast<unsigned long>(header.size_x),
               static_cast<unsigned long>(header.size_y), header.storage == 0 ? "plane" : "RLE", header.size_z);

  SgiRowSource source(reader, header);
  if (header.storage == 1 && !source.ReadTables()) return Fail(" error reading\n");
  // One interleaved row: up to 65,535 x 4 bytes, the size of the auxiliary area.
  std::vector<uint8_t> row(size_t{header.size_x} * header.size_z);
  for (uint32_t r = 0; r < header.size_y; ++r) {
    // Columns a short run-length row leaves out stay 0, never stale.
    std::memset(row.data(), 0, row.size());
    for (uint32_t c = 0; c < header.size_z; ++c) {
      if (!source.ReadChannelRow(r, c, row.data())) return 0;
    }
    const uint32_t y = header.size_y - r - 1;
    if (!picture.SetPixels(y * uint32_t{header.size_x}, header.size_x, row.data())) return 0;
  }
  LogMessage("...rgb loaded\n", LOG_MAJOR);
  return 1;
}

int SaveSgi(BitmapData& picture, FILE* file) {
  LogMessage("Saving rgb...\n", LOG_MAJOR);
  if (picture.SizeX() > kMaxSide || picture.SizeY() > kMaxSide) {
    LogFormatted(LOG_ERROR, "rgb: %ux%u is too large, at most %u in each direction\n", picture.SizeX(),
                 picture.SizeY(), kMaxSide);
    return 0;
  }
  if (!picture.BitmapConvertToMode(MODE_RGBA8888, 0)) return 0;
  LogMessage(" writing header\n", LOG_DETAIL);
  uint8_t header[kHeaderBytes] = {};
  StoreBe16(header, 474);
  header[2] = 0;  // plain storage
  header[3] = 1;  // bytes per channel
  StoreBe16(header + 4, 3);
  StoreBe16(header + 6, picture.SizeX());
  StoreBe16(header + 8, picture.SizeY());
  StoreBe16(header + 10, 4);
  StoreBe32(header + 12, 0);
  StoreBe32(header + 16, 255);
  std::snprintf(reinterpret_cast<char*>(header + 24), 80, "%s", "Converted bitmap");
  if (!WriteExact(file, header, sizeof header)) {
    LogMessage(" error writing\n", LOG_ERROR);
    return 0;
  }
  LogMessage(" writing bitmap\n", LOG_DETAIL);
  // Plane after plane, each row bottom first: the same bytes at the same
  // places as seeking per row and channel, written in one sweep.
  const uint32_t size_x = picture.SizeX();
  const uint32_t size_y = picture.SizeY();
  uint8_t* buffer = picture.LineBuffer();
  std::vector<uint8_t> plane_row(size_x < kSaveRunPixels ? size_x : kSaveRunPixels);
  for (uint32_t c = 0; c < 4; ++c) {
    for (uint32_t r = 0; r < size_y; ++r) {
      const uint32_t row_start = (size_y - r - 1) * size_x;
      for (uint32_t x = 0; x < size_x; x += kSaveRunPixels) {
        const uint32_t count = size_x - x < kSaveRunPixels ? size_x - x : kSaveRunPixels;
        if (!picture.GetPixels(row_start + x, count, buffer)) {
          LogMessage(" can't read pixels\n", LOG_ERROR);
          return 0;
        }
        for (uint32_t i = 0; i < count; ++i) plane_row[i] = buffer[4 * i + c];
        if (!WriteExact(file, plane_row.data(), count)) {
          LogMessage(" error writing\n", LOG_ERROR);
          return 0;
        }
      }
    }
  }
  LogMessage("...rgb saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
