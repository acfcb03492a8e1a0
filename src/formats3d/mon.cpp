// "mon" models: an IFF FORM of type "REFL". Nothing public describes what
// the chunks inside hold, so the file is recognised and refused: guessing
// bytes into triangles would hand the user a model that is not there.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {

int LoadMon(ModelData& model, FILE* file) {
  (void)model;
  LogMessage("Loading mon...\n", LOG_MAJOR);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMon")) return 0;
  ByteReader reader(bytes);
  const uint8_t* header = reader.Take(12);
  if (!header || std::memcmp(header, "FORM", 4) != 0 || std::memcmp(header + 8, "REFL", 4) != 0) {
    LogMessage("LoadMon: the file is not an IFF FORM of type REFL\n", LOG_ERROR);
    return 0;
  }
  LogMessage("LoadMon: the layout of FORM REFL models has no public description; nothing loaded\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
