// seeds: pictures/blp pictures/blp/refuse
// BLP1 loader on arbitrary bytes; what loads is converted to the working
// layout and read back whole.
#include <cstdio>
#include <vector>

#include "fuzz_support.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  FILE* file = zepcon::fuzz::OpenBytes(data, size);
  if (!file) return 0;
  static zepcon::BitmapData picture;
  if (!picture.InitData()) __builtin_trap();
  const int loaded = zepcon::LoadBlp(picture, file);
  std::fclose(file);
  if (loaded) {
    if (!picture.BitmapConvertToMode(zepcon::MODE_RGBA8888)) __builtin_trap();
    std::vector<uint8_t> pixels(size_t{picture.PixelCount()} * 4);
    if (!picture.GetPixels(0, picture.PixelCount(), pixels.data())) __builtin_trap();
  }
  picture.DestroyData();
  return 0;
}
