// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadBmp(BitmapData&, FILE*) {
  LogMessage("LoadBmp: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveBmp(BitmapData&, FILE*) {
  LogMessage("SaveBmp: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
