#include "collection/log_reading.h"

#include "access/terminal_library.h"
#include "collection/attendance_store.h"
#include "collection/collection_texts.h"
#include "collection/raw_record_file.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/terminal_address.h"
#include "core/text.h"

namespace orvelo {

using namespace Qt::StringLiterals;

std::int32_t rawLineMachineNumber(const ConnectionPanelState& panel) {
    const std::int32_t machineNo = parseTerminalAddress(panel).convertedMachineNo();
    if (!fitsRawLine(machineNo))
        throw ConversionError(
            u"Machine number %1 is out of range: it must lie between 0 and %2"_s.arg(machineNo).arg(
                kMaxRawMachineNumber));
    return machineNo;
}

LogReadCounts readPreparedLog(CommandContext& ctx, std::int32_t handle, std::int32_t machineNo,
                              RawRecordCollector& raw, const std::function<void(int calls)>& afterReadStep) {
    LogReadCounts counts;
    AttendanceStore store(ctx.data, ctx.clock);
    // The counts of stored and refused records are those of committed groups only.
    const auto settled = [&counts, &store]() -> LogReadCounts& {
        counts.stored = store.counts().stored;
        counts.refused = store.counts().refused;
        counts.stoppedByDatabase = store.stopped();
        counts.unknownPersons = store.counts().unknownPersons;
        counts.unknownEnrollNumbers = store.counts().unknownEnrollNumbers;
        counts.moreUnknownPersons = store.counts().moreUnknownPersons;
        return counts;
    };
    std::int32_t recordCode = 0;
    try {
        for (;;) {
            // Looked at before every read, the one that would find the end of the log included:
            // that read has the terminal mark the new records collected, so a stop here leaves
            // them new, the ones read now as well (the next run stores those once, as duplicates).
            if (ctx.cancelRequested()) {
                counts.cancelled = true;
                store.settle();
                return settled();
            }
            // A group that is due commits before the read. A commit that fails stops the walk
            // before the read, so the terminal keeps the records as new.
            if (!store.settleIfDue()) return settled();
            std::int32_t enrollNumber = 0;
            std::int32_t modeCode = 0;
            std::int32_t ignored = 0;
            double recordTime = 0;
            std::int32_t result = 0;
            {
                // A read that fetches a page waits on the link, as long as the link makes it: the
                // open group commits during a long wait rather than keep the database's write lock
                // from another process through it.
                const AttendanceStore::Waiting waiting(store);
                result = ctx.terminal.FK_GetGeneralLogData(handle, &enrollNumber, &modeCode, &ignored,
                                                           &recordTime);
            }
            if (result == 1) {
                ++counts.records;
                recordCode = MapModeCode(modeCode, recordCode);
                const LogRecord record{enrollNumber, recordTime, recordCode, machineNo};
                // The line reaches the journal before the record joins a group: a crash before the
                // group commits leaves the record in the journal.
                raw.append(FormatRawLine(record));
                store.store(record);
            }
            if (afterReadStep) afterReadStep(counts.calls);
            ++counts.calls;
            if (result != 1) {
                counts.endResult = result;
                store.settle();
                return settled();
            }
            if (store.stopped()) return settled();
        }
    } catch (...) {
        // What was stored before the error stays stored, as it did when every record committed
        // on its own.
        store.settle();
        throw;
    }
}

CommandOutcome reportCollection(CommandContext& ctx, const LogReadCounts& counts, int readCount,
                                const QStringList& problems, const QString& rawFile, const QStringList& notes,
                                const std::function<void(const CommandOutcome&)>& atWorkEnd) {
    CommandOutcome outcome;
    outcome.result = problems.isEmpty() ? CommandOutcome::Result::Done : CommandOutcome::Result::Incomplete;
    outcome.read = readCount;
    outcome.stored = counts.stored;
    outcome.refusedByDatabase = counts.refused;
    outcome.rejected = readCount - counts.stored - counts.refused;
    outcome.rawRecordFile = rawFile;

    QStringList lines = problems;
    if (problems.isEmpty()) lines.append(collectionSuccessLine());
    lines.append(counts.refused == 0 ? collectionSummaryText(readCount, counts.stored)
                                     : collectionSummaryText(readCount, counts.stored, outcome.rejected));
    if (counts.refused > 0) lines.append(collectionRefusedLine(counts.refused, rawFile));
    lines += notes;
    if (counts.unknownPersons > 0)
        lines.append(unknownPersonsLine(counts.unknownPersons, counts.unknownEnrollNumbers,
                                        counts.moreUnknownPersons, rawFile));

    ctx.view.appendLog(LogPane::Mmo2, QString());
    for (const QString& line : lines) ctx.view.appendLog(LogPane::Mmo2, line);
    if (atWorkEnd) atWorkEnd(outcome);
    ctx.workEnded();
    // The box of a plain success is the summary alone, as always.
    if (outcome.succeeded() && lines.size() == 2) {
        ctx.view.messageBox(lines.at(1), collectionCaption(), BoxIcon::Information);
    } else {
        // The box shows what the log pane shows, the success line left out.
        QStringList boxLines = lines;
        if (problems.isEmpty()) boxLines.removeFirst();
        ctx.view.messageBox(boxLines.join(u'\n'), collectionCaption(),
                            outcome.succeeded() ? BoxIcon::Information : BoxIcon::Warning);
    }
    return outcome;
}

}  // namespace orvelo
