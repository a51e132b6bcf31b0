#include "collection/raw_record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>

#include "core/errors.h"
#include "core/file_io.h"
#include "core/text.h"
#include "core/unique_fd.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

constexpr double kSecond = 1.0 / 86400.0;
// How many following seconds a clashing file name may move to before writing gives up.
constexpr int kNameAttempts = 3600;

QString cannotCreateText(const QString& path, int error) {
    return u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), qt_error_string(error));
}

QString invalidDateTimeText(const QString& text) {
    return u"'%1' is not a valid date and time"_s.arg(text);
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// "yyyy-mm-dd hh:nn" starting at `from`.
bool hasDateTimeShape(const QString& line, qsizetype from) {
    static constexpr char16_t shape[] = u"dddd-dd-dd dd:dd";
    if (from + 16 > line.size()) return false;
    for (qsizetype i = 0; i < 16; ++i) {
        const QChar c = line.at(from + i);
        if (shape[i] == u'd' ? !isDigit(c) : c != QChar(shape[i])) return false;
    }
    return true;
}

// The twelve digits yymmddhhnnss of a date-time text.
QString nameDigits(const QString& dateTimeText) {
    return dateTimeText.mid(2, 2) + dateTimeText.mid(5, 2) + dateTimeText.mid(8, 2) +
           dateTimeText.mid(11, 2) + dateTimeText.mid(14, 2) + dateTimeText.mid(17, 2);
}

QByteArray fileBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
    return bytes;
}

void ensureDataFolder(const QString& appDir) {
    const QString folder = rawDataFolder(appDir);
    if (!QDir().mkpath(folder))
        throw FileError(u"Cannot create folder \"%1\""_s.arg(QDir::toNativeSeparators(folder)));
}

// Claims the raw record file name for `now` or the next free second: the create-or-fail step
// makes sure an existing file is never written over, also by another client writing at once.
std::pair<QString, UniqueFd> claimRawFile(const QString& appDir, DateTimeValue now) {
    for (int k = 0; k < kNameAttempts; ++k) {
        const QString path = RawFileName(appDir, dateTimeText(now + k * kSecond));
        UniqueFd fd = createNewFile(path);
        if (fd.isOpen()) return {path, std::move(fd)};
        if (errno != EEXIST) throw FileError(cannotCreateText(path, errno));
    }
    throw FileError(cannotCreateText(RawFileName(appDir, dateTimeText(now)), EEXIST));
}

}  // namespace

bool fitsRawLine(std::int32_t machineNo) {
    return machineNo >= 0 && machineNo <= kMaxRawMachineNumber;
}

QString FormatRawLine(const LogRecord& record) {
    return zeroPad(record.EnrollNumber, 5) + dateTimeText(record.RecordTime).left(16) +
           QString::number(record.RecordCode) + zeroPad(record.MachineNo, 3);
}

LogRecord ParseRawLine(const QString& line) {
    // The layout puts the record time at position 6; a wider enroll number pushes it right.
    qsizetype timeAt = 5;
    for (qsizetype i = 5; i + 16 <= line.size(); ++i) {
        if (hasDateTimeShape(line, i)) {
            timeAt = i;
            break;
        }
    }
    const QString enrollText = line.left(timeAt);
    const QString timeText = line.mid(timeAt, 16);
    const qsizetype codeAt = timeAt + 16;
    const QString codeText = line.mid(codeAt, std::max<qsizetype>(0, line.size() - 3 - codeAt));
    const QString machineText = line.right(3);

    LogRecord record;
    record.EnrollNumber = strToInt(enrollText);
    const auto time = parseDateTimeText(timeText);
    if (!time) throw ConversionError(invalidDateTimeText(timeText));
    record.RecordTime = *time;
    record.RecordCode = strToInt(codeText);
    record.MachineNo = strToInt(machineText);
    return record;
}

QString rawDataFolder(const QString& appDir) {
    return appDir + u"data"_s;
}

QString RawFileName(const QString& appDir, const QString& dateTimeText) {
    return appDir + u"data/FDataQ5"_s + nameDigits(dateTimeText) + u".hv"_s;
}

RawRecordCollector::RawRecordCollector(QString appDir, DateTimeValue startTime)
    : m_appDir(std::move(appDir)), m_startTime(startTime) {}

RawRecordCollector::~RawRecordCollector() {
    // A journal still open here belongs to a command that stopped before its raw record file was
    // written: it stays in `data` with every line read so far.
    closeJournal();
}

void RawRecordCollector::closeJournal() {
    m_journal.reset();
}

void RawRecordCollector::begin() {
    if (m_journal.isOpen()) return;
    m_journalComplete = false;
    if (!QDir().mkpath(rawDataFolder(m_appDir))) return;
    const QString stem = m_appDir + u"data/FDataQ5"_s + nameDigits(dateTimeText(m_startTime)) + u'-';
    for (int n = 1; n <= kNameAttempts; ++n) {
        const QString path = stem + QString::number(n) + u".part"_s;
        UniqueFd fd = createNewFile(path, O_APPEND);
        if (fd.isOpen()) {
            m_journal = std::move(fd);
            m_journalPath = path;
            m_journalComplete = writeAll(m_journal.get(), fileBytes(m_lines));
            return;
        }
        if (errno != EEXIST) return;
    }
}

void RawRecordCollector::append(const QString& line) {
    m_lines.append(line);
    if (m_journal.isOpen() && m_journalComplete)
        m_journalComplete = writeAll(m_journal.get(), line.toUtf8() + "\r\n");
}

QString RawRecordCollector::finish(DateTimeValue now) {
    ensureDataFolder(m_appDir);
    auto [path, fd] = claimRawFile(m_appDir, now);
    if (m_journal.isOpen() && m_journalComplete && ::fsync(m_journal.get()) == 0) {
        closeJournal();
        // The claimed (empty) file is ours alone, so replacing it by the journal is safe.
        if (::rename(QFile::encodeName(m_journalPath).constData(), QFile::encodeName(path).constData()) ==
            0) {
            fd.reset();
            m_journalPath.clear();
            return path;
        }
    }
    closeJournal();
    const bool written = writeAll(fd.get(), fileBytes(m_lines)) && ::fsync(fd.get()) == 0;
    const int error = errno;
    fd.reset();
    if (!written) throw FileError(cannotCreateText(path, error));
    // The raw record file now holds every line: an incomplete journal has nothing more to offer.
    if (!m_journalPath.isEmpty()) QFile::remove(m_journalPath);
    m_journalPath.clear();
    return path;
}

QString writeRawRecordFile(const QString& appDir, const QStringList& lines, DateTimeValue now) {
    ensureDataFolder(appDir);
    auto [path, fd] = claimRawFile(appDir, now);
    const bool written = writeAll(fd.get(), fileBytes(lines)) && ::fsync(fd.get()) == 0;
    const int error = errno;
    fd.reset();
    if (!written) throw FileError(cannotCreateText(path, error));
    return path;
}

QStringList readRawRecordLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(
            u"Cannot open file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(
            u"Cannot read file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') continue;
        lines.append(QString::fromUtf8(bytes.constData() + start, i - start));
        if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.append(QString::fromUtf8(bytes.constData() + start, n - start));
    return lines;
}

}  // namespace orvelo
