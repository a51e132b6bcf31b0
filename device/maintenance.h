#pragma once

#include "core/command_outcome.h"

namespace orvelo {

struct CommandContext;

// The connection test of btn_connectdevice "测试设备连接": connects, enables the device without
// disabling it first, disconnects, and says in a box whether the device answered.
void btn_connectdeviceClick(CommandContext& ctx);

// The commands of the page "设备设置". Each opens its own connection, writes its result lines to
// mmo_1 and ends with a box and a separator line; a conversion error in the connection panel
// propagates as ConversionError to the caller's default error box.

// "读取设备状态": the device's nine counters, one line each.
void btn_GetDeviceParaClick(CommandContext& ctx);
// "同步设备时间": sets the device's clock to the PC's present local date and time.
void btn_SetTimeClick(CommandContext& ctx);
// "清除设备管理员": demotes every administrator on the device to an ordinary user. read: list
// entries, stored: demotions. Incomplete when the list walk or a demotion failed on the link
// (the failure line and a warning box); a list the terminal refuses gives 0 removed and Done.
CommandOutcome btn_DelDeviceAdminClick(CommandContext& ctx);
// "清除设备全部数据": clears every user, enrollment and record kept by the device. Error, with the
// failure line and box, when FK_ClearKeeperData did not return 1.
CommandOutcome btn_SetDeviceParaClick(CommandContext& ctx);

}  // namespace orvelo
