// What containers and codecs may ask of the pipeline about files other than
// the one being converted: textures beside a model, part and animation
// files, the tiles of a big picture. The pipeline implements it and hands it
// to the containers with the settings; tests may hand in a fake.
#pragma once

#include <cstddef>
#include <cstdint>

#include <string>

#include "core/conversion_settings.h"

namespace zepcon {

class BitmapData;

class CompanionFiles {
 public:
  virtual ~CompanionFiles() = default;

  // The type index of the file (header tests, then the extension);
  // TYPE_UNKNOWN, with an error in the log, when it cannot be opened.
  virtual int DetermineType(const char* path) = 0;

  // Loads a picture file of the given type into `picture` (emptied first)
  // and runs the fix stage on it. `settings` are the options the loader
  // reads; their path fields are set to the picture's own path. 1 or 0
  // (logged).
  virtual int LoadPicture(const char* path, int type_index, const ConversionSettings& settings,
                          BitmapData& picture) = 0;

  // Loads a picture of the given type held in memory (a picture embedded in
  // another file), as LoadPicture does; `name` stands for its path. The
  // default has no picture codecs to call and fails (logged).
  virtual int LoadPictureFromMemory(const uint8_t* data, size_t size, const char* name, int type_index,
                                    const ConversionSettings& settings, BitmapData& picture);

  // Saves `picture` as the given picture type; an existing file is replaced
  // only when the whole save succeeded. 1 or 0 (logged).
  virtual int SavePicture(const char* path, int type_index, const ConversionSettings& settings,
                          BitmapData& picture) = 0;

  // The path under which the file exists: the path itself, or else the
  // entry of its folder whose name matches the last component ignoring case
  // (asset names come from case-blind systems). Empty when neither exists.
  virtual std::string FindFile(const char* path) = 0;

  // The path of the first entry of `folder` (in name order) whose name
  // begins with `prefix`, compared ignoring case; empty when there is none.
  // Resources named by number (the tiles of a big texture) are found so.
  virtual std::string FindFileWithPrefix(const char* folder, const char* prefix);
};

}  // namespace zepcon
