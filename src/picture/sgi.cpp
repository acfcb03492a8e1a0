// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadSgi(BitmapData&, FILE*) {
  LogMessage("LoadSgi: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveSgi(BitmapData&, FILE*) {
  LogMessage("SaveSgi: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
