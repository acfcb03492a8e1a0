// The reading toolbox: temporary names, path parts, folder search and time.
#include "core/reading_helper.h"

#include <dirent.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/file_stream.h"
#include "core/geometry.h"
#include "core/log.h"

namespace zepcon {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Position just after the last path separator, 0 when there is none.
size_t AfterLastSeparator(const char* path) {
  size_t after = 0;
  for (size_t i = 0; path[i]; ++i)
    if (IsSeparator(path[i])) after = i + 1;
  return after;
}

}  // namespace

// ---- Files and time ----------------------------------------------------------

const char* ReadingHelper::TempFileName(const char* folder) {
  if (!folder || !*folder) folder = ".";
  const size_t length = std::strlen(folder);
  const char* separator = IsSeparator(folder[length - 1]) ? "" : "/";
  std::uniform_int_distribution<unsigned long> draw(0, 9999999);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int written =
        std::snprintf(temp_name_, sizeof temp_name_, "%s%sF%lu.tmp", folder, separator, draw(random_));
    if (written < 0 || written >= static_cast<int>(sizeof temp_name_)) break;
    // Any directory entry of that name counts, readable or not, so an
    // existing file is never handed out to be overwritten.
    struct stat info;
    if (lstat(temp_name_, &info) != 0) return temp_name_;
  }
  temp_name_[0] = '\0';
  return temp_name_;
}

const char* ReadingHelper::FileNameOfPath(const char* path) {
  if (!path) path = "";
  std::snprintf(file_name_, sizeof file_name_, "%s", path + AfterLastSeparator(path));
  return file_name_;
}

const char* ReadingHelper::FolderOfPath(const char* path) {
  if (!path) path = "";
  const size_t length = std::min(AfterLastSeparator(path), sizeof folder_ - 1);
  std::memcpy(folder_, path, length);
  folder_[length] = '\0';
  return folder_;
}

namespace {

// Wildcards as users type them: '*' and '?' only, "*.*" meaning everything,
// every other character literal.
std::string ToFnmatchPattern(const char* name) {
  if (std::strcmp(name, "*.*") == 0) return "*";
  std::string pattern;
  for (const char* c = name; *c; ++c) {
    if (*c == '[')
      pattern += "[[]";
    else
      pattern += *c;
  }
  return pattern;
}

}  // namespace

int ReadingHelper::FindFirst(const char* pattern) {
  found_.clear();
  next_found_ = 0;
  if (!pattern || !*pattern) return 0;
  const size_t name_start = AfterLastSeparator(pattern);
  std::string folder(pattern, name_start);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty()) folder = ".";
  const std::string wanted = ToFnmatchPattern(pattern + name_start);
  if (wanted.empty()) return 0;
  DIR* directory = opendir(folder.c_str());
  if (!directory) return 0;
  while (const dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (fnmatch(wanted.c_str(), name, FNM_NOESCAPE | FNM_CASEFOLD) == 0) found_.emplace_back(name);
  }
  closedir(directory);
  // Directory order is arbitrary; name order makes "the first match" stable.
  std::sort(found_.begin(), found_.end(), [](const std::string& a, const std::string& b) {
    const int folded = strcasecmp(a.c_str(), b.c_str());
    return folded != 0 ? folded < 0 : a < b;
  });
  return !found_.empty();
}

const char* ReadingHelper::FindNext() {
  if (next_found_ >= found_.size()) return nullptr;
  std::snprintf(found_name_, sizeof found_name_, "%s", found_[next_found_++].c_str());
  return found_name_;
}

const char* ReadingHelper::TimeStamp() {
  static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (!gmtime_r(&now, &utc)) {
    time_stamp_[0] = '\0';
    return time_stamp_;
  }
  std::snprintf(time_stamp_, sizeof time_stamp_, "%s %i %s %i %02i:%02i", kDays[utc.tm_wday % 7], utc.tm_mday,
                kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min);
  return time_stamp_;
}

void ReadingHelper::StartTimer() { timer_start_ = std::chrono::steady_clock::now(); }

int ReadingHelper::TimeReached(double seconds) const {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - timer_start_;
  return elapsed.count() >= seconds;
}


}  // namespace zepcon
