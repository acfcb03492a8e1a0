#include "model/model_data.h"

namespace zepcon {

int ModelData::InitData() {
  pool_.FreeAll();
  if (!pool_.CreateSegment(1, 0)) return 0;
  return pool_.Allocate();
}

int ModelData::DestroyData() { return pool_.FreeAll(); }

int ModelData::CheckModel() { return 1; }

}  // namespace zepcon
