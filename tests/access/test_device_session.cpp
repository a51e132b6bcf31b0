// The terminal session guard: what the terminal is owed at the end, on the normal path and when
// the command leaves by an exception.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "access/device_session.h"
#include "tests/support/call_log.h"
#include "tests/support/scripted_terminal_library.h"

namespace orvelo {
namespace {

using test::CallLog;
using test::ScriptedTerminalLibrary;
using namespace Qt::StringLiterals;

struct SessionCase {
    const char* name;
    DeviceSession::Start start;
    std::function<void(DeviceSession&)> work;  // what the command does before its end
    QStringList calls;                         // every library call, start to end
};

class DeviceSessionTest : public ::testing::TestWithParam<SessionCase> {};

TEST_P(DeviceSessionTest, ClosedOnceWithTheEnableItOwes) {
    CallLog log;
    ScriptedTerminalLibrary terminal(log);
    {
        DeviceSession session(terminal, 9, GetParam().start);
        GetParam().work(session);
        session.close();
        session.close();  // a second close owes nothing more
    }
    EXPECT_EQ(log.entries, GetParam().calls);
}

TEST_P(DeviceSessionTest, DestructorEndsASessionLeftOpenTheSameWay) {
    CallLog log;
    ScriptedTerminalLibrary terminal(log);
    try {
        DeviceSession session(terminal, 9, GetParam().start);
        GetParam().work(session);
        throw std::runtime_error("the command failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(log.entries, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, DeviceSessionTest,
    ::testing::Values(
        SessionCase{"DisabledAtOnce",
                    DeviceSession::Start::Disable,
                    [](DeviceSession&) {},
                    {u"FK_EnableDevice(9,0)"_s, u"FK_EnableDevice(9,1)"_s, u"FK_DisConnect(9)"_s}},
        SessionCase{"KeptEnabledIsStillEnabledAtTheEnd",
                    DeviceSession::Start::KeepEnabled,
                    [](DeviceSession&) {},
                    {u"FK_EnableDevice(9,1)"_s, u"FK_DisConnect(9)"_s}},
        SessionCase{"UntouchedOnlyDisconnects",
                    DeviceSession::Start::Untouched,
                    [](DeviceSession&) {},
                    {u"FK_DisConnect(9)"_s}},
        SessionCase{"DisabledLaterIsEnabledAtTheEnd",
                    DeviceSession::Start::Untouched,
                    [](DeviceSession& s) { s.disable(); },
                    {u"FK_EnableDevice(9,0)"_s, u"FK_EnableDevice(9,1)"_s, u"FK_DisConnect(9)"_s}},
        SessionCase{"AnEarlyEnableIsNotRepeated",
                    DeviceSession::Start::Untouched,
                    [](DeviceSession& s) {
                        s.disable();
                        s.enable();
                        s.enable();
                    },
                    {u"FK_EnableDevice(9,0)"_s, u"FK_EnableDevice(9,1)"_s, u"FK_DisConnect(9)"_s}},
        SessionCase{"EnableWithoutDisableCallsNothing",
                    DeviceSession::Start::Untouched,
                    [](DeviceSession& s) { s.enable(); },
                    {u"FK_DisConnect(9)"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

// A library that fails on the way out, as a lost link can make it.
class ThrowingDisconnect : public ScriptedTerminalLibrary {
public:
    using ScriptedTerminalLibrary::ScriptedTerminalLibrary;
    std::int32_t FK_DisConnect(std::int32_t handle) override {
        ScriptedTerminalLibrary::FK_DisConnect(handle);
        throw std::runtime_error("link lost");
    }
};

TEST(DeviceSession, DestructorSwallowsAFailureOfTheLibrary) {
    CallLog log;
    ThrowingDisconnect terminal(log);
    EXPECT_NO_THROW({ DeviceSession session(terminal, 4, DeviceSession::Start::Disable); });
    EXPECT_EQ(log.entries,
              (QStringList{u"FK_EnableDevice(4,0)"_s, u"FK_EnableDevice(4,1)"_s, u"FK_DisConnect(4)"_s}));
}

TEST(DeviceSession, ExplicitCloseReportsAFailureOfTheLibrary) {
    CallLog log;
    ThrowingDisconnect terminal(log);
    {
        DeviceSession session(terminal, 4, DeviceSession::Start::KeepEnabled);
        EXPECT_THROW(session.close(), std::runtime_error);
    }
    // The failed close counts as done: the destructor does not try again.
    EXPECT_EQ(log.entries, (QStringList{u"FK_EnableDevice(4,1)"_s, u"FK_DisConnect(4)"_s}));
}

}  // namespace
}  // namespace orvelo
