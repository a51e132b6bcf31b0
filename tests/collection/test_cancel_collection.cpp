// The collection commands cancelled part-way (the window's 取消, orveloctl's SIGINT / SIGTERM): each
// stops before its next record or line, keeps and stores what it read, ends as incomplete with a
// line that says so and a warning box, and a run after it stores the rest, each record once.
#include <sqlite3.h>

#include <QByteArray>
#include <functional>

#include "collection/collection_history.h"
#include "collection/collection_texts.h"
#include "collection/log_record.h"
#include "collection/raw_record_file.h"
#include "core/cancellation.h"
#include "tests/collection/collection_fixture.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRecords = 5;
constexpr int kCancelAfter = 2;  // records stored when the operator cancels

// Calls `onStored` after each row the test database's connection writes into AtdRecord: the
// operator's click lands while the command stores its records, at a point the test chooses.
class AfterEachStoredRow {
public:
    AfterEachStoredRow(DataModule& data, std::function<void()> onStored)
        : m_handle(data.nativeSqliteHandle()), m_onStored(std::move(onStored)) {
        EXPECT_NE(m_handle, nullptr) << "the embedded database's SQLite handle is not reachable";
        if (m_handle) sqlite3_update_hook(m_handle, &AfterEachStoredRow::changed, this);
    }
    ~AfterEachStoredRow() {
        if (m_handle) sqlite3_update_hook(m_handle, nullptr, nullptr);
    }
    AfterEachStoredRow(const AfterEachStoredRow&) = delete;
    AfterEachStoredRow& operator=(const AfterEachStoredRow&) = delete;

private:
    static void changed(void* self, int operation, const char*, const char* table, sqlite3_int64) {
        if (operation == SQLITE_INSERT && qstricmp(table, "AtdRecord") == 0)
            static_cast<AfterEachStoredRow*>(self)->m_onStored();
    }

    sqlite3* m_handle;
    std::function<void()> m_onStored;
};

enum class Command { NewRecords, AllRecords, UsbDisk, RawFile };

struct CancelCase {
    const char* name;
    Command command;
    QString cancelledLine;  // the line that replaces the success line, kCancelAfter records read
    QString summary;        // the summary line of kCancelAfter records read, all of them stored
    QString caption;
};

class CancelledCollection : public CollectionTest, public testing::WithParamInterface<CancelCase> {
protected:
    void SetUp() override {
        db.addActiveEmployee(u"000123"_s, u"00123"_s, u"甲"_s);
        db.addActiveEmployee(u"000124"_s, u"00124"_s, u"乙"_s);
        // Each at a minute of its own: none is a duplicate of another.
        for (int i = 0; i < kRecords; ++i)
            addLog(123 + i % 2, 1, u"2005-03-07 08:%1:40"_s.arg(10 + i, 2, 10, QChar(u'0')));
        QByteArray lines;
        for (const auto& entry : terminal.logs)
            lines += FormatRawLine(LogRecord{entry.enrollNumber, entry.dateTime, 2, 1}).toLatin1() + "\r\n";
        writeFile(importedFile(), lines);
        ctx.cancellation = &cancellation;
    }

    QString importedFile() const { return db.appDir() + u"data/FDataQ5050307080000.hv"_s; }

    CommandOutcome run() {
        switch (GetParam().command) {
            case Command::NewRecords:
                return btn_GetDataClick(ctx, true);
            case Command::AllRecords:
                return btn_GetDataClick(ctx, false);
            case Command::UsbDisk:
                view.fileAnswers.push_back(u"/media/op/STICK/GLog_001.txt"_s);
                return btn_ImportDataFromUClick(ctx, [] { return QString(); });
            case Command::RawFile:
                view.fileAnswers.push_back(importedFile());
                return btn_ImportFromHVClick(ctx);
        }
        return {};
    }

    bool downloads() const {
        return GetParam().command == Command::NewRecords || GetParam().command == Command::AllRecords;
    }

    int distinctRows() {
        return db.scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT EmplID, RecDate, RecTime FROM AtdRecord)"_s)
            .toInt();
    }

    Cancellation cancellation;
};

TEST_P(CancelledCollection, StopsBeforeTheNextRecordAndARunAfterItStoresTheRestOnce) {
    const CancelCase& c = GetParam();
    CommandOutcome cancelled;
    {
        int stored = 0;
        const AfterEachStoredRow click(db.data(), [&] {
            if (++stored == kCancelAfter) cancellation.request();
        });
        cancelled = run();
    }

    EXPECT_EQ(cancelled.result, CommandOutcome::Result::Incomplete);
    EXPECT_EQ(cancelled.read, kCancelAfter);
    EXPECT_EQ(cancelled.stored, kCancelAfter);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kCancelAfter);
    EXPECT_TRUE(view.mmo2.contains(c.cancelledLine)) << view.mmo2.join(u'\n').toStdString();
    EXPECT_TRUE(c.cancelledLine.contains(u"已取消"_s));
    EXPECT_TRUE(view.mmo2.contains(c.summary)) << view.mmo2.join(u'\n').toStdString();
    EXPECT_FALSE(view.mmo2.contains(collectionSuccessLine()));
    EXPECT_FALSE(view.mmo2.contains(rawImportSuccessLine()));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_TRUE(view.boxes[0].text.startsWith(c.cancelledLine + u'\n')) << view.boxes[0].text.toStdString();
    EXPECT_EQ(view.boxes[0].caption, c.caption);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
    if (downloads()) {
        // Stopped before the read that would find the end of the log; enabled again, let go, and
        // the run noted as incomplete; what was read is in the raw record file.
        EXPECT_EQ(terminal.calls(u"FK_GetGeneralLogData"_s).size(), std::size_t(kCancelAfter));
        EXPECT_EQ(terminal.calls(u"FK_EnableDevice"_s),
                  (QStringList{u"FK_EnableDevice(1,0)"_s, u"FK_EnableDevice(1,1)"_s}));
        EXPECT_EQ(terminal.calls(u"FK_DisConnect"_s).size(), 1u);
        EXPECT_EQ(readRawRecordLines(rawFile()).size(), kCancelAfter);
        const CollectionHistory history = readCollectionHistory(db.appDir()).history;
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history.begin()->second.result, CommandOutcome::Result::Incomplete);
    }

    // Ready for the next command: it brings everything, the records read before as duplicates.
    cancellation.reset();
    view.mmo2.clear();
    view.boxes.clear();
    clock.value += 1.0 / 86400;  // a raw record file of its own
    const CommandOutcome again = run();

    EXPECT_EQ(again.result, CommandOutcome::Result::Done);
    EXPECT_EQ(again.read, kRecords);
    EXPECT_EQ(again.stored, kRecords - kCancelAfter);
    EXPECT_EQ(db.rowCount(u"AtdRecord"_s), kRecords);
    EXPECT_EQ(distinctRows(), kRecords);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Information);
    EXPECT_FALSE(view.mmo2.join(u'\n').contains(u"已取消"_s));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CancelledCollection,
    testing::Values(CancelCase{"NewRecords", Command::NewRecords, collectionCancelledLine(2),
                               collectionSummaryText(2, 2), u"数据采集"_s},
                    CancelCase{"AllRecords", Command::AllRecords, collectionCancelledLine(2),
                               collectionSummaryText(2, 2), u"数据采集"_s},
                    CancelCase{"UsbDisk", Command::UsbDisk, usbImportCancelledLine(2),
                               collectionSummaryText(2, 2), u"数据采集"_s},
                    // Stopped before the third line.
                    CancelCase{"RawFile", Command::RawFile, rawImportCancelledLine(3),
                               rawImportLogSummaryText(2, 2), u"原始数据导入"_s}),
    [](const testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST(CancelledCollectionTexts, SayWhereTheCommandStoppedAndThatARunAfterItBringsTheRest) {
    EXPECT_EQ(collectionCancelledLine(120),
              u"数据采集未完成！采集已取消，在读取120条记录后停止；设备上未读取的记录不受影响，"
              u"再次执行本命令可采集其余记录。"_s);
    EXPECT_EQ(usbImportCancelledLine(7),
              u"数据采集未完成！导入已取消，在读取7条记录后停止；再次导入该U盘数据文件可导入其余记录，"
              u"已存入的记录不会重复。"_s);
    EXPECT_EQ(rawImportCancelledLine(31),
              u"原始记录数据导入未完成！导入已取消，在第31行停止，该行及其后各行没有导入；"
              u"再次导入该原始记录文件可导入其余记录，已存入的记录不会重复。"_s);
}

}  // namespace
}  // namespace orvelo::test
