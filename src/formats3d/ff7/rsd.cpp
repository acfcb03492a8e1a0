// "FF7 rsd model": a text file that names one part of a field model. Among
// other lines, "PLY=" names the part's polygon file (its P file has the
// extension cut to its first letter), "NTEX=" the number of textures and
// each "TEX[i]=" line one texture, loaded as <base name>.tex from the same
// folder. An RSD opened on its own is a model of one part without skeleton.
#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"
#include "formats3d/ff7/ff7_common.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

// The value after a "KEY=" prefix, without the line end and surrounding blanks.
std::string ValueAfter(const char* line, size_t prefix_length) {
  std::string value(line + prefix_length);
  const size_t end = value.find_last_not_of(" \t\r\n");
  value.erase(end == std::string::npos ? 0 : end + 1);
  const size_t start = value.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : value.substr(start);
}

// The P file of a "PLY=" value: cut after the first character of the
// extension, so AAAC.PLY names AAAC.P.
std::string PFileName(const std::string& value) {
  const size_t dot = value.find_last_of('.');
  if (dot == std::string::npos || dot + 1 >= value.size()) return value;
  return value.substr(0, dot + 2);
}

// Reads lines up to the one starting "PLY="; its value, or empty at the end.
bool FindPlyLine(ModelData& model, FILE* rsd, std::string* value) {
  while (model.reading.ReadLine(rsd)) {
    if (std::strncmp(model.reading.line, "PLY=", 4) == 0) {
      *value = ValueAfter(model.reading.line, 4);
      return true;
    }
  }
  return false;
}

// Opens, checks and loads the P file; 1 when it loaded.
int LoadNamedP(ModelData& model, const std::string& path) {
  std::string found;
  FILE* p = ff7::OpenCompanion(model, path, "rb", &found);
  if (!p) {
    LogMessage("(could not open P file)", LOG_ERROR);
    LogMessage("\n", LOG_ERROR);
    return 0;
  }
  int loaded = 0;
  if (!ff7::IsPFile(p, found)) {
    LogMessage("(file is not P)", LOG_ERROR);
    LogMessage("\n", LOG_ERROR);
  } else {
    loaded = ff7::LoadPPart(model, p, nullptr);
  }
  std::fclose(p);
  return loaded;
}

// Reads the texture lines until the announced number was met.
void ReadTextures(ModelData& model, FILE* rsd, const std::string& folder, std::string* last_name) {
  bool announced = false;
  uint64_t wanted = 0;
  uint64_t loaded = 0;
  while (!(announced && loaded >= wanted)) {
    if (!model.reading.ReadLine(rsd)) {
      LogMessage("Could not find complete texture info\n", LOG_ERROR);
      return;
    }
    const char* line = model.reading.line;
    if (std::strncmp(line, "NTEX=", 5) == 0) {
      announced = true;
      wanted = std::strtoull(line + 5, nullptr, 10);
      LogFormatted(LOG_DETAIL, " (%lu) textures\n", static_cast<unsigned long>(wanted));
    } else if (std::strncmp(line, "TEX[", 4) == 0) {
      const char* equals = std::strchr(line, '=');
      std::string base = equals ? ValueAfter(equals, 1) : std::string();
      base.erase(std::min(base.find('.'), base.size()));
      LogFormatted(LOG_DETAIL, " Loading texture [%s]\n", base.c_str());
      ff7::AddTexturedMaterial(model, folder + base + ".tex");
      *last_name = base;
      ++loaded;
    }
  }
}

}  // namespace

namespace ff7 {

int ReadRsdPart(ModelData& model, FILE* rsd, const std::string& folder, std::string* last_name) {
  std::string value;
  if (!FindPlyLine(model, rsd, &value)) {
    LogMessage("(could not find PLY=)", LOG_ERROR);
    LogMessage("\n", LOG_ERROR);
    return 0;
  }
  const int loaded = LoadNamedP(model, folder + PFileName(value));
  ReadTextures(model, rsd, folder, last_name);
  return loaded;
}

}  // namespace ff7

int LoadRsd(ModelData& model, FILE* file) { return ff7::LoadFieldModel(model, file, true); }

}  // namespace zepcon
