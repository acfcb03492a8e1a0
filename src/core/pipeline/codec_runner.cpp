#include "core/pipeline/codec_runner.h"

#include <string>

#include "core/atomic_file.h"
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
  if (!UsableCodec(type_index, false, held_kind)) return 0;
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    return 0;
  }
  const int result = RunLoaderOnFile(type_index, file, path, held_kind, target);
  std::fclose(file);
  return result;
}

int RunLoaderOnFile(int type_index, FILE* file, const char*, uint32_t held_kind, CodecTarget& target) {
  const CodecEntry* loader = UsableCodec(type_index, false, held_kind);
  if (!loader || !file) return 0;
  FileStream stream;
  CodecFile codec_file;
  if (loader->io == CodecIo::kStream) {
    stream.Attach(file, FileTypeRow(type_index)->binary ? FileStream::kBinary : FileStream::kText, FileStream::kRead);
    codec_file.stream = &stream;
  } else {
    codec_file.plain = file;
  }
  const int result = loader->run(target, codec_file);
  if (loader->io == CodecIo::kStream) stream.Detach();
  return result;
}

int RunSaver(int type_index, const char* path, uint32_t held_kind, CodecTarget& target) {
  const CodecEntry* saver = UsableCodec(type_index, true, held_kind);
  if (!saver) return 0;
  // The saver writes a staged file that replaces the destination only when
  // the save succeeded, so a failed save never touches an existing file.
  AtomicFile output;
  if (!output.Open(path)) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    LogFormatted(LOG_ERROR, "SaveFile: %s\n", output.Error().c_str());
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
  if (!output.Commit()) {
    LogFormatted(LOG_ERROR, "SaveFile: %s\n", output.Error().c_str());
    return 0;
  }
  return 1;
}

}  // namespace zepcon
