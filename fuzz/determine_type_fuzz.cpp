// seeds: models/off models/3ds models/lwo models/ms3d pictures/bmp pictures/jpg pictures/tim pictures/blp
// Type recognition on arbitrary bytes and names: never a crash, never a read
// beyond the header or the file.
#include <cstring>
#include <string>

#include "core/format_table.h"
#include "core/type_recognition.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  // The first byte picks a file name so that the extension rules run too.
  static const char* kNames[] = {"a.obj", "a.tga", "a.txt", "a.lwo", "name", "a.tex", "a.b.c.rgb", "x.3ds"};
  const char* name = kNames[size ? data[0] % 8 : 0];
  FILE* file = zepcon::fuzz::OpenBytes(data, size);
  if (!file) return 0;
  const int type = zepcon::DetermineTypeOfFile(file, name);
  std::fclose(file);
  if (type != zepcon::TYPE_UNKNOWN && !zepcon::FileTypeRow(type)) __builtin_trap();
  return 0;
}
