#pragma once

#include "core/ports.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace orvelo {

// pnl_1, 113 pixels high and full width: the machine number with the connection test under it,
// then one row per link (USB, RS232/485, TCP/IP) followed by that link's fields, and a fourth
// row with the time-out and the communication password. Built in its design-time state
// (rb_232_485 checked); the window's creation applies the start-up state.
struct ConnectionPanelWidgets {
    QWidget* pnl_1;
    QLabel* lbl_1;
    QLineEdit* edt_MachineNO;
    QPushButton* btn_connectdevice;
    QRadioButton* rb_USB;
    QRadioButton* rb_232_485;
    QRadioButton* rb_tcp_ip;
    QButtonGroup* linkGroup;
    QLabel* lbl_commport;
    QComboBox* cbb_commport;
    QLabel* lbl_baudrate;
    QComboBox* cbb_baudrate;
    QLabel* lbl_IPaddress;
    QLineEdit* edt_ip_address;
    QLabel* lbl_NetPort;
    QLineEdit* edt_NetPort;
    QCheckBox* chk_UDP;
    QLabel* lbl_NetTimeOut;
    QLineEdit* edt_TimeOut;
    QLabel* lbl_s;
    QLabel* lbl_NetPassword;
    QLineEdit* edt_NetPassWord;
};

ConnectionPanelWidgets buildConnectionPanel(QWidget* parent);

// The panel's texts, ticks and link choice as typed: what a command started now would read.
ConnectionPanelState readConnectionPanel(const ConnectionPanelWidgets& widgets);

// The link's enabling rule: the serial fields enabled for RS232/485 only, the network fields for
// TCP/IP only.
void enableLinkFields(const ConnectionPanelWidgets& widgets, bool serial, bool network);

// Puts `state` into the panel's texts, ticks and link choice (a terminal of the list taken into the
// panel): what readConnectionPanel reads back. The link's enabling rule is the caller's.
void fillConnectionPanel(const ConnectionPanelWidgets& widgets, const ConnectionPanelState& state);

}  // namespace orvelo
