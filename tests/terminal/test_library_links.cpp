// The real libfkattend.so against the real emulator, over each link.
#include <QJsonArray>
#include <array>
#include <cmath>
#include <tuple>
#include <vector>

#include "library_fixture.h"
#include "one_by_one_reads.h"
#include "terminal/text_utils.h"

namespace orvelo::test {
namespace {

constexpr std::int32_t kSentinel = 0x5A5A5A5A;

struct UserRow {
    std::int32_t enroll, backup, privilege;
    bool operator==(const UserRow&) const = default;
};

std::vector<UserRow> walkUsers(std::int32_t handle) {
    std::vector<UserRow> rows;
    std::int32_t enroll = 0, backup = 0, privilege = 0, value = -1;
    while (FK_GetAllUserID(handle, &enroll, &backup, &privilege, &value) == FK_OK)
        rows.push_back({enroll, backup, privilege});
    return rows;
}

struct LogRow {
    std::int32_t enroll, mode;
    double time;
};

// Reads until a step does not return 1; that step's result goes to `last`.
std::vector<LogRow> readLog(std::int32_t handle, std::int32_t* last = nullptr) {
    std::vector<LogRow> rows;
    std::int32_t enroll = 0, mode = 0, value = 0;
    double time = 0;
    std::int32_t r;
    while ((r = FK_GetGeneralLogData(handle, &enroll, &mode, &value, &time)) == FK_OK)
        rows.push_back({enroll, mode, time});
    if (last != nullptr) *last = r;
    return rows;
}

std::int32_t status(std::int32_t handle, std::int32_t code) {
    std::int32_t value = kSentinel;
    EXPECT_EQ(FK_GetDeviceStatus(handle, code, &value), FK_OK) << "status code " << code;
    return value;
}

class LinkTest : public ::testing::TestWithParam<Link> {
protected:
    TerminalFixture terminal;
};

TEST_P(LinkTest, EveryOperationGivesItsResult) {
    terminal.write(smallTerminal());
    // Every change written before it is confirmed, so that the file can be checked after each step.
    EmulatorProcess::Options writeThrough;
    writeThrough.extraArguments = {QStringLiteral("--save-delay-ms"), QStringLiteral("0")};
    terminal.start(GetParam(), writeThrough);
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);

    EXPECT_EQ(FK_EnableDevice(h, 0), FK_OK);
    EXPECT_FALSE(terminal.emulator().dump()[QStringLiteral("enabled")].toBool());

    const std::array<std::pair<int, int>, 9> counters = {
        {{1, 1}, {2, 2}, {3, 2}, {9, 1}, {4, 1}, {5, 2}, {7, 5}, {6, 2}, {8, 3}}};
    for (const auto& [code, expected] : counters)
        EXPECT_EQ(status(h, code), expected) << "status code " << code;
    std::int32_t untouched = kSentinel;
    EXPECT_NE(FK_GetDeviceStatus(h, 42, &untouched), FK_OK);
    EXPECT_EQ(untouched, kSentinel);

    const double tomorrow = terminal::localNowDays() + 1.0;
    EXPECT_EQ(FK_SetDeviceTime(h, tomorrow), FK_OK);
    EXPECT_NEAR(terminal.emulator().dump()[QStringLiteral("clock_offset_s")].toDouble(), 86400.0, 120.0);
    EXPECT_NE(FK_SetDeviceTime(h, std::nan("")), FK_OK);

    ASSERT_EQ(FK_ReadAllUserID(1), FK_OK);
    EXPECT_EQ(walkUsers(h), (std::vector<UserRow>{{123, 0, 1}, {123, 1, 0}, {456, 9, 0}, {456, 10, 0}}));
    EXPECT_NE(FK_GetAllUserID(h, nullptr, nullptr, nullptr, nullptr), FK_OK);  // the walk stays ended

    EXPECT_EQ(FK_ModifyPrivilege(h, 123, 0, 0), FK_OK);
    EXPECT_NE(FK_ModifyPrivilege(h, 123, 5, 0), FK_OK);  // not enrolled there
    EXPECT_EQ(status(h, 1), 0);

    std::array<std::int32_t, 459> buffer;
    buffer.fill(kSentinel);
    std::int32_t privilege = -1, password = -1;
    ASSERT_EQ(FK_GetEnrollData(h, 123, 0, &privilege, buffer.data(), &password), FK_OK);
    EXPECT_EQ(privilege, 0);
    EXPECT_EQ(password, 0);
    EXPECT_EQ(std::vector<std::int32_t>(buffer.begin(), buffer.begin() + 4),
              (std::vector<std::int32_t>{12, -3, 0, kSentinel}));
    buffer.fill(kSentinel);
    ASSERT_EQ(FK_GetEnrollData(h, 456, 9, &privilege, buffer.data(), &password), FK_OK);
    EXPECT_EQ(password, 5001);
    EXPECT_EQ(buffer[0], kSentinel);  // a card has no template
    EXPECT_NE(FK_GetEnrollData(h, 999, 0, &privilege, buffer.data(), &password), FK_OK);

    std::array<std::int32_t, 458> put;
    for (std::size_t i = 0; i < put.size(); ++i) put[i] = static_cast<std::int32_t>(i) * 1000 - 200000;
    EXPECT_EQ(FK_PutEnrollData(h, 789, 2, 1, put.data(), 77), FK_OK);
    EXPECT_EQ(status(h, 2), 3);  // the user was created
    buffer.fill(kSentinel);
    ASSERT_EQ(FK_GetEnrollData(h, 789, 2, &privilege, buffer.data(), &password), FK_OK);
    EXPECT_EQ(privilege, 1);
    EXPECT_EQ(password, 77);
    EXPECT_TRUE(std::equal(put.begin(), put.end(), buffer.begin()));
    EXPECT_NE(FK_PutEnrollData(h, 789, 11, 0, put.data(), 0), FK_OK);

    EXPECT_EQ(FK_SetUserName(h, 789, "王五"), FK_OK);
    char name[40] = {};
    ASSERT_EQ(FK_GetUserName(h, 789, name), FK_OK);
    EXPECT_STREQ(name, "王五");
    EXPECT_NE(FK_SetUserName(h, 999, "nobody"), FK_OK);
    EXPECT_NE(FK_GetUserName(h, 999, name), FK_OK);

    EXPECT_EQ(FK_DeleteEnrollData(h, 789, 2), FK_OK);
    EXPECT_EQ(status(h, 2), 2);  // its last enrollment removed the user
    EXPECT_NE(FK_DeleteEnrollData(h, 789, 2), FK_OK);

    ASSERT_EQ(FK_LoadGeneralLogData(h, 0), FK_OK);
    const auto logs = readLog(h);
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs[1].enroll, 123);
    EXPECT_EQ(logs[1].mode, 2);
    EXPECT_EQ(terminal::formatDateTimeText(logs[1].time), "2005-03-07 17:30:05");
    EXPECT_EQ(collectedCount(terminal.emulator().dump()), 1);  // reading all marks nothing

    EXPECT_EQ(FK_ClearKeeperData(1), FK_OK);
    EXPECT_EQ(status(h, 2), 0);
    EXPECT_EQ(status(h, 8), 0);

    EXPECT_EQ(FK_EnableDevice(h, 1), FK_OK);
    EXPECT_EQ(FK_DisConnect(h), FK_OK);
    EXPECT_NE(FK_DisConnect(h), FK_OK);
    EXPECT_NE(FK_EnableDevice(h, 1), FK_OK);

    const QJsonObject state = terminal.emulator().dump();
    EXPECT_TRUE(state[QStringLiteral("enabled")].toBool());
    EXPECT_TRUE(state[QStringLiteral("users")].toArray().isEmpty());
    EXPECT_TRUE(state[QStringLiteral("logs")].toArray().isEmpty());
}

// The clock read gives the terminal's clock: this machine's time and the offset the terminal keeps,
// as its state file gives it and as FK_SetDeviceTime changes it. Whole seconds, so the margins
// cover the rounding and a loaded machine.
TEST_P(LinkTest, TheClockReadGivesTheTerminalsClock) {
    QJsonObject state = smallTerminal();
    state[QStringLiteral("clock_offset_s")] = 300.0;  // five minutes fast
    terminal.write(state);
    terminal.start(GetParam());
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);

    double time = 0;
    ASSERT_EQ(FK_GetDeviceTime(h, &time), FK_OK);
    EXPECT_NEAR((time - terminal::localNowDays()) * 86400.0, 300.0, 5.0);
    EXPECT_EQ(time, std::round(time * 86400.0) / 86400.0);  // whole seconds, as the terminal keeps them

    const double tomorrow = terminal::localNowDays() + 1.0;
    ASSERT_EQ(FK_SetDeviceTime(h, tomorrow), FK_OK);
    ASSERT_EQ(FK_GetDeviceTime(h, &time), FK_OK);
    EXPECT_NEAR((time - tomorrow) * 86400.0, 0.0, 5.0);
    EXPECT_EQ(FK_GetDeviceTime(h, nullptr), FK_OK);  // an output may be left out

    EXPECT_EQ(FK_DisConnect(h), FK_OK);
    time = -9;
    EXPECT_EQ(FK_GetDeviceTime(h, &time), FK_BAD_HANDLE);
    EXPECT_EQ(time, -9);
}

TEST_P(LinkTest, NewRecordsAreMarkedCollectedOnlyByTheReadThatEndsTheLog) {
    terminal.write(smallTerminal());
    terminal.start(GetParam());
    std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 1), FK_OK);
    std::int32_t enroll = 0, mode = 0, value = 0;
    double time = 0;
    ASSERT_EQ(FK_GetGeneralLogData(h, &enroll, &mode, &value, &time), FK_OK);
    ASSERT_EQ(FK_GetGeneralLogData(h, &enroll, &mode, &value, &time), FK_OK);
    // Both new records delivered, but the log not read to its end: the client stops here.
    FK_DisConnect(h);
    EXPECT_EQ(collectedCount(terminal.emulator().dump()), 1);

    h = terminal.connect();
    ASSERT_GT(h, 0);
    EXPECT_EQ(status(h, 6), 2);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 1), FK_OK);
    std::int32_t last = FK_OK;
    const auto rows = readLog(h, &last);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].mode, 2);
    EXPECT_EQ(rows[1].enroll, 456);
    EXPECT_EQ(last, FK_NO);
    EXPECT_EQ(status(h, 6), 0);
    EXPECT_EQ(status(h, 8), 3);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 1), FK_OK);
    EXPECT_TRUE(readLog(h).empty());
    FK_DisConnect(h);
    EXPECT_EQ(collectedCount(terminal.emulator().dump()), 3);
}

TEST_P(LinkTest, ListsAndLogsMoveInPages) {
    // More entries than one page holds: 5000 users with a card each, and 7000 records.
    QJsonArray userArray;
    for (int enroll = 1; enroll <= 5000; ++enroll) {
        const QJsonObject card{{QStringLiteral("backup"), 9}, {QStringLiteral("password"), 100000 + enroll}};
        userArray.append(QJsonObject{{QStringLiteral("enroll"), enroll},
                                     {QStringLiteral("enrollments"), QJsonArray{card}}});
    }
    QJsonArray logArray;
    for (int i = 0; i < 7000; ++i) {
        const QString time = QStringLiteral("2026-01-%1 %2:%3:00")
                                 .arg(1 + i / 1440, 2, 10, QLatin1Char('0'))
                                 .arg(i / 60 % 24, 2, 10, QLatin1Char('0'))
                                 .arg(i % 60, 2, 10, QLatin1Char('0'));
        logArray.append(QJsonObject{{QStringLiteral("enroll"), 1 + i % 5000},
                                    {QStringLiteral("mode"), 1 + i % 10},
                                    {QStringLiteral("time"), time}});
    }
    terminal.write(QJsonObject{{QStringLiteral("users"), userArray}, {QStringLiteral("logs"), logArray}});
    terminal.start(GetParam());
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    ASSERT_EQ(FK_ReadAllUserID(1), FK_OK);
    const auto users = walkUsers(h);
    ASSERT_EQ(users.size(), 5000u);
    for (std::size_t i = 0; i < users.size(); ++i)
        ASSERT_EQ(users[i].enroll, static_cast<std::int32_t>(i) + 1);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 0), FK_OK);
    const auto logs = readLog(h);
    ASSERT_EQ(logs.size(), 7000u);
    for (std::size_t i = 1; i < logs.size(); ++i) {
        ASSERT_GT(logs[i].time, logs[i - 1].time);
        ASSERT_EQ(logs[i].mode, static_cast<std::int32_t>(i % 10) + 1);
        ASSERT_EQ(logs[i].enroll, static_cast<std::int32_t>(i % 5000) + 1);
    }
    FK_DisConnect(h);
}

// The connection goes away after five replies (connect, disable, load, two pages): the third page
// cannot be fetched. The step returns something other than 1, the records stay new, and the
// terminal that the session disabled serves its users again.
TEST_P(LinkTest, ConnectionDroppedMidDownloadLeavesTheRecordsNew) {
    terminal.seed(10, 1, 10000);
    terminal.start(GetParam(), withFaults({QStringLiteral("drop-after=5")}));
    const std::int32_t h = terminal.connect(1, 0, 1000);
    ASSERT_GT(h, 0);
    ASSERT_EQ(FK_EnableDevice(h, 0), FK_OK);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 1), FK_OK);
    std::int32_t last = FK_OK;
    const auto rows = readLog(h, &last);
    EXPECT_EQ(rows.size(), 2u * 3072u);
    EXPECT_NE(last, FK_OK);
    EXPECT_NE(last, FK_NO);  // a failure, not the end of the log
    std::int32_t enroll = 0;
    EXPECT_NE(FK_GetGeneralLogData(h, &enroll, nullptr, nullptr, nullptr), FK_OK);
    FK_DisConnect(h);
    const QJsonObject state = terminal.emulator().dump();
    EXPECT_EQ(collectedCount(state), 0);
    EXPECT_TRUE(state[QStringLiteral("enabled")].toBool());
}

// The third reply is damaged. A stream link reports it on that step and goes on; over UDP the
// damaged datagram is dropped and the resent request gets the terminal's cached reply.
// One request per read: the damaged reply is that of the second status read.
TEST_P(LinkTest, DamagedReplyFailsOnlyThatStep) {
    terminal.write(smallTerminal());
    terminal.start(GetParam(), withFaults({QStringLiteral("corrupt-after=2")}));
    const OneByOneReads oneByOne;
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    EXPECT_EQ(status(h, 2), 2);
    std::int32_t value = kSentinel;
    const std::int32_t r = FK_GetDeviceStatus(h, 8, &value);
    if (GetParam() == Link::Udp) {
        EXPECT_EQ(r, FK_OK);
        EXPECT_EQ(value, 3);
    } else {
        EXPECT_EQ(r, FK_BAD_REPLY);
        EXPECT_EQ(value, kSentinel);
    }
    EXPECT_EQ(status(h, 9), 1);
    FK_DisConnect(h);
}

// The nine counters come in one reply (one by one on the serial line): when it is damaged, the read
// that fetched it fails, nothing is kept, and the next read fetches them again.
TEST_P(LinkTest, DamagedBulkReplyFailsOnlyThatStep) {
    terminal.write(smallTerminal());
    terminal.start(GetParam(), withFaults({QStringLiteral("corrupt-after=1")}));
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    std::int32_t value = kSentinel;
    const std::int32_t r = FK_GetDeviceStatus(h, 8, &value);
    if (GetParam() == Link::Udp) {
        EXPECT_EQ(r, FK_OK);
        EXPECT_EQ(value, 3);
    } else {
        EXPECT_EQ(r, FK_BAD_REPLY);
        EXPECT_EQ(value, kSentinel);
    }
    EXPECT_EQ(status(h, 8), 3);
    EXPECT_EQ(status(h, 9), 1);
    FK_DisConnect(h);
}

TEST_P(LinkTest, WrongMachineNumberGetsNoConnection) {
    terminal.write(smallTerminal());
    terminal.start(GetParam(), withMachine(2));
    if (GetParam() == Link::Usb) {
        const std::int32_t h = FK_ConnectUSB(2);  // the socket is named after the machine number
        EXPECT_GT(h, 0);
        FK_DisConnect(h);
        EXPECT_EQ(FK_ConnectUSB(1), 0);
        return;
    }
    EXPECT_EQ(terminal.connect(1, 0, 500), 0);
    const std::int32_t h = terminal.connect(2);
    EXPECT_GT(h, 0);
    FK_DisConnect(h);
    EXPECT_EQ(terminal.emulator().dump()[QStringLiteral("machine")].toInt(), 2);  // saved into the file
}

INSTANTIATE_TEST_SUITE_P(Links, LinkTest, ::testing::Values(Link::Tcp, Link::Udp, Link::Serial, Link::Usb),
                         [](const auto& info) { return std::string(linkName(info.param)); });

}  // namespace
}  // namespace orvelo::test
