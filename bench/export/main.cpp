// bench/export: the attendance export of 1,000,000 rows (10,000 employees) from an embedded
// database, as CSV and as an Excel workbook, punches and daily. Each export runs in a process of its
// own, so that its memory is its own: the figures are the rows, the seconds of the export, the
// resident memory when the export began (Qt and the open database) and the peak resident memory of
// the whole process (VmHWM: start-up, database and export together). The target is a peak under
// 64 MB at any size; the program exits with 1 when an export misses it.
//
//   bench_export [--rows N] [--keep DIR]   (default: --rows 1000000)
//
// --keep DIR works in DIR and leaves the database and the files there; a database found there is
// used again. Run it from the release build (scripts/build release): the sanitizers of the test
// build multiply the memory.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

#include "bench/collect/bench_support.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "reports/attendance_export.h"

using namespace Qt::StringLiterals;
using namespace orvelo;

namespace {

constexpr int kEmployees = 10'000;
constexpr double kPeakTargetMiB = 64.0;

void line(const char* format, auto... values) {
    std::printf(format, values...);
    std::fflush(stdout);
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
long statusKiB(const char* field) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& row : status.readAll().split('\n'))
        if (row.startsWith(prefix)) return row.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

void buildDatabase(const QString& file, int rows) {
    QElapsedTimer timer;
    timer.start();
    DataModule data;
    data.openConnection({Dialect::Sqlite, {}, file});
    QSqlQuery(data.connection())
        .exec(u"insert into hrdept (deptid, deptno, deptname) values ('01', '01', '生产部')"_s);
    bench::seedEmployees(data, kEmployees);
    bench::seedAttendance(data, rows, kEmployees);
    line("database: %d employees, %d attendance rows, built in %.1f s\n", kEmployees, rows,
         timer.nsecsElapsed() / 1e9);
}

// The child: one export, then "ROWS SECONDS RSS_AT_START_KIB PEAK_KIB" on stdout.
int exportOnce(const QString& database, const QString& format, bool daily, const QString& out) {
    DataModule data;
    data.openConnection({Dialect::Sqlite, {}, database});
    const long atStart = statusKiB("VmRSS");
    // seedAttendance's rows lie in the first days of 2025.
    const reports::ExportRequest request{QDate(2025, 1, 1), QDate(2025, 12, 31), {}, daily};
    QElapsedTimer timer;
    timer.start();
    const reports::ExportSummary summary = reports::exportAttendance(
        data, request, format == u"xlsx"_s ? reports::ExportFormat::Xlsx : reports::ExportFormat::Csv, out);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%lld %.3f %ld %ld\n", static_cast<long long>(summary.rows), seconds, atStart,
                statusKiB("VmHWM"));
    return 0;
}

struct Figures {
    long long rows = 0;
    double seconds = 0;
    long atStartKiB = 0;
    long peakKiB = 0;
};

Figures runChild(const QString& database, const QString& format, bool daily, const QString& out) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {u"--child"_s, database, format, daily ? u"daily"_s : u"punches"_s, out});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) throw std::runtime_error("the export failed");
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4) throw std::runtime_error("unexpected output of the export");
    return {fields[0].toLongLong(), fields[1].toDouble(), fields[2].toLong(), fields[3].toLong()};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 6 && args[1] == u"--child"_s)
            return exportOnce(args[2], args[3], args[4] == u"daily"_s, args[5]);

        int rows = 1'000'000;
        QString keep;
        for (qsizetype i = 1; i < args.size(); ++i) {
            if (args[i] == u"--rows"_s && i + 1 < args.size())
                rows = args[++i].toInt();
            else if (args[i] == u"--keep"_s && i + 1 < args.size())
                keep = args[++i];
            else {
                std::fprintf(stderr, "usage: bench_export [--rows N] [--keep DIR]\n");
                return 64;
            }
        }
        QTemporaryDir temporary;
        const QString work = keep.isEmpty() ? temporary.path() : keep;
        QDir().mkpath(work);
        const QString database = work + u"/export.db"_s;
        if (QFile::exists(database))
            line("database: %s, kept from an earlier run\n", qPrintable(database));
        else
            buildDatabase(database, rows);

        bool met = true;
        for (const bool daily : {false, true}) {
            for (const QString& format : {u"csv"_s, u"xlsx"_s}) {
                const QString out = work + (daily ? u"/daily."_s : u"/punches."_s) + format;
                const Figures f = runChild(database, format, daily, out);
                const double peakMiB = f.peakKiB / 1024.0;
                met = met && peakMiB < kPeakTargetMiB;
                line(
                    "%-7s %-4s: %lld rows in %.2f s (%.0f rows/s), file %.1f MB; resident at the start %.1f "
                    "MB, "
                    "peak of the process %.1f MB (target under %.0f MB)\n",
                    daily ? "daily" : "punches", qPrintable(format), f.rows, f.seconds, f.rows / f.seconds,
                    QFileInfo(out).size() / 1e6, f.atStartKiB / 1024.0, peakMiB, kPeakTargetMiB);
            }
        }
        return met ? 0 : 1;
    } catch (const orvelo::Error& e) {
        std::fprintf(stderr, "bench_export: %s\n", e.text().toUtf8().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_export: %s\n", e.what());
        return 1;
    }
}
