// The textured cube the preview can put around a model, so that a model
// seen from inside (rooms, levels) has walls to stand against.
#pragma once

#include <string>

namespace zepcon {
class ModelData;
}

namespace zepcon::ui {

// Adds the cube (index 0, "cube.tga") or the slightly smaller one (index 1,
// "cube2.tga") around the model's bounding box; the picture is taken from
// `folder` (ending in a separator). 1 when added, 0 for a bad index.
int AddOuterWalls(ModelData& model, int index, const std::string& folder);

}  // namespace zepcon::ui
