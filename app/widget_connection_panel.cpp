#include "app/widget_connection_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace orvelo {

ConnectionPanelState WidgetConnectionPanel::state() const {
    ConnectionPanelState state;
    state.machineNo = m_widgets.edt_MachineNO->text();
    state.rs232Checked = m_widgets.rb_232_485->isChecked();
    state.tcpIpChecked = m_widgets.rb_tcp_ip->isChecked();
    state.usbChecked = m_widgets.rb_USB->isChecked();
    state.comPort = m_widgets.cbb_commport->currentText();
    state.baudRate = m_widgets.cbb_baudrate->currentText();
    state.ipAddress = m_widgets.edt_ip_address->text();
    state.netPort = m_widgets.edt_NetPort->text();
    state.udpTicked = m_widgets.chk_UDP->isChecked();
    state.timeOut = m_widgets.edt_TimeOut->text();
    state.netPassword = m_widgets.edt_NetPassWord->text();
    return state;
}

}  // namespace orvelo
