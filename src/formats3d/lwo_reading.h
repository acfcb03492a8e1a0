// Small reading helpers shared by the two LightWave loaders: chunk
// identifiers compared and logged, texture names turned into paths, and the
// start of a load.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "model/model_data.h"

namespace zepcon::lwo {

inline bool IsId(const uint8_t* id, const char* text) { return std::memcmp(id, text, 4) == 0; }

// The identifier as it may be logged: bytes that are not printable show as '?'.
inline void PrintableId(const uint8_t* id, char out[5]) {
  for (int i = 0; i < 4; ++i) out[i] = (id[i] >= 0x20 && id[i] < 0x7F) ? static_cast<char>(id[i]) : '?';
  out[4] = '\0';
}

// A texture named relative to the object lies in the object's folder; an
// absolute name is tried as it stands (the texture search falls back on
// the last folder with its last component).
inline std::string TexturePath(const ModelData& model, const char* name) {
  const bool absolute = name[0] == '/' || name[0] == '\\' || (name[0] != '\0' && name[1] == ':');
  if (absolute) return name;
  const ConversionSettings& settings = model.settings;
  std::string path(settings.file_folder, strnlen(settings.file_folder, sizeof settings.file_folder));
  return path + name;
}

// What both LightWave loaders do first: big-endian FORM chunks padded to
// even lengths, LightWave's axes, and the whole file read. False (logged
// under `loader`) when the file cannot be read.
inline bool StartLoading(ModelData& model, FILE* file, const char* loader, std::vector<uint8_t>& bytes) {
  model.relative_writes = 0;
  ReadingHelper& reading = model.reading;
  reading.ResetLevels();
  reading.FormByteOrdering = 0;
  reading.FormSkipOddByte = 1;
  model.SetModelOrientation(2, 4, 1);
  return ReadRestOfFile(file, bytes, loader);
}

}  // namespace zepcon::lwo
