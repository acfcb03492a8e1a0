// seeds: models/xsi models/xsi/icebergs/Models models/xsi/windmill2/Models
// dotXSI text loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked and saved again in the same form.
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, zepcon::LoadXsi, zepcon::SaveXsi);
}
