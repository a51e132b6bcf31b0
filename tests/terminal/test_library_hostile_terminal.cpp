// The library against a scripted terminal that answers what a test chooses: damaged, oversized,
// foreign or endless replies must never make it write past a buffer, crash or wait past the
// time-out.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <functional>
#include <limits>
#include <thread>

#include "fkattend.h"
#include "terminal/frame.h"
#include "terminal/messages.h"
#include "terminal/wire.h"

namespace {

using namespace orvelo::terminal;

// Answers Connect and DisConnect with Ok, and every other request with what `answer` sends on the socket.
class ScriptedTerminal {
public:
    using Answer = std::function<void(int fd, const Frame& request)>;

    explicit ScriptedTerminal(Answer answer) : m_answer(std::move(answer)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_listener, 1);
        socklen_t length = sizeof addr;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedTerminal() {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    int port() const { return m_port; }

    static void send(int fd, const Frame& f) {
        const auto bytes = encodeFrame(f);
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    static Frame replyTo(const Frame& request, Bytes payload, Status status = Status::Ok) {
        Frame f = request;
        f.reply = true;
        f.status = static_cast<std::uint16_t>(status);
        f.payload = std::move(payload);
        return f;
    }

private:
    bool waitReadable(int fd) {
        while (!m_stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) return true;
        }
        return false;
    }
    void serve() {
        if (!waitReadable(m_listener)) return;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        FrameDecoder decoder;
        std::vector<std::uint8_t> buffer(65536);
        while (waitReadable(fd)) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            decoder.feed(buffer.data(), static_cast<std::size_t>(n));
            Frame request;
            while (decoder.next(request) == DecodeEvent::Frame) {
                if (request.op == static_cast<std::uint16_t>(Op::Connect) ||
                    request.op == static_cast<std::uint16_t>(Op::Disconnect))
                    send(fd, replyTo(request, {}));
                else
                    m_answer(fd, request);
            }
        }
        ::close(fd);
    }

    Answer m_answer;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::int32_t connectTo(const ScriptedTerminal& terminal) {
    return FK_ConnectNet(1, "127.0.0.1", terminal.port(), 500, 0, 0);
}

TEST(HostileTerminal, OversizedNameIsCutToTheArea) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, encodeName(std::string(255, 'A'))));
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::array<char, 64> area;
    area.fill('#');
    ASSERT_EQ(FK_GetUserName(h, 1, area.data()), FK_OK);
    EXPECT_EQ(std::string(area.data()), std::string(39, 'A'));
    EXPECT_EQ(area[40], '#');
    FK_DisConnect(h);
}

TEST(HostileTerminal, NameThatIsNotUtf8IsRefused) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, encodeName("abc\xE5\xBC")));
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::array<char, 40> area{};
    EXPECT_EQ(FK_GetUserName(h, 1, area.data()), FK_BAD_REPLY);
    EXPECT_EQ(area[0], '\0');
    FK_DisConnect(h);
}

TEST(HostileTerminal, LongestTemplateFillsAt458Values) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        EnrollData data{1, 2, std::vector<std::int32_t>(kMaxTemplateValues, 7)};
        ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, encodeEnrollData(data)));
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::vector<std::int32_t> area(500, -1);
    std::int32_t privilege = 0, password = 0;
    ASSERT_EQ(FK_GetEnrollData(h, 1, 0, &privilege, area.data(), &password), FK_OK);
    EXPECT_EQ(std::count(area.begin(), area.end(), 7), 458);
    EXPECT_EQ(area[458], -1);
    FK_DisConnect(h);
}

TEST(HostileTerminal, MalformedRepliesAreRefused) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        switch (static_cast<Op>(request.op)) {
            case Op::GetStatus:
                ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, {1, 2}));
                break;
            case Op::LogBegin:
                ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, encodeU32(1)));
                break;
            case Op::LogPage:  // more records than were asked for
                ScriptedTerminal::send(
                    fd, ScriptedTerminal::replyTo(request, encodeLogPage({{1, 1, 3.0}, {2, 1, 3.0}})));
                break;
            default:  // as a terminal answers what it does not know (the bulk status read among them)
                ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, {}, Status::UnknownOp));
                break;
        }
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::int32_t value = -9;
    EXPECT_EQ(FK_GetDeviceStatus(h, 1, &value), FK_BAD_REPLY);
    EXPECT_EQ(value, -9);
    ASSERT_EQ(FK_LoadGeneralLogData(h, 0), FK_OK);
    std::int32_t enroll = -9;
    EXPECT_EQ(FK_GetGeneralLogData(h, &enroll, nullptr, nullptr, nullptr), FK_BAD_REPLY);
    EXPECT_EQ(enroll, -9);
    EXPECT_EQ(FK_GetGeneralLogData(h, &enroll, nullptr, nullptr, nullptr), FK_NO);  // the reading ended
    FK_DisConnect(h);
}

// The clock read: a terminal older than the operation says so with UnknownOp, which is a refusal
// (0), and a clock the caller could not use is a damaged reply; neither writes the output.
TEST(HostileTerminal, ClockReadOfATerminalWithoutItOrWithABadClock) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* what;
        Status status;
        Bytes payload;
        std::int32_t expected;
    } cases[] = {
        {"unknown operation", Status::UnknownOp, {}, FK_NO},
        {"refused", Status::Failed, {}, FK_NO},
        {"short payload", Status::Ok, {1, 2, 3}, FK_BAD_REPLY},
        {"not a number", Status::Ok, encodeF64(nan), FK_BAD_REPLY},
        {"before 1900", Status::Ok, encodeF64(-2.0), FK_BAD_REPLY},
        {"after 9999", Status::Ok, encodeF64(3'000'000.0), FK_BAD_REPLY},
    };
    for (const auto& c : cases) {
        ScriptedTerminal terminal([&c](int fd, const Frame& request) {
            ScriptedTerminal::send(fd, ScriptedTerminal::replyTo(request, c.payload, c.status));
        });
        const std::int32_t h = connectTo(terminal);
        ASSERT_GT(h, 0) << c.what;
        double time = -9;
        EXPECT_EQ(FK_GetDeviceTime(h, &time), c.expected) << c.what;
        EXPECT_EQ(time, -9) << c.what;
        FK_DisConnect(h);
    }
}

TEST(HostileTerminal, EndlessNoiseAndForeignRepliesEndInTheTimeOut) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        // Replies to other sequence numbers, then noise, for longer than the caller's time-out.
        Frame foreign = ScriptedTerminal::replyTo(request, encodeI32(5));
        const std::vector<std::uint8_t> noise(4096, 'F');
        for (int i = 0; i < 400; ++i) {
            ++foreign.seq;
            ScriptedTerminal::send(fd, foreign);
            if (::send(fd, noise.data(), noise.size(), MSG_NOSIGNAL) < 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::int32_t value = -9;
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_LINK_ERROR);
    EXPECT_EQ(value, -9);
    FK_DisConnect(h);
}

TEST(HostileTerminal, TerminalThatClosesMidReplyBreaksTheConnection) {
    ScriptedTerminal terminal([](int fd, const Frame& request) {
        const auto bytes = encodeFrame(ScriptedTerminal::replyTo(request, encodeI32(5)));
        ::send(fd, bytes.data(), bytes.size() / 2, MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_RDWR);
    });
    const std::int32_t h = connectTo(terminal);
    ASSERT_GT(h, 0);
    std::int32_t value = -9;
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_LINK_ERROR);
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_LINK_ERROR);
    EXPECT_EQ(value, -9);
    EXPECT_EQ(FK_DisConnect(h), FK_OK);
}

}  // namespace
