// bench_enrollment: the two enrollment transfers at the size of a large site. A seeded emulator
// (3,000 users with 4 fingerprints each) over loopback TCP, an embedded database of 50,000
// employees; prints the seconds of "获取所有注册信息" (every user of the terminal into the
// database) and of "写入指纹及姓名" for one department of 3,000 employees (found with the keyword
// search and ticked whole, as the operator does).
//
//   bench_enrollment [--users N] [--enrollments M] [--employees K] [--no-upload]
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
#include <stdexcept>

#include "context/command_context.h"
#include "core/datetime.h"
#include "core/ports.h"
#include "core/text.h"
#include "db/data_module.h"
#include "db/startup.h"
#include "device/connection.h"
#include "device/terminal_library.h"
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

#define ORVELO_TIMED_OPERATION(name, result, parameters, arguments) \
    result name parameters override { return timed([&] { return ForwardingTerminalLibrary::name arguments; }); }
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
    parser.process(app);
    const int users = parser.value(QStringLiteral("users")).toInt();
    const int enrollments = parser.value(QStringLiteral("enrollments")).toInt();
    const int employees = std::max(parser.value(QStringLiteral("employees")).toInt(), users);

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

        QProcess terminalProcess;
        terminalProcess.start(emulator, {QStringLiteral("--state"), state, QStringLiteral("--tcp"),
                                         QStringLiteral("127.0.0.1:0")});
        check(terminalProcess.waitForStarted() && terminalProcess.waitForReadyRead(60000),
              QStringLiteral("the emulator did not start"));
        const QString listening = QString::fromUtf8(terminalProcess.readLine());
        const QRegularExpressionMatch port =
            QRegularExpression(QStringLiteral("tcp=127\\.0\\.0\\.1:(\\d+)")).match(listening);
        check(port.hasMatch(), QStringLiteral("unexpected line from the emulator: ") + listening);

        ConnectionPanelState panel;
        panel.usbChecked = false;
        panel.tcpIpChecked = true;
        panel.ipAddress = QStringLiteral("127.0.0.1");
        panel.netPort = port.captured(1);
        PrintingView view;
        ConnectionSettings settings;
        const std::unique_ptr<TerminalLibrary> library = loadTerminalLibrary(binDir);
        TimedTerminalLibrary terminal(*library);
        SystemClock clock;
        ModelEmployeeGrids grids(data);
        SelectedEmployees selection(data, grids);
        CommandContext ctx{view, panel, settings, terminal, data, clock, appDir, &selection};

        std::printf(
            "%d employees in the database, %d users x %d fingerprints on the terminal (TCP port %s)\n",
            employees, users, enrollments, qPrintable(port.captured(1)));

        QElapsedTimer timer;
        timer.start();
        btn_GetAllEntryInfoClick(ctx);
        const double downloadSeconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("download all enrollments: %.2f s (%d equfinger rows; %lld terminal calls took %.2f s)\n",
                    downloadSeconds, countRows(data, QStringLiteral("equfinger")), terminal.calls(),
                    terminal.seconds());

        if (parser.isSet(QStringLiteral("no-upload"))) {
            terminalProcess.terminate();
            terminalProcess.waitForFinished(30000);
            return view.errors == 0 ? 0 : 1;
        }

        btn_searchClick(ctx, grids, kBenchDepartment);
        chk_SelectAllClick(ctx, grids, true);
        const int selected = selection.count();
        terminal.reset();
        timer.restart();
        btn_WriteEntryInfoClick(ctx);
        const double uploadSeconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("upload one department: %.2f s (%d employees; %lld terminal calls took %.2f s)\n",
                    uploadSeconds, selected, terminal.calls(), terminal.seconds());

        terminalProcess.terminate();
        terminalProcess.waitForFinished(30000);
        return view.errors == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_enrollment: %s\n", e.what());
        return 1;
    }
}
