#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace orvelo {

struct CommandContext;
class RawRecordCollector;

// The machine number typed in `text`, refused unless a raw record line can hold it: the line
// keeps it in its last three characters, so 1000 would read back as another code and machine.
// Throws ConversionError.
std::int32_t rawLineMachineNumber(const QString& text);

struct LogReadCounts {
    int calls = 0;   // read steps made, the final one that delivered nothing included
    int stored = 0;  // rows written
};

// Reads the log that a successful load step prepared, until a read step returns anything but 1.
// Each record gets its record code from MapModeCode, goes into `raw` as its line and only then to
// StoreLogRecord. `afterReadStep` is told the number of read steps before the one just made.
LogReadCounts readPreparedLog(CommandContext& ctx, std::int32_t handle, std::int32_t machineNo,
                              RawRecordCollector& raw,
                              const std::function<void(int calls)>& afterReadStep = {});

}  // namespace orvelo
