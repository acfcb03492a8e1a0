// "Oni model" files: one extracted geometry instance (M3GM) whose points,
// normals, texture coordinates, triangle strips and texture are instances
// of their own, found in the same folder by resource number. The geometry
// becomes one object; the type is read-only.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/oni/oni_instances.h"
#include "model/model_data.h"

namespace zepcon {

int LoadM3gm(ModelData& model, FILE* file) {
  LogMessage("Loading m3gm...\n", LOG_MAJOR);
  model.relative_writes = 1;
  // Oni's height is y.
  model.SetModelOrientation(2, 0, 4);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadM3gm")) return 0;
  const std::string name = oni::ResourceName(
      std::string(model.settings.file_name, strnlen(model.settings.file_name, sizeof model.settings.file_name)));
  const double origin[3] = {0, 0, 0};
  if (!oni::AddGeometry(model, bytes, name.empty() ? "m3gm" : name.c_str(), origin, 0)) return 0;
  model.FinishObjects();
  LogMessage("...m3gm loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
