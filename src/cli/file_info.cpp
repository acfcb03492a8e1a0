#include "cli/file_info.h"

#include <cstdio>

#include "core/pipeline/file_converter.h"
#include "core/format_table.h"
#include "core/log.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {

namespace {

void PrintKindDetails(FileConverter& converter, uint32_t kind) {
  switch (kind) {
    case KIND_MODEL:
      std::fputs(converter.Model().StatisticsText().c_str(), stdout);
      break;
    case KIND_BITMAP: {
      const BitmapData& picture = converter.Picture();
      std::printf("size: %u x %u\nmode: %u %s\n", picture.SizeX(), picture.SizeY(), picture.Mode(),
                  picture.ModeName(picture.Mode()));
      break;
    }
    case KIND_TEXT:
      std::printf("bytes: %u\n", converter.Text().Length());
      break;
    default:
      break;
  }
}

}  // namespace

int PrintFileInfo(FileConverter& converter, const OptionsRecord& options, const std::string& path) {
  const int type = converter.DetermineTypeOfPath(path.c_str());
  const FileTypeInfo* row = FileTypeRow(type);
  if (!row || !row->can_load) {
    std::fprintf(stderr, "zepcon-cli: %s: unknown filetype\n", path.c_str());
    return 1;
  }
  std::printf("file: %s\ntype: %d %s\nkind: %s\n", path.c_str(), type, row->name, DataKindName(row->data_kind));
  converter.SetOptions(&options);
  if (!converter.InitData(row->data_kind)) return 1;
  if (!converter.LoadFile(path.c_str(), type)) {
    converter.DestroyData();
    std::fprintf(stderr, "zepcon-cli: %s: File is corrupt or unknown version\n", path.c_str());
    return 1;
  }
  converter.FixData();
  PrintKindDetails(converter, row->data_kind);
  converter.DestroyData();
  return 0;
}

}  // namespace zepcon
