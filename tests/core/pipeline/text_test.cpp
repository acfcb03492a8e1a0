// Plain text: the one type every build loads and saves; a conversion
// copies the bytes exactly, line ends and all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/pipeline/convert_one_file.h"
#include "core/pipeline/file_converter.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

std::vector<uint8_t> PatternBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(state >> 16);
  }
  // Sprinkle CR LF pairs and lone CRs: text must pass through untouched.
  for (size_t i = 7; i + 1 < size; i += 97) {
    bytes[i] = '\r';
    bytes[i + 1] = '\n';
  }
  for (size_t i = 50; i < size; i += 211) bytes[i] = '\r';
  return bytes;
}

TEST(PlainText, ConvertsByteIdentically) {
  test::TempDir dir;
  LogCapture log;
  FileConverter converter;
  const OptionsRecord options = DefaultOptions();
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{3 * 65535 + 17}}) {
    const std::vector<uint8_t> bytes = PatternBytes(size);
    const std::string source = dir.File("in" + std::to_string(size) + ".txt");
    const std::string destination = dir.File("out" + std::to_string(size) + ".txt");
    test::WriteBytes(source, bytes);
    const ConversionOutcome outcome =
        ConvertOneFile(converter, options, source.c_str(), TYPE_TEXT, destination.c_str(), TYPE_TEXT);
    ASSERT_TRUE(outcome.ok) << size << ": " << outcome.status << "\n" << log.ErrorText();
    EXPECT_EQ(outcome.status, "Succesfully converted");
    EXPECT_EQ(test::ReadBytes(destination), bytes) << size;
    EXPECT_EQ(converter.GetHeldKind(), 0u);
  }
  EXPECT_TRUE(log.Contains("Loading txt...\n"));
  EXPECT_TRUE(log.Contains("...txt saved\n"));
}

}  // namespace
}  // namespace zepcon
