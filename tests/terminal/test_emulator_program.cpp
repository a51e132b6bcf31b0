// orvelo-terminal as a program: its command line, its listening line, and its UDP answers to raw
// frames.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>

#include "library_fixture.h"
#include "terminal/frame.h"
#include "terminal/messages.h"

namespace orvelo::test {
namespace {

using namespace orvelo::terminal;

int runEmulator(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(EmulatorProcess::emulatorPath(), arguments);
    process.waitForFinished(60'000);
    if (output) *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(EmulatorProgram, ListeningLineNamesEveryLinkInItsOrder) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    EmulatorProcess::Options options;
    options.udp = true;
    options.usb = true;
    terminal.emulator().start(options);
    const QRegularExpression pattern(
        QStringLiteral("^listening tcp=127\\.0\\.0\\.1:(\\d+) udp=127\\.0\\.0\\.1:(\\d+) pty=- "
                       "usb=(/tmp/fkusb-\\w+/terminal-1\\.sock)$"));
    const auto match = pattern.match(terminal.emulator().listeningLine());
    ASSERT_TRUE(match.hasMatch()) << terminal.emulator().listeningLine().toStdString();
    EXPECT_NE(match.captured(1).toInt(), 0);
    EXPECT_EQ(terminal.emulator().stop(), 0);
    EXPECT_FALSE(QFile::exists(match.captured(3)));  // the socket is removed on exit
}

TEST(EmulatorProgram, CommandLineErrorsExitWithStatus2) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    const QString state = terminal.statePath();
    const QStringList cases[] = {
        {},
        {QStringLiteral("--tcp"), QStringLiteral("0")},
        {QStringLiteral("--state"), state},
        {QStringLiteral("--state"), state, QStringLiteral("--tcp"), QStringLiteral("localhost:1")},
        {QStringLiteral("--state"), state, QStringLiteral("--tcp"), QStringLiteral("70000")},
        {QStringLiteral("--state"), state, QStringLiteral("--fault"), QStringLiteral("explode=1")},
        {QStringLiteral("--state"), state, QStringLiteral("--tcp"), QStringLiteral("0"),
         QStringLiteral("--fault"), QStringLiteral("refuse=SetDeviceTime:1")},
        {QStringLiteral("--state"), state, QStringLiteral("--tcp"), QStringLiteral("0"),
         QStringLiteral("--save-delay-ms"), QStringLiteral("-1")},
        {QStringLiteral("--state"), state, QStringLiteral("--bogus")},
        {QStringLiteral("--state"), terminal.path(QStringLiteral("missing.json")), QStringLiteral("--dump")},
        {QStringLiteral("seed"), QStringLiteral("--users"), QStringLiteral("2")},
    };
    for (const auto& arguments : cases)
        EXPECT_EQ(runEmulator(arguments), 2) << arguments.join(QLatin1Char(' ')).toStdString();
}

TEST(EmulatorProgram, MachineAndPasswordOverridesAreSaved) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    QByteArray output;
    ASSERT_EQ(runEmulator({QStringLiteral("--state"), terminal.statePath(), QStringLiteral("--machine=9"),
                           QStringLiteral("--password"), QStringLiteral("321"), QStringLiteral("--dump")},
                          &output),
              0);
    const QJsonObject dumped = QJsonDocument::fromJson(output).object();
    EXPECT_EQ(dumped[QStringLiteral("machine")].toInt(), 9);
    EXPECT_EQ(terminal.emulator().dump()[QStringLiteral("password")].toInt(), 321);
}

TEST(EmulatorProgram, SeedIsDeterministic) {
    TerminalFixture terminal;
    const QString a = terminal.path(QStringLiteral("a.json"));
    const QString b = terminal.path(QStringLiteral("b.json"));
    const QString c = terminal.path(QStringLiteral("c.json"));
    EmulatorProcess::seed(a, 4, 11, 30, 5);
    EmulatorProcess::seed(b, 4, 11, 30, 5);
    EmulatorProcess::seed(c, 4, 11, 30, 6);
    auto read = [](const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    };
    EXPECT_EQ(read(a), read(b));
    EXPECT_NE(read(a), read(c));
    EXPECT_EQ(runEmulator({QStringLiteral("seed"), QStringLiteral("--users"), QStringLiteral("1"),
                           QStringLiteral("--enrollments"), QStringLiteral("12"), QStringLiteral("--logs"),
                           QStringLiteral("0"), QStringLiteral("--out"), a}),
              2);
}

// A raw UDP client: a repeated request gets the cached reply and is not executed twice; an older
// request gets no answer.
class RawUdp {
public:
    explicit RawUdp(int port) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    ~RawUdp() { ::close(m_fd); }

    void send(Op op, std::uint32_t seq, const Bytes& payload) {
        Frame f;
        f.op = static_cast<std::uint16_t>(op);
        f.machine = 1;
        f.seq = seq;
        f.payload = payload;
        const auto bytes = encodeFrame(f);
        ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    // The status of the next reply, or -1 when none comes within `ms`.
    int reply(std::uint32_t seq, int ms = 2000) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return -1;
        std::vector<std::uint8_t> buffer(kMaxFrameSize);
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        Frame f;
        if (n <= 0 || decodeDatagram(buffer.data(), static_cast<std::size_t>(n), f) != DatagramResult::Frame)
            return -2;
        EXPECT_EQ(f.seq, seq);
        return f.status;
    }

private:
    int m_fd;
};

TEST(EmulatorProgram, RepeatedUdpRequestIsAnsweredFromTheCache) {
    TerminalFixture terminal;
    terminal.write(smallTerminal());
    terminal.start(Link::Udp);
    RawUdp udp(terminal.emulator().udpPort());
    udp.send(Op::Connect, 10, encodeI32(0));
    EXPECT_EQ(udp.reply(10), 0);
    udp.send(Op::DeleteEnroll, 11, encodeEnrollKey({123, 0}));
    EXPECT_EQ(udp.reply(11), 0);
    udp.send(Op::DeleteEnroll, 11, encodeEnrollKey({123, 0}));
    EXPECT_EQ(udp.reply(11), 0);  // executed again, it would have answered Failed
    udp.send(Op::Connect, 10, encodeI32(0));
    EXPECT_EQ(udp.reply(10, 300), -1);  // older than the last request: ignored
    udp.send(Op::DeleteEnroll, 12, encodeEnrollKey({123, 0}));
    EXPECT_EQ(udp.reply(12), static_cast<int>(Status::Failed));
    udp.send(Op::Disconnect, 13, {});
    EXPECT_EQ(udp.reply(13), 0);
    EXPECT_TRUE(enrollmentOf(terminal.emulator().dump(), 123, 0).isEmpty());
    EXPECT_FALSE(enrollmentOf(terminal.emulator().dump(), 123, 1).isEmpty());
}

}  // namespace
}  // namespace orvelo::test
