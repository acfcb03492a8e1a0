// SGI image: a 512-byte big-endian header, then each channel as a plane of
// rows (bottom row first), stored plain or run-length encoded per row.
#include <cstring>
#include <vector>

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

SgiHeader ParseHeader(const uint8_t* h) { return {h[2], h[3], Be16(h + 6), Be16(h + 8), Be16(h + 10)}; }

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
bool ExpandRunLengthRow(const uint8_t* data, uint32_t length, uint8_t* row, uint32_t size_x, uint32_t stride) {
  uint32_t used = 0;
  uint32_t column = 0;
  while (used + 1 < length) {
    const uint8_t control = data[used++];
    const uint32_t count = control & 127u;
    if (count == 0) continue;
    if (column + count > size_x) return false;
    if (control & 128u) {
      if (used + count > length) return false;
      for (uint32_t i = 0; i < count; ++i) row[size_t{column + i} * stride] = data[used + i];
      used += count;
    } else {
      if (used >= length) return false;
      const uint8_t value = data[used++];
      for (uint32_t i = 0; i < count; ++i) row[size_t{column + i} * stride] = value;
    }
    column += count;
  }
  return true;
}

class SgiRowSource {
 public:
  SgiRowSource(FILE* file, const SgiHeader& header, uint64_t file_size)
      : file_(file), header_(header), file_size_(file_size) {}

  // Reads the run-length tables; their size was checked against the file.
  bool ReadTables() {
    const size_t entries = size_t{header_.size_y} * header_.size_z;
    std::vector<uint8_t> raw(entries * 8);
    if (!SeekTo(file_, kHeaderBytes, file_size_) || !ReadExact(file_, raw.data(), raw.size())) return false;
    starts_.resize(entries);
    lengths_.resize(entries);
    for (size_t i = 0; i < entries; ++i) {
      starts_[i] = Be32(raw.data() + 4 * i);
      lengths_[i] = Be32(raw.data() + 4 * (entries + i));
    }
    return true;
  }

  // Fills channel `channel` of file row `r` into the interleaved `row`.
  bool ReadChannelRow(uint32_t r, uint32_t channel, uint8_t* row) {
    const uint32_t size_x = header_.size_x;
    const uint32_t stride = header_.size_z;
    if (header_.storage == 0) {
      const uint64_t at = kHeaderBytes + (uint64_t{channel} * header_.size_y + r) * size_x;
      plane_row_.resize(size_x);
      if (!SeekTo(file_, at, file_size_)) {
        LogMessage(" error seeking\n", LOG_ERROR);
        return false;
      }
      if (!ReadExact(file_, plane_row_.data(), size_x)) {
        LogMessage(" error reading\n", LOG_ERROR);
        return false;
      }
      for (uint32_t x = 0; x < size_x; ++x) row[size_t{x} * stride + channel] = plane_row_[x];
      return true;
    }
    const size_t entry = size_t{channel} * header_.size_y + r;
    const uint32_t start = starts_[entry];
    const uint32_t length = lengths_[entry];
    if (uint64_t{start} + length > file_size_) {
      LogMessage(" error reading\n", LOG_ERROR);
      return false;
    }
    if (!SeekTo(file_, start, file_size_)) {
      LogMessage(" error seeking\n", LOG_ERROR);
      return false;
    }
    packed_.resize(length);
    if (!ReadExact(file_, packed_.data(), length)) {
      LogMessage(" error reading\n", LOG_ERROR);
      return false;
    }
    if (!ExpandRunLengthRow(packed_.data(), length, row + channel, size_x, stride)) {
      LogMessage("Error reading rle line\n", LOG_ERROR);
      return false;
    }
    return true;
  }

 private:
  FILE* file_;
  SgiHeader header_;
  uint64_t file_size_;
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> lengths_;
  std::vector<uint8_t> plane_row_;
  std::vector<uint8_t> packed_;
};

}  // namespace

int LoadSgi(BitmapData& picture, FILE* file) {
  LogMessage("Loading rgb...\n", LOG_MAJOR);
  LogMessage(" reading header\n", LOG_DETAIL);
  const uint64_t file_size = FileSize(file);
  uint8_t raw[kHeaderBytes];
  if (!ReadExact(file, raw, sizeof raw)) {
    LogMessage(" error reading\n", LOG_ERROR);
    return 0;
  }
  const SgiHeader header = ParseHeader(raw);
  uint32_t mode = 0;
  if (!ModeForChannels(header.size_z, mode)) {
    LogFormatted(LOG_ERROR, "I don't know what means number of streams '%u'\n", header.size_z);
    picture.InitPicture(0, 0, MODE_UNDEFINED);
    return 0;
  }
  if (header.bytes_per_channel != 1) {
    LogFormatted(LOG_ERROR, "rgb: %u bytes per channel are not supported, only 1\n", header.bytes_per_channel);
    return 0;
  }
  if (header.storage > 1) {
    LogFormatted(LOG_ERROR, "rgb: unknown storage %u\n", header.storage);
    return 0;
  }
  if (header.size_x == 0 || header.size_y == 0) {
    LogFormatted(LOG_ERROR, "rgb: empty picture (%ux%u)\n", header.size_x, header.size_y);
    return 0;
  }
  // What the file must hold before anything is allocated: every plane, or
  // the two run-length tables and at least one byte per row.
  const uint64_t rows = uint64_t{header.size_y} * header.size_z;
  const uint64_t least = header.storage == 0 ? kHeaderBytes + rows * header.size_x : kHeaderBytes + rows * 8 + rows;
  if (least > file_size) {
    LogFormatted(LOG_ERROR, "rgb: file is cut short: %llu bytes cannot hold %ux%ux%u\n",
                 static_cast<unsigned long long>(file_size), header.size_x, header.size_y, header.size_z);
    return 0;
  }
  if (!picture.InitPicture(header.size_x, header.size_y, mode)) return 0;
  LogFormatted(LOG_DETAIL, " reading bitmap %lu x %lu, %s, %u bytes/pixel\n", static_cast<unsigned long>(header.size_x),
               static_cast<unsigned long>(header.size_y), header.storage == 0 ? "plane" : "RLE", header.size_z);

  SgiRowSource source(file, header, file_size);
  if (header.storage == 1 && !source.ReadTables()) {
    LogMessage(" error reading\n", LOG_ERROR);
    return 0;
  }
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
  PutBe16(header, 474);
  header[2] = 0;  // plain storage
  header[3] = 1;  // bytes per channel
  PutBe16(header + 4, 3);
  PutBe16(header + 6, picture.SizeX());
  PutBe16(header + 8, picture.SizeY());
  PutBe16(header + 10, 4);
  PutBe32(header + 12, 0);
  PutBe32(header + 16, 255);
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
