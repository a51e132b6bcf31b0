// bench/fleet: collection from many terminals in one orveloctl run against the same terminals
// collected one orveloctl run at a time. N emulated terminals of M log records each serve on
// loopback TCP. First each terminal is collected by its own `orveloctl collect --all` into one
// embedded database, and the seconds of those runs are summed; then one
// `orveloctl --all-terminals collect --all`, with a terminals.ini listing the same terminals,
// collects them all into a fresh copy of the same database. Both pass the same records through
// the same store; what the one run adds (or saves: one start-up instead of N) is the ratio.
//
//   bench_fleet [--terminals N] [--records M] [--keep DIR]   (default: 20 terminals, 5,000 records)
//
// Every terminal is collected with --all, so the terminal's "collected" marks left by the first
// phase do not change what the second phase reads.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "bench/collect/bench_support.h"
#include "core/errors.h"
#include "db/data_module.h"

using namespace Qt::StringLiterals;
using namespace orvelo;

namespace {

constexpr int kEmployees = 1'000;

void line(const char* format, auto... values) {
    std::printf(format, values...);
    std::fflush(stdout);
}

void writeText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
}

// An application folder with the embedded database copied from `baseDb`.
QString prepareAppFolder(const QString& folder, const QString& baseDb) {
    const QString appDir = folder + u'/';
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder)) throw std::runtime_error("cannot create " + folder.toStdString());
    if (!QFile::copy(baseDb, appDir + u"orvelo.db"_s))
        throw std::runtime_error("cannot copy the base database");
    writeText(appDir + u"hv.ini"_s, u"[database]\nprovider=sqlite\ndatabase name=orvelo.db\n"_s);
    return appDir;
}

struct Run {
    double seconds = 0;
    int exitStatus = -1;
    QByteArray out;
    QByteArray err;
};

Run orveloctl(const QStringList& arguments) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(bench::benchFolder() + u"/orveloctl"_s, arguments);
    if (!process.waitForFinished(3'600'000)) throw std::runtime_error("orveloctl did not finish");
    Run run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (run.exitStatus != 0)
        throw std::runtime_error("orveloctl " + arguments.join(u' ').toStdString() + " exited with " +
                                 std::to_string(run.exitStatus) + ":\n" + run.err.toStdString());
    return run;
}

// The seed writes machine 1; each terminal gets its own number, as a site's terminals have.
void setMachineNumber(const QString& stateFile, int machine) {
    QFile file(stateFile);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + stateFile.toStdString());
    QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    state.insert(u"machine"_s, machine);
    writeText(stateFile, QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact)));
}

qint64 storedRows(const QString& appDir) {
    DataModule data;
    data.openConnection({Dialect::Sqlite, {}, appDir + u"orvelo.db"_s});
    return bench::maxAtdRowid(data);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int terminals = 20;
    int records = 5'000;
    QString keep;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--terminals"_s && i + 1 < args.size())
            terminals = std::max(1, args[++i].toInt());
        else if (args[i] == u"--records"_s && i + 1 < args.size())
            records = std::max(1, args[++i].toInt());
        else if (args[i] == u"--keep"_s && i + 1 < args.size())
            keep = args[++i];
        else {
            std::fprintf(stderr, "usage: bench_fleet [--terminals N] [--records M] [--keep DIR]\n");
            return 64;
        }
    }

    try {
        QTemporaryDir temporary;
        const QString work = keep.isEmpty() ? temporary.path() : keep;
        QDir().mkpath(work);

        const QString baseDb = work + u"/base.db"_s;
        QFile::remove(baseDb);
        {
            DataModule data;
            data.openConnection({Dialect::Sqlite, {}, baseDb});
            bench::seedEmployees(data, kEmployees);
        }

        // Each terminal its own machine number and its own records (a seed of its own), so that the
        // two phases store the same rows and every terminal brings rows of its own.
        std::vector<std::unique_ptr<bench::Emulator>> emulators;
        QString terminalsIni;
        QElapsedTimer setup;
        setup.start();
        for (int t = 1; t <= terminals; ++t) {
            const QString state = work + u"/terminal-%1.json"_s.arg(t);
            bench::Emulator::seed(state, kEmployees, records, 1000 + t);
            setMachineNumber(state, t);
            emulators.push_back(std::make_unique<bench::Emulator>(state));
            terminalsIni +=
                u"[Terminal %1]\nmachine = %1\nlink = tcp\nip = 127.0.0.1\nport = %2\ntimeout = 10000\n\n"_s
                    .arg(t)
                    .arg(emulators.back()->tcpPort());
        }
        line("%d emulated terminals of %d records each on loopback, seeded and started in %.1f s\n",
             terminals, records, double(setup.nsecsElapsed()) / 1e9);

        // Phase 1: one orveloctl per terminal.
        const QString single = prepareAppFolder(work + u"/single"_s, baseDb);
        double sum = 0;
        for (int t = 1; t <= terminals; ++t) {
            const Run run = orveloctl({u"--app-dir"_s, single, u"--machine"_s, QString::number(t),
                                       u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                                       QString::number(emulators[std::size_t(t - 1)]->tcpPort()),
                                       u"--timeout"_s, u"10000"_s, u"collect"_s, u"--all"_s});
            sum += run.seconds;
        }
        const qint64 singleRows = storedRows(single);
        line("%d single runs (orveloctl collect --all, one per terminal): %.2f s in sum, %lld rows stored\n",
             terminals, sum, static_cast<long long>(singleRows));

        // Phase 2: one orveloctl over the list.
        const QString fleet = prepareAppFolder(work + u"/fleet"_s, baseDb);
        writeText(fleet + u"terminals.ini"_s, terminalsIni);
        const Run all = orveloctl({u"--app-dir"_s, fleet, u"--all-terminals"_s, u"collect"_s, u"--all"_s});
        const qint64 fleetRows = storedRows(fleet);
        line(
            "one run over all %d terminals (orveloctl --all-terminals collect --all): %.2f s, %lld rows "
            "stored\n",
            terminals, all.seconds, static_cast<long long>(fleetRows));
        if (fleetRows != singleRows)
            throw std::runtime_error("the two phases stored different numbers of rows");

        line("ratio, all terminals in one run / sum of the single runs: %.2f (target at most 1.2)\n",
             all.seconds / sum);
    } catch (const orvelo::Error& e) {
        std::fprintf(stderr, "bench_fleet: %s\n", e.text().toUtf8().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_fleet: %s\n", e.what());
        return 1;
    }
    return 0;
}
