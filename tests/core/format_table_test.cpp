#include <gtest/gtest.h>

#include "core/format_table.h"

TEST(FormatTable, Placeholder) { EXPECT_STREQ(zepcon::FormatTable()[51].name, "Plain text"); }
