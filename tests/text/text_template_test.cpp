#include "text/text_template.h"

#include <gtest/gtest.h>

namespace {

TEST(FillText, PutsEachNamedValueInOnceAndLeavesTheRestAsWritten) {
    EXPECT_EQ(FillText("{done}/{listed}{place}", {{"done", 3}, {"listed", 40}, {"place", ""}}),
              "3/40");
    // A name not given stays; a value is not read for fields; "{" as a trail byte is text.
    EXPECT_EQ(FillText("{done} {gone} {", {{"done", Text("{done}")}}), "{done} {gone} {");
    EXPECT_EQ(FillText("\x81{done}\xD5\xC5{done}", {{"done", -2}}), "\x81{done}\xD5\xC5-2");
}

}  // namespace
