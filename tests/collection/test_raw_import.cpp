// btn_ImportFromHVClick with the embedded database.
#include <vector>

#include "core/errors.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

class RawImport : public CollectionTest {
protected:
    QString file() const { return db.appDir() + u"data/FDataQ5050301080000.hv"_s; }
    void importFile(const QByteArray& bytes) {
        writeFile(file(), bytes);
        view.fileAnswers.push_back(file());
        btn_ImportFromHVClick(ctx);
    }
};

TEST_F(RawImport, ReimportAfterAddingTheMissingEmployees) {
    // A download stored 123 and rejected 124 and 125, whose persons were not entered yet.
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    addLog(123, 1, u"2005-03-07 08:15:40"_s);
    addLog(124, 1, u"2005-03-07 08:16:40"_s);
    addLog(125, 3, u"2005-03-07 08:17:40"_s);
    btn_GetDataClick(ctx, true);
    ASSERT_EQ(db.rowCount(u"AtdRecord"_s), 1);
    db.addActiveEmployee(u"000124"_s, u"00124"_s, u"乙"_s);
    db.addActiveEmployee(u"000125"_s, u"00125"_s, u"丙"_s);
    view.mmo2.clear();
    view.boxes.clear();

    view.fileAnswers.push_back(rawFile());
    btn_ImportFromHVClick(ctx);
    EXPECT_EQ(view.mmo2,
              (QStringList{u"正在从原始记录文件"_s + rawFile() + u"中导入记录数据....."_s, u""_s,
                           u"原始记录数据导入成功！"_s,
                           u"共导入原始记录数据3条；其中有效数据2条，重复或无效数据1条。"_s, u""_s, u""_s}));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, u"共导入原始数据记录3条；其中有效数据2条，重复或无效数据1条。"_s);
    EXPECT_EQ(view.boxes[0].caption, u"原始数据导入"_s);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
    EXPECT_EQ(db.scalar(u"SELECT group_concat(CardNo || ':' || IsAuto) FROM AtdRecord"_s).toString(),
              u"000123:2,000124:2,000125:1"_s);

    // The same file again stores nothing.
    view.fileAnswers.push_back(rawFile());
    btn_ImportFromHVClick(ctx);
    EXPECT_EQ(view.boxes.back().text, u"共导入原始数据记录3条；其中有效数据0条，重复或无效数据3条。"_s);
}

// Records of persons missing from the employee table are named after the summary, with the file
// imported: it is the one to import again once they are entered.
TEST_F(RawImport, UnknownPersonsAreNamedAfterTheSummary) {
    struct Case {
        QString name;
        QByteArray lines;
        QString counts;   // read, stored and rejected in the summaries' words
        QString unknown;  // the count and numbers of the added line; empty: no line
    };
    const std::vector<Case> cases = {
        {u"all known"_s, "001232005-03-07 08:152001\r\n001232005-03-07 08:252001\r\n",
         u"2条；其中有效数据2条，重复或无效数据0条。"_s, QString()},
        {u"some unknown"_s,
         "000072005-03-07 08:102001\r\n001232005-03-07 08:152001\r\n000082005-03-07 08:202001\r\n",
         u"3条；其中有效数据1条，重复或无效数据2条。"_s,
         u"其中2条记录的人员不存在（登记号码：00007, 00008）"_s},
        {u"more than five unknown"_s,
         "000112005-03-07 08:012001\r\n000122005-03-07 08:022001\r\n000112005-03-07 08:032001\r\n"
         "000132005-03-07 08:042001\r\n000142005-03-07 08:052001\r\n000152005-03-07 08:062001\r\n"
         "000162005-03-07 08:072001\r\n",
         u"7条；其中有效数据0条，重复或无效数据7条。"_s,
         u"其中7条记录的人员不存在（登记号码：00011, 00012, 00013, 00014, 00015, …）"_s},
        {u"unknown and duplicates"_s,
         "001232005-03-07 08:152001\r\n000092005-03-07 08:152001\r\n001232005-03-07 08:152001\r\n"
         "000092005-03-07 08:162001\r\n",
         u"4条；其中有效数据1条，重复或无效数据3条。"_s, u"其中2条记录的人员不存在（登记号码：00009）"_s},
    };
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        db.exec(u"DELETE FROM AtdRecord"_s);
        view.mmo2.clear();
        view.boxes.clear();
        importFile(c.lines);

        QStringList expected{u"原始记录数据导入成功！"_s, u"共导入原始记录数据"_s + c.counts};
        QString box = u"共导入原始数据记录"_s + c.counts;
        if (!c.unknown.isEmpty()) {
            const QString line = c.unknown + u"，已保存在原始记录文件"_s + file() +
                                 u"中，录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s;
            expected << line;
            box += u'\n' + line;
        }
        expected << u""_s << u""_s;
        EXPECT_EQ(view.mmo2.mid(2), expected);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, box);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
    }
}

TEST_F(RawImport, DialogFilterAndFolder) {
    importFile("");
    EXPECT_EQ(view.dialogFilter, u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s);
    EXPECT_EQ(view.dialogFolder, db.appDir() + u"data"_s);
    EXPECT_LT(log.indexOf(u"dialog folder: "_s, true), log.indexOf(u"dialog open"_s));
}

TEST_F(RawImport, CancelDoesNothing) {
    btn_ImportFromHVClick(ctx);  // no answer queued: cancelled
    EXPECT_TRUE(view.mmo2.isEmpty());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(RawImport, CodesAndMachineNumbersComeFromEachLine) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    db.addActiveEmployee(u"123456"_s, u"123456"_s, u"乙"_s);
    panel.machineNo = u"5"_s;  // plays no part
    importFile(
        "001232005-03-07 08:1535017\r\n"
        "001232005-03-07 09:152002\r\n"
        "1234562005-03-07 10:1511999\r\n"
        "001232005-03-07 11:150000");  // the last line has no line end
    EXPECT_EQ(db.scalar(u"SELECT group_concat(CardNo || ':' || IsAuto || ':' || EquNo || ':' || RecTime) "
                        u"FROM AtdRecord"_s)
                  .toString(),
              u"000123:35:017:08:15,000123:2:002:09:15,123456:11:999:10:15,000123:0:000:11:15"_s);
    EXPECT_EQ(view.boxes.back().text, u"共导入原始数据记录4条；其中有效数据4条，重复或无效数据0条。"_s);
}

TEST_F(RawImport, EmptyFile) {
    importFile("");
    EXPECT_EQ(view.mmo2.mid(2),
              (QStringList{u"原始记录数据导入成功！"_s,
                           u"共导入原始记录数据0条；其中有效数据0条，重复或无效数据0条。"_s, u""_s, u""_s}));
}

TEST_F(RawImport, LineThatDoesNotParseStopsTheImport) {
    struct Case {
        QByteArray bytes;
        QString error;
        int storedBefore;
    };
    // The error names the file and the line; a huge bad line shows only its first 100 characters.
    const QByteArray hugeLine = "001232005-03-07 08:17" + QByteArray(200000, '9') + "001";
    const std::vector<Case> cases = {
        {"001232005-03-07 08:152001\r\n\r\n001232005-03-07 09:152001\r\n",
         u", line 2: '' is not a valid integer value"_s, 1},
        {"001232005-03-07 08:152001\r\n\r\n", u", line 2: '' is not a valid integer value"_s,
         1},  // final empty line
        {"001232005-03-07 08:152001\r\n001232005-13-07 09:152001\r\n001232005-03-07 10:152001\r\n",
         u", line 2: '2005-13-07 09:15' is not a valid date and time"_s, 1},
        {"GLog export\r\n", u", line 1: 'GLog ' is not a valid integer value"_s, 0},
        {"001232005-03-07 08:152001\r\n001232005-03-07 08:162001\r\n" + hugeLine + "\r\n",
         u", line 3: not a raw record line: '"_s + QString::fromLatin1(hugeLine.left(100)) + u"...'"_s, 2},
    };
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        db.exec(u"DELETE FROM AtdRecord"_s);
        view.mmo2.clear();
        view.boxes.clear();
        try {
            importFile(c.bytes);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), file() + c.error);
        }
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), c.storedBefore);
        EXPECT_EQ(view.mmo2.size(), 2);  // the two lines before reading, no summary
        EXPECT_TRUE(view.boxes.empty());
    }
}

TEST_F(RawImport, UnreadableFile) {
    view.fileAnswers.push_back(db.appDir() + u"data/none.hv"_s);
    EXPECT_THROW(btn_ImportFromHVClick(ctx), FileError);
    EXPECT_EQ(
        view.mmo2,
        (QStringList{u"正在从原始记录文件"_s + db.appDir() + u"data/none.hv中导入记录数据....."_s, u""_s}));
}

TEST_F(RawImport, LeftBehindJournalCanBeImported) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    const QString journal = db.appDir() + u"data/FDataQ5050307090012-1.part"_s;
    writeFile(journal, "001232005-03-07 08:152001\r\n001232005-03-07 08:162001\r\n");
    view.fileAnswers.push_back(journal);
    btn_ImportFromHVClick(ctx);
    EXPECT_EQ(view.boxes.back().text, u"共导入原始数据记录2条；其中有效数据2条，重复或无效数据0条。"_s);
}

TEST_F(RawImport, AJournalCutAtAnyByteOfItsLastLineStoresEveryCompleteLineOnce) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    const QByteArray complete =
        "001232005-03-07 08:152001\r\n001232005-03-07 08:162001\r\n001232005-03-07 08:172001\r\n";
    const QByteArray last = "001232005-03-07 08:1835001\r\n";
    const QString journal = db.appDir() + u"data/FDataQ5050307090012-1.part"_s;
    const QString note = u"原始记录文件第4行没有写完（记录时被中断），已跳过。"_s;
    for (qsizetype kept = 0; kept <= last.size(); ++kept) {
        SCOPED_TRACE(kept);
        db.exec(u"DELETE FROM AtdRecord"_s);
        view.mmo2.clear();
        view.boxes.clear();
        writeFile(journal, complete + last.left(kept));
        view.fileAnswers.push_back(journal);
        const CommandOutcome outcome = btn_ImportFromHVClick(ctx);

        // Cut is a last line with some of its characters and no line end; its CR alone ends it.
        const bool cut = kept > 0 && kept < last.size() - 1;
        const int lines = kept == 0 || cut ? 3 : 4;
        EXPECT_EQ(db.rowCount(u"AtdRecord"_s), lines);
        EXPECT_EQ(outcome.result, CommandOutcome::Result::Done);
        EXPECT_EQ(outcome.read, lines);
        EXPECT_EQ(view.mmo2.contains(note), cut);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
        const QString summary = u"共导入原始数据记录%1条；其中有效数据%1条，重复或无效数据0条。"_s.arg(lines);
        EXPECT_EQ(view.boxes[0].text, cut ? summary + u'\n' + note : summary);
        if (cut) {
            EXPECT_EQ(view.mmo2.mid(2),
                      (QStringList{u"原始记录数据导入成功！"_s,
                                   u"共导入原始记录数据3条；其中有效数据3条，重复或无效数据0条。"_s, note,
                                   u""_s, u""_s}));
        }
    }
}

TEST_F(RawImport, ARawRecordFileWhoseLastLineIsCutStaysAnError) {
    db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
    try {
        importFile("001232005-03-07 08:152001\r\n001232005-");
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), file() + u", line 2: '2005-' is not a valid date and time"_s);
    }
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), 1);
}

}  // namespace
}  // namespace orvelo::test
