#include "text/text_template.h"

#include <gtest/gtest.h>

namespace {

TEST(FillText, PutsEachNamedValueInOnceAndLeavesTheRestAsWritten) {
    // A name not given stays; a value is not read for fields; "{" as a trail byte is text.
    EXPECT_EQ(FillText("{a}{gone} {", {{"a", Text("{a}")}}), "{a}{gone} {");
    EXPECT_EQ(FillText("\x81{a}\xD5\xC5{a}/{b}", {{"a", -2}, {"b", 40}}), "\x81{a}\xD5\xC5-2/40");
}

}  // namespace
