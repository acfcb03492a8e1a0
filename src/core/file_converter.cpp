#include "core/file_converter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/dispatch_table.h"
#include "core/file_stream.h"
#include "core/log.h"
#include "core/type_recognition.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {

ConversionSettings& CurrentSettings() {
  static ConversionSettings settings = DefaultOptions().conversion;
  return settings;
}

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

FileConverter::FileConverter() : model_(std::make_unique<ModelData>()), picture_(std::make_unique<BitmapData>()) {}

FileConverter::~FileConverter() = default;

int FileConverter::SetOptions(const OptionsRecord* options) {
  if (!options) return 0;
  std::memcpy(&CurrentSettings(), &options->conversion, sizeof(ConversionSettings));
  return 1;
}

uint32_t FileConverter::GetDataKind(int type_index) const {
  const FileTypeInfo* row = FileTypeRow(type_index);
  return row ? row->data_kind : KIND_UNKNOWN;
}

int FileConverter::TypeFromHeader(FILE* file) { return TypeFromHeaderOfFile(file); }

int FileConverter::TypeFromExtension(const char* file_name) const { return TypeFromExtensionOfName(file_name); }

int FileConverter::DetermineType(FILE* file, const char* file_name) { return DetermineTypeOfFile(file, file_name); }

int FileConverter::DetermineTypeOfPath(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    return TYPE_UNKNOWN;
  }
  const int type = DetermineType(file, path);
  std::fclose(file);
  return type;
}

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

namespace {

// Checks that a codec can run for the type on the data now held, and logs
// why not otherwise.
const CodecEntry* UsableCodec(int type_index, bool saving, uint32_t held_kind) {
  const char* stage = saving ? "SaveFile" : "LoadFile";
  const FileTypeInfo* row = FileTypeRow(type_index);
  const DispatchRow* dispatch = DispatchRowFor(type_index);
  if (!row || !dispatch) {
    LogFormatted(LOG_ERROR, saving ? "SaveFile: Sorry. Filetype %s not supported.\n"
                                   : "LoadFile:Sorry. Filetype %s not supported.\n",
                 std::to_string(type_index).c_str());
    return nullptr;
  }
  const CodecEntry& entry = saving ? dispatch->save : dispatch->load;
  if (entry.state == CodecState::kMissing) {
    LogFormatted(LOG_ERROR, saving ? "SaveFile: Sorry. Filetype %s not supported.\n"
                                   : "LoadFile:Sorry. Filetype %s not supported.\n",
                 saving ? row->extension : row->name);
    return nullptr;
  }
  if (entry.state == CodecState::kPending) {
    LogFormatted(LOG_ERROR, "%s: the %s of \"%s\" files is not built yet\n", stage, saving ? "saver" : "loader",
                 row->name);
    return nullptr;
  }
  if (row->data_kind != held_kind) {
    LogFormatted(LOG_ERROR, "%s: no %s data initialised for \"%s\" (held: %s)\n", stage,
                 DataKindName(row->data_kind), row->name, DataKindName(held_kind));
    return nullptr;
  }
  return &entry;
}

}  // namespace

int FileConverter::LoadFile(const char* path, int type_index) {
  LogFormatted(LOG_MAJOR, "--- Loading file [%s] ---\n", path);
  SplitPath(path, CurrentSettings());
  model_->settings = CurrentSettings();
  picture_->settings = CurrentSettings();

  const CodecEntry* loader = UsableCodec(type_index, false, held_kind_);
  if (!loader) return 0;
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    return 0;
  }
  FileStream stream;
  CodecFile codec_file;
  if (loader->io == CodecIo::kStream) {
    stream.Attach(file, FileTypeRow(type_index)->binary ? FileStream::kBinary : FileStream::kText, FileStream::kRead);
    codec_file.stream = &stream;
  } else {
    codec_file.plain = file;
  }
  const int result = loader->run(*this, codec_file);
  if (loader->io == CodecIo::kStream)
    stream.Close();
  else
    std::fclose(file);
  return result;
}

namespace {

// A file beside the destination that receives the saver's output, so that a
// failed save never touches an existing destination file.
class StagedOutput {
 public:
  explicit StagedOutput(const char* destination) : destination_(destination) {
    std::string pattern = destination_ + ".zepcon-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    staged_ = pattern;
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (!file_) {
      close(fd);
      std::remove(staged_.c_str());
      staged_.clear();
    }
  }
  ~StagedOutput() { Discard(); }

  FILE* File() { return file_; }

  // Closes the staged file and moves it over the destination.
  int Commit() {
    if (!file_) return 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
      LogFormatted(LOG_ERROR, "SaveFile: writing [%s] failed\n", destination_.c_str());
      Discard();
      return 0;
    }
    if (std::rename(staged_.c_str(), destination_.c_str()) != 0) {
      LogFormatted(LOG_ERROR, "SaveFile: could not replace [%s]\n", destination_.c_str());
      Discard();
      return 0;
    }
    staged_.clear();
    return 1;
  }

  void Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!staged_.empty()) std::remove(staged_.c_str());
    staged_.clear();
  }

 private:
  std::string destination_;
  std::string staged_;
  FILE* file_ = nullptr;
};

}  // namespace

int FileConverter::SaveFile(const char* path, int type_index) {
  LogFormatted(LOG_MAJOR, "--- Saving file [%s]---\n", path);
  SplitPath(path, CurrentSettings());
  model_->settings = CurrentSettings();
  picture_->settings = CurrentSettings();

  const CodecEntry* saver = UsableCodec(type_index, true, held_kind_);
  if (!saver) return 0;
  StagedOutput output(path);
  if (!output.File()) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    return 0;
  }
  int result;
  if (saver->io == CodecIo::kStream) {
    // The stream borrows the staged FILE*; it must not close it.
    FileStream stream;
    stream.Attach(output.File(), FileTypeRow(type_index)->binary ? FileStream::kBinary : FileStream::kText,
                  FileStream::kWrite);
    CodecFile codec_file;
    codec_file.stream = &stream;
    result = saver->run(*this, codec_file);
    stream.Detach();
  } else {
    CodecFile codec_file;
    codec_file.plain = output.File();
    result = saver->run(*this, codec_file);
  }
  if (!result) return 0;  // the staged file is removed; the destination is untouched
  return output.Commit();
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
