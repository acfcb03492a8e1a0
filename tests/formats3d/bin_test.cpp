// Virtua Fighter 1 models: recognised by their extension (the type has no
// header test), then refused with the reason; a conversion fails and
// writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int kVf1Type = 30;

TEST(Bin, IsRecognisedByItsExtensionUnlessAHeaderSaysOtherwise) {
  TempDir temp;
  const std::string plain = temp.File("KAGE.BIN"), lower = temp.File("kage.bin"), bmp = temp.File("pic.bin");
  WriteBytes(plain, {0, 1, 2, 3, 4, 5, 6, 7});
  WriteBytes(lower, {});
  WriteBytes(bmp, {'B', 'M', 0, 0});
  EXPECT_EQ(DetermineTypeOfPath(plain.c_str()), kVf1Type);
  EXPECT_EQ(DetermineTypeOfPath(lower.c_str()), kVf1Type);
  EXPECT_EQ(DetermineTypeOfPath(bmp.c_str()), 34);
}

TEST(Bin, IsRefusedWithTheReasonAndAConversionWritesNothing) {
  for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>(64, 0x5A)}) {
    SCOPED_TRACE(bytes.size());
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadBin, bytes), 0);
    EXPECT_NE(log.ErrorText().find("Virtua Fighter 1 model layout has no public description; nothing loaded"),
              std::string::npos)
        << log.Text();
    EXPECT_EQ(fresh.model.vertexs_count, 0u);
  }
  TempDir temp;
  const std::string source = temp.File("kage.bin"), destination = temp.File("kage.obj");
  WriteBytes(source, std::vector<uint8_t>(64, 0x5A));
  EXPECT_EQ(Convert(source, kVf1Type, nullptr, destination, kObjType), 0);
  EXPECT_FALSE(std::filesystem::exists(destination));
}

}  // namespace
}  // namespace zepcon::test
