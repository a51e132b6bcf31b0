// btn_GetDataClick with the scripted terminal and the embedded database.
#include <vector>

#include "core/errors.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

class LogDownload : public CollectionTest {
protected:
    void SetUp() override {
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        terminal.status = {{6, 3}, {8, 10}};
    }
    // The library calls in order, without the connect call.
    QStringList libraryCalls() const {
        QStringList out;
        for (const QString& e : log.entries)
            if (e.startsWith(u"FK_"_s) && !e.startsWith(u"FK_Connect"_s)) out.append(e);
        return out;
    }
};

TEST_F(LogDownload, ThreeRecordsOneStored) {
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 2, u"2005-03-07 08:16:00"_s);
    addLog(125, 3, u"2005-03-07 08:17:00"_s);
    btn_GetDataClick(ctx, true);

    const QString summary = u"共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。"_s;
    const QString unknown = u"其中2条记录的人员不存在（登记号码：00124, 00125），已保存在原始记录文件"_s +
                            rawFile() +
                            u"中，录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s;
    EXPECT_EQ(view.mmo2, (QStringList{u""_s, u"数据采集成功！"_s, summary, unknown, u""_s, u""_s}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, summary + u'\n' + unknown);
    EXPECT_EQ(view.boxes[0].caption, u"数据采集"_s);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
    EXPECT_EQ(atdRows(), QStringList{u"000123|000123|2005-03-07 |08:15|2|001|2|sa|2005-03-07 09:00:12"_s});
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152001\r\n"
                                              "001242005-03-07 08:163001\r\n"
                                              "001252005-03-07 08:171001\r\n"));
    EXPECT_EQ(dataFiles(), QStringList{u"FDataQ5050307090012.hv"_s});  // no journal left
    EXPECT_EQ(view.statusTexts, (QStringList{u"正在采集设备中的数据，请稍等......"_s, u""_s}));
    EXPECT_EQ(view.progress.back(), std::make_pair(0, false));
}

// Records of persons missing from the employee table are named after the summary: how many, the
// first five enroll numbers and the raw record file to import once they are entered.
TEST_F(LogDownload, UnknownPersonsAreNamedAfterTheSummary) {
    struct Punch {
        std::int32_t enroll;
        QString time;
    };
    struct Case {
        QString name;
        std::vector<Punch> punches;
        QString summary;
        QString unknown;  // the count and numbers of the added line; empty: no line
    };
    const std::vector<Case> cases = {
        {u"all known"_s,
         {{123, u"2005-03-07 08:15:40"_s}, {123, u"2005-03-07 08:25:40"_s}},
         u"共采集数据记录2条；其中有效数据记录2条，重复或无效数据记录0条。"_s,
         QString()},
        {u"some unknown"_s,
         {{7, u"2005-03-07 08:10:00"_s}, {123, u"2005-03-07 08:15:40"_s}, {8, u"2005-03-07 08:20:00"_s}},
         u"共采集数据记录3条；其中有效数据记录1条，重复或无效数据记录2条。"_s,
         u"其中2条记录的人员不存在（登记号码：00007, 00008）"_s},
        {u"more than five unknown"_s,
         {{11, u"2005-03-07 08:01:00"_s},
          {12, u"2005-03-07 08:02:00"_s},
          {11, u"2005-03-07 08:03:00"_s},
          {13, u"2005-03-07 08:04:00"_s},
          {14, u"2005-03-07 08:05:00"_s},
          {15, u"2005-03-07 08:06:00"_s},
          {16, u"2005-03-07 08:07:00"_s}},
         u"共采集数据记录7条；其中有效数据记录0条，重复或无效数据记录7条。"_s,
         u"其中7条记录的人员不存在（登记号码：00011, 00012, 00013, 00014, 00015, …）"_s},
        {u"unknown and duplicates"_s,
         {{123, u"2005-03-07 08:15:10"_s},
          {9, u"2005-03-07 08:15:20"_s},
          {123, u"2005-03-07 08:15:50"_s},
          {9, u"2005-03-07 08:16:20"_s}},
         u"共采集数据记录4条；其中有效数据记录1条，重复或无效数据记录3条。"_s,
         u"其中2条记录的人员不存在（登记号码：00009）"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        db.exec(u"DELETE FROM AtdRecord"_s);
        QFile::remove(rawFile());
        terminal.logs.clear();
        view.mmo2.clear();
        view.boxes.clear();
        for (const Punch& p : c.punches) addLog(p.enroll, 1, p.time);
        terminal.status[6] = std::int32_t(c.punches.size());
        const CommandOutcome outcome = btn_GetDataClick(ctx, true);
        ASSERT_EQ(outcome.rawRecordFile, rawFile());

        QStringList expected{u""_s, u"数据采集成功！"_s, c.summary};
        QString box = c.summary;
        if (!c.unknown.isEmpty()) {
            const QString line = c.unknown + u"，已保存在原始记录文件"_s + rawFile() +
                                 u"中，录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s;
            expected << line;
            box += u'\n' + line;
        }
        expected << u""_s << u""_s;
        EXPECT_EQ(view.mmo2, expected);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, box);
        EXPECT_EQ(view.boxes[0].caption, u"数据采集"_s);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
        EXPECT_EQ(contents(rawFile()).count('\n'), qsizetype(c.punches.size()));
    }
}

TEST_F(LogDownload, ExactLibrarySequence) {
    struct Case {
        bool newOnly;
        QString status;
        QString load;
    };
    for (const Case& c : {Case{true, u"FK_GetDeviceStatus(1,6)"_s, u"FK_LoadGeneralLogData(1,1)"_s},
                          Case{false, u"FK_GetDeviceStatus(1,8)"_s, u"FK_LoadGeneralLogData(1,0)"_s}}) {
        SCOPED_TRACE(c.newOnly);
        log.entries.clear();
        terminal.logs.clear();
        addLog(123, 1, u"2005-03-07 08:15:40"_s);
        addLog(123, 1, u"2005-03-07 08:25:40"_s);
        btn_GetDataClick(ctx, c.newOnly);
        EXPECT_EQ(log.withPrefix(u"FK_Connect"_s), QStringList{u"FK_ConnectUSB(1)"_s});
        EXPECT_EQ(libraryCalls(),
                  (QStringList{u"FK_EnableDevice(1,0)"_s, c.status, c.load, u"FK_GetGeneralLogData(1)"_s,
                               u"FK_GetGeneralLogData(1)"_s, u"FK_GetGeneralLogData(1)"_s,
                               u"FK_EnableDevice(1,1)"_s, u"FK_DisConnect(1)"_s}));
        // The box comes after the device was released.
        EXPECT_GT(log.indexOf(u"box: "_s, true), log.indexOf(u"FK_DisConnect(1)"_s));
        QFile::remove(rawFile());
    }
}

TEST_F(LogDownload, ProgressFollowsTheReadSteps) {
    struct Case {
        std::int32_t total;
        int records;
        std::vector<int> shown;
    };
    const std::vector<Case> cases = {
        {4, 4, {0, 0, 25, 50, 75, 100}},    // start, then one per read step
        {2, 4, {0, 0, 50, 100, 150, 200}},  // more than the total: not limited
        {3, 2, {0, 0, 33, 66}},             // truncated toward zero
        {0, 3, {0, 0, 0, 0, 0}},            // no total: the command still ends normally
        {-5, 1, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        view.progress.clear();
        terminal.logs.clear();
        terminal.status = {{6, c.total}};
        for (int i = 0; i < c.records; ++i) addLog(9000 + i, 1, u"2005-03-07 08:15:40"_s);
        btn_GetDataClick(ctx, true);
        EXPECT_EQ(view.shownPercentages(), c.shown);
        EXPECT_EQ(view.progress.back(), std::make_pair(0, false));
        EXPECT_EQ(view.mmo2.last(), u""_s);
        QFile::remove(rawFile());
    }
}

TEST_F(LogDownload, TotalLeftUnsetStaysZero) {
    terminal.status.clear();  // the status call fails and writes nothing
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(view.shownPercentages(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(view.boxes.back().text, u"共采集数据记录1条；其中有效数据记录1条，重复或无效数据记录0条。"_s);
}

TEST_F(LogDownload, LoadStepFailing) {
    terminal.forcedResults[u"FK_LoadGeneralLogData"_s] = {0};
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(libraryCalls(), (QStringList{u"FK_EnableDevice(1,0)"_s, u"FK_GetDeviceStatus(1,6)"_s,
                                           u"FK_LoadGeneralLogData(1,1)"_s, u"FK_EnableDevice(1,1)"_s,
                                           u"FK_DisConnect(1)"_s}));
    EXPECT_EQ(view.mmo2, (QStringList{u""_s, u"数据采集成功！"_s,
                                      u"共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s,
                                      u""_s, u""_s}));
    EXPECT_TRUE(dataFiles().isEmpty());  // no raw record file, no journal
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
}

TEST_F(LogDownload, LoadedButNothingDeliveredLeavesAnEmptyFile) {
    terminal.status[8] = 0;  // the terminal holds nothing, so nothing is missing
    btn_GetDataClick(ctx, false);
    EXPECT_EQ(contents(rawFile()), QByteArray());
    EXPECT_EQ(view.boxes.back().text, u"共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s);
}

TEST_F(LogDownload, ModeCodesBecomeRecordCodes) {
    struct Case {
        std::vector<std::int32_t> modes;
        QList<int> isAuto;
    };
    const std::vector<Case> cases = {
        {{1, 2, 3}, {2, 3, 1}},
        {{9, 4, 0}, {0, 35, 35}},
        {{1, 9, 7}, {2, 2, 33}},
        {{8, 10, 6, 5}, {0, 11, 35, 4}},
    };
    for (const Case& c : cases) {
        db.exec(u"DELETE FROM AtdRecord"_s);
        terminal.logs.clear();
        for (std::size_t i = 0; i < c.modes.size(); ++i)
            addLog(123, c.modes[i], u"2005-03-07 08:%1:00"_s.arg(int(10 + i)));
        btn_GetDataClick(ctx, true);
        QList<int> stored;
        for (const QVariantMap& r : db.rows(u"SELECT IsAuto FROM AtdRecord ORDER BY rowid"_s))
            stored.append(r[u"IsAuto"_s].toInt());
        EXPECT_EQ(stored, c.isAuto);
        QList<int> inLines;
        for (const QByteArray& line : contents(rawFile()).split('\n'))
            if (!line.isEmpty()) inLines.append(line.mid(21, line.size() - 1 - 21 - 3).toInt());
        EXPECT_EQ(inLines, c.isAuto);
        QFile::remove(rawFile());
    }
}

TEST_F(LogDownload, RecordsTakeTheConnectionsMachineNumber) {
    panel.machineNo = u"42"_s;
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(log.withPrefix(u"FK_Connect"_s), QStringList{u"FK_ConnectUSB(42)"_s});
    EXPECT_EQ(db.scalar(u"SELECT EquNo FROM AtdRecord"_s).toString(), u"042"_s);
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152042\r\n"));
}

TEST_F(LogDownload, ConnectionFailure) {
    terminal.connectResult = 0;
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_TRUE(libraryCalls().isEmpty());
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, u"数据采集失败，可能是设备没有连接好，请连接好设备后重试！"_s);
    EXPECT_EQ(view.boxes[0].caption, u"数据采集"_s);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
    EXPECT_EQ(view.mmo2, (QStringList{u""_s, u""_s}));
    EXPECT_EQ(view.progress, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}}));
    EXPECT_EQ(view.statusText, QString());
    EXPECT_TRUE(dataFiles().isEmpty());
}

TEST_F(LogDownload, MachineNumberThatRawLinesCannotHold) {
    struct Case {
        QString typed;
        QString error;
    };
    const std::vector<Case> cases = {
        {u"1000"_s, u"Machine number 1000 is out of range: it must lie between 0 and 999"_s},
        {u"-1"_s, u"Machine number -1 is out of range: it must lie between 0 and 999"_s},
        {u"abc"_s, u"'abc' is not a valid integer value"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        log.entries.clear();
        view.mmo2.clear();
        panel.machineNo = c.typed;
        addLog(123, 1, u"2005-03-07 08:15:40"_s);
        try {
            btn_GetDataClick(ctx, true);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), c.error);
        }
        EXPECT_TRUE(log.withPrefix(u"FK_"_s).isEmpty());
        EXPECT_TRUE(view.mmo2.isEmpty());
        // Step 1 stays on show, as for any conversion error of the connection panel.
        EXPECT_EQ(view.statusText, u"正在采集设备中的数据，请稍等......"_s);
    }
    panel.machineNo = u"999"_s;
    terminal.logs.resize(1);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152999\r\n"));
}

TEST_F(LogDownload, FileErrorAfterTheDeviceWasReleased) {
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());
    writeFile(db.appDir() + u"data"_s, "not a folder");
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 1, u"2005-03-07 08:15:40"_s);
    terminal.status = {{6, 2}};
    EXPECT_THROW(btn_GetDataClick(ctx, true), FileError);
    EXPECT_EQ(libraryCalls().mid(libraryCalls().size() - 2),
              (QStringList{u"FK_EnableDevice(1,1)"_s, u"FK_DisConnect(1)"_s}));
    EXPECT_TRUE(view.mmo2.isEmpty());
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(view.statusText, u"正在采集设备中的数据，请稍等......"_s);
    EXPECT_EQ(view.progress.back(), std::make_pair(100, true));
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);  // the rows stay
}

TEST_F(LogDownload, MissingDataFolderIsCreated) {
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152001\r\n"));
}

TEST_F(LogDownload, TwoDownloadsInOneSecond) {
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    terminal.logs.clear();
    addLog(124, 1, u"2005-03-07 08:15:40"_s);
    btn_GetDataClick(ctx, true);
    EXPECT_EQ(dataFiles(), (QStringList{u"FDataQ5050307090012.hv"_s, u"FDataQ5050307090013.hv"_s}));
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152001\r\n"));
    EXPECT_EQ(contents(db.appDir() + u"data/FDataQ5050307090013.hv"_s),
              QByteArray("001242005-03-07 08:152001\r\n"));
}

TEST_F(LogDownload, EveryEndOfTheWalkIsReportedForWhatItIs) {
    // Three records of three employees; 124's row is refused by a trigger where a case asks.
    const QString summary3 = u"共采集数据记录3条；其中有效数据记录3条，重复或无效数据记录0条。"_s;
    struct Case {
        const char* name;
        std::int32_t total;       // what status 6 reports
        std::int32_t loadResult;  // 1 unless the load step fails
        std::int32_t endResult;   // the read step after the last record
        bool refuseOne = false;   // a trigger refuses 124's row
        bool busy = false;        // another writer holds the database past the time-out
        CommandOutcome::Result result;
        QStringList mmo2;  // between the first empty line and the two closing ones
        BoxIcon icon;
        int rows;
        int readSteps;
        int refused = 0;
    };
    const QString file = rawFile();
    const std::vector<Case> cases = {
        {"clean end",
         3,
         1,
         0,
         false,
         false,
         CommandOutcome::Result::Done,
         {u"数据采集成功！"_s, summary3},
         BoxIcon::Information,
         3,
         4},
        {"link lost at the end of the log",
         3,
         1,
         -2,
         false,
         false,
         CommandOutcome::Result::Incomplete,
         {u"数据采集未完成！与设备的连接在读取3条记录后中断，再次执行本命令可采集其余记录。"_s, summary3},
         BoxIcon::Warning,
         3,
         4},
        {"damaged reply",
         3,
         1,
         -3,
         false,
         false,
         CommandOutcome::Result::Incomplete,
         {u"数据采集未完成！与设备的连接在读取3条记录后中断，再次执行本命令可采集其余记录。"_s, summary3},
         BoxIcon::Warning,
         3,
         4},
        {"load step lost to the link",
         3,
         -2,
         0,
         false,
         false,
         CommandOutcome::Result::Incomplete,
         {u"数据采集未完成！与设备的连接在读取0条记录后中断，再次执行本命令可采集其余记录。"_s,
          u"共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s},
         BoxIcon::Warning,
         0,
         0},
        {"load step refused by the terminal",
         3,
         0,
         0,
         false,
         false,
         CommandOutcome::Result::Done,
         {u"数据采集成功！"_s, u"共采集数据记录0条；其中有效数据记录0条，重复或无效数据记录0条。"_s},
         BoxIcon::Information,
         0,
         0},
        {"clean end short of the total",
         5,
         1,
         0,
         false,
         false,
         CommandOutcome::Result::Incomplete,
         {u"数据采集未完成！设备报告有5条记录，只收到3条，再次执行本命令可采集其余记录。"_s, summary3},
         BoxIcon::Warning,
         3,
         4},
        {"one row refused by the database",
         3,
         1,
         0,
         true,
         false,
         CommandOutcome::Result::Done,
         {u"数据采集成功！"_s, u"共采集数据记录3条；其中有效数据记录2条，重复或无效数据记录0条。"_s,
          u"其中1条记录被数据库拒绝写入，已保存在原始记录文件"_s + file +
              u"中；数据库恢复可用后，用“刷卡文件导入”（orveloctl import-raw）导入该文件即可存入。"_s},
         BoxIcon::Warning,
         2,
         4,
         1},
        {"database busy past its time-out",
         3,
         1,
         0,
         false,
         true,
         CommandOutcome::Result::Incomplete,
         {u"数据采集未完成！数据库无法写入，采集在读取1条记录后停止；设备上未读取的记录不受影响，"
          u"数据库恢复可用后再次执行本命令可采集其余记录。"_s,
          u"共采集数据记录1条；其中有效数据记录0条，重复或无效数据记录0条。"_s,
          u"其中1条记录被数据库拒绝写入，已保存在原始记录文件"_s + file +
              u"中；数据库恢复可用后，用“刷卡文件导入”（orveloctl import-raw）导入该文件即可存入。"_s},
         BoxIcon::Warning,
         0,
         1,
         1},  // stopped before the read that would mark the records collected
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(u"DELETE FROM AtdRecord"_s);
        db.exec(u"DROP TRIGGER IF EXISTS refuse"_s);
        db.exec(u"DELETE FROM hremployee"_s);
        for (const QString& f : dataFiles()) QFile::remove(db.appDir() + u"data/"_s + f);
        for (int e = 123; e <= 125; ++e) db.addActiveEmployee(u"000%1"_s.arg(e), u"00%1"_s.arg(e), u"员工"_s);
        if (c.refuseOne)
            db.exec(
                u"CREATE TRIGGER refuse BEFORE INSERT ON AtdRecord WHEN NEW.CardNo = '000124' "
                u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
        terminal.logs.clear();
        addLog(123, 1, u"2005-03-07 08:15:40"_s);
        addLog(124, 1, u"2005-03-07 08:15:40"_s);
        addLog(125, 1, u"2005-03-07 08:15:40"_s);
        terminal.status = {{6, c.total}};
        terminal.endOfLogResult = c.endResult;
        terminal.forcedResults.clear();
        if (c.loadResult != 1) terminal.forcedResults[u"FK_LoadGeneralLogData"_s] = {c.loadResult};
        log.entries.clear();
        view.mmo2.clear();
        view.boxes.clear();

        std::optional<OtherWriter> other;
        if (c.busy) {
            other.emplace(db.databaseFile());
            ASSERT_TRUE(other->exec(u"BEGIN IMMEDIATE"_s));
        }
        const CommandOutcome outcome = btn_GetDataClick(ctx, true);
        other.reset();

        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.refusedByDatabase, c.refused);
        QStringList expected = QStringList{u""_s} + c.mmo2 + QStringList{u""_s, u""_s};
        EXPECT_EQ(view.mmo2, expected);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].icon, c.icon);
        EXPECT_EQ(view.boxes[0].caption, u"数据采集"_s);
        // The box says what the log pane says, without the success line.
        QStringList boxLines = c.mmo2;
        if (boxLines.first() == u"数据采集成功！"_s) boxLines.removeFirst();
        EXPECT_EQ(view.boxes[0].text, boxLines.join(u'\n'));
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), c.rows);
        EXPECT_EQ(terminal.calls(u"FK_GetGeneralLogData"_s).size(), c.readSteps);
        // The device ends enabled and released whatever happened.
        EXPECT_EQ(log.withPrefix(u"FK_EnableDevice"_s).value(1), u"FK_EnableDevice(1,1)"_s);
        EXPECT_EQ(log.withPrefix(u"FK_DisConnect"_s).size(), 1);
        // Every record read is in the raw record file, stored or not.
        if (c.loadResult == 1)
            EXPECT_EQ(contents(rawFile()).count('\n'), c.readSteps == 4 ? 3 : c.readSteps);
        else
            EXPECT_TRUE(dataFiles().isEmpty());
    }
}

}  // namespace
}  // namespace orvelo::test
