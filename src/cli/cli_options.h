// Options and log set-up of the command-line tool.
#pragma once

#include <string>

#include "core/conversion_settings.h"

namespace zepcon {

// The options record to convert with: the given file, or the program's own
// options file when `path` is empty. False (with a reason) when the given
// file is not an options record.
bool LoadCliOptions(const std::string& path, OptionsRecord* options, std::string* error);

// Log mode: --log-mode, else 3 with -v, else the record's. Log file: --log,
// else "Zepcon.log" in the program's settings folder.
void SetupCliLog(const OptionsRecord& options, int log_mode, bool verbose, const std::string& log_path,
                 const char* argv0);

// Prints an options record file's fields; exit status.
int DumpOptionsFile(const std::string& path);

}  // namespace zepcon
