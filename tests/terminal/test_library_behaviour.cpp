// The library's documented behaviours, mostly over TCP, against the real emulator.
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <array>
#include <cstring>

#include "library_fixture.h"
#include "terminal/text_utils.h"

namespace orvelo::test {
namespace {

// A loopback port that nothing listens on: bound once to learn a free number, then released.
int closedPort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t length = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class LibraryTest : public ::testing::Test {
protected:
    std::int32_t startTcp(QJsonObject state = smallTerminal(), EmulatorProcess::Options options = {}) {
        terminal.write(state);
        terminal.start(Link::Tcp, options);
        const std::int32_t h = terminal.connect(1, options.password.value_or(0));
        EXPECT_GT(h, 0);
        return h;
    }
    void writeFile(const QString& path, const QByteArray& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    TerminalFixture terminal;
};

TEST_F(LibraryTest, CommunicationPasswordIsCheckedAtConnect) {
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp, withPassword(4711));
    EXPECT_EQ(terminal.connect(1, 0), 0);
    EXPECT_EQ(terminal.connect(1, 4712), 0);
    const std::int32_t h = terminal.connect(1, 4711);
    EXPECT_GT(h, 0);
    FK_DisConnect(h);
    EXPECT_EQ(terminal.emulator().dump()[QStringLiteral("password")].toInt(), 4711);
}

TEST_F(LibraryTest, NothingListeningFailsTheConnect) {
    EXPECT_EQ(FK_ConnectNet(1, "127.0.0.1", closedPort(SOCK_STREAM), 1000, 0, 0), 0);
    EXPECT_EQ(FK_ConnectNet(1, "127.0.0.1", closedPort(SOCK_DGRAM), 1000, 1, 0), 0);
    EXPECT_EQ(FK_ConnectNet(1, nullptr, 4370, 1000, 0, 0), 0);
    EXPECT_EQ(FK_ConnectNet(1, "not an address", 4370, 1000, 0, 0), 0);
    EXPECT_EQ(FK_ConnectNet(1, "127.0.0.1", 0, 1000, 0, 0), 0);
    EXPECT_EQ(FK_ConnectNet(1, "127.0.0.1", 70000, 1000, 0, 0), 0);
    ::setenv("FK_USB_DIR", terminal.path(QStringLiteral("usb")).toLocal8Bit().constData(), 1);
    EXPECT_EQ(FK_ConnectUSB(1), 0);
    ::setenv("FK_COM9", "/nonexistent/tty", 1);
    EXPECT_EQ(FK_ConnectComm(1, 9, 9600, nullptr, 0), 0);
    EXPECT_EQ(FK_ConnectComm(1, 0, 9600, nullptr, 0), 0);
}

// A serial line on which no terminal answers: the connect gives up after the serial time-out.
TEST_F(LibraryTest, SilentSerialLineFailsWithinTheTimeOut) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ::setenv("FK_COM8", ::ptsname(master), 1);
    EXPECT_EQ(FK_ConnectComm(1, 8, 9600, nullptr, 0), 0);
    ::close(master);
}

TEST_F(LibraryTest, BaudRateTheLineCannotTakeFailsTheConnect) {
    terminal.write(smallTerminal());
    terminal.start(Link::Serial);
    EXPECT_EQ(FK_ConnectComm(1, kTestComPort, 12345, nullptr, 0), 0);
    EXPECT_EQ(FK_ConnectComm(1, kTestComPort, 0, nullptr, 0), 0);
    const std::int32_t h = FK_ConnectComm(1, kTestComPort, 9600, nullptr, 0);
    EXPECT_GT(h, 0);
    FK_DisConnect(h);
}

TEST_F(LibraryTest, ReplyLaterThanTheTimeOutFailsTheCall) {
    terminal.write(smallTerminal());
    terminal.start(Link::Tcp, withFaults({QStringLiteral("delay-ms=800")}));
    EXPECT_EQ(terminal.connect(1, 0, 200), 0);
    const std::int32_t h = terminal.connect(1, 0, 3000);
    ASSERT_GT(h, 0);
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_OK);
    EXPECT_EQ(value, 2);
    FK_DisConnect(h);
}

TEST_F(LibraryTest, RefusedOperationsAnswerFailure) {
    const std::int32_t h = startTcp(
        smallTerminal(),
        withFaults({QStringLiteral("refuse=GetDeviceStatus:1"), QStringLiteral("refuse=FK_ReadAllUserID"),
                    QStringLiteral("refuse=ModifyPrivilege:123"), QStringLiteral("refuse=GetDeviceTime")}));
    EXPECT_EQ(FK_ModifyPrivilege(h, 123, 1, 1), FK_NO);    // refused by its enroll number
    EXPECT_EQ(FK_ModifyPrivilege(h, 456, 9, 123), FK_OK);  // 123 as the privilege is not
    std::int32_t value = -7;
    EXPECT_EQ(FK_GetDeviceStatus(h, 1, &value), FK_NO);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_OK);
    EXPECT_EQ(FK_ReadAllUserID(1), FK_NO);
    EXPECT_EQ(FK_GetAllUserID(h, &value, &value, &value, &value), FK_NO);
    double time = -7;
    EXPECT_EQ(FK_GetDeviceTime(h, &time), FK_NO);
    EXPECT_EQ(time, -7);
    FK_DisConnect(h);
}

TEST_F(LibraryTest, NamesTravelAsUtf8AndFitTheCallersArea) {
    const std::int32_t h = startTcp();
    const std::string thirteen = "一二三四五六七八九十百千万";  // 13 characters, 39 bytes
    EXPECT_EQ(FK_SetUserName(h, 123, thirteen.c_str()), FK_OK);
    std::array<char, 64> area;
    area.fill('#');
    ASSERT_EQ(FK_GetUserName(h, 123, area.data()), FK_OK);
    EXPECT_EQ(std::string(area.data()), thirteen);
    EXPECT_EQ(area[40], '#');

    struct Case {
        std::string name;
        const char* why;
    };
    const Case refused[] = {
        {thirteen + "亿", "14 characters, 42 bytes"},
        {"a" + thirteen, "40 bytes"},
        {"\xE5\xBC", "not UTF-8"},
        {"tab\there", "a control character"},
    };
    for (const auto& c : refused) EXPECT_NE(FK_SetUserName(h, 123, c.name.c_str()), FK_OK) << c.why;
    ASSERT_EQ(FK_GetUserName(h, 123, area.data()), FK_OK);
    EXPECT_EQ(std::string(area.data()), thirteen);      // unchanged by the refusals
    EXPECT_EQ(FK_SetUserName(h, 456, nullptr), FK_OK);  // an empty name
    EXPECT_EQ(FK_GetUserName(h, 456, area.data()), FK_NO);
    EXPECT_EQ(FK_GetUserName(h, 123, nullptr), FK_BAD_ARG);
    FK_DisConnect(h);
    EXPECT_EQ(userOf(terminal.emulator().dump(), 123)[QStringLiteral("name")].toString().toStdString(),
              thirteen);
}

// A name longer than the area (put into the state file by hand) is cut at a character boundary.
TEST_F(LibraryTest, LongStoredNameIsCutWithoutSplittingACharacter) {
    QJsonObject state = smallTerminal();
    QJsonArray users = state[QStringLiteral("users")].toArray();
    QJsonObject user = users[0].toObject();
    user[QStringLiteral("name")] = QStringLiteral("a一二三四五六七八九十百千万亿");  // 43 bytes
    users[0] = user;
    state[QStringLiteral("users")] = users;
    const std::int32_t h = startTcp(state);
    std::array<char, 48> area;
    area.fill('#');
    ASSERT_EQ(FK_GetUserName(h, 123, area.data()), FK_OK);
    EXPECT_EQ(std::string(area.data()), "a一二三四五六七八九十百千");  // 37 bytes and the zero
    EXPECT_TRUE(std::all_of(area.begin() + 38, area.end(), [](char c) { return c == '#'; }));
    FK_DisConnect(h);
}

// Callers give 458 or 459 values; nothing is written past the 458th, and nothing is zero-filled.
TEST_F(LibraryTest, TemplateBufferGetsAtMost458Values) {
    QJsonObject state = smallTerminal();
    QJsonArray users = state[QStringLiteral("users")].toArray();
    QJsonObject user = users[0].toObject();
    QJsonArray enrollments = user[QStringLiteral("enrollments")].toArray();
    QJsonArray longTemplate;
    for (int i = 0; i < 600; ++i) longTemplate.append(i + 1);
    enrollments.append(
        QJsonObject{{QStringLiteral("backup"), 5}, {QStringLiteral("template"), longTemplate}});
    user[QStringLiteral("enrollments")] = enrollments;
    users[0] = user;
    state[QStringLiteral("users")] = users;
    const std::int32_t h = startTcp(state);

    for (std::size_t size : {458u, 459u}) {
        std::vector<std::int32_t> area(size + 16, -1);
        std::int32_t privilege = 0, password = 0;
        ASSERT_EQ(FK_GetEnrollData(h, 123, 5, &privilege, area.data(), &password), FK_OK);
        for (std::size_t i = 0; i < 458; ++i) ASSERT_EQ(area[i], static_cast<std::int32_t>(i) + 1) << i;
        for (std::size_t i = 458; i < area.size(); ++i) ASSERT_EQ(area[i], -1) << i;
    }
    std::vector<std::int32_t> area(459, -1);
    std::int32_t privilege = 0, password = 0;
    ASSERT_EQ(FK_GetEnrollData(h, 123, 0, &privilege, area.data(), &password), FK_OK);
    EXPECT_EQ(area[2], 0);
    EXPECT_EQ(area[3], -1);  // a three-value template writes three values
    EXPECT_EQ(FK_GetEnrollData(h, 123, 5, nullptr, nullptr, nullptr), FK_OK);

    // A 459-value buffer handed to FK_PutEnrollData sends its first 458 values.
    std::vector<std::int32_t> put(459, 9);
    put[458] = 12345;
    ASSERT_EQ(FK_PutEnrollData(h, 123, 6, 0, put.data(), 0), FK_OK);
    FK_DisConnect(h);
    const QJsonArray stored =
        enrollmentOf(terminal.emulator().dump(), 123, 6)[QStringLiteral("template")].toArray();
    EXPECT_EQ(stored.size(), 458);
    EXPECT_FALSE(stored.contains(12345));
}

TEST_F(LibraryTest, HandlesAndMachineNumbers) {
    const std::int32_t h = startTcp();
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(h + 1000, 2, &value), FK_BAD_HANDLE);
    EXPECT_EQ(FK_GetDeviceStatus(0, 2, &value), FK_BAD_HANDLE);
    EXPECT_EQ(FK_ReadAllUserID(5), FK_BAD_HANDLE);  // no connection to machine 5
    EXPECT_EQ(FK_ClearKeeperData(5), FK_BAD_HANDLE);
    EXPECT_EQ(FK_LoadGeneralLogData(h + 1000, 1), FK_BAD_HANDLE);

    // A second terminal, machine 2: the machine-number calls reach the connection to it.
    TerminalFixture second;
    QJsonObject state = smallTerminal();
    state[QStringLiteral("machine")] = 2;
    second.write(state);
    second.start(Link::Tcp);
    const std::int32_t h2 = second.connect(2);
    ASSERT_GT(h2, 0);
    EXPECT_NE(h2, h);
    EXPECT_EQ(FK_ClearKeeperData(2), FK_OK);
    EXPECT_EQ(FK_GetDeviceStatus(h2, 2, &value), FK_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_OK);
    EXPECT_EQ(value, 2);  // machine 1 untouched
    FK_DisConnect(h2);
    FK_DisConnect(h);
}

TEST_F(LibraryTest, UsbDiskFileNeedsNoConnectionAndTakesAnyHandle) {
    terminal.write(smallTerminal());
    const QString file = terminal.path(QStringLiteral("usb.txt"));
    EmulatorProcess::exportUsb(terminal.statePath(), file);
    EXPECT_EQ(collectedCount(terminal.emulator().dump()), 1);  // exporting marks nothing

    terminal.start(Link::Tcp);
    const std::int32_t open = terminal.connect();
    ASSERT_GT(open, 0);
    const std::int32_t closed = terminal.connect();
    ASSERT_GT(closed, 0);
    FK_DisConnect(closed);
    for (std::int32_t handle : {0, closed, open, -5}) {
        ASSERT_EQ(FK_USBLoadGeneralLogDataFromFile(handle, file.toLocal8Bit().constData()), FK_OK) << handle;
        std::vector<std::pair<std::int32_t, std::string>> rows;
        std::int32_t enroll = 0, mode = 0, value = 0;
        double time = 0;
        while (FK_GetGeneralLogData(handle, &enroll, &mode, &value, &time) == FK_OK)
            rows.emplace_back(enroll * 100 + mode, terminal::formatDateTimeText(time));
        ASSERT_EQ(rows.size(), 3u) << handle;
        EXPECT_EQ(rows[0], std::make_pair(12301, std::string("2005-03-07 08:15:40")));
        EXPECT_EQ(rows[2], std::make_pair(45603, std::string("2005-03-08 08:01:00")));
    }
    // The open connection still works after its handle read a file.
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(open, 8, &value), FK_OK);
    FK_DisConnect(open);
}

TEST_F(LibraryTest, AnythingButAUsbDiskLogFileIsRefused) {
    const QString dir = terminal.path(QString());
    const QString notLog = terminal.path(QStringLiteral("notes.txt"));
    writeFile(notLog, "hello\nworld\n");
    const QString truncated = terminal.path(QStringLiteral("cut.txt"));
    writeFile(truncated, "ORVELO-USB-LOG 1 machine=1 records=2\n1\t1\t2005-03-07 08:15:40\n");
    const QString binary = terminal.path(QStringLiteral("bin.txt"));
    writeFile(binary,
              QByteArray("ORVELO-USB-LOG 1 machine=1 records=1\n\0\0\0\t1\t2005-03-07 08:15:40\n", 63));
    const QString fifo = terminal.path(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString missing = terminal.path(QStringLiteral("missing.txt"));

    for (const QString& path : {notLog, truncated, binary, fifo, missing, dir}) {
        EXPECT_NE(FK_USBLoadGeneralLogDataFromFile(0, path.toLocal8Bit().constData()), FK_OK)
            << path.toStdString();
        std::int32_t enroll = 0;
        EXPECT_NE(FK_GetGeneralLogData(0, &enroll, nullptr, nullptr, nullptr), FK_OK);
    }
    EXPECT_NE(FK_USBLoadGeneralLogDataFromFile(0, nullptr), FK_OK);
    EXPECT_NE(FK_USBLoadGeneralLogDataFromFile(0, ""), FK_OK);
}

TEST_F(LibraryTest, SigtermEndsSessionsAndExitsCleanly) {
    const std::int32_t h = startTcp();
    ASSERT_EQ(FK_EnableDevice(h, 0), FK_OK);
    EXPECT_EQ(terminal.emulator().stop(), 0);
    EXPECT_TRUE(terminal.emulator().dump()[QStringLiteral("enabled")].toBool());
    std::int32_t value = 0;
    EXPECT_EQ(FK_GetDeviceStatus(h, 2, &value), FK_LINK_ERROR);
    FK_DisConnect(h);
}

TEST_F(LibraryTest, EnabledAgainOnlyWhenTheDisablingSessionEnds) {
    const std::int32_t a = startTcp();
    const std::int32_t b = terminal.connect();
    ASSERT_GT(b, 0);
    ASSERT_EQ(FK_EnableDevice(a, 0), FK_OK);
    FK_DisConnect(b);
    EXPECT_FALSE(terminal.emulator().dump()[QStringLiteral("enabled")].toBool());
    FK_DisConnect(a);
    EXPECT_TRUE(terminal.emulator().dump()[QStringLiteral("enabled")].toBool());
}

}  // namespace
}  // namespace orvelo::test
