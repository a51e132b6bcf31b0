#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "access/connection.h"
#include "app/connection_panel_widgets.h"
#include "directory/employee_lists.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace orvelo {

class Clock;
class DataModule;
class EmployeeSelection;
class EntryPage;
class LogMemo;
class StatusBar;
class TerminalLibrary;
class WidgetOperatorView;
struct CommandContext;
enum class IrreversibleCommand;

// frm_hv_client: the one window. This file is its layout and its table of handlers; the
// reporting channels are WidgetOperatorView, the connection panel is read into a state by
// readConnectionPanel when a handler starts, the pages are built in device_pages and entry_page.
//
// Wiring a command: each click handler below is a one-line slot that runs a command function
// inside the default-error-box guard, e.g.
//     void Tfrm_hv_client::btn_SetTimeClick() { runCommand([&](CommandContext& ctx) {
//     orvelo::btn_SetTimeClick(ctx); }); }
// The command function is named after the handler, so call it qualified (orvelo::...): the
// unqualified name finds the member. Widget state a command needs beyond the connection panel
// (rb_GetNewData, edt_keyword) is read here and passed as an argument.
class Tfrm_hv_client : public QWidget {
    Q_OBJECT

public:
    static constexpr int kEntryPageIndex = kEnrollmentPageIndex;

    // The running program's window: the terminal library is loaded from the executable's folder
    // at its first use, the clock is the PC's.
    Tfrm_hv_client(DataModule& data, const QString& appDir, QWidget* parent = nullptr);
    // The same window with a given terminal library and clock (tests).
    Tfrm_hv_client(DataModule& data, const QString& appDir, TerminalLibrary& terminal, const Clock& clock,
                   QWidget* parent = nullptr);
    ~Tfrm_hv_client() override;

    // The window's creation step: the start-up state of the controls, then hv.ini and the
    // database. False when the database cannot be used; the caller tells the operator and ends.
    bool FormCreate();

    // Runs `command` with this window's context inside the default-error-box guard; every handler
    // goes through here.
    void runCommand(const std::function<void(CommandContext&)>& command);
    // runCommand for a command that talks to a terminal or stores records: it runs only while
    // this window holds the application folder's lock. When another command (orveloctl, another
    // window) holds it, the window does not wait, which would freeze it for as long as that
    // command runs: it shows a warning box at once and runs nothing.
    void runTerminalCommand(const std::function<void(CommandContext&)>& command);

    WidgetOperatorView& operatorView() { return *m_view; }
    const ConnectionSettings& connectionSettings() const { return m_settings; }
    const QString& appDir() const { return m_appDir; }

public slots:
    void rb_USBClick();
    void rb_232_485Click();
    void rb_tcp_ipClick();
    void pgc_DeviceChange();
    void btn_connectdeviceClick();
    void btn_GetDeviceParaClick();
    void btn_SetTimeClick();
    void btn_DelDeviceAdminClick();
    void btn_SetDeviceParaClick();
    void btn_GetDataClick();
    void btn_ImportDataFromUClick();
    void btn_ImportFromHVClick();
    void btn_GetEntryInfoClick();
    void btn_GetAllEntryInfoClick();
    void btn_WriteEntryInfoClick();
    void btn_DelEntryInfoClick();
    void chk_SelectAllClick();
    void pgc_employeeChange();
    void btn_searchClick();

signals:
    // pgc_DeviceChange is about to refresh the employee lists (the operator brought page 2 to
    // the front).
    void employeeListsRefreshRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class Link { Rs232, TcpIp, Usb };

    void buildLayout();
    void connectHandlers();
    void applyLinkChoice(Link link);
    void placeOnScreen();
    CommandContext commandContext();

    // The selection of the shown employee grid, for the enrollment commands.
    EmployeeSelection* employeeSelection();
    // Asks the operator before `command`, naming the terminal of the panel; false for 否.
    bool confirm(IrreversibleCommand command);

    DataModule& m_data;
    QString m_appDir;
    std::unique_ptr<TerminalLibrary> m_ownedTerminal;
    std::unique_ptr<Clock> m_ownedClock;
    TerminalLibrary* m_terminal = nullptr;
    const Clock* m_clock = nullptr;
    ConnectionSettings m_settings;
    bool m_placed = false;

    ConnectionPanelWidgets m_panelWidgets{};
    QWidget* pnl_1 = nullptr;
    QLineEdit* edt_MachineNO = nullptr;
    QPushButton* btn_connectdevice = nullptr;
    QRadioButton* rb_USB = nullptr;
    QRadioButton* rb_232_485 = nullptr;
    QRadioButton* rb_tcp_ip = nullptr;
    QComboBox* cbb_commport = nullptr;
    QComboBox* cbb_baudrate = nullptr;

    QTabWidget* pgc_Device = nullptr;
    QWidget* ts_SetDevice = nullptr;
    QPushButton* btn_GetDevicePara = nullptr;
    QPushButton* btn_SetTime = nullptr;
    QPushButton* btn_DelDeviceAdmin = nullptr;
    QPushButton* btn_SetDevicePara = nullptr;
    LogMemo* mmo_1 = nullptr;

    QWidget* ts_2 = nullptr;
    QRadioButton* rb_GetNewData = nullptr;
    QRadioButton* rb_GetAllData = nullptr;
    QPushButton* btn_GetData = nullptr;
    QPushButton* btn_ImportDataFromU = nullptr;
    QPushButton* btn_ImportFromHV = nullptr;
    QPushButton* btn_ClearDeviceLog = nullptr;
    LogMemo* mmo_2 = nullptr;

    EntryPage* ts_EntryInfo = nullptr;
    QWidget* ts_SysConfig = nullptr;

    StatusBar* rzstsbr_1 = nullptr;
    QFileDialog* dlgOpen_1 = nullptr;

    std::unique_ptr<WidgetOperatorView> m_view;
};

}  // namespace orvelo
