#include "ui/file_list_rules.h"

#include <cctype>

#include "core/format_table.h"

namespace zepcon::ui {

NameAndExtension SplitFileName(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot == std::string::npos) return {file_name, ""};
  return {file_name.substr(0, dot), file_name.substr(dot + 1)};
}

int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int left = std::tolower(static_cast<unsigned char>(a[i]));
    const int right = std::tolower(static_cast<unsigned char>(b[i]));
    if (left != right) return left - right;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t ListingPosition(const std::vector<NameAndExtension>& rows, size_t listed, const NameAndExtension& file,
                       int sort_mode) {
  if (listed > rows.size()) listed = rows.size();
  if (sort_mode != SORT_BY_NAME && sort_mode != SORT_BY_EXTENSION) return listed;
  for (size_t i = 0; i < listed; ++i) {
    const int names = CompareNoCase(rows[i].name, file.name);
    const int extensions = CompareNoCase(rows[i].extension, file.extension);
    const bool after = sort_mode == SORT_BY_NAME ? (names > 0 || (names == 0 && extensions > 0))
                                                 : (extensions > 0 || (extensions == 0 && names > 0));
    if (after) return i;
  }
  return listed;
}

RowColour ColourForRow(const std::string& extension, uint32_t kind) {
  std::string letters = extension + "aaa";
  int shade[3];
  for (int i = 0; i < 3; ++i) {
    int c = std::toupper(static_cast<unsigned char>(letters[i]));
    if (c < 'A' || c > 'Z') c = 'A';
    shade[i] = (c - 'A') / 2;  // 0..12
  }
  const int a = shade[0], b = shade[1], c = shade[2];
  const auto rgb = [](int r, int g, int bl) {
    return RowColour{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(bl)};
  };
  switch (kind) {
    case KIND_MODEL: return rgb(200 + a, 200 + b, 255 - c);
    case KIND_BITMAP: return rgb(255 - a, 200 + b, 200 + c);
    case KIND_TEXT: return rgb(200 + a, 255 - b, 200 + c);
    case KIND_UNKNOWN: return rgb(255 - a / 2, 255 - b / 2, 255 - c / 2);
    default: return rgb(255, 0, 0);
  }
}

std::string DestinationName(const std::string& source_path, const std::string& extension) {
  const size_t separator = source_path.find_last_of("/\\");
  const size_t name_start = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = source_path.rfind('.');
  const std::string stem =
      dot == std::string::npos || dot < name_start ? source_path : source_path.substr(0, dot);
  return stem + "." + extension;
}

}  // namespace zepcon::ui
