#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <memory>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "collection/attendance_store.h"
#include "collection/collection_commands.h"
#include "collection/collection_texts.h"
#include "collection/log_reading.h"
#include "collection/raw_record_file.h"
#include "collection/removable_drives.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// The USB-disk log file's format (docs/terminal-library.md): a header line
// "ORVELO-USB-LOG 1 machine=N records=M", then M lines "enroll<TAB>mode<TAB>yyyy-mm-dd hh:nn:ss".
// The library takes a file only whole; these helpers find out why it refused one, and keep the
// good lines of a file that a few damaged lines spoil.
const QRegularExpression& headerPattern() {
    static const QRegularExpression pattern(u"^ORVELO-USB-LOG 1 machine=(-?\\d+) records=\\d+$"_s);
    return pattern;
}

bool isInt32(const QString& text) {
    static const QRegularExpression pattern(u"^-?\\d{1,10}$"_s);
    if (!pattern.match(text).hasMatch()) return false;
    bool ok = false;
    text.toInt(&ok);
    return ok;
}

bool isRecordLine(const QString& line) {
    const QStringList fields = line.split(u'\t');
    if (fields.size() != 3 || !isInt32(fields[0]) || !isInt32(fields[1])) return false;
    const QDateTime time = QDateTime::fromString(fields[2], u"yyyy-MM-dd HH:mm:ss"_s);
    return time.isValid() && time.date().year() >= 1900 && time.date().year() <= 9999;
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The good record lines of a file the library refused, written into a file of the same format
// that it takes. Throws FileError naming the file when it is missing, a folder, unreadable or
// holds no record line at all.
struct SalvagedFile {
    std::unique_ptr<QTemporaryFile> copy;
    int skipped = 0;
};

SalvagedFile salvage(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) throw FileError(u"USB-disk log file \"%1\" does not exist"_s.arg(shown(path)));
    if (info.isDir()) throw FileError(u"\"%1\" is a folder, not a USB-disk log file"_s.arg(shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(u"Cannot read USB-disk log file \"%1\": %2"_s.arg(shown(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(u"Cannot read USB-disk log file \"%1\": %2"_s.arg(shown(path), file.errorString()));

    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    QString machine = u"1"_s;
    QStringList good;
    int skipped = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r')) line.chop(1);
        if (i == 0) {
            const QRegularExpressionMatch header = headerPattern().match(line);
            if (header.hasMatch()) {
                machine = header.captured(1);
                continue;
            }
        }
        if (isRecordLine(line))
            good << line;
        else
            ++skipped;
    }
    if (good.isEmpty()) throw FileError(u"\"%1\" holds no attendance record"_s.arg(shown(path)));

    SalvagedFile result;
    result.skipped = skipped;
    result.copy = std::make_unique<QTemporaryFile>(QDir::tempPath() + u"/orvelo-usb-XXXXXX.txt"_s);
    if (!result.copy->open())
        throw FileError(u"Cannot create a temporary file: %1"_s.arg(result.copy->errorString()));
    QByteArray out = u"ORVELO-USB-LOG 1 machine=%1 records=%2\n"_s.arg(machine).arg(good.size()).toUtf8();
    for (const QString& line : good) out += line.toUtf8() + '\n';
    if (result.copy->write(out) != out.size() || !result.copy->flush())
        throw FileError(u"Cannot write a temporary file: %1"_s.arg(result.copy->errorString()));
    return result;
}

std::int32_t loadUsbFile(CommandContext& ctx, std::int32_t handle, const QString& path) {
    const QByteArray pathBytes = QFile::encodeName(path);
    return ctx.terminal.FK_USBLoadGeneralLogDataFromFile(
        handle, pathBytes.isEmpty() ? nullptr : pathBytes.constData());
}

}  // namespace

CommandOutcome btn_ImportDataFromUClick(CommandContext& ctx) {
    return btn_ImportDataFromUClick(ctx, [] { return lastRemovableDriveFolder(); });
}

CommandOutcome btn_ImportDataFromUClick(CommandContext& ctx,
                                        const std::function<QString()>& removableDriveFolder) {
    ctx.view.setFileDialogFilter(u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s);
    // With no removable drive the dialog keeps the folder it was last given.
    const QString drive = removableDriveFolder();
    if (!drive.isEmpty()) ctx.view.setFileDialogFolder(drive);
    const std::optional<QString> chosen = ctx.view.chooseFile();
    if (!chosen) return {};
    const QString path = *chosen;

    // The records are attributed to the typed machine number, whatever device wrote the file.
    ctx.settings.MachineNo = rawLineMachineNumber(ctx.panel);
    const std::int32_t machineNo = ctx.settings.MachineNo;
    ctx.view.appendLog(LogPane::Mmo2, u"正在从U盘数据文件："_s + path + u" 中采集数据..."_s);

    // No connection: the library reads the file with whatever handle the last connect left. A
    // file it refuses is no success of 0 records: either its good lines are read from a clean
    // copy, or the error says what is wrong with it.
    const std::int32_t handle = ctx.settings.DeviceHandle;
    SalvagedFile salvaged;
    if (loadUsbFile(ctx, handle, path) != 1) {
        salvaged = salvage(path);
        if (loadUsbFile(ctx, handle, salvaged.copy->fileName()) != 1)
            throw FileError(u"\"%1\" holds no attendance record"_s.arg(shown(path)));
    }
    RawRecordCollector raw(ctx.appDir, ctx.clock.now());
    raw.begin();
    const LogReadCounts counts = readPreparedLog(ctx, handle, machineNo, raw);
    if (counts.records == 0 && !counts.stoppedByDatabase && !counts.cancelled) {
        // Nothing was read: the empty journal has nothing to keep.
        if (!raw.journalPath().isEmpty()) QFile::remove(raw.journalPath());
        throw FileError(u"\"%1\" holds no attendance record"_s.arg(shown(path)));
    }
    const QString rawFile = raw.finish(ctx.clock.now());

    QStringList problems;
    if (counts.stoppedByDatabase)
        problems << usbImportStoppedByDatabaseLine(counts.records);
    else if (counts.cancelled)
        problems << usbImportCancelledLine(counts.records);
    QStringList notes;
    if (salvaged.skipped > 0) notes << usbImportSkippedLinesLine(salvaged.skipped);
    const CommandOutcome outcome = reportCollection(ctx, counts, counts.records, problems, rawFile, notes);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
    return outcome;
}

}  // namespace orvelo
