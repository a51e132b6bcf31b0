#include "collection/collection_commands.h"
#include "collection/log_reading.h"
#include "collection/raw_record_file.h"
#include "collection/removable_drives.h"
#include "core/command_context.h"
#include "core/ports.h"
#include "collection/attendance_store.h"
#include "collection/collection_texts.h"
#include "device/connection.h"
#include "device/terminal_library.h"

#include <QFile>

namespace orvelo {

using namespace Qt::StringLiterals;

void btn_ImportDataFromUClick(CommandContext& ctx)
{
    btn_ImportDataFromUClick(ctx, [] { return lastRemovableDriveFolder(); });
}

void btn_ImportDataFromUClick(CommandContext& ctx, const std::function<QString()>& removableDriveFolder)
{
    ctx.view.setFileDialogFilter(u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s);
    // With no removable drive the dialog keeps the folder it was last given.
    const QString drive = removableDriveFolder();
    if (!drive.isEmpty()) ctx.view.setFileDialogFolder(drive);
    const std::optional<QString> chosen = ctx.view.chooseFile();
    if (!chosen) return;
    const QString path = *chosen;

    // The records are attributed to the typed machine number, whatever device wrote the file.
    ctx.settings.MachineNo = rawLineMachineNumber(ctx.panel.state().machineNo);
    const std::int32_t machineNo = ctx.settings.MachineNo;
    ctx.view.appendLog(LogPane::Mmo2, u"正在从U盘数据文件："_s + path + u" 中采集数据..."_s);

    // No connection: the library reads the file with whatever handle the last connect left.
    const std::int32_t handle = ctx.settings.DeviceHandle;
    RawRecordCollector raw(ctx.appDir, ctx.clock.now());
    const QByteArray pathBytes = QFile::encodeName(path);
    const bool loaded = ctx.terminal.FK_USBLoadGeneralLogDataFromFile(
                            handle, pathBytes.isEmpty() ? nullptr : pathBytes.constData()) == 1;
    LogReadCounts counts;
    if (loaded) {
        raw.begin();
        counts = readPreparedLog(ctx, handle, machineNo, raw);
        raw.finish(ctx.clock.now());
    }

    const int readCount = loaded ? counts.calls - 1 : 0;
    const QString summary = collectionSummaryText(readCount, counts.stored);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, collectionSuccessLine());
    ctx.view.appendLog(LogPane::Mmo2, summary);
    ctx.view.messageBox(summary, collectionCaption(), BoxIcon::Information);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
}

}  // namespace orvelo
