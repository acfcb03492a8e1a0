#include "picture/bitmap_data.h"

namespace zepcon {

int BitmapData::InitData() {
  pool_.FreeAll();
  if (!pool_.CreateSegment(1, 0)) return 0;
  return pool_.Allocate();
}

int BitmapData::DestroyData() { return pool_.FreeAll(); }

int BitmapData::RemoveAlpha() { return 1; }

}  // namespace zepcon
