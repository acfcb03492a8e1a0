#include "fuzz_support.h"

#include <vector>

#include "core/log.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon::fuzz {

void QuietLog() {
  static bool done = false;
  if (done) return;
  SetLogMode(0);
  SetLogFileName("/dev/null");
  done = true;
}

FILE* OpenBytes(const uint8_t* data, size_t size) {
  static const uint8_t kEmpty = 0;
  // fmemopen of a zero-length buffer fails on some C libraries.
  if (size == 0) return fmemopen(const_cast<uint8_t*>(&kEmpty), 0, "rb");
  return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

namespace {

void SaveToNull(PictureCodec save, BitmapData& picture) {
  if (FILE* sink = std::fopen("/dev/null", "wb")) {
    save(picture, sink);
    std::fclose(sink);
  }
}

void CheckWholePicture(BitmapData& picture) {
  const uint64_t pixels = uint64_t{picture.SizeX()} * picture.SizeY();
  if (pixels == 0 || pixels != picture.PixelCount()) __builtin_trap();
  std::vector<uint8_t> all(pixels * (picture.BytesPerPixel() ? picture.BytesPerPixel() : 1));
  if (!picture.GetPixels(0, picture.PixelCount(), all.data())) __builtin_trap();
}

}  // namespace

int FuzzPictureLoader(const uint8_t* data, size_t size, PictureCodec load, PictureCodec save) {
  QuietLog();
  FILE* file = OpenBytes(data, size);
  if (!file) return 0;
  static BitmapData picture;
  if (!picture.InitData()) __builtin_trap();
  const int loaded = load(picture, file);
  std::fclose(file);
  if (loaded) {
    CheckWholePicture(picture);
    if (save) SaveToNull(save, picture);
    if (!picture.BitmapConvertToMode(MODE_RGBA8888)) __builtin_trap();
    CheckWholePicture(picture);
  }
  picture.DestroyData();
  return 0;
}

int FuzzModelLoader(const uint8_t* data, size_t size, ModelCodec load, ModelCodec save) {
  QuietLog();
  FILE* file = OpenBytes(data, size);
  if (!file) return 0;
  static ModelData model;
  if (!model.InitData()) __builtin_trap();
  const int loaded = load(model, file);
  std::fclose(file);
  if (loaded) {
    model.CheckModel();
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      save(model, sink);
      std::fclose(sink);
    }
  }
  model.DestroyData();
  return 0;
}

}  // namespace zepcon::fuzz
