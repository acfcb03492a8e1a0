// The reading toolbox: Form chunk headers on files, streams and byte
// readers, and skipping bytes.
#include "core/reading_helper.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/file_stream.h"
#include "core/log.h"

namespace zepcon {
namespace {

// The chunk code works the same on a plain file and on a FileStream; these
// adapters give both one face.
struct PlainIo {
  FILE* file;
  size_t Read(void* to, size_t count) { return file ? std::fread(to, 1, count, file) : 0; }
  size_t Write(const void* from, size_t count) { return file ? std::fwrite(from, 1, count, file) : 0; }
  long Tell() { return file ? std::ftell(file) : -1; }
  bool SeekTo(long position) { return file && std::fseek(file, position, SEEK_SET) == 0; }
};

struct StreamIo {
  FileStream& stream;
  size_t Read(void* to, size_t count) { return stream.IsOpen() ? stream.Read(count, to) : 0; }
  size_t Write(const void* from, size_t count) { return stream.IsOpen() ? stream.Write(count, from) : 0; }
  long Tell() { return stream.IsOpen() ? stream.Tell() : -1; }
  bool SeekTo(long position) { return stream.Seek(position, 0) == 1; }
};

template <typename Io>
uint64_t SkipWith(Io io, uint64_t count) {
  unsigned char block[ReadingHelper::kSkipBlock];
  uint64_t skipped = 0;
  while (skipped < count) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count - skipped, sizeof block));
    const size_t got = io.Read(block, want);
    skipped += got;
    if (got < want) break;
  }
  return skipped;
}


}  // namespace

// ---- Form chunks -----------------------------------------------------------

int ReadingHelper::FormSettingsReady() const {
  if (FormSkipOddByte != -1 && (FormByteOrdering == 0 || FormByteOrdering == 1)) return 1;
  LogMessage("Dont forget to set [FormSkipOddByte] and [FormByteOrdering] !\n", LOG_ERROR);
  return 0;
}

void ReadingHelper::TakeFormHeader(const unsigned char raw[8]) {
  std::memcpy(form_header.id, raw, 4);
  form_header.length = FormByteOrdering == 0 ? LoadBe32(raw + 4) : LoadLe32(raw + 4);
  form_padded_length = uint64_t{form_header.length} + (form_header.length & 1);
}

void ReadingHelper::EncodeFormHeader(const char* id, uint64_t length, unsigned char raw[8]) const {
  std::memcpy(raw, id, 4);
  const uint32_t value = static_cast<uint32_t>(length);
  for (int i = 0; i < 4; ++i) {
    const int shift = FormByteOrdering == 0 ? 24 - 8 * i : 8 * i;
    raw[4 + i] = static_cast<unsigned char>(value >> shift);
  }
}

namespace {

template <typename Io>
int ReadHeaderWith(Io io, unsigned char raw[8]) {
  return io.Read(raw, 8) == 8;
}

}  // namespace

int ReadingHelper::ReadFormHeader(FILE* file) {
  if (!FormSettingsReady()) return 0;
  unsigned char raw[8];
  if (!ReadHeaderWith(PlainIo{file}, raw)) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::ReadFormHeader(FileStream& stream) {
  if (!FormSettingsReady()) return 0;
  unsigned char raw[8];
  if (!ReadHeaderWith(StreamIo{stream}, raw)) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::SkipFormPad(FILE* file) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  return SkipBytes(file, 1) == 1;
}

int ReadingHelper::SkipFormPad(FileStream& stream) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  return SkipBytes(stream, 1) == 1;
}

int ReadingHelper::SkipFormChunk(FILE* file) {
  if (SkipBytes(file, form_header.length) != form_header.length) return 0;
  SkipFormPad(file);
  return 1;
}

int ReadingHelper::SkipFormChunk(FileStream& stream) {
  if (SkipBytes(stream, form_header.length) != form_header.length) return 0;
  SkipFormPad(stream);
  return 1;
}

int ReadingHelper::ReadFormHeader(ByteReader& reader) {
  if (!FormSettingsReady()) return 0;
  const uint8_t* raw = reader.Take(8);
  if (!raw) return 0;
  TakeFormHeader(raw);
  return 1;
}

int ReadingHelper::SkipFormPad(ByteReader& reader) {
  if (FormSkipOddByte == 0 || FormSkipOddByte == -1 || form_padded_length == form_header.length) return 1;
  // A pad byte missing at the very end of the block is no error: the file
  // would give the same short read.
  if (reader.AtEnd()) return 0;
  return reader.Skip(1);
}

int ReadingHelper::SkipFormChunk(ByteReader& reader) {
  const ByteReader body = reader.Chunk(form_header.length);
  if (body.Clipped()) return 0;
  SkipFormPad(reader);
  return 1;
}

int ReadingHelper::ReadFormChunk(ByteReader& reader, ByteReader& body) {
  body = ByteReader();
  if (!ReadFormHeader(reader)) return 0;
  body = reader.Chunk(form_header.length);
  if (!body.Clipped()) SkipFormPad(reader);
  return 1;
}

namespace {

// Remembers where the header goes and writes a placeholder for it.
template <typename Io>
int BeginChunkWith(Io io, const char* id, long& position) {
  position = io.Tell();
  if (position < 0) return 0;
  unsigned char raw[8] = {};
  std::memcpy(raw, id, 4);
  return io.Write(raw, 8) == 8;
}

}  // namespace

ReadingHelper::OpenChunk* ReadingHelper::ReserveWriteChunk(const char* id) {
  if (!FormSettingsReady() || !id) return nullptr;
  if (write_depth_ >= kMaxFormDepth) {
    // Counted so that the matching EndFormChunk does not close an outer chunk.
    ++write_overflow_;
    LogMessage("BeginFormChunk: chunks nested too deep\n", LOG_ERROR);
    return nullptr;
  }
  OpenChunk& chunk = write_stack_[write_depth_];
  std::memcpy(chunk.id, id, 4);
  return &chunk;
}

int ReadingHelper::BeginFormChunk(FILE* file, const char* id) {
  OpenChunk* chunk = ReserveWriteChunk(id);
  if (!chunk || !BeginChunkWith(PlainIo{file}, id, chunk->header_position)) return 0;
  ++write_depth_;
  return 1;
}

int ReadingHelper::BeginFormChunk(FileStream& stream, const char* id) {
  OpenChunk* chunk = ReserveWriteChunk(id);
  if (!chunk || !BeginChunkWith(StreamIo{stream}, id, chunk->header_position)) return 0;
  ++write_depth_;
  return 1;
}

namespace {

// Goes back to the chunk's header, writes its identifier and length and
// returns to the end. The length counts everything after the header.
template <typename Io, typename Encode>
int EndChunkWith(Io io, long header_position, const char* id, Encode encode) {
  const long end = io.Tell();
  if (end < 0 || end - header_position < 8) return 0;
  const uint64_t length = static_cast<uint64_t>(end - header_position - 8);
  if (length > 0xFFFFFFFFu) {
    LogMessage("EndFormChunk: chunk longer than 4 GB\n", LOG_ERROR);
    return 0;
  }
  unsigned char raw[8];
  encode(id, length, raw);
  if (!io.SeekTo(header_position)) return 0;
  const bool written = io.Write(raw, 8) == 8;
  return io.SeekTo(end) && written;
}

}  // namespace

int ReadingHelper::PopWriteChunk(OpenChunk& chunk) {
  if (write_overflow_ > 0) {
    --write_overflow_;
    return 0;
  }
  if (write_depth_ == 0) {
    LogMessage("EndFormChunk: no chunk open\n", LOG_ERROR);
    return 0;
  }
  chunk = write_stack_[--write_depth_];
  return 1;
}

int ReadingHelper::EndFormChunk(FILE* file) {
  OpenChunk chunk;
  if (!PopWriteChunk(chunk)) return 0;
  return EndChunkWith(PlainIo{file}, chunk.header_position, chunk.id,
                      [this](const char* id, uint64_t length, unsigned char raw[8]) {
                        EncodeFormHeader(id, length, raw);
                      });
}

int ReadingHelper::EndFormChunk(FileStream& stream) {
  OpenChunk chunk;
  if (!PopWriteChunk(chunk)) return 0;
  return EndChunkWith(StreamIo{stream}, chunk.header_position, chunk.id,
                      [this](const char* id, uint64_t length, unsigned char raw[8]) {
                        EncodeFormHeader(id, length, raw);
                      });
}

uint64_t ReadingHelper::SkipBytes(FILE* file, uint64_t count) { return SkipWith(PlainIo{file}, count); }

uint64_t ReadingHelper::SkipBytes(FileStream& stream, uint64_t count) {
  return SkipWith(StreamIo{stream}, count);
}


}  // namespace zepcon
