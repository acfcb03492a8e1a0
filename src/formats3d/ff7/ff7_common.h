// Helpers shared by the FF7 model loaders: companion files (part, texture
// and animation files named after the file being loaded) and the P part
// reader that both skeleton loaders call once per part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zepcon {

class ModelData;

namespace ff7 {

// The path under which a companion file exists: the path itself or, when
// the model has companion access, the entry of its folder whose name matches
// ignoring case. Empty when there is none.
std::string FindCompanion(ModelData& model, const std::string& path);

// Opens a companion file found as above; nullptr when there is none.
// `found` receives the path that was opened.
FILE* OpenCompanion(ModelData& model, const std::string& path, const char* mode, std::string* found = nullptr);

// Whether an open file is a P part by its type recognition; the file is
// rewound afterwards.
bool IsPFile(FILE* file, const std::string& path);

// What a P part needs from its caller: the number of textured groups (the
// textures the caller is to add right after the part), and the material
// count that the textured groups' indexes reach (material count at reading
// + highest texture number + 1; 0 without textured groups).
struct PPartInfo {
  uint32_t textured_groups = 0;
  uint64_t texture_materials_end = 0;
};

// Reads one P part from the open file into the model, after whatever the
// model already holds. 1, or 0 when the file was short (what was read stays
// stored). `info` may be null.
int LoadPPart(ModelData& model, FILE* file, PPartInfo* info);

// Reads the rest of an open RSD file: the P file it names (loaded as a
// part) and its textures (each loaded and given a material). `folder` is
// where the named files lie. `last_name` receives the base name of the last
// texture when there were any. 1 when the P part was loaded.
int ReadRsdPart(ModelData& model, FILE* rsd, const std::string& folder, std::string* last_name);

// The field model loader: an HRC skeleton with its parts and animations, or
// (`rsd_mode`) one RSD file read as a model of one part.
int LoadFieldModel(ModelData& model, FILE* file, bool rsd_mode);

// A fixed-size text field as a string (up to its first zero, never past it).
template <size_t N>
std::string TextOf(const char (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length]) ++length;
  return std::string(field, length);
}

// The text in upper case (ASCII letters only).
std::string UpperCase(std::string text);

// Names the current object, makes `owner` its owner index and opens the
// next object.
void CloseBoneObject(ModelData& model, const char* name, int32_t owner);

// Loads a texture by path and adds a material that uses it.
void AddTexturedMaterial(ModelData& model, const std::string& path);

}  // namespace ff7
}  // namespace zepcon
