#pragma once

#include <QString>
#include <functional>

#include "core/command_outcome.h"

namespace orvelo {

struct CommandContext;

// The commands of the page "数据采集". Each ends with its summary in mmo_2 and a box; records go
// through StoreLogRecord, and the two downloads leave a raw record file in `data`. Conversion and
// file errors propagate to the caller's default error box.
//
// Each returns what it came to: Done; Incomplete when the walk over the terminal's log ended on a
// failed link, short of the total the terminal reported, or stopped because the database could
// take nothing (the rest stays on the terminal, running again brings it); NotReachable when the
// connect failed.
//
// A cancellation (ctx.cancelRequested) is looked at before each record of the terminal or of the
// USB-disk log file and before each line of a raw record file: the command stops there as
// Incomplete, keeps and reports what it read (the success line replaced by a line saying where it
// stopped, a warning box), and running it again brings the rest, each record stored once. A
// download stops before the read that would have the terminal mark its new records collected. Records the
// database refused are counted in refusedByDatabase and make the box a warning: the raw record file named in
// the report holds them.

// "采集数据": downloads the device's log, only the records it has not handed out yet when
// `newRecordsOnly` (rb_GetNewData checked), else every record it holds.
CommandOutcome btn_GetDataClick(CommandContext& ctx, bool newRecordsOnly);

// "U盘数据导入": imports a log file that a device wrote to a USB disk, read through the terminal
// library with the current DeviceHandle; no connection is opened.
CommandOutcome btn_ImportDataFromUClick(CommandContext& ctx);
// The same with the starting folder's source given: the mount point of the last removable drive,
// or an empty text for none.
CommandOutcome btn_ImportDataFromUClick(CommandContext& ctx,
                                        const std::function<QString()>& removableDriveFolder);

// "刷卡文件导入": stores the records of a raw record file again.
CommandOutcome btn_ImportFromHVClick(CommandContext& ctx);

}  // namespace orvelo
