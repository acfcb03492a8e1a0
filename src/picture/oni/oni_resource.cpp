#include <cstdio>

#include "core/byte_reader.h"
#include "core/log.h"
#include "picture/bitmap_data.h"
#include "picture/oni/oni.h"

namespace zepcon::oni {

bool ReadTxmpHeader(ByteReader& reader, TxmpHeader& header) {
  const uint8_t* bytes = reader.Take(kTxmpHeaderSize);
  if (!bytes) return false;
  header.id = LoadLe32(bytes) >> kResourceShift;
  ByteReader name(bytes + kTxmpNameOffset, kTxmpNameField);
  name.ReadFixedString(header.name, sizeof header.name, kTxmpNameField);
  header.width = LoadLe16(bytes + kTxmpWidthOffset);
  header.height = LoadLe16(bytes + kTxmpHeightOffset);
  header.format = LoadLe32(bytes + kTxmpFormatOffset);
  return true;
}

std::string FindResource(BitmapData& picture, uint32_t number) {
  LogFormatted(LOG_DETAIL, "searching for oni file with id=%lu..", static_cast<unsigned long>(number));
  if (number >= kResourceNumberLimit) {
    LogMessage("id too big\n", LOG_ERROR);
    return {};
  }
  if (!picture.companions) {
    LogMessage("no companion files to search\n", LOG_ERROR);
    return {};
  }
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%05lu-", static_cast<unsigned long>(number));
  const std::string found = picture.companions->FindFileWithPrefix(picture.settings.file_folder, prefix);
  if (found.empty()) {
    LogMessage("None found\n", LOG_ERROR);
    return {};
  }
  const size_t slash = found.find_last_of("/\\");
  LogFormatted(LOG_DETAIL, "found [%s]\n", found.c_str() + (slash == std::string::npos ? 0 : slash + 1));
  return found;
}

}  // namespace zepcon::oni
