#pragma once

namespace orvelo {

struct CommandContext;

// The commands of the page "人员注册". Each opens its own connection and always calls
// FK_DisConnect, also after a failed connect; each ends with a summary box and leaves the
// progress and status panes reset, also when an error stops it early. The employees they act on
// are ctx.selection, the selected rows of the shown employee grid (none when it is null).

// "获取注册信息": copies the enrollments of the selected employees from the terminal into
// equfinger, without disabling the terminal.
void btn_GetEntryInfoClick(CommandContext& ctx);

// "获取所有注册信息": brings every user listed by the terminal into the database (department 01,
// a new employee and card or the device's name for the existing ones) with all its enrollments.
void btn_GetAllEntryInfoClick(CommandContext& ctx);

// "写入指纹及姓名": writes the stored enrollments and the name of each selected employee into the
// terminal. A row whose data cannot be read is shown in the default error box, counts failed and
// the run goes on; a database error stops the run.
void btn_WriteEntryInfoClick(CommandContext& ctx);

// "删除注册信息": deletes backup numbers 0 to 10 of each selected employee from the terminal; the
// database keeps its rows.
void btn_DelEntryInfoClick(CommandContext& ctx);

}  // namespace orvelo
