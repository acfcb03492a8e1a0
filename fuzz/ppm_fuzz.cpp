// seeds: pictures/ppm pictures/ppm/bad pictures/ppm/refuse
// Pixel map loader on arbitrary bytes; what loads is checked, converted and saved
// again in its own format.
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
  const int loaded = zepcon::LoadPpm(picture, file);
  std::fclose(file);
  if (loaded) {
    const uint64_t pixels = uint64_t{picture.SizeX()} * picture.SizeY();
    if (pixels == 0 || pixels != picture.PixelCount()) __builtin_trap();
    // Every pixel is readable in the loaded layout.
    std::vector<uint8_t> all(pixels * picture.BytesPerPixel());
    if (!picture.GetPixels(0, picture.PixelCount(), all.data())) __builtin_trap();
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      zepcon::SavePpm(picture, sink);
      std::fclose(sink);
    }
  }
  picture.DestroyData();
  return 0;
}
