// Virtua Fighter 1 models: recognised by their extension (the type has no
// header test), then refused with the reason; a conversion writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

TEST(Bin, IsRecognisedByItsExtensionThenRefusedWithTheReason) {
  TempDir temp;
  const std::string source = temp.File("KAGE.BIN"), bmp = temp.File("pic.bin"), out = temp.File("kage.obj");
  WriteBytes(source, std::vector<uint8_t>(64, 0x5A));
  WriteBytes(bmp, {'B', 'M', 0, 0});
  EXPECT_EQ(DetermineTypeOfPath(source.c_str()), 30);
  EXPECT_EQ(DetermineTypeOfPath(bmp.c_str()), 34);  // a header test wins over the name
  LogCapture log;
  EXPECT_EQ(Convert(source, 30, nullptr, out, kObjType), 0);
  EXPECT_NE(log.ErrorText().find("Virtua Fighter 1 model layout has no public description; nothing loaded"),
            std::string::npos)
      << log.Text();
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace zepcon::test
