#include "device/maintenance.h"

#include <QStringView>
#include <cstdint>

#include "access/connection.h"
#include "access/device_session.h"
#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/command_outcome.h"
#include "core/datetime.h"
#include "core/ports.h"
#include "core/terminal_address.h"
#include "core/text.h"

namespace orvelo {

namespace {

const QString kConnectionFailed = QStringLiteral("设备连接失败，请连接好设备后重试！");

struct StatusQuestion {
    std::int32_t code;
    QStringView label;
};

// The order in which the report asks, which is also the order of its lines.
constexpr StatusQuestion kStatusQuestions[] = {
    {FK_STATUS_ADMINS, u"  已登记管理员总数："},
    {FK_STATUS_USERS, u"  已登记用户总数："},
    {FK_STATUS_FINGERPRINTS, u"  已登记指纹总数："},
    {FK_STATUS_CARDS, u"  已登记卡片总数："},
    {FK_STATUS_PASSWORDS, u"  已登记密码总数："},
    {FK_STATUS_NEW_MANAGEMENT_LOGS, u"  新管理记录数："},
    {FK_STATUS_ALL_MANAGEMENT_LOGS, u"  管理记录总数："},
    {FK_STATUS_NEW_LOGS, u"  新记录数："},
    {FK_STATUS_ALL_LOGS, u"  全部记录总数："},
};
constexpr std::size_t kStatusQuestionCount = std::size(kStatusQuestions);

QString statusLine(const StatusQuestion& question, std::int32_t value) {
    return question.label.toString() + QString::number(value);
}

void log(CommandContext& ctx, const QString& line) {
    ctx.view.appendLog(LogPane::Mmo1, line);
}

void separator(CommandContext& ctx) {
    ctx.view.appendLog(LogPane::Mmo1, QString());
}

bool connect(CommandContext& ctx) {
    return ConnectDevice(ctx.panel, ctx.settings, ctx.terminal);
}

}  // namespace

void btn_connectdeviceClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("测试设备连接");
    if (!connect(ctx)) {
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("设备连接失败,请连接好设备后重试!"), caption,
                            BoxIcon::Information);
        return;
    }
    // Only a test: the device is never disabled, so nothing on it has to wait for the PC.
    DeviceSession(ctx.terminal, ctx.settings.DeviceHandle, DeviceSession::Start::KeepEnabled).close();
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("设备连接成功!"), caption, BoxIcon::Information);
}

void btn_GetDeviceParaClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("获取设备状态");
    const QString typedMachineNo = ctx.panel.machineNo;

    // A machine number that is no number stops the report before its header is written.
    ctx.settings.MachineNo = parseTerminalAddress(ctx.panel).convertedMachineNo();
    log(ctx, QStringLiteral("获取") + typedMachineNo + QStringLiteral("号设备状态："));

    if (!connect(ctx)) {
        separator(ctx);
        ctx.workEnded();
        ctx.view.messageBox(kConnectionFailed, caption, BoxIcon::Warning);
        return;
    }

    TerminalLibrary& terminal = ctx.terminal;
    const std::int32_t handle = ctx.settings.DeviceHandle;
    DeviceSession session(terminal, handle, DeviceSession::Start::Disable);

    // One variable takes every answer: a call that fails without writing it leaves the previous
    // code's value, and that is what its line shows. Only the administrators' line is left out
    // when its call fails.
    std::int32_t value = 0;
    const StatusQuestion& first = kStatusQuestions[0];
    if (terminal.FK_GetDeviceStatus(handle, first.code, &value) == FK_OK) log(ctx, statusLine(first, value));
    for (std::size_t i = 1; i + 1 < kStatusQuestionCount; ++i) {
        terminal.FK_GetDeviceStatus(handle, kStatusQuestions[i].code, &value);
        log(ctx, statusLine(kStatusQuestions[i], value));
    }
    const StatusQuestion& last = kStatusQuestions[kStatusQuestionCount - 1];
    terminal.FK_GetDeviceStatus(handle, last.code, &value);
    session.close();
    log(ctx, statusLine(last, value));

    separator(ctx);
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("  获取设备状态成功！"), caption, BoxIcon::Information);
}

void btn_SetTimeClick(CommandContext& ctx) {
    if (!connect(ctx)) {
        ctx.workEnded();
        ctx.view.messageBox(kConnectionFailed, QStringLiteral("同步设备时间连接"), BoxIcon::Warning);
        separator(ctx);
        return;
    }

    const QString typedMachineNo = ctx.panel.machineNo;
    std::int32_t result;
    DateTimeValue sent;
    {
        DeviceSession session(ctx.terminal, ctx.settings.DeviceHandle, DeviceSession::Start::Disable);
        // Read once: the line shows the very value the device was given.
        sent = ctx.clock.now();
        result = ctx.terminal.FK_SetDeviceTime(session.handle(), sent);
    }

    const QString caption = QStringLiteral("同步设备时间");
    const QString line =
        QStringLiteral("设置") + typedMachineNo + QStringLiteral("号设备时间为：") + dateTimeText(sent);
    if (result == FK_OK) {
        log(ctx, line + QStringLiteral(" ...成功！"));
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("时间同步成功！"), caption, BoxIcon::Information);
    } else {
        log(ctx, line + QStringLiteral(" ...失败！"));
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("时间同步失败！"), caption, BoxIcon::Warning);
    }
    separator(ctx);
}

CommandOutcome btn_DelDeviceAdminClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("清除设备管理员");
    const QString failedLine = QStringLiteral("清除设备管理员...............失败！");
    CommandOutcome outcome;
    if (!connect(ctx)) {
        log(ctx, failedLine);
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("清除管理员失败，可能是设备没有连接好，请连接好设备后重试！"),
                            caption, BoxIcon::Warning);
        separator(ctx);
        outcome.result = CommandOutcome::Result::NotReachable;
        return outcome;
    }

    TerminalLibrary& terminal = ctx.terminal;
    int demoted = 0;
    bool linkLost = false;
    {
        DeviceSession session(terminal, ctx.settings.DeviceHandle, DeviceSession::Start::Disable);
        const std::int32_t handle = session.handle();
        // The user list is addressed by the machine number, its entries by the handle. A list the
        // terminal refuses (0) holds no administrator to remove; a negative result is a link that
        // failed, and the administrators after it may still be there.
        const std::int32_t listResult = terminal.FK_ReadAllUserID(ctx.settings.MachineNo);
        linkLost = listResult < 0;
        if (listResult == FK_OK) {
            std::int32_t enrollNumber = 0;
            std::int32_t backupNumber = 0;
            std::int32_t privilege = 0;
            std::int32_t unused = 0;
            for (;;) {
                const std::int32_t result =
                    terminal.FK_GetAllUserID(handle, &enrollNumber, &backupNumber, &privilege, &unused);
                if (result != 1) {
                    linkLost = result < 0;
                    break;
                }
                ++outcome.read;
                if (privilege == 0) continue;
                // A refused demotion is not counted and does not end the walk.
                const std::int32_t demotion =
                    terminal.FK_ModifyPrivilege(handle, enrollNumber, backupNumber, 0);
                if (demotion < 0) {
                    linkLost = true;
                    break;
                }
                if (demotion == FK_OK) ++demoted;
            }
        }
    }
    outcome.stored = demoted;

    if (linkLost) {
        outcome.result = CommandOutcome::Result::Incomplete;
        log(ctx, failedLine);
        log(ctx, QStringLiteral("与设备的连接在清除") + QString::number(demoted) +
                     QStringLiteral(
                         "个管理员后中断，其余的管理员可能没有清除！请连接好设备后再次清除设备管理员。"));
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("清除管理员失败，与设备的连接中断，请连接好设备后重试！"), caption,
                            BoxIcon::Warning);
        separator(ctx);
        return outcome;
    }
    log(ctx,
        QStringLiteral("清除设备管理员") + blankPad(demoted, 5) + QStringLiteral("个...............成功！"));
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("清除管理员成功！"), caption, BoxIcon::Information);
    separator(ctx);
    return outcome;
}

CommandOutcome btn_SetDeviceParaClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("清除设备全部数据");
    CommandOutcome outcome;
    const auto failed = [&](CommandOutcome::Result result) {
        log(ctx, QStringLiteral("清除设备里面全部数据...............失败！"));
        ctx.workEnded();
        ctx.view.messageBox(QStringLiteral("清除设备里面全部数据失败，请连接好设备后重试！"), caption,
                            BoxIcon::Warning);
        separator(ctx);
        outcome.result = result;
        return outcome;
    };
    if (!connect(ctx)) return failed(CommandOutcome::Result::NotReachable);

    std::int32_t cleared;
    {
        DeviceSession session(ctx.terminal, ctx.settings.DeviceHandle, DeviceSession::Start::Disable);
        // Addressed by the machine number. Anything but 1 (refused, or a link that failed) may have
        // left the data in place, and the operator must not be told it is gone.
        cleared = ctx.terminal.FK_ClearKeeperData(ctx.settings.MachineNo);
    }
    if (cleared != 1) return failed(CommandOutcome::Result::Error);

    log(ctx, QStringLiteral("清除设备里面全部数据...............成功！"));
    ctx.workEnded();
    ctx.view.messageBox(QStringLiteral("清除设备里面全部数据成功！"), caption, BoxIcon::Information);
    separator(ctx);
    return outcome;
}

}  // namespace orvelo
