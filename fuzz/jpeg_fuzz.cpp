// seeds: pictures/jpg pictures/jpg/bad
// JPEG loader on arbitrary bytes; what loads is saved again.
#include <cstdio>

#include "fuzz_support.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  FILE* file = zepcon::fuzz::OpenBytes(data, size);
  if (!file) return 0;
  static zepcon::BitmapData picture;
  if (!picture.InitData()) __builtin_trap();
  const int loaded = zepcon::LoadJpeg(picture, file);
  std::fclose(file);
  if (loaded) {
    if (picture.SizeX() == 0 || picture.SizeY() == 0) __builtin_trap();
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      zepcon::SaveJpeg(picture, sink);
      std::fclose(sink);
    }
  }
  picture.DestroyData();
  return 0;
}
