// The rules of the file list that do not need a window: how a file name is
// split, where a new row goes in each sort mode, the tint of a row and the
// destination name formed from a source name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepcon::ui {

enum SortMode : int { SORT_BY_NAME = 0, SORT_BY_EXTENSION = 1, SORT_NONE = 2 };

struct NameAndExtension {
  std::string name;
  std::string extension;  // empty when the name has no dot
};

// Splits a file name at its last dot.
NameAndExtension SplitFileName(const std::string& file_name);

// Case-insensitive comparison, <0, 0 or >0.
int CompareNoCase(const std::string& a, const std::string& b);

// Where a new row goes among the first `listed` rows (the files listed so
// far; rows added otherwise may follow them).
size_t ListingPosition(const std::vector<NameAndExtension>& rows, size_t listed, const NameAndExtension& file,
                       int sort_mode);

struct RowColour {
  uint8_t red, green, blue;
  bool operator==(const RowColour&) const = default;
};

inline constexpr RowColour kWhiteRow{255, 255, 255};

// The tint of a row from its extension and its type's kind: one pale tint
// per kind, one shade per extension.
RowColour ColourForRow(const std::string& extension, uint32_t kind);

// The destination name: the text after the last dot of the file name is
// replaced by the destination extension; a name without a dot gets one.
std::string DestinationName(const std::string& source_path, const std::string& extension);

}  // namespace zepcon::ui
