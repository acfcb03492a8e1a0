// The conversion pipeline: loads a file into the container of its kind,
// fixes what the loader produced and saves the container as another type of
// the same kind. Driven in five calls: InitData, LoadFile, FixData, SaveFile,
// DestroyData.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/conversion_settings.h"
#include "core/format_table.h"
#include "core/pipeline/dispatch_table.h"
#include "core/pipeline/pipeline_companions.h"
#include "core/text_data.h"

namespace zepcon {

class ModelData;
class BitmapData;

// Splits a path into folder (with its separator; "./" when there is none),
// base name and extension (after the leftmost dot of the last component).
void SplitPath(const char* path, ConversionSettings& settings);

class FileConverter {
 public:
  FileConverter();
  ~FileConverter();
  FileConverter(const FileConverter&) = delete;
  FileConverter& operator=(const FileConverter&) = delete;

  int SetOptions(const OptionsRecord* options);
  // What SetOptions filled and LoadFile/SaveFile completed with the current
  // file's path. Each converter has its own, so converters on different
  // threads do not see each other's files.
  const ConversionSettings& Settings() const { return settings_; }
  uint32_t GetHeldKind() const { return held_kind_; }

  uint32_t GetDataKind(int type_index) const;
  int TypeFromHeader(FILE* file);
  int TypeFromExtension(const char* file_name) const;
  int DetermineType(FILE* file, const char* file_name);
  // Opens the file, determines its type and closes it again; TYPE_UNKNOWN
  // with an error in the log when it cannot be opened.
  int DetermineTypeOfPath(const char* path);

  int InitData(uint32_t kind);
  int LoadFile(const char* path, int type_index);
  int FixData();
  int SaveFile(const char* path, int type_index);
  int DestroyData();

  const FileTypeInfo* Table() const { return FormatTable(); }
  ModelData& Model() { return *model_; }
  BitmapData& Picture() { return *picture_; }
  TextData& Text() { return text_; }
  CompanionFiles& Companions() { return companions_; }

 private:
  // Path fields into the settings, then settings and companions into the
  // containers.
  void HandSettingsToContainers(const char* path);
  CodecTarget Target();

  uint32_t held_kind_ = KIND_UNKNOWN;
  ConversionSettings settings_;
  std::unique_ptr<ModelData> model_;
  std::unique_ptr<BitmapData> picture_;
  TextData text_;
  PipelineCompanions companions_;
};

}  // namespace zepcon
