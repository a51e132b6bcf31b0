#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "access/connection.h"
#include "app/connection_panel_widgets.h"
#include "directory/employee_lists.h"
#include "shell/terminal_list.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace orvelo {

class Clock;
class CommandWorker;
class DataModule;
class EmployeeSelection;
class EntryPage;
class LogMemo;
class StatusBar;
class TerminalPage;
class TerminalDialog;
class ExportDialog;
class LivePage;
class TerminalCallWatch;
class TerminalLibrary;
class WidgetOperatorView;
class WindowThreadView;
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
    // 终端管理, after the four pages of the system it replaces.
    static constexpr int kTerminalPageIndex = 4;
    // 实时监控, after it.
    static constexpr int kLivePageIndex = 5;

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
    // runCommand for a command that talks to a terminal or stores records. It runs on the
    // window's command thread, so the window keeps painting and answering meanwhile: its reports
    // come to the panes and its boxes and dialogs are shown here while it waits for the answer,
    // the other command buttons are disabled and 取消 shows beside the progress bar. It runs only
    // while it holds the application folder's lock, and lets go of it when its work ends, before
    // its closing box; when another command (orveloctl, another window) holds it, it does not
    // wait: a warning box says so and nothing runs. The connection panel and the selected
    // employees are read at the click.
    void runTerminalCommand(const std::function<void(CommandContext&)>& command);
    // Runs `work` on the command thread like runTerminalCommand, without taking the folder's lock:
    // for work that takes it itself, terminal by terminal. Its context carries the panel read now.
    void runOnCommandThread(const std::function<void(CommandContext&)>& work);
    // Whether a terminal command runs now.
    bool isCommandRunning() const;
    // Runs the window's events (and so the boxes of the command) until no command runs.
    void waitUntilIdle();
    WidgetOperatorView& operatorView() { return *m_view; }

    // The dialogs of the terminal list, replaceable so that tests answer them: the terminal dialog
    // (true for 确定) and the prompt for a name (nullopt for 取消).
    using TerminalDialogHook = std::function<bool(TerminalDialog& dialog)>;
    using NamePromptHook =
        std::function<std::optional<QString>(const QString& caption, const QString& current)>;
    void setTerminalDialogHook(TerminalDialogHook hook) { m_terminalDialogHook = std::move(hook); }
    void setNamePromptHook(NamePromptHook hook) { m_namePromptHook = std::move(hook); }
    // The export dialog (true for 导出…) and the save-file dialog (nullopt for 取消).
    using ExportDialogHook = std::function<bool(ExportDialog& dialog)>;
    using SaveFileHook = std::function<std::optional<QString>(const QString& suggested)>;
    void setExportDialogHooks(ExportDialogHook dialog, SaveFileHook saveFile) {
        m_exportDialogHook = std::move(dialog);
        m_saveFileHook = std::move(saveFile);
    }
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
    // 取消: the running command stops at its next record or user, as incomplete.
    void btn_CancelClick();
    // 终端管理: the list read again, a terminal taken into the panel, collections from several.
    void refreshTerminalPage();
    void btn_UseTerminalClick();
    void btn_CollectTerminalsClick();
    void btn_CollectAllTerminalsClick();
    void btn_CheckTerminalsClick();
    void btn_CheckAllTerminalsClick();
    void btn_AddTerminalClick();
    void btn_EditTerminalClick();
    void btn_RenameTerminalClick();
    void btn_RemoveTerminalClick();
    void btn_SaveTerminalClick();
    // 导出考勤记录: the dialog, the file's name, then the export on the command thread.
    void btn_ExportClick();
    // 实时监控: watching all or the chosen terminals of the list.
    void btn_WatchAllClick();
    void btn_WatchChosenClick();

signals:
    // A terminal command ended (on the window's thread), whatever its outcome.
    void commandFinished();

    // pgc_DeviceChange is about to refresh the employee lists (the operator brought page 2 to
    // the front).
    void employeeListsRefreshRequested();

protected:
    void showEvent(QShowEvent* event) override;
    // While a command runs, closing asks first; 是 cancels it and the window closes once it ended.
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Link { Rs232, TcpIp, Usb };

    void buildLayout();
    void connectHandlers();
    void applyLinkChoice(Link link);
    void placeOnScreen();
    CommandContext commandContext();

    // The selection of the shown employee grid, for the enrollment commands.
    EmployeeSelection* employeeSelection();
    // The command buttons disabled while a command runs (each restored to its state before) and
    // 取消 shown.
    void showCommandRunning(bool running);
    // The status text's note while a terminal call waits long; every 100 ms while a command runs.
    void showTerminalWait();
    void commandEnded();
    // 检查 the terminals of the list at `rows`: their state columns filled in as they come.
    void checkListed(const QList<int>& rows);
    // The chosen row of the terminal page when exactly one is chosen; else says so and gives -1.
    int oneChosenTerminal(const QString& caption);
    bool editTerminal(TerminalDialog& dialog);
    std::optional<QString> askTerminalName(const QString& caption, const QString& current);
    // Runs an edit of terminals.ini, shows what refused it, and reads the list again.
    void editTerminalList(const std::function<void(const QString& path)>& edit);
    // 采集 from the terminals of the list at `rows` (list order), the results filled in as they come.
    void collectFromListed(const QList<int>& rows);

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
    std::unique_ptr<TerminalCallWatch> m_watchedTerminal;

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
    TerminalPage* ts_Terminals = nullptr;
    LivePage* ts_Live = nullptr;
    // The terminals the page shows, as last read.
    QList<TerminalEntry> m_terminalEntries;

    StatusBar* rzstsbr_1 = nullptr;
    QFileDialog* dlgOpen_1 = nullptr;

    QTimer* m_waitTimer = nullptr;
    TerminalDialogHook m_terminalDialogHook;
    NamePromptHook m_namePromptHook;
    ExportDialogHook m_exportDialogHook;
    SaveFileHook m_saveFileHook;
    std::vector<std::pair<QWidget*, bool>> m_disabledWhileRunning;
    bool m_closeWhenIdle = false;

    std::unique_ptr<WidgetOperatorView> m_view;
    // Declared after the views and the terminal: a window closed while a command runs stops it
    // and waits for it before they go.
    std::unique_ptr<WindowThreadView> m_threadView;
    std::unique_ptr<CommandWorker> m_worker;
};

}  // namespace orvelo
