// The console's status line is redrawn only when the progress changes: a download sets it once
// per record.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/console_operator_view.h"

using namespace orvelo;
using namespace orvelo::cli;
using namespace Qt::StringLiterals;

TEST(ConsoleProgress, RepeatedValueIsNotRedrawn) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        ConsoleOperatorView view(out, err, true);
        view.setStatusText(u"正在采集设备中的数据，请稍等......"_s);
        for (int i = 0; i < 1000; ++i) view.setProgress(i / 100, true);
    }
    std::fflush(err);
    std::rewind(err);
    QByteArray bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) bytes.append(buffer, qsizetype(n));
    // The text, then once each for 0 % to 9 %, then the line erased at the end.
    EXPECT_EQ(bytes.count("\r"), 1 + 10 + 1);
    EXPECT_TRUE(QString::fromUtf8(bytes).contains(u"9%"_s));
    std::fclose(out);
    std::fclose(err);
}
