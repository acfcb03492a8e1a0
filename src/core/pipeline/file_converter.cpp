#include "core/pipeline/file_converter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/pipeline/codec_runner.h"
#include "core/file_stream.h"
#include "core/log.h"
#include "core/type_recognition.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void CopyField(char* field, size_t capacity, const char* text, size_t length) {
  if (length >= capacity) length = capacity - 1;
  std::memcpy(field, text, length);
  field[length] = '\0';
}

}  // namespace

void SplitPath(const char* path, ConversionSettings& settings) {
  const size_t length = std::strlen(path);
  // Scan from the end: the first separator met ends the folder; every dot met
  // before it moves the extension start, so it ends at the leftmost dot of
  // the last component. The first character counts too, so "/a" has a folder.
  size_t separator = SIZE_MAX;
  size_t dot = SIZE_MAX;
  for (size_t i = length; i-- > 0;) {
    if (IsSeparator(path[i])) {
      separator = i;
      break;
    }
    if (path[i] == '.') dot = i;
  }
  size_t name_start = 0;
  if (separator == SIZE_MAX) {
    CopyField(settings.file_folder, sizeof settings.file_folder, "./", 2);
  } else {
    CopyField(settings.file_folder, sizeof settings.file_folder, path, separator + 1);
    name_start = separator + 1;
  }
  if (dot == SIZE_MAX) {
    CopyField(settings.file_name, sizeof settings.file_name, path + name_start, length - name_start);
    settings.file_extension[0] = '\0';
  } else {
    CopyField(settings.file_name, sizeof settings.file_name, path + name_start, dot - name_start);
    CopyField(settings.file_extension, sizeof settings.file_extension, path + dot + 1, length - dot - 1);
  }
}

FileConverter::FileConverter()
    : settings_(DefaultOptions().conversion),
      model_(std::make_unique<ModelData>()),
      picture_(std::make_unique<BitmapData>()) {}

FileConverter::~FileConverter() = default;

int FileConverter::SetOptions(const OptionsRecord* options) {
  if (!options) return 0;
  std::memcpy(&settings_, &options->conversion, sizeof(ConversionSettings));
  return 1;
}

uint32_t FileConverter::GetDataKind(int type_index) const {
  const FileTypeInfo* row = FileTypeRow(type_index);
  return row ? row->data_kind : KIND_UNKNOWN;
}

int FileConverter::TypeFromHeader(FILE* file) { return TypeFromHeaderOfFile(file); }

int FileConverter::TypeFromExtension(const char* file_name) const { return TypeFromExtensionOfName(file_name); }

int FileConverter::DetermineType(FILE* file, const char* file_name) { return DetermineTypeOfFile(file, file_name); }

int FileConverter::DetermineTypeOfPath(const char* path) { return zepcon::DetermineTypeOfPath(path); }

int FileConverter::InitData(uint32_t kind) {
  int result = 0;
  switch (kind) {
    case KIND_MODEL:
      result = model_->InitData();
      break;
    case KIND_BITMAP:
      result = picture_->InitData();
      break;
    case KIND_TEXT:
      result = text_.InitData();
      break;
    default:
      LogFormatted(LOG_ERROR, "InitData:Hey this type is not programmed (%i)\n", static_cast<int>(kind));
      LogMessage("InitData: error\n", LOG_ERROR);
      return 0;
  }
  if (!result) {
    LogMessage("InitData: error\n", LOG_ERROR);
    return 0;
  }
  held_kind_ = kind;
  return 1;
}

int FileConverter::LoadFile(const char* path, int type_index) {
  LogFormatted(LOG_MAJOR, "--- Loading file [%s] ---\n", path);
  HandSettingsToContainers(path);
  CodecTarget target = Target();
  return RunLoader(type_index, path, held_kind_, target);
}

int FileConverter::SaveFile(const char* path, int type_index) {
  LogFormatted(LOG_MAJOR, "--- Saving file [%s]---\n", path);
  HandSettingsToContainers(path);
  CodecTarget target = Target();
  return RunSaver(type_index, path, held_kind_, target);
}

void FileConverter::HandSettingsToContainers(const char* path) {
  SplitPath(path, settings_);
  model_->settings = settings_;
  picture_->settings = settings_;
  model_->companions = &companions_;
  picture_->companions = &companions_;
}

CodecTarget FileConverter::Target() {
  CodecTarget target;
  target.model = model_.get();
  target.picture = picture_.get();
  target.text = &text_;
  return target;
}

int FileConverter::FixData() {
  LogMessage("--- Fixing ---\n", LOG_MAJOR);
  switch (held_kind_) {
    case KIND_MODEL:
      return model_->CheckModel();
    case KIND_BITMAP:
      return picture_->RemoveAlpha();
    case KIND_TEXT:
      return 1;
    default:
      LogFormatted(LOG_ERROR, "Hey do this part in FixData(%i)\n", static_cast<int>(held_kind_));
      return 0;
  }
}

int FileConverter::DestroyData() {
  int result;
  switch (held_kind_) {
    case KIND_MODEL:
      result = model_->DestroyData();
      break;
    case KIND_BITMAP:
      result = picture_->DestroyData();
      break;
    case KIND_TEXT:
      result = text_.DestroyData();
      break;
    default:
      LogFormatted(LOG_ERROR, "Destroy data: bad param(%i)\n", static_cast<int>(held_kind_));
      LogMessage("DestroyData: error\n", LOG_ERROR);
      held_kind_ = KIND_UNKNOWN;
      return 0;
  }
  held_kind_ = KIND_UNKNOWN;
  if (!result) {
    LogMessage("DestroyData: error\n", LOG_ERROR);
    return 0;
  }
  return 1;
}

}  // namespace zepcon
