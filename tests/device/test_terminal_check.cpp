// The health check of one terminal: what it reads, what it leaves alone, and what it makes of a
// terminal that is down, refuses a read or sits behind a library without the clock read.
#include <gtest/gtest.h>

#include <functional>

#include "core/datetime.h"
#include "core/errors.h"
#include "core/ports.h"
#include "device/terminal_check.h"
#include "terminal/fkattend.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using test::CallLog;
using test::FixedClock;
using test::ScriptedTerminalLibrary;

constexpr double kSecond = 1.0 / 86400.0;

// The scripted library whose FK_GetDeviceTime is missing, as a library built before it.
class LibraryWithoutClock final : public ScriptedTerminalLibrary {
public:
    using ScriptedTerminalLibrary::ScriptedTerminalLibrary;
    std::int32_t FK_GetDeviceTime(std::int32_t, double*) override {
        throw LibraryError(u"The terminal library libfkattend.so has no operation FK_GetDeviceTime"_s);
    }
};

const QStringList kFullCheck = {
    u"FK_ConnectUSB(3)"_s,        u"FK_GetDeviceStatus(9,2)"_s, u"FK_GetDeviceStatus(9,8)"_s,
    u"FK_GetDeviceStatus(9,6)"_s, u"FK_GetDeviceTime(9)"_s,     u"FK_DisConnect(9)"_s,
};

struct CheckCase {
    const char* name;
    std::function<void(ScriptedTerminalLibrary&, ConnectionPanelState&)> arrange;
    bool libraryWithoutClock = false;
    bool reachable = true;
    std::optional<std::int64_t> offset;
    std::optional<std::int32_t> users, records, newRecords;
    QStringList calls = kFullCheck;
    bool settingsError = false;
};

class TerminalCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(TerminalCheck, ReadsTheCountersAndTheClockAndNeverDisablesTheTerminal) {
    const CheckCase& c = GetParam();
    const FixedClock clock = FixedClock::at(u"2024-05-06 07:08:09"_s);
    CallLog log;
    std::unique_ptr<ScriptedTerminalLibrary> terminal = c.libraryWithoutClock
                                                            ? std::make_unique<LibraryWithoutClock>(log)
                                                            : std::make_unique<ScriptedTerminalLibrary>(log);
    terminal->connectResult = 9;  // the handle differs from the machine number
    terminal->status = {{FK_STATUS_USERS, 12}, {FK_STATUS_ALL_LOGS, 340}, {FK_STATUS_NEW_LOGS, 7}};
    terminal->deviceTime = clock.value + 300 * kSecond;  // five minutes fast
    ConnectionPanelState panel;
    panel.machineNo = u"3"_s;
    if (c.arrange) c.arrange(*terminal, panel);

    const TerminalHealth health = checkTerminal(panel, *terminal, clock);

    EXPECT_EQ(health.checkedAt, clock.value);
    EXPECT_EQ(health.reachable, c.reachable);
    EXPECT_EQ(health.clockOffsetSeconds, c.offset);
    EXPECT_EQ(health.users, c.users);
    EXPECT_EQ(health.records, c.records);
    EXPECT_EQ(health.newRecords, c.newRecords);
    EXPECT_EQ(!health.settingsError.isEmpty(), c.settingsError) << health.settingsError.toStdString();
    EXPECT_EQ(log.entries, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalCheck,
    testing::Values(
        CheckCase{"Healthy", {}, false, true, 300, 12, 340, 7},
        CheckCase{"ClockSlow",
                  [](ScriptedTerminalLibrary& t, ConnectionPanelState&) { t.deviceTime -= 310 * kSecond; },
                  false, true, -10, 12, 340, 7},
        CheckCase{"ConnectFails",
                  [](ScriptedTerminalLibrary& t, ConnectionPanelState&) { t.connectResult = 0; },
                  false,
                  false,
                  {},
                  {},
                  {},
                  {},
                  {u"FK_ConnectUSB(3)"_s}},
        CheckCase{"SettingsThatDoNotConvert",
                  [](ScriptedTerminalLibrary&, ConnectionPanelState& p) { p.machineNo = u"no number"_s; },
                  false,
                  false,
                  {},
                  {},
                  {},
                  {},
                  {},
                  true},
        CheckCase{"ClockReadRefused",
                  [](ScriptedTerminalLibrary& t, ConnectionPanelState&) {
                      t.forcedResults[u"FK_GetDeviceTime"_s] = {0};
                  },
                  false, true, std::nullopt, 12, 340, 7},
        CheckCase{"LibraryWithoutTheClockRead",
                  {},
                  true,
                  true,
                  std::nullopt,
                  12,
                  340,
                  7,
                  {u"FK_ConnectUSB(3)"_s, u"FK_GetDeviceStatus(9,2)"_s, u"FK_GetDeviceStatus(9,8)"_s,
                   u"FK_GetDeviceStatus(9,6)"_s, u"FK_DisConnect(9)"_s}},
        CheckCase{
            "ACounterRefused",
            [](ScriptedTerminalLibrary& t, ConnectionPanelState&) { t.status.erase(FK_STATUS_NEW_LOGS); },
            false, true, 300, 12, 340, std::nullopt},
        CheckCase{"LinkLostAfterConnect",
                  [](ScriptedTerminalLibrary& t, ConnectionPanelState&) {
                      for (const QString& op : {u"FK_GetDeviceStatus"_s, u"FK_GetDeviceTime"_s})
                          t.forcedResults[op] = {-2, -2, -2};
                  },
                  false, true, std::nullopt, std::nullopt, std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// The offset is taken against the PC's clock in the middle of the read, not at the check's start.
TEST(TerminalCheckClock, TheOffsetIsAgainstThePcsClockDuringTheRead) {
    class SteppingClock final : public Clock {
    public:
        DateTimeValue now() const override { return start + 10 * kSecond * reads++; }
        DateTimeValue start = *parseDateTimeText(u"2024-05-06 07:08:09"_s);
        mutable int reads = 0;
    } clock;
    CallLog log;
    ScriptedTerminalLibrary terminal(log);
    terminal.status = {{FK_STATUS_USERS, 1}};
    // Reads: the check's start (0 s), before the clock read (10 s), after it (20 s): the middle is
    // 15 s after the start.
    terminal.deviceTime = clock.start + 15 * kSecond;
    const TerminalHealth health = checkTerminal(ConnectionPanelState{}, terminal, clock);
    EXPECT_EQ(health.checkedAt, clock.start);
    EXPECT_EQ(health.clockOffsetSeconds, 0);
    EXPECT_EQ(clock.reads, 3);
}

}  // namespace
}  // namespace orvelo
