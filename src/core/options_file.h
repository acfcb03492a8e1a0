// The options file "zepcon.opt": the raw 1940-byte options record, no header
// and no version. It lives in the settings folder together with the log file
// "Zepcon.log".
#pragma once

#include <functional>
#include <string>

#include "core/conversion_settings.h"

namespace zepcon {

inline constexpr const char* kOptionsFileName = "zepcon.opt";
inline constexpr const char* kLogFileName = "Zepcon.log";

// Answers whether the program may create files in `folder`.
using FolderWritableCheck = std::function<bool(const std::string& folder)>;
bool FolderIsWritable(const std::string& folder);

// The path of the running program (from /proc/self/exe); `fallback` when it
// cannot be found.
std::string CurrentExecutablePath(const std::string& fallback);

// The folder `cmake --install` puts the program in (empty when unknown).
const char* InstalledProgramFolder();

// True for a folder of the system's programs: /usr and /opt and everything
// below them, and the folder the program is installed to.
bool IsSystemProgramFolder(const std::string& folder);

// The folder of the options and log files, ending in '/': the executable's
// own folder when the program may write there and it is no system program
// folder (a program run from its build tree), else $XDG_CONFIG_HOME/zepcon/
// (~/.config/zepcon/ without it), created when missing.
std::string SettingsFolder(const std::string& executable_path,
                           const FolderWritableCheck& writable = FolderIsWritable);
std::string OptionsFilePath(const std::string& settings_folder);
std::string LogFilePath(const std::string& settings_folder);

// Reads one whole record from the start of `path` (further bytes ignored),
// its text fields cut to their sizes. False, with `options` untouched, when
// the file cannot be read or is shorter than one record.
bool ReadOptionsRecord(const std::string& path, OptionsRecord& options);

// Reads the record from `path`. A file that is missing, unreadable or shorter
// than one record gives the defaults, which are written back at once; a
// longer file gives its first 1940 bytes. Returns 1 when the record came
// from the file, 0 when the defaults were taken.
int LoadOptions(OptionsRecord& options, const std::string& path);

// Zeroes the last folder's bytes after its terminator and writes the whole
// record. The old file is replaced only once the new one is complete; an
// unwritable location leaves the options unsaved (result 0).
int SaveOptions(OptionsRecord& options, const std::string& path);

// Gives the settings to the running program (the log mode).
void ApplyOptions(const OptionsRecord& options);

// Keeps the separate preview window on a desktop of the given size: its
// left and top corner at most 50 pixels short of the right and bottom edges.
void KeepPreviewWindowReachable(OptionsRecord& options, int desktop_width, int desktop_height);

// One "name = value" line per field, for dumps and diagnostics.
std::string DescribeOptions(const OptionsRecord& options);

}  // namespace zepcon
