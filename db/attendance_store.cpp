#include "db/attendance_store.h"

#include "core/text.h"
#include "db/data_module.h"

#include <exception>

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// The parts of the record's date-time text "yyyy-mm-dd hh:nn:ss" that the statements use.
struct RecordTimeTexts {
    QString date;         // "yyyy-mm-dd " with its trailing blank, as RecDate stores it
    QString trimmedDate;  // "yyyy-mm-dd", as the duplicate test compares it
    QString time;         // "hh:nn"; seconds are never stored or compared
};

RecordTimeTexts recordTimeTexts(DateTimeValue recordTime)
{
    const QString text = dateTimeText(recordTime);
    RecordTimeTexts parts;
    parts.date = text.left(11);
    parts.trimmedDate = trimBlanks(parts.date);
    parts.time = text.mid(11, 5);
    return parts;
}

QString testText(const QString& emplid, const RecordTimeTexts& t)
{
    return u"SELECT * fROM atdrecord WHERE ((emplid = "_s + sqlQuoted(trimBlanks(emplid)) +
           u" )AND (recdate = "_s + sqlQuoted(t.trimmedDate) + u" )ANd (rectime = "_s + sqlQuoted(t.time) +
           u"))"_s;
}

// Every statement of the store goes the same way: close, clear the text, set it, open.
void openStatement(Query& query, const QString& sql)
{
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

QString countsText(const QString& head, int readCount, const QString& middle, int storedCount,
                   const QString& tail, int rejected)
{
    return head + QString::number(readCount) + middle + QString::number(storedCount) + tail +
           QString::number(rejected) + u"条。"_s;
}

}  // namespace

std::int32_t MapModeCode(std::int32_t modeCode, std::int32_t previousRecordCode)
{
    switch (modeCode) {
    case 1: return 2;
    case 2: return 3;
    case 3: return 1;
    case 4: return 35;
    case 5: return 4;
    case 6: return 35;
    case 7: return 33;
    case 10: return 11;
    default: return previousRecordCode;
    }
}

QString employeeLookupSql(std::int32_t enrollNumber)
{
    return u"select emplid from HrEmployee where cardid="_s + sqlQuoted(zeroPad(enrollNumber, 5));
}

QString duplicateTestSql(const QString& emplid, DateTimeValue recordTime)
{
    return testText(emplid, recordTimeTexts(recordTime));
}

QString attendanceWriteSql(const QString& emplid, const LogRecord& record, DateTimeValue now)
{
    const RecordTimeTexts t = recordTimeTexts(record.RecordTime);
    const QString values = sqlQuoted(emplid) + u',' + sqlQuoted(zeroPad(record.EnrollNumber, 6)) + u',' +
                           sqlQuoted(t.date) + u',' + sqlQuoted(t.time) + u',' +
                           QString::number(record.RecordCode) + u',' +
                           sqlQuoted(zeroPad(record.MachineNo, 3)) + u",2,"_s + sqlQuoted(u"sa"_s) + u',' +
                           sqlQuoted(dateTimeText(now));
    return testText(emplid, t) +
           u" INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
           u"OperDate)VALUES ("_s +
           values + u')';
}

bool StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record)
{
    bool written = false;
    try {
        openStatement(data.qry_1, employeeLookupSql(record.EnrollNumber));
        const QVariant emplid = data.qry_1.rowCount() > 0 ? data.qry_1.field(u"emplid"_s) : QVariant();
        if (!emplid.isNull()) {
            try {
                const QString employee = emplid.toString();
                openStatement(data.qry_2, duplicateTestSql(employee, record.RecordTime));
                if (data.qry_2.rowCount() == 0) {
                    // The batch repeats the test before its insert; it counts as written once it
                    // completes without error.
                    openStatement(data.qry_2, attendanceWriteSql(employee, record, clock.now()));
                    written = true;
                }
            } catch (const std::exception&) {
                // A failing test or write (constraint, lost connection, bad value) only costs this
                // record: it counts as rejected and the command goes on with the next one.
            }
        }
        data.qry_1.close();
    } catch (const std::exception&) {
        // A failing lookup rejects the record the same way; qry_1 stays as the error left it, and
        // the next lookup closes it before use.
    }
    return written;
}

QString collectionSuccessLine()
{
    return u"数据采集成功！"_s;
}

QString collectionCaption()
{
    return u"数据采集"_s;
}

QString collectionSummaryText(int readCount, int storedCount)
{
    return countsText(u"共采集数据记录"_s, readCount, u"条；其中有效数据记录"_s, storedCount,
                      u"条，重复或无效数据记录"_s, readCount - storedCount);
}

QString rawImportSuccessLine()
{
    return u"原始记录数据导入成功！"_s;
}

QString rawImportCaption()
{
    return u"原始数据导入"_s;
}

QString rawImportLogSummaryText(int readCount, int storedCount)
{
    return countsText(u"共导入原始记录数据"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, readCount - storedCount);
}

QString rawImportBoxSummaryText(int readCount, int storedCount)
{
    return countsText(u"共导入原始数据记录"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, readCount - storedCount);
}

}  // namespace orvelo
