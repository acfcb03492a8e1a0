// The pipeline's answer to the containers' questions about companion files:
// pictures are loaded and saved through the dispatch table on the caller's
// own picture container, never through the process-wide settings.
#pragma once

#include "core/companion_files.h"

namespace zepcon {

class PipelineCompanions final : public CompanionFiles {
 public:
  int DetermineType(const char* path) override;
  int LoadPicture(const char* path, int type_index, const ConversionSettings& settings,
                  BitmapData& picture) override;
  int LoadPictureFromMemory(const uint8_t* data, size_t size, const char* name, int type_index,
                            const ConversionSettings& settings, BitmapData& picture) override;
  int SavePicture(const char* path, int type_index, const ConversionSettings& settings,
                  BitmapData& picture) override;
  std::string FindFile(const char* path) override;
};

// The path itself when it names an existing entry; otherwise the entry of
// its folder whose name equals the last component ignoring case (the first
// in name order); empty when there is none.
std::string FindFileIgnoringCase(const char* path);

}  // namespace zepcon
