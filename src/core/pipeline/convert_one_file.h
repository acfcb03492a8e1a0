// Converting one file as the main window's "Convert !" does: load, fix and
// save through one FileConverter, reporting the stage that failed.
#pragma once

#include <functional>
#include <string>

#include "core/conversion_settings.h"

namespace zepcon {

class FileConverter;

struct ConversionOutcome {
  bool ok = false;
  // "Succesfully converted" or the status text of the stage that failed.
  std::string status;
};

// Told the status text of each stage as it starts ("Initializing data",
// "Loading data", "Transforming data", "Saving data"), so a window can show it.
using ConversionStageReporter = std::function<void(const char* status)>;

ConversionOutcome ConvertOneFile(FileConverter& converter, const OptionsRecord& options, const char* source_path,
                                 int source_type, const char* destination_path, int destination_type,
                                 const ConversionStageReporter& report_stage = nullptr);

// The destination types offered for a source type: the savable rows of its
// kind, in table order.
bool IsDestinationFor(int source_type, int destination_type);

}  // namespace zepcon
