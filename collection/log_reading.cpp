#include "collection/log_reading.h"

#include "collection/raw_record_file.h"
#include "core/command_context.h"
#include "core/errors.h"
#include "core/text.h"
#include "collection/attendance_store.h"
#include "device/terminal_library.h"

namespace orvelo {

using namespace Qt::StringLiterals;

std::int32_t rawLineMachineNumber(const QString& text)
{
    const std::int32_t machineNo = strToInt(text);
    if (!fitsRawLine(machineNo))
        throw ConversionError(
            u"Machine number %1 is out of range: it must lie between 0 and %2"_s.arg(machineNo).arg(
                kMaxRawMachineNumber));
    return machineNo;
}

LogReadCounts readPreparedLog(CommandContext& ctx, std::int32_t handle, std::int32_t machineNo,
                              RawRecordCollector& raw, const std::function<void(int calls)>& afterReadStep)
{
    LogReadCounts counts;
    std::int32_t recordCode = 0;
    for (;;) {
        std::int32_t enrollNumber = 0;
        std::int32_t modeCode = 0;
        std::int32_t ignored = 0;
        double recordTime = 0;
        const std::int32_t result =
            ctx.terminal.FK_GetGeneralLogData(handle, &enrollNumber, &modeCode, &ignored, &recordTime);
        if (result == 1) {
            recordCode = MapModeCode(modeCode, recordCode);
            const LogRecord record{enrollNumber, recordTime, recordCode, machineNo};
            raw.append(FormatRawLine(record));
            if (StoreLogRecord(ctx.data, ctx.clock, record)) ++counts.stored;
        }
        if (afterReadStep) afterReadStep(counts.calls);
        ++counts.calls;
        if (result != 1) return counts;
    }
}

}  // namespace orvelo
