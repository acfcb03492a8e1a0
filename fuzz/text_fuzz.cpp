// seeds: models/txt
// Plain text load and save: what goes in comes out byte for byte.
#include <cstring>
#include <vector>

#include "core/file_stream.h"
#include "core/text_data.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  FILE* file = zepcon::fuzz::OpenBytes(data, size);
  if (!file) return 0;
  zepcon::FileStream in;
  in.Attach(file, zepcon::FileStream::kText, zepcon::FileStream::kRead);
  zepcon::TextData text;
  if (!text.InitData() || !zepcon::LoadText(text, in)) __builtin_trap();
  if (text.Length() != size) __builtin_trap();
  std::vector<uint8_t> back(size);
  if (size && !text.ReadText(0, static_cast<uint32_t>(size), back.data())) __builtin_trap();
  if (size && std::memcmp(back.data(), data, size) != 0) __builtin_trap();
  text.DestroyData();
  return 0;
}
