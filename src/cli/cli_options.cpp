#include "cli/cli_options.h"

#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/options_file.h"

namespace zepcon {

bool LoadCliOptions(const std::string& path, OptionsRecord* options, std::string* error) {
  *options = DefaultOptions();
  if (path.empty()) {
    // The program's own options file, created with the defaults when missing.
    LoadOptions(*options, OptionsFilePath(SettingsFolder(CurrentExecutablePath(""))));
    return true;
  }
  if (!ReadOptionsRecord(path, *options)) {
    *error = path + " is not an options record (" + std::to_string(sizeof(OptionsRecord)) + " bytes)";
    return false;
  }
  ConversionSettings& c = options->conversion;
  c.file_folder[0] = c.file_name[0] = c.file_extension[0] = '\0';  // filled per file
  return true;
}

void SetupCliLog(const OptionsRecord& options, int log_mode, bool verbose, const std::string& log_path,
                 const char* argv0) {
  if (!log_path.empty())
    SetLogFileName(log_path.c_str());
  else
    SetLogFileName(LogFilePath(SettingsFolder(CurrentExecutablePath(argv0 ? argv0 : ""))).c_str());
  if (log_mode >= 0)
    SetLogMode(static_cast<uint32_t>(log_mode));
  else if (verbose)
    SetLogMode(3);
  else
    SetLogMode(static_cast<uint32_t>(options.conversion.log_mode));
}

int DumpOptionsFile(const std::string& path) {
  OptionsRecord options;
  std::string error;
  if (!LoadCliOptions(path, &options, &error)) {
    std::fprintf(stderr, "zepcon-cli: %s\n", error.c_str());
    return 1;
  }
  std::fputs(DescribeOptions(options).c_str(), stdout);
  return 0;
}

}  // namespace zepcon
