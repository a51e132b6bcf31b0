// bench_enrollment: the two enrollment transfers at the size of a large site. A seeded emulator
// (3,000 users with 4 fingerprints each) over loopback TCP, an embedded database of 50,000
// employees; prints the seconds of "获取所有注册信息" (every user of the terminal into the
// database) and of "写入指纹及姓名" for one department of 3,000 employees (found with the keyword
// search and ticked whole, as the operator does). With --delay-ms N the emulator waits N ms before
// each reply, as a terminal on a LAN does; the requests each transfer cost are counted by the
// emulator and printed per user. --one-by-one turns the library's bulk reads off (FK_ONE_BY_ONE),
// for the figures without them.
//
//   bench_enrollment [--users N] [--enrollments M] [--employees K] [--delay-ms N] [--one-by-one]
//                    [--no-upload]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "core/ports.h"
#include "core/text.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "directory/employee_lists.h"
#include "directory/employee_search.h"
#include "directory/model_employee_grids.h"
#include "directory/selected_employees.h"
#include "enrollment/enrollment_commands.h"

using namespace orvelo;

namespace {

const QString kBenchDepartment = QStringLiteral("基准部门");

// Prints what the operator would read; progress and status are left out.
class PrintingView : public OperatorView {
public:
    void appendLog(LogPane, const QString& line) override { print(line); }
    void setStatusText(const QString&) override {}
    void setProgress(int, bool) override {}
    void messageBox(const QString& text, const QString& caption, BoxIcon) override {
        print(QStringLiteral("  ") + caption + QStringLiteral(": ") + text);
    }
    void errorBox(const QString& text) override {
        ++errors;
        print(QStringLiteral("  Orvelo系统: ") + text);
    }
    void setFileDialogFilter(const QString&) override {}
    void setFileDialogFolder(const QString&) override {}
    std::optional<QString> chooseFile() override { return std::nullopt; }

    int errors = 0;

private:
    static void print(const QString& line) {
        std::fputs(line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
};

// Forwards to the loaded library and adds up the time spent inside it, so the figures can be
// split between the terminal and the database.
class TimedTerminalLibrary : public ForwardingTerminalLibrary {
public:
    explicit TimedTerminalLibrary(TerminalLibrary& inner) : ForwardingTerminalLibrary(inner) {}

    double seconds() const { return double(m_nanoseconds) / 1e9; }
    qint64 calls() const { return m_calls; }
    void reset() { m_nanoseconds = 0, m_calls = 0; }

#define ORVELO_TIMED_OPERATION(name, result, parameters, arguments)              \
    result name parameters override {                                            \
        return timed([&] { return ForwardingTerminalLibrary::name arguments; }); \
    }
    ORVELO_TERMINAL_OPERATIONS(ORVELO_TIMED_OPERATION)
#undef ORVELO_TIMED_OPERATION

private:
    template <typename Call>
    std::int32_t timed(Call call) {
        QElapsedTimer timer;
        timer.start();
        const std::int32_t result = call();
        m_nanoseconds += timer.nsecsElapsed();
        ++m_calls;
        return result;
    }

    qint64 m_nanoseconds = 0;
    qint64 m_calls = 0;
};

void check(bool ok, const QString& what) {
    if (!ok) throw std::runtime_error(what.toStdString());
}

void exec(QSqlQuery& query) {
    check(query.exec(), query.lastError().text());
}

// 50,000 employees in 17 departments: the bench department holds the terminal's users (enroll
// numbers 1 to `users`, employee numbers as the download writes them), the others employees
// whose registration numbers the terminal does not know.
void fillDatabase(DataModule& data, int employees, int users) {
    QSqlDatabase db = data.connection();
    check(db.transaction(), db.lastError().text());
    QSqlQuery department(db);
    department.prepare(QStringLiteral("insert into hrdept (deptid, deptno, deptname) values (?, ?, ?)"));
    for (int d = 0; d <= 16; ++d) {
        const QString id = QStringLiteral("B%1").arg(d, 2, 10, QLatin1Char('0'));
        department.addBindValue(id);
        department.addBindValue(id);
        department.addBindValue(d == 0 ? kBenchDepartment
                                       : QStringLiteral("部门%1").arg(d, 2, 10, QLatin1Char('0')));
        exec(department);
    }
    QSqlQuery employee(db);
    employee.prepare(
        QStringLiteral("insert into hremployee (EmplID, workid, Cardid, deptid, emplname, sex, married, "
                       "identityid, password,"
                       " teamid, shiftid, weekendid, entrydate, leaveyn, remark, lastoperid, lastoperdate)"
                       " values (?, ?, ?, ?, ?, ?, 0, '', '', '', '', '', '2020-01-01', 0, '', 'sa', "
                       "'2020-01-01 00:00:00')"));
    for (int i = 1; i <= employees; ++i) {
        const bool onTerminal = i <= users;
        const int enroll = onTerminal ? i : 100000 + i;
        employee.addBindValue(onTerminal ? zeroPad(enroll, 8)
                                         : QStringLiteral("P%1").arg(i, 7, 10, QLatin1Char('0')));
        employee.addBindValue(zeroPad(enroll, 6));
        employee.addBindValue(zeroPad(enroll, 5));
        employee.addBindValue(onTerminal ? QStringLiteral("B00")
                                         : QStringLiteral("B%1").arg(1 + i % 16, 2, 10, QLatin1Char('0')));
        employee.addBindValue(QStringLiteral("员工%1").arg(i));
        employee.addBindValue(i % 2);
        exec(employee);
    }
    check(db.commit(), db.lastError().text());
}

int countRows(DataModule& data, const QString& table) {
    QSqlQuery query(data.connection());
    check(query.exec(QStringLiteral("select count(*) from ") + table) && query.next(),
          query.lastError().text());
    return query.value(0).toInt();
}

// One run of the emulator on the state file; the requests it received are told when it stops.
class BenchTerminal {
public:
    BenchTerminal(const QString& program, const QString& state, int delayMs) {
        QStringList arguments{QStringLiteral("--state"), state, QStringLiteral("--tcp"),
                              QStringLiteral("127.0.0.1:0"), QStringLiteral("--count-requests")};
        if (delayMs > 0) arguments << QStringLiteral("--fault") << QStringLiteral("delay-ms=%1").arg(delayMs);
        m_process.start(program, arguments);
        check(m_process.waitForStarted() && m_process.waitForReadyRead(60000),
              QStringLiteral("the emulator did not start"));
        const QString listening = QString::fromUtf8(m_process.readLine());
        const QRegularExpressionMatch port =
            QRegularExpression(QStringLiteral("tcp=127\\.0\\.0\\.1:(\\d+)")).match(listening);
        check(port.hasMatch(), QStringLiteral("unexpected line from the emulator: ") + listening);
        m_port = port.captured(1);
    }
    ~BenchTerminal() {
        if (m_process.state() != QProcess::NotRunning) stop();
    }
    const QString& port() const { return m_port; }

    // Stops the emulator (it saves its state) and returns the requests it received.
    qint64 stop() {
        m_process.terminate();
        check(m_process.waitForFinished(60000), QStringLiteral("the emulator did not stop"));
        const QString err = QString::fromUtf8(m_process.readAllStandardError());
        const QRegularExpressionMatch count =
            QRegularExpression(QStringLiteral("(\\d+) requests received")).match(err);
        check(count.hasMatch(), QStringLiteral("the emulator told no request count: ") + err);
        return count.captured(1).toLongLong();
    }

private:
    QProcess m_process;
    QString m_port;
};

QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    check(process.waitForFinished(600000) && process.exitCode() == 0,
          program + QStringLiteral(" failed: ") + QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("users"), QStringLiteral("users on the terminal"), QStringLiteral("N"),
                      QStringLiteral("3000")});
    parser.addOption({QStringLiteral("enrollments"), QStringLiteral("fingerprints per user"),
                      QStringLiteral("M"), QStringLiteral("4")});
    parser.addOption({QStringLiteral("employees"), QStringLiteral("employees in the database"),
                      QStringLiteral("K"), QStringLiteral("50000")});
    parser.addOption({QStringLiteral("no-upload"), QStringLiteral("measure the download only")});
    parser.addOption({QStringLiteral("delay-ms"), QStringLiteral("the emulator waits N ms before each reply"),
                      QStringLiteral("N"), QStringLiteral("0")});
    parser.addOption(
        {QStringLiteral("one-by-one"), QStringLiteral("one request per library call (no bulk reads)")});
    parser.process(app);
    const int users = parser.value(QStringLiteral("users")).toInt();
    const int enrollments = parser.value(QStringLiteral("enrollments")).toInt();
    const int employees = std::max(parser.value(QStringLiteral("employees")).toInt(), users);
    const int delayMs = parser.value(QStringLiteral("delay-ms")).toInt();
    // The library reads it at each connect.
    if (parser.isSet(QStringLiteral("one-by-one"))) qputenv("FK_ONE_BY_ONE", "1");

    try {
        QTemporaryDir folder;
        check(folder.isValid(), QStringLiteral("no temporary folder"));
        const QString appDir = folder.path() + u'/';
        const QString binDir = QCoreApplication::applicationDirPath();
        QDir(appDir).mkpath(QStringLiteral("data"));
        QFile ini(appDir + QStringLiteral("hv.ini"));
        check(ini.open(QIODevice::WriteOnly), QStringLiteral("cannot write hv.ini"));
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
        ini.close();

        DataModule data;
        const auto target = databaseTargetAtStartup(appDir);
        check(target.has_value(), QStringLiteral("hv.ini names no database"));
        data.openConnection(*target);
        fillDatabase(data, employees, users);
        OpenEmployeeLists(data);

        const QString emulator = binDir + QStringLiteral("/orvelo-terminal");
        const QString state = appDir + QStringLiteral("terminal.json");
        runTool(emulator, {QStringLiteral("seed"), QStringLiteral("--users"), QString::number(users),
                           QStringLiteral("--enrollments"), QString::number(enrollments),
                           QStringLiteral("--logs"), QStringLiteral("0"), QStringLiteral("--out"), state});

        auto terminalProcess = std::make_unique<BenchTerminal>(emulator, state, delayMs);

        ConnectionPanelState panel;
        panel.usbChecked = false;
        panel.tcpIpChecked = true;
        panel.ipAddress = QStringLiteral("127.0.0.1");
        panel.netPort = terminalProcess->port();
        PrintingView view;
        ConnectionSettings settings;
        const std::unique_ptr<TerminalLibrary> library = loadTerminalLibrary(binDir);
        TimedTerminalLibrary terminal(*library);
        SystemClock clock;
        ModelEmployeeGrids grids(data);
        SelectedEmployees selection(data, grids);
        CommandContext ctx{view, panel, settings, terminal, data, clock, appDir, &selection};

        std::printf(
            "%d employees in the database, %d users x %d fingerprints on the terminal, %d ms per reply, %s\n",
            employees, users, enrollments, delayMs,
            parser.isSet(QStringLiteral("one-by-one")) ? "one request per call" : "bulk reads");

        QElapsedTimer timer;
        timer.start();
        btn_GetAllEntryInfoClick(ctx);
        const double downloadSeconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 downloadRequests = terminalProcess->stop();
        std::printf(
            "download all enrollments: %.2f s (%d equfinger rows; %lld terminal calls took %.2f s; "
            "%lld requests, %.2f per user)\n",
            downloadSeconds, countRows(data, QStringLiteral("equfinger")), terminal.calls(),
            terminal.seconds(), downloadRequests, double(downloadRequests) / std::max(users, 1));

        if (parser.isSet(QStringLiteral("no-upload"))) return view.errors == 0 ? 0 : 1;
        terminalProcess = std::make_unique<BenchTerminal>(emulator, state, delayMs);
        ctx.panel.netPort = terminalProcess->port();

        btn_searchClick(ctx, grids, kBenchDepartment);
        chk_SelectAllClick(ctx, grids, true);
        const int selected = selection.count();
        terminal.reset();
        timer.restart();
        btn_WriteEntryInfoClick(ctx);
        const double uploadSeconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 uploadRequests = terminalProcess->stop();
        std::printf(
            "upload one department: %.2f s (%d employees; %lld terminal calls took %.2f s; "
            "%lld requests, %.2f per employee)\n",
            uploadSeconds, selected, terminal.calls(), terminal.seconds(), uploadRequests,
            double(uploadRequests) / std::max(selected, 1));
        return view.errors == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_enrollment: %s\n", e.what());
        return 1;
    }
}
