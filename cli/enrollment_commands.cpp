// The enrollment commands of the page "人员注册" on the console. The employees are chosen as on
// the page: --departed for the departed list, --keyword K for a search first, then --all (as
// ticking chk_SelectAll) or --emplid ID,...; with neither no employee is selected.
#include "enrollment/enrollment_commands.h"

#include <type_traits>

#include "cli/command_table.h"
#include "cli/console_employee_selection.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

// Runs `command` on the employees the options choose.
template <auto command>
void onChosenEmployees(CommandInvocation& run) {
    ConsoleEmployeeSelection selection(run);
    run.context().selection = &selection;
    if constexpr (std::is_void_v<decltype(command(run.context()))>)
        command(run.context());
    else
        run.setOutcome(command(run.context()));
}

const QString kChooseEmployees =
    u"Choose the employees with --all or --emplid (after --departed or --keyword, if given)."_s;

const CommandRegistration kDownload{{
    .name = u"enroll-download"_s,
    .summary =
        u"获取注册信息: copies the chosen employees' enrollments from the terminal into the database"_s,
    .description = kChooseEmployees,
    .options = ConsoleEmployeeSelection::options(),
    .run = onChosenEmployees<&orvelo::btn_GetEntryInfoClick>,
    .holdsFolderLock = true,
}};

const CommandRegistration kDownloadAll{{
    .name = u"enroll-download-all"_s,
    .summary =
        u"获取所有注册信息: brings every user of the terminal with its enrollments into the database"_s,
    .run = [](CommandInvocation& run) { run.setOutcome(orvelo::btn_GetAllEntryInfoClick(run.context())); },
    .holdsFolderLock = true,
}};

const CommandRegistration kUpload{{
    .name = u"enroll-upload"_s,
    .summary =
        u"写入指纹及姓名: writes the chosen employees' stored enrollments and names into the terminal"_s,
    .description = kChooseEmployees,
    .options = ConsoleEmployeeSelection::options(),
    .run = onChosenEmployees<&orvelo::btn_WriteEntryInfoClick>,
    .changesTerminalUsers = true,
    .holdsFolderLock = true,
}};

const CommandRegistration kDelete{{
    .name = u"enroll-delete"_s,
    .summary =
        u"删除注册信息: deletes the chosen employees' enrollments from the terminal (the database keeps them)"_s,
    .description = kChooseEmployees,
    .options = ConsoleEmployeeSelection::options(),
    .run = onChosenEmployees<&orvelo::btn_DelEntryInfoClick>,
    .changesTerminalUsers = true,
    .holdsFolderLock = true,
}};

}  // namespace

}  // namespace orvelo::cli
