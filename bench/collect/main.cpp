// bench/collect: the device log download end to end. A seeded emulator holds N log records of
// 10,000 employees and serves them over loopback TCP; btn_GetDataClick downloads them into an
// embedded database that already holds 1,000,000 attendance rows. Then, on the same database,
// the same rows are inserted once more in one transaction with one prepared statement: the floor
// that no per-record store can beat.
//
//   collect [--records N]... [--repeat N] [--keep DIR] [--provider sqlite|postgresql]
//   (default: --records 100000 --records 200000)
//
// --keep DIR works in DIR and leaves everything there; a base.db found there is used again.
// --provider postgresql does the same against a private PostgreSQL server started in the work
// folder (its socket and a free loopback port), the floor taking the downloaded rows out and
// inserting them again; then four orveloctl collectors of four terminals at once into the server
// against one collector of one terminal: their throughput ratio.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
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

// The floor and the figures of a download whose new rows are `rows`.
RunResult finishRun(DataModule& data, const std::vector<std::vector<QVariant>>& rows, int records,
                    RunResult result, const SilentOperatorView& view) {
    line("download of %d records: %.2f s, %.0f records/s (client CPU %.2f s); %s\n", records, result.seconds,
         records / result.seconds, result.cpuSeconds, view.lastBox.toUtf8().constData());
    result.floorSeconds = bench::insertFloor(data, rows);
    line("  floor, the same %zu rows in one transaction with one prepared statement: %.2f s, %.0f rows/s\n",
         rows.size(), result.floorSeconds, rows.size() / result.floorSeconds);
    line("  ratio to the floor: %.2f (target at most %.1f)\n", result.seconds / result.floorSeconds,
         kFloorRatioTarget);
    return result;
}

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
    return finishRun(data, rows, records, result, view);
}

// The download on a copy of the server's base database.
RunResult runOnceOnServer(const QString& work, const bench::PrivateServer& server, int records,
                          std::unique_ptr<TerminalLibrary>& terminal) {
    const QString appDir = work + u"/app-"_s + QString::number(records) + u'/';
    QDir().mkpath(appDir);
    const QString database = u"bench_run"_s;
    server.run(u"DROP DATABASE IF EXISTS "_s + database);
    server.run(u"CREATE DATABASE "_s + database + u" TEMPLATE bench_base"_s);

    const QString state = appDir + u"terminal.json"_s;
    bench::Emulator::seed(state, kEmployees, records);
    bench::Emulator emulator(state);

    DataModule data;
    data.openConnection(server.target(database));
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
    const auto rows = bench::takeNewAtdRows(data);
    return finishRun(data, rows, records, result, view);
}

// The server's base database: the employees and the existing attendance rows, copied for each run.
void buildServerBase(const bench::PrivateServer& server) {
    QElapsedTimer timer;
    timer.start();
    server.run(u"CREATE DATABASE bench_base"_s);
    {
        DataModule data;
        data.openConnection(server.target(u"bench_base"_s));
        bench::seedEmployees(data, kEmployees);
        bench::seedAttendanceOnServer(data, kExistingRows, kEmployees);
    }
    line("base database on the server: %d employees, %d attendance rows, built in %.1f s\n", kEmployees,
         kExistingRows, timer.nsecsElapsed() / 1e9);
}

// orveloctl collect of each terminal, one process per terminal (one PC each), all at once; the
// seconds until the last one ended.
double collectAtOnce(const QString& work, const bench::PrivateServer& server, const QString& database,
                     const std::vector<std::unique_ptr<bench::Emulator>>& terminals) {
    std::vector<std::unique_ptr<QProcess>> runs;
    QElapsedTimer timer;
    timer.start();
    for (std::size_t i = 0; i < terminals.size(); ++i) {
        const QString appDir = work + u"/pc-"_s + QString::number(i) + u'/';
        QDir().mkpath(appDir);
        QFile ini(appDir + u"hv.ini"_s);
        if (!ini.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write hv.ini");
        ini.write(server.iniSection(database));
        ini.close();
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(bench::benchFolder() + u"/orveloctl"_s,
                       {u"--app-dir"_s, appDir, u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                        QString::number(terminals[i]->tcpPort()), u"collect"_s});
        runs.push_back(std::move(process));
    }
    for (auto& run : runs) {
        if (!run->waitForFinished(1'800'000) || run->exitCode() != 0)
            throw std::runtime_error("an orveloctl collect failed");
    }
    return timer.nsecsElapsed() / 1e9;
}

// One collector of one terminal against four collectors of four terminals at once.
void fourCollectors(const QString& work, const bench::PrivateServer& server, int records) {
    std::vector<std::unique_ptr<bench::Emulator>> terminals;
    for (int i = 0; i < 4; ++i) {
        const QString state = work + u"/terminal-"_s + QString::number(i) + u".json"_s;
        bench::Emulator::seed(state, kEmployees, records, 11 + i);
        terminals.push_back(std::make_unique<bench::Emulator>(state));
    }
    server.run(u"DROP DATABASE IF EXISTS bench_one"_s);
    server.run(u"CREATE DATABASE bench_one TEMPLATE bench_base"_s);
    std::vector<std::unique_ptr<bench::Emulator>> first;
    first.push_back(std::move(terminals[0]));
    const double one = collectAtOnce(work, server, u"bench_one"_s, first);
    line("one orveloctl collecting %d records into the server: %.2f s, %.0f records/s\n", records, one,
         records / one);
    // Fresh terminals (the first one's records are collected now) and a fresh database.
    terminals.clear();
    first.clear();
    for (int i = 0; i < 4; ++i) {
        const QString state = work + u"/terminal4-"_s + QString::number(i) + u".json"_s;
        bench::Emulator::seed(state, kEmployees, records, 11 + i);
        terminals.push_back(std::make_unique<bench::Emulator>(state));
    }
    server.run(u"DROP DATABASE IF EXISTS bench_four"_s);
    server.run(u"CREATE DATABASE bench_four TEMPLATE bench_base"_s);
    const double four = collectAtOnce(work, server, u"bench_four"_s, terminals);
    line("four orveloctl at once, %d records each, into one server: %.2f s, %.0f records/s\n", records, four,
         4 * records / four);
    line("throughput ratio, four collectors to one: %.2f\n", (4 * records / four) / (records / one));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    QString keep;
    int repeat = 1;
    bool onServer = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--records"_s && i + 1 < args.size())
            counts.push_back(args[++i].toInt());
        else if (args[i] == u"--keep"_s && i + 1 < args.size())
            keep = args[++i];
        else if (args[i] == u"--repeat"_s && i + 1 < args.size())
            repeat = std::max(1, args[++i].toInt());
        else if (args[i] == u"--provider"_s && i + 1 < args.size() &&
                 (args[i + 1] == u"sqlite"_s || args[i + 1] == u"postgresql"_s))
            onServer = args[++i] == u"postgresql"_s;
        else {
            std::fprintf(
                stderr,
                "usage: collect [--records N]... [--repeat N] [--keep DIR] [--provider sqlite|postgresql]\n");
            return 64;
        }
    }
    if (counts.empty()) counts = {100'000, 200'000};

    try {
        QTemporaryDir temporary;
        const QString work = keep.isEmpty() ? temporary.path() : keep;
        QDir().mkpath(work);
        auto terminal = loadTerminalLibrary(bench::benchFolder());
        std::unique_ptr<bench::PrivateServer> server;
        QString base;
        if (onServer) {
            server = std::make_unique<bench::PrivateServer>(work + u"/postgresql-server"_s);
            buildServerBase(*server);
        } else {
            base = buildBaseDatabase(work);
        }
        // The machine is shared: with --repeat each size runs several times, on a fresh copy of
        // the database each time, and the fastest run counts.
        std::vector<RunResult> best;
        for (const int n : counts) {
            RunResult fastest;
            for (int r = 0; r < repeat; ++r) {
                const RunResult run =
                    server ? runOnceOnServer(work, *server, n, terminal) : runOnce(work, base, n, terminal);
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
        if (server) fourCollectors(work, *server, counts[0] / 4);
    } catch (const orvelo::Error& e) {
        std::fprintf(stderr, "collect: %s\n", e.text().toUtf8().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "collect: %s\n", e.what());
        return 1;
    }
    return 0;
}
