#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/command_outcome.h"

namespace orvelo {

struct CommandContext;
struct ConnectionPanelState;
class RawRecordCollector;

// The machine number typed in the panel, refused unless a raw record line can hold it: the line
// keeps it in its last three characters, so 1000 would read back as another code and machine.
// Throws ConversionError.
std::int32_t rawLineMachineNumber(const ConnectionPanelState& panel);

struct LogReadCounts {
    int calls = 0;                   // read steps made, the final one that delivered nothing included
    int records = 0;                 // records delivered
    int stored = 0;                  // rows written and committed
    int refused = 0;                 // records the database refused (not duplicates, not unknown persons),
                                     // those of a group whose commit failed included
    std::int32_t endResult = 0;      // the read step that ended the walk: 0 the end, negative a failure
    bool stoppedByDatabase = false;  // the walk stopped because the database could take nothing
    bool cancelled = false;          // the walk stopped because the operator asked the command to stop
    int unknownPersons = 0;          // records of persons missing from the employee table
    std::vector<std::int32_t> unknownEnrollNumbers;  // the first of them (StoreCounts)
    bool moreUnknownPersons = false;

    int rejected() const { return records - stored - refused; }
    // The walk ended on a failed link or reply rather than at the end of the log.
    bool linkFailed() const { return !stoppedByDatabase && !cancelled && endResult < 0; }
};

// Reads the log that a successful load step prepared, until a read step returns anything but 1.
// Each record gets its record code from MapModeCode, goes into `raw` as its line and only then to
// the attendance store, which commits the rows in groups (the data module's commitGroupLimits,
// and during any read that waits long on the link); the last group commits before this returns.
// `afterReadStep` is told the number of read steps before the one just made.
//
// When the database cannot take a record at all (busy past its time-out, read-only, connection
// lost, a group's commit failed) the walk stops there, before the read that finds the end of the
// log: the terminal marks new records collected only at that read, so it keeps the unread ones
// (and the ones read now) as new, and the next download brings them. Only the last group commits
// after that read: if its commit fails, its records are in the raw record file, counted refused.
//
// A cancellation asked for (ctx.cancelRequested) stops the walk the same way, before the next
// read: what was read is in `raw` and its last group commits, the rest stays new on the terminal.
LogReadCounts readPreparedLog(CommandContext& ctx, std::int32_t handle, std::int32_t machineNo,
                              RawRecordCollector& raw,
                              const std::function<void(int calls)>& afterReadStep = {});

// Reports the end of a download or a USB-disk import in mmo_2 and a box, and returns it as the
// command's outcome. With no `problems` and nothing refused: the success line, the summary and an
// information box, exactly as always. An incomplete walk (`problems` says why, first) shows no
// success line; records refused by the database add the line naming `rawFile`. Either makes the
// box a warning. Records of persons missing from the employee table add, after every other line,
// the line naming them and `rawFile`. The work ends before the box: `atWorkEnd` (when given) is
// told the outcome, then the context's workEnded.
CommandOutcome reportCollection(CommandContext& ctx, const LogReadCounts& counts, int readCount,
                                const QStringList& problems, const QString& rawFile,
                                const QStringList& notes = {},
                                const std::function<void(const CommandOutcome&)>& atWorkEnd = {});

}  // namespace orvelo
