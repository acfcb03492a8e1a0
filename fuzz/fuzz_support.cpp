#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
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
  // A file in memory with a descriptor of its own: it seeks, tells and
  // reports its size through fstat as a file on disk does, so the loaders
  // take the same path as in the program.
  const int fd = memfd_create("zepcon-fuzz", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  size_t written = 0;
  while (written < size) {
    const ssize_t got = write(fd, data + written, size - written);
    if (got <= 0) {
      close(fd);
      return nullptr;
    }
    written += static_cast<size_t>(got);
  }
  FILE* file = lseek(fd, 0, SEEK_SET) == 0 ? fdopen(fd, "rb") : nullptr;
  if (!file) close(fd);
  return file;
}

namespace {

void SaveToNull(PictureCodec save, BitmapData& picture) {
  if (FILE* sink = std::fopen("/dev/null", "wb")) {
    (void)save(picture, sink);
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

void PlaceInMissingFolder(ModelData& model, const char* name, const char* extension) {
  std::snprintf(model.settings.file_folder, sizeof model.settings.file_folder, "%s", "/nonexistent-zepcon-fuzz/");
  std::snprintf(model.settings.file_name, sizeof model.settings.file_name, "%s", name);
  std::snprintf(model.settings.file_extension, sizeof model.settings.file_extension, "%s", extension);
}

int FuzzModelLoader(const uint8_t* data, size_t size, ModelCodec load, ModelCodec save, PrepareModel prepare) {
  QuietLog();
  FILE* file = OpenBytes(data, size);
  if (!file) return 0;
  // One container for every run: InitData gives it back its first sizes
  // without a fresh allocation, so a small input costs little.
  static ModelData model;
  if (!model.InitData()) __builtin_trap();
  // Companion files (libraries, textures) are looked for and written in a
  // folder that does not exist, never beside the fuzzer.
  PlaceInMissingFolder(model, "fuzz", "");
  if (prepare) prepare(model, size);
  const int loaded = load(model, file);
  std::fclose(file);
  if (loaded) {
    model.CheckModel();
    if (!save) return 0;
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      (void)save(model, sink);
      std::fclose(sink);
    }
  }
  return 0;
}

}  // namespace zepcon::fuzz
