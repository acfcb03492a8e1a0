// Helpers shared by the picture tests: loading from bytes or files, reading
// a picture out as red, green, blue, alpha, asking ImageMagick for its
// reading of a file, refusals and truncated files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/byte_reader.h"
#include "picture/bitmap_data.h"
#include "support/test_support.h"

namespace zepcon::test {

using Bytes = std::vector<uint8_t>;
using PictureCodec = int (*)(BitmapData&, FILE*);

// Settings under which converting to RGBA changes no pixel.
inline void NeutralSettings(BitmapData& picture) {
  picture.settings.alpha_zero_to_pink = 0;
  picture.settings.pink_to_alpha_zero = 0;
  picture.settings.alpha_activated = 1;
}

// Empties `picture` and runs `loader` on `bytes` (a real temporary file, so
// the loader sees an ordinary seekable stream even for zero bytes).
inline int LoadFromBytes(BitmapData& picture, PictureCodec loader, const Bytes& bytes) {
  FILE* file = std::tmpfile();
  if (!file || !picture.InitData()) return -1;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  const int result = loader(picture, file);
  std::fclose(file);
  return result;
}

inline int LoadFromFile(BitmapData& picture, PictureCodec loader, const std::string& path) {
  return LoadFromBytes(picture, loader, ReadBytes(path));
}

inline std::string CorpusPath(const std::string& relative) { return (CorpusDir() / relative).string(); }

// Runs `saver` into a temporary file and returns the bytes (empty on failure).
inline Bytes SaveToBytes(BitmapData& picture, PictureCodec saver, int* result = nullptr) {
  FILE* file = std::tmpfile();
  Bytes bytes;
  if (!file) return bytes;
  const int saved = saver(picture, file);
  if (result) *result = saved;
  if (saved) {
    std::fflush(file);
    bytes.resize(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
  }
  std::fclose(file);
  return bytes;
}

// The picture's bytes in its own layout.
inline Bytes RawPixels(const BitmapData& picture) {
  Bytes pixels(size_t{picture.PixelCount()} * picture.BytesPerPixel());
  EXPECT_EQ(picture.GetPixels(0, picture.PixelCount(), pixels.data()), 1);
  return pixels;
}

// The picture as RGBA8888 bytes, converted in place under neutral settings.
inline Bytes RgbaPixels(BitmapData& picture) {
  NeutralSettings(picture);
  if (!picture.BitmapConvertToMode(MODE_RGBA8888, 0)) return {};
  return RawPixels(picture);
}

inline void MakePicture(BitmapData& picture, uint32_t size_x, uint32_t size_y, uint32_t mode, const Bytes& bytes) {
  ASSERT_EQ(picture.InitData(), 1);
  ASSERT_EQ(picture.InitPicture(size_x, size_y, mode), 1);
  const size_t pixels = size_t{size_x} * size_y;
  ASSERT_EQ(bytes.size(), mode == MODE_PALETTE_4BIT ? (pixels + 1) / 2 : pixels * picture.BytesPerPixel());
  ASSERT_EQ(picture.SetPixels(0, size_x * size_y, bytes.data()), 1);
}

// The loader refuses `file`, logging an error that holds `message`; when
// `unallocated`, before the picture was given any size.
inline void ExpectRefused(PictureCodec loader, const Bytes& file, const std::string& message,
                          bool unallocated = false) {
  BitmapData picture;
  LogCapture log;
  EXPECT_EQ(LoadFromBytes(picture, loader, file), 0) << message;
  if (unallocated) { EXPECT_EQ(picture.Mode(), MODE_UNDEFINED) << message; }
  EXPECT_FALSE(log.ErrorText().empty()) << message;
  EXPECT_TRUE(log.Contains(message)) << message << " not in:\n" << log.Text();
}

// The saver refuses a picture of `width` x `height` gray pixels as too large.
inline void ExpectSaveRefusedAsTooLarge(PictureCodec saver, uint32_t width, uint32_t height) {
  BitmapData picture;
  MakePicture(picture, width, height, MODE_GRAY_8BIT, Bytes(size_t{width} * height, 1));
  LogCapture log;
  int result = -1;
  SaveToBytes(picture, saver, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(log.Contains("too large")) << log.Text();
}

// Loads every proper prefix of `whole`: each must load or fail with a logged
// error. Returns how many loaded; the whole file must load.
inline size_t LoadEveryPrefix(PictureCodec loader, const Bytes& whole) {
  size_t loaded = 0;
  for (size_t length = 0; length < whole.size(); ++length) {
    BitmapData picture;
    LogCapture log;
    const int result = LoadFromBytes(picture, loader, Bytes(whole.begin(), whole.begin() + length));
    EXPECT_TRUE(result == 0 || result == 1) << "length " << length;
    if (result == 1) ++loaded;
    if (result == 0 && log.ErrorText().empty()) {
      ADD_FAILURE() << "failed silently at length " << length;
      break;
    }
  }
  BitmapData picture;
  EXPECT_EQ(LoadFromBytes(picture, loader, whole), 1);
  return loaded;
}

struct MagickPicture {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes rgba;
};

// ImageMagick's 8-bit reading of the first frame of a file (`map` "rgba" or
// "cmyk"). Targa rows are kept in file order by ImageMagick (only
// an orientation tag says which is the top), so the reading is oriented;
// JPEG loaders ignore orientation tags, so those are read unoriented.
inline MagickPicture MagickRead(const std::string& path, const std::string& map = "rgba", bool orient = true) {
  MagickPicture result;
  std::string text;
  if (RunCommand("/usr/bin/identify -format '%w %h\\n' '" + path + "[0]' 2>/dev/null", &text) != 0) return result;
  std::istringstream size_stream(text);
  if (!(size_stream >> result.width >> result.height)) return result;
  const std::string options = orient ? " -auto-orient -depth 8 " : " -depth 8 ";
  if (RunCommand("/usr/bin/convert '" + path + "[0]'" + options + map + ":- 2>/dev/null", &text) != 0) return result;
  result.rgba.assign(text.begin(), text.end());
  result.ok = result.rgba.size() == size_t{result.width} * result.height * 4;
  return result;
}

// Header fields of hand-made files, through the one copy of the encoders
// (bytes.at() refuses a field past the end of the file being made).
inline void PutLe16(Bytes& bytes, size_t at, uint32_t value) { StoreLe16(&bytes.at(at + 1) - 1, value); }
inline void PutLe32(Bytes& bytes, size_t at, uint32_t value) { StoreLe32(&bytes.at(at + 3) - 3, value); }
inline uint32_t GetLe32(const Bytes& bytes, size_t at) { return LoadLe32(&bytes.at(at + 3) - 3); }
inline void PutBe16(Bytes& bytes, size_t at, uint32_t value) { StoreBe16(&bytes.at(at + 1) - 1, value); }
inline void PutBe32(Bytes& bytes, size_t at, uint32_t value) { StoreBe32(&bytes.at(at + 3) - 3, value); }

}  // namespace zepcon::test
