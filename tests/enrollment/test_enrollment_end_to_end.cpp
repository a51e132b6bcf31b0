// The enrollment commands end to end: the window (offscreen) and orveloctl, through
// libfkattend.so over loopback TCP, against the emulated terminal and an embedded database.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "access/terminal_library.h"
#include "app/employee_grid.h"
#include "app/entry_page.h"
#include "app/hv_client.h"
#include "app/widget_operator_view.h"
#include "core/datetime.h"
#include "db/data_module.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

const QString kThirteenCharacters = QStringLiteral("欧阳一二三四五六七八九十丙");

// A fingerprint of 458 values of both signs, different for every `seed`.
QJsonArray fingerprint(int seed) {
    QJsonArray values;
    for (int i = 0; i < 458; ++i) values.append((i * 37 + seed * 1013) % 65536 - 32768);
    return values;
}

QJsonObject enrollment(int backup, int privilege, int password, const QJsonArray& templateValues = {}) {
    return {{QStringLiteral("backup"), backup},
            {QStringLiteral("privilege"), privilege},
            {QStringLiteral("password"), password},
            {QStringLiteral("template"), templateValues}};
}

// Three users: an administrator with two fingerprints, one with a fingerprint, a card and a
// password, and one whose name takes the 39 bytes a name may have.
QJsonObject terminalState() {
    const auto user = [](int enroll, const QString& name, const QJsonArray& enrollments) {
        return QJsonObject{{QStringLiteral("enroll"), enroll},
                           {QStringLiteral("name"), name},
                           {QStringLiteral("enrollments"), enrollments}};
    };
    return {{QStringLiteral("machine"), 1},
            {QStringLiteral("password"), 0},
            {QStringLiteral("users"),
             QJsonArray{user(1, QStringLiteral("张三"),
                             {enrollment(0, 1, 0, fingerprint(1)), enrollment(1, 1, 0, fingerprint(2))}),
                        user(2, QStringLiteral("李四"),
                             {enrollment(0, 0, 0, fingerprint(3)), enrollment(9, 0, 1000002),
                              enrollment(10, 0, 4321)}),
                        user(3, kThirteenCharacters, {enrollment(5, 0, 0, fingerprint(4))})}},
            {QStringLiteral("logs"), QJsonArray{}}};
}

// What a terminal holds, by enroll number: the name and, by backup number, privilege, password
// and (fingerprints only: a card or password slot keeps whatever number of values was written)
// the template.
struct Enrolled {
    QString name;
    std::map<int, QJsonObject> enrollments;
    bool operator==(const Enrolled&) const = default;
};

std::map<int, Enrolled> enrolledUsers(const QJsonObject& dumped) {
    std::map<int, Enrolled> users;
    for (const QJsonValue& value : dumped.value(QStringLiteral("users")).toArray()) {
        const QJsonObject user = value.toObject();
        Enrolled& enrolled = users[user.value(QStringLiteral("enroll")).toInt()];
        enrolled.name = user.value(QStringLiteral("name")).toString();
        for (const QJsonValue& e : user.value(QStringLiteral("enrollments")).toArray()) {
            QJsonObject kept = e.toObject();
            const int backup = kept.value(QStringLiteral("backup")).toInt();
            if (backup > 8) kept.remove(QStringLiteral("template"));
            enrolled.enrollments[backup] = kept;
        }
    }
    return users;
}

// The lines of a stored template text, as numbers.
QJsonArray storedValues(const QString& text) {
    QJsonArray values;
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        values.append(line.toInt());
    return values;
}

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class EnrollmentEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_stateDir.isValid());
        m_statePath = m_stateDir.filePath(QStringLiteral("terminal.json"));
        EmulatorProcess::writeState(m_statePath, terminalState());
        m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
        m_terminal->start();
    }

    void addPersonnel() {
        db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
        db.addActiveEmployee(QStringLiteral("E001"), QStringLiteral("00001"), QStringLiteral("张三"));
        db.addActiveEmployee(QStringLiteral("E002"), QStringLiteral("00002"), QStringLiteral("李四"));
        db.addActiveEmployee(QStringLiteral("E003"), QStringLiteral("00003"), kThirteenCharacters);
        // Nothing enrolled on the terminal, one enrollment stored from earlier.
        db.addActiveEmployee(QStringLiteral("E009"), QStringLiteral("00009"), QStringLiteral("赵九"));
        db.addEnrollment(QStringLiteral("E009"), QStringLiteral("00009"), 0, 0, QStringLiteral("0"),
                         QStringLiteral("7\r\n"));
    }

    Outcome orveloctl(const QStringList& arguments) {
        QProcess process;
        process.setProgram(EmulatorProcess::binFolder() + QStringLiteral("/orveloctl"));
        process.setArguments(QStringList{QStringLiteral("--app-dir"), db.appDir(), QStringLiteral("--link"),
                                         QStringLiteral("tcp"), QStringLiteral("--ip"),
                                         QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                         QString::number(m_terminal->tcpPort())} +
                             arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(300000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Every row the enrollment commands write, one text per table, to compare two states.
    QString tables() {
        QString out;
        for (const char* sql :
             {"select * from hrdept order by deptid", "select * from hremployee order by EmplID",
              "select * from equcard order by cardno, emplid",
              "select * from equfinger order by emplid, cardno, backupid"}) {
            for (const QVariantMap& row : db.rows(QString::fromUtf8(sql))) {
                for (auto it = row.begin(); it != row.end(); ++it)
                    out += it.key() + u'=' + it.value().toString() + u';';
                out += u'\n';
            }
        }
        return out;
    }

    std::map<int, Enrolled> terminalUsers() { return enrolledUsers(m_terminal->dump()); }

    TestDatabase db;
    QTemporaryDir m_stateDir;
    QString m_statePath;
    std::unique_ptr<EmulatorProcess> m_terminal;
};

TEST_F(EnrollmentEndToEndTest, OrveloctlDownloadOfChosenEmployees) {
    addPersonnel();

    const Outcome run = orveloctl(
        {QStringLiteral("enroll-download"), QStringLiteral("--emplid"), QStringLiteral("E009,E001")});

    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("获取注册信息: 共获取注册信息2条；其中成功1条；失败1条！\n"));
    EXPECT_EQ(run.err, QString());
    const auto rows =
        db.rows(QStringLiteral("select * from equfinger where emplid='E001' order by backupid"));
    ASSERT_EQ(rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonArray stored = storedValues(rows[i].value(QStringLiteral("fingerdata")).toString());
        ASSERT_EQ(stored.size(), 459);
        EXPECT_EQ(stored.last().toInt(), 0);
        QJsonArray first = stored;
        first.removeLast();
        EXPECT_EQ(first, fingerprint(i + 1));
        EXPECT_EQ(rows[i].value(QStringLiteral("cardno")).toString(), QStringLiteral("00001"));
        EXPECT_EQ(rows[i].value(QStringLiteral("privilege")).toInt(), 1);
    }
    // The employee with nothing enrolled counted failed and kept its row.
    EXPECT_EQ(db.scalar(QStringLiteral("select fingerdata from equfinger where emplid='E009'")).toString(),
              QStringLiteral("7\r\n"));
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 3);
    // Reading is all it did: the terminal is as it was, enabled.
    EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());

    // The departed list works the same way; an ID that is not in the shown list is named.
    db.addDepartedEmployee(QStringLiteral("D002"), QStringLiteral("00002"), QStringLiteral("李四"));
    const Outcome departed = orveloctl({QStringLiteral("enroll-download"), QStringLiteral("--departed"),
                                        QStringLiteral("--emplid"), QStringLiteral("D002,E001")});
    EXPECT_EQ(departed.status, 0) << departed.err.toStdString();
    EXPECT_EQ(departed.out, QStringLiteral("获取注册信息: 共获取注册信息1条；其中成功1条；失败0条！\n"));
    EXPECT_TRUE(departed.err.contains(QStringLiteral("'E001'"))) << departed.err.toStdString();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from equfinger where emplid='D002'")).toInt(), 3);
}

TEST_F(EnrollmentEndToEndTest, OrveloctlDownloadAllTwiceGivesTheRowsOfOnce) {
    const Outcome first = orveloctl({QStringLiteral("enroll-download-all")});
    EXPECT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, QStringLiteral("获取全部注册信息: 成功获取3个人的注册信息！\n"));
    const QString once = tables();

    const Outcome second = orveloctl({QStringLiteral("enroll-download-all")});
    EXPECT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_EQ(tables(), once);

    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 3);
    EXPECT_EQ(db.rowCount(QStringLiteral("equcard")), 3);
    EXPECT_EQ(db.rowCount(QStringLiteral("hrdept")), 1);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 6);
    EXPECT_EQ(db.scalar(QStringLiteral("select emplname from hremployee where EmplID='00000003'")).toString(),
              kThirteenCharacters);
    EXPECT_EQ(db.scalar(QStringLiteral("select pws from equfinger where emplid='00000002' and backupid=9"))
                  .toString(),
              QStringLiteral("1000002"));
}

TEST_F(EnrollmentEndToEndTest, OrveloctlUploadAfterDeleteRestoresTheTerminal) {
    const auto original = terminalUsers();
    ASSERT_EQ(orveloctl({QStringLiteral("enroll-download-all")}).status, 0);
    const QString stored = tables();

    const Outcome deleted = orveloctl({QStringLiteral("enroll-delete"), QStringLiteral("--all")});
    EXPECT_EQ(deleted.status, 0) << deleted.err.toStdString();
    EXPECT_EQ(deleted.out, QStringLiteral("删除注册信息: 共删除注册信息：3；其中成功：3条；失败：0条！\n"));
    EXPECT_TRUE(terminalUsers().empty());
    EXPECT_EQ(tables(), stored);  // the database keeps its rows

    const Outcome uploaded = orveloctl({QStringLiteral("enroll-upload"), QStringLiteral("--all")});
    EXPECT_EQ(uploaded.status, 0) << uploaded.err.toStdString();
    EXPECT_EQ(uploaded.out,
              QStringLiteral("写入指纹及姓名: 共写入注册信息：3条;其中成功：3条，失败：0条！\n"));
    // Enrollments and the Chinese names, the 13-character one included, are back as they were.
    EXPECT_EQ(terminalUsers(), original);
    EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());
}

TEST_F(EnrollmentEndToEndTest, OrveloctlUploadShowsAnUnreadableEmployeeAndGoesOn) {
    addPersonnel();
    db.addEnrollment(QStringLiteral("E001"), QStringLiteral("00001"), 3, 0, QStringLiteral("0"),
                     QStringLiteral("1\r\n").repeated(458));

    const Outcome run =
        orveloctl({QStringLiteral("enroll-upload"), QStringLiteral("--emplid"), QStringLiteral("E009,E001")});

    // The error box makes the exit status 2; the other employee was written all the same.
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, QStringLiteral("Orvelo系统: List index out of bounds (1)\n"));
    EXPECT_EQ(run.out, QStringLiteral("写入指纹及姓名: 共写入注册信息：2条;其中成功：1条，失败：1条！\n"));
    const auto users = terminalUsers();
    ASSERT_EQ(users.count(1), 1u);
    EXPECT_EQ(users.at(1).enrollments.at(3).value(QStringLiteral("template")).toArray().size(), 458);
    EXPECT_EQ(users.count(9), 0u);
}

TEST_F(EnrollmentEndToEndTest, OrveloctlWithoutTerminal) {
    m_terminal->stop();
    const struct {
        const char* command;
        const char* out;
    } cases[] = {
        {"enroll-download", "获取注册信息: 设备连接失败，请连接好设备后重试！\n"},
        {"enroll-download-all", "获取全部注册信息: 设备连接失败，请连接好设备后重试！\n"},
        {"enroll-upload", "写入指纹及姓名: 设备连接失败，请连接好设备后重试！\n"},
        {"enroll-delete", "删除注册信息: 设备连接失败，请连接好设备后重试！\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        QStringList arguments{QString::fromLatin1(c.command)};
        if (arguments[0] != QStringLiteral("enroll-download-all")) arguments << QStringLiteral("--all");
        const Outcome run = orveloctl(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, QString::fromUtf8(c.out));
    }
}

// The terminal served again, from the state it saved, with these faults.
void restartWithFaults(std::unique_ptr<EmulatorProcess>& terminal, const QString& statePath,
                       const QStringList& faults) {
    terminal->stop();
    terminal = std::make_unique<EmulatorProcess>(statePath);
    EmulatorProcess::Options options;
    options.faults = faults;
    terminal->start(options);
}

// Faults that cut or damage the link at points spread over the walk, read one request per call
// (the library's FK_ONE_BY_ONE): in the connect, the user count, the list request, the first name
// read and enrollment reads of the first and later users.
const char* const kWalkFaults[] = {"drop-after=1",  "drop-after=2",    "drop-after=3",    "drop-after=4",
                                   "drop-after=5",  "drop-after=6",    "drop-after=12",   "drop-after=25",
                                   "drop-after=40", "corrupt-after=3", "corrupt-after=5", "corrupt-after=17"};
// The same walk in bulk reads, one request per user: the counters (reply 3), the list request and
// its page (4, 5), and the records of the first, second and third user (6 to 8).
const char* const kBulkWalkFaults[] = {"drop-after=2",    "drop-after=3",    "drop-after=4",
                                       "drop-after=5",    "drop-after=6",    "drop-after=7",
                                       "corrupt-after=3", "corrupt-after=5", "corrupt-after=7"};

TEST_F(EnrollmentEndToEndTest, OrveloctlDownloadAllOverAFailingLinkKeepsNamesAndEndsIncomplete) {
    // Stored names that a failed name read must not replace with the enroll number.
    db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
    db.addActiveEmployee(QStringLiteral("00000001"), QStringLiteral("00001"), QStringLiteral("张三"));
    db.addActiveEmployee(QStringLiteral("00000002"), QStringLiteral("00002"), QStringLiteral("李四"));
    std::vector<std::pair<const char*, bool>> walks;  // the fault, read one by one
    for (const char* fault : kWalkFaults) walks.emplace_back(fault, true);
    for (const char* fault : kBulkWalkFaults) walks.emplace_back(fault, false);
    for (const auto& [fault, oneByOne] : walks) {
        SCOPED_TRACE(std::string(fault) + (oneByOne ? " one by one" : " in bulk"));
        restartWithFaults(m_terminal, m_statePath, {QString::fromLatin1(fault)});

        // orveloctl inherits the environment, and its library reads the variable at the connect.
        if (oneByOne) qputenv("FK_ONE_BY_ONE", "1");
        const Outcome run = orveloctl({QStringLiteral("enroll-download-all")});
        qunsetenv("FK_ONE_BY_ONE");

        EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("获取全部注册信息: 与设备的连接在获取")))
            << run.out.toStdString();
        EXPECT_FALSE(run.out.contains(QStringLiteral("成功获取"))) << run.out.toStdString();
        EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from hremployee where emplname like '0000000%'"))
                      .toInt(),
                  0);
        EXPECT_EQ(
            db.scalar(QStringLiteral("select emplname from hremployee where cardid='00001'")).toString(),
            QStringLiteral("张三"));
        EXPECT_LE(db.rowCount(QStringLiteral("equfinger")), 6);
        m_terminal->stop();
        EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());
    }

    // The link is whole again: one run brings everything, each row once.
    restartWithFaults(m_terminal, m_statePath, {});
    const Outcome clean = orveloctl({QStringLiteral("enroll-download-all")});
    EXPECT_EQ(clean.status, 0) << clean.err.toStdString();
    EXPECT_EQ(clean.out, QStringLiteral("获取全部注册信息: 成功获取3个人的注册信息！\n"));
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 3);
    EXPECT_EQ(db.rowCount(QStringLiteral("equcard")), 1);  // only the new employee gets a card
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 6);
    EXPECT_EQ(db.scalar(QStringLiteral("select emplname from hremployee where cardid='00003'")).toString(),
              kThirteenCharacters);
}

// One fault point of a download of every enrollment, and what the run must come to.
struct DownloadAllFaultPoint {
    const char* fault;
    bool oneByOne;        // FK_ONE_BY_ONE: no bulk reads
    int status;           // orveloctl's exit status
    const char* refused;  // a piece of the refusal line, or nullptr for none
};

// Refusals of every read the command makes, and cuts and damage at points spread over the walk,
// on both paths where they differ: one request per call, or one bulk read per user.
const DownloadAllFaultPoint kDownloadAllFaultPoints[] = {
    {"refuse=GetUserName:2", true, 1, "1个人的姓名"},
    {"refuse=GetUserName:2", false, 1, "1个人的姓名"},
    {"refuse=GetEnrollData:2", true, 1, "3条注册信息"},
    {"refuse=GetEnrollData:2", false, 1, "3条注册信息"},
    {"refuse=ReadAllUserID", false, 1, "人员列表"},
    {"refuse=GetAllUserID", false, 1, "人员列表（设备报告有3个人，只列出0个人）"},
    {"refuse=GetUserRecord", false, 0, nullptr},
    {"refuse=EnableDevice:0", false, 0, nullptr},
    {"drop-after=12", true, 1, nullptr},
    {"drop-after=25", true, 1, nullptr},
    {"drop-after=40", true, 1, nullptr},
    {"corrupt-after=17", true, 1, nullptr},
    {"drop-after=6", false, 1, nullptr},
    {"drop-after=7", false, 1, nullptr},
    {"drop-after=8", false, 0, nullptr},  // after the walk: the terminal is enabled on its own
    {"corrupt-after=7", false, 1, nullptr},
};

TEST_F(EnrollmentEndToEndTest, OrveloctlDownloadAllCountsPeopleStoredWholeKeepsNamesAndTellsRefusals) {
    const std::map<int, Enrolled> onTerminal = terminalUsers();
    for (const DownloadAllFaultPoint& c : kDownloadAllFaultPoints) {
        SCOPED_TRACE(std::string(c.fault) + (c.oneByOne ? " one by one" : " in bulk"));
        for (const char* table : {"hremployee", "equcard", "equfinger", "hrdept"})
            db.exec(QStringLiteral("delete from %1").arg(QLatin1String(table)));
        // Stored names, which a name the terminal does not give must leave as they are.
        db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
        db.addActiveEmployee(QStringLiteral("00000001"), QStringLiteral("00001"), QStringLiteral("Stored-1"));
        db.addActiveEmployee(QStringLiteral("00000002"), QStringLiteral("00002"), QStringLiteral("Stored-2"));
        restartWithFaults(m_terminal, m_statePath, {QString::fromLatin1(c.fault)});
        if (c.oneByOne) qputenv("FK_ONE_BY_ONE", "1");
        const Outcome run = orveloctl({QStringLiteral("enroll-download-all")});
        qunsetenv("FK_ONE_BY_ONE");

        EXPECT_EQ(run.status, c.status) << run.out.toStdString() << run.err.toStdString();
        // The people stored whole: an employee, and every enrollment the terminal holds, the same.
        int whole = 0;
        for (const auto& [enroll, user] : onTerminal) {
            const QString emplid = QStringLiteral("%1").arg(enroll, 8, 10, QLatin1Char('0'));
            const auto rows =
                db.rows(QStringLiteral("select backupid from equfinger where emplid='%1' order by backupid")
                            .arg(emplid));
            std::vector<int> stored;
            for (const QVariantMap& row : rows)
                stored.push_back(row.value(QStringLiteral("backupid")).toInt());
            std::vector<int> held;
            for (const auto& [backup, e] : user.enrollments) held.push_back(backup);
            if (stored == held) ++whole;
        }
        const qsizetype cut = run.out.indexOf(QStringLiteral("与设备的连接在获取"));
        if (cut >= 0) {
            // Never one not stored whole; the user being read at the cut may be stored whole by the
            // reads before it without the command knowing that no further enrollment followed.
            const int count = run.out.mid(cut + 9).section(QStringLiteral("个人"), 0, 0).toInt();
            EXPECT_LE(count, whole) << run.out.toStdString();
            EXPECT_GE(count, whole - 1) << run.out.toStdString();
        } else {
            EXPECT_TRUE(run.out.contains(QStringLiteral("成功获取3个人的注册信息！")))
                << run.out.toStdString();
        }
        if (c.refused) {
            EXPECT_TRUE(run.out.contains(QStringLiteral("设备拒绝读取") + QString::fromUtf8(c.refused)))
                << run.out.toStdString();
        } else {
            EXPECT_FALSE(run.out.contains(QStringLiteral("设备拒绝读取"))) << run.out.toStdString();
        }
        if (c.status == 0) {
            EXPECT_EQ(whole, 3);
        }
        // Names: the terminal's, or the one stored before; never the number over a stored one.
        for (const auto& [enroll, stored] : {std::pair{1, "Stored-1"}, std::pair{2, "Stored-2"}}) {
            const QString name =
                db.scalar(QStringLiteral("select emplname from hremployee where cardid='0000%1'").arg(enroll))
                    .toString();
            EXPECT_TRUE(name == onTerminal.at(enroll).name || name == QString::fromLatin1(stored))
                << enroll << ": " << name.toStdString();
        }
        if (QString::fromLatin1(c.fault).startsWith(QStringLiteral("refuse=GetUserName"))) {
            EXPECT_EQ(
                db.scalar(QStringLiteral("select emplname from hremployee where cardid='00002'")).toString(),
                QStringLiteral("Stored-2"));
        }
    }
}

TEST_F(EnrollmentEndToEndTest, OrveloctlUploadOverAFailingLinkEndsIncompleteAndTheNextRunWritesAll) {
    const auto original = terminalUsers();
    ASSERT_EQ(orveloctl({QStringLiteral("enroll-download-all")}).status, 0);
    for (const char* fault : {"drop-after=2", "drop-after=3", "drop-after=5", "drop-after=8",
                              "corrupt-after=4", "corrupt-after=7"}) {
        SCOPED_TRACE(fault);
        restartWithFaults(m_terminal, m_statePath, {});
        ASSERT_EQ(orveloctl({QStringLiteral("enroll-delete"), QStringLiteral("--all")}).status, 0);
        restartWithFaults(m_terminal, m_statePath, {QString::fromLatin1(fault)});

        const Outcome run = orveloctl({QStringLiteral("enroll-upload"), QStringLiteral("--all")});

        EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("写入指纹及姓名: 与设备的连接在写入")))
            << run.out.toStdString();
        EXPECT_FALSE(run.out.contains(QStringLiteral("共写入注册信息"))) << run.out.toStdString();
        m_terminal->stop();
        EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());
        EXPECT_NE(enrolledUsers(m_terminal->dump()), original);
    }
    restartWithFaults(m_terminal, m_statePath, {});
    const Outcome clean = orveloctl({QStringLiteral("enroll-upload"), QStringLiteral("--all")});
    EXPECT_EQ(clean.status, 0) << clean.err.toStdString();
    EXPECT_EQ(clean.out, QStringLiteral("写入指纹及姓名: 共写入注册信息：3条;其中成功：3条，失败：0条！\n"));
    EXPECT_EQ(terminalUsers(), original);
}

// The window over the same database and terminal, its boxes answered by a hook.
class EnrollmentWindowTest : public EnrollmentEndToEndTest {
protected:
    void SetUp() override {
        EnrollmentEndToEndTest::SetUp();
        addPersonnel();
        m_library = loadTerminalLibrary(EmulatorProcess::binFolder());
        m_window = std::make_unique<Tfrm_hv_client>(db.data(), db.appDir(), *m_library, m_clock);
        ASSERT_TRUE(m_window->FormCreate());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->operatorView().setBoxHook([this](QMessageBox& box) { m_boxes.append(box.text()); });
        m_entry = m_window->findChild<EntryPage*>();
        ASSERT_NE(m_entry, nullptr);

        auto* tcp = m_window->findChild<QRadioButton*>(QStringLiteral("rb_tcp_ip"));
        ASSERT_NE(tcp, nullptr);
        QTest::mouseClick(tcp, Qt::LeftButton, {}, QPoint(5, tcp->height() / 2));
        ASSERT_TRUE(tcp->isChecked());
        m_window->findChild<QLineEdit*>(QStringLiteral("edt_ip_address"))
            ->setText(QStringLiteral("127.0.0.1"));
        m_window->findChild<QLineEdit*>(QStringLiteral("edt_NetPort"))
            ->setText(QString::number(m_terminal->tcpPort()));
        showEntryPage();
    }

    // Brings the page "人员注册" to the front as the operator does, which reloads the lists.
    void showEntryPage() {
        auto* pages = m_window->findChild<QTabWidget*>(QStringLiteral("pgc_Device"));
        ASSERT_NE(pages, nullptr);
        QTabBar* bar = pages->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Tfrm_hv_client::kEntryPageIndex).center());
        ASSERT_EQ(pages->currentIndex(), Tfrm_hv_client::kEntryPageIndex);
    }

    void click(QPushButton* button) {
        m_boxes.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        m_window->waitUntilIdle();
    }

    void selectEmployees(const QStringList& emplids) {
        QItemSelectionModel& selection = *m_entry->dbgrdh_3->selectionModel();
        selection.clearSelection();
        const Query& list = db.data().qry_3;
        for (int row = 0; row < list.rowCount(); ++row) {
            if (emplids.contains(list.value(row, QStringLiteral("人员编号")).toString()))
                selection.select(selection.model()->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    FixedClock m_clock = FixedClock::at(QStringLiteral("2024-05-06 07:08:09"));
    std::unique_ptr<TerminalLibrary> m_library;
    std::unique_ptr<Tfrm_hv_client> m_window;
    EntryPage* m_entry = nullptr;
    QStringList m_boxes;
};

TEST_F(EnrollmentWindowTest, DownloadOfSelectedEmployees) {
    selectEmployees({QStringLiteral("E001"), QStringLiteral("E009")});

    click(m_entry->btn_GetEntryInfo);

    EXPECT_EQ(m_boxes, QStringList{QStringLiteral("共获取注册信息2条；其中成功1条；失败1条！")});
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select fingerdata from equfinger where emplid='E009'")).toString(),
              QStringLiteral("7\r\n"));
    // The current row is the last one processed, the selection as it was.
    EXPECT_EQ(db.data().qry_3.field(QStringLiteral("人员编号")).toString(), QStringLiteral("E009"));
    EXPECT_EQ(m_entry->dbgrdh_3->selectionModel()->selectedRows().size(), 2);
}

TEST_F(EnrollmentWindowTest, DeleteThenUploadOf459LineTemplatesRestoresTheTerminal) {
    const auto original = terminalUsers();
    QTest::mouseClick(m_entry->chk_SelectAll, Qt::LeftButton, {},
                      QPoint(5, m_entry->chk_SelectAll->height() / 2));
    ASSERT_TRUE(m_entry->chk_SelectAll->isChecked());

    click(m_entry->btn_GetEntryInfo);
    EXPECT_EQ(m_boxes, QStringList{QStringLiteral("共获取注册信息4条；其中成功3条；失败1条！")});
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from equfinger where length(fingerdata) - "
                                       "length(replace(fingerdata, char(10), '')) = 459"))
                  .toInt(),
              6);

    click(m_entry->btn_DelEntryInfo);
    EXPECT_EQ(m_boxes, QStringList{QStringLiteral("共删除注册信息：4；其中成功：3条；失败：1条！")});
    EXPECT_TRUE(terminalUsers().empty());

    click(m_entry->btn_WriteEntryInfo);
    // E009's old row holds one line only: shown in the default error box, counted failed, and
    // nothing of it reaches the terminal; the others go on.
    EXPECT_EQ(m_boxes, (QStringList{QStringLiteral("List index out of bounds (1)"),
                                    QStringLiteral("共写入注册信息：4条;其中成功：3条，失败：1条！")}));
    EXPECT_EQ(terminalUsers(), original);
    EXPECT_TRUE(m_terminal->dump().value(QStringLiteral("enabled")).toBool());
}

TEST_F(EnrollmentWindowTest, DownloadAllShowsTheNewEmployeesInTheList) {
    db.exec(QStringLiteral("delete from hremployee"));
    showEntryPage();
    ASSERT_EQ(db.data().qry_3.rowCount(), 0);

    click(m_entry->btn_GetAllEntryInfo);

    EXPECT_EQ(m_boxes, QStringList{QStringLiteral("成功获取3个人的注册信息！")});
    EXPECT_EQ(db.data().qry_3.rowCount(), 3);
    EXPECT_EQ(m_entry->dbgrdh_3->model()->rowCount(), 3);
    EXPECT_EQ(
        db.scalar(QStringLiteral("select entrydate from hremployee where EmplID='00000001'")).toString(),
        QStringLiteral("2024-05-06"));
}

}  // namespace
}  // namespace orvelo::test
