// btn_ImportDataFromUClick with the scripted terminal and the embedded database.
#include "core/errors.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

class UsbImport : public CollectionTest {
protected:
    QString removable;  // what the removable-drive lookup answers
    QString chosen = u"/media/op/STICK/GLog_001.txt"_s;

    void SetUp() override {
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        db.addActiveEmployee(u"000124"_s, u"00124"_s, u"乙"_s);
        view.fileAnswers.push_back(chosen);
    }
    CommandOutcome run() {
        return btn_ImportDataFromUClick(ctx, [this] { return removable; });
    }
};

TEST_F(UsbImport, FiveRecordsTwoStored) {
    panel.machineNo = u"7"_s;
    settings.DeviceHandle = 42;  // left by an earlier connect
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 4, u"2005-03-07 08:15:40"_s);
    addLog(123, 9, u"2005-03-07 08:15:59"_s);  // duplicate of the first
    addLog(555, 10, u"2005-03-07 08:20:00"_s);
    addLog(556, 8, u"2005-03-07 08:21:00"_s);
    run();

    const QString summary = u"共采集数据记录5条；其中有效数据记录2条，重复或无效数据记录3条。"_s;
    const QString unknown = u"其中2条记录的人员不存在（登记号码：00555, 00556），已保存在原始记录文件"_s +
                            rawFile() +
                            u"中，录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s;
    EXPECT_EQ(view.mmo2, (QStringList{u"正在从U盘数据文件：/media/op/STICK/GLog_001.txt 中采集数据..."_s,
                                      u""_s, u"数据采集成功！"_s, summary, unknown, u""_s, u""_s}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, summary + u'\n' + unknown);
    EXPECT_EQ(view.boxes[0].caption, u"数据采集"_s);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
    // Only the two file operations, with the handle the last connect left.
    QStringList calls = log.withPrefix(u"FK_"_s);
    calls.removeAll(u"FK_GetGeneralLogData(42)"_s);
    EXPECT_EQ(calls, QStringList{u"FK_USBLoadGeneralLogDataFromFile(42,\"/media/op/STICK/GLog_001.txt\")"_s});
    EXPECT_EQ(terminal.calls(u"FK_GetGeneralLogData"_s).size(), 6);
    EXPECT_EQ(settings.MachineNo, 7);
    EXPECT_EQ(atdRows(), (QStringList{u"000123|000123|2005-03-07 |08:15|2|007|2|sa|2005-03-07 09:00:12"_s,
                                      u"000124|000124|2005-03-07 |08:15|35|007|2|sa|2005-03-07 09:00:12"_s}));
    EXPECT_EQ(contents(rawFile()), QByteArray("001232005-03-07 08:152007\r\n"
                                              "001242005-03-07 08:1535007\r\n"
                                              "001232005-03-07 08:1535007\r\n"
                                              "005552005-03-07 08:2011007\r\n"
                                              "005562005-03-07 08:2111007\r\n"));
    EXPECT_TRUE(view.statusTexts.isEmpty());
    EXPECT_TRUE(view.progress.empty());
}

TEST_F(UsbImport, DialogFilterAndStartingFolder) {
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    removable = u"/media/op/STICK"_s;
    run();
    EXPECT_EQ(view.dialogFilter, u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s);
    EXPECT_EQ(view.dialogFolder, u"/media/op/STICK"_s);
    EXPECT_LT(log.indexOf(u"dialog folder: /media/op/STICK"_s), log.indexOf(u"dialog open"_s));

    // Without a removable drive the folder set last stays.
    removable.clear();
    view.setFileDialogFolder(u"/opt/orvelo/data"_s);
    log.entries.clear();
    view.fileAnswers.push_back(chosen);
    run();
    EXPECT_TRUE(log.withPrefix(u"dialog folder"_s).isEmpty());
    EXPECT_EQ(view.dialogFolder, u"/opt/orvelo/data"_s);
}

TEST_F(UsbImport, CancelDoesNothing) {
    view.fileAnswers.clear();
    view.fileAnswers.push_back(std::nullopt);
    panel.machineNo = u"junk"_s;  // not even converted
    run();
    EXPECT_TRUE(log.withPrefix(u"FK_"_s).isEmpty());
    EXPECT_TRUE(view.mmo2.isEmpty());
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(dataFiles().isEmpty());
}

TEST_F(UsbImport, FilesTheLibraryRefuses) {
    // The library refuses each of these files whole; the command says why, or reads the good lines
    // of a clean copy and says how many it skipped.
    const QString good1 = u"123\t1\t2005-03-07 08:15:40"_s;
    const QString good2 = u"124\t4\t2005-03-07 08:16:00"_s;
    struct Case {
        const char* name;
        std::optional<QByteArray> bytes;  // none: no file; empty optional with folder: a folder
        bool folder;
        QString error;  // after the quoted path; empty: the good lines are read
        int skipped;
    };
    const std::vector<Case> cases = {
        {"missing", std::nullopt, false, u"USB-disk log file \"%1\" does not exist"_s, 0},
        {"folder", std::nullopt, true, u"\"%1\" is a folder, not a USB-disk log file"_s, 0},
        {"junk", QByteArray("\x01\x02 not a log\nat all\n"), false, u"\"%1\" holds no attendance record"_s,
         0},
        {"header only", QByteArray("ORVELO-USB-LOG 1 machine=1 records=0\n"), false,
         u"\"%1\" holds no attendance record"_s, 0},
        {"two damaged lines",
         (u"ORVELO-USB-LOG 1 machine=1 records=4\n"_s + good1 + u"\n123\tx\t2005-03-07\n"_s + good2 +
          u"\r\n\n"_s)
             .toUtf8(),
         false, QString(), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = db.appDir() + u"stick/GLog_001.txt"_s;
        QDir(db.appDir() + u"stick"_s).removeRecursively();
        QDir().mkpath(db.appDir() + u"stick"_s);
        if (c.folder) QDir().mkpath(path);
        if (c.bytes) writeFile(path, *c.bytes);
        for (const QString& f : dataFiles()) QFile::remove(db.appDir() + u"data/"_s + f);
        db.exec(u"DELETE FROM AtdRecord"_s);
        terminal.logs.clear();
        addLog(123, 1, u"2005-03-07 08:15:40"_s);
        addLog(124, 4, u"2005-03-07 08:16:00"_s);
        // The original is refused; a clean copy is taken.
        terminal.forcedResults[u"FK_USBLoadGeneralLogDataFromFile"_s] = {0};
        log.entries.clear();
        view.mmo2.clear();
        view.boxes.clear();
        view.fileAnswers.clear();
        view.fileAnswers.push_back(path);
        if (!c.error.isEmpty()) {
            try {
                run();
                ADD_FAILURE() << "no error";
            } catch (const FileError& e) {
                EXPECT_EQ(e.text(), c.error.arg(path));
            }
            EXPECT_TRUE(view.boxes.empty());
            EXPECT_TRUE(dataFiles().isEmpty());  // neither a raw record file nor a journal
            EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 0);
            continue;
        }
        const CommandOutcome outcome = run();
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        const QStringList loads = terminal.calls(u"FK_USBLoadGeneralLogDataFromFile"_s);
        ASSERT_EQ(loads.size(), 2);
        EXPECT_NE(loads[0], loads[1]);  // the second load read the copy
        const QString summary = u"共采集数据记录2条；其中有效数据记录2条，重复或无效数据记录0条。"_s;
        const QString skipped = u"U盘数据文件中有%1行无法识别，已跳过。"_s.arg(c.skipped);
        EXPECT_EQ(view.mmo2.mid(1),
                  (QStringList{u""_s, u"数据采集成功！"_s, summary, skipped, u""_s, u""_s}));
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, summary + u'\n' + skipped);
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 2);
    }
}

TEST_F(UsbImport, MachineNumberConvertedAfterTheChoice) {
    struct Case {
        QString typed;
        QString error;
    };
    for (const Case& c :
         {Case{u"abc"_s, u"'abc' is not a valid integer value"_s},
          Case{u"1000"_s, u"Machine number 1000 is out of range: it must lie between 0 and 999"_s}}) {
        SCOPED_TRACE(c.typed.toStdString());
        log.entries.clear();
        view.mmo2.clear();
        view.fileAnswers.push_back(chosen);
        panel.machineNo = c.typed;
        try {
            run();
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), c.error);
        }
        EXPECT_NE(log.indexOf(u"dialog open"_s), -1);  // the choice came first
        EXPECT_TRUE(log.withPrefix(u"FK_"_s).isEmpty());
        EXPECT_TRUE(view.mmo2.isEmpty());
    }
}

TEST_F(UsbImport, FileErrorStopsBeforeTheSummary) {
    ASSERT_TRUE(QDir(db.appDir() + u"data"_s).removeRecursively());
    writeFile(db.appDir() + u"data"_s, "not a folder");
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    EXPECT_THROW(run(), FileError);
    EXPECT_EQ(view.mmo2.size(), 1);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
}

}  // namespace
}  // namespace orvelo::test
