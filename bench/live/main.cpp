// bench/live: the delay from a punch on a terminal to its row in the database, under orveloctl
// watch's session. N emulated terminals (default 10) each punch every P ms (default 500: 20
// punches a second in all) for S seconds (default 60), with fixed seeds; one WatchSession listens
// to all of them and stores into one embedded database.
//
//   bench_live [--terminals N] [--seconds S] [--every-ms P] [--users U]
//
// The delay of a punch is measured from the moment the terminal made it to the moment its store
// call returned (its row, or the row it duplicates, committed). An emulator makes its k-th punch
// (k from 0, its log position) at t0 + (k + 1) * P on the machine's monotonic clock, t0 being the
// moment its punch timer starts, some time after this program started the process. Two figures:
//   - bound: t0 taken as the start of the process, so every delay is over-counted by the
//     emulator's start-up (reading its state): an upper bound;
//   - estimate: t0 taken so that the fastest punch of each terminal had no delay at all: a lower
//     bound, short by that fastest delay (one commit).
// Lost punches: the records in the emulators' logs whose employee, day and minute have no row once
// the terminals are stopped and the watch has handled everything they sent (a second punch of an
// employee within a minute is a duplicate by design: its row is the first one's).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "access/terminal_library.h"
#include "bench/collect/bench_support.h"
#include "core/text.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "live/watch_session.h"

using namespace Qt::StringLiterals;
using namespace orvelo;
using SteadyClock = std::chrono::steady_clock;

namespace {

struct Options {
    int terminals = 10;
    int seconds = 60;
    int everyMs = 500;
    int users = 2000;
};

Options parse(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString value = args.value(i + 1);
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || n <= 0)
            throw std::runtime_error(
                "usage: bench_live [--terminals N] [--seconds S] [--every-ms P] [--users U]");
        if (args[i] == u"--terminals"_s)
            o.terminals = n;
        else if (args[i] == u"--seconds"_s)
            o.seconds = n;
        else if (args[i] == u"--every-ms"_s)
            o.everyMs = n;
        else if (args[i] == u"--users"_s)
            o.users = n;
        else
            throw std::runtime_error("unknown option " + args[i].toStdString());
        ++i;
    }
    return o;
}

struct Terminal {
    QString state;
    std::unique_ptr<QProcess> process;
    SteadyClock::time_point started;
    int port = 0;
};

void startTerminal(Terminal& t, int everyMs, int seed) {
    t.process = std::make_unique<QProcess>();
    t.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    t.started = SteadyClock::now();
    t.process->start(bench::benchFolder() + u"/orvelo-terminal"_s,
                     {u"--state"_s, t.state, u"--tcp"_s, u"127.0.0.1:0"_s, u"--punch-every-ms"_s,
                      QString::number(everyMs), u"--punch-seed"_s, QString::number(seed)});
    if (!t.process->waitForStarted(30'000)) throw std::runtime_error("orvelo-terminal did not start");
    while (!t.process->canReadLine())
        if (!t.process->waitForReadyRead(60'000)) throw std::runtime_error("orvelo-terminal did not listen");
    const QString line = QString::fromUtf8(t.process->readLine()).trimmed();
    t.port = line.section(u' ', 1, 1).section(u':', -1).toInt();
    if (!line.startsWith(u"listening"_s) || t.port <= 0)
        throw std::runtime_error("unexpected line: " + line.toStdString());
}

QJsonObject dump(const QString& state) {
    QProcess p;
    p.start(bench::benchFolder() + u"/orvelo-terminal"_s, {u"--state"_s, state, u"--dump"_s});
    if (!p.waitForFinished(120'000) || p.exitCode() != 0) throw std::runtime_error("dump failed");
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(values.size())));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

int run(const Options& o) {
    QTemporaryDir folder;
    if (!folder.isValid()) throw std::runtime_error("no temporary folder");
    const QString appDir = folder.path() + u"/app/"_s;
    QDir().mkpath(appDir);
    {
        QFile ini(appDir + u"hv.ini"_s);
        if (!ini.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write hv.ini");
        ini.write("[database]\nprovider=sqlite\ndatabase name=orvelo.db\n");
    }
    const auto openData = [appDir] {
        auto data = std::make_unique<DataModule>();
        data->openConnection(databaseTargetAtStartup(appDir).value());
        return data;
    };
    const auto data = openData();
    bench::seedEmployees(*data, o.users);

    std::vector<Terminal> terminals(static_cast<std::size_t>(o.terminals));
    QList<live::WatchTerminal> watched;
    for (int i = 0; i < o.terminals; ++i) {
        Terminal& t = terminals[std::size_t(i)];
        t.state = folder.filePath(u"terminal%1.json"_s.arg(i));
        bench::Emulator::seed(t.state, o.users, 0);
    }
    for (int i = 0; i < o.terminals; ++i) {
        Terminal& t = terminals[std::size_t(i)];
        startTerminal(t, o.everyMs, 1000 + i);
        live::WatchTerminal w{u"t%1"_s.arg(i), {}};
        w.panel.chooseTcpIp();
        w.panel.ipAddress = u"127.0.0.1"_s;
        w.panel.netPort = QString::number(t.port);
        watched << w;
    }

    std::mutex mutex;
    std::map<QString, std::map<int, SteadyClock::time_point>> arrivals;  // terminal -> position -> time
    int lostLines = 0;
    const std::unique_ptr<TerminalLibrary> library = loadTerminalLibrary(bench::benchFolder());
    const SystemClock clock;
    live::WatchSession session({.library = *library,
                                .clock = clock,
                                .appDir = appDir,
                                .openDatabase = openData,
                                .print =
                                    [&](const QString& line) {
                                        if (line.contains(u"  lost  "_s)) ++lostLines;
                                    },
                                .observer =
                                    [&](const live::HandledPunch& punch) {
                                        const auto now = SteadyClock::now();
                                        std::lock_guard lock(mutex);
                                        arrivals[punch.terminal].emplace(punch.logPosition, now);
                                    }},
                               watched);
    session.start();
    std::printf("bench_live: %d terminals punching every %d ms (%.1f punches/s in all) for %d s\n",
                o.terminals, o.everyMs, o.terminals * 1000.0 / o.everyMs, o.seconds);
    std::fflush(stdout);
    QThread::sleep(static_cast<unsigned long>(o.seconds));

    // The terminals stop; each loss is reported once the watch has handled all that came before it.
    for (Terminal& t : terminals) t.process->terminate();
    for (Terminal& t : terminals) t.process->waitForFinished(30'000);
    for (int waited = 0; waited < 300; ++waited) {
        {
            std::lock_guard lock(mutex);
            if (lostLines >= o.terminals) break;
        }
        QThread::msleep(100);
    }
    session.stop();

    std::vector<double> bound;
    std::vector<double> estimate;
    int punches = 0;
    QSet<QString> expected;
    for (int i = 0; i < o.terminals; ++i) {
        const Terminal& t = terminals[std::size_t(i)];
        const QJsonArray logs = dump(t.state)[u"logs"_s].toArray();
        punches += int(logs.size());
        for (const auto& log : logs) {
            const QJsonObject r = log.toObject();
            expected.insert(zeroPad(r[u"enroll"_s].toInt(), 6) + u' ' + r[u"time"_s].toString().left(16));
        }
        const auto& seen = arrivals[u"t%1"_s.arg(i)];
        std::vector<double> fromStart;
        for (const auto& [position, at] : seen) {
            const auto due = std::chrono::milliseconds(std::int64_t(position + 1) * o.everyMs);
            fromStart.push_back(std::chrono::duration<double, std::milli>(at - t.started - due).count());
        }
        if (fromStart.empty()) continue;
        const double fastest = *std::min_element(fromStart.begin(), fromStart.end());
        for (const double d : fromStart) {
            bound.push_back(d);
            estimate.push_back(d - fastest);
        }
    }
    QSet<QString> stored;
    QSqlQuery q(data->connection());
    q.exec(u"select EmplID, RecDate, RecTime from AtdRecord"_s);
    while (q.next())
        stored.insert(q.value(0).toString().trimmed() + u' ' + q.value(1).toString().trimmed() + u' ' +
                      q.value(2).toString().trimmed().left(5));
    int lost = 0;
    for (const QString& key : expected)
        if (!stored.contains(key)) ++lost;

    std::printf("punches made: %d, handled as events: %zu, employee-minutes: %lld, rows: %lld\n", punches,
                bound.size(), qlonglong(expected.size()), qlonglong(stored.size()));
    std::printf(
        "delay punch -> row, bound (from the emulator's process start): p50 %.1f ms, p99 %.1f ms, max %.1f "
        "ms\n",
        percentile(bound, 50), percentile(bound, 99), percentile(bound, 100));
    std::printf(
        "delay punch -> row, estimate (fastest punch of each terminal as 0): p50 %.1f ms, p99 %.1f ms, max "
        "%.1f ms\n",
        percentile(estimate, 50), percentile(estimate, 99), percentile(estimate, 100));
    std::printf("lost: %d employee-minutes of the terminals' logs without a row\n", lost);
    return lost == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return run(parse(app.arguments()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_live: %s\n", error.what());
        return 2;
    }
}
