#include "fuzz_support.h"

#include "core/log.h"

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

}  // namespace zepcon::fuzz
