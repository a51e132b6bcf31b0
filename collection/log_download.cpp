#include <cmath>
#include <limits>

#include "access/connection.h"
#include "access/device_session.h"
#include "access/terminal_library.h"
#include "collection/attendance_store.h"
#include "collection/collection_commands.h"
#include "collection/collection_history.h"
#include "collection/collection_texts.h"
#include "collection/log_reading.h"
#include "collection/raw_record_file.h"
#include "context/command_context.h"
#include "core/ports.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// The status codes of FK_GetDeviceStatus for the two choices.
constexpr std::int32_t kNewRecordsStatus = FK_STATUS_NEW_LOGS;
constexpr std::int32_t kAllRecordsStatus = FK_STATUS_ALL_LOGS;

// calls / total x 100, truncated toward zero. A device that reports no total (or a nonsensical
// one) leaves the bar at 0 rather than dividing by it; more records than the total go above 100.
int progressPercent(int calls, std::int32_t total) {
    if (total <= 0) return 0;
    const double percent = std::trunc(double(calls) / double(total) * 100.0);
    return percent >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                              : int(percent);
}

// The read that ends a new-records log also has the terminal mark them collected; a reply damaged
// or lost after that read may come when the terminal has done so. A walk that delivered all the
// records the terminal counted asks it, while it is still disabled and takes no punch, whether
// any is left new: none left means the transfer is whole, whatever that last reply said.
bool everyRecordMarkedCollected(CommandContext& ctx, std::int32_t handle, const LogReadCounts& counts,
                                std::int32_t total) {
    if (!counts.linkFailed() || counts.records < total) return false;
    std::int32_t left = -1;
    return ctx.terminal.FK_GetDeviceStatus(handle, kNewRecordsStatus, &left) == FK_OK && left == 0;
}

// `noteAtWorkEnd` is called with the outcome once the work is done, before the closing box.
CommandOutcome downloadLog(CommandContext& ctx, bool newRecordsOnly,
                           const std::function<void(const CommandOutcome&)>& noteAtWorkEnd) {
    ctx.view.setProgress(0, true);
    ctx.view.setStatusText(u"正在采集设备中的数据，请稍等......"_s);
    // Refused before the device is touched: a machine number the raw record lines cannot hold
    // would come back from them as another machine and record code.
    rawLineMachineNumber(ctx.panel);

    CommandOutcome outcome;
    if (!ConnectDevice(ctx.panel, ctx.settings, ctx.terminal)) {
        outcome.result = CommandOutcome::Result::NotReachable;
        noteAtWorkEnd(outcome);
        ctx.workEnded();
        ctx.view.messageBox(u"数据采集失败，可能是设备没有连接好，请连接好设备后重试！"_s,
                            collectionCaption(), BoxIcon::Warning);
    } else {
        const std::int32_t handle = ctx.settings.DeviceHandle;
        const std::int32_t machineNo = ctx.settings.MachineNo;
        RawRecordCollector raw(ctx.appDir, ctx.clock.now());
        std::int32_t total = 0;
        std::int32_t statusResult = 0;
        std::int32_t loadResult = 0;
        LogReadCounts counts;
        bool endConfirmed = false;
        {
            DeviceSession session(ctx.terminal, handle, DeviceSession::Start::Disable);
            statusResult = ctx.terminal.FK_GetDeviceStatus(
                handle, newRecordsOnly ? kNewRecordsStatus : kAllRecordsStatus, &total);
            loadResult = ctx.terminal.FK_LoadGeneralLogData(handle, newRecordsOnly ? 1 : 0);
            if (loadResult == FK_OK) {
                raw.begin();
                counts = readPreparedLog(ctx, handle, machineNo, raw, [&ctx, total](int calls) {
                    ctx.view.setProgress(progressPercent(calls, total), true);
                });
                endConfirmed = newRecordsOnly && statusResult == FK_OK &&
                               everyRecordMarkedCollected(ctx, handle, counts, total);
            }
            // Released before the file is written, so a file error cannot leave the device disabled.
            session.close();
        }
        const bool loaded = loadResult == FK_OK;
        QString rawFile;
        if (loaded) rawFile = raw.finish(ctx.clock.now());

        const int readCount = loaded ? counts.records : 0;
        // A terminal that refuses the load (0) holds nothing to give: that stays a success of 0
        // records. A load or a read lost to the link, or a clean end short of the total the
        // terminal reported, leaves records on the terminal: the run is incomplete.
        QStringList problems;
        if (loadResult < 0 || (counts.linkFailed() && !endConfirmed))
            problems << collectionLinkFailedLine(readCount);
        else if (counts.stoppedByDatabase)
            problems << collectionStoppedByDatabaseLine(readCount);
        else if (counts.cancelled)
            problems << collectionCancelledLine(readCount);
        else if (loaded && statusResult == FK_OK && readCount < total)
            problems << collectionShortOfTotalLine(readCount, total);
        outcome = reportCollection(ctx, counts, readCount, problems, rawFile, {}, noteAtWorkEnd);
    }
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.setProgress(0, false);
    ctx.view.setStatusText(QString());
    return outcome;
}

}  // namespace

CommandOutcome btn_GetDataClick(CommandContext& ctx, bool newRecordsOnly) {
    // Noted when the work ends, still under the folder's lock and before the closing box: the time
    // noted is that of the end of the collection, not of the operator's click.
    bool noted = false;
    const auto note = [&ctx, &noted](const CommandOutcome& outcome) {
        noted = true;
        noteCollection(ctx, outcome);
    };
    try {
        return downloadLog(ctx, newRecordsOnly, note);
    } catch (...) {
        // A stopped collection is noted too: the list of terminals should not show the last good
        // run as if it were the latest.
        if (!noted) {
            CommandOutcome stopped;
            stopped.result = CommandOutcome::Result::Error;
            noteCollection(ctx, stopped);
        }
        throw;
    }
}

}  // namespace orvelo
