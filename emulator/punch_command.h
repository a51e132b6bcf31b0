#pragma once

#include <cstdint>
#include <optional>

#include "emulator/server.h"

namespace orvelo::emulator {

// orvelo-terminal punch: makes a running terminal record one punch, as if the user had put a
// finger on its sensor.
struct PunchOptions {
    std::optional<Endpoint> tcp;  // --tcp HOST:PORT
    bool usb = false;             // --usb: the socket of --machine in $FK_USB_DIR
    std::int32_t enroll = 0;
    std::int32_t mode = 1;
    std::int32_t machine = 1;
};

// Prints "punched enroll=N mode=M position=P" and returns 0 when the terminal recorded it; tells
// why on stderr and returns 1 when it did not.
int runPunch(const PunchOptions& options);

}  // namespace orvelo::emulator
