// What the picture savers share: exact writes and writing every pixel.
// (Loaders read the whole file and go through core/byte_reader.h, which also
// holds the one copy of the endian decoders and encoders.)
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/byte_reader.h"

namespace zepcon {
class BitmapData;
}  // namespace zepcon

namespace zepcon::picture_io {

inline bool WriteExact(FILE* file, const void* source, size_t length) {
  return length == 0 || std::fwrite(source, 1, length, file) == length;
}
// Writes every pixel in the picture's current layout, top row first, in
// runs that fit the line buffer.
bool WriteAllPixels(BitmapData& picture, FILE* file);

}  // namespace zepcon::picture_io
