#pragma once

#include <QString>
#include <QStringList>

#include "collection/log_record.h"
#include "core/datetime.h"
#include "core/unique_fd.h"

namespace orvelo {

// The raw record files: every record a download reads, one line each, kept in the folder `data`
// of the application folder so that records the store rejected can be imported again later.
//
// A line: the enroll number with at least five digits, the record time as "yyyy-mm-dd hh:nn", the
// record code in plain decimal and the machine number with three digits, e.g.
// "001232005-03-07 08:152001".

// The machine numbers a line can hold readably: the last three characters are the machine number.
constexpr std::int32_t kMaxRawMachineNumber = 999;
bool fitsRawLine(std::int32_t machineNo);

// The line of one record, without its line end. An enroll number wider than five digits is
// written whole (never cut); ParseRawLine still reads it back.
QString FormatRawLine(const LogRecord& record);

// The record of one line. The record time is found by its shape after the enroll number, so
// wide enroll numbers read back; the record code is taken as written. Throws ConversionError with
// the integer conversion's text for a number field, or "'<text>' is not a valid date and time".
LogRecord ParseRawLine(const QString& line);

// The full path of the raw record file for a date-time text "yyyy-mm-dd hh:nn:ss":
// <appDir>data/FDataQ5yymmddhhnnss.hv (appDir ends with "/").
QString RawFileName(const QString& appDir, const QString& dateTimeText);

// The folder of the raw record files, without a closing separator.
QString rawDataFolder(const QString& appDir);

// Collects the lines of one download. Each line is kept in memory and, before the record goes to
// the store, appended to a journal file in `data` (FDataQ5yymmddhhnnss-N.part, not listed by the
// "*.hv" filter), so that a crash leaves every record read in that file. finish() turns the
// journal into the raw record file under a name that no existing file holds.
class RawRecordCollector {
public:
    RawRecordCollector(QString appDir, DateTimeValue startTime);
    ~RawRecordCollector();
    RawRecordCollector(const RawRecordCollector&) = delete;
    RawRecordCollector& operator=(const RawRecordCollector&) = delete;

    // The load step succeeded: from now on the lines also go to the journal. A journal that
    // cannot be made costs only the crash safety; the lines stay in memory for finish().
    void begin();
    void append(const QString& line);
    const QStringList& lines() const { return m_lines; }
    QString journalPath() const { return m_journalPath; }

    // Writes the raw record file named after `now`, or after the next second whose name is free
    // (two downloads within one second never overwrite each other), creating `data` when it is
    // missing. Returns the path written. Throws FileError.
    QString finish(DateTimeValue now);

private:
    void closeJournal();

    QString m_appDir;
    DateTimeValue m_startTime;
    QStringList m_lines;
    QString m_journalPath;
    UniqueFd m_journal;
    bool m_journalComplete = false;  // every line so far reached the journal
};

// Writes `lines` (each followed by CR LF) to a new raw record file named after `now` or the next
// free second. Returns the path. Throws FileError.
QString writeRawRecordFile(const QString& appDir, const QStringList& lines, DateTimeValue now);

// The lines of a raw record file in file order: split at CR LF, lone CR and lone LF; a line end
// at the very end makes no extra line. Throws FileError when the file cannot be read.
QStringList readRawRecordLines(const QString& path);

}  // namespace orvelo
