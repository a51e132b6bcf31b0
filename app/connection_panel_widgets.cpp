#include "app/connection_panel_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/panel_defaults.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

constexpr int kPanelHeight = 113;
constexpr int kRowHeight = 22;

template <class W>
W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption) {
    return named(new QLabel(caption, parent), name);
}

QLineEdit* edit(QWidget* parent, const QString& name, const QString& text, int width) {
    auto* field = named(new QLineEdit(text, parent), name);
    field->setFixedSize(width, kRowHeight);
    return field;
}

// An editable drop-down list: a typed text stays as typed, even one that differs from an item
// only in letter case or is none of the items, and is never added to the items.
QComboBox* dropDown(QWidget* parent, const QString& name, const QStringList& items, int width) {
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->addItems(items);
    box->setFixedSize(width, kRowHeight);
    return box;
}

QHBoxLayout* row() {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    return layout;
}

}  // namespace

ConnectionPanelWidgets buildConnectionPanel(QWidget* parent) {
    const ConnectionPanelState initial = initialPanelState();
    ConnectionPanelWidgets w{};
    w.pnl_1 = named(new QWidget(parent), u"pnl_1"_s);
    w.pnl_1->setFixedHeight(kPanelHeight);
    QWidget* p = w.pnl_1;

    w.lbl_1 = label(p, u"lbl_1"_s, u"机号："_s);
    w.edt_MachineNO = edit(p, u"edt_MachineNO"_s, initial.machineNo, 60);
    w.btn_connectdevice = named(new QPushButton(u"测试设备连接"_s, p), u"btn_connectdevice"_s);
    w.btn_connectdevice->setFixedSize(121, 25);

    w.rb_USB = named(new QRadioButton(u"USB通讯"_s, p), u"rb_USB"_s);
    w.rb_232_485 = named(new QRadioButton(u"RS232/485通讯"_s, p), u"rb_232_485"_s);
    w.rb_tcp_ip = named(new QRadioButton(u"TCP/IP通讯"_s, p), u"rb_tcp_ip"_s);
    w.linkGroup = new QButtonGroup(p);
    w.linkGroup->setExclusive(true);
    for (QRadioButton* button : {w.rb_USB, w.rb_232_485, w.rb_tcp_ip}) {
        button->setFixedHeight(kRowHeight);
        w.linkGroup->addButton(button);
    }
    w.rb_232_485->setChecked(true);

    QStringList ports;
    for (int i = 1; i <= 10; ++i) ports << u"COM"_s + QString::number(i);
    w.lbl_commport = label(p, u"lbl_commport"_s, u"串口："_s);
    w.cbb_commport = dropDown(p, u"cbb_commport"_s, ports, 80);
    w.lbl_baudrate = label(p, u"lbl_baudrate"_s, u"波特率："_s);
    w.cbb_baudrate =
        dropDown(p, u"cbb_baudrate"_s, {u"9600"_s, u"19200"_s, u"38400"_s, u"57600"_s, u"115200"_s}, 80);

    w.lbl_IPaddress = label(p, u"lbl_IPaddress"_s, u"IP地址："_s);
    w.edt_ip_address = edit(p, u"edt_ip_address"_s, initial.ipAddress, 110);
    w.lbl_NetPort = label(p, u"lbl_NetPort"_s, u"端口："_s);
    w.edt_NetPort = edit(p, u"edt_NetPort"_s, initial.netPort, 50);
    w.chk_UDP = named(new QCheckBox(u"UDP"_s, p), u"chk_UDP"_s);
    w.chk_UDP->setChecked(initial.udpTicked);

    w.lbl_NetTimeOut = label(p, u"lbl_NetTimeOut"_s, u"延时："_s);
    w.edt_TimeOut = edit(p, u"edt_TimeOut"_s, initial.timeOut, 50);
    w.lbl_s = label(p, u"lbl_s"_s, u"毫秒"_s);
    w.lbl_NetPassword = label(p, u"lbl_NetPassword"_s, u"通讯密码："_s);
    w.edt_NetPassWord = edit(p, u"edt_NetPassWord"_s, initial.netPassword, 60);

    auto* panelLayout = new QHBoxLayout(p);
    panelLayout->setContentsMargins(10, 6, 10, 6);
    panelLayout->setSpacing(24);

    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    auto* machineRow = row();
    machineRow->addWidget(w.lbl_1);
    machineRow->addWidget(w.edt_MachineNO);
    machineRow->addStretch(1);
    left->addLayout(machineRow);
    left->addWidget(w.btn_connectdevice);
    left->addStretch(1);
    panelLayout->addLayout(left);

    // The links' fields start in one column whatever the width of the radio buttons' captions.
    auto* links = new QGridLayout;
    links->setHorizontalSpacing(8);
    links->setVerticalSpacing(3);
    links->addWidget(w.rb_USB, 0, 0);
    links->addWidget(w.rb_232_485, 1, 0);
    links->addWidget(w.rb_tcp_ip, 2, 0);

    auto* serialRow = row();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{w.lbl_commport, w.cbb_commport, w.lbl_baudrate, w.cbb_baudrate})
        serialRow->addWidget(widget);
    serialRow->addStretch(1);
    links->addLayout(serialRow, 1, 1);

    auto* netRow = row();
    for (QWidget* widget : std::initializer_list<QWidget*>{w.lbl_IPaddress, w.edt_ip_address, w.lbl_NetPort,
                                                           w.edt_NetPort, w.chk_UDP})
        netRow->addWidget(widget);
    netRow->addStretch(1);
    links->addLayout(netRow, 2, 1);

    auto* timeRow = row();
    for (QWidget* widget : std::initializer_list<QWidget*>{w.lbl_NetTimeOut, w.edt_TimeOut, w.lbl_s})
        timeRow->addWidget(widget);
    timeRow->addSpacing(12);
    timeRow->addWidget(w.lbl_NetPassword);
    timeRow->addWidget(w.edt_NetPassWord);
    timeRow->addStretch(1);
    links->addLayout(timeRow, 3, 1);
    for (int r = 0; r < 4; ++r) links->setRowMinimumHeight(r, kRowHeight);
    links->setColumnStretch(1, 1);
    panelLayout->addLayout(links, 1);
    return w;
}

ConnectionPanelState readConnectionPanel(const ConnectionPanelWidgets& widgets) {
    ConnectionPanelState state;
    state.machineNo = widgets.edt_MachineNO->text();
    state.rs232Checked = widgets.rb_232_485->isChecked();
    state.tcpIpChecked = widgets.rb_tcp_ip->isChecked();
    state.usbChecked = widgets.rb_USB->isChecked();
    state.comPort = widgets.cbb_commport->currentText();
    state.baudRate = widgets.cbb_baudrate->currentText();
    state.ipAddress = widgets.edt_ip_address->text();
    state.netPort = widgets.edt_NetPort->text();
    state.udpTicked = widgets.chk_UDP->isChecked();
    state.timeOut = widgets.edt_TimeOut->text();
    state.netPassword = widgets.edt_NetPassWord->text();
    return state;
}

void enableLinkFields(const ConnectionPanelWidgets& w, bool serial, bool network) {
    for (QWidget* control : {static_cast<QWidget*>(w.cbb_commport), static_cast<QWidget*>(w.lbl_commport),
                             static_cast<QWidget*>(w.cbb_baudrate), static_cast<QWidget*>(w.lbl_baudrate)})
        control->setEnabled(serial);
    for (QWidget* control :
         {static_cast<QWidget*>(w.edt_ip_address), static_cast<QWidget*>(w.lbl_IPaddress),
          static_cast<QWidget*>(w.edt_NetPort), static_cast<QWidget*>(w.lbl_NetPort),
          static_cast<QWidget*>(w.chk_UDP), static_cast<QWidget*>(w.edt_TimeOut),
          static_cast<QWidget*>(w.lbl_NetTimeOut), static_cast<QWidget*>(w.lbl_s),
          static_cast<QWidget*>(w.edt_NetPassWord), static_cast<QWidget*>(w.lbl_NetPassword)})
        control->setEnabled(network);
}

void fillConnectionPanel(const ConnectionPanelWidgets& widgets, const ConnectionPanelState& state) {
    widgets.edt_MachineNO->setText(state.machineNo);
    widgets.rb_232_485->setChecked(state.rs232Checked);
    widgets.rb_tcp_ip->setChecked(state.tcpIpChecked);
    widgets.rb_USB->setChecked(state.usbChecked);
    widgets.cbb_commport->setEditText(state.comPort);
    widgets.cbb_baudrate->setEditText(state.baudRate);
    widgets.edt_ip_address->setText(state.ipAddress);
    widgets.edt_NetPort->setText(state.netPort);
    widgets.chk_UDP->setChecked(state.udpTicked);
    widgets.edt_TimeOut->setText(state.timeOut);
    widgets.edt_NetPassWord->setText(state.netPassword);
}

}  // namespace orvelo
