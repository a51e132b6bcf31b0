#include <QDir>
#include <QFile>

#include "collection/attendance_store.h"
#include "collection/collection_commands.h"
#include "collection/collection_texts.h"
#include "collection/raw_record_file.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// At most this much of a bad line goes into the error: a file that is no raw record file may
// hold one line of many megabytes.
constexpr qsizetype kShownLineLength = 100;

[[noreturn]] void throwBadLine(const QString& path, qsizetype lineNumber, const QString& line,
                               const QString& reason) {
    // The reason quotes the field that failed; a field of a huge line is itself huge.
    QString shownReason = reason;
    if (reason.size() > kShownLineLength + 40) {
        shownReason = u"not a raw record line: '"_s + line.left(kShownLineLength) + u"...'"_s;
    }
    throw ConversionError(
        u"%1, line %2: %3"_s.arg(QDir::toNativeSeparators(path)).arg(lineNumber).arg(shownReason));
}

// A journal (.part) is written a line at a time while a download or a watch runs: one killed in
// the middle of a write leaves a last line without its line end. Only a journal is read this way;
// every line of a finished raw record file ends with one, whatever it holds.
bool isJournal(const QString& path) {
    return path.endsWith(u".part"_s);
}

bool endsWithoutLineEnd(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || !file.seek(file.size() - 1)) return false;
    char last = 0;
    if (!file.getChar(&last)) return false;
    return last != '\r' && last != '\n';
}

}  // namespace

CommandOutcome btn_ImportFromHVClick(CommandContext& ctx) {
    ctx.view.setFileDialogFilter(u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s);
    ctx.view.setFileDialogFolder(rawDataFolder(ctx.appDir));
    const std::optional<QString> chosen = ctx.view.chooseFile();
    if (!chosen) return {};
    const QString path = *chosen;

    ctx.view.appendLog(LogPane::Mmo2, u"正在从原始记录文件"_s + path + u"中导入记录数据....."_s);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    QStringList lines = readRawRecordLines(path);
    QStringList notes;
    if (isJournal(path) && !lines.isEmpty() && endsWithoutLineEnd(path)) {
        notes << rawImportCutLineSkippedLine(int(lines.size()));
        lines.removeLast();
    }
    AttendanceStore store(ctx.data, ctx.clock);
    int processed = 0;
    bool cancelled = false;
    for (const QString& line : lines) {
        // The file stays as it is: importing it again stores the lines not reached now.
        if (ctx.cancelRequested()) {
            cancelled = true;
            break;
        }
        // A line that does not parse stops the import here; the rows of the lines before it stay.
        LogRecord record;
        try {
            record = ParseRawLine(line);
        } catch (const ConversionError& error) {
            store.settle();
            throwBadLine(path, processed + 1, line, error.text());
        }
        const bool usable = store.store(record);
        ++processed;
        // The file stays as it is: importing it again once the database is usable stores the rest.
        if (!usable) break;
    }
    // A failed last commit counts its records as refused; they are still in the file.
    store.settle();
    const bool stopped = store.stopped();
    const int storedCount = store.counts().stored;
    const int refused = store.counts().refused;
    // After every other line: the records of persons not yet entered stay in this file.
    if (const StoreCounts& counts = store.counts(); counts.unknownPersons > 0)
        notes << unknownPersonsLine(counts.unknownPersons, counts.unknownEnrollNumbers,
                                    counts.moreUnknownPersons, path);

    CommandOutcome outcome;
    outcome.result = stopped || cancelled ? CommandOutcome::Result::Incomplete : CommandOutcome::Result::Done;
    outcome.read = processed;
    outcome.stored = storedCount;
    outcome.refusedByDatabase = refused;
    outcome.rejected = processed - storedCount - refused;
    outcome.rawRecordFile = path;
    if (refused == 0 && !cancelled) {
        ctx.view.appendLog(LogPane::Mmo2, rawImportSuccessLine());
        ctx.view.appendLog(LogPane::Mmo2, rawImportLogSummaryText(processed, storedCount));
        for (const QString& note : notes) ctx.view.appendLog(LogPane::Mmo2, note);
        ctx.workEnded();
        ctx.view.messageBox(
            (QStringList{rawImportBoxSummaryText(processed, storedCount)} + notes).join(u'\n'),
            rawImportCaption(), BoxIcon::Information);
    } else {
        QStringList logLines;
        if (stopped)
            logLines << rawImportStoppedByDatabaseLine(processed);
        else if (cancelled)
            logLines << rawImportCancelledLine(processed + 1);
        QStringList refusedLines;
        if (refused > 0) refusedLines << rawImportRefusedLine(refused, path);
        QStringList boxLines = logLines;
        // An import that stopped early is no success.
        if (logLines.isEmpty()) logLines << rawImportSuccessLine();
        logLines << rawImportLogSummaryText(processed, storedCount, outcome.rejected) << refusedLines
                 << notes;
        boxLines << rawImportBoxSummaryText(processed, storedCount, outcome.rejected) << refusedLines
                 << notes;
        for (const QString& line : logLines) ctx.view.appendLog(LogPane::Mmo2, line);
        ctx.workEnded();
        ctx.view.messageBox(boxLines.join(u'\n'), rawImportCaption(), BoxIcon::Warning);
    }
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
    return outcome;
}

}  // namespace orvelo
