#include "collection/log_record.h"

namespace orvelo {

std::int32_t MapModeCode(std::int32_t modeCode, std::int32_t previousRecordCode) {
    switch (modeCode) {
        case 1:
            return 2;
        case 2:
            return 3;
        case 3:
            return 1;
        case 4:
            return 35;
        case 5:
            return 4;
        case 6:
            return 35;
        case 7:
            return 33;
        case 10:
            return 11;
        default:
            return previousRecordCode;
    }
}

}  // namespace orvelo
