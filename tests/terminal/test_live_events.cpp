// Live events end to end: the real libfkattend.so subscribed to the real orvelo-terminal, punches
// made by its punch subcommand or by its own timer.
#include <QJsonArray>
#include <QProcess>
#include <cmath>
#include <csignal>
#include <vector>

#include "library_fixture.h"
#include "terminal/text_utils.h"

namespace orvelo::test {
namespace {

struct Event {
    std::int32_t enroll = 0;
    std::int32_t mode = 0;
    double time = 0;
    std::int32_t position = -1;
    bool operator==(const Event&) const = default;
};

// The next event, or the wait's result when it is not one. Generous: the tests look at results,
// never at how long they took.
std::int32_t waitEvent(std::int32_t handle, Event& event, int timeoutMs = 10'000) {
    return FK_WaitEvent(handle, timeoutMs, &event.enroll, &event.mode, &event.time, &event.position);
}

// orvelo-terminal punch ...; its exit status and standard output.
std::pair<int, QString> punch(const QStringList& arguments) {
    QProcess process;
    process.start(EmulatorProcess::emulatorPath(), QStringList{QStringLiteral("punch")} + arguments);
    if (!process.waitForFinished(30'000)) return {-1, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput())};
}

QStringList overTcp(EmulatorProcess& emulator, int enroll, int mode) {
    return {QStringLiteral("--tcp"),    QStringLiteral("127.0.0.1:%1").arg(emulator.tcpPort()),
            QStringLiteral("--enroll"), QString::number(enroll),
            QStringLiteral("--mode"),   QString::number(mode)};
}

EmulatorProcess::Options withArguments(const QStringList& arguments) {
    EmulatorProcess::Options options;
    options.extraArguments = arguments;
    return options;
}

class LiveEventsOverLink : public ::testing::TestWithParam<Link> {};

// The punch subcommand reaches the running terminal over TCP or its USB socket; the subscribed
// connection hears the punch with its place in the log, after the log's three records.
TEST_P(LiveEventsOverLink, SubscribedConnectionHearsAPunch) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(GetParam());
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    ASSERT_EQ(FK_SubscribeEvents(h), FK_OK);

    const QStringList where =
        GetParam() == Link::Usb
            ? QStringList{QStringLiteral("--usb")}
            : QStringList{QStringLiteral("--tcp"),
                          QStringLiteral("127.0.0.1:%1").arg(terminal.emulator().tcpPort())};
    const auto [status, output] = punch(where + QStringList{QStringLiteral("--enroll"), QStringLiteral("456"),
                                                            QStringLiteral("--mode"), QStringLiteral("2")});
    ASSERT_EQ(status, 0);
    EXPECT_EQ(output.trimmed(), QStringLiteral("punched enroll=456 mode=2 position=3"));

    Event event;
    ASSERT_EQ(waitEvent(h, event), FK_OK);
    EXPECT_EQ(event.enroll, 456);
    EXPECT_EQ(event.mode, 2);
    EXPECT_EQ(event.position, 3);
    // Stamped with the terminal's clock, which is this machine's: within a minute of now.
    EXPECT_LT(std::abs(event.time - terminal::localNowDays()), 1.0 / 1440) << event.time;
    EXPECT_EQ(FK_DisConnect(h), FK_OK);
}

INSTANTIATE_TEST_SUITE_P(Links, LiveEventsOverLink, ::testing::Values(Link::Tcp, Link::Usb),
                         [](const auto& info) { return std::string(linkName(info.param)); });

// The punch is a new record of the log: a later download of the new records, on a second
// connection, finds it after the two records that were new already, and marks it collected.
TEST(LiveEvents, PunchIsANewRecordOfTheLog) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp);
    const std::int32_t events = terminal.connect();
    ASSERT_EQ(FK_SubscribeEvents(events), FK_OK);
    ASSERT_EQ(punch(overTcp(terminal.emulator(), 123, 7)).first, 0);
    Event event;
    ASSERT_EQ(waitEvent(events, event), FK_OK);

    const std::int32_t collect = terminal.connect();
    ASSERT_GT(collect, 0);
    ASSERT_EQ(FK_LoadGeneralLogData(collect, 1), FK_OK);
    std::vector<Event> records;
    Event r;
    std::int32_t value = 0;
    while (FK_GetGeneralLogData(collect, &r.enroll, &r.mode, &value, &r.time) == FK_OK) records.push_back(r);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].enroll, 123);
    EXPECT_EQ(records[2].mode, 7);
    EXPECT_EQ(records[2].time, event.time);
    FK_DisConnect(collect);
    FK_DisConnect(events);
    EXPECT_EQ(collectedCount(terminal.emulator().dump()), 4);
}

// Heartbeats keep an idle subscription alive across many heartbeat intervals; a terminal that
// stops (SIGSTOP: its socket stays open, nothing comes) is reported silent, long before the wait's
// time-out would have ended it.
TEST(LiveEvents, HeartbeatsKeepAnIdleLinkAliveAndSilenceIsNoticed) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp, withArguments({QStringLiteral("--heartbeat-ms"), QStringLiteral("50")}));
    const std::int32_t h = terminal.connect();
    ASSERT_EQ(FK_SubscribeEvents(h), FK_OK);
    Event event;
    // Each wait spans twenty heartbeat intervals, far beyond the three that count as silence.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(waitEvent(h, event, 1000), FK_NO) << i;

    ASSERT_EQ(::kill(terminal.emulator().pid(), SIGSTOP), 0);
    const std::int32_t silent = waitEvent(h, event, 30'000);
    ::kill(terminal.emulator().pid(), SIGCONT);
    EXPECT_EQ(silent, FK_SILENT_LINK);
    // The connection is given up; only its end remains.
    EXPECT_EQ(waitEvent(h, event, 0), FK_LINK_ERROR);
    EXPECT_EQ(FK_DisConnect(h), FK_OK);
}

// A closed link is told apart from a silent one.
TEST(LiveEvents, ATerminalThatEndsIsALinkError) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp);
    const std::int32_t h = terminal.connect();
    ASSERT_EQ(FK_SubscribeEvents(h), FK_OK);
    terminal.emulator().kill();
    Event event;
    EXPECT_EQ(waitEvent(h, event), FK_LINK_ERROR);
    FK_DisConnect(h);
}

// A subscribed connection carries events only; after unsubscribing it takes requests again and
// hears no more punches.
TEST(LiveEvents, UnsubscribeMakesAnOrdinaryConnectionAgain) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp);
    const std::int32_t h = terminal.connect();
    Event event;
    EXPECT_EQ(waitEvent(h, event, 0), FK_NOT_SUBSCRIBED);
    EXPECT_EQ(FK_UnsubscribeEvents(h), FK_NOT_SUBSCRIBED);
    ASSERT_EQ(FK_SubscribeEvents(h), FK_OK);
    std::int32_t users = -1;
    EXPECT_EQ(FK_GetDeviceStatus(h, FK_STATUS_USERS, &users), FK_EVENTS_ONLY);
    double time = 0;
    EXPECT_EQ(FK_GetDeviceTime(h, &time), FK_EVENTS_ONLY);
    EXPECT_EQ(FK_ReadAllUserID(1), FK_BAD_HANDLE);  // the only connection to machine 1 is for events
    ASSERT_EQ(punch(overTcp(terminal.emulator(), 123, 1)).first, 0);

    ASSERT_EQ(FK_UnsubscribeEvents(h), FK_OK);  // the punch's event, in flight, is dropped
    EXPECT_EQ(FK_GetDeviceStatus(h, FK_STATUS_USERS, &users), FK_OK);
    EXPECT_EQ(users, 2);
    EXPECT_EQ(waitEvent(h, event, 0), FK_NOT_SUBSCRIBED);
    std::int32_t all = 0;
    EXPECT_EQ(FK_GetDeviceStatus(h, FK_STATUS_ALL_LOGS, &all), FK_OK);
    EXPECT_EQ(all, 4);
    EXPECT_EQ(FK_DisConnect(h), FK_OK);
    EXPECT_EQ(FK_SubscribeEvents(h), FK_BAD_HANDLE);
    EXPECT_EQ(waitEvent(h, event, 0), FK_BAD_HANDLE);
}

// A datagram could be lost without anyone noticing: UDP cannot subscribe.
TEST(LiveEvents, UdpIsRefused) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Udp);
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    EXPECT_EQ(FK_SubscribeEvents(h), FK_NO);
    std::int32_t users = -1;
    EXPECT_EQ(FK_GetDeviceStatus(h, FK_STATUS_USERS, &users), FK_OK);
    FK_DisConnect(h);
}

// --punch-every-ms punches enrolled users with mapped mode codes, one record after another; the
// same seed gives the same punches.
TEST(LiveEvents, TimedPunchesAreReproducibleWithTheirSeed) {
    auto punches = [](int seed) {
        TerminalFixture terminal;
        terminal.write(smallTerminal());
        terminal.start(Link::Tcp, withArguments({QStringLiteral("--punch-every-ms"), QStringLiteral("20"),
                                                 QStringLiteral("--punch-seed"), QString::number(seed)}));
        const std::int32_t h = terminal.connect();
        EXPECT_EQ(FK_SubscribeEvents(h), FK_OK);
        std::vector<std::pair<int, int>> seen;
        Event event;
        std::int32_t previous = -1;
        while (seen.size() < 12 && waitEvent(h, event) == FK_OK) {
            // Punches made before the subscription are in the log but not heard: positions go on
            // from wherever the first heard one was.
            if (previous >= 0) {
                EXPECT_EQ(event.position, previous + 1);
            }
            EXPECT_GE(event.position, 3);
            previous = event.position;
            EXPECT_TRUE(event.enroll == 123 || event.enroll == 456) << event.enroll;
            const std::vector<int> mapped{1, 2, 3, 4, 5, 6, 7, 10};
            EXPECT_NE(std::find(mapped.begin(), mapped.end(), event.mode), mapped.end()) << event.mode;
            seen.emplace_back(event.enroll, event.mode);
        }
        FK_DisConnect(h);
        terminal.emulator().stop();
        // Every punch, heard or not, is a new record of the log, in the order of its position.
        const auto logs = terminal.emulator().dump()[QStringLiteral("logs")].toArray();
        std::vector<std::pair<int, int>> logged;
        for (qsizetype i = 3; i < logs.size(); ++i)
            logged.emplace_back(logs[i][QStringLiteral("enroll")].toInt(),
                                logs[i][QStringLiteral("mode")].toInt());
        EXPECT_GE(logged.size(), seen.size());
        return logged;
    };
    const auto first = punches(7);
    const auto again = punches(7);
    const auto other = punches(8);
    ASSERT_GE(first.size(), 12u);
    const std::size_t n = std::min({first.size(), again.size(), other.size()});
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + n, again.begin()));
    EXPECT_FALSE(std::equal(first.begin(), first.begin() + n, other.begin()));
}

}  // namespace
}  // namespace orvelo::test
