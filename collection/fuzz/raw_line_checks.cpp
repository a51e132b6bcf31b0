#include "collection/fuzz/raw_line_checks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

#include "collection/raw_record_file.h"
#include "core/errors.h"

namespace orvelo {

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The lines a reader must find: CR LF, a lone CR and a lone LF each end one; a line end at the
// very end makes no extra line.
qsizetype expectedLineCount(const std::uint8_t* data, std::size_t size) {
    qsizetype count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n') continue;
        ++count;
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
    }
    const bool openLast = size > 0 && data[size - 1] != '\r' && data[size - 1] != '\n';
    return count + (openLast ? 1 : 0);
}

bool onlyFileCharacters(const QString& line) {
    for (const QChar c : line) {
        if (!((c >= u'0' && c <= u'9') || c == u'-' || c == u':' || c == u' ')) return false;
    }
    return true;
}

// The scratch file is written once per input: in memory where the system offers a folder for it.
QString scratchTemplate() {
    const QString shm = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return base + QStringLiteral("/orvelo-fuzz-XXXXXX");
}

// The reader takes a path; one scratch file serves every input of the process.
QString scratchPath() {
    static QTemporaryDir dir(scratchTemplate());
    require(dir.isValid());
    return dir.filePath(QStringLiteral("FDataQ5050307090012.hv"));
}

}  // namespace

void checkRawLine(const QString& line) {
    LogRecord record;
    try {
        record = ParseRawLine(line);
    } catch (const ConversionError&) {
        return;
    } catch (...) {
        std::abort();  // the import shows only conversion errors as the line's fault
    }
    require(dateTimeText(record.RecordTime).endsWith(QStringLiteral(":00")));
    if (!fitsRawLine(record.MachineNo)) return;

    const QString again = FormatRawLine(record);
    require(onlyFileCharacters(again));
    if (record.EnrollNumber >= 0 && record.EnrollNumber <= 99999 && record.RecordCode >= 0) {
        require(again.size() == 24 + QString::number(record.RecordCode).size());
    }
    LogRecord back;
    try {
        back = ParseRawLine(again);
    } catch (...) {
        std::abort();
    }
    require(back == record);
}

void checkRawRecordFileInput(const std::uint8_t* data, std::size_t size) {
    const QString path = scratchPath();
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        require(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                static_cast<qint64>(size));
    }
    const QStringList lines = readRawRecordLines(path);
    require(lines.size() == expectedLineCount(data, size));
    for (const QString& line : lines) {
        require(!line.contains(u'\r') && !line.contains(u'\n'));
        checkRawLine(line);
    }
}

}  // namespace orvelo
