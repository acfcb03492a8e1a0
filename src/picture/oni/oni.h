// Shared by the Oni texture codecs: the 192-byte texture header and the
// search for a resource's file by its number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zepcon {

class BitmapData;
class ByteReader;

namespace oni {

constexpr size_t kTxmpHeaderSize = 192;
constexpr size_t kTxmpNameOffset = 8;
constexpr size_t kTxmpNameField = 128;
constexpr size_t kTxmpWidthOffset = 140;
constexpr size_t kTxmpHeightOffset = 142;
constexpr size_t kTxmpFormatOffset = 144;
// The header's first field holds the resource number above its low 8 bits.
constexpr uint32_t kResourceShift = 8;
// File names carry the number as five digits.
constexpr uint32_t kResourceNumberLimit = 100000;

struct TxmpHeader {
  uint32_t id = 0;  // the resource number (the field shifted right by 8)
  char name[kTxmpNameField + 1] = {};
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
};

// Reads the header from the reader's position; false when it is short.
bool ReadTxmpHeader(ByteReader& reader, TxmpHeader& header);

// The path of the first file of the picture's folder whose name begins with
// the number as five digits and '-', through the picture's companion files;
// empty (logged) when there is none.
std::string FindResource(BitmapData& picture, uint32_t number);

}  // namespace oni
}  // namespace zepcon
