// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadPpm(BitmapData&, FILE*) {
  LogMessage("LoadPpm: not built yet\n", LOG_ERROR);
  return 0;
}

int SavePpm(BitmapData&, FILE*) {
  LogMessage("SavePpm: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
