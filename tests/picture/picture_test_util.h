// Helpers shared by the picture tests: loading from bytes or files, reading
// a picture out as red, green, blue, alpha, and asking ImageMagick for its
// reading of a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "picture/bitmap_data.h"
#include "support/test_support.h"

namespace zepcon::test {

using PictureCodec = int (*)(BitmapData&, FILE*);

struct MagickPicture {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};


// Settings under which converting to RGBA changes no pixel.
inline void NeutralSettings(BitmapData& picture) {
  picture.settings.alpha_zero_to_pink = 0;
  picture.settings.pink_to_alpha_zero = 0;
  picture.settings.alpha_activated = 1;
}

inline int LoadFromBytes(BitmapData& picture, PictureCodec loader, const std::vector<uint8_t>& bytes) {
  // A real file, so the loader sees an ordinary seekable stream even for
  // zero bytes (fmemopen refuses an empty buffer).
  FILE* file = std::tmpfile();
  if (!file) return -1;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  const int result = loader(picture, file);
  std::fclose(file);
  return result;
}

inline int LoadFromFile(BitmapData& picture, PictureCodec loader, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return -1;
  const int result = loader(picture, file);
  std::fclose(file);
  return result;
}

// Runs `saver` into a temporary file and returns the bytes (empty on failure).
inline std::vector<uint8_t> SaveToBytes(BitmapData& picture, PictureCodec saver, int* result = nullptr) {
  FILE* file = std::tmpfile();
  std::vector<uint8_t> bytes;
  if (!file) return bytes;
  const int saved = saver(picture, file);
  if (result) *result = saved;
  if (saved) {
    std::fflush(file);
    const long size = std::ftell(file);
    std::rewind(file);
    bytes.resize(static_cast<size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
  }
  std::fclose(file);
  return bytes;
}

// The picture as RGBA8888 bytes, converted in place under neutral settings.
inline std::vector<uint8_t> RgbaPixels(BitmapData& picture) {
  NeutralSettings(picture);
  std::vector<uint8_t> pixels;
  if (!picture.BitmapConvertToMode(MODE_RGBA8888, 0)) return pixels;
  pixels.resize(size_t{picture.PixelCount()} * 4);
  if (!picture.GetPixels(0, picture.PixelCount(), pixels.data())) pixels.clear();
  return pixels;
}

inline void MakePicture(BitmapData& picture, uint32_t size_x, uint32_t size_y, uint32_t mode,
                 const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(size_x, size_y, mode), 1);
  const size_t pixels = size_t{size_x} * size_y;
  ASSERT_EQ(bytes.size(), mode == MODE_PALETTE_4BIT ? (pixels + 1) / 2 : pixels * picture.BytesPerPixel());
  ASSERT_EQ(picture.SetPixels(0, size_x * size_y, bytes.data()), 1);
}

// ImageMagick's 8-bit RGBA reading of the first frame of a file. Targa
// rows are kept in file order by ImageMagick (only an orientation tag says
// which is the top), so the reading is oriented before the comparison.
inline MagickPicture MagickRgba(const std::string& path) {
  MagickPicture result;
  std::string size_text;
  if (RunCommand("/usr/bin/identify -format '%w %h\\n' '" + path + "[0]' 2>/dev/null", &size_text) != 0) return result;
  std::istringstream size_stream(size_text);
  if (!(size_stream >> result.width >> result.height)) return result;
  if (RunCommand("/usr/bin/convert '" + path + "[0]' -auto-orient -depth 8 rgba:- 2>/dev/null", &size_text) != 0) return result;
  result.rgba.assign(size_text.begin(), size_text.end());
  result.ok = result.rgba.size() == size_t{result.width} * result.height * 4;
  return result;
}

inline void PutLe16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace zepcon::test
