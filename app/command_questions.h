#pragma once

#include <QString>

#include "core/ports.h"

namespace orvelo {

// The terminal a command started now would talk to, named as the connection panel describes it:
// the link, its address and the machine number, e.g. "TCP/IP通讯 192.168.1.201:5005，机号：1". The
// one place that names a terminal to the operator in the window.
QString terminalDisplayName(const ConnectionPanelState& panel);

// The commands that change a terminal's data for good: the window asks before each of them.
enum class IrreversibleCommand { DelDeviceAdmin, ClearAllData, WriteEntryInfo, DelEntryInfo };

struct Question {
    QString text;
    QString caption;  // the command's button caption
};

// The question asked before `command` on the terminal of `panel`; `selectedEmployees` is the number
// of rows the enrollment commands would act on (the others do not use it).
Question questionBefore(IrreversibleCommand command, const ConnectionPanelState& panel,
                        int selectedEmployees);

}  // namespace orvelo
