#include "core/pipeline/convert_one_file.h"

#include "core/pipeline/file_converter.h"
#include "core/format_table.h"
#include "core/log.h"

namespace zepcon {

bool IsDestinationFor(int source_type, int destination_type) {
  const FileTypeInfo* source = FileTypeRow(source_type);
  const FileTypeInfo* destination = FileTypeRow(destination_type);
  return source && destination && source->can_load && destination->can_save &&
         source->data_kind == destination->data_kind;
}

ConversionOutcome ConvertOneFile(FileConverter& converter, const OptionsRecord& options, const char* source_path,
                                 int source_type, const char* destination_path, int destination_type,
                                 const ConversionStageReporter& report_stage) {
  const auto stage = [&report_stage](const char* status) {
    if (report_stage) report_stage(status);
  };
  if (converter.GetHeldKind() != KIND_UNKNOWN) converter.DestroyData();
  converter.SetOptions(&options);
  LogFormatted(LOG_MAJOR, "[%s] => [%s]\n", source_path, destination_path);

  stage("Initializing data");
  if (!converter.InitData(converter.GetDataKind(source_type))) return {false, "Error initializing data"};
  stage("Loading data");
  if (!converter.LoadFile(source_path, source_type)) {
    converter.DestroyData();
    return {false, "File is corrupt or unknown version"};
  }
  // A model that could not be fully repaired is still saved, as far as it goes.
  stage("Transforming data");
  converter.FixData();
  converter.SetOptions(&options);
  stage("Saving data");
  if (!converter.SaveFile(destination_path, destination_type)) {
    // The save went to a staged file: an existing destination is left as it was.
    converter.DestroyData();
    return {false, "Error saving"};
  }
  converter.DestroyData();
  return {true, "Succesfully converted"};
}

}  // namespace zepcon
