#include "app/command_questions.h"

#include "core/terminal_address.h"
#include "core/text.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QString terminalDisplayName(const ConnectionPanelState& panel) {
    // The link as a connect would choose it, with the texts as typed, blanks trimmed; the captions
    // are the panel's own.
    const TerminalAddress address = parseTerminalAddress(panel);
    const ConnectionPanelState& typed = address.typed;
    QString link;
    switch (address.link) {
        case TerminalAddress::Link::Serial:
            link = u"RS232/485通讯 "_s + trimBlanks(typed.comPort) + u' ' + trimBlanks(typed.baudRate);
            break;
        case TerminalAddress::Link::Tcp:
        case TerminalAddress::Link::Udp:
            link = u"TCP/IP通讯 "_s + trimBlanks(typed.ipAddress) + u':' + trimBlanks(typed.netPort);
            if (address.link == TerminalAddress::Link::Udp) link += u" UDP"_s;
            break;
        case TerminalAddress::Link::Usb:
            link = u"USB通讯"_s;
            break;
    }
    return link + u"，机号："_s + trimBlanks(typed.machineNo);
}

Question questionBefore(IrreversibleCommand command, const ConnectionPanelState& panel,
                        int selectedEmployees) {
    const QString terminal = u"设备（"_s + terminalDisplayName(panel) + u'）';
    const QString employees = u"所选的"_s + QString::number(selectedEmployees) + u"名人员"_s;
    switch (command) {
        case IrreversibleCommand::DelDeviceAdmin:
            return {u"将取消"_s + terminal + u"上全部管理员的管理权限，是否继续？"_s, u"清除设备管理员"_s};
        case IrreversibleCommand::ClearAllData:
            return {u"将删除"_s + terminal + u"上的全部人员和记录，是否继续？"_s, u"清除设备全部数据"_s};
        case IrreversibleCommand::WriteEntryInfo:
            return {u"将把"_s + employees + u"的指纹及姓名写入"_s + terminal +
                        u"，设备上相同登记号码的注册信息将被覆盖，是否继续？"_s,
                    u"写入指纹及姓名"_s};
        case IrreversibleCommand::DelEntryInfo:
            return {u"将删除"_s + terminal + u"上"_s + employees +
                        u"的注册信息（数据库中的注册信息保留），是否继续？"_s,
                    u"删除注册信息"_s};
    }
    return {};
}

}  // namespace orvelo
