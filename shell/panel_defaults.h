#pragma once

#include "core/ports.h"

namespace orvelo {

// The connection panel as the window shows it after start-up; orveloctl's panel options default
// to the same texts.
ConnectionPanelState initialPanelState();

// The address edt_ip_address holds at every start.
QString initialIpAddress();

}  // namespace orvelo
