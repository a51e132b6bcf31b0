// The shell's own texts, character for character (full-width punctuation included): both front
// ends show them, the window in its boxes and orveloctl on stderr.
#include <gtest/gtest.h>

#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

TEST(ShellTexts, TitleAndStartupFailure) {
    EXPECT_EQ(applicationTitle(), u"Orvelo系统"_s);
    EXPECT_EQ(startupFailureText(), u"数据库连接失败!"_s);
    EXPECT_EQ(startupFailureCaption(), u"Orvelo"_s);
}

}  // namespace
}  // namespace orvelo
