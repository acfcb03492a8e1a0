// Placeholder: replaced when this codec is built.
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {

int LoadJpeg(BitmapData&, FILE*) {
  LogMessage("LoadJpeg: not built yet\n", LOG_ERROR);
  return 0;
}

int SaveJpeg(BitmapData&, FILE*) {
  LogMessage("SaveJpeg: not built yet\n", LOG_ERROR);
  return 0;
}

}  // namespace zepcon
