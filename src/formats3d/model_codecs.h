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
int LoadObj(ModelData& model, FILE* file);
int SaveObj(ModelData& model, FILE* file);
int Load3ds(ModelData& model, FILE* file);
int Save3ds(ModelData& model, FILE* file);
int LoadAsc(ModelData& model, FILE* file);
int SaveAsc(ModelData& model, FILE* file);

}  // namespace zepcon
