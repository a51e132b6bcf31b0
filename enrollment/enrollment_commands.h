#pragma once

#include "core/command_outcome.h"

namespace orvelo {

struct CommandContext;

// The commands of the page "人员注册". Each opens its own connection and always calls
// FK_DisConnect, also after a failed connect; each ends with a summary box and leaves the
// progress and status panes reset, also when an error stops it early. The employees they act on
// are ctx.selection, the selected rows of the shown employee grid (none when it is null).
//
// The outcome: NotReachable when the connect failed; Incomplete when the link failed part-way (a
// negative library result), which shows a warning box instead of the summary and keeps what was
// done; Done otherwise. A database error propagates as an exception, as before.
//
// A cancellation (ctx.cancelRequested) is looked at before each employee or listed user: the
// command stops there as Incomplete, enables the terminal again, and shows in a warning box a line
// saying how many it had done of how many, then the summary of those (获取所有注册信息 has no
// summary of its own then: it counts the terminal's users). Running it again does the rest.

// "获取注册信息": copies the enrollments of the selected employees from the terminal into
// equfinger, without disabling the terminal. read: employees read whole, stored: enrollments
// stored, rejected: employees with nothing enrolled.
CommandOutcome btn_GetEntryInfoClick(CommandContext& ctx);

// "获取所有注册信息": brings every user listed by the terminal into the database (department 01,
// a new employee and card or the device's name for the existing ones) with all its enrollments,
// stored under the employee number of each employee whose registration number is the user's
// enroll number, or of the employee created for it (the eight-digit enroll number).
// read: users brought in whole, stored: enrollments stored. A name read that failed on the link
// never replaces a stored name.
CommandOutcome btn_GetAllEntryInfoClick(CommandContext& ctx);

// "写入指纹及姓名": writes the stored enrollments and the name of each selected employee into the
// terminal. An employee counts written only when every write, the name included, was accepted.
// A row whose data cannot be read is shown in the default error box, and a name the terminal
// cannot keep is named in a log line of mmo_1; either counts failed, nothing of that employee is
// written and the run goes on; a database error stops the run. read: employees, stored: written,
// rejected: failed.
CommandOutcome btn_WriteEntryInfoClick(CommandContext& ctx);

// "删除注册信息": deletes backup numbers 0 to 10 of each selected employee from the terminal; the
// database keeps its rows. read: employees, stored: those of which the terminal deleted anything,
// rejected: the others.
CommandOutcome btn_DelEntryInfoClick(CommandContext& ctx);

}  // namespace orvelo
