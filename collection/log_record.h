#pragma once

#include <cstdint>

#include "core/datetime.h"

namespace orvelo {

// One attendance event as the collection commands hand it to the store.
struct LogRecord {
    std::int32_t EnrollNumber = 0;
    DateTimeValue RecordTime = 0;  // days since 1899-12-30
    std::int32_t RecordCode = 0;   // the stored record code, written into IsAuto
    std::int32_t MachineNo = 0;
    bool operator==(const LogRecord&) const = default;
};

// The record code for the terminal's mode code; a mode code without its own record code keeps the
// previous record's code, so the command passes its record code variable and stores the result back.
std::int32_t MapModeCode(std::int32_t modeCode, std::int32_t previousRecordCode);

}  // namespace orvelo
