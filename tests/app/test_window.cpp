// The main window offscreen: its state after start-up, the link choice, the page-change rule and
// the reporting channels, with the boxes answered by a hook instead of a modal loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/status_bar.h"
#include "app/widget_operator_view.h"
#include "app/window_fonts.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/ports.h"
#include "db/data_module.h"
#include "tests/support/call_log.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

struct ShownBox {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        appDir = m_dir.path() + u'/';
        writeFile(appDir + u"hv.ini"_s, "[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
        window = std::make_unique<Tfrm_hv_client>(data, appDir, terminal, clock);
        window->operatorView().setBoxHook([this](QMessageBox& box) {
            boxes.push_back({box.text(), box.windowTitle(), box.icon(), box.standardButtons()});
        });
    }

    // Start-up as the program runs it, then the window on screen.
    void startUp() {
        ASSERT_TRUE(window->FormCreate());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <class T>
    T* child(const QString& name) {
        T* widget = window->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << "no " << name.toStdString();
        return widget;
    }
    QWidget* widget(const QString& name) { return child<QWidget>(name); }
    QTabWidget* pages() { return child<QTabWidget>(u"pgc_Device"_s); }
    LogMemo* memo(const QString& name) { return child<LogMemo>(name); }

    void clickTab(QTabWidget* tabs, int index) {
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    QTemporaryDir m_dir;
    QString appDir;
    test::CallLog log;
    test::ScriptedTerminalLibrary terminal{log};
    test::FixedClock clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
    DataModule data;
    std::unique_ptr<Tfrm_hv_client> window;
    std::vector<ShownBox> boxes;
};

// The controls whose enabling the link choice decides.
const QStringList kSerialControls = {u"cbb_commport"_s, u"lbl_commport"_s, u"cbb_baudrate"_s,
                                     u"lbl_baudrate"_s};
const QStringList kNetControls = {
    u"edt_ip_address"_s, u"lbl_IPaddress"_s,  u"edt_NetPort"_s, u"lbl_NetPort"_s,     u"chk_UDP"_s,
    u"edt_TimeOut"_s,    u"lbl_NetTimeOut"_s, u"lbl_s"_s,       u"edt_NetPassWord"_s, u"lbl_NetPassword"_s};

TEST_F(WindowTest, ControlsCarryTheirNamesCaptionsAndInitialTexts) {
    const std::pair<QString, QString> captions[] = {
        {u"lbl_1"_s, u"机号："_s},
        {u"btn_connectdevice"_s, u"测试设备连接"_s},
        {u"rb_USB"_s, u"USB通讯"_s},
        {u"rb_232_485"_s, u"RS232/485通讯"_s},
        {u"lbl_commport"_s, u"串口："_s},
        {u"lbl_baudrate"_s, u"波特率："_s},
        {u"rb_tcp_ip"_s, u"TCP/IP通讯"_s},
        {u"lbl_IPaddress"_s, u"IP地址："_s},
        {u"lbl_NetPort"_s, u"端口："_s},
        {u"chk_UDP"_s, u"UDP"_s},
        {u"lbl_NetTimeOut"_s, u"延时："_s},
        {u"lbl_s"_s, u"毫秒"_s},
        {u"lbl_NetPassword"_s, u"通讯密码："_s},
        {u"btn_GetDevicePara"_s, u"读取设备状态"_s},
        {u"btn_SetTime"_s, u"同步设备时间"_s},
        {u"btn_DelDeviceAdmin"_s, u"清除设备管理员"_s},
        {u"btn_SetDevicePara"_s, u"清除设备全部数据"_s},
        {u"rb_GetNewData"_s, u"采集新数据"_s},
        {u"rb_GetAllData"_s, u"采集全部数据"_s},
        {u"btn_GetData"_s, u"采集数据"_s},
        {u"btn_ImportDataFromU"_s, u"U盘数据导入"_s},
        {u"btn_ImportFromHV"_s, u"刷卡文件导入"_s},
        {u"btn_ClearDeviceLog"_s, u"清除设备记录"_s},
        {u"chk_SelectAll"_s, u"对所有人员进行操作"_s},
        {u"btn_GetAllEntryInfo"_s, u"获取所有注册信息"_s},
        {u"btn_GetEntryInfo"_s, u"获取注册信息"_s},
        {u"btn_WriteEntryInfo"_s, u"写入指纹及姓名"_s},
        {u"btn_DelEntryInfo"_s, u"删除注册信息"_s},
        {u"txt_1"_s, u"部门/姓名/工号："_s},
        {u"btn_search"_s, u"模糊查询"_s},
        {u"lbl_7"_s, u"设备类型："_s},
        {u"btn_SaveDeviceType"_s, u"保存(&S)"_s},
        {u"rzstspn_2"_s, u"操作员：sa"_s},
    };
    for (const auto& [name, caption] : captions) {
        QWidget* control = widget(name);
        if (!control) continue;
        if (auto* label = qobject_cast<QLabel*>(control))
            EXPECT_EQ(label->text(), caption) << name.toStdString();
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            EXPECT_EQ(button->text(), caption) << name.toStdString();
        else
            ADD_FAILURE() << name.toStdString() << " has no caption";
    }

    const std::pair<QString, QString> texts[] = {
        {u"edt_MachineNO"_s, u"1"_s},   {u"edt_ip_address"_s, u"192.168.1.201"_s},
        {u"edt_NetPort"_s, u"5005"_s},  {u"edt_TimeOut"_s, u"5000"_s},
        {u"edt_NetPassWord"_s, u"0"_s}, {u"edt_keyword"_s, QString()},
    };
    for (const auto& [name, text] : texts) {
        if (auto* edit = child<QLineEdit>(name)) {
            EXPECT_EQ(edit->text(), text) << name.toStdString();
        }
    }

    EXPECT_EQ(child<QRadioButton>(u"rb_GetNewData"_s)->toolTip(), u"采集设备里面没有被采集过的数据"_s);
    EXPECT_EQ(child<QRadioButton>(u"rb_GetAllData"_s)->toolTip(),
              u"采集设备里面全部数据（包括已采集和未采集的数据）"_s);

    QComboBox* ports = child<QComboBox>(u"cbb_commport"_s);
    ASSERT_EQ(ports->count(), 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(ports->itemText(i), u"COM"_s + QString::number(i + 1));
    QComboBox* speeds = child<QComboBox>(u"cbb_baudrate"_s);
    QStringList speedItems;
    for (int i = 0; i < speeds->count(); ++i) speedItems << speeds->itemText(i);
    EXPECT_EQ(speedItems, (QStringList{u"9600"_s, u"19200"_s, u"38400"_s, u"57600"_s, u"115200"_s}));
    EXPECT_TRUE(ports->isEditable());
    EXPECT_TRUE(speeds->isEditable());
    EXPECT_EQ(child<QComboBox>(u"cbb_DeviceType"_s)->count(), 0);

    QTabWidget* tabs = pages();
    // The four pages of the system it replaces, then 终端管理 and 实时监控.
    ASSERT_EQ(tabs->count(), 6);
    const QString pageNames[] = {u"ts_SetDevice"_s, u"ts_2"_s,         u"ts_EntryInfo"_s,
                                 u"ts_SysConfig"_s, u"ts_Terminals"_s, u"ts_Live"_s};
    const QString tabCaptions[] = {u"设备设置"_s, u"数据采集"_s, u"人员注册"_s,
                                   u"系统配置"_s, u"终端管理"_s, u"实时监控"_s};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), pageNames[i]);
        EXPECT_EQ(tabs->tabText(i), tabCaptions[i]);
        EXPECT_FALSE(tabs->tabIcon(i).isNull()) << i;
        EXPECT_EQ(tabs->tabIcon(i).actualSize(QSize(16, 16)), QSize(16, 16)) << i;
    }
    QTabWidget* employees = child<QTabWidget>(u"pgc_employee"_s);
    ASSERT_EQ(employees->count(), 2);
    EXPECT_EQ(employees->widget(0)->objectName(), u"ts_1"_s);
    EXPECT_EQ(employees->tabText(0), u"在职人员"_s);
    EXPECT_EQ(employees->widget(1)->objectName(), u"ts_3"_s);
    EXPECT_EQ(employees->tabText(1), u"离职人员"_s);
    for (const QString& name : {u"dbgrdh_3"_s, u"dbgrdh_4"_s, u"dbgrdh_5"_s, u"rzszpnl_1"_s, u"dlgOpen_1"_s})
        EXPECT_NE(window->findChild<QObject*>(name), nullptr) << name.toStdString();
}

TEST_F(WindowTest, StartUpLeavesTheStateOperatorsStartFrom) {
    // As built, RS232/485 is the checked link; start-up's check of USB applies the USB rule.
    EXPECT_TRUE(child<QRadioButton>(u"rb_232_485"_s)->isChecked());
    startUp();

    EXPECT_EQ(window->windowTitle(), u"Orvelo"_s);
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(child<QTabWidget>(u"pgc_employee"_s)->currentIndex(), 0);
    EXPECT_TRUE(child<QRadioButton>(u"rb_USB"_s)->isChecked());
    EXPECT_FALSE(child<QRadioButton>(u"rb_232_485"_s)->isChecked());
    EXPECT_FALSE(child<QRadioButton>(u"rb_tcp_ip"_s)->isChecked());
    for (const QString& name : kSerialControls + kNetControls)
        EXPECT_FALSE(widget(name)->isEnabled()) << name.toStdString();
    EXPECT_TRUE(widget(u"edt_MachineNO"_s)->isEnabled());
    EXPECT_TRUE(widget(u"btn_connectdevice"_s)->isEnabled());
    EXPECT_EQ(child<QComboBox>(u"cbb_commport"_s)->currentText(), u"COM1"_s);
    EXPECT_EQ(child<QComboBox>(u"cbb_baudrate"_s)->currentText(), u"38400"_s);
    EXPECT_TRUE(child<QRadioButton>(u"rb_GetNewData"_s)->isChecked());
    EXPECT_FALSE(child<QRadioButton>(u"rb_GetAllData"_s)->isChecked());
    EXPECT_EQ(memo(u"mmo_1"_s)->lineCount(), 0);
    EXPECT_EQ(memo(u"mmo_2"_s)->lineCount(), 0);
    EXPECT_TRUE(child<QLabel>(u"rzstspn_1"_s)->text().isEmpty());
    auto* progress = child<ProgressPane>(u"rzprgrsts_1"_s);
    EXPECT_EQ(progress->percent(), 0);
    EXPECT_FALSE(progress->numberShown());
    EXPECT_EQ(child<QLabel>(u"rzclcksts_1"_s)->text(), u"2024-05-06 07:08:09"_s);

    // Disabled for good: the page "系统配置" with its controls, and btn_ClearDeviceLog.
    EXPECT_FALSE(pages()->isTabEnabled(3));
    for (const QString& name : {u"ts_SysConfig"_s, u"cbb_DeviceType"_s, u"btn_SaveDeviceType"_s, u"lbl_7"_s,
                                u"btn_ClearDeviceLog"_s})
        EXPECT_FALSE(widget(name)->isEnabled()) << name.toStdString();

    // The database and the lists are open.
    EXPECT_TRUE(data.isConnected());
    EXPECT_TRUE(data.qry_3.isOpen());
    EXPECT_TRUE(data.qry_4.isOpen());
    EXPECT_TRUE(data.qry_5.isOpen());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, StartUpFailsWhenTheDatabaseCannotBeUsed) {
    const QByteArray inis[] = {
        "[database]\r\nlogin mode=Win\r\n",
        "[database]\r\nlogin mode=\r\n",
        "[database]\r\nprovider=sqlite\r\ndatabase name=no-such-folder/x/orvelo.db\r\n",
    };
    for (const QByteArray& ini : inis) {
        writeFile(appDir + u"hv.ini"_s, ini);
        DataModule other;
        Tfrm_hv_client failing(other, appDir, terminal, clock);
        EXPECT_FALSE(failing.FormCreate()) << ini.toStdString();
    }
}

TEST_F(WindowTest, SizesFontsAndPanes) {
    EXPECT_EQ(window->size(), QSize(700, 500));
    startUp();
    EXPECT_EQ(widget(u"pnl_1"_s)->height(), 113);
    EXPECT_EQ(widget(u"pnl_1"_s)->width(), window->width());
    EXPECT_EQ(widget(u"rzstsbr_1"_s)->height(), 19);
    EXPECT_EQ(widget(u"rzstspn_1"_s)->width(), 273);
    EXPECT_EQ(widget(u"rzclcksts_1"_s)->width(), 124);
    EXPECT_EQ(widget(u"rzstspn_2"_s)->width(), 112);
    for (const QString& name : {u"btn_GetDevicePara"_s, u"btn_SetTime"_s, u"btn_GetData"_s,
                                u"btn_ImportFromHV"_s, u"btn_GetAllEntryInfo"_s, u"btn_DelEntryInfo"_s})
        EXPECT_EQ(widget(name)->size(), QSize(121, 25)) << name.toStdString();
    EXPECT_EQ(widget(u"btn_GetData"_s)->parentWidget()->width(), 153);
    EXPECT_EQ(widget(u"rzszpnl_1"_s)->height(), 124);

    // Every font names the CJK fallback, so Chinese never falls to a Latin face.
    const QStringList families = songTiFamilies();
    EXPECT_TRUE(families.contains(QFontInfo(window->font()).family()))
        << QFontInfo(window->font()).family().toStdString();
    EXPECT_EQ(window->font().pixelSize(), 12);
    LogMemo* mmo1 = memo(u"mmo_1"_s);
    EXPECT_EQ(mmo1->font().pixelSize(), 16);
    EXPECT_TRUE(families.contains(QFontInfo(mmo1->font()).family()));
    EXPECT_TRUE(mmo1->isReadOnly());
    EXPECT_EQ(mmo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    LogMemo* mmo2 = memo(u"mmo_2"_s);
    EXPECT_EQ(mmo2->font(), window->font());
    EXPECT_TRUE(mmo2->isReadOnly());
    EXPECT_EQ(mmo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(mmo2->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // Resizing: the panel and the status bar keep their heights, the page control and the
    // working areas take the rest, the button columns keep their width.
    window->resize(900, 650);
    QApplication::processEvents();
    EXPECT_EQ(widget(u"pnl_1"_s)->height(), 113);
    EXPECT_EQ(widget(u"rzstsbr_1"_s)->height(), 19);
    EXPECT_EQ(pages()->height(), 650 - 113 - 19);
    EXPECT_EQ(widget(u"btn_GetDevicePara"_s)->parentWidget()->width(), 153);
    EXPECT_GT(mmo1->width(), 900 - 153 - 40);
}

// Each row: the radio button clicked, then whether the serial and the network controls are enabled.
struct LinkCase {
    QString radio;
    bool serialEnabled;
    bool netEnabled;
};

TEST_F(WindowTest, LinkChoiceEnablesTheFieldsOfTheChosenLink) {
    startUp();
    child<QLineEdit>(u"edt_ip_address"_s)->setText(u"10.0.0.1"_s);
    child<QComboBox>(u"cbb_baudrate"_s)->setEditText(u"12345"_s);
    const LinkCase cases[] = {
        {u"rb_tcp_ip"_s, false, true},  {u"rb_232_485"_s, true, false}, {u"rb_USB"_s, false, false},
        {u"rb_232_485"_s, true, false}, {u"rb_tcp_ip"_s, false, true},
    };
    for (const LinkCase& c : cases) {
        QTest::mouseClick(child<QRadioButton>(c.radio), Qt::LeftButton);
        EXPECT_TRUE(child<QRadioButton>(c.radio)->isChecked()) << c.radio.toStdString();
        for (const QString& name : kSerialControls)
            EXPECT_EQ(widget(name)->isEnabled(), c.serialEnabled)
                << c.radio.toStdString() << " " << name.toStdString();
        for (const QString& name : kNetControls)
            EXPECT_EQ(widget(name)->isEnabled(), c.netEnabled)
                << c.radio.toStdString() << " " << name.toStdString();
        EXPECT_TRUE(widget(u"edt_MachineNO"_s)->isEnabled());
        EXPECT_TRUE(widget(u"btn_connectdevice"_s)->isEnabled());
        // The fields keep their texts, a typed speed that is no item included.
        EXPECT_EQ(child<QLineEdit>(u"edt_ip_address"_s)->text(), u"10.0.0.1"_s);
        EXPECT_EQ(child<QComboBox>(u"cbb_baudrate"_s)->currentText(), u"12345"_s);
    }
}

TEST_F(WindowTest, AClickOnTheCheckedRadioButtonOrACheckFromCodeChangesNothing) {
    startUp();
    // Marks that a handler run would undo.
    widget(u"cbb_commport"_s)->setEnabled(true);
    widget(u"edt_ip_address"_s)->setEnabled(true);
    QTest::mouseClick(child<QRadioButton>(u"rb_USB"_s), Qt::LeftButton);
    EXPECT_TRUE(child<QRadioButton>(u"rb_USB"_s)->isChecked());
    EXPECT_TRUE(widget(u"cbb_commport"_s)->isEnabled());
    EXPECT_TRUE(widget(u"edt_ip_address"_s)->isEnabled());

    // The space key on the focused checked button is a click too.
    child<QRadioButton>(u"rb_USB"_s)->setFocus();
    QTest::keyClick(child<QRadioButton>(u"rb_USB"_s), Qt::Key_Space);
    EXPECT_TRUE(widget(u"cbb_commport"_s)->isEnabled());

    // A check made by code runs no handler.
    child<QRadioButton>(u"rb_tcp_ip"_s)->setChecked(true);
    EXPECT_TRUE(widget(u"cbb_commport"_s)->isEnabled());
    EXPECT_FALSE(widget(u"edt_NetPort"_s)->isEnabled());

    // The operator's click on an unchecked button still applies its rule.
    QTest::mouseClick(child<QRadioButton>(u"rb_232_485"_s), Qt::LeftButton);
    EXPECT_TRUE(widget(u"cbb_commport"_s)->isEnabled());
    EXPECT_FALSE(widget(u"edt_ip_address"_s)->isEnabled());
}

TEST_F(WindowTest, OnlyBringingTheEnrollmentPageToTheFrontRefreshesTheLists) {
    QSignalSpy refreshes(window.get(), &Tfrm_hv_client::employeeListsRefreshRequested);
    startUp();
    EXPECT_EQ(refreshes.count(), 0) << "the pages added and chosen by start-up are no page change";

    // Each row: the tab the operator clicks, the page then in front, the refreshes so far.
    const struct {
        int tab;
        int shown;
        int refreshes;
    } steps[] = {
        {1, 1, 0},             // "数据采集": nothing
        {2, 2, 1},             // "人员注册"
        {0, 0, 1}, {2, 2, 2},  // again through another page: again
        {3, 2, 2},             // the disabled page cannot be brought to the front
        {1, 1, 2},
    };
    for (const auto& step : steps) {
        clickTab(pages(), step.tab);
        EXPECT_EQ(pages()->currentIndex(), step.shown) << step.tab;
        EXPECT_EQ(refreshes.count(), step.refreshes) << step.tab;
    }

    // The keyboard's page change is the operator's too.
    QTest::keyClick(pages(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages()->currentIndex(), 2);
    EXPECT_EQ(refreshes.count(), 3);
    EXPECT_TRUE(boxes.empty());
}

// Each row: what the command throws and the default error box's text.
struct ErrorCase {
    std::function<void()> raise;
    QString shown;
};

TEST_F(WindowTest, AnErrorInAHandlerReachesTheDefaultErrorBoxAndTheWindowStaysUsable) {
    startUp();
    const ErrorCase cases[] = {
        {[] { throw ConversionError(u"'abc' is not a valid integer value"_s); },
         u"'abc' is not a valid integer value."_s},
        {[] { throw DatabaseError(u"no such table: hremployee"_s); }, u"no such table: hremployee."_s},
        {[] { throw FileError(u"文件不存在!"_s); }, u"文件不存在!"_s},
        {[] { throw std::runtime_error("out of memory"); }, u"out of memory."_s},
    };
    for (const ErrorCase& c : cases) {
        boxes.clear();
        window->runCommand([&](CommandContext& ctx) {
            ctx.view.appendLog(LogPane::Mmo1, u"before"_s);
            c.raise();
            ctx.view.appendLog(LogPane::Mmo1, u"after"_s);
        });
        ASSERT_EQ(boxes.size(), 1u) << c.shown.toStdString();
        EXPECT_EQ(boxes[0].text, c.shown);
        EXPECT_EQ(boxes[0].caption, u"Orvelo系统"_s);
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    // The stopped commands' lines stay; nothing after the error ran.
    EXPECT_EQ(memo(u"mmo_1"_s)->lines(), QStringList(4, u"before"_s));

    // The window goes on: a command runs to its end and a click applies its rule.
    boxes.clear();
    window->runCommand([](CommandContext& ctx) { ctx.view.appendLog(LogPane::Mmo2, u"next"_s); });
    EXPECT_EQ(memo(u"mmo_2"_s)->lines(), QStringList{u"next"_s});
    QTest::mouseClick(child<QRadioButton>(u"rb_tcp_ip"_s), Qt::LeftButton);
    EXPECT_TRUE(widget(u"edt_ip_address"_s)->isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, CommandsGetTheWindowsContext) {
    startUp();
    child<QLineEdit>(u"edt_MachineNO"_s)->setText(u" 7"_s);
    QTest::mouseClick(child<QRadioButton>(u"rb_tcp_ip"_s), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(u"chk_UDP"_s), Qt::LeftButton);
    child<QComboBox>(u"cbb_commport"_s)->setEditText(u"com3"_s);
    bool ran = false;
    window->runCommand([&](CommandContext& ctx) {
        ran = true;
        const ConnectionPanelState state = ctx.panel;
        EXPECT_EQ(state.machineNo, u" 7"_s);
        EXPECT_TRUE(state.tcpIpChecked);
        EXPECT_FALSE(state.usbChecked);
        EXPECT_FALSE(state.rs232Checked);
        EXPECT_TRUE(state.udpTicked);
        EXPECT_EQ(state.comPort, u"com3"_s);
        EXPECT_EQ(state.baudRate, u"38400"_s);
        EXPECT_EQ(state.ipAddress, u"192.168.1.201"_s);
        EXPECT_EQ(ctx.appDir, appDir);
        EXPECT_EQ(&ctx.data, &data);
        EXPECT_EQ(&ctx.terminal, &terminal);
        EXPECT_EQ(ctx.clock.now(), clock.now());
        EXPECT_EQ(&ctx.settings, &window->connectionSettings());
    });
    EXPECT_TRUE(ran);
}

TEST_F(WindowTest, LogLinesStatusAndBoxes) {
    startUp();
    WidgetOperatorView& view = window->operatorView();
    // Empty lines are lines, the first one too.
    for (const QString& line : {QString(), u"获取1号设备状态："_s, QString(), QString()})
        view.appendLog(LogPane::Mmo1, line);
    view.appendLog(LogPane::Mmo2, u"数据采集成功！"_s);
    EXPECT_EQ(memo(u"mmo_1"_s)->lines(),
              (QStringList{QString(), u"获取1号设备状态："_s, QString(), QString()}));
    EXPECT_EQ(memo(u"mmo_1"_s)->toPlainText(), u"\n获取1号设备状态：\n\n"_s);
    EXPECT_EQ(memo(u"mmo_2"_s)->lines(), QStringList{u"数据采集成功！"_s});

    view.setStatusText(u"正在采集数据..."_s);
    EXPECT_EQ(child<QLabel>(u"rzstspn_1"_s)->text(), u"正在采集数据..."_s);
    view.setStatusText(QString());
    EXPECT_TRUE(child<QLabel>(u"rzstspn_1"_s)->text().isEmpty());

    const struct {
        BoxIcon icon;
        QMessageBox::Icon shown;
    } icons[] = {{BoxIcon::Information, QMessageBox::Information},
                 {BoxIcon::Warning, QMessageBox::Warning},
                 {BoxIcon::Error, QMessageBox::Critical}};
    for (const auto& icon : icons) {
        boxes.clear();
        view.messageBox(u"设备连接失败,请连接好设备后重试!"_s, u"测试设备连接"_s, icon.icon);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, u"设备连接失败,请连接好设备后重试!"_s);
        EXPECT_EQ(boxes[0].caption, u"测试设备连接"_s);
        EXPECT_EQ(boxes[0].icon, icon.shown);
        EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

TEST_F(WindowTest, ProgressRepaintsAtOnceAndShowsMoreThanAHundred) {
    startUp();
    auto* pane = child<ProgressPane>(u"rzprgrsts_1"_s);
    PaintCounter paints;
    pane->installEventFilter(&paints);
    // Without processing events: only a direct repaint draws the pane.
    window->operatorView().setProgress(30, true);
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(pane->numberText(), u"30%"_s);
    EXPECT_EQ(pane->filledWidth(200), 60);

    // Each row: percent, number shown, the filled part of 200 pixels, the number's text.
    const struct {
        int percent;
        bool shown;
        int filled;
        QString number;
    } cases[] = {
        {0, true, 0, u"0%"_s},         {100, true, 200, u"100%"_s}, {150, true, 200, u"150%"_s},
        {1234, true, 200, u"1234%"_s}, {-5, true, 0, u"-5%"_s},     {0, false, 0, QString()},
        {75, false, 150, QString()},
    };
    for (const auto& c : cases) {
        window->operatorView().setProgress(c.percent, c.shown);
        EXPECT_EQ(pane->filledWidth(200), c.filled) << c.percent;
        EXPECT_EQ(pane->numberText(), c.number) << c.percent;
    }
    EXPECT_EQ(paints.count, 1 + static_cast<int>(std::size(cases)));
}

TEST(FileDialogFilter, BecomesQtNameFilters) {
    const struct {
        QString filter;
        QStringList expected;
    } cases[] = {
        {u"U盘记录文件(*.txt)|*.txt|所有文件(*.*)|*.*"_s,
         {u"U盘记录文件(*.txt) (*.txt)"_s, u"所有文件(*.*) (*)"_s}},
        {u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s,
         {u"原始记录文件(*.hv) (*.hv)"_s, u"所有文件(*.*) (*)"_s}},
        {u"Logs|*.txt;*.log"_s, {u"Logs (*.txt *.log)"_s}},
        {u"Anything"_s, {u"Anything (*)"_s}},
    };
    for (const auto& c : cases) EXPECT_EQ(qtNameFilters(c.filter), c.expected) << c.filter.toStdString();
}

TEST_F(WindowTest, FileDialogKeepsItsFilterAndFolderAndAnswersWithAFullPath) {
    startUp();
    auto* dialog = child<QFileDialog>(u"dlgOpen_1"_s);
    EXPECT_EQ(dialog->nameFilters(), (QStringList{u"U盘记录文件(*.txt) (*.txt)"_s, u"所有文件(*.*) (*)"_s}));
    EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);

    WidgetOperatorView& view = window->operatorView();
    view.setFileDialogFilter(u"原始记录文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s);
    view.setFileDialogFolder(m_dir.path());
    QStringList seenFilters;
    QString seenFolder;
    view.setFileDialogHook([&](QFileDialog& shown) -> std::optional<QString> {
        seenFilters = shown.nameFilters();
        seenFolder = shown.directory().absolutePath();
        return m_dir.path() + u"/data/../data/a.hv"_s;
    });
    EXPECT_EQ(view.chooseFile(), std::optional<QString>(m_dir.path() + u"/data/a.hv"_s));
    EXPECT_EQ(seenFilters.value(0), u"原始记录文件(*.hv) (*.hv)"_s);
    EXPECT_EQ(seenFolder, QDir(m_dir.path()).absolutePath());

    view.setFileDialogHook([](QFileDialog&) -> std::optional<QString> { return std::nullopt; });
    EXPECT_EQ(view.chooseFile(), std::nullopt);
}

TEST_F(WindowTest, TheClockPaneFollowsTheClock) {
    startUp();
    clock.value = *parseDateTimeText(u"2024-05-06 07:08:10"_s);
    QLabel* pane = child<QLabel>(u"rzclcksts_1"_s);
    for (int i = 0; i < 100 && pane->text() != u"2024-05-06 07:08:10"_s; ++i) QTest::qWait(50);
    EXPECT_EQ(pane->text(), u"2024-05-06 07:08:10"_s);
}

}  // namespace
}  // namespace orvelo
