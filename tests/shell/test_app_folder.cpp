// The application folder of both executables: --app-dir DIR, else the executable's folder.
#include <gtest/gtest.h>

#include <QDir>

#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

TEST(ApplicationFolder, IsAbsoluteCleanAndEndsWithASeparator) {
    const QString cwd = QDir::currentPath();
    // Each row: the --app-dir value, the executable's folder, the application folder.
    const struct {
        QString option;
        QString executableFolder;
        QString expected;
    } cases[] = {
        {QString(), u"/opt/orvelo/bin"_s, u"/opt/orvelo/bin/"_s},
        {QString(), u"/opt/orvelo/bin/"_s, u"/opt/orvelo/bin/"_s},
        {u"/srv/site"_s, u"/opt/orvelo/bin"_s, u"/srv/site/"_s},
        {u"/srv/./a/../site/"_s, u"/opt/orvelo/bin"_s, u"/srv/site/"_s},
        {u"demo"_s, u"/opt/orvelo/bin"_s, cwd + u"/demo/"_s},
        {u"/"_s, u"/opt/orvelo/bin"_s, u"/"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applicationFolder(c.option, c.executableFolder), c.expected) << c.option.toStdString();
}

}  // namespace
}  // namespace orvelo
