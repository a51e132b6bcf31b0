// The refresh of the employee lists at 50,000 employees: the window offscreen on an embedded
// database, the enrollment page brought to the front (both lists re-read, the shown one's columns
// fitted over every row, the details re-read), then a search, a switch to the departed list and
// back, and ticking "对所有人员进行操作". Prints each in seconds.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

#include "app/employee_grid.h"
#include "app/entry_page.h"
#include "app/hv_client.h"
#include "core/text.h"
#include "db/data_module.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kEmployees = 50000;
constexpr int kDeparted = 2000;
constexpr int kDepartments = 40;
constexpr int kEnrolled = 12000;

void run(QSqlQuery& query) {
    if (!query.exec()) {
        std::fprintf(stderr, "seeding failed: %s\n", qPrintable(query.lastError().text()));
        std::exit(1);
    }
}

// The personnel database: departments, employees with Chinese names, a share of them departed,
// and four fingerprints each for the first 12,000.
void seed(orvelo::DataModule& data) {
    QSqlDatabase db = data.connection();
    db.transaction();
    QSqlQuery dept(db);
    dept.prepare(u"insert into hrdept (deptid, deptno, deptname) values (?, ?, ?)"_s);
    for (int d = 0; d < kDepartments; ++d) {
        dept.addBindValue(orvelo::zeroPad(d + 1, 2));
        dept.addBindValue(orvelo::zeroPad(d + 1, 2));
        dept.addBindValue(QString(u"生产部第"_s + QString::number(d + 1) + u"车间"_s));
        run(dept);
    }
    const QString family = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"_s;
    const QString given = u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英"_s;
    QSqlQuery employee(db);
    employee.prepare(
        u"insert into hremployee (EmplID, workid, Cardid, deptid, emplname, sex, married, entrydate, "
        u"leaveyn, "
        "leavedate, lastoperid, lastoperdate) values (?, ?, ?, ?, ?, ?, 0, ?, ?, ?, 'sa', '2024-01-01 00:00:00')"_s);
    for (int e = 0; e < kEmployees; ++e) {
        const bool departed = e % (kEmployees / kDeparted) == 0;
        employee.addBindValue(orvelo::zeroPad(e + 1, 8));
        employee.addBindValue(orvelo::zeroPad(e + 1, 8));
        employee.addBindValue(orvelo::zeroPad(e + 1, 5));
        employee.addBindValue(orvelo::zeroPad(e % kDepartments + 1, 2));
        employee.addBindValue(QString(QString(family.at(e % family.size())) +
                                      given.at((e / 7) % given.size()) +
                                      (e % 3 ? QString(given.at((e / 3) % given.size())) : QString())));
        employee.addBindValue(e % 2);
        employee.addBindValue(u"20%1-%2-%3"_s.arg(10 + e % 14)
                                  .arg(1 + e % 12, 2, 10, QChar(u'0'))
                                  .arg(1 + e % 28, 2, 10, QChar(u'0')));
        employee.addBindValue(departed ? 1 : 0);
        employee.addBindValue(departed ? QVariant(u"2024-03-31"_s)
                                       : QVariant(QMetaType::fromType<QString>()));
        run(employee);
    }
    QSqlQuery finger(db);
    finger.prepare(
        u"insert into equfinger (emplid, cardno, backupid, privilege, pws, fingerdata) values (?, ?, ?, 0, '0', '')"_s);
    for (int e = 0; e < kEnrolled; ++e)
        for (int f = 0; f < 4; ++f) {
            finger.addBindValue(orvelo::zeroPad(e + 1, 8));
            finger.addBindValue(orvelo::zeroPad(e + 1, 5));
            finger.addBindValue(f);
            run(finger);
        }
    db.commit();
}

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Wall-clock seconds, and the processor seconds of this process (the honest figure on a machine
// that other work shares).
struct Timing {
    double wall;
    double cpu;
};

template <class Step>
Timing seconds(Step step) {
    QElapsedTimer timer;
    const double cpuStart = processSeconds();
    timer.start();
    step();
    return {double(timer.nsecsElapsed()) / 1e9, processSeconds() - cpuStart};
}

void report(const char* what, Timing timing) {
    std::printf("%s: %.3f s (processor %.3f s)\n", what, timing.wall, timing.cpu);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString appDir = dir.path() + u'/';
    {
        QFile ini(appDir + u"hv.ini"_s);
        if (!ini.open(QIODevice::WriteOnly)) return 1;
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
    }

    orvelo::DataModule data;
    data.openConnection({orvelo::Dialect::Sqlite, {}, appDir + u"orvelo.db"_s});
    const Timing seeding = seconds([&] { seed(data); });

    // No step here reaches a terminal, so the library is never loaded.
    orvelo::Tfrm_hv_client window(data, appDir);
    if (!window.FormCreate()) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    window.show();
    app.processEvents();
    auto* pages = window.findChild<QTabWidget*>(u"pgc_Device"_s);
    auto* entry = window.findChild<orvelo::EntryPage*>();

    std::printf("%d employees (%d departed, %d with 4 fingerprints each)\n", kEmployees, kDeparted,
                kEnrolled);
    report("seeding the database", seeding);
    report("list refresh with fitting (enrollment page to the front)", seconds([&] {
               pages->setCurrentIndex(orvelo::Tfrm_hv_client::kEntryPageIndex);
               app.processEvents();
           }));
    std::printf("  active rows %d, departed rows %d, detail rows %d\n", data.qry_3.rowCount(),
                data.qry_4.rowCount(), data.qry_5.rowCount());
    // bench_list_refresh --screenshot FILE: a picture of the window as the refresh left it.
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(u"--screenshot"_s); at >= 0 && at + 1 < arguments.size())
        window.grab().save(arguments.at(at + 1));
    report("list refresh with fitting, again", seconds([&] {
               pages->setCurrentIndex(0);
               pages->setCurrentIndex(orvelo::Tfrm_hv_client::kEntryPageIndex);
               app.processEvents();
           }));
    report("search matching every department", seconds([&] {
               entry->edt_keyword->setText(u"车间"_s);
               entry->btn_search->click();
               app.processEvents();
           }));
    report("switch to the departed list (refresh, fitting its 2,000 rows)", seconds([&] {
               entry->pgc_employee->setCurrentIndex(1);
               app.processEvents();
           }));
    report("switch back to the active list (refresh with fitting)", seconds([&] {
               entry->pgc_employee->setCurrentIndex(0);
               app.processEvents();
           }));
    report("select all rows of the active list", seconds([&] {
               entry->chk_SelectAll->click();
               app.processEvents();
           }));
    std::printf("  selected rows %d\n", int(entry->dbgrdh_3->selectionModel()->selectedRows().size()));
    return 0;
}
