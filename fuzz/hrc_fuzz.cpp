// seeds: models/ff7 models/ff7/cloud_field
// FF7 field skeleton loader on arbitrary bytes: never a crash, a hang or a read past the
// data; what loads is checked and saved as OFF. The companion files it
// names are looked for in a folder that does not exist, so the input never
// reaches files of the machine it runs on.
#include <cstdio>

#include "formats3d/model_codecs.h"
#include "fuzz_support.h"
#include "model/model_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zepcon;
  fuzz::QuietLog();
  FILE* file = fuzz::OpenBytes(data, size);
  if (!file) return 0;
  static ModelData model;
  if (!model.InitData()) __builtin_trap();
  std::snprintf(model.settings.file_folder, sizeof model.settings.file_folder, "%s", "/nonexistent-zepcon-fuzz/");
  std::snprintf(model.settings.file_name, sizeof model.settings.file_name, "%s", "skel");
  std::snprintf(model.settings.file_extension, sizeof model.settings.file_extension, "%s", "hrc");
  model.settings.ff7_field_anims = static_cast<int32_t>(size % 2);
  const int loaded = LoadHrc(model, file);
  std::fclose(file);
  if (loaded) {
    model.CheckModel();
    if (FILE* sink = std::fopen("/dev/null", "wb")) {
      SaveOff(model, sink);
      std::fclose(sink);
    }
  }
  model.DestroyData();
  return 0;
}
