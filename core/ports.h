#pragma once

#include <QString>
#include <QVariant>
#include <optional>

namespace orvelo {

enum class LogPane { Mmo1, Mmo2 };

enum class BoxIcon { Information, Warning, Error };

// What a command reports to the operator. The window implements it with widgets, orveloctl on
// stdout/stderr, the tests with a recorder.
class OperatorView {
public:
    virtual ~OperatorView() = default;

    // Appends one line at the end of `pane` (an empty line is a separator).
    virtual void appendLog(LogPane pane, const QString& line) = 0;
    // Sets (or, with an empty text, empties) the status text rzstspn_1.
    virtual void setStatusText(const QString& text) = 0;
    // Sets the percentage of rzprgrsts_1 and whether its number shows; the pane repaints at
    // once. A percentage above 100 shows a full bar and its number.
    virtual void setProgress(int percent, bool showNumber) = 0;
    // A modal box with one OK button; returns when it is closed.
    virtual void messageBox(const QString& text, const QString& caption, BoxIcon icon) = 0;
    // The default error box: `text` is shown as given (the guard applies defaultErrorText).
    virtual void errorBox(const QString& text) = 0;

    // The file-open dialog dlgOpen_1: its filter and starting folder stay set between commands.
    // The filter uses the "description|pattern|description|pattern" form.
    virtual void setFileDialogFilter(const QString& filter) = 0;
    virtual void setFileDialogFolder(const QString& folder) = 0;
    // Opens the dialog for one file; the full path of the chosen file, or nullopt when cancelled.
    virtual std::optional<QString> chooseFile() = 0;
};

// A snapshot of the connection panel's texts, ticks and link choice, as typed.
struct ConnectionPanelState {
    QString machineNo = QStringLiteral("1");
    bool rs232Checked = false;  // rb_232_485
    bool tcpIpChecked = false;  // rb_tcp_ip
    bool usbChecked = true;     // rb_USB
    QString comPort = QStringLiteral("COM1");
    QString baudRate = QStringLiteral("38400");
    QString ipAddress;
    QString netPort = QStringLiteral("5005");
    bool udpTicked = false;
    QString timeOut = QStringLiteral("5000");
    QString netPassword = QStringLiteral("0");

    // The link choice as the panel's radio buttons make it: exactly one is checked.
    void chooseUsb() { usbChecked = true, rs232Checked = false, tcpIpChecked = false; }
    void chooseSerial() { usbChecked = false, rs232Checked = true, tcpIpChecked = false; }
    void chooseTcpIp() { usbChecked = false, rs232Checked = false, tcpIpChecked = true; }
};

// The rows of the shown employee grid that the enrollment commands act on, in list order.
class EmployeeSelection {
public:
    virtual ~EmployeeSelection() = default;
    // The number of selected rows of the shown grid.
    virtual int count() const = 0;
    // Makes the i-th selected row (list order) the current row; the details follow it.
    virtual void makeCurrent(int i) = 0;
    // The value of the named column in the current row.
    virtual QVariant value(const QString& column) const = 0;
};

}  // namespace orvelo
