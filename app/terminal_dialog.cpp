#include "app/terminal_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/errors.h"
#include "core/terminal_address.h"

using namespace Qt::StringLiterals;

namespace orvelo {

TerminalDialog::TerminalDialog(const QString& caption, QWidget* parent) : QDialog(parent) {
    setObjectName(u"dlg_Terminal"_s);
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);

    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(u"终端名称："_s, this);
    edt_TerminalName = new QLineEdit(this);
    edt_TerminalName->setObjectName(u"edt_TerminalName"_s);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(edt_TerminalName, 1);
    layout->addLayout(nameRow);

    panelWidgets = buildConnectionPanel(this);
    // The dialog only describes a terminal; testing the connection is the panel's.
    panelWidgets.btn_connectdevice->hide();
    layout->addWidget(panelWidgets.pnl_1);
    for (QRadioButton* link : {panelWidgets.rb_USB, panelWidgets.rb_232_485, panelWidgets.rb_tcp_ip})
        connect(link, &QRadioButton::toggled, this, [this] { applyLinkChoice(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"确定"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"取消"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &TerminalDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TerminalDialog::reject);
    layout->addWidget(buttons);
    applyLinkChoice();
}

void TerminalDialog::setTerminal(const QString& terminalName, const ConnectionPanelState& state) {
    edt_TerminalName->setText(terminalName);
    fillConnectionPanel(panelWidgets, state);
    applyLinkChoice();
}

QString TerminalDialog::name() const {
    return edt_TerminalName->text().trimmed();
}

ConnectionPanelState TerminalDialog::panel() const {
    return readConnectionPanel(panelWidgets);
}

QString TerminalDialog::problem() const {
    if (name().isEmpty()) return u"请输入终端名称。"_s;
    try {
        parseTerminalAddress(panel()).throwConversionError();
    } catch (const Error& error) {
        return error.text();
    }
    return {};
}

void TerminalDialog::accept() {
    const QString why = problem();
    if (!why.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), why);
        return;
    }
    QDialog::accept();
}

void TerminalDialog::applyLinkChoice() {
    enableLinkFields(panelWidgets, panelWidgets.rb_232_485->isChecked(), panelWidgets.rb_tcp_ip->isChecked());
}

}  // namespace orvelo
