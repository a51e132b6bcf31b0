// orveloctl terminals --check: each terminal's health against emulated terminals on 127.0.0.1 (one
// down, one with its clock five minutes fast), the JSON document and its keys, the exit rules,
// the usage errors and the folder's lock.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "cli/orveloctl.h"
#include "cli/terminal_check_report.h"
#include "collection/collection_history.h"
#include "core/datetime.h"
#include "shell/app_folder_lock.h"
#include "tests/cli/orveloctl_run.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {
namespace {

using test::EmulatorProcess;
using test::ProgramRun;
using test::TestDatabase;
using test::writeFile;

QJsonObject logRecord(int enroll, const QString& time, bool collected) {
    return {{u"enroll"_s, enroll}, {u"mode"_s, 1}, {u"time"_s, time}, {u"collected"_s, collected}};
}

// The terminal's entry of the JSON document by name.
QJsonObject entryOf(const QJsonObject& document, const QString& name) {
    for (const QJsonValue& entry : document.value(u"terminals"_s).toArray())
        if (entry[u"name"_s].toString() == name) return entry.toObject();
    ADD_FAILURE() << "no terminal " << name.toStdString();
    return {};
}

QStringList problemsOf(const QJsonObject& entry) {
    QStringList words;
    for (const QJsonValue& word : entry.value(u"problems"_s).toArray()) words << word.toString();
    return words;
}

// "gate" (machine 1: two users, three records, two of them new, its clock right), "lobby" (down:
// the port of an emulator that has stopped) and "fast clock" (machine 2, five minutes fast).
class TerminalsCheck : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_states.isValid());
        gate = &start(1, 0);
        EmulatorProcess& lobby = start(3, 0);
        const int downPort = lobby.tcpPort();
        lobby.stop();
        fast = &start(2, 300);
        writeFile(
            db.appDir() + u"terminals.ini"_s,
            u"; the site's terminals\n"
            u"[gate]\nmachine=1\nlink=tcp\nip=127.0.0.1\nport=%1\ntimeout=3000\n\n"
            u"[lobby]\nmachine=3\nlink=tcp\nip=127.0.0.1\nport=%2\ntimeout=1000\n\n"
            u"[fast clock]\nmachine=2\nlink=tcp\nip=127.0.0.1\nport=%3\ntimeout=3000\n"_s.arg(gate->tcpPort())
                .arg(downPort)
                .arg(fast->tcpPort())
                .toUtf8());
    }

    EmulatorProcess& start(int machine, double clockOffsetSeconds) {
        const QString state = m_states.filePath(u"terminal-%1.json"_s.arg(machine));
        const QJsonObject user{{u"enroll"_s, 7},
                               {u"enrollments"_s, QJsonArray{QJsonObject{{u"backup"_s, 9}}}}};
        QJsonObject second = user;
        second[u"enroll"_s] = 8;
        EmulatorProcess::writeState(
            state, QJsonObject{{u"machine"_s, machine},
                               {u"clock_offset_s"_s, clockOffsetSeconds},
                               {u"users"_s, QJsonArray{user, second}},
                               {u"logs"_s, QJsonArray{logRecord(7, u"2024-05-06 08:00:00"_s, true),
                                                      logRecord(7, u"2024-05-06 17:00:00"_s, false),
                                                      logRecord(8, u"2024-05-06 08:30:00"_s, false)}}});
        m_terminals.push_back(std::make_unique<EmulatorProcess>(state));
        EmulatorProcess::Options options;
        options.machine = machine;
        m_terminals.back()->start(options);
        return *m_terminals.back();
    }

    ProgramRun orveloctl(const QStringList& arguments) {
        return test::runProgram(EmulatorProcess::binFolder() + u"/orveloctl"_s,
                                QStringList{u"--app-dir"_s, db.appDir()} + arguments, 300000);
    }

    // The document of a --json run; every byte of stdout must belong to it.
    static QJsonObject document(const ProgramRun& run) {
        QJsonParseError error{};
        const QJsonDocument parsed = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
        return parsed.object();
    }

    TestDatabase db;
    QTemporaryDir m_states;
    std::vector<std::unique_ptr<EmulatorProcess>> m_terminals;
    EmulatorProcess* gate = nullptr;
    EmulatorProcess* fast = nullptr;
};

TEST_F(TerminalsCheck, JsonGivesEachTerminalsHealthAndTheDownOneAndTheFastClockFail) {
    const ProgramRun run = orveloctl({u"terminals"_s, u"--check"_s, u"--json"_s});
    EXPECT_EQ(run.status, kExitNotReached) << run.err.toStdString();
    const QJsonObject doc = document(run);
    EXPECT_EQ(doc.value(u"exit"_s).toInt(-1), 1);
    EXPECT_EQ(doc.value(u"max_clock_offset_seconds"_s).toInt(), 60);
    EXPECT_TRUE(doc.value(u"max_age_hours"_s).isNull());
    const QJsonArray terminals = doc.value(u"terminals"_s).toArray();
    ASSERT_EQ(terminals.size(), 3);
    QStringList order;
    for (const QJsonValue& t : terminals) order << t[u"name"_s].toString();
    EXPECT_EQ(order, (QStringList{u"gate"_s, u"lobby"_s, u"fast clock"_s}));

    const QStringList keys = {u"name"_s,
                              u"terminal"_s,
                              u"checked"_s,
                              u"reachable"_s,
                              u"busy"_s,
                              u"error"_s,
                              u"clock_offset_seconds"_s,
                              u"users"_s,
                              u"records"_s,
                              u"new_records"_s,
                              u"last_collection"_s,
                              u"problems"_s,
                              u"ok"_s};
    for (const QJsonValue& t : terminals) {
        QStringList sorted = keys;
        sorted.sort();
        EXPECT_EQ(t.toObject().keys(), sorted);
        EXPECT_TRUE(parseDateTimeText(t[u"checked"_s].toString()))
            << t[u"checked"_s].toString().toStdString();
        EXPECT_FALSE(t[u"busy"_s].toBool());
        EXPECT_TRUE(t[u"last_collection"_s].isNull());  // nothing was collected yet
    }

    const QJsonObject ok = entryOf(doc, u"gate"_s);
    EXPECT_EQ(ok[u"terminal"_s].toString(), u"tcp 127.0.0.1:%1 machine 1"_s.arg(gate->tcpPort()));
    EXPECT_TRUE(ok[u"reachable"_s].toBool());
    EXPECT_TRUE(ok[u"error"_s].isNull());
    EXPECT_LE(std::abs(ok[u"clock_offset_seconds"_s].toInt(999)), 3);
    EXPECT_EQ(ok[u"users"_s].toInt(), 2);
    EXPECT_EQ(ok[u"records"_s].toInt(), 3);
    EXPECT_EQ(ok[u"new_records"_s].toInt(), 2);
    EXPECT_EQ(problemsOf(ok), QStringList());
    EXPECT_TRUE(ok[u"ok"_s].toBool());

    const QJsonObject down = entryOf(doc, u"lobby"_s);
    EXPECT_FALSE(down[u"reachable"_s].toBool());
    for (const QString& key : {u"clock_offset_seconds"_s, u"users"_s, u"records"_s, u"new_records"_s})
        EXPECT_TRUE(down[key].isNull()) << key.toStdString();
    EXPECT_EQ(problemsOf(down), QStringList{u"not-reachable"_s});
    EXPECT_FALSE(down[u"ok"_s].toBool());

    const QJsonObject off = entryOf(doc, u"fast clock"_s);
    EXPECT_TRUE(off[u"reachable"_s].toBool());
    EXPECT_NEAR(off[u"clock_offset_seconds"_s].toDouble(), 300.0, 3.0);
    EXPECT_EQ(off[u"users"_s].toInt(), 2);
    EXPECT_EQ(problemsOf(off), QStringList{u"clock-off"_s});

    // Only read: nothing was collected, and both terminals serve their users as before.
    for (EmulatorProcess* terminal : {gate, fast}) {
        const QJsonObject state = terminal->dump();
        EXPECT_TRUE(state[u"enabled"_s].toBool());
        int newRecords = 0;
        for (const QJsonValue& record : state[u"logs"_s].toArray())
            newRecords += record[u"collected"_s].toBool() ? 0 : 1;
        EXPECT_EQ(newRecords, 2);
    }
}

TEST_F(TerminalsCheck, TheTableHasARowPerTerminal) {
    const ProgramRun run = orveloctl({u"terminals"_s, u"--check"_s});
    EXPECT_EQ(run.status, kExitNotReached) << run.err.toStdString();
    QList<QStringList> rows;
    for (const QString& line : run.out.split(u'\n', Qt::SkipEmptyParts))
        rows.append(line.split(QRegularExpression(u" {2,}"_s)));
    ASSERT_EQ(rows.size(), 4) << run.out.toStdString();
    EXPECT_EQ(rows[0], (QStringList{u"terminal"_s, u"state"_s, u"clock"_s, u"users"_s, u"records"_s, u"new"_s,
                                    u"last collection"_s, u"problems"_s}));
    EXPECT_EQ(rows[1].value(0), u"gate"_s);
    EXPECT_EQ(rows[1].value(1), u"在线"_s);
    EXPECT_EQ(rows[1].mid(3), (QStringList{u"2"_s, u"3"_s, u"2"_s, u"none"_s, u"ok"_s}));
    EXPECT_EQ(rows[2], (QStringList{u"lobby"_s, u"离线"_s, u"-"_s, u"-"_s, u"-"_s, u"-"_s, u"none"_s,
                                    u"not-reachable"_s}));
    EXPECT_EQ(rows[3].value(0), u"fast clock"_s);
    EXPECT_TRUE(QRegularExpression(u"^\\+(29[7-9]|30[0-3]) s$"_s).match(rows[3].value(2)).hasMatch())
        << rows[3].value(2).toStdString();
    EXPECT_EQ(rows[3].value(7), u"clock-off"_s);
}

// The limits and the choice of terminals decide the exit status.
TEST_F(TerminalsCheck, TheLimitsAndTheChosenTerminalsDecideTheExitStatus) {
    // Two hours ago the gate was collected; the fast terminal never was.
    const QString twoHoursAgo = dateTimeText(SystemClock().now() - 2.0 / 24.0);
    LastCollection last;
    last.when = twoHoursAgo;
    last.by = u"orveloctl"_s;
    ASSERT_EQ(recordLastCollection(db.appDir(), u"tcp 127.0.0.1:%1 machine 1"_s.arg(gate->tcpPort()), last),
              QString());
    const QStringList reachable = {u"--terminal"_s, u"gate"_s, u"--terminal"_s, u"fast clock"_s};
    const struct {
        const char* what;
        QStringList arguments;
        int status;
        QStringList gateProblems, fastProblems;
    } cases[] = {
        {"the fast clock within a wider limit",
         reachable +
             QStringList{u"terminals"_s, u"--check"_s, u"--json"_s, u"--max-clock-offset"_s, u"330"_s},
         0,
         {},
         {}},
        {"the fast clock beyond the default",
         reachable + QStringList{u"terminals"_s, u"--check"_s, u"--json"_s},
         1,
         {},
         {u"clock-off"_s}},
        {"a recent enough collection, and none",
         reachable + QStringList{u"terminals"_s, u"--check"_s, u"--json"_s, u"--max-clock-offset"_s, u"330"_s,
                                 u"--max-age"_s, u"2.5"_s},
         1,
         {},
         {u"no-collection"_s}},
        {"a collection too old",
         QStringList{u"--terminal"_s, u"gate"_s, u"terminals"_s, u"--check"_s, u"--json"_s, u"--max-age"_s,
                     u"1.5"_s},
         1,
         {u"collection-too-old"_s},
         {}},
        {"the gate alone",
         QStringList{u"--terminal"_s, u"GATE"_s, u"terminals"_s, u"--check"_s, u"--json"_s, u"--max-age"_s,
                     u"24"_s},
         0,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun run = orveloctl(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        const QJsonObject doc = document(run);
        EXPECT_EQ(doc.value(u"exit"_s).toInt(-1), c.status);
        EXPECT_EQ(problemsOf(entryOf(doc, u"gate"_s)), c.gateProblems);
        if (c.arguments.contains(u"fast clock"_s)) {
            EXPECT_EQ(problemsOf(entryOf(doc, u"fast clock"_s)), c.fastProblems);
        }
    }
    const QJsonObject withHistory = document(orveloctl(
        reachable + QStringList{u"terminals"_s, u"--check"_s, u"--json"_s, u"--max-age"_s, u"24"_s}));
    const QJsonObject collection = entryOf(withHistory, u"gate"_s)[u"last_collection"_s].toObject();
    EXPECT_EQ(collection[u"when"_s].toString(), twoHoursAgo);
    EXPECT_EQ(collection[u"by"_s].toString(), u"orveloctl"_s);
    EXPECT_EQ(collection[u"result"_s].toString(), u"done"_s);
    EXPECT_NEAR(collection[u"age_hours"_s].toDouble(), 2.0, 0.1);
    EXPECT_EQ(withHistory.value(u"max_age_hours"_s).toDouble(), 24.0);
}

TEST(TerminalsCheckUsage, OptionsThatDoNotFitAreUsageErrors) {
    TestDatabase db;
    writeFile(db.appDir() + u"terminals.ini"_s, "[one]\nmachine=1\n");
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{u"--json"_s}, "--json goes with --check"},
        {{u"--max-age"_s, u"2"_s}, "--max-age goes with --check"},
        {{u"--max-clock-offset"_s, u"5"_s}, "--max-clock-offset goes with --check"},
        {{u"--check"_s, u"--max-clock-offset"_s, u"-1"_s},
         "--max-clock-offset takes a whole number of seconds"},
        {{u"--check"_s, u"--max-clock-offset"_s, u"1.5"_s},
         "--max-clock-offset takes a whole number of seconds"},
        {{u"--check"_s, u"--max-age"_s, u"0"_s}, "--max-age takes a number of hours above 0"},
        {{u"--check"_s, u"--max-age"_s, u"soon"_s}, "--max-age takes a number of hours above 0"},
    };
    for (const auto& c : cases) {
        const ProgramRun run =
            test::runInProcess(QStringList{u"--app-dir"_s, db.appDir(), u"terminals"_s} + c.arguments);
        EXPECT_EQ(run.status, kExitUsage) << c.message;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << run.err.toStdString();
        EXPECT_EQ(run.out, QString());
    }
}

// A check waits for the folder's lock like every terminal command; a terminal whose turn never
// came is not tried and fails the check, and a list that cannot be used is an error as always.
TEST(TerminalsCheckInProcess, ABusyFolderAndABadListAreReported) {
    TestDatabase db;
    const QString list = db.appDir() + u"terminals.ini"_s;
    writeFile(list, "[one]\nmachine=1\nlink=tcp\nip=127.0.0.1\nport=1\n");
    AppFolderLock other(db.appDir());
    ASSERT_TRUE(other.tryLock());
    const ProgramRun busy = test::runInProcess(
        {u"--app-dir"_s, db.appDir(), u"--wait"_s, u"0"_s, u"terminals"_s, u"--check"_s, u"--json"_s});
    EXPECT_EQ(busy.status, kExitNotReached);
    EXPECT_TRUE(busy.err.contains(other.path())) << busy.err.toStdString();
    const QJsonObject entry =
        QJsonDocument::fromJson(busy.out.toUtf8()).object().value(u"terminals"_s).toArray().at(0).toObject();
    EXPECT_TRUE(entry[u"busy"_s].toBool());
    EXPECT_FALSE(entry[u"reachable"_s].toBool());
    EXPECT_EQ(problemsOf(entry), QStringList{u"busy"_s});
    other.unlock();

    const struct {
        const char* what;
        QByteArray text;  // empty: no file
        QString inError;
    } bad[] = {
        {"missing", {}, u": no such file"_s},
        {"empty", "; nothing yet\n", u": no terminal listed"_s},
        {"bad line", "[one]\nadress=1\n", list + u":2:"_s},
    };
    for (const auto& c : bad) {
        QFile::remove(list);
        if (!c.text.isEmpty()) writeFile(list, c.text);
        const ProgramRun run =
            test::runInProcess({u"--app-dir"_s, db.appDir(), u"terminals"_s, u"--check"_s, u"--json"_s});
        EXPECT_EQ(run.status, kExitError) << c.what;
        EXPECT_EQ(run.out, QString()) << c.what;
        EXPECT_TRUE(run.err.contains(u"Orvelo系统: "_s) && run.err.contains(c.inError))
            << c.what << ": " << run.err.toStdString();
    }
}

// The exit rules, one terminal at a time.
TEST(TerminalsCheckRules, EachRuleFailsTheCheckOnItsOwn) {
    const DateTimeValue now = *parseDateTimeText(u"2024-05-06 12:00:00"_s);
    const auto terminal = [now](bool reachable, std::optional<std::int64_t> offset,
                                std::optional<QString> lastWhen, bool busy = false) {
        CheckedTerminal t;
        t.name = u"t"_s;
        t.busy = busy;
        t.health.checkedAt = now;
        t.health.reachable = reachable;
        t.health.clockOffsetSeconds = offset;
        if (lastWhen) {
            t.lastCollection.emplace();
            t.lastCollection->when = *lastWhen;
        }
        return t;
    };
    HealthLimits noAge;
    HealthLimits day;
    day.maxAgeHours = 24;
    const QString hourAgo = u"2024-05-06 11:00:00"_s;
    const QString twoDaysAgo = u"2024-05-04 12:00:00"_s;
    const struct {
        const char* what;
        CheckedTerminal terminal;
        HealthLimits limits;
        QStringList problems;
    } cases[] = {
        {"healthy", terminal(true, 12, hourAgo), noAge, {}},
        {"clock unknown counts as no problem", terminal(true, std::nullopt, hourAgo), noAge, {}},
        {"clock just at the limit", terminal(true, -60, hourAgo), noAge, {}},
        {"clock slow beyond the limit", terminal(true, -61, hourAgo), noAge, {u"clock-off"_s}},
        {"clock fast beyond the limit", terminal(true, 61, hourAgo), noAge, {u"clock-off"_s}},
        {"not reachable", terminal(false, std::nullopt, hourAgo), noAge, {u"not-reachable"_s}},
        {"busy", terminal(false, std::nullopt, hourAgo, true), noAge, {u"busy"_s}},
        {"no collection without --max-age", terminal(true, 0, std::nullopt), noAge, {}},
        {"no collection with --max-age", terminal(true, 0, std::nullopt), day, {u"no-collection"_s}},
        {"recent collection", terminal(true, 0, hourAgo), day, {}},
        {"old collection", terminal(true, 0, twoDaysAgo), day, {u"collection-too-old"_s}},
        {"old collection without --max-age", terminal(true, 0, twoDaysAgo), noAge, {}},
        {"everything at once",
         terminal(false, std::nullopt, twoDaysAgo),
         day,
         {u"not-reachable"_s, u"collection-too-old"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(healthProblems(c.terminal, c.limits), c.problems);
        EXPECT_EQ(healthExitStatus({c.terminal}, c.limits), c.problems.isEmpty() ? 0 : 1);
        const QJsonObject doc = healthJson({c.terminal}, c.limits).object();
        EXPECT_EQ(doc.value(u"exit"_s).toInt(-1), c.problems.isEmpty() ? 0 : 1);
    }
    // One failing terminal fails the whole check.
    EXPECT_EQ(healthExitStatus({terminal(true, 0, hourAgo), terminal(true, 600, hourAgo)}, noAge), 1);
    EXPECT_EQ(healthExitStatus({terminal(true, 0, hourAgo), terminal(true, -5, hourAgo)}, noAge), 0);
}

// Chinese takes two columns on a terminal: the rows line up as they are seen.
TEST(TerminalsCheckTable, ColumnsLineUpWithChineseText) {
    CheckedTerminal up;
    up.name = u"二楼 考勤机"_s;
    up.health.checkedAt = *parseDateTimeText(u"2024-05-06 12:00:00"_s);
    up.health.reachable = true;
    up.health.clockOffsetSeconds = -125;
    up.health.users = 12;
    up.health.records = 3400;
    up.health.newRecords = 0;
    up.lastCollection.emplace();
    up.lastCollection->when = u"2024-05-06 09:30:00"_s;
    CheckedTerminal down;
    down.name = u"Gate 1"_s;
    down.health.checkedAt = up.health.checkedAt;
    CheckedTerminal quiet = up;
    quiet.name = u"Desk"_s;
    quiet.health.clockOffsetSeconds.reset();
    quiet.lastCollection.reset();
    EXPECT_EQ(healthTable({up, down, quiet}, HealthLimits{}),
              u"terminal     state   clock  users  records  new  last collection  problems\n"
              u"二楼 考勤机  在线   -125 s     12     3400    0  2.5 h ago        clock-off\n"
              u"Gate 1       离线        -      -        -    -  none             not-reachable\n"
              u"Desk         在线        ?     12     3400    0  none             ok\n"_s);
}

}  // namespace
}  // namespace orvelo::cli
