#include "ui/file_list_rules.h"

#include <gtest/gtest.h>

#include "core/format_table.h"

namespace zepcon::ui {
namespace {

TEST(FileListRules, RowColours) {
  const struct {
    const char* extension;
    uint32_t kind;
    RowColour expected;
  } cases[] = {
      {"3ds", KIND_MODEL, {200, 201, 246}},  // '3' counts as A
      {"OBJ", KIND_MODEL, {207, 200, 251}},
      {"tga", KIND_BITMAP, {246, 203, 200}},
      {"zzz", KIND_BITMAP, {243, 212, 212}},
      {"txt", KIND_TEXT, {209, 244, 209}},
      {"", KIND_UNKNOWN, {255, 255, 255}},
      {"xq", KIND_UNKNOWN, {250, 251, 255}},
      {"b", KIND_SUBS, {255, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(ColourForRow(c.extension, c.kind), c.expected) << c.extension;
}

TEST(FileListRules, ListingPositions) {
  const std::vector<NameAndExtension> rows = {{"a", "obj"}, {"B", "3ds"}, {"b", "OBJ"}, {"zz", "x"}};
  const struct {
    NameAndExtension file;
    size_t listed;
    int mode;
    size_t expected;
  } cases[] = {
      {{"b", "3DS"}, 3, SORT_BY_NAME, 2},      // equal name and extension: after
      {{"A", "3ds"}, 3, SORT_BY_NAME, 0},
      {{"c", ""}, 3, SORT_BY_NAME, 3},         // only the listed rows count
      {{"c", ""}, 4, SORT_BY_NAME, 3},
      {{"a", "3ds"}, 3, SORT_BY_EXTENSION, 0},
      {{"c", "3ds"}, 3, SORT_BY_EXTENSION, 0},  // "a.obj" is after any .3ds
      {{"a", "obj"}, 2, SORT_BY_EXTENSION, 2},   // equal to a listed row: after it
      {{"a", "a"}, 3, SORT_NONE, 3},
      {{"a", "a"}, 9, SORT_NONE, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListingPosition(rows, c.listed, c.file, c.mode), c.expected)
        << c.file.name << "." << c.file.extension << " mode " << c.mode;
}

TEST(FileListRules, NamesAndDestinationNames) {
  const struct {
    const char* file;
    const char* name;
    const char* extension;
  } splits[] = {{"a.b.3ds", "a.b", "3ds"}, {"plain", "plain", ""}, {".hidden", "", "hidden"}, {"end.", "end", ""}};
  for (const auto& c : splits) {
    EXPECT_EQ(SplitFileName(c.file).name, c.name) << c.file;
    EXPECT_EQ(SplitFileName(c.file).extension, c.extension) << c.file;
  }
  EXPECT_EQ(DestinationName("plain", "RAW"), "plain.RAW");
  EXPECT_LT(CompareNoCase("Apple", "banana"), 0);
  EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(CompareNoCase("ab", "abc"), 0);
}

}  // namespace
}  // namespace zepcon::ui
