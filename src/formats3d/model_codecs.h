// Loaders and savers of the 3D model formats. Each is handed the open file
// and returns 1 on success, 0 on failure with the reason in the log. None of
// them closes the file.
#pragma once

#include <cstdio>

namespace zepcon {

class FileStream;
class ModelData;

[[nodiscard]] int LoadRaw(ModelData& model, FILE* file);
[[nodiscard]] int SaveRaw(ModelData& model, FILE* file);
[[nodiscard]] int LoadOff(ModelData& model, FILE* file);
[[nodiscard]] int SaveOff(ModelData& model, FILE* file);
[[nodiscard]] int Load3df(ModelData& model, FILE* file);
[[nodiscard]] int Save3df(ModelData& model, FILE* file);
[[nodiscard]] int LoadJaw(ModelData& model, FILE* file);
[[nodiscard]] int SaveJaw(ModelData& model, FILE* file);
[[nodiscard]] int LoadMd3(ModelData& model, FILE* file);
[[nodiscard]] int LoadMdx(ModelData& model, FILE* file);
[[nodiscard]] int Load4ds(ModelData& model, FILE* file);
[[nodiscard]] int LoadM(ModelData& model, FILE* file);
[[nodiscard]] int LoadMod(ModelData& model, FILE* file);
[[nodiscard]] int SaveMod(ModelData& model, FILE* file);
// Final Fantasy 7: a P part, a field skeleton (HRC) with its parts and
// animations, one RSD part, a battle skeleton with its parts and animation.
[[nodiscard]] int LoadP(ModelData& model, FILE* file);
[[nodiscard]] int LoadHrc(ModelData& model, FILE* file);
[[nodiscard]] int LoadRsd(ModelData& model, FILE* file);
[[nodiscard]] int LoadFf7Battle(ModelData& model, FILE* file);
// Final Fantasy 8: a monster's battle file (skeleton, geometry, textures).
[[nodiscard]] int LoadFf8Dat(ModelData& model, FILE* file);
[[nodiscard]] int LoadObj(ModelData& model, FILE* file);
[[nodiscard]] int SaveObj(ModelData& model, FILE* file);
[[nodiscard]] int SaveGltf(ModelData& model, FILE* file);  // the ".bin" and PNG textures beside
[[nodiscard]] int SaveGlb(ModelData& model, FILE* file);
[[nodiscard]] int LoadX(ModelData& model, FILE* file);
[[nodiscard]] int LoadXsi(ModelData& model, FILE* file);
[[nodiscard]] int SaveXsi(ModelData& model, FILE* file);
[[nodiscard]] int Load3ds(ModelData& model, FILE* file);
[[nodiscard]] int Save3ds(ModelData& model, FILE* file);
[[nodiscard]] int LoadAsc(ModelData& model, FILE* file);
[[nodiscard]] int SaveAsc(ModelData& model, FILE* file);
[[nodiscard]] int LoadAse(ModelData& model, FileStream& stream);
[[nodiscard]] int SaveAse(ModelData& model, FileStream& stream);
[[nodiscard]] int LoadMs3d(ModelData& model, FILE* file);
[[nodiscard]] int SaveMs3d(ModelData& model, FILE* file);
[[nodiscard]] int LoadMs3dText(ModelData& model, FILE* file);
[[nodiscard]] int SaveMs3dText(ModelData& model, FILE* file);
[[nodiscard]] int LoadLwo(ModelData& model, FILE* file);
[[nodiscard]] int SaveLwo(ModelData& model, FILE* file);
[[nodiscard]] int LoadLwo2(ModelData& model, FILE* file);
[[nodiscard]] int SaveLwo2(ModelData& model, FILE* file);
[[nodiscard]] int LoadFlt(ModelData& model, FILE* file);
[[nodiscard]] int LoadB3d(ModelData& model, FileStream& stream);
// Oni: a character class with its body parts, one geometry instance.
[[nodiscard]] int LoadOncc(ModelData& model, FILE* file);
[[nodiscard]] int LoadM3gm(ModelData& model, FILE* file);
[[nodiscard]] int SaveB3d(ModelData& model, FileStream& stream);
[[nodiscard]] int LoadCob(ModelData& model, FILE* file);
[[nodiscard]] int Load3dm(ModelData& model, FILE* file);
[[nodiscard]] int LoadIob(ModelData& model, FILE* file);
// Formats whose model layout has no public description: recognised, then
// refused with the reason in the log.
[[nodiscard]] int LoadBin(ModelData& model, FILE* file);
[[nodiscard]] int LoadMon(ModelData& model, FILE* file);

}  // namespace zepcon
