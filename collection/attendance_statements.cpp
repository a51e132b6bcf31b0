#include "collection/attendance_statements.h"

#include "core/text.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// The parts of the record's date-time text "yyyy-mm-dd hh:nn:ss" that the statements use.
struct RecordTimeTexts {
    QString date;         // "yyyy-mm-dd " with its trailing blank, as RecDate stores it
    QString trimmedDate;  // "yyyy-mm-dd", as the duplicate test compares it
    QString time;         // "hh:nn"; seconds are never stored or compared
};

RecordTimeTexts recordTimeTexts(DateTimeValue recordTime) {
    const QString text = dateTimeText(recordTime);
    RecordTimeTexts parts;
    parts.date = text.left(11);
    parts.trimmedDate = trimBlanks(parts.date);
    parts.time = text.mid(11, 5);
    return parts;
}

QString testText(const QString& emplid, const RecordTimeTexts& t) {
    return u"SELECT * fROM atdrecord WHERE ((emplid = "_s + sqlQuoted(trimBlanks(emplid)) +
           u" )AND (recdate = "_s + sqlQuoted(t.trimmedDate) + u" )ANd (rectime = "_s + sqlQuoted(t.time) +
           u"))"_s;
}

}  // namespace

QString employeeLookupSql(std::int32_t enrollNumber) {
    return u"select emplid from HrEmployee where cardid="_s + sqlQuoted(zeroPad(enrollNumber, 5));
}

QString duplicateTestSql(const QString& emplid, DateTimeValue recordTime) {
    return testText(emplid, recordTimeTexts(recordTime));
}

QString attendanceWriteSql(const QString& emplid, const LogRecord& record, DateTimeValue now) {
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

}  // namespace orvelo
