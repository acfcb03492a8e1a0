#include "core/companion_files.h"

#include "core/log.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zepcon {

int CompanionFiles::LoadPictureFromMemory(const uint8_t*, size_t, const char* name, int, const ConversionSettings&,
                                          BitmapData&) {
  LogFormatted(LOG_ERROR, "LoadPictureFromMemory: no picture reader for [%s]\n", name ? name : "");
  return 0;
}

std::string CompanionFiles::FindFileWithPrefix(const char* folder, const char* prefix) {
  if (!folder || !prefix || !*prefix) return {};
  const std::string base = *folder ? folder : "./";
  DIR* dir = opendir(base.c_str());
  if (!dir) return {};
  const size_t length = std::strlen(prefix);
  std::vector<std::string> matches;
  while (const dirent* entry = readdir(dir)) {
    if (std::strlen(entry->d_name) >= length && strncasecmp(entry->d_name, prefix, length) == 0)
      matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (matches.empty()) return {};
  // Directory order differs between systems; name order keeps the choice stable.
  std::sort(matches.begin(), matches.end());
  const bool separated = base.back() == '/' || base.back() == '\\';
  return base + (separated ? "" : "/") + matches.front();
}

}  // namespace zepcon
