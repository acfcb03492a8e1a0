#include "formats3d/ff7/ff7_common.h"

#include <cctype>
#include <cstring>

#include "core/companion_files.h"
#include "core/format_table.h"
#include "core/log.h"
#include "core/type_recognition.h"
#include "model/model_data.h"

namespace zepcon::ff7 {

std::string FindCompanion(ModelData& model, const std::string& path) {
  if (path.empty()) return {};
  if (model.companions) return model.companions->FindFile(path.c_str());
  // Without companion access only the exact name counts.
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return path;
  }
  return {};
}

FILE* OpenCompanion(ModelData& model, const std::string& path, const char* mode, std::string* found) {
  const std::string where = FindCompanion(model, path);
  if (where.empty()) return nullptr;
  FILE* file = std::fopen(where.c_str(), mode);
  if (file && found) *found = where;
  return file;
}

bool IsPFile(FILE* file, const std::string& path) {
  const int type = DetermineTypeOfFile(file, path.c_str());
  std::rewind(file);
  return type == TYPE_FF7_P;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void CloseBoneObject(ModelData& model, const char* name, int32_t owner) {
  model.SetObjectName(name);
  ObjectRecord record{};
  const uint32_t current = model.CurrentObject();
  if (model.GetObjectInfo(current, &record)) {
    record.owner = owner;
    model.SetObjectInfo(current, &record);
  }
  model.NewObject();
}

void AddTexturedMaterial(ModelData& model, const std::string& path) {
  const int32_t texture = model.LoadTexture(path.c_str());
  model.ResetMaterial();
  model.material.texture = texture;
  model.AddMaterial();
}

}  // namespace zepcon::ff7
