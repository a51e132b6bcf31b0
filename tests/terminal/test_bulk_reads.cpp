// The bulk reads give the answers of the single requests: the same walks run against the same
// terminal once one request per call (FK_ONE_BY_ONE) and once in bulk, and every result, template
// buffer, privilege, password and name area is compared. Also the user record's decoder.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "library_fixture.h"
#include "one_by_one_reads.h"
#include "terminal/frame.h"
#include "terminal/messages.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using terminal::Bytes;
using terminal::Op;

// Users with and without a name, a name longer than the caller's area, a template longer than
// the library delivers, every fingerprint of one user, cards and passwords, and enroll numbers
// that are not there (4, 6).
QJsonObject variedTerminal() {
    QJsonArray longTemplate;
    for (int i = 0; i < 500; ++i) longTemplate.append(i * 7 - 1000);
    QJsonArray fullTemplate;
    for (int i = 0; i < 458; ++i) fullTemplate.append(i);
    QJsonArray everyFinger;
    for (int b = 0; b <= 8; ++b)
        everyFinger.append(QJsonObject{{u"backup"_s, b},
                                       {u"privilege"_s, b % 2},
                                       {u"password"_s, 0},
                                       {u"template"_s, b == 2 ? longTemplate : QJsonArray{b, -b, 3}}});
    QJsonObject state = parseJson(R"({"machine": 1, "password": 0, "management_log": {"new": 1, "all": 4},
      "users": [
        {"enroll": 1, "name": "张三", "enrollments": [
            {"backup": 0, "privilege": 1, "password": 0, "template": [12, -3, 0]},
            {"backup": 9, "privilege": 0, "password": 5001, "template": []}]},
        {"enroll": 2, "enrollments": [{"backup": 10, "privilege": 0, "password": 1234, "template": []}]},
        {"enroll": 5, "name": "Li Si", "enrollments": [{"backup": 9, "privilege": 2, "password": 77, "template": []}]},
        {"enroll": 7, "name": "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "enrollments": [{"backup": 1, "privilege": 0, "password": 0, "template": []}]}],
      "logs": [{"enroll": 1, "mode": 1, "time": "2005-03-07 08:15:40", "collected": false}]})");
    QJsonArray users = state[QStringLiteral("users")].toArray();
    users.append(QJsonObject{
        {u"enroll"_s, 3}, {u"name"_s, u"欧阳一二三四五六七八九十"_s}, {u"enrollments"_s, everyFinger}});
    QJsonObject full = users[0].toObject();
    QJsonArray fullEnrollments = full[QStringLiteral("enrollments")].toArray();
    fullEnrollments.append(QJsonObject{
        {u"backup"_s, 1}, {u"privilege"_s, 0}, {u"password"_s, 0}, {u"template"_s, fullTemplate}});
    full[QStringLiteral("enrollments")] = fullEnrollments;
    users[0] = full;
    state[QStringLiteral("users")] = users;
    return state;
}

// A client of the terminal that the library knows nothing of (another program, another machine):
// its changes reach the terminal behind the library's back.
class OtherClient {
public:
    explicit OtherClient(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                      request(Op::Connect, terminal::encodeI32(0)) == terminal::Status::Ok;
    }
    ~OtherClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }

    terminal::Status request(Op op, const Bytes& payload) {
        terminal::Frame f;
        f.op = static_cast<std::uint16_t>(op);
        f.machine = 1;
        f.seq = ++m_seq;
        f.payload = payload;
        const auto bytes = terminal::encodeFrame(f);
        if (::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
            return terminal::Status::Failed;
        std::array<std::uint8_t, 4096> buffer{};
        terminal::Frame reply;
        for (;;) {
            if (m_decoder.next(reply) == terminal::DecodeEvent::Frame && reply.seq == f.seq)
                return static_cast<terminal::Status>(reply.status);
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) return terminal::Status::Failed;
            m_decoder.feed(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    bool setName(std::int32_t enroll, const std::string& name) {
        return request(Op::SetName, terminal::encodeSetName({enroll, name})) == terminal::Status::Ok;
    }
    bool put(std::int32_t enroll, std::int32_t backup, std::int32_t password,
             std::vector<std::int32_t> values) {
        return request(Op::PutEnroll,
                       terminal::encodePutEnroll({enroll, backup, {0, password, std::move(values)}})) ==
               terminal::Status::Ok;
    }
    bool remove(std::int32_t enroll, std::int32_t backup) {
        return request(Op::DeleteEnroll, terminal::encodeEnrollKey({enroll, backup})) == terminal::Status::Ok;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
    std::uint32_t m_seq = 100;
    terminal::FrameDecoder m_decoder;
};

constexpr std::int32_t kSentinel = 0x5A5A5A5A;

// Every call of a walk and what it gave, one line each.
class Transcript {
public:
    explicit Transcript(std::int32_t handle) : m_handle(handle) {}

    void enroll(std::int32_t enroll, std::int32_t backup) {
        std::int32_t privilege = kSentinel, password = kSentinel;
        std::array<std::int32_t, 459> area;
        area.fill(kSentinel);
        const std::int32_t r = FK_GetEnrollData(m_handle, enroll, backup, &privilege, area.data(), &password);
        std::ostringstream line;
        line << "GetEnrollData(" << enroll << "," << backup << ")=" << r << " privilege=" << privilege
             << " password=" << password << " template=";
        for (std::int32_t v : area) line << v << ' ';
        add(line.str(), r);
    }
    void name(std::int32_t enroll) {
        std::array<char, FK_NAME_BYTES + 8> area;
        area.fill('#');
        const std::int32_t r = FK_GetUserName(m_handle, enroll, area.data());
        add("GetUserName(" + std::to_string(enroll) + ")=" + std::to_string(r) +
                " area=" + std::string(area.data(), area.size()),
            r);
    }
    void user(std::int32_t enroll) {
        name(enroll);
        for (std::int32_t b = FK_BACKUP_FIRST; b <= FK_BACKUP_LAST; ++b) this->enroll(enroll, b);
    }
    void status(std::int32_t code) {
        std::int32_t value = kSentinel;
        const std::int32_t r = FK_GetDeviceStatus(m_handle, code, &value);
        add("GetDeviceStatus(" + std::to_string(code) + ")=" + std::to_string(r) +
                " value=" + std::to_string(value),
            r);
    }
    // The download of every user as the client walks it: each listed entry's name and backups.
    void walkList() {
        add("ReadAllUserID=" + std::to_string(FK_ReadAllUserID(1)), FK_NO);
        std::int32_t enroll = 0, backup = 0, privilege = 0, value = 0, r;
        while ((r = FK_GetAllUserID(m_handle, &enroll, &backup, &privilege, &value)) == FK_OK) {
            add("entry " + std::to_string(enroll) + "," + std::to_string(backup) + "," +
                    std::to_string(privilege),
                r);
            user(enroll);
        }
        add("GetAllUserID=" + std::to_string(r), r);
    }
    void note(const std::string& what, std::int32_t r) { add(what + "=" + std::to_string(r), r); }

    const std::vector<std::string>& lines() const { return m_lines; }
    int successes() const { return m_successes; }

private:
    void add(std::string line, std::int32_t r) {
        m_lines.push_back(std::move(line));
        if (r == FK_OK) ++m_successes;
    }

    std::int32_t m_handle;
    std::vector<std::string> m_lines;
    int m_successes = 0;
};

enum class Reads { OneByOne, Bulk };

struct Case {
    const char* name;
    QStringList faults;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class BulkReadsTest : public ::testing::TestWithParam<std::tuple<Link, Case>> {
protected:
    // The scenario on a fresh terminal; the same calls whichever the reads.
    Transcript run(Reads reads) {
        TerminalFixture terminal;
        terminal.write(variedTerminal());
        EmulatorProcess::Options options;
        options.faults = std::get<1>(GetParam()).faults;
        const Link link = std::get<0>(GetParam());
        options.tcp = true;  // the other client's way in
        options.udp = link == Link::Udp;
        options.usb = link == Link::Usb;
        terminal.emulator().start(options);
        std::optional<OneByOneReads> oneByOne;
        if (reads == Reads::OneByOne) oneByOne.emplace();
        const std::int32_t h = link == Link::Usb
                                   ? FK_ConnectUSB(1)
                                   : FK_ConnectNet(1, "127.0.0.1",
                                                   link == Link::Udp ? terminal.emulator().udpPort()
                                                                     : terminal.emulator().tcpPort(),
                                                   3000, link == Link::Udp ? 1 : 0, 0);
        Transcript t(h);
        if (h <= 0) {
            ADD_FAILURE() << "no connection";
            return t;
        }
        OtherClient other(terminal.emulator().tcpPort());
        EXPECT_TRUE(other.connected());

        // The status report, codes outside 1 to 9 included.
        for (std::int32_t code = 0; code <= 10; ++code) t.status(code);
        // The download of all users, and of users that are not there.
        t.walkList();
        t.user(4);
        t.user(6);

        // Changes through this connection are read back at once, in the user being read.
        t.user(1);
        std::array<std::int32_t, FK_TEMPLATE_VALUES> values;
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int32_t>(i) + 40;
        t.note("PutEnrollData(1,2)", FK_PutEnrollData(h, 1, 2, 3, values.data(), 0));
        t.enroll(1, 2);
        t.note("SetUserName(1)", FK_SetUserName(h, 1, "王五"));
        t.name(1);
        t.note("DeleteEnrollData(1,9)", FK_DeleteEnrollData(h, 1, 9));
        t.enroll(1, 9);
        t.note("ModifyPrivilege(1,0)", FK_ModifyPrivilege(h, 1, 0, 0));
        t.enroll(1, 0);
        t.status(FK_STATUS_ADMINS);
        t.status(FK_STATUS_CARDS);
        t.note("DeleteEnrollData(2,10)", FK_DeleteEnrollData(h, 2, 10));  // its last: the user goes
        t.user(2);
        t.status(FK_STATUS_USERS);
        t.note("PutEnrollData(6,10)", FK_PutEnrollData(h, 6, 10, 0, nullptr, 4321));  // a new user
        t.user(6);

        // The list changed by another client while this one walks it: a listed user deleted, a
        // name and an enrollment changed, a user added, before the walk reaches them.
        t.note("ReadAllUserID", FK_ReadAllUserID(1));
        std::int32_t enroll = 0, backup = 0, privilege = 0, value = 0;
        t.note("first entry", FK_GetAllUserID(h, &enroll, &backup, &privilege, &value));
        t.user(enroll);
        EXPECT_TRUE(other.remove(7, 1));
        EXPECT_TRUE(other.setName(5, "赵六"));
        EXPECT_TRUE(other.put(3, 4, 0, {9, 9, 9}));
        EXPECT_TRUE(other.put(8, 9, 8008, {}));
        while (FK_GetAllUserID(h, &enroll, &backup, &privilege, &value) == FK_OK) {
            t.note("entry " + std::to_string(enroll) + "," + std::to_string(backup), FK_OK);
            t.user(enroll);
        }
        t.user(8);
        // A user read before, changed by the other client since, and read again after another.
        EXPECT_TRUE(other.setName(3, "欧阳"));
        EXPECT_TRUE(other.remove(3, 0));
        t.user(3);
        for (std::int32_t code = 1; code <= 9; ++code) t.status(code);

        // Clearing drops everything this connection had read.
        t.user(5);
        t.note("ClearKeeperData", FK_ClearKeeperData(1));
        t.user(5);
        t.status(FK_STATUS_USERS);
        t.walkList();
        EXPECT_EQ(FK_DisConnect(h), FK_OK);
        return t;
    }
};

TEST_P(BulkReadsTest, BulkAnswersEqualTheSingleRequestsAnswers) {
    const Transcript single = run(Reads::OneByOne);
    const Transcript bulk = run(Reads::Bulk);
    ASSERT_EQ(single.lines().size(), bulk.lines().size());
    for (std::size_t i = 0; i < single.lines().size(); ++i)
        EXPECT_EQ(bulk.lines()[i], single.lines()[i]) << "call " << i;

    // The walk read real data, not failures that would compare equal too.
    EXPECT_GT(bulk.successes(), 100);
    const auto has = [&](const std::string& text) {
        return std::any_of(bulk.lines().begin(), bulk.lines().end(),
                           [&](const std::string& line) { return line.rfind(text, 0) == 0; });
    };
    EXPECT_TRUE(has("GetUserName(1)=1 area=张三"));
    EXPECT_TRUE(has("GetUserName(1)=1 area=王五"));
    // Cut to the 39 bytes the area holds, and ended there.
    EXPECT_TRUE(
        has(std::string("GetUserName(7)=1 area=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklm") + '\0' + '#'));
    EXPECT_TRUE(has("GetEnrollData(1,9)=1 privilege=0 password=5001"));
    EXPECT_TRUE(has("GetEnrollData(1,9)=0"));
    EXPECT_TRUE(has("GetEnrollData(8,9)=1 privilege=0 password=8008"));
    EXPECT_TRUE(has("GetEnrollData(2,10)=1 privilege=0 password=1234"));
    EXPECT_TRUE(has("GetUserName(2)=0"));
    if (std::get<1>(GetParam()).faults.isEmpty()) {
        EXPECT_TRUE(has("GetUserName(5)=1 area=赵六"));
        EXPECT_TRUE(has(std::string("GetUserName(3)=1 area=欧阳") + '\0'));
        EXPECT_TRUE(has("GetEnrollData(3,4)=1 privilege=0 password=0 template=9 9 9 1515870810 "));
        EXPECT_TRUE(has("GetDeviceStatus(1)=1"));
    }
}

const Case kCases[] = {
    {"Whole", {}},
    // A terminal that refuses the bulk reads: the library asks one by one.
    {"BulkRefused", {QStringLiteral("refuse=GetUserRecord"), QStringLiteral("refuse=GetAllDeviceStatus")}},
    // Single reads refused for some users and one status code: the bulk reads are refused for
    // them, and the answers stay those refusals.
    {"SingleReadsRefused",
     {QStringLiteral("refuse=GetEnrollData:3"), QStringLiteral("refuse=GetUserName:5"),
      QStringLiteral("refuse=GetDeviceStatus:1")}},
};

INSTANTIATE_TEST_SUITE_P(Walks, BulkReadsTest,
                         ::testing::Combine(::testing::Values(Link::Tcp, Link::Udp, Link::Usb),
                                            ::testing::ValuesIn(kCases)),
                         [](const auto& info) {
                             return std::string(linkName(std::get<0>(info.param))) +
                                    std::get<1>(info.param).name;
                         });

TEST(UserRecordCodec, DecodesOnlyWhatItEncodes) {
    terminal::UserRecord record;
    record.name = "张三";
    record.enrollments.push_back({0, {1, 0, std::vector<std::int32_t>(458, 5)}});
    record.enrollments.push_back({9, {0, 5001, {}}});
    record.enrollments.push_back({10, {0, 1234, {}}});
    const Bytes encoded = terminal::encodeUserRecord(record);
    ASSERT_EQ(terminal::decodeUserRecord(encoded), record);

    const auto encodeWith = [&](auto change) {
        terminal::UserRecord r = record;
        change(r);
        return terminal::encodeUserRecord(r);
    };
    const struct {
        const char* what;
        Bytes payload;
    } refused[] = {
        {"short", Bytes(encoded.begin(), encoded.end() - 1)},
        {"trailing byte",
         [&] {
             Bytes b = encoded;
             b.push_back(0);
             return b;
         }()},
        {"backups out of order", encodeWith([](auto& r) { std::swap(r.enrollments[0], r.enrollments[1]); })},
        {"a backup twice", encodeWith([](auto& r) { r.enrollments[2].backup = 9; })},
        {"backup 11", encodeWith([](auto& r) { r.enrollments[2].backup = 11; })},
        {"negative backup", encodeWith([](auto& r) { r.enrollments[0].backup = -1; })},
        {"459 template values",
         encodeWith([](auto& r) { r.enrollments[0].data.templateValues.push_back(1); })},
        {"12 enrollments", encodeWith([](auto& r) {
             r.enrollments.clear();
             for (int b = 0; b < 12; ++b) r.enrollments.push_back({b, {}});
         })},
    };
    for (const auto& c : refused) EXPECT_FALSE(terminal::decodeUserRecord(c.payload)) << c.what;

    const std::vector<std::int32_t> nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(terminal::decodeAllStatus(terminal::encodeAllStatus(nine)), nine);
    EXPECT_FALSE(terminal::decodeAllStatus(terminal::encodeAllStatus({1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_FALSE(terminal::decodeAllStatus(terminal::encodeAllStatus({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})));
}

}  // namespace
}  // namespace orvelo::test
