// bench/collect: the device log download end to end. A seeded emulator holds N log records of
// 10,000 employees and serves them over loopback TCP; btn_GetDataClick downloads them into an
// embedded database that already holds 1,000,000 attendance rows. Then, on the same database,
// the same rows are inserted once more in one transaction with one prepared statement: the floor
// that no per-record store can beat.
//
//   collect [--records N]... [--repeat N] [--keep DIR]   (default: --records 100000 --records 200000)
//
// --keep DIR works in DIR and leaves everything there; a base.db found there is used again.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "bench/collect/bench_support.h"
#include "collection/collection_commands.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/silent_operator_view.h"

using namespace Qt::StringLiterals;
using namespace orvelo;

namespace {

constexpr int kEmployees = 10'000;
constexpr int kExistingRows = 1'000'000;
// What the download may cost beyond the floor, and how it may grow from the first size to the
// second (twice as many records: a little over twice the time).
constexpr double kFloorRatioTarget = 2.5;
constexpr double kGrowthTarget = 2.1;

ConnectionPanelState loopbackPanel(int port) {
    ConnectionPanelState state;
    state.chooseTcpIp();
    state.ipAddress = u"127.0.0.1"_s;
    state.netPort = QString::number(port);
    state.timeOut = u"10000"_s;
    return state;
}

void line(const char* format, auto... values) {
    std::printf(format, values...);
    std::fflush(stdout);
}

// The embedded database with the employees and the existing attendance rows, built once and
// copied for every run.
QString buildBaseDatabase(const QString& folder) {
    const QString file = folder + u"/base.db"_s;
    if (QFile::exists(file)) {  // kept from an earlier run (--keep)
        line("base database: %s, kept from an earlier run\n", qPrintable(file));
        return file;
    }
    QElapsedTimer timer;
    timer.start();
    {
        DataModule data;
        data.openConnection({Dialect::Sqlite, {}, file});
        bench::seedEmployees(data, kEmployees);
        bench::seedAttendance(data, kExistingRows, kEmployees);
    }
    line("base database: %d employees, %d attendance rows, built in %.1f s\n", kEmployees, kExistingRows,
         timer.nsecsElapsed() / 1e9);
    return file;
}

// User and system time of this process: the client's share, whatever else the machine runs.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunResult {
    double seconds = 0;
    double cpuSeconds = 0;
    double floorSeconds = 0;
};

RunResult runOnce(const QString& work, const QString& baseDb, int records,
                  std::unique_ptr<TerminalLibrary>& terminal) {
    const QString appDir = work + u"/app-"_s + QString::number(records) + u'/';
    QDir().mkpath(appDir);
    const QString dbFile = appDir + u"orvelo.db"_s;
    for (const QString& file : QStringList{dbFile, dbFile + u"-wal"_s, dbFile + u"-shm"_s})
        QFile::remove(file);
    if (!QFile::copy(baseDb, dbFile)) throw std::runtime_error("cannot copy the base database");

    const QString state = appDir + u"terminal.json"_s;
    bench::Emulator::seed(state, kEmployees, records);
    bench::Emulator emulator(state);

    DataModule data;
    data.openConnection({Dialect::Sqlite, {}, dbFile});
    const qint64 before = bench::maxAtdRowid(data);

    SilentOperatorView view;
    const ConnectionPanelState panel = loopbackPanel(emulator.tcpPort());
    ConnectionSettings settings;
    SystemClock clock;
    CommandContext ctx{view, panel, settings, *terminal, data, clock, appDir};

    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    btn_GetDataClick(ctx, true);
    RunResult result;
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.cpuSeconds = cpuSeconds() - cpuBefore;
    if (!view.lastError.isEmpty()) throw std::runtime_error(view.lastError.toStdString());

    const auto rows = bench::atdRowsAfter(data, before);
    line("download of %d records: %.2f s, %.0f records/s (client CPU %.2f s); %s\n", records, result.seconds,
         records / result.seconds, result.cpuSeconds, view.lastBox.toUtf8().constData());
    result.floorSeconds = bench::insertFloor(data, rows);
    line("  floor, the same %zu rows in one transaction with one prepared statement: %.2f s, %.0f rows/s\n",
         rows.size(), result.floorSeconds, rows.size() / result.floorSeconds);
    line("  ratio to the floor: %.2f (target at most %.1f)\n", result.seconds / result.floorSeconds,
         kFloorRatioTarget);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    QString keep;
    int repeat = 1;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--records"_s && i + 1 < args.size())
            counts.push_back(args[++i].toInt());
        else if (args[i] == u"--keep"_s && i + 1 < args.size())
            keep = args[++i];
        else if (args[i] == u"--repeat"_s && i + 1 < args.size())
            repeat = std::max(1, args[++i].toInt());
        else {
            std::fprintf(stderr, "usage: collect [--records N]... [--repeat N] [--keep DIR]\n");
            return 64;
        }
    }
    if (counts.empty()) counts = {100'000, 200'000};

    try {
        QTemporaryDir temporary;
        const QString work = keep.isEmpty() ? temporary.path() : keep;
        QDir().mkpath(work);
        auto terminal = loadTerminalLibrary(bench::benchFolder());
        const QString base = buildBaseDatabase(work);
        // The machine is shared: with --repeat each size runs several times, on a fresh copy of
        // the database each time, and the fastest run counts.
        std::vector<RunResult> best;
        for (const int n : counts) {
            RunResult fastest;
            for (int r = 0; r < repeat; ++r) {
                const RunResult run = runOnce(work, base, n, terminal);
                if (r == 0 || run.seconds < fastest.seconds) fastest = run;
            }
            if (repeat > 1)
                line("fastest of %d runs of %d records: %.2f s, %.0f records/s (client CPU %.2f s)\n", repeat,
                     n, fastest.seconds, n / fastest.seconds, fastest.cpuSeconds);
            best.push_back(fastest);
        }
        for (std::size_t i = 0; i < best.size(); ++i)
            line("summary: %d records %.2f s, floor %.2f s, ratio to the floor %.2f (target at most %.1f)\n",
                 counts[i], best[i].seconds, best[i].floorSeconds, best[i].seconds / best[i].floorSeconds,
                 kFloorRatioTarget);
        if (best.size() >= 2)
            line(
                "growth: %d records took %.2f times as long as %d (target at most %.1f; client CPU %.2f "
                "times)\n",
                counts[1], best[1].seconds / best[0].seconds, counts[0], kGrowthTarget,
                best[1].cpuSeconds / best[0].cpuSeconds);
    } catch (const orvelo::Error& e) {
        std::fprintf(stderr, "collect: %s\n", e.text().toUtf8().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "collect: %s\n", e.what());
        return 1;
    }
    return 0;
}
