// The connection test and the commands of the page "设备设置" on the console.
#include "cli/command_table.h"
#include "device/maintenance.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

const CommandRegistration kTestConnection{{
    .name = u"test-connection"_s,
    .summary = u"测试设备连接: connects to the terminal and disconnects again"_s,
    .description = u"The terminal is enabled and released; nothing on it changes."_s,
    .run = [](CommandInvocation& run) { orvelo::btn_connectdeviceClick(run.context()); },
    .holdsFolderLock = true,
}};

const CommandRegistration kStatus{{
    .name = u"status"_s,
    .summary = u"读取设备状态: prints the terminal's nine counters"_s,
    .description = u"Administrators, users, fingerprints, cards, passwords, new and all management "
                   u"records, new and all attendance records, as the lines of mmo_1."_s,
    .run = [](CommandInvocation& run) { orvelo::btn_GetDeviceParaClick(run.context()); },
    .holdsFolderLock = true,
}};

const CommandRegistration kSetTime{{
    .name = u"set-time"_s,
    .summary = u"同步设备时间: sets the terminal's clock to this PC's time"_s,
    .run = [](CommandInvocation& run) { orvelo::btn_SetTimeClick(run.context()); },
    .holdsFolderLock = true,
}};

const CommandRegistration kClearAdmins{{
    .name = u"clear-admins"_s,
    .summary = u"清除设备管理员: makes every administrator on the terminal an ordinary user"_s,
    .description = u"Asks for no confirmation. The line tells how many demotions the terminal accepted."_s,
    .run = [](CommandInvocation& run) { run.setOutcome(orvelo::btn_DelDeviceAdminClick(run.context())); },
    .changesTerminalUsers = true,
    .holdsFolderLock = true,
}};

const CommandRegistration kClearData{{
    .name = u"clear-data"_s,
    .summary = u"清除设备全部数据: erases every user, enrollment and record on the terminal"_s,
    .description = u"Asks for no confirmation and cannot be undone."_s,
    .run = [](CommandInvocation& run) { run.setOutcome(orvelo::btn_SetDeviceParaClick(run.context())); },
    .changesTerminalUsers = true,
    .holdsFolderLock = true,
}};

}  // namespace

}  // namespace orvelo::cli
