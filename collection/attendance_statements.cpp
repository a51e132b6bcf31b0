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

QString embeddedEmployeeLookupSql() {
    return u"select emplid from HrEmployee where cardid=?"_s;
}

QVariant embeddedEmployeeLookupValue(std::int32_t enrollNumber) {
    return zeroPad(enrollNumber, 5);
}

QString embeddedAttendanceWriteSql() {
    // Each value is bound once; the test compares the date with its trailing blank, which the
    // column's RTRIM collation takes as the trimmed date the text compares.
    return u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
           u"OperDate) "
           u"SELECT v.e, v.c, v.d, v.t, v.a, v.m, 2, 'sa', v.o "
           u"FROM (SELECT ? AS e, ? AS c, ? AS d, ? AS t, ? AS a, ? AS m, ? AS o, ? AS k) AS v "
           u"WHERE NOT EXISTS (SELECT 1 FROM atdrecord WHERE emplid = v.k AND recdate = v.d AND rectime = v.t)"_s;
}

QString serverAttendanceWriteSql() {
    return u"INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
           u"OperDate) VALUES (?, ?, ?, ?, ?, ?, 2, 'sa', ?) ON CONFLICT DO NOTHING"_s;
}

std::array<QVariant, 8> embeddedAttendanceWriteValues(const QString& emplid, const LogRecord& record,
                                                      const QString& operDate) {
    const RecordTimeTexts t = recordTimeTexts(record.RecordTime);
    return {emplid,
            zeroPad(record.EnrollNumber, 6),
            t.date,
            t.time,
            record.RecordCode,
            zeroPad(record.MachineNo, 3),
            operDate,
            trimBlanks(emplid)};
}

}  // namespace orvelo
