// The chunk structure of Rhinoceros (.3dm) archives, apart from what the
// chunks mean: the 32-byte start, chunk headers, their CRC-32 checks and the
// arrays an archive stores plain or deflated.
//
// A chunk is a 32-bit typecode and a length (4 bytes before archive version
// 50, 8 bytes from it). A typecode with the short bit carries its value in
// the length field and has no body; one with the CRC bit ends its body with
// the CRC-32 of the bytes the chunk holds directly (nested chunks left out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_reader.h"

namespace zepcon::rhino {

inline constexpr uint32_t kShortBit = 0x80000000u;
inline constexpr uint32_t kCrcBit = 0x00008000u;

inline constexpr uint32_t kEndOfFile = 0x00007FFFu;
inline constexpr uint32_t kEndOfTable = 0xFFFFFFFFu;
inline constexpr uint32_t kObjectTable = 0x10000013u;
inline constexpr uint32_t kObjectRecord = 0x20008070u;
inline constexpr uint32_t kObjectRecordType = 0x82000071u;
inline constexpr uint32_t kObjectRecordEnd = 0x8200007Fu;
inline constexpr uint32_t kClass = 0x00027FFAu;
inline constexpr uint32_t kClassUuid = 0x0002FFFBu;
inline constexpr uint32_t kClassData = 0x0002FFFCu;
inline constexpr uint32_t kClassEnd = 0x80027FFFu;
inline constexpr uint32_t kAnonymous = 0x40008000u;

inline constexpr size_t kStartSize = 32;

// Class identifier of mesh objects, as its 16 bytes are stored.
inline constexpr uint8_t kMeshClassUuid[16] = {0xE4, 0xD4, 0xD7, 0x4E, 0x47, 0xE9, 0xD3, 0x11,
                                               0xBF, 0xE5, 0x00, 0x10, 0x83, 0x01, 0x22, 0xF0};

struct Chunk {
  uint32_t typecode = 0;
  uint64_t value = 0;    // a short chunk's value, a long chunk's length
  size_t offset = 0;     // of the typecode in the whole file
  ByteReader body;       // a long chunk's bytes without its CRC
  uint32_t stored_crc = 0;
  bool IsShort() const { return (typecode & kShortBit) != 0; }
  bool HasCrc() const { return !IsShort() && (typecode & kCrcBit) != 0; }
};

// The archive version from the 32-byte start ("3D Geometry File Format "
// and a right-aligned number of 8 characters); 0 (logged) when the bytes
// do not start that way.
int ArchiveVersion(const std::vector<uint8_t>& file);

class Archive {
 public:
  // `file` outlives the archive; `version` as read from its start.
  Archive(const std::vector<uint8_t>& file, int version);

  int Version() const { return version_; }
  size_t LengthSize() const { return version_ >= 50 ? 8 : 4; }

  // Reads the chunk at `reader`'s cursor and passes it. 0 (logged, with
  // `where` in front) when its header or body does not fit in `reader`.
  int NextChunk(ByteReader& reader, Chunk* chunk, const char* where) const;

  // Whether the CRC stored with a leaf chunk matches its body; logs a
  // mismatch. Chunks without the CRC bit match.
  static bool CrcMatches(const Chunk& chunk, const char* where);

  // Where `reader`'s cursor lies in the whole file (for messages).
  size_t FileOffset(const ByteReader& reader) const;

  // Reads an array as an archive stores it: a 4-byte size, and when not 0
  // the CRC-32 of the bytes, a method byte (0 plain, 1 deflated) and the
  // bytes, plain or as a deflate stream in one anonymous chunk. The size
  // must be `expected`; a stream that inflates to more or fewer bytes, a
  // wrong CRC or a size the data cannot hold refuse it. 1 read, 0 refused
  // (logged).
  int ReadArray(ByteReader& reader, uint64_t expected, std::vector<uint8_t>& out, const char* where) const;

 private:
  const std::vector<uint8_t>& file_;
  int version_;
};

// Inflates a zlib stream into exactly `size` bytes; refuses (0, logged)
// output beyond `size`, a short or broken stream.
int InflateExactly(const uint8_t* data, size_t length, size_t size, std::vector<uint8_t>& out, const char* where);

uint32_t Crc32(const uint8_t* data, size_t length);

}  // namespace zepcon::rhino
