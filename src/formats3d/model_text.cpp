#include "formats3d/model_text.h"

#include <sys/stat.h>

#include "core/log.h"

namespace zepcon::model_text {

bool ReadCompanionText(const std::string& path, std::vector<uint8_t>& bytes, const char** why, uint64_t limit) {
  bytes.clear();
  struct stat info {};
  // A folder, a device or a pipe is never read: it could hang or never end.
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    *why = "not found";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) > limit) {
    *why = "too large";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *why = "cannot be opened";
    return false;
  }
  const bool read = ReadRestOfFile(file, bytes, "material library", limit);
  std::fclose(file);
  if (!read) *why = "cannot be read";
  return read;
}

}  // namespace zepcon::model_text
