// bench/import_raw: btn_ImportFromHVClick on a raw record file of N lines (default 100,000) of
// 10,000 employees, into an embedded database that already holds 1,000,000 attendance rows; then
// the same file a second time, when every line is a duplicate. The floor: the rows of the first
// import inserted once more, in one transaction with one prepared statement.
//
//   import_raw [--lines N]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "bench/collect/bench_support.h"
#include "collection/collection_commands.h"
#include "collection/raw_record_file.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/silent_operator_view.h"

using namespace Qt::StringLiterals;
using namespace orvelo;

namespace {

// No terminal: the raw record import never calls the library, and a call would make the figures
// meaningless, so it stops the bench.
class NoTerminal final : public ForwardingTerminalLibrary {
protected:
    TerminalLibrary& inner() override {
        throw std::logic_error("the raw record import called the terminal library");
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int lines = 100'000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--lines"_s && i + 1 < args.size())
            lines = args[++i].toInt();
        else {
            std::fprintf(stderr, "usage: import_raw [--lines N]\n");
            return 64;
        }
    }
    constexpr int kEmployees = 10'000;
    try {
        QTemporaryDir work;
        const QString appDir = work.path() + u'/';
        DataModule data;
        data.openConnection({Dialect::Sqlite, {}, appDir + u"orvelo.db"_s});
        QElapsedTimer timer;
        timer.start();
        bench::seedEmployees(data, kEmployees);
        bench::seedAttendance(data, 1'000'000, kEmployees);
        std::printf("database: %d employees, 1000000 attendance rows, built in %.1f s\n", kEmployees,
                    timer.nsecsElapsed() / 1e9);

        // Record i lies in minute i, as the emulator's seed lays them out.
        QStringList rawLines;
        const DateTimeValue start = *parseDateTimeText(u"2026-01-01 08:00:00"_s);
        for (int i = 0; i < lines; ++i)
            rawLines.append(FormatRawLine({1 + i % kEmployees, start + i / 1440.0, 2, 1}));
        const QString file = writeRawRecordFile(appDir, rawLines, start);

        SilentOperatorView view;
        ConnectionSettings settings;
        NoTerminal terminal;
        SystemClock clock;
        CommandContext ctx{view, {}, settings, terminal, data, clock, appDir};
        const qint64 before = bench::maxAtdRowid(data);
        double firstSeconds = 0;
        for (const char* pass : {"first import", "second import (all duplicates)"}) {
            view.nextFile = file;
            timer.restart();
            btn_ImportFromHVClick(ctx);
            const double seconds = timer.nsecsElapsed() / 1e9;
            if (firstSeconds == 0) firstSeconds = seconds;
            std::printf("%s of %d lines: %.2f s, %.0f lines/s; %s\n", pass, lines, seconds, lines / seconds,
                        view.lastBox.toUtf8().constData());
        }
        const auto rows = bench::atdRowsAfter(data, before);
        const double floor = bench::insertFloor(data, rows);
        std::printf(
            "floor, the same %zu rows in one transaction with one prepared statement: %.2f s, %.0f rows/s\n",
            rows.size(), floor, rows.size() / floor);
        std::printf(
            "summary: first import %.2f s, floor %.2f s, ratio to the floor %.2f (target at most 2.5)\n",
            firstSeconds, floor, firstSeconds / floor);
    } catch (const orvelo::Error& e) {
        std::fprintf(stderr, "import_raw: %s\n", e.text().toUtf8().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "import_raw: %s\n", e.what());
        return 1;
    }
    return 0;
}
