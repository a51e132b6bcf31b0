#include "app/hv_client.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "access/loaded_terminal_library.h"
#include "app/command_questions.h"
#include "app/command_worker.h"
#include "app/device_pages.h"
#include "app/entry_page.h"
#include "app/export_dialog.h"
#include "app/live_page.h"
#include "app/log_memo.h"
#include "app/status_bar.h"
#include "app/tab_icons.h"
#include "app/terminal_call_watch.h"
#include "app/terminal_dialog.h"
#include "app/terminal_page.h"
#include "app/widget_operator_view.h"
#include "app/window_fonts.h"
#include "app/window_thread_view.h"
#include "collection/collection_commands.h"
#include "collection/collection_history.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "device/maintenance.h"
#include "device/terminal_check.h"
#include "directory/employee_lists.h"
#include "directory/employee_search.h"
#include "directory/selected_employees.h"
#include "enrollment/enrollment_commands.h"
#include "reports/attendance_export.h"
#include "shell/app_folder_lock.h"
#include "shell/handler_guard.h"
#include "shell/panel_defaults.h"
#include "shell/startup.h"
#include "shell/terminal_list_edit.h"
#include "shell/terminal_runs.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

constexpr int kWindowWidth = 700;
constexpr int kWindowHeight = 500;
// How often the status text looks whether a terminal call waits long.
constexpr int kWaitCheckMs = 100;

// Runs `handler` when a click checks `button`. Qt reports a click also on the radio button that
// is already checked, and `toggled` also for a check made by code; neither is the operator's
// choice of a link, so the state before the press decides.
void onCheckingClick(QAbstractButton* button, Tfrm_hv_client* window, void (Tfrm_hv_client::*handler)()) {
    auto wasChecked = std::make_shared<bool>(false);
    QObject::connect(button, &QAbstractButton::pressed, window,
                     [button, wasChecked] { *wasChecked = button->isChecked(); });
    QObject::connect(button, &QAbstractButton::clicked, window, [window, handler, wasChecked] {
        if (!*wasChecked) (window->*handler)();
    });
}

// Shows `index` without running the page-change handlers: they are for the operator's changes.
void showPageFromCode(QTabWidget* pages, int index) {
    const QSignalBlocker quiet(pages);
    pages->setCurrentIndex(index);
}

}  // namespace

Tfrm_hv_client::Tfrm_hv_client(DataModule& dataModule, const QString& appDir, QWidget* parent)
    : QWidget(parent),
      m_data(dataModule),
      m_appDir(appDir),
      m_ownedTerminal(std::make_unique<LazyTerminalLibrary>(QCoreApplication::applicationDirPath())),
      m_ownedClock(std::make_unique<SystemClock>()),
      m_terminal(m_ownedTerminal.get()),
      m_clock(m_ownedClock.get()) {
    buildLayout();
    connectHandlers();
}

Tfrm_hv_client::Tfrm_hv_client(DataModule& dataModule, const QString& appDir, TerminalLibrary& terminal,
                               const Clock& clock, QWidget* parent)
    : QWidget(parent), m_data(dataModule), m_appDir(appDir), m_terminal(&terminal), m_clock(&clock) {
    buildLayout();
    connectHandlers();
}

Tfrm_hv_client::~Tfrm_hv_client() {
    // The command still running reports to the widgets: it stops, and ends, before they go. Its end
    // is no more the window's business.
    m_worker->disconnect(this);
    m_worker.reset();
}

void Tfrm_hv_client::buildLayout() {
    setObjectName(u"frm_hv_client"_s);
    setWindowTitle(u"Orvelo"_s);
    setFont(windowFont());
    resize(kWindowWidth, kWindowHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_panelWidgets = buildConnectionPanel(this);
    pnl_1 = m_panelWidgets.pnl_1;
    edt_MachineNO = m_panelWidgets.edt_MachineNO;
    btn_connectdevice = m_panelWidgets.btn_connectdevice;
    rb_USB = m_panelWidgets.rb_USB;
    rb_232_485 = m_panelWidgets.rb_232_485;
    rb_tcp_ip = m_panelWidgets.rb_tcp_ip;
    cbb_commport = m_panelWidgets.cbb_commport;
    cbb_baudrate = m_panelWidgets.cbb_baudrate;

    pgc_Device = new QTabWidget(this);
    pgc_Device->setObjectName(u"pgc_Device"_s);
    pgc_Device->setIconSize(QSize(16, 16));
    const QList<QIcon> icons = pageIcons();
    {
        // addTab makes the first page current and says so; that is no page change of the operator.
        const QSignalBlocker quiet(pgc_Device);
        const SetDevicePage setDevice = buildSetDevicePage();
        ts_SetDevice = setDevice.ts_SetDevice;
        btn_GetDevicePara = setDevice.btn_GetDevicePara;
        btn_SetTime = setDevice.btn_SetTime;
        btn_DelDeviceAdmin = setDevice.btn_DelDeviceAdmin;
        btn_SetDevicePara = setDevice.btn_SetDevicePara;
        mmo_1 = setDevice.mmo_1;
        pgc_Device->addTab(ts_SetDevice, icons.at(0), u"设备设置"_s);

        const CollectionPage collection = buildCollectionPage();
        ts_2 = collection.ts_2;
        rb_GetNewData = collection.rb_GetNewData;
        rb_GetAllData = collection.rb_GetAllData;
        btn_GetData = collection.btn_GetData;
        btn_ImportDataFromU = collection.btn_ImportDataFromU;
        btn_ImportFromHV = collection.btn_ImportFromHV;
        btn_ClearDeviceLog = collection.btn_ClearDeviceLog;
        mmo_2 = collection.mmo_2;
        pgc_Device->addTab(ts_2, icons.at(1), u"数据采集"_s);

        ts_EntryInfo = new EntryPage(m_data);
        pgc_Device->addTab(ts_EntryInfo, icons.at(2), u"人员注册"_s);

        const SysConfigPage sysConfig = buildSysConfigPage();
        ts_SysConfig = sysConfig.ts_SysConfig;
        pgc_Device->addTab(ts_SysConfig, icons.at(3), u"系统配置"_s);
        pgc_Device->setTabEnabled(3, false);

        ts_Terminals = new TerminalPage;
        pgc_Device->addTab(ts_Terminals, icons.at(0), u"终端管理"_s);

        ts_Live = new LivePage(m_data, m_appDir, *m_terminal, *m_clock);
        pgc_Device->addTab(ts_Live, icons.at(1), u"实时监控"_s);
    }

    rzstsbr_1 = new StatusBar(*m_clock, this);

    layout->addWidget(pnl_1);
    layout->addWidget(pgc_Device, 1);
    layout->addWidget(rzstsbr_1);

    dlgOpen_1 = new QFileDialog(this);
    dlgOpen_1->setObjectName(u"dlgOpen_1"_s);
    dlgOpen_1->setAcceptMode(QFileDialog::AcceptOpen);
    dlgOpen_1->setFileMode(QFileDialog::ExistingFile);
    dlgOpen_1->setOption(QFileDialog::HideNameFilterDetails);

    m_view = std::make_unique<WidgetOperatorView>(*this, *mmo_1, *mmo_2, *rzstsbr_1->rzstspn_1,
                                                  *rzstsbr_1->rzprgrsts_1, *dlgOpen_1);
    m_view->setFileDialogFilter(u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s);

    m_watchedTerminal = std::make_unique<TerminalCallWatch>(*m_terminal);
    m_threadView = std::make_unique<WindowThreadView>(*m_view, *this);
    m_worker = std::make_unique<CommandWorker>(m_data);
    connect(m_worker.get(), &CommandWorker::finished, this, &Tfrm_hv_client::commandEnded);
    m_waitTimer = new QTimer(this);
    m_waitTimer->setInterval(kWaitCheckMs);
    connect(m_waitTimer, &QTimer::timeout, this, &Tfrm_hv_client::showTerminalWait);
}

// The table of handlers.
void Tfrm_hv_client::connectHandlers() {
    onCheckingClick(rb_USB, this, &Tfrm_hv_client::rb_USBClick);
    onCheckingClick(rb_232_485, this, &Tfrm_hv_client::rb_232_485Click);
    onCheckingClick(rb_tcp_ip, this, &Tfrm_hv_client::rb_tcp_ipClick);
    connect(pgc_Device, &QTabWidget::currentChanged, this, &Tfrm_hv_client::pgc_DeviceChange);

    const std::pair<QPushButton*, void (Tfrm_hv_client::*)()> clicks[] = {
        {btn_connectdevice, &Tfrm_hv_client::btn_connectdeviceClick},
        {btn_GetDevicePara, &Tfrm_hv_client::btn_GetDeviceParaClick},
        {btn_SetTime, &Tfrm_hv_client::btn_SetTimeClick},
        {btn_DelDeviceAdmin, &Tfrm_hv_client::btn_DelDeviceAdminClick},
        {btn_SetDevicePara, &Tfrm_hv_client::btn_SetDeviceParaClick},
        {btn_GetData, &Tfrm_hv_client::btn_GetDataClick},
        {btn_ImportDataFromU, &Tfrm_hv_client::btn_ImportDataFromUClick},
        {btn_ImportFromHV, &Tfrm_hv_client::btn_ImportFromHVClick},
        {ts_EntryInfo->btn_GetEntryInfo, &Tfrm_hv_client::btn_GetEntryInfoClick},
        {ts_EntryInfo->btn_GetAllEntryInfo, &Tfrm_hv_client::btn_GetAllEntryInfoClick},
        {ts_EntryInfo->btn_WriteEntryInfo, &Tfrm_hv_client::btn_WriteEntryInfoClick},
        {ts_EntryInfo->btn_DelEntryInfo, &Tfrm_hv_client::btn_DelEntryInfoClick},
        {ts_EntryInfo->btn_search, &Tfrm_hv_client::btn_searchClick},
    };
    for (const auto& [button, handler] : clicks) connect(button, &QPushButton::clicked, this, handler);
    connect(rzstsbr_1->btn_Cancel, &QPushButton::clicked, this, &Tfrm_hv_client::btn_CancelClick);
    connect(ts_Terminals->btn_UseTerminal, &QPushButton::clicked, this,
            &Tfrm_hv_client::btn_UseTerminalClick);
    connect(ts_Terminals->btn_CollectTerminals, &QPushButton::clicked, this,
            &Tfrm_hv_client::btn_CollectTerminalsClick);
    connect(ts_Terminals->btn_CollectAllTerminals, &QPushButton::clicked, this,
            &Tfrm_hv_client::btn_CollectAllTerminalsClick);
    connect(ts_Terminals->tbl_Terminals, &QTableWidget::cellDoubleClicked, this,
            &Tfrm_hv_client::btn_UseTerminalClick);
    const std::pair<QPushButton*, void (Tfrm_hv_client::*)()> listClicks[] = {
        {ts_Terminals->btn_CheckTerminals, &Tfrm_hv_client::btn_CheckTerminalsClick},
        {ts_Terminals->btn_CheckAllTerminals, &Tfrm_hv_client::btn_CheckAllTerminalsClick},
        {ts_Terminals->btn_AddTerminal, &Tfrm_hv_client::btn_AddTerminalClick},
        {ts_Terminals->btn_EditTerminal, &Tfrm_hv_client::btn_EditTerminalClick},
        {ts_Terminals->btn_RenameTerminal, &Tfrm_hv_client::btn_RenameTerminalClick},
        {ts_Terminals->btn_RemoveTerminal, &Tfrm_hv_client::btn_RemoveTerminalClick},
        {ts_Terminals->btn_SaveTerminal, &Tfrm_hv_client::btn_SaveTerminalClick},
        {ts_Terminals->btn_Export, &Tfrm_hv_client::btn_ExportClick},
    };
    for (const auto& [button, handler] : listClicks) connect(button, &QPushButton::clicked, this, handler);
    connect(ts_Live->btn_WatchAll, &QPushButton::clicked, this, &Tfrm_hv_client::btn_WatchAllClick);
    connect(ts_Live->btn_WatchChosen, &QPushButton::clicked, this, &Tfrm_hv_client::btn_WatchChosenClick);
    connect(ts_EntryInfo->chk_SelectAll, &QCheckBox::clicked, this, &Tfrm_hv_client::chk_SelectAllClick);
    connect(ts_EntryInfo->pgc_employee, &QTabWidget::currentChanged, this,
            &Tfrm_hv_client::pgc_employeeChange);
}

bool Tfrm_hv_client::FormCreate() {
    m_view->setProgress(0, false);
    showPageFromCode(pgc_Device, 0);
    showPageFromCode(ts_EntryInfo->pgc_employee, 0);
    // Checking by code does not run a click handler in Qt; start-up's check of rb_USB does.
    rb_USB->setChecked(true);
    rb_USBClick();
    rb_GetNewData->setChecked(true);
    cbb_commport->setCurrentIndex(0);
    cbb_baudrate->setCurrentIndex(2);
    m_view->clearLogs();
    return openStartupDatabase(m_data, m_appDir);
}

void Tfrm_hv_client::runCommand(const std::function<void(CommandContext&)>& command) {
    CommandContext ctx = commandContext();
    runWithDefaultErrorBox(*m_view, [&] { command(ctx); });
}

void Tfrm_hv_client::runTerminalCommand(const std::function<void(CommandContext&)>& command) {
    runOnCommandThread([this, command](CommandContext& threadContext) {
        const auto run = [&](AppFolderLock& lock) {
            CommandContext ctx = threadContext;
            // The folder is free again once the work is done, while the closing box still waits;
            // nothing is left to cancel then.
            ctx.onWorkEnded = [this, &lock, &view = ctx.view] {
                lock.unlock();
                static_cast<WindowThreadView&>(view).post([this] { rzstsbr_1->btn_Cancel->hide(); });
            };
            command(ctx);
        };
        if (runUnderAppFolderLock(m_appDir, std::chrono::milliseconds::zero(), run) == LockedRun::Busy)
            threadContext.view.messageBox(appFolderBusyText(), appFolderBusyCaption(), BoxIcon::Warning);
    });
}

void Tfrm_hv_client::runOnCommandThread(const std::function<void(CommandContext&)>& work) {
    // A click that reached the window before its buttons were disabled starts nothing.
    if (m_worker->isBusy()) return;
    const ConnectionPanelState panel = readConnectionPanel(m_panelWidgets);
    auto selection = std::make_shared<SelectionSnapshot>();
    runCommand([&](CommandContext&) { *selection = ts_EntryInfo->employeeSelection().snapshot(); });
    // The grid's cursor follows the employee the command works on, as the operator watches it.
    selection->setFollow(
        [this](int i) { m_threadView->post([this, i] { employeeSelection()->makeCurrent(i); }); });

    m_threadView->beginCommand();
    showCommandRunning(true);
    const Cancellation* cancellation = &m_worker->cancellation();
    m_worker->start([this, work, panel, selection, cancellation](CommandWorker::Database& database) {
        WindowThreadView& view = *m_threadView;
        // Inside the guard: a lock file that cannot be opened, or a database the command thread
        // cannot reach, is shown in the default error box.
        runWithDefaultErrorBox(view, [&] {
            CommandContext ctx{view,     panel,    m_settings,      *m_watchedTerminal, database.data(),
                               *m_clock, m_appDir, selection.get(), u"window"_s};
            ctx.cancellation = cancellation;
            ctx.onEmployeesChanged = [this, &view] {
                view.runOnWindowThread([this] {
                    // A list never opened (no text yet) has nothing to show.
                    if (!m_data.qry_3.sql().isEmpty()) ReopenActiveList(m_data);
                });
            };
            work(ctx);
        });
    });
}

bool Tfrm_hv_client::isCommandRunning() const {
    return m_worker->isBusy();
}

void Tfrm_hv_client::waitUntilIdle() {
    m_worker->waitUntilIdle();
}

void Tfrm_hv_client::commandEnded() {
    showCommandRunning(false);
    emit commandFinished();
    if (m_closeWhenIdle) close();
}

void Tfrm_hv_client::showCommandRunning(bool running) {
    if (running) {
        m_disabledWhileRunning.clear();
        for (QPushButton* button :
             {btn_connectdevice, btn_GetDevicePara, btn_SetTime, btn_DelDeviceAdmin, btn_SetDevicePara,
              btn_GetData, btn_ImportDataFromU, btn_ImportFromHV, btn_ClearDeviceLog,
              ts_EntryInfo->btn_GetEntryInfo, ts_EntryInfo->btn_GetAllEntryInfo,
              ts_EntryInfo->btn_WriteEntryInfo, ts_EntryInfo->btn_DelEntryInfo}) {
            m_disabledWhileRunning.emplace_back(button, button->isEnabled());
            button->setEnabled(false);
        }
        rzstsbr_1->btn_Cancel->setEnabled(true);
        rzstsbr_1->btn_Cancel->show();
        m_waitTimer->start();
    } else {
        m_waitTimer->stop();
        m_view->showTerminalWait(QString());
        rzstsbr_1->btn_Cancel->hide();
        for (const auto& [widget, enabled] : m_disabledWhileRunning) widget->setEnabled(enabled);
        m_disabledWhileRunning.clear();
    }
}

void Tfrm_hv_client::showTerminalWait() {
    // A call that answers within this time is no wait worth a word; the note would only flicker.
    constexpr std::chrono::milliseconds kNoticeableWait{300};
    switch (m_watchedTerminal->waitingLongerThan(kNoticeableWait)) {
        case TerminalCallWatch::Waiting::Nothing:
            m_view->showTerminalWait(QString());
            break;
        case TerminalCallWatch::Waiting::Connecting:
            m_view->showTerminalWait(u"连接设备…"_s);
            break;
        case TerminalCallWatch::Waiting::Answer:
            m_view->showTerminalWait(u"等待设备响应…"_s);
            break;
    }
}

void Tfrm_hv_client::btn_CancelClick() {
    if (!m_worker->isBusy()) return;
    m_worker->cancellation().request();
    // Taken: the command stops at its next record or user.
    rzstsbr_1->btn_Cancel->setEnabled(false);
}

void Tfrm_hv_client::closeEvent(QCloseEvent* event) {
    if (!m_worker->isBusy()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    // Asked once: after 是 the window waits for the command to end, then closes.
    if (m_closeWhenIdle) return;
    if (!m_view->askYesNo(u"正在执行的命令尚未结束。是否取消该命令并退出？"_s, u"Orvelo"_s)) return;
    m_closeWhenIdle = true;
    btn_CancelClick();
}

CommandContext Tfrm_hv_client::commandContext() {
    return CommandContext{*m_view,    readConnectionPanel(m_panelWidgets),
                          m_settings, *m_terminal,
                          m_data,     *m_clock,
                          m_appDir,   employeeSelection(),
                          u"window"_s};
}

void Tfrm_hv_client::applyLinkChoice(Link link) {
    enableLinkFields(m_panelWidgets, link == Link::Rs232, link == Link::TcpIp);
}

void Tfrm_hv_client::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        placeOnScreen();
    }
}

// 700 x 500 is the outer size, frame included where the window system already reports one,
// centred on the screen.
void Tfrm_hv_client::placeOnScreen() {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    resize(kWindowWidth - frame.left() - frame.right(), kWindowHeight - frame.top() - frame.bottom());
    if (const QScreen* shown = screen()) {
        const QRect available = shown->availableGeometry();
        move(available.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    }
}

void Tfrm_hv_client::rb_USBClick() {
    applyLinkChoice(Link::Usb);
}

void Tfrm_hv_client::rb_232_485Click() {
    applyLinkChoice(Link::Rs232);
}

void Tfrm_hv_client::rb_tcp_ipClick() {
    applyLinkChoice(Link::TcpIp);
}

void Tfrm_hv_client::pgc_DeviceChange() {
    const int page = pgc_Device->currentIndex();
    if (page == kEntryPageIndex) emit employeeListsRefreshRequested();
    if (page == kTerminalPageIndex || page == kLivePageIndex) {
        refreshTerminalPage();
        return;
    }
    runCommand([&](CommandContext& ctx) { orvelo::pgc_DeviceChange(ctx, ts_EntryInfo->grids(), page); });
}

EmployeeSelection* Tfrm_hv_client::employeeSelection() {
    return &ts_EntryInfo->employeeSelection();
}

// Asked before the command takes the folder's lock or touches the terminal: 否 leaves no trace.
bool Tfrm_hv_client::confirm(IrreversibleCommand command) {
    const bool enrollment =
        command == IrreversibleCommand::WriteEntryInfo || command == IrreversibleCommand::DelEntryInfo;
    const int selected = enrollment ? employeeSelection()->count() : 0;
    const Question question = questionBefore(command, readConnectionPanel(m_panelWidgets), selected);
    return m_view->askYesNo(question.text, question.caption);
}

void Tfrm_hv_client::btn_connectdeviceClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_connectdeviceClick(ctx); });
}

void Tfrm_hv_client::btn_GetDeviceParaClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_GetDeviceParaClick(ctx); });
}

void Tfrm_hv_client::btn_SetTimeClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_SetTimeClick(ctx); });
}

void Tfrm_hv_client::btn_DelDeviceAdminClick() {
    if (!confirm(IrreversibleCommand::DelDeviceAdmin)) return;
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_DelDeviceAdminClick(ctx); });
}

void Tfrm_hv_client::btn_SetDeviceParaClick() {
    if (!confirm(IrreversibleCommand::ClearAllData)) return;
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_SetDeviceParaClick(ctx); });
}

void Tfrm_hv_client::btn_GetDataClick() {
    const bool newRecordsOnly = rb_GetNewData->isChecked();
    runTerminalCommand(
        [newRecordsOnly](CommandContext& ctx) { orvelo::btn_GetDataClick(ctx, newRecordsOnly); });
}

void Tfrm_hv_client::btn_ImportDataFromUClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_ImportDataFromUClick(ctx); });
}

void Tfrm_hv_client::btn_ImportFromHVClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_ImportFromHVClick(ctx); });
}

void Tfrm_hv_client::btn_GetEntryInfoClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_GetEntryInfoClick(ctx); });
}

void Tfrm_hv_client::btn_GetAllEntryInfoClick() {
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_GetAllEntryInfoClick(ctx); });
}

void Tfrm_hv_client::btn_WriteEntryInfoClick() {
    if (!confirm(IrreversibleCommand::WriteEntryInfo)) return;
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_WriteEntryInfoClick(ctx); });
}

void Tfrm_hv_client::btn_DelEntryInfoClick() {
    if (!confirm(IrreversibleCommand::DelEntryInfo)) return;
    runTerminalCommand([](CommandContext& ctx) { orvelo::btn_DelEntryInfoClick(ctx); });
}

void Tfrm_hv_client::chk_SelectAllClick() {
    const bool ticked = ts_EntryInfo->chk_SelectAll->isChecked();
    runCommand([&](CommandContext& ctx) { orvelo::chk_SelectAllClick(ctx, ts_EntryInfo->grids(), ticked); });
}

void Tfrm_hv_client::pgc_employeeChange() {
    const int page = ts_EntryInfo->pgc_employee->currentIndex();
    runCommand([&](CommandContext& ctx) { orvelo::pgc_employeeChange(ctx, ts_EntryInfo->grids(), page); });
}

void Tfrm_hv_client::btn_searchClick() {
    const QString keyword = ts_EntryInfo->edt_keyword->text();
    runCommand([&](CommandContext& ctx) { orvelo::btn_searchClick(ctx, ts_EntryInfo->grids(), keyword); });
}

void Tfrm_hv_client::refreshTerminalPage() {
    runCommand([&](CommandContext&) {
        QList<TerminalEntry> entries;
        QString problem;
        try {
            entries = readTerminalList(terminalListPath(m_appDir)).entries;
        } catch (const TerminalListError& error) {
            // Shown, never overwritten: the operator or the administrator mends the file.
            problem = u"终端列表文件有错误，请改正后再试：%1"_s.arg(error.text());
        }
        const CollectionHistory history = readCollectionHistory(m_appDir).history;
        QList<QStringList> rows;
        for (const TerminalEntry& entry : entries) {
            QStringList row(TerminalPage::kColumnCount);
            row[TerminalPage::kName] = entry.name;
            row[TerminalPage::kAddress] = terminalDisplayName(entry.panel);
            // What an earlier check or run of this window found stays until the next one.
            const int before =
                int(std::find_if(m_terminalEntries.cbegin(), m_terminalEntries.cend(),
                                 [&](const TerminalEntry& e) { return e.name == entry.name; }) -
                    m_terminalEntries.cbegin());
            for (int column = TerminalPage::kOnline; column <= TerminalPage::kNewRecords; ++column)
                row[column] =
                    before < m_terminalEntries.size() ? ts_Terminals->cell(before, column) : QString();
            row[TerminalPage::kRunResult] = before < m_terminalEntries.size()
                                                ? ts_Terminals->cell(before, TerminalPage::kRunResult)
                                                : QString();
            const auto last = history.find(entry.address().key());
            if (last != history.end()) {
                row[TerminalPage::kLastCollection] = last->second.when;
                row[TerminalPage::kCollectedBy] = last->second.by;
                TerminalCollection shown;
                shown.started = true;
                shown.outcome.result = last->second.result;
                shown.outcome.read = last->second.read;
                shown.outcome.stored = last->second.stored;
                shown.outcome.refusedByDatabase = last->second.refusedByDatabase;
                row[TerminalPage::kCollectionResult] = terminalCollectionText(shown);
            }
            rows.append(row);
        }
        m_terminalEntries = entries;
        ts_Terminals->showRows(rows);
        ts_Live->showTerminals(entries);
        ts_Terminals->showListProblem(problem);
    });
}

void Tfrm_hv_client::btn_UseTerminalClick() {
    const QList<int> rows = ts_Terminals->chosenRows();
    if (rows.size() != 1 || rows.front() >= m_terminalEntries.size()) {
        m_view->messageBox(u"请先选择一个终端。"_s, u"设为当前设备"_s, BoxIcon::Information);
        return;
    }
    const ConnectionPanelState& panel = m_terminalEntries[rows.front()].panel;
    fillConnectionPanel(m_panelWidgets, panel);
    applyLinkChoice(panel.tcpIpChecked ? Link::TcpIp : panel.rs232Checked ? Link::Rs232 : Link::Usb);
}

void Tfrm_hv_client::btn_WatchAllClick() {
    ts_Live->startWatching(m_terminalEntries);
}

void Tfrm_hv_client::btn_WatchChosenClick() {
    QList<TerminalEntry> chosen;
    for (const int row : ts_Live->chosenRows()) {
        if (row < m_terminalEntries.size()) chosen.append(m_terminalEntries[row]);
    }
    if (chosen.isEmpty()) {
        m_view->messageBox(u"请先在左边的列表中选择要监控的终端。"_s, u"实时监控"_s, BoxIcon::Information);
        return;
    }
    ts_Live->startWatching(chosen);
}

void Tfrm_hv_client::btn_CollectTerminalsClick() {
    collectFromListed(ts_Terminals->chosenRows());
}

void Tfrm_hv_client::btn_CollectAllTerminalsClick() {
    QList<int> rows;
    for (int row = 0; row < m_terminalEntries.size(); ++row) rows.append(row);
    collectFromListed(rows);
}

void Tfrm_hv_client::collectFromListed(const QList<int>& rows) {
    QList<TerminalEntry> chosen;
    for (const int row : rows) {
        if (row >= 0 && row < m_terminalEntries.size()) chosen.append(m_terminalEntries[row]);
    }
    if (chosen.isEmpty()) {
        m_view->messageBox(u"请先选择要采集的终端。"_s, u"采集数据"_s, BoxIcon::Information);
        return;
    }
    for (const int row : rows) ts_Terminals->setCell(row, TerminalPage::kRunResult, u"等待"_s);
    const bool newRecordsOnly = !ts_Terminals->chk_CollectAllRecords->isChecked();
    runOnCommandThread([this, chosen, rows, newRecordsOnly](CommandContext& ctx) {
        auto& view = static_cast<WindowThreadView&>(ctx.view);
        const auto show = [this, &view, &rows](int index, const QString& text) {
            view.post([this, row = rows[index], text] {
                ts_Terminals->setCell(row, TerminalPage::kRunResult, text);
            });
        };
        // Another command on the folder (the timer's run) gets its turn between two terminals.
        constexpr std::chrono::seconds kLockWait{30};
        const QList<TerminalCollection> collections = collectFromTerminals(
            ctx, chosen, newRecordsOnly, kLockWait, [&](int index) { show(index, u"采集中…"_s); },
            [&](int index, const TerminalCollection& collection) {
                show(index, terminalCollectionText(collection));
            });
        ctx.view.appendLog(LogPane::Mmo2, QString());
        ctx.view.setProgress(0, false);
        ctx.view.setStatusText(QString());
        view.post([this] { refreshTerminalPage(); });
        const bool allDone = std::all_of(
            collections.cbegin(), collections.cend(),
            [](const TerminalCollection& c) { return c.started && !c.folderBusy && c.outcome.succeeded(); });
        ctx.view.messageBox(terminalCollectionsSummary(collections), u"采集数据"_s,
                            allDone ? BoxIcon::Information : BoxIcon::Warning);
    });
}

void Tfrm_hv_client::btn_CheckTerminalsClick() {
    checkListed(ts_Terminals->chosenRows());
}

void Tfrm_hv_client::btn_CheckAllTerminalsClick() {
    QList<int> rows;
    for (int row = 0; row < m_terminalEntries.size(); ++row) rows.append(row);
    checkListed(rows);
}

void Tfrm_hv_client::checkListed(const QList<int>& rows) {
    QList<TerminalEntry> chosen;
    for (const int row : rows) {
        if (row >= 0 && row < m_terminalEntries.size()) chosen.append(m_terminalEntries[row]);
    }
    if (chosen.isEmpty()) {
        m_view->messageBox(u"请先选择要检查的终端。"_s, u"检查终端"_s, BoxIcon::Information);
        return;
    }
    for (const int row : rows) ts_Terminals->setCell(row, TerminalPage::kOnline, u"检查中…"_s);
    runOnCommandThread([this, chosen, rows](CommandContext& ctx) {
        auto& view = static_cast<WindowThreadView&>(ctx.view);
        int online = 0;
        int checked = 0;
        for (int i = 0; i < chosen.size() && !ctx.cancelRequested(); ++i) {
            std::optional<TerminalHealth> health;
            // A check only reads, but it must not come between a collection's calls.
            constexpr std::chrono::seconds kLockWait{10};
            runUnderAppFolderLock(m_appDir, kLockWait,
                                  [&] { health = checkTerminal(chosen[i].panel, ctx.terminal, ctx.clock); });
            ++checked;
            QStringList cells;
            if (!health) {
                cells = {u"目录被占用"_s, QString(), QString(), QString(), QString()};
            } else {
                const auto number = [](const auto& value) {
                    return value ? QString::number(*value) : QString();
                };
                const QString state = !health->settingsError.isEmpty() ? u"设置有误"_s
                                      : health->reachable              ? u"在线"_s
                                                                       : u"离线"_s;
                if (health->reachable) ++online;
                cells = {state, number(health->clockOffsetSeconds), number(health->users),
                         number(health->records), number(health->newRecords)};
            }
            view.post([this, row = rows[i], cells] {
                for (int c = 0; c < cells.size(); ++c)
                    ts_Terminals->setCell(row, TerminalPage::kOnline + c, cells[c]);
            });
        }
        ctx.view.messageBox(
            u"共检查%1台终端，其中在线%2台，离线%3台。"_s.arg(checked).arg(online).arg(checked - online),
            u"检查终端"_s, online == checked ? BoxIcon::Information : BoxIcon::Warning);
    });
}

bool Tfrm_hv_client::editTerminal(TerminalDialog& dialog) {
    if (m_terminalDialogHook) return m_terminalDialogHook(dialog);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> Tfrm_hv_client::askTerminalName(const QString& caption, const QString& current) {
    if (m_namePromptHook) return m_namePromptHook(caption, current);
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, caption, u"终端名称："_s, QLineEdit::Normal, current, &ok);
    if (!ok) return std::nullopt;
    return name.trimmed();
}

int Tfrm_hv_client::oneChosenTerminal(const QString& caption) {
    const QList<int> rows = ts_Terminals->chosenRows();
    if (rows.size() != 1 || rows.front() >= m_terminalEntries.size()) {
        m_view->messageBox(u"请先选择一个终端。"_s, caption, BoxIcon::Information);
        return -1;
    }
    return rows.front();
}

void Tfrm_hv_client::editTerminalList(const std::function<void(const QString& path)>& edit) {
    try {
        edit(terminalListPath(m_appDir));
    } catch (const Error& error) {
        // The file is as it was: the edit is refused whole.
        m_view->messageBox(u"终端列表没有修改：%1"_s.arg(error.text()), u"终端管理"_s, BoxIcon::Warning);
    }
    refreshTerminalPage();
}

void Tfrm_hv_client::btn_AddTerminalClick() {
    TerminalDialog dialog(u"添加终端"_s, this);
    dialog.setTerminal(QString(), initialPanelState());
    if (!editTerminal(dialog)) return;
    editTerminalList([&](const QString& path) { addTerminal(path, dialog.name(), dialog.panel()); });
}

void Tfrm_hv_client::btn_EditTerminalClick() {
    const int row = oneChosenTerminal(u"修改终端"_s);
    if (row < 0) return;
    const TerminalEntry entry = m_terminalEntries[row];
    TerminalDialog dialog(u"修改终端"_s, this);
    dialog.setTerminal(entry.name, entry.panel);
    if (!editTerminal(dialog)) return;
    editTerminalList([&](const QString& path) {
        QString name = entry.name;
        if (dialog.name() != entry.name) {
            renameTerminal(path, entry.name, dialog.name());
            name = dialog.name();
        }
        updateTerminal(path, name, dialog.panel());
    });
}

void Tfrm_hv_client::btn_RenameTerminalClick() {
    const int row = oneChosenTerminal(u"重命名终端"_s);
    if (row < 0) return;
    const QString old = m_terminalEntries[row].name;
    const std::optional<QString> name = askTerminalName(u"重命名终端"_s, old);
    if (!name || *name == old) return;
    editTerminalList([&](const QString& path) { renameTerminal(path, old, *name); });
}

void Tfrm_hv_client::btn_RemoveTerminalClick() {
    const int row = oneChosenTerminal(u"删除终端"_s);
    if (row < 0) return;
    const QString name = m_terminalEntries[row].name;
    if (!m_view->askYesNo(
            u"将从终端列表中删除终端“%1”（终端本身和数据库中的记录不受影响），是否继续？"_s.arg(name),
            u"删除终端"_s))
        return;
    editTerminalList([&](const QString& path) { removeTerminal(path, name); });
}

void Tfrm_hv_client::btn_SaveTerminalClick() {
    const ConnectionPanelState panel = readConnectionPanel(m_panelWidgets);
    const std::optional<QString> name = askTerminalName(u"保存当前设备"_s, QString());
    if (!name) return;
    editTerminalList([&](const QString& path) {
        if (name->isEmpty()) throw Error(u"请输入终端名称。"_s);
        addTerminal(path, *name, panel);
    });
}

void Tfrm_hv_client::btn_ExportClick() {
    if (m_worker->isBusy()) return;
    QList<QPair<QString, QString>> departments;
    runCommand([&](CommandContext&) {
        for (const reports::Department& department : reports::listDepartments(m_data))
            departments.append({department.key, department.name});
    });
    const DateTimeParts now = decodeDateTime(m_clock->now());
    ExportDialog dialog(departments, QDate(now.year, now.month, now.day), this);
    const bool chosen = m_exportDialogHook ? m_exportDialogHook(dialog) : dialog.exec() == QDialog::Accepted;
    if (!chosen) return;
    reports::ExportRequest request;
    request.from = dialog.from();
    request.to = dialog.to();
    request.department = dialog.department();
    request.daily = dialog.daily();
    const bool workbook = dialog.workbook();
    const QString suggested = m_appDir + u"data/考勤记录-%1-%2.%3"_s.arg(request.from.toString(u"yyyyMMdd"_s),
                                                                         request.to.toString(u"yyyyMMdd"_s),
                                                                         workbook ? u"xlsx"_s : u"csv"_s);
    std::optional<QString> path;
    if (m_saveFileHook) {
        path = m_saveFileHook(suggested);
    } else {
        const QString filter = workbook ? u"Excel 工作簿 (*.xlsx)"_s : u"CSV 文件 (*.csv)"_s;
        const QString given = QFileDialog::getSaveFileName(this, u"导出考勤记录"_s, suggested, filter);
        if (!given.isEmpty()) path = given;
    }
    if (!path) return;
    // A year of punches takes a while: on the command thread, 取消 stops it and leaves no file.
    runOnCommandThread([request, workbook, target = *path](CommandContext& ctx) {
        ctx.view.setStatusText(u"正在导出考勤记录，请稍等......"_s);
        const reports::ExportSummary summary = reports::exportAttendance(
            ctx.data, request, workbook ? reports::ExportFormat::Xlsx : reports::ExportFormat::Csv, target,
            [&ctx] { return ctx.cancelRequested(); });
        ctx.view.setStatusText(QString());
        if (summary.cancelled) {
            ctx.view.messageBox(reports::exportCancelledText(target), reports::exportCaption(),
                                BoxIcon::Warning);
            return;
        }
        ctx.view.messageBox(u"共导出%1行考勤记录到文件%2中。"_s.arg(summary.rows).arg(target),
                            reports::exportCaption(), BoxIcon::Information);
    });
}

}  // namespace orvelo
