#include "core/pipeline/codec_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/file_stream.h"
#include "core/format_table.h"
#include "core/log.h"

namespace zepcon {

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

int RunLoader(int type_index, const char* path, uint32_t held_kind, CodecTarget& target) {
  const CodecEntry* loader = UsableCodec(type_index, false, held_kind);
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
  const int result = loader->run(target, codec_file);
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

int RunSaver(int type_index, const char* path, uint32_t held_kind, CodecTarget& target) {
  const CodecEntry* saver = UsableCodec(type_index, true, held_kind);
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
    result = saver->run(target, codec_file);
    stream.Detach();
  } else {
    CodecFile codec_file;
    codec_file.plain = output.File();
    result = saver->run(target, codec_file);
  }
  if (!result) return 0;  // the staged file is removed; the destination is untouched
  return output.Commit();
}

}  // namespace zepcon
