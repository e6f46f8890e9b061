// Window texts: line breaks and the code page, both ways.
#include "dialogs/Unit_FormText.h"

#include <gtest/gtest.h>

namespace {

TEST(FormText, LineBreaksAndCodePage) {
    EXPECT_EQ(FormText("a\rb\r\nc\nd\r\r"), QString("a\nb\nc\nd\n\n"));
    EXPECT_EQ(FormText("caf\xE9"), QString::fromUtf8("café"));
    EXPECT_EQ(AnsiFromForm(QString::fromUtf8("café")), "caf\xE9");
    EXPECT_EQ(AnsiFromForm(QString::fromUtf8("a\u4E2Db")), "a?b");
}

}  // namespace
