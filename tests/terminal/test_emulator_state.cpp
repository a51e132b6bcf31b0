#include "emulator/seed.h"
#include "emulator/state.h"
#include "emulator/terminal_service.h"
#include "terminal/text_utils.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

using namespace orvelo::emulator;
using namespace orvelo::terminal;

TEST(EmulatorState, EveryFieldButUsersAndLogsHasADefault)
{
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

TEST(EmulatorState, ReadsTheDocumentedExampleAndWritesItBack)
{
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

TEST(EmulatorState, RefusesWrongFieldsNamingThem)
{
    struct Case {
        const char* json;
        const char* names;
    };
    const Case cases[] = {
        {R"({"users": [{"enroll": 1.5}], "logs": []})", "users[0].enroll"},
        {R"({"users": [{"enroll": 1}, {"enroll": 1}], "logs": []})", "users[1].enroll"},
        {R"({"users": [{"enroll": 1, "enrollments": [{"backup": 11}]}], "logs": []})", "backup"},
        {R"({"users": [{"enroll": 1, "enrollments": [{"backup": 1}, {"backup": 1}]}], "logs": []})", "backup"},
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

TEST(EmulatorState, SaveReplacesTheFileWhole)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("state.json")).toStdString();
    TerminalState state = seedState({2, 1, 3, 1});
    saveStateFile(path, state);
    state.users.clear();
    saveStateFile(path, state);
    EXPECT_EQ(loadStateFile(path), state);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // no temporary file left
}

TEST(Seed, IsDeterministicAndShapedAsDocumented)
{
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

TEST(Faults, ParsesEveryDocumentedForm)
{
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
    for (const char* bad : {"drop-after", "drop-after=-1", "refuse=Nothing", "explode=1", "refuse=GetDeviceStatus:x"})
        EXPECT_FALSE(parseFault(bad, faults)) << bad;
}

TEST(TerminalService, StatusCodesCountFromTheState)
{
    QTemporaryDir dir;
    TerminalState state = parseState(R"({"management_log": {"new": 4, "all": 11}, "users": [
        {"enroll": 1, "enrollments": [{"backup": 0}, {"backup": 1, "privilege": 2}, {"backup": 9}, {"backup": 10}]},
        {"enroll": 2, "enrollments": [{"backup": 3, "privilege": 1}, {"backup": 9}]},
        {"enroll": 3, "enrollments": [{"backup": 8}]},
        {"enroll": 4}],
      "logs": [{"enroll": 1, "time": "2005-03-07 08:15:40", "collected": true},
               {"enroll": 1, "time": "2005-03-07 08:16:40"}, {"enroll": 2, "time": "2005-03-07 08:17:40"}]})");
    TerminalService service(state, dir.filePath(QStringLiteral("s.json")).toStdString(), {});
    const std::pair<int, int> expected[] = {{1, 2}, {2, 4}, {3, 4}, {4, 1}, {5, 4}, {6, 2}, {7, 11}, {8, 3}, {9, 2}};
    for (const auto& [code, value] : expected) EXPECT_EQ(service.status(code), value) << "code " << code;
    EXPECT_FALSE(service.status(0));
    EXPECT_FALSE(service.status(10));
}

namespace {

Frame request(Op op, Bytes payload)
{
    Frame f;
    f.op = static_cast<std::uint16_t>(op);
    f.machine = 1;
    f.payload = std::move(payload);
    return f;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// The writer keeps the text of unchanged users and logs: after every kind of change the file must
// still be exactly the whole state.
TEST(TerminalService, StateFileFollowsEveryChange)
{
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
            ASSERT_EQ(readFile(path), formatState(service.state())) << "after " << opName(frame.op);
        }
    }
    service.endSession(session);
    EXPECT_EQ(readFile(path), formatState(service.state()));
    EXPECT_TRUE(loadStateFile(path).enabled);
}

TEST(TerminalService, AnswersOnlyItsMachineNumberAndAConnectedSession)
{
    QTemporaryDir dir;
    TerminalService service(seedState({1, 1, 1, 1}), dir.filePath(QStringLiteral("s.json")).toStdString(), {});
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
    EXPECT_EQ(service.handle(tcp, request(Op::Connect, encodeI32(0)))->status, static_cast<std::uint16_t>(Status::Ok));
    Frame unknown = request(Op::Connect, {});
    unknown.op = 99;
    EXPECT_EQ(service.handle(tcp, unknown)->status, static_cast<std::uint16_t>(Status::UnknownOp));
}
