#include "collection/collection_commands.h"
#include "collection/log_reading.h"
#include "collection/raw_record_file.h"
#include "core/command_context.h"
#include "core/ports.h"
#include "collection/attendance_store.h"
#include "collection/collection_texts.h"
#include "device/connection.h"
#include "device/device_session.h"
#include "device/terminal_library.h"

#include <cmath>
#include <limits>

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// The status codes of FK_GetDeviceStatus for the two choices.
constexpr std::int32_t kNewRecordsStatus = FK_STATUS_NEW_LOGS;
constexpr std::int32_t kAllRecordsStatus = FK_STATUS_ALL_LOGS;

// calls / total x 100, truncated toward zero. A device that reports no total (or a nonsensical
// one) leaves the bar at 0 rather than dividing by it; more records than the total go above 100.
int progressPercent(int calls, std::int32_t total)
{
    if (total <= 0) return 0;
    const double percent = std::trunc(double(calls) / double(total) * 100.0);
    return percent >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                              : int(percent);
}

}  // namespace

void btn_GetDataClick(CommandContext& ctx, bool newRecordsOnly)
{
    ctx.view.setProgress(0, true);
    ctx.view.setStatusText(u"正在采集设备中的数据，请稍等......"_s);
    // Refused before the device is touched: a machine number the raw record lines cannot hold
    // would come back from them as another machine and record code.
    rawLineMachineNumber(ctx.panel.state().machineNo);

    if (!ConnectDevice(ctx.panel, ctx.settings, ctx.terminal)) {
        ctx.view.messageBox(u"数据采集失败，可能是设备没有连接好，请连接好设备后重试！"_s,
                            collectionCaption(), BoxIcon::Warning);
    } else {
        const std::int32_t handle = ctx.settings.DeviceHandle;
        const std::int32_t machineNo = ctx.settings.MachineNo;
        RawRecordCollector raw(ctx.appDir, ctx.clock.now());
        std::int32_t total = 0;
        bool loaded = false;
        LogReadCounts counts;
        {
            DeviceSession session(ctx.terminal, handle, DeviceSession::Start::Disable);
            ctx.terminal.FK_GetDeviceStatus(handle, newRecordsOnly ? kNewRecordsStatus : kAllRecordsStatus,
                                            &total);
            loaded = ctx.terminal.FK_LoadGeneralLogData(handle, newRecordsOnly ? 1 : 0) == FK_OK;
            if (loaded) {
                raw.begin();
                counts = readPreparedLog(ctx, handle, machineNo, raw, [&ctx, total](int calls) {
                    ctx.view.setProgress(progressPercent(calls, total), true);
                });
            }
            // Released before the file is written, so a file error cannot leave the device disabled.
            session.close();
        }
        if (loaded) raw.finish(ctx.clock.now());

        const int readCount = loaded ? counts.calls - 1 : 0;
        const QString summary = collectionSummaryText(readCount, counts.stored);
        ctx.view.appendLog(LogPane::Mmo2, QString());
        ctx.view.appendLog(LogPane::Mmo2, collectionSuccessLine());
        ctx.view.appendLog(LogPane::Mmo2, summary);
        ctx.view.messageBox(summary, collectionCaption(), BoxIcon::Information);
    }
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.setProgress(0, false);
    ctx.view.setStatusText(QString());
}

}  // namespace orvelo
