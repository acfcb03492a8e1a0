// zepcon-thumbnailer -s SIZE INPUT OUTPUT.png: the desktop's thumbnail of a
// model or picture file. Needs no display.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/log.h"
#include "ui/thumbnail.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::fprintf(stderr, "usage: zepcon-thumbnailer -s SIZE INPUT OUTPUT.png\n");
  return kExitUsage;
}

bool ParseSize(const char* text, uint32_t& size) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || text[0] == '-' || value == 0 || value > zepcon::ui::kMaxThumbnailSide)
    return false;
  size = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t size = 0;
  const char* paths[2] = {nullptr, nullptr};
  int path_count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-s" || argument == "--size") {
      if (i + 1 >= argc || !ParseSize(argv[++i], size)) {
        std::fprintf(stderr, "zepcon-thumbnailer: the size must be a number from 1 to %u\n",
                     zepcon::ui::kMaxThumbnailSide);
        return kExitUsage;
      }
    } else if (path_count < 2) {
      paths[path_count++] = argv[i];
    } else {
      return Usage();
    }
  }
  if (size == 0 || path_count != 2) return Usage();

  // Only errors reach the caller; nothing is written to log files.
  zepcon::SetLogMode(0);
  zepcon::SetLogObserver([](std::string_view text, int level) {
    if (level == zepcon::LOG_ERROR) std::fprintf(stderr, "%.*s", static_cast<int>(text.size()), text.data());
  });

  zepcon::ui::Thumbnail thumbnail;
  std::string error;
  if (!zepcon::ui::MakeThumbnail(paths[0], size, thumbnail, error) ||
      !zepcon::ui::WriteThumbnailPng(thumbnail, paths[1], error)) {
    std::fprintf(stderr, "zepcon-thumbnailer: %s: %s\n", paths[0], error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}
