// When the emulator writes its state file: a batch of changes goes to disk together when the client
// is done with it, at the latest after the save delay, and a kill in the middle of a batch leaves
// a whole file.
#include <QJsonArray>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "library_fixture.h"

namespace orvelo::test {
namespace {

constexpr int kSeededUsers = 50;
constexpr int kFirstNewUser = 1000;
constexpr int kBurst = 20;

EmulatorProcess::Options savingEvery(int delayMs, QStringList faults = {}) {
    EmulatorProcess::Options options;
    options.faults = faults;
    options.extraArguments = {QStringLiteral("--save-delay-ms"), QString::number(delayMs)};
    return options;
}

int userCount(const QJsonObject& state) {
    return int(state[QStringLiteral("users")].toArray().size());
}

// Disables the terminal, writes kBurst new users and names the last one: 1 + kBurst + 1 replies
// after the connect's.
void writeBurst(std::int32_t h) {
    ASSERT_EQ(FK_EnableDevice(h, 0), FK_OK);
    std::vector<std::int32_t> tpl(FK_TEMPLATE_VALUES, 3);
    for (int enroll = kFirstNewUser; enroll < kFirstNewUser + kBurst; ++enroll)
        ASSERT_EQ(FK_PutEnrollData(h, enroll, 0, 0, tpl.data(), 0), FK_OK);
    ASSERT_EQ(FK_SetUserName(h, kFirstNewUser + kBurst - 1, "最后"), FK_OK);
}

TEST(EmulatorSaving, BurstIsWrittenWhenTheClientIsDone) {
    struct Ending {
        const char* how;
        QStringList faults;
        std::function<void(EmulatorProcess&, std::int32_t)> end;
    };
    const Ending endings[] = {
        {"goodbye", {}, [](EmulatorProcess&, std::int32_t h) { EXPECT_EQ(FK_DisConnect(h), FK_OK); }},
        {"enabled again",
         {},
         [](EmulatorProcess&, std::int32_t h) { EXPECT_EQ(FK_EnableDevice(h, 1), FK_OK); }},
        {"link dropped",
         {QStringLiteral("drop-after=%1").arg(1 + 1 + kBurst + 1)},
         [](EmulatorProcess&, std::int32_t h) {
             std::int32_t value = 0;
             EXPECT_NE(FK_GetDeviceStatus(h, 2, &value), FK_OK);
         }},
        {"SIGTERM", {}, [](EmulatorProcess& emulator, std::int32_t) { EXPECT_EQ(emulator.stop(), 0); }},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.how);
        TerminalFixture terminal;
        terminal.seed(kSeededUsers, 2, 100);
        // A delay no test outlasts: only the end of the batch can write it.
        terminal.start(Link::Tcp, savingEvery(600'000, ending.faults));
        const std::int32_t h = terminal.connect();
        ASSERT_GT(h, 0);
        writeBurst(h);
        const QJsonObject during = terminal.emulator().dump();
        EXPECT_EQ(userCount(during), kSeededUsers);  // one write for the batch, not one per change
        EXPECT_TRUE(during[QStringLiteral("enabled")].toBool());

        ending.end(terminal.emulator(), h);
        const QJsonObject after = terminal.emulator().dump();
        EXPECT_EQ(userCount(after), kSeededUsers + kBurst);
        EXPECT_EQ(userOf(after, kFirstNewUser + kBurst - 1)[QStringLiteral("name")].toString(),
                  QStringLiteral("最后"));
        EXPECT_EQ(enrollmentOf(after, kFirstNewUser, 0)[QStringLiteral("template")].toArray().size(),
                  FK_TEMPLATE_VALUES);
        EXPECT_TRUE(after[QStringLiteral("enabled")].toBool());
        FK_DisConnect(h);
    }
}

// A client that keeps its connection open still sees its changes reach the file.
TEST(EmulatorSaving, ChangesReachTheFileAfterTheDelayWithTheConnectionOpen) {
    TerminalFixture terminal;
    terminal.seed(kSeededUsers, 2, 100);
    terminal.start(Link::Tcp, savingEvery(100));
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    writeBurst(h);
    QJsonObject state;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        state = terminal.emulator().dump();
    } while (userCount(state) != kSeededUsers + kBurst && std::chrono::steady_clock::now() < giveUp);
    EXPECT_EQ(userCount(state), kSeededUsers + kBurst);
    EXPECT_FALSE(state[QStringLiteral("enabled")].toBool());  // the client still holds it disabled
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_OK);  // the connection was never touched
    EXPECT_EQ(value, kSeededUsers + kBurst);
    FK_DisConnect(h);
}

// The file after a SIGKILL at an arbitrary moment of a burst (writing every change before its
// reply, so the kill may well land in a write): whole, holding every confirmed change, and the
// state of one moment: the seeded terminal and the first k users of the burst, each complete.
TEST(EmulatorSaving, FileIsWholeAfterAKillDuringABurst) {
    TerminalFixture terminal;
    terminal.seed(400, 4, 3000);
    terminal.start(Link::Tcp, savingEvery(0));
    const std::int32_t h = terminal.connect();
    ASSERT_GT(h, 0);
    std::atomic<int> written{0};
    std::thread burst([&] {
        std::vector<std::int32_t> tpl(FK_TEMPLATE_VALUES, -7);
        for (int enroll = kFirstNewUser;; ++enroll) {
            if (FK_PutEnrollData(h, enroll, 0, 0, tpl.data(), 0) != FK_OK) return;
            if (FK_SetUserName(h, enroll, "新") != FK_OK) return;
            ++written;
        }
    });
    while (written < 30) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int confirmed = written;
    terminal.emulator().kill();
    burst.join();
    FK_DisConnect(h);

    const QJsonObject state = terminal.emulator().dump();  // throws on a torn file
    const int users = userCount(state);
    EXPECT_GE(users, 400 + confirmed);  // with a delay of 0, each on disk before its confirmation
    EXPECT_LE(users, 400 + written + 1);
    EXPECT_EQ(state[QStringLiteral("logs")].toArray().size(), 3000);
    for (int enroll = kFirstNewUser; enroll < kFirstNewUser + users - 400; ++enroll) {
        const QJsonObject user = userOf(state, enroll);
        ASSERT_FALSE(user.isEmpty()) << "user " << enroll << " missing before a later one";
        EXPECT_EQ(enrollmentOf(state, enroll, 0)[QStringLiteral("template")].toArray().size(),
                  FK_TEMPLATE_VALUES);
    }
    // The emulator serves the file it left.
    terminal.start(Link::Tcp);
    const std::int32_t again = terminal.connect();
    ASSERT_GT(again, 0);
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(again, 2, &value), FK_OK);
    EXPECT_EQ(value, users);
    FK_DisConnect(again);
}

}  // namespace
}  // namespace orvelo::test
