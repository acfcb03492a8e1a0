#include "formats3d/3dm_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "core/log.h"

namespace zepcon::rhino {
namespace {

constexpr char kStartText[] = "3D Geometry File Format ";
constexpr size_t kStartTextSize = 24;
// Deflate cannot shrink data by more than about 1032 to 1; a larger stated
// size is a lie told to make us allocate.
constexpr uint64_t kDeflateRatio = 1032;
// No array of a mesh this program can hold comes near this.
constexpr uint64_t kMaxArrayBytes = uint64_t{1} << 28;
constexpr size_t kFirstOutputStep = size_t{1} << 20;

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; feed it in pieces.
  while (length > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = crc32(crc, data, piece);
    data += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(crc);
}

int ArchiveVersion(const std::vector<uint8_t>& file) {
  if (file.size() < kStartSize || std::memcmp(file.data(), kStartText, kStartTextSize) != 0) {
    LogMessage("Load3dm: the file does not start with \"3D Geometry File Format \"\n", LOG_ERROR);
    return 0;
  }
  // Blanks, then digits to the end of the 8-character field.
  int version = 0;
  size_t k = kStartTextSize;
  while (k < kStartSize && file[k] == ' ') ++k;
  const size_t digits_from = k;
  for (; k < kStartSize && file[k] >= '0' && file[k] <= '9'; ++k) version = version * 10 + (file[k] - '0');
  if (k != kStartSize || k == digits_from || version == 0) {
    LogMessage("Load3dm: the archive version is not a number\n", LOG_ERROR);
    return 0;
  }
  return version;
}

Archive::Archive(const std::vector<uint8_t>& file, int version) : file_(file), version_(version) {}

size_t Archive::FileOffset(const ByteReader& reader) const {
  return reader.Data() ? static_cast<size_t>(reader.Data() - file_.data()) + reader.Position() : 0;
}

int Archive::NextChunk(ByteReader& reader, Chunk* chunk, const char* where) const {
  const size_t offset = FileOffset(reader);
  if (!reader.Fits(4 + LengthSize())) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: chunk header at %zu cut by the end of its parent\n", where, offset);
    return 0;
  }
  chunk->offset = offset;
  chunk->typecode = reader.U32Le();
  chunk->value = LengthSize() == 8 ? reader.U64Le() : reader.U32Le();
  chunk->body = ByteReader();
  chunk->stored_crc = 0;
  if (chunk->IsShort()) return 1;
  if (!reader.Fits(chunk->value)) {
    LogFormatted(LOG_ERROR,
                 "Load3dm: %s: chunk %08" PRIX32 " at %zu claims %" PRIu64 " bytes, its parent holds %zu more\n",
                 where, chunk->typecode, offset, chunk->value, reader.Remaining());
    return 0;
  }
  ByteReader body = reader.Chunk(chunk->value);
  if (chunk->HasCrc()) {
    if (chunk->value < 4) {
      LogFormatted(LOG_ERROR, "Load3dm: %s: chunk %08" PRIX32 " at %zu is too short for its CRC\n", where,
                   chunk->typecode, offset);
      return 0;
    }
    chunk->body = body.Chunk(chunk->value - 4);
    chunk->stored_crc = body.U32Le();
  } else {
    chunk->body = body;
  }
  return 1;
}

bool Archive::CrcMatches(const Chunk& chunk, const char* where) {
  if (!chunk.HasCrc()) return true;
  const uint32_t crc = Crc32(chunk.body.Data(), chunk.body.Size());
  if (crc == chunk.stored_crc) return true;
  LogFormatted(LOG_ERROR, "Load3dm: %s: CRC of chunk %08" PRIX32 " at %zu is %08" PRIX32 ", stored %08" PRIX32 "\n",
               where, chunk.typecode, chunk.offset, crc, chunk.stored_crc);
  return false;
}

int InflateExactly(const uint8_t* data, size_t length, size_t size, std::vector<uint8_t>& out, const char* where) {
  out.clear();
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the inflater cannot start\n", where);
    return 0;
  }
  // Output grows with what the stream really yields, never to a stated size
  // up front.
  out.resize(std::min(size, kFirstOutputStep));
  size_t produced = 0;
  const uint8_t* next_in = data;
  size_t left_in = length;
  int status = Z_OK;
  uint8_t spill = 0;
  bool overflow = false;
  while (status == Z_OK) {
    if (produced == out.size() && out.size() < size) out.resize(std::min(size, out.size() * 2));
    const bool into_spill = produced == out.size();
    stream.next_in = const_cast<Bytef*>(next_in);
    stream.avail_in = static_cast<uInt>(std::min<size_t>(left_in, 1u << 30));
    stream.next_out = into_spill ? &spill : out.data() + produced;
    stream.avail_out = into_spill ? 1u : static_cast<uInt>(std::min<size_t>(out.size() - produced, 1u << 30));
    const uInt out_before = stream.avail_out;
    const uInt in_before = stream.avail_in;
    status = inflate(&stream, Z_NO_FLUSH);
    const size_t made = out_before - stream.avail_out;
    const size_t used = in_before - stream.avail_in;
    next_in += used;
    left_in -= used;
    if (into_spill && made > 0) {
      overflow = true;
      break;
    }
    produced += made;
    if (status == Z_BUF_ERROR && made == 0 && used == 0) break;  // no progress: input ran out
    if (status == Z_BUF_ERROR) status = Z_OK;
  }
  inflateEnd(&stream);
  if (overflow) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the deflated array holds more than its stated %zu bytes\n", where, size);
    out.clear();
    return 0;
  }
  if (status != Z_STREAM_END || produced != size) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the deflated array is broken or short (%zu of %zu bytes)\n", where,
                 produced, size);
    out.clear();
    return 0;
  }
  out.resize(produced);
  return 1;
}

int Archive::ReadArray(ByteReader& reader, uint64_t expected, std::vector<uint8_t>& out, const char* where) const {
  out.clear();
  const uint32_t size = reader.U32Le();
  if (!reader.Ok()) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the array size is cut off\n", where);
    return 0;
  }
  if (size != expected) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the array holds %" PRIu32 " bytes, %" PRIu64 " expected\n", where, size,
                 expected);
    return 0;
  }
  if (size == 0) return 1;
  const uint32_t stored_crc = reader.U32Le();
  const uint8_t method = reader.U8();
  if (!reader.Ok()) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: the array head is cut off\n", where);
    return 0;
  }
  if (method == 0) {
    if (!reader.Fits(size)) {
      LogFormatted(LOG_ERROR, "Load3dm: %s: the array of %" PRIu32 " bytes runs past its chunk\n", where, size);
      return 0;
    }
    const uint8_t* bytes = reader.Take(size);
    out.assign(bytes, bytes + size);
  } else if (method == 1) {
    Chunk stream;
    if (!NextChunk(reader, &stream, where)) return 0;
    if (stream.typecode != kAnonymous) {
      LogFormatted(LOG_ERROR, "Load3dm: %s: the deflated array is in chunk %08" PRIX32 ", not an anonymous one\n",
                   where, stream.typecode);
      return 0;
    }
    if (!Archive::CrcMatches(stream, where)) return 0;
    uint64_t most = 0;
    if (!CheckedMul(stream.body.Size(), kDeflateRatio, most) || size > most + 64 || size > kMaxArrayBytes) {
      LogFormatted(LOG_ERROR, "Load3dm: %s: %zu deflated bytes cannot hold the stated %" PRIu32 "\n", where,
                   stream.body.Size(), size);
      return 0;
    }
    if (!InflateExactly(stream.body.Data(), stream.body.Size(), size, out, where)) return 0;
  } else {
    LogFormatted(LOG_ERROR, "Load3dm: %s: unknown array storage method %u\n", where, method);
    return 0;
  }
  const uint32_t crc = Crc32(out.data(), out.size());
  if (crc != stored_crc) {
    LogFormatted(LOG_ERROR, "Load3dm: %s: CRC of the array is %08" PRIX32 ", stored %08" PRIX32 "\n", where, crc,
                 stored_crc);
    out.clear();
    return 0;
  }
  return 1;
}

}  // namespace zepcon::rhino
