// Mafia textures: the pixel layout chosen by the extension, short and
// hostile files refused before allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "core/file_stream.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

Bytes Mafia(uint32_t width, uint32_t height, const Bytes& data) {
  Bytes bytes(22, 0);
  std::memcpy(bytes.data(), "TEX", 4);
  PutLe16(bytes, 6, width);
  PutLe16(bytes, 10, height);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

// Loads `bytes` as a file with the given extension through a stream.
int LoadAs(BitmapData& picture, const Bytes& bytes, const char* extension) {
  TempDir temp;
  const std::string path = temp.File(std::string("a.") + extension);
  WriteBytes(path, bytes);
  if (!picture.InitData()) return -1;
  std::strncpy(picture.settings.file_extension, extension, sizeof picture.settings.file_extension - 1);
  FileStream stream;
  if (!stream.Open(path.c_str(), FileStream::kBinary, FileStream::kRead)) return -1;
  return Load555(picture, stream);
}

TEST(Mafia555, TheExtensionChoosesTheLayout) {
  const Bytes data = {0x00, 0xF8, 0x1F, 0x80};
  const std::tuple<const char*, uint32_t, Bytes> cases[] = {
      {"565", MODE_RGB565, {0, 0, 248, 255, 248, 0, 128, 255}},
      // Red in bits 10-14, blue low, bit 15 set is opaque.
      {"dds", MODE_BGRA5551_AFLIP, {240, 0, 0, 255, 0, 0, 248, 255}},
      {"555", MODE_BGRA5551_AFLIP, {240, 0, 0, 255, 0, 0, 248, 255}},
  };
  for (const auto& [extension, mode, rgba] : cases) {
    SCOPED_TRACE(extension);
    BitmapData picture;
    LogCapture log;
    ASSERT_EQ(LoadAs(picture, Mafia(2, 1, data), extension), 1) << log.Text();
    EXPECT_TRUE(log.Contains(" reading header\n reading data\n...mafia tex loaded\n"));
    EXPECT_EQ(picture.Mode(), mode);
    EXPECT_EQ(RawPixels(picture), data);
    EXPECT_EQ(RgbaPixels(picture), rgba);
  }
}

TEST(Mafia555, ShortAndHostileFilesAreRefusedBeforeAllocation) {
  const std::pair<Bytes, const char*> cases[] = {
      {Mafia(2, 2, {1, 2, 3, 4, 5, 6}), "  error reading !\n"},
      {Mafia(65535, 65535, {1, 2}), "file too short"},
      {Mafia(0, 3, {}), "no pixels"},
      {Bytes(10, 0), "shorter than its header"},
  };
  for (const auto& [file, message] : cases) {
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadAs(picture, file, "555"), 0);
    EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
    EXPECT_TRUE(log.Contains(message)) << log.Text();
  }
  const Bytes whole = Mafia(3, 1, {1, 2, 3, 4, 5, 6});
  for (size_t length = 0; length < whole.size(); ++length) {
    BitmapData picture;
    LogCapture log;
    EXPECT_EQ(LoadAs(picture, Bytes(whole.begin(), whole.begin() + length), "565"), 0);
    EXPECT_FALSE(log.ErrorText().empty()) << length;
  }
}

}  // namespace
}  // namespace zepcon::test
