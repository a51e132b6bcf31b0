#include "collection/collection_commands.h"
#include "collection/raw_record_file.h"
#include "core/command_context.h"
#include "core/ports.h"
#include "collection/attendance_store.h"
#include "collection/collection_texts.h"

namespace orvelo {

using namespace Qt::StringLiterals;

void btn_ImportFromHVClick(CommandContext& ctx)
{
    ctx.view.setFileDialogFilter(u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s);
    ctx.view.setFileDialogFolder(rawDataFolder(ctx.appDir));
    int storedCount = 0;
    const std::optional<QString> chosen = ctx.view.chooseFile();
    if (!chosen) return;
    const QString path = *chosen;

    ctx.view.appendLog(LogPane::Mmo2, u"正在从原始记录文件"_s + path + u"中导入记录数据....."_s);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    const QStringList lines = readRawRecordLines(path);
    int processed = 0;
    for (const QString& line : lines) {
        // A line that does not parse stops the import here; the rows of the lines before it stay.
        const LogRecord record = ParseRawLine(line);
        if (StoreLogRecord(ctx.data, ctx.clock, record)) ++storedCount;
        ++processed;
    }

    ctx.view.appendLog(LogPane::Mmo2, rawImportSuccessLine());
    ctx.view.appendLog(LogPane::Mmo2, rawImportLogSummaryText(processed, storedCount));
    ctx.view.messageBox(rawImportBoxSummaryText(processed, storedCount), rawImportCaption(),
                        BoxIcon::Information);
    ctx.view.appendLog(LogPane::Mmo2, QString());
    ctx.view.appendLog(LogPane::Mmo2, QString());
}

}  // namespace orvelo
