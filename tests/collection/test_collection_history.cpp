// The last-collection state file: the terminal's key, the file's text, the atomic and serialised
// update, a damaged file, and what the collection command notes in it.
#include <QDir>
#include <QFile>
#include <thread>
#include <vector>

#include "collection/collection_history.h"
#include "core/errors.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;
using Result = CommandOutcome::Result;

ConnectionPanelState tcp(const QString& machine, const QString& ip, const QString& port) {
    ConnectionPanelState state;
    state.chooseTcpIp();
    state.machineNo = machine;
    state.ipAddress = ip;
    state.netPort = port;
    return state;
}

ConnectionPanelState serial(const QString& machine, const QString& com) {
    ConnectionPanelState state;
    state.chooseSerial();
    state.machineNo = machine;
    state.comPort = com;
    return state;
}

ConnectionPanelState usb(const QString& machine) {
    ConnectionPanelState state;
    state.chooseUsb();
    state.machineNo = machine;
    return state;
}

TEST(TerminalKey, DescribesTheLinkTheAddressAndTheMachine) {
    struct Case {
        const char* what;
        ConnectionPanelState panel;
        QString key;
    };
    ConnectionPanelState udp = tcp(u"1"_s, u"10.0.0.7"_s, u"5005"_s);
    udp.udpTicked = true;
    udp.timeOut = u"900"_s;
    udp.netPassword = u"77"_s;
    ConnectionPanelState usbWithJunk = usb(u"4"_s);
    usbWithJunk.ipAddress = u"junk"_s;
    usbWithJunk.netPort = u"x?"_s;
    usbWithJunk.comPort = u"COM9"_s;
    ConnectionPanelState bothChecked = tcp(u"1"_s, u"10.0.0.7"_s, u"5005"_s);
    bothChecked.rs232Checked = true;  // ConnectDevice tests the serial button first
    ConnectionPanelState otherBaud = serial(u"2"_s, u"COM3"_s);
    otherBaud.baudRate = u"9600"_s;
    const std::vector<Case> cases = {
        {"tcp", tcp(u"1"_s, u"192.168.1.201"_s, u"5005"_s), u"tcp 192.168.1.201:5005 machine 1"_s},
        {"numbers as the panel reads them", tcp(u" 01"_s, u" Host.Example "_s, u"$138D"_s),
         u"tcp host.example:5005 machine 1"_s},
        {"udp, time-out and password do not matter", udp, u"tcp 10.0.0.7:5005 machine 1"_s},
        {"serial", serial(u"2"_s, u"COM3"_s), u"serial COM3 machine 2"_s},
        {"serial, baud does not matter", otherBaud, u"serial COM3 machine 2"_s},
        {"serial by position", serial(u"2"_s, u"com10"_s), u"serial COM10 machine 2"_s},
        {"serial cut at six", serial(u"2"_s, u"COM1234"_s), u"serial COM123 machine 2"_s},
        {"serial without a number", serial(u"2"_s, u" com "_s), u"serial COM machine 2"_s},
        {"usb ignores the other fields", usbWithJunk, u"usb machine 4"_s},
        {"serial wins over tcp", bothChecked, u"serial COM1 machine 1"_s},
        {"a machine that does not convert", usb(u" a7 "_s), u"usb machine a7"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(terminalKey(c.panel), c.key);
    }
}

TEST(CollectionHistoryText, RoundTripsEveryField) {
    const CollectionHistory history = {
        {u"tcp 10.0.0.7:5005 machine 1"_s,
         LastCollection{u"2026-12-10 02:30:00"_s, u"orveloctl"_s, Result::Incomplete, 3072, 3000, 70, 2}},
        {u"usb machine 4"_s,
         LastCollection{u"2026-12-09 17:05:09"_s, u"window"_s, Result::NotReachable, 0, 0, 0, 0}},
        {u"serial COM3 machine 2"_s,
         LastCollection{u"2026-12-08 08:00:00"_s, u"window"_s, Result::Error, 1, 0, 1, 0}},
        {u"tcp 10.0.0.8:5005 machine 1"_s,
         LastCollection{u"2026-12-07 08:00:00"_s, u"orveloctl"_s, Result::Done, 5, 5, 0, 0}},
    };
    const std::optional<CollectionHistory> back = parseCollectionHistory(collectionHistoryJson(history));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, history);
    for (const auto result : {Result::Done, Result::Incomplete, Result::NotReachable, Result::Error})
        EXPECT_EQ(resultFromWord(resultWord(result)), result);
    EXPECT_EQ(resultWord(Result::NotReachable), u"not reachable"_s);
}

TEST(CollectionHistoryText, RefusesWhatIsNotAStateFile) {
    const QByteArray good = R"({"version":1,"terminals":{"usb machine 1":)"
                            R"({"when":"2026-12-10 02:30:00","by":"window","result":"done",)"
                            R"("read":1,"stored":1,"rejected":0,"refused":0}}})";
    ASSERT_TRUE(parseCollectionHistory(good).has_value());
    ASSERT_TRUE(parseCollectionHistory(R"({"version":1,"terminals":{}})").has_value());
    struct Case {
        const char* what;
        QByteArray text;
    };
    auto replaced = [&good](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"cut short", good.left(good.size() - 3)},
        {"not an object", "[]"},
        {"another version", replaced(R"("version":1)", R"("version":2)")},
        {"no terminals", R"({"version":1})"},
        {"terminals not an object", R"({"version":1,"terminals":[]})"},
        {"an entry not an object", R"({"version":1,"terminals":{"usb machine 1":3}})"},
        {"unknown result", replaced(R"("done")", R"("fine")")},
        {"negative count", replaced(R"("read":1)", R"("read":-1)")},
        {"fractional count", replaced(R"("stored":1)", R"("stored":0.5)")},
        {"count as text", replaced(R"("rejected":0)", R"("rejected":"0")")},
        {"no by", replaced(R"("by":"window",)", "")},
        {"when not a text", replaced(R"("when":"2026-12-10 02:30:00")", R"("when":5)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(parseCollectionHistory(c.text).has_value()) << c.text.toStdString();
    }
}

class CollectionHistoryFile : public CollectionTest {
protected:
    QString path() const { return collectionHistoryPath(db.appDir()); }
    QStringList dataFolder() const {
        return QDir(db.appDir() + u"data"_s).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static LastCollection entry(int read) {
        return {u"2026-12-10 02:30:00"_s, u"orveloctl"_s, Result::Done, read, read, 0, 0};
    }
};

TEST_F(CollectionHistoryFile, EntriesAreAddedAndReplacedByKey) {
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());  // created when needed
    const CollectionHistoryRead none = readCollectionHistory(db.appDir());
    EXPECT_TRUE(none.history.empty());
    EXPECT_FALSE(none.damaged);

    EXPECT_EQ(recordLastCollection(db.appDir(), u"a"_s, entry(1)), QString());
    EXPECT_EQ(recordLastCollection(db.appDir(), u"b"_s, entry(2)), QString());
    EXPECT_EQ(recordLastCollection(db.appDir(), u"a"_s, entry(3)), QString());
    const CollectionHistoryRead found = readCollectionHistory(db.appDir());
    EXPECT_FALSE(found.damaged);
    EXPECT_EQ(found.history, (CollectionHistory{{u"a"_s, entry(3)}, {u"b"_s, entry(2)}}));
    // Only the state file and its lock: no temporary file is left behind, no raw record file
    // listing sees either of them.
    EXPECT_EQ(dataFolder(), (QStringList{u".collections.json"_s, u".collections.json.lock"_s}));
    EXPECT_TRUE(QDir(db.appDir() + u"data"_s).entryList(QDir::Files).isEmpty());
}

TEST_F(CollectionHistoryFile, ADamagedFileIsKeptAsideAndReplaced) {
    ASSERT_TRUE(QDir().mkpath(db.appDir() + u"data"_s));
    const QByteArray damaged = "{\"version\":1,\"terminals\":{\"a\":{\"when\":";  // cut by a crash
    writeFile(path(), damaged);
    const CollectionHistoryRead before = readCollectionHistory(db.appDir());
    EXPECT_TRUE(before.damaged);
    EXPECT_TRUE(before.history.empty());

    EXPECT_EQ(recordLastCollection(db.appDir(), u"b"_s, entry(4)), QString());
    EXPECT_EQ(contents(path() + u".bad"_s), damaged);
    const CollectionHistoryRead after = readCollectionHistory(db.appDir());
    EXPECT_FALSE(after.damaged);
    EXPECT_EQ(after.history, (CollectionHistory{{u"b"_s, entry(4)}}));
}

TEST_F(CollectionHistoryFile, ConcurrentWritersLoseNoEntry) {
    // Each writer opens the lock file itself, as another process would: without the lock around
    // read-change-write, writers that overlap drop each other's entries.
    constexpr int kWriters = 8;
    constexpr int kEntriesEach = 25;
    std::vector<QString> problems(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([this, w, &problems] {
            for (int i = 0; i < kEntriesEach; ++i) {
                const QString problem =
                    recordLastCollection(db.appDir(), u"writer %1 entry %2"_s.arg(w).arg(i), entry(i));
                if (!problem.isEmpty()) problems[std::size_t(w)] = problem;
            }
        });
    for (std::thread& writer : writers) writer.join();
    for (const QString& problem : problems) EXPECT_EQ(problem, QString());
    const CollectionHistoryRead found = readCollectionHistory(db.appDir());
    EXPECT_FALSE(found.damaged);
    EXPECT_EQ(found.history.size(), std::size_t(kWriters * kEntriesEach));
    EXPECT_EQ(found.history.at(u"writer 7 entry 24"_s), entry(24));
    EXPECT_EQ(dataFolder(), (QStringList{u".collections.json"_s, u".collections.json.lock"_s}));
}

TEST_F(CollectionHistoryFile, AnUnwritableFolderIsReportedNotThrown) {
    // `data` taken by a file: the history cannot be written, and says so.
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());
    writeFile(db.appDir() + u"data"_s, "not a folder");
    EXPECT_NE(recordLastCollection(db.appDir(), u"a"_s, entry(1)), QString());
}

class CollectionNotes : public CollectionTest {
protected:
    void SetUp() override {
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        terminal.status = {{6, 3}, {8, 3}};
        ctx.program = u"window"_s;
        ctx.panel = tcp(u"1"_s, u"10.0.0.7"_s, u"5005"_s);
    }
    LastCollection noted() {
        const CollectionHistoryRead found = readCollectionHistory(db.appDir());
        EXPECT_FALSE(found.damaged);
        EXPECT_EQ(found.history.size(), 1u);
        const auto it = found.history.find(u"tcp 10.0.0.7:5005 machine 1"_s);
        return it == found.history.end() ? LastCollection{u"<none>"_s, {}, Result::Done, -1, -1, -1, -1}
                                         : it->second;
    }
};

TEST_F(CollectionNotes, EachOutcomeOfTheDownloadIsNoted) {
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 2, u"2005-03-07 08:16:00"_s);
    addLog(123, 1, u"2005-03-07 08:15:40"_s);  // the same minute again: a duplicate
    const CommandOutcome outcome = btn_GetDataClick(ctx, true);
    EXPECT_EQ(outcome.result, Result::Done);
    EXPECT_EQ(noted(), (LastCollection{u"2005-03-07 09:00:12"_s, u"window"_s, Result::Done, 3, 1, 2, 0}));

    terminal.connectResult = 0;
    ctx.program = u"orveloctl"_s;
    clock.value = at(u"2005-03-07 10:00:00"_s);
    EXPECT_EQ(btn_GetDataClick(ctx, true).result, Result::NotReachable);
    EXPECT_EQ(noted(),
              (LastCollection{u"2005-03-07 10:00:00"_s, u"orveloctl"_s, Result::NotReachable, 0, 0, 0, 0}));
}

TEST_F(CollectionNotes, AStoppedDownloadIsNotedAsAnError) {
    terminal.logs.clear();
    ctx.panel.netPort = u"50x5"_s;  // stops in ConnectDevice with the conversion error
    EXPECT_THROW(btn_GetDataClick(ctx, true), ConversionError);
    const CollectionHistoryRead found = readCollectionHistory(db.appDir());
    ASSERT_EQ(found.history.count(u"tcp 10.0.0.7:50x5 machine 1"_s), 1u);
    EXPECT_EQ(found.history.at(u"tcp 10.0.0.7:50x5 machine 1"_s).result, Result::Error);
}

TEST_F(CollectionNotes, ADamagedStateFileNeverStopsACollection) {
    ASSERT_TRUE(QDir().mkpath(db.appDir() + u"data"_s));
    writeFile(collectionHistoryPath(db.appDir()), "\x01\x02 not json");
    terminal.status = {{6, 1}, {8, 1}};  // one record on the terminal, as it says
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    const CommandOutcome outcome = btn_GetDataClick(ctx, true);
    EXPECT_EQ(outcome.result, Result::Done);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(atdRows().size(), 1);
    EXPECT_EQ(noted().stored, 1);
    EXPECT_EQ(contents(collectionHistoryPath(db.appDir()) + u".bad"_s), QByteArray("\x01\x02 not json"));

    // Even a state file that cannot be written at all: the records still arrive.
    QFile::remove(collectionHistoryPath(db.appDir()));
    ASSERT_TRUE(QDir().mkpath(collectionHistoryPath(db.appDir())));  // a folder where the file goes
    terminal.logs.clear();
    addLog(123, 1, u"2005-03-07 08:45:40"_s);
    clock.value = at(u"2005-03-07 10:00:00"_s);
    const CommandOutcome second = btn_GetDataClick(ctx, false);
    EXPECT_EQ(second.result, Result::Done);
    EXPECT_EQ(atdRows().size(), 2);
}

}  // namespace
}  // namespace orvelo::test
