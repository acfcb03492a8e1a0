// seeds: pictures/tex pictures/tim
// Mafia texture loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is whole. The first byte's low bit picks the
// extension, so both layouts are tried.
#include <cstring>

#include "core/file_stream.h"
#include "fuzz_support.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace {

// The stream borrows the caller's file and gives it back unclosed.
int LoadThroughStream(zepcon::BitmapData& picture, FILE* file) {
  zepcon::FileStream stream;
  if (!stream.Attach(file, zepcon::FileStream::kBinary, zepcon::FileStream::kRead)) return 0;
  const int result = zepcon::Load555(picture, stream);
  stream.Detach();
  return result;
}

int LoadAs565(zepcon::BitmapData& picture, FILE* file) {
  std::strcpy(picture.settings.file_extension, "565");
  return LoadThroughStream(picture, file);
}

int LoadAs555(zepcon::BitmapData& picture, FILE* file) {
  std::strcpy(picture.settings.file_extension, "555");
  return LoadThroughStream(picture, file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzPictureLoader(data, size, size > 0 && (data[0] & 1) ? LoadAs565 : LoadAs555, nullptr);
}
