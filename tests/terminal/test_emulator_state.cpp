#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "emulator/seed.h"
#include "emulator/state.h"
#include "emulator/terminal_service.h"
#include "terminal/text_utils.h"

using namespace orvelo::emulator;
using namespace orvelo::terminal;

namespace {

Frame request(Op op, Bytes payload) {
    Frame f;
    f.op = static_cast<std::uint16_t>(op);
    f.machine = 1;
    f.payload = std::move(payload);
    return f;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(EmulatorState, EveryFieldButUsersAndLogsHasADefault) {
    const TerminalState state = parseState(R"({"users": [], "logs": []})");
    EXPECT_EQ(state.machine, 1);
    EXPECT_EQ(state.password, 0);
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(state.clockOffsetS, 0);
    EXPECT_EQ(state.managementNew, 0);
    EXPECT_EQ(state.managementAll, 0);
    EXPECT_THROW(parseState(R"({"logs": []})"), StateError);
    EXPECT_THROW(parseState(R"({"users": []})"), StateError);
}

TEST(EmulatorState, ReadsTheDocumentedExampleAndWritesItBack) {
    const std::string example = R"({"machine": 1, "password": 0, "enabled": true, "clock_offset_s": 1.5,
        "management_log": {"new": 2, "all": 9},
        "users": [{"enroll": 123, "name": "张三",
                   "enrollments": [{"backup": 0, "privilege": 0, "password": 0, "template": [12, -3, 0]},
                                   {"backup": 9, "privilege": 0, "password": 5001, "template": []}]}],
        "logs": [{"enroll": 123, "mode": 1, "time": "2005-03-07 08:15:40", "collected": false}]})";
    const TerminalState state = parseState(example);
    ASSERT_EQ(state.users.size(), 1u);
    const User& user = state.users.at(123);
    EXPECT_EQ(user.name, "张三");
    EXPECT_EQ(user.enrollments.at(0).templateValues, (std::vector<std::int32_t>{12, -3, 0}));
    EXPECT_EQ(user.enrollments.at(9).password, 5001);
    EXPECT_EQ(state.clockOffsetS, 1.5);
    EXPECT_EQ(state.managementAll, 9);
    ASSERT_EQ(state.logs.size(), 1u);
    EXPECT_EQ(formatDateTimeText(state.logs[0].time), "2005-03-07 08:15:40");
    EXPECT_EQ(parseState(formatState(state)), state);
}

TEST(EmulatorState, RefusesWrongFieldsNamingThem) {
    struct Case {
        const char* json;
        const char* names;
    };
    const Case cases[] = {
        {R"({"users": [{"enroll": 1.5}], "logs": []})", "users[0].enroll"},
        {R"({"users": [{"enroll": 1}, {"enroll": 1}], "logs": []})", "users[1].enroll"},
        {R"({"users": [{"enroll": 1, "enrollments": [{"backup": 11}]}], "logs": []})", "backup"},
        {R"({"users": [{"enroll": 1, "enrollments": [{"backup": 1}, {"backup": 1}]}], "logs": []})",
         "backup"},
        {R"({"users": [{"enroll": 1, "enrollments": [{"backup": 1, "template": [1, "x"]}]}], "logs": []})",
         "template[1]"},
        {R"({"users": [], "logs": [{"enroll": 1, "time": "2005-03-07"}]})", "logs[0].time"},
        {R"({"users": [], "logs": [], "machine": 4294967296})", "machine"},
        {R"({"users": [], "logs": [], "enabled": 1})", "enabled"},
        {R"({"users": [], "logs": [)", "offset"},
    };
    for (const auto& c : cases) {
        try {
            parseState(c.json);
            ADD_FAILURE() << "accepted " << c.json;
        } catch (const StateError& e) {
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
        }
    }
}

TEST(EmulatorState, SaveReplacesTheFileWhole) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("state.json")).toStdString();
    TerminalState state = seedState({2, 1, 3, 1});
    saveStateFile(path, state);
    state.users.clear();
    saveStateFile(path, state);
    EXPECT_EQ(loadStateFile(path), state);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // no temporary file left
}

// A large terminal's file goes out in more pieces than one gathered write takes.
TEST(EmulatorState, WriterGivesTheWholeStateInManyPieces) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("state.json")).toStdString();
    TerminalState state = seedState({1500, 1, 20, 3});
    StateFileWriter writer(path);
    writer.save(state);
    EXPECT_EQ(readFile(path), formatState(state));
    state.users.erase(700);
    state.users[1501].name = "新";
    state.users.at(3).enrollments.at(0).templateValues.assign(3, -1);
    writer.userChanged(700);
    writer.userChanged(1501);
    writer.userChanged(3);
    writer.save(state);
    EXPECT_EQ(readFile(path), formatState(state));
    EXPECT_EQ(loadStateFile(path), state);

    std::vector<std::string> texts;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        texts.push_back(std::string(static_cast<std::size_t>(i % 7), static_cast<char>('a' + i % 26)));
        expected += texts.back();
    }
    writeFileAtomically(path, std::vector<std::string_view>(texts.begin(), texts.end()));
    EXPECT_EQ(readFile(path), expected);
}

TEST(Seed, IsDeterministicAndShapedAsDocumented) {
    const SeedOptions options{5, 3, 40, 7};
    const TerminalState a = seedState(options);
    EXPECT_EQ(a, seedState(options));
    EXPECT_NE(formatState(a), formatState(seedState({5, 3, 40, 8})));
    EXPECT_EQ(a.machine, 1);
    EXPECT_EQ(a.password, 0);
    ASSERT_EQ(a.users.size(), 5u);
    for (const auto& [enroll, user] : a.users) {
        EXPECT_GE(enroll, 1);
        EXPECT_LE(enroll, 5);
        EXPECT_FALSE(user.name.empty());
        EXPECT_TRUE(isValidUtf8(user.name));
        ASSERT_EQ(user.enrollments.size(), 3u);
        for (const auto& [backup, e] : user.enrollments) {
            EXPECT_LT(backup, 3);
            EXPECT_EQ(e.templateValues.size(), 458u);
            EXPECT_EQ(e.privilege, enroll == 1 ? 1 : 0);
        }
    }
    ASSERT_EQ(a.logs.size(), 40u);
    std::map<std::int32_t, double> lastTime;
    for (std::size_t i = 0; i < a.logs.size(); ++i) {
        const LogRecord& r = a.logs[i];
        EXPECT_FALSE(r.collected);
        EXPECT_EQ(r.mode, static_cast<int>(i % 10) + 1);
        if (i == 0) {
            EXPECT_EQ(formatDateTimeText(r.time).substr(0, 16), "2026-01-01 08:00");
        }
        if (lastTime.count(r.enroll) != 0) {
            EXPECT_GE((r.time - lastTime[r.enroll]) * 1440, 1.0);
        }
        lastTime[r.enroll] = r.time;
    }
    EXPECT_EQ(lastTime.size(), 5u);  // spread over every user
}

TEST(Faults, ParsesEveryDocumentedForm) {
    Faults faults;
    EXPECT_TRUE(parseFault("drop-after=3", faults));
    EXPECT_TRUE(parseFault("corrupt-after=0", faults));
    EXPECT_TRUE(parseFault("delay-ms=250", faults));
    EXPECT_TRUE(parseFault("refuse=FK_SetUserName", faults));
    EXPECT_TRUE(parseFault("refuse=GetDeviceStatus:1", faults));
    EXPECT_EQ(faults.dropAfter, 3);
    EXPECT_EQ(faults.corruptAfter, 0);
    EXPECT_EQ(faults.delayMs, 250);
    EXPECT_EQ(faults.refusedOps.count(static_cast<std::uint16_t>(Op::SetName)), 1u);
    EXPECT_EQ(faults.refusedArgs.count({static_cast<std::uint16_t>(Op::GetStatus), 1}), 1u);
    // Requests that carry no integer take no VALUE: it could never match.
    for (const char* bad : {"drop-after", "drop-after=-1", "refuse=Nothing", "explode=1",
                            "refuse=GetDeviceStatus:x", "refuse=SetDeviceTime:1", "refuse=ClearKeeperData:1",
                            "refuse=DisConnect:0", "refuse=GetAllUserID:0", "refuse=ReadAllUserID:1",
                            "refuse=MarkCollected:0", "refuse=GetDeviceTime:0"})
        EXPECT_FALSE(parseFault(bad, faults)) << bad;
}

TEST(TerminalService, StatusCodesCountFromTheState) {
    QTemporaryDir dir;
    TerminalState state = parseState(R"({"management_log": {"new": 4, "all": 11}, "users": [
        {"enroll": 1, "enrollments": [{"backup": 0}, {"backup": 1, "privilege": 2}, {"backup": 9}, {"backup": 10}]},
        {"enroll": 2, "enrollments": [{"backup": 3, "privilege": 1}, {"backup": 9}]},
        {"enroll": 3, "enrollments": [{"backup": 8}]},
        {"enroll": 4}],
      "logs": [{"enroll": 1, "time": "2005-03-07 08:15:40", "collected": true},
               {"enroll": 1, "time": "2005-03-07 08:16:40"}, {"enroll": 2, "time": "2005-03-07 08:17:40"}]})");
    TerminalService service(state, dir.filePath(QStringLiteral("s.json")).toStdString(), {});
    const std::pair<int, int> expected[] = {{1, 2}, {2, 4},  {3, 4}, {4, 1}, {5, 4},
                                            {6, 2}, {7, 11}, {8, 3}, {9, 2}};
    for (const auto& [code, value] : expected) EXPECT_EQ(service.status(code), value) << "code " << code;
    EXPECT_FALSE(service.status(0));
    EXPECT_FALSE(service.status(10));
}

// GetDeviceTime answers this machine's time moved by the state's offset, which SetDeviceTime sets;
// reading changes nothing.
TEST(TerminalService, TheClockIsThisMachinesTimeAndTheOffset) {
    QTemporaryDir dir;
    TerminalState state = seedState({1, 1, 1, 1});
    state.clockOffsetS = -300;  // five minutes slow
    TerminalService service(state, dir.filePath(QStringLiteral("s.json")).toStdString(), {});
    Session session;
    session.id = service.newSessionId();
    const auto readClock = [&] {
        const auto reply = service.handle(session, request(Op::GetTime, {}));
        EXPECT_TRUE(reply && reply->status == 0);
        return reply ? decodeF64(reply->payload).value_or(0.0) : 0.0;
    };
    EXPECT_EQ(service.handle(session, request(Op::GetTime, {}))->status,
              static_cast<std::uint16_t>(Status::NoSession));
    ASSERT_EQ(service.handle(session, request(Op::Connect, encodeI32(0)))->status, 0);
    EXPECT_NEAR((readClock() - localNowDays()) * 86400.0, -300.0, 5.0);
    EXPECT_FALSE(service.hasUnsavedChanges());
    EXPECT_EQ(service.handle(session, request(Op::GetTime, encodeI32(1)))->status,
              static_cast<std::uint16_t>(Status::BadRequest));

    const double set = 45000.5;  // 2023-03-15 12:00:00
    ASSERT_EQ(service.handle(session, request(Op::SetTime, encodeF64(set)))->status, 0);
    EXPECT_NEAR((readClock() - set) * 86400.0, 0.0, 5.0);
}

// refuse=OP:VALUE compares VALUE with the first integer the request carries.
TEST(TerminalService, RefusesAnOperationByItsFirstIntegerArgument) {
    struct Case {
        const char* fault;
        Frame matching;
        Frame other;
    };
    const Case cases[] = {
        {"refuse=ModifyPrivilege:3", request(Op::ModifyPrivilege, encodeModifyPrivilege({3, 0, 1})),
         request(Op::ModifyPrivilege, encodeModifyPrivilege({2, 3, 3}))},
        {"refuse=FK_PutEnrollData:7", request(Op::PutEnroll, encodePutEnroll({7, 0, {0, 0, {1, 2}}})),
         request(Op::PutEnroll, encodePutEnroll({8, 7, {7, 7, {7}}}))},
        {"refuse=DeleteEnrollData:2", request(Op::DeleteEnroll, encodeEnrollKey({2, 0})),
         request(Op::DeleteEnroll, encodeEnrollKey({1, 2}))},
        {"refuse=GetEnrollData:2", request(Op::GetEnroll, encodeEnrollKey({2, 0})),
         request(Op::GetEnroll, encodeEnrollKey({1, 2}))},
        {"refuse=SetUserName:2", request(Op::SetName, encodeSetName({2, "名"})),
         request(Op::SetName, encodeSetName({1, "名"}))},
        {"refuse=GetUserName:-5", request(Op::GetName, encodeI32(-5)), request(Op::GetName, encodeI32(5))},
        {"refuse=GetDeviceStatus:1", request(Op::GetStatus, encodeI32(1)),
         request(Op::GetStatus, encodeI32(2))},
        {"refuse=EnableDevice:0", request(Op::Enable, encodeI32(0)), request(Op::Enable, encodeI32(1))},
        {"refuse=LoadGeneralLogData:1", request(Op::LogBegin, encodeI32(1)),
         request(Op::LogBegin, encodeI32(0))},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        Faults faults;
        ASSERT_TRUE(parseFault(c.fault, faults)) << c.fault;
        TerminalService service(seedState({3, 2, 4, 1}), dir.filePath(QStringLiteral("s.json")).toStdString(),
                                faults);
        Session session;
        session.id = service.newSessionId();
        ASSERT_EQ(service.handle(session, request(Op::Connect, encodeI32(0)))->status, 0);
        EXPECT_EQ(service.handle(session, c.matching)->status, static_cast<std::uint16_t>(Status::Refused))
            << c.fault;
        EXPECT_NE(service.handle(session, c.other)->status, static_cast<std::uint16_t>(Status::Refused))
            << c.fault;
    }
    // Connect's integer is the communication password.
    QTemporaryDir dir;
    Faults faults;
    ASSERT_TRUE(parseFault("refuse=Connect:5", faults));
    TerminalService service(seedState({1, 1, 1, 1}), dir.filePath(QStringLiteral("s.json")).toStdString(),
                            faults);
    Session session;
    EXPECT_EQ(service.handle(session, request(Op::Connect, encodeI32(5)))->status,
              static_cast<std::uint16_t>(Status::Refused));
    EXPECT_EQ(service.handle(session, request(Op::Connect, encodeI32(0)))->status, 0);
}

// The writer keeps the text of unchanged users and logs: after every kind of change the file must
// still be exactly the whole state once it is written.
TEST(TerminalService, StateFileFollowsEveryChange) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("s.json")).toStdString();
    TerminalService service(seedState({3, 2, 6, 1}), path, {});
    Session session;
    session.id = service.newSessionId();
    session.link = LinkKind::Tcp;
    const std::vector<std::pair<Frame, Status>> steps = {
        {request(Op::Connect, encodeI32(0)), Status::Ok},
        {request(Op::Enable, encodeI32(0)), Status::Ok},
        {request(Op::PutEnroll, encodePutEnroll({9, 4, {1, 2, {5, 6}}})), Status::Ok},
        {request(Op::SetName, encodeSetName({2, "新名"})), Status::Ok},
        {request(Op::ModifyPrivilege, encodeModifyPrivilege({1, 0, 0})), Status::Ok},
        {request(Op::DeleteEnroll, encodeEnrollKey({3, 0})), Status::Ok},
        {request(Op::DeleteEnroll, encodeEnrollKey({3, 1})), Status::Ok},
        {request(Op::DeleteEnroll, encodeEnrollKey({3, 1})), Status::Failed},
        {request(Op::LogBegin, encodeI32(1)), Status::Ok},
        {request(Op::LogCommit, {}), Status::Ok},
        {request(Op::SetTime, encodeF64(45000.5)), Status::Ok},
        {request(Op::ClearData, {}), Status::Ok},
        {request(Op::PutEnroll, encodePutEnroll({1, 9, {0, 77, {}}})), Status::Ok},
    };
    for (const auto& [frame, expected] : steps) {
        const auto reply = service.handle(session, frame);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, static_cast<std::uint16_t>(expected)) << opName(frame.op);
        if (expected == Status::Ok && frame.op != static_cast<std::uint16_t>(Op::Connect) &&
            frame.op != static_cast<std::uint16_t>(Op::LogBegin)) {
            EXPECT_TRUE(service.hasUnsavedChanges()) << opName(frame.op);
            ASSERT_TRUE(service.saveNow());
            ASSERT_EQ(readFile(path), formatState(service.state())) << "after " << opName(frame.op);
        }
    }
    service.endSession(session);
    EXPECT_EQ(readFile(path), formatState(service.state()));
    EXPECT_TRUE(loadStateFile(path).enabled);
}

// Changes are written together: when the terminal is enabled again, when a session ends, and at
// the latest the save delay after the first change not yet written.
TEST(TerminalService, WritesChangesTogether) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("s.json")).toStdString();
    const TerminalState initial = seedState({3, 2, 6, 1});
    saveStateFile(path, initial);
    const std::string before = readFile(path);
    TerminalService service(initial, path, {}, std::chrono::hours(1));
    Session session;
    session.id = service.newSessionId();
    auto status = [&](Session& s, Op op, Bytes payload) {
        return Status(service.handle(s, request(op, payload))->status);
    };
    ASSERT_EQ(status(session, Op::Connect, encodeI32(0)), Status::Ok);
    ASSERT_EQ(status(session, Op::GetStatus, encodeI32(2)), Status::Ok);
    EXPECT_FALSE(service.saveDeadline());  // reading changes nothing

    ASSERT_EQ(status(session, Op::Enable, encodeI32(0)), Status::Ok);
    const auto deadline = service.saveDeadline();
    ASSERT_TRUE(deadline);
    for (std::int32_t enroll = 10; enroll < 30; ++enroll)
        ASSERT_EQ(status(session, Op::PutEnroll,
                         encodePutEnroll({enroll, 0, {0, 0, std::vector<std::int32_t>(458, 5)}})),
                  Status::Ok);
    EXPECT_EQ(service.saveDeadline(), deadline);  // counted from the first change
    EXPECT_EQ(readFile(path), before);
    service.saveIfDue(*deadline - std::chrono::milliseconds(1));
    EXPECT_EQ(readFile(path), before);
    service.saveIfDue(*deadline);
    EXPECT_EQ(readFile(path), formatState(service.state()));
    EXPECT_FALSE(service.hasUnsavedChanges());

    // Enabling again is written before it is confirmed.
    ASSERT_EQ(status(session, Op::SetName, encodeSetName({10, "甲"})), Status::Ok);
    EXPECT_EQ(loadStateFile(path).users.at(10).name, "");
    ASSERT_EQ(status(session, Op::Enable, encodeI32(1)), Status::Ok);
    EXPECT_EQ(readFile(path), formatState(service.state()));

    // So is the end of a session, by goodbye or by a link that is gone.
    ASSERT_EQ(status(session, Op::DeleteEnroll, encodeEnrollKey({10, 0})), Status::Ok);
    ASSERT_EQ(status(session, Op::Disconnect, {}), Status::Ok);
    EXPECT_EQ(readFile(path), formatState(service.state()));
    EXPECT_EQ(loadStateFile(path).users.count(10), 0u);
    Session other;
    other.id = service.newSessionId();
    ASSERT_EQ(status(other, Op::Connect, encodeI32(0)), Status::Ok);
    ASSERT_EQ(status(other, Op::ModifyPrivilege, encodeModifyPrivilege({2, 1, 4})), Status::Ok);
    EXPECT_TRUE(service.endSession(other));
    EXPECT_EQ(loadStateFile(path).users.at(2).enrollments.at(1).privilege, 4);
    EXPECT_EQ(readFile(path), formatState(service.state()));
}

TEST(TerminalService, AFailedWriteIsReportedAndTriedAgainLater) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("terminal"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const std::string path = QDir(folder).filePath(QStringLiteral("s.json")).toStdString();
    TerminalService service(seedState({2, 1, 0, 1}), path, {}, std::chrono::hours(1));
    Session session;
    session.id = service.newSessionId();
    auto status = [&](Op op, Bytes payload) {
        return Status(service.handle(session, request(op, payload))->status);
    };
    ASSERT_EQ(status(Op::Connect, encodeI32(0)), Status::Ok);
    ASSERT_EQ(status(Op::Enable, encodeI32(0)), Status::Ok);
    ASSERT_EQ(status(Op::PutEnroll, encodePutEnroll({5, 1, {0, 0, {1, 2, 3}}})), Status::Ok);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(status(Op::Enable, encodeI32(1)), Status::StorageError);
    EXPECT_TRUE(service.hasUnsavedChanges());
    EXPECT_GT(*service.saveDeadline(), TerminalService::SaveClock::now() + std::chrono::minutes(30));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(status(Op::Disconnect, {}), Status::Ok);
    EXPECT_FALSE(service.hasUnsavedChanges());
    EXPECT_EQ(loadStateFile(path), service.state());
}

TEST(TerminalService, AnswersOnlyItsMachineNumberAndAConnectedSession) {
    QTemporaryDir dir;
    TerminalService service(seedState({1, 1, 1, 1}), dir.filePath(QStringLiteral("s.json")).toStdString(),
                            {});
    Session serial;
    serial.link = LinkKind::Serial;
    Frame other = request(Op::Connect, encodeI32(0));
    other.machine = 2;
    EXPECT_FALSE(service.handle(serial, other));  // silent on a bus
    Session tcp;
    tcp.link = LinkKind::Tcp;
    EXPECT_EQ(service.handle(tcp, other)->status, static_cast<std::uint16_t>(Status::WrongMachine));
    EXPECT_EQ(service.handle(tcp, request(Op::GetStatus, encodeI32(2)))->status,
              static_cast<std::uint16_t>(Status::NoSession));
    EXPECT_EQ(service.handle(tcp, request(Op::Connect, encodeI32(7)))->status,
              static_cast<std::uint16_t>(Status::BadPassword));
    EXPECT_EQ(service.handle(tcp, request(Op::Connect, Bytes{1, 2}))->status,
              static_cast<std::uint16_t>(Status::BadRequest));
    EXPECT_EQ(service.handle(tcp, request(Op::Connect, encodeI32(0)))->status,
              static_cast<std::uint16_t>(Status::Ok));
    Frame unknown = request(Op::Connect, {});
    unknown.op = 99;
    EXPECT_EQ(service.handle(tcp, unknown)->status, static_cast<std::uint16_t>(Status::UnknownOp));
}
