#include "core/pipeline/pipeline_companions.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/log.h"
#include "core/pipeline/codec_runner.h"
#include "core/pipeline/file_converter.h"
#include "core/type_recognition.h"
#include "picture/bitmap_data.h"

namespace zepcon {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Picture containers of companion files keep the caller's options with
// their own path, and the same companions for their own companions.
void PreparePicture(BitmapData& picture, const char* path, const ConversionSettings& settings,
                    CompanionFiles& companions) {
  picture.settings = settings;
  SplitPath(path, picture.settings);
  picture.companions = &companions;
}

bool IsPictureType(int type_index, const char* stage) {
  const FileTypeInfo* row = FileTypeRow(type_index);
  if (row && row->data_kind == KIND_BITMAP) return true;
  LogFormatted(LOG_ERROR, "%s: type %i is not a picture type\n", stage, type_index);
  return false;
}

}  // namespace

std::string FindFileIgnoringCase(const char* path) {
  if (!path || !*path) return {};
  std::string wanted(path);
  if (Exists(wanted)) return wanted;
  size_t name_start = 0;
  for (size_t i = 0; i < wanted.size(); ++i)
    if (IsSeparator(wanted[i])) name_start = i + 1;
  const std::string folder = name_start ? wanted.substr(0, name_start) : std::string("./");
  const std::string name = wanted.substr(name_start);
  if (name.empty()) return {};
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  std::vector<std::string> matches;
  while (const dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (matches.empty()) return {};
  std::sort(matches.begin(), matches.end());
  return (name_start ? folder : std::string()) + matches.front();
}

int PipelineCompanions::DetermineType(const char* path) { return DetermineTypeOfPath(path); }

int PipelineCompanions::LoadPicture(const char* path, int type_index, const ConversionSettings& settings,
                                    BitmapData& picture) {
  if (!IsPictureType(type_index, "LoadPicture")) return 0;
  if (!picture.InitData()) return 0;
  PreparePicture(picture, path, settings, *this);
  CodecTarget target;
  target.picture = &picture;
  if (!RunLoader(type_index, path, KIND_BITMAP, target)) return 0;
  return picture.RemoveAlpha();
}

int PipelineCompanions::LoadPictureFromMemory(const uint8_t* data, size_t size, const char* name, int type_index,
                                              const ConversionSettings& settings, BitmapData& picture) {
  if (!IsPictureType(type_index, "LoadPictureFromMemory")) return 0;
  if (!data || size == 0) {
    LogFormatted(LOG_ERROR, "LoadPictureFromMemory: [%s] is empty\n", name);
    return 0;
  }
  if (!picture.InitData()) return 0;
  PreparePicture(picture, name, settings, *this);
  // The loaders read streams; the bytes are handed to them as one, read only.
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, "LoadPictureFromMemory: [%s] could not be opened\n", name);
    return 0;
  }
  CodecTarget target;
  target.picture = &picture;
  const int result = RunLoaderOnFile(type_index, file, name, KIND_BITMAP, target);
  std::fclose(file);
  return result && picture.RemoveAlpha();
}

int PipelineCompanions::SavePicture(const char* path, int type_index, const ConversionSettings& settings,
                                    BitmapData& picture) {
  if (!IsPictureType(type_index, "SavePicture")) return 0;
  PreparePicture(picture, path, settings, *this);
  CodecTarget target;
  target.picture = &picture;
  return RunSaver(type_index, path, KIND_BITMAP, target);
}

std::string PipelineCompanions::FindFile(const char* path) { return FindFileIgnoringCase(path); }

}  // namespace zepcon
