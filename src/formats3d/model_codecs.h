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
int Load3df(ModelData& model, FILE* file);
int Save3df(ModelData& model, FILE* file);
int LoadJaw(ModelData& model, FILE* file);
int SaveJaw(ModelData& model, FILE* file);
int LoadMd3(ModelData& model, FILE* file);
int LoadRevolt(ModelData& model, FILE* file);
int LoadMod(ModelData& model, FILE* file);
int SaveMod(ModelData& model, FILE* file);

}  // namespace zepcon
