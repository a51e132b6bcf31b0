#pragma once

#include <QDialog>
#include <QString>

#include "app/connection_panel_widgets.h"
#include "core/ports.h"

class QLineEdit;

namespace orvelo {

// 添加终端 / 修改终端: a terminal's name and the connection panel's fields, checked as the panel's are
// when a command converts them: 确定 with a field that does not convert names it and keeps the
// dialog open.
class TerminalDialog : public QDialog {
    Q_OBJECT

public:
    TerminalDialog(const QString& caption, QWidget* parent = nullptr);

    void setTerminal(const QString& name, const ConnectionPanelState& panel);
    QString name() const;
    ConnectionPanelState panel() const;
    // Why the fields cannot be used (an empty name, a field that does not convert), or empty.
    QString problem() const;

    void accept() override;

    QLineEdit* edt_TerminalName;
    ConnectionPanelWidgets panelWidgets;

private:
    void applyLinkChoice();
};

}  // namespace orvelo
