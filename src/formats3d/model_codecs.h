// Loaders and savers of the 3D model formats. Each is handed the open file
// and returns 1 on success, 0 on failure with the reason in the log. None of
// them closes the file.
#pragma once

#include <cstdio>

namespace zepcon {

class ModelData;

int LoadRaw(ModelData& model, FILE* file);
int SaveRaw(ModelData& model, FILE* file);
int LoadOff(ModelData& model, FILE* file);
int SaveOff(ModelData& model, FILE* file);
// Final Fantasy 7: a P part, a field skeleton (HRC) with its parts and
// animations, one RSD part, a battle skeleton with its parts and animation.
int LoadP(ModelData& model, FILE* file);
int LoadHrc(ModelData& model, FILE* file);
int LoadRsd(ModelData& model, FILE* file);
int LoadFf7Battle(ModelData& model, FILE* file);

}  // namespace zepcon
