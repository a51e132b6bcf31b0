#include <gtest/gtest.h>

#include "core/datetime.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "directory/list_statements.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_statements.h"
#include "tests/enrollment/enrollment_fixture.h"

namespace orvelo::test {
namespace {

const QString kCaption = QStringLiteral("获取全部注册信息");
const QString kRunning = QStringLiteral("status: 正在从设备中获取全部注册信息，请稍等...");

// A clock one second further at every reading, so each use of the present time can be told apart.
class SteppingClock : public Clock {
public:
    explicit SteppingClock(DateTimeValue start) : m_next(start) {}
    DateTimeValue now() const override {
        const DateTimeValue value = m_next;
        m_next += 1.0 / 86400;
        return value;
    }

private:
    mutable DateTimeValue m_next;
};

class DownloadAllTest : public EnrollmentCommandTest {
protected:
    void addUser(std::int32_t enroll, std::int32_t privilege, const char* name, int enrollments) {
        terminal.userList.push_back({enroll, 0, privilege});
        if (name) terminal.names[enroll] = QByteArray(name);
        for (int b = 0; b < enrollments; ++b)
            terminal.enrollments[{enroll, b}] = {privilege, 0, sampleTemplate(enroll)};
    }

    // Every row the command writes, as one text per table, for comparing two states.
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
};

TEST_F(DownloadAllTest, SequenceOfCallsStatusAndSummary) {
    panel.machineNo = QStringLiteral("3");
    terminal.connectResult = 7;
    terminal.status[2] = 2;
    addUser(123, 0, "张三", 1);
    addUser(124, 1, "", 1);

    btn_GetAllEntryInfoClick(ctx);

    QStringList expected = {kRunning,
                            QStringLiteral("progress: 0 shown"),
                            QStringLiteral("FK_ConnectUSB(3)"),
                            QStringLiteral("FK_EnableDevice(7,0)"),
                            QStringLiteral("FK_GetDeviceStatus(7,2)"),
                            QStringLiteral("FK_ReadAllUserID(3)"),  // the machine number, not the handle
                            QStringLiteral("FK_GetAllUserID(7)"),
                            QStringLiteral("FK_GetUserName(7,123)")};
    expected << enrollReads(7, 123) << QStringLiteral("progress: 33 shown")
             << QStringLiteral("FK_GetAllUserID(7)") << QStringLiteral("FK_GetUserName(7,124)")
             << enrollReads(7, 124) << QStringLiteral("progress: 66 shown")
             << QStringLiteral("FK_GetAllUserID(7)") << QStringLiteral("progress: 100 shown")
             << QStringLiteral("FK_EnableDevice(7,1)")
             << boxEntry(kCaption, QStringLiteral("成功获取2个人的注册信息！"), QStringLiteral("information"))
             << QStringLiteral("FK_DisConnect(7)") << QStringLiteral("progress: 0 hidden")
             << QStringLiteral("status: ");
    EXPECT_EQ(log.entries, expected);
}

TEST_F(DownloadAllTest, CreatesTheEmployeeTheCardAndTheDepartment) {
    SteppingClock stepping(*parseDateTimeText(QStringLiteral("2024-05-06 23:59:59")));
    CommandContext run{view, panel, settings, terminal, db.data(), stepping, db.appDir(), &selection};
    terminal.status[2] = 1;
    addUser(123, 0, "张三", 2);

    btn_GetAllEntryInfoClick(run);

    const auto employees = db.rows(QStringLiteral("select * from hremployee"));
    ASSERT_EQ(employees.size(), 1);
    const QVariantMap& e = employees[0];
    const std::pair<const char*, QVariant> expected[] = {
        {"EmplID", QStringLiteral("00000123")},
        {"workid", QStringLiteral("000123")},
        {"Cardid", QStringLiteral("00123")},
        {"deptid", QStringLiteral("01")},
        {"emplname", QStringLiteral("张三")},
        {"sex", 0},
        {"married", 0},
        {"identityid", QString()},
        {"password", QString()},
        {"teamid", QString()},
        {"shiftid", QString()},
        {"weekendid", QString()},
        // The present time is read for each use: the date first, then the two times.
        {"entrydate", QStringLiteral("2024-05-06")},
        {"leaveyn", 0},
        {"remark", QString()},
        {"lastoperid", QStringLiteral("sa")},
        {"lastoperdate", QStringLiteral("2024-05-07 00:00:00")},
    };
    for (const auto& [column, value] : expected)
        EXPECT_EQ(e.value(QString::fromUtf8(column)).toString(), value.toString()) << column;
    EXPECT_TRUE(e.value(QStringLiteral("leavedate")).isNull());

    const auto cards = db.rows(QStringLiteral("select * from equcard"));
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].value(QStringLiteral("cardno")).toString(), QStringLiteral("00123"));
    EXPECT_EQ(cards[0].value(QStringLiteral("emplid")).toString(), QStringLiteral("00000123"));
    EXPECT_EQ(cards[0].value(QStringLiteral("cardtype")).toString(), QStringLiteral("C001"));
    EXPECT_EQ(cards[0].value(QStringLiteral("cardstatus")).toString(), QStringLiteral("1"));
    EXPECT_EQ(cards[0].value(QStringLiteral("operdate")).toString(), QStringLiteral("2024-05-07 00:00:01"));
    EXPECT_EQ(cards[0].value(QStringLiteral("operid")).toString(), QStringLiteral("sa"));
    EXPECT_EQ(cards[0].value(QStringLiteral("personverify")).toString(), QString());

    EXPECT_EQ(db.scalar(QStringLiteral("select deptno || '/' || deptname from hrdept where deptid='01'"))
                  .toString(),
              QStringLiteral("01/01"));

    const auto enrollments = db.rows(QStringLiteral("select * from equfinger order by backupid"));
    ASSERT_EQ(enrollments.size(), 2);
    for (const auto& row : enrollments) {
        EXPECT_EQ(row.value(QStringLiteral("emplid")).toString(), QStringLiteral("00000123"));
        EXPECT_EQ(row.value(QStringLiteral("cardno")).toString(), QStringLiteral("00123"));
        EXPECT_EQ(row.value(QStringLiteral("fingerdata")).toString().count(QStringLiteral("\r\n")), 458);
    }
}

TEST_F(DownloadAllTest, ExistingEmployeesGetTheTerminalsName) {
    db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
    db.addActiveEmployee(QStringLiteral("A124"), QStringLiteral("00124"), QStringLiteral("李四"));
    db.addDepartedEmployee(QStringLiteral("D124"), QStringLiteral("00124"), QStringLiteral("李四"));
    db.addActiveEmployee(QStringLiteral("A125"), QStringLiteral("00125"), QStringLiteral("王五"));
    terminal.status[2] = 2;
    addUser(124, 0, nullptr, 1);  // no name from the terminal: the names stored stay
    addUser(125, 0, "O'Neil", 1);

    btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 3);
    EXPECT_EQ(db.rowCount(QStringLiteral("equcard")), 0);
    EXPECT_EQ(db.scalar(QStringLiteral("select deptname from hrdept where deptid='01'")).toString(),
              QStringLiteral("总部"));
    const auto names = db.rows(QStringLiteral("select EmplID, emplname from hremployee order by EmplID"));
    EXPECT_EQ(names[0].value(QStringLiteral("emplname")).toString(), QStringLiteral("李四"));
    EXPECT_EQ(names[1].value(QStringLiteral("emplname")).toString(), QStringLiteral("O'Neil"));
    EXPECT_EQ(names[2].value(QStringLiteral("emplname")).toString(), QStringLiteral("李四"));
    // Stored under the number of each employee that holds the enroll number.
    EXPECT_EQ(
        db.scalar(QStringLiteral("select group_concat(emplid, ' ') from (select emplid from equfinger where "
                                 "cardno='00124' order by emplid)"))
            .toString(),
        QStringLiteral("A124 D124"));
}

// An employee whose registration number is the user's enroll number gets the enrollments under
// its own number: its details show each once, and its upload finds them. A user no employee
// holds becomes the employee 0000000N as always.
TEST_F(DownloadAllTest, EnrollmentsOfAnEmployeeGoUnderItsNumberAndANewUserBecomesAnEmployee) {
    db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
    db.addActiveEmployee(QStringLiteral("E0001"), QStringLiteral("00001"), QStringLiteral("张三"));
    // What 获取注册信息 stored for E0001 earlier: the download replaces it.
    db.addEnrollment(QStringLiteral("E0001"), QStringLiteral("00001"), 0, 0, QStringLiteral("0"),
                     templateText(sampleTemplate(99)));
    terminal.status[2] = 2;
    addUser(1, 0, "张三", 2);
    addUser(7, 0, "王七", 1);

    const CommandOutcome outcome = btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
    EXPECT_EQ(outcome.stored, 3);
    const auto rowsOf = [this](const QString& emplid) {
        QStringList rows;
        for (const QVariantMap& row :
             db.rows(QStringLiteral("select cardno, backupid, fingerdata from equfinger where emplid='%1' "
                                    "order by backupid")
                         .arg(emplid)))
            rows << row.value(QStringLiteral("cardno")).toString() + u'/' +
                        row.value(QStringLiteral("backupid")).toString() + u'/' +
                        (row.value(QStringLiteral("fingerdata")).toString() ==
                                 templateText(sampleTemplate(row.value(QStringLiteral("cardno")).toInt()))
                             ? QStringLiteral("terminal's")
                             : QStringLiteral("other"));
        return rows;
    };
    EXPECT_EQ(rowsOf(QStringLiteral("E0001")),
              (QStringList{QStringLiteral("00001/0/terminal's"), QStringLiteral("00001/1/terminal's")}));
    EXPECT_TRUE(rowsOf(QStringLiteral("00000001")).isEmpty());
    EXPECT_EQ(rowsOf(QStringLiteral("00000007")), QStringList{QStringLiteral("00007/0/terminal's")});
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 3);

    // The details of E0001 list each enrollment once; the upload reads both.
    EXPECT_EQ(
        db.rows(enrollmentDetailSql().replace(QStringLiteral(":登记号码"), QStringLiteral("'00001'"))).size(),
        2);
    EXPECT_EQ(db.rows(storedEnrollmentsStatement(QStringLiteral("E0001"), QStringLiteral("00001"))).size(),
              2);

    // User 7 is a new employee with its card, as always; E0001 gets no card and no second employee.
    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(EmplID || '=' || emplname, ' ') from "
                                       "(select EmplID, emplname from hremployee order by EmplID)"))
                  .toString(),
              QStringLiteral("00000007=王七 E0001=张三"));
    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(cardno || '=' || emplid, ' ') from equcard"))
                  .toString(),
              QStringLiteral("00007=00000007"));
}

TEST_F(DownloadAllTest, RunningTwiceGivesTheRowsOfOnce) {
    terminal.status[2] = 2;
    addUser(1, 1, "管理员", 3);
    addUser(2, 0, "D'Arcy", 2);
    terminal.userList.push_back({1, 1, 1});  // listed once per enrollment

    btn_GetAllEntryInfoClick(ctx);
    const QString once = tables();
    btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(tables(), once);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 5);
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 2);
    EXPECT_EQ(db.rowCount(QStringLiteral("equcard")), 2);
}

TEST_F(DownloadAllTest, ProgressFollowsTheListReads) {
    struct Case {
        const char* name;
        std::optional<std::int32_t> userCount;
        std::vector<std::int32_t> listed;
        std::vector<int> percentages;
        QString summary;
    };
    const Case cases[] = {
        {"three users", 3, {1, 2, 3}, {0, 25, 50, 75, 100}, QStringLiteral("成功获取3个人的注册信息！")},
        {"no users", 0, {}, {0, 100}, QStringLiteral("成功获取0个人的注册信息！")},
        // Entries of one user count once: the bar never passes 100 %.
        {"more entries than users", 1, {1, 1}, {0, 50, 50, 100}, QStringLiteral("成功获取1个人的注册信息！")},
        {"two enrollments each",
         2,
         {1, 1, 2, 2},
         {0, 33, 33, 66, 66, 100},
         QStringLiteral("成功获取2个人的注册信息！")},
        {"more users than counted",
         1,
         {1, 2, 3},
         {0, 50, 50, 50, 100},
         QStringLiteral("成功获取1个人的注册信息！")},
        {"count not filled", std::nullopt, {1}, {0, 0, 100}, QStringLiteral("成功获取0个人的注册信息！")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.progress.clear();
        terminal.status.clear();
        if (c.userCount) terminal.status[2] = *c.userCount;
        terminal.userList.clear();
        // Users the terminal gives whole: a name and the enrollment listed.
        for (std::int32_t enroll : c.listed) {
            terminal.userList.push_back({enroll, 0, 0});
            terminal.names[enroll] = QByteArrayLiteral("甲");
            terminal.enrollments[{enroll, 0}] = {0, 0, sampleTemplate(enroll)};
        }

        btn_GetAllEntryInfoClick(ctx);

        EXPECT_EQ(view.shownPercentages(), c.percentages);
        EXPECT_EQ(view.boxes.back().text, c.summary);
    }
}

TEST_F(DownloadAllTest, AUserListThatCannotBeReadStillEndsWithTheSummaryAndTheRefusal) {
    terminal.status[2] = 5;
    addUser(1, 0, "甲", 1);
    terminal.forcedResults[QStringLiteral("FK_ReadAllUserID")] = {0};

    const CommandOutcome outcome = btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
    EXPECT_TRUE(terminal.calls(QStringLiteral("FK_GetAllUserID")).isEmpty());
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 0);
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0}));
    EXPECT_EQ(log.entries.mid(log.entries.size() - 5),
              (QStringList{QStringLiteral("FK_EnableDevice(1,1)"),
                           boxEntry(kCaption,
                                    QStringLiteral(
                                        "成功获取5个人的注册信息！\n设备拒绝读取人员列表，这些信息没有获取！"
                                        "请检查设备后再次执行本命令。"),
                                    QStringLiteral("warning")),
                           QStringLiteral("FK_DisConnect(1)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

TEST_F(DownloadAllTest, FailedConnectKeepsTheStatusWhileTheBoxIsOpen) {
    terminal.connectResult = 0;
    QString statusDuringBox;
    view.onMessageBox = [&](const RecordingOperatorView::Box&) { statusDuringBox = view.statusText; };

    btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(statusDuringBox, QStringLiteral("正在从设备中获取全部注册信息，请稍等..."));
    EXPECT_EQ(log.entries,
              (QStringList{kRunning, QStringLiteral("progress: 0 shown"), QStringLiteral("FK_ConnectUSB(1)"),
                           boxEntry(kCaption, QStringLiteral("设备连接失败，请连接好设备后重试！"),
                                    QStringLiteral("warning")),
                           QStringLiteral("FK_DisConnect(0)"), QStringLiteral("progress: 0 hidden"),
                           QStringLiteral("status: ")}));
}

class ActiveListRefreshTest : public DownloadAllTest {
protected:
    int resets = 0;
    QMetaObject::Connection m_counting;

    void SetUp() override {
        Query& list = db.data().qry_3;
        list.close();
        list.clearSql();
        list.addSql(QStringLiteral("select EmplID, emplname from hremployee"));
        list.open();
        m_counting = QObject::connect(&list, &Query::reset, [this] { ++resets; });
    }

    // The data module outlives this part of the fixture and resets qry_3 when it closes.
    void TearDown() override { QObject::disconnect(m_counting); }

    int resetsOfOneRefresh() {
        const int before = resets;
        db.data().qry_3.close();
        db.data().qry_3.open();
        const int one = resets - before;
        resets = before;
        return one;
    }
};

TEST_F(ActiveListRefreshTest, TheListIsReadOnceAtTheEnd) {
    const int one = resetsOfOneRefresh();
    ASSERT_GT(one, 0);
    terminal.status[2] = 3;
    addUser(1, 0, "甲", 1);
    addUser(2, 0, "乙", 1);
    addUser(3, 0, "丙", 1);

    btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(resets, one);
    EXPECT_EQ(db.data().qry_3.rowCount(), 3);
    EXPECT_EQ(db.data().qry_3.sql(), QStringLiteral("select EmplID, emplname from hremployee\r\n"));
}

TEST_F(ActiveListRefreshTest, AnErrorStopsTheRunAfterTheTerminalIsReleasedAndTheListRead) {
    const int one = resetsOfOneRefresh();
    terminal.status[2] = 3;
    addUser(1, 0, "甲", 1);
    addUser(2, 0, "乙", 1);
    addUser(3, 0, "丙", 1);
    db.exec(
        QStringLiteral("create trigger refuse_two before insert on hremployee when new.EmplID = '00000002' "
                       "begin select raise(abort, 'refused'); end"));

    EXPECT_THROW(btn_GetAllEntryInfoClick(ctx), DatabaseError);

    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(log.indexOf(QStringLiteral("FK_GetUserName(1,3)")), -1);
    EXPECT_EQ(log.entries.mid(log.entries.size() - 4),
              (QStringList{QStringLiteral("FK_EnableDevice(1,1)"), QStringLiteral("FK_DisConnect(1)"),
                           QStringLiteral("progress: 0 hidden"), QStringLiteral("status: ")}));
    // What was written before the error stays, and the list shows it.
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 1);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 1);
    EXPECT_EQ(resets, one);
    EXPECT_EQ(db.data().qry_3.rowCount(), 1);
}

TEST_F(ActiveListRefreshTest, NoEntryNoRead) {
    terminal.status[2] = 0;
    btn_GetAllEntryInfoClick(ctx);
    EXPECT_EQ(resets, 0);
}

// --- a link that fails part-way ---------------------------------------------------------------

struct DownloadAllFault {
    const char* name;
    const char* operation;  // empty: the link holds
    int call;
    std::int32_t failure;
    int usersRead;           // users brought in whole before the failure
    int enrollmentsStored;   // equfinger rows written before it
    const char* storedName;  // the name of the employee of enroll number 123 afterwards
    int employees;           // hremployee rows afterwards
};

class DownloadAllFaultTest : public DownloadAllTest, public testing::WithParamInterface<DownloadAllFault> {};

TEST_P(DownloadAllFaultTest, KeepsWhatWasReadReplacesNoNameAndTheNextRunBringsTheRest) {
    const DownloadAllFault& c = GetParam();
    db.addActiveEmployee(QStringLiteral("00000123"), QStringLiteral("00123"), QStringLiteral("老王"));
    terminal.status[2] = 2;
    addUser(123, 0, "张三", 2);
    addUser(124, 0, "李四", 1);
    terminal.failingOperation = QString::fromLatin1(c.operation);
    terminal.failingCall = c.call;
    terminal.failure = c.failure;

    const CommandOutcome outcome = btn_GetAllEntryInfoClick(ctx);

    EXPECT_EQ(outcome.read, c.usersRead);
    EXPECT_EQ(outcome.stored, c.enrollmentsStored);
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), c.enrollmentsStored);
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), c.employees);
    EXPECT_EQ(db.scalar(QStringLiteral("select emplname from hremployee where cardid='00123'")).toString(),
              QString::fromUtf8(c.storedName));
    // A name is never the enroll number here: every user has one on the terminal.
    EXPECT_EQ(
        db.scalar(QStringLiteral("select count(*) from hremployee where emplname like '0000012%'")).toInt(),
        0);
    const QStringList enables = terminal.calls(QStringLiteral("FK_EnableDevice"));
    ASSERT_FALSE(enables.isEmpty());
    EXPECT_EQ(enables.last(), QStringLiteral("FK_EnableDevice(1,1)"));
    EXPECT_EQ(terminal.calls(QStringLiteral("FK_DisConnect")),
              QStringList{QStringLiteral("FK_DisConnect(1)")});
    ASSERT_EQ(view.boxes.size(), 1u);
    if (!*c.operation) {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
        EXPECT_EQ(view.boxes[0].text, QStringLiteral("成功获取2个人的注册信息！"));
    } else {
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
        EXPECT_EQ(view.boxes[0].text,
                  QStringLiteral("与设备的连接在获取%1个人的注册信息后中断，其余的注册信息没有获取！"
                                 "请连接好设备后再次执行本命令，获取其余的注册信息。")
                      .arg(c.usersRead));
    }

    // The link is back: one more run stores everyone exactly once.
    terminal.forcedResults.clear();
    view.boxes.clear();
    EXPECT_EQ(btn_GetAllEntryInfoClick(ctx).result, CommandOutcome::Result::Done);
    const QString once = tables();
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 3);
    EXPECT_EQ(db.rowCount(QStringLiteral("hremployee")), 2);
    EXPECT_EQ(db.scalar(QStringLiteral("select emplname from hremployee where cardid='00123'")).toString(),
              QStringLiteral("张三"));
    EXPECT_EQ(db.scalar(QStringLiteral("select emplname from hremployee where cardid='00124'")).toString(),
              QStringLiteral("李四"));
    btn_GetAllEntryInfoClick(ctx);
    EXPECT_EQ(tables(), once);
}

INSTANTIATE_TEST_SUITE_P(
    FaultPoints, DownloadAllFaultTest,
    testing::Values(DownloadAllFault{"LinkHolds", "", 0, 0, 2, 3, "张三", 2},
                    DownloadAllFault{"UserCountLost", "FK_GetDeviceStatus", 1, -2, 0, 0, "老王", 1},
                    DownloadAllFault{"ListRequestLost", "FK_ReadAllUserID", 1, -2, 0, 0, "老王", 1},
                    DownloadAllFault{"FirstEntryDamaged", "FK_GetAllUserID", 1, -3, 0, 0, "老王", 1},
                    DownloadAllFault{"FirstNameLost", "FK_GetUserName", 1, -2, 0, 0, "老王", 1},
                    DownloadAllFault{"FirstNameDamaged", "FK_GetUserName", 1, -3, 0, 0, "老王", 1},
                    DownloadAllFault{"SecondEnrollmentLost", "FK_GetEnrollData", 2, -2, 0, 1, "张三", 1},
                    DownloadAllFault{"SecondNameLost", "FK_GetUserName", 2, -2, 1, 2, "张三", 1},
                    DownloadAllFault{"LastEnrollmentReadLost", "FK_GetEnrollData", 22, -2, 1, 3, "张三", 2},
                    DownloadAllFault{"EndOfListLost", "FK_GetAllUserID", 3, -2, 2, 3, "张三", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadAllTest, ANameTheTerminalDoesNotGiveNeverReplacesAStoredOneAndNamesANewEmployeeByNumber) {
    db.addActiveEmployee(QStringLiteral("00000123"), QStringLiteral("00123"), QStringLiteral("老王"));
    db.addActiveEmployee(QStringLiteral("00000124"), QStringLiteral("00124"), QStringLiteral("老李"));
    terminal.status[2] = 4;
    addUser(123, 0, nullptr, 1);  // the name read refused: 0
    addUser(124, 0, "", 1);       // a name that is empty
    addUser(125, 0, nullptr, 1);
    addUser(126, 0, "", 1);
    const CommandOutcome outcome = btn_GetAllEntryInfoClick(ctx);
    const auto nameOf = [this](const char* cardid) {
        return db
            .scalar(QStringLiteral("select emplname from hremployee where cardid='%1'")
                        .arg(QLatin1String(cardid)))
            .toString();
    };
    EXPECT_EQ(nameOf("00123"), QStringLiteral("老王"));
    EXPECT_EQ(nameOf("00124"), QStringLiteral("老李"));
    EXPECT_EQ(nameOf("00125"), QStringLiteral("00000125"));
    EXPECT_EQ(nameOf("00126"), QStringLiteral("00000126"));
    // The two refused name reads are told; an empty name is the terminal's answer, not a refusal.
    EXPECT_EQ(outcome.result, CommandOutcome::Result::Incomplete);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
    EXPECT_EQ(
        view.boxes[0].text,
        QStringLiteral(
            "成功获取4个人的注册信息！\n设备拒绝读取2个人的姓名（已有的姓名保持不变），这些信息没有获取！"
            "请检查设备后再次执行本命令。"));
    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 4);
}

}  // namespace
}  // namespace orvelo::test
