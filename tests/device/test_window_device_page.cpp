// The window offscreen, its connection test and the buttons of the page "设备设置" clicked against
// the emulated terminal through the real libfkattend.so: mmo_1, the boxes, and the terminal's
// state afterwards.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "access/terminal_library.h"
#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/widget_operator_view.h"
#include "db/data_module.h"
#include "tests/device/device_terminal_fixture.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fixed_clock.h"

namespace orvelo {
namespace {

using test::EmulatorProcess;

struct Box {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    bool operator==(const Box&) const = default;
};

void PrintTo(const Box& box, std::ostream* os) {
    *os << box.caption.toStdString() << " | " << box.text.toStdString() << " | " << int(box.icon);
}

Box info(const QString& caption, const QString& text) {
    return {caption, text, QMessageBox::Information};
}

Box warning(const QString& caption, const QString& text) {
    return {caption, text, QMessageBox::Warning};
}

using Lines = QStringList;
using Boxes = std::vector<Box>;

class WindowDevicePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_appDir.isValid());
        QFile ini(m_appDir.filePath(QStringLiteral("hv.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
        ini.close();
        ASSERT_TRUE(m_stateDir.isValid());
        m_statePath = m_stateDir.filePath(QStringLiteral("terminal.json"));
        EmulatorProcess::writeState(m_statePath, test::maintenanceTerminalState());

        m_library = loadTerminalLibrary(EmulatorProcess::binFolder());
        m_window = std::make_unique<Tfrm_hv_client>(m_data, m_appDir.path() + u'/', *m_library, m_clock);
        m_window->operatorView().setBoxHook([this](QMessageBox& box) {
            m_boxes.push_back({box.windowTitle(), box.text(), box.icon()});
        });
        ASSERT_TRUE(m_window->FormCreate());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void startTerminal(bool usb) {
        m_terminal = std::make_unique<EmulatorProcess>(m_statePath);
        EmulatorProcess::Options options;
        options.tcp = !usb;
        options.usb = usb;
        m_terminal->start(options);
    }

    void chooseTcpIp(int port) {
        QTest::mouseClick(child<QRadioButton>(QStringLiteral("rb_tcp_ip")), Qt::LeftButton);
        ASSERT_TRUE(child<QRadioButton>(QStringLiteral("rb_tcp_ip"))->isChecked());
        type(QStringLiteral("edt_ip_address"), QStringLiteral("127.0.0.1"));
        type(QStringLiteral("edt_NetPort"), QString::number(port));
        type(QStringLiteral("edt_TimeOut"), QStringLiteral("2000"));
    }

    template <class T>
    T* child(const QString& name) {
        T* widget = m_window->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << "no " << name.toStdString();
        return widget;
    }

    void type(const QString& field, const QString& text) {
        QLineEdit* edit = child<QLineEdit>(field);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Clicks the button and returns the lines it added to mmo_1 and the boxes it showed.
    std::pair<Lines, Boxes> click(const QString& button) {
        const qsizetype linesBefore = mmo1Lines().size();
        const std::size_t boxesBefore = m_boxes.size();
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
        m_window->waitUntilIdle();
        return {mmo1Lines().mid(linesBefore),
                Boxes(m_boxes.begin() + std::ptrdiff_t(boxesBefore), m_boxes.end())};
    }

    QStringList mmo1Lines() { return child<LogMemo>(QStringLiteral("mmo_1"))->lines(); }

    void runEveryCommand();

    QTemporaryDir m_appDir;
    QTemporaryDir m_stateDir;
    QString m_statePath;
    std::unique_ptr<EmulatorProcess> m_terminal;
    std::unique_ptr<TerminalLibrary> m_library;
    test::FixedClock m_clock = test::FixedClock::at(QStringLiteral("2031-02-03 04:05:06"));
    DataModule m_data;
    std::unique_ptr<Tfrm_hv_client> m_window;
    std::vector<Box> m_boxes;
};

// The connection test and the four commands, in the order an operator would run them.
void WindowDevicePageTest::runEveryCommand() {
    EmulatorProcess& terminal = *m_terminal;
    const DateTimeValue sentTime = m_clock.value;
    const QJsonObject initial = terminal.dump();

    EXPECT_EQ(click(QStringLiteral("btn_connectdevice")),
              std::make_pair(Lines{},
                             Boxes{info(QStringLiteral("测试设备连接"), QStringLiteral("设备连接成功!"))}));
    EXPECT_EQ(terminal.dump(), initial);

    EXPECT_EQ(
        click(QStringLiteral("btn_GetDevicePara")),
        std::make_pair(test::maintenanceStatusLines(),
                       Boxes{info(QStringLiteral("获取设备状态"), QStringLiteral("  获取设备状态成功！"))}));

    EXPECT_EQ(
        click(QStringLiteral("btn_SetTime")),
        std::make_pair(Lines{QStringLiteral("设置1号设备时间为：2031-02-03 04:05:06 ...成功！"), QString()},
                       Boxes{info(QStringLiteral("同步设备时间"), QStringLiteral("时间同步成功！"))}));
    // The terminal's clock now runs from the time sent (it was a year behind).
    EXPECT_LT(std::abs(test::clockDistanceSeconds(terminal.dump(), sentTime)), 600.0);

    EXPECT_EQ(
        click(QStringLiteral("btn_DelDeviceAdmin")),
        std::make_pair(Lines{QStringLiteral("清除设备管理员    3个...............成功！"), QString()},
                       Boxes{info(QStringLiteral("清除设备管理员"), QStringLiteral("清除管理员成功！"))}));
    EXPECT_EQ(test::privileges(terminal.dump()), (QList<int>{0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(click(QStringLiteral("btn_SetDevicePara")),
              std::make_pair(Lines{QStringLiteral("清除设备里面全部数据...............成功！"), QString()},
                             Boxes{info(QStringLiteral("清除设备全部数据"),
                                        QStringLiteral("清除设备里面全部数据成功！"))}));
    const QJsonObject cleared = terminal.dump();
    EXPECT_TRUE(cleared.value(QStringLiteral("users")).toArray().isEmpty());
    EXPECT_TRUE(cleared.value(QStringLiteral("logs")).toArray().isEmpty());
    EXPECT_TRUE(cleared.value(QStringLiteral("enabled")).toBool(true));
}

TEST_F(WindowDevicePageTest, CommandsOverTcpIp) {
    startTerminal(false);
    chooseTcpIp(m_terminal->tcpPort());
    runEveryCommand();
}

TEST_F(WindowDevicePageTest, CommandsOverUsb) {
    startTerminal(true);
    ASSERT_TRUE(child<QRadioButton>(QStringLiteral("rb_USB"))->isChecked());
    runEveryCommand();
}

TEST_F(WindowDevicePageTest, NothingListeningGivesEachCommandsOwnWords) {
    chooseTcpIp(test::unusedLoopbackPort());
    const QString failed = QStringLiteral("设备连接失败，请连接好设备后重试！");

    EXPECT_EQ(click(QStringLiteral("btn_connectdevice")),
              std::make_pair(Lines{}, Boxes{info(QStringLiteral("测试设备连接"),
                                                 QStringLiteral("设备连接失败,请连接好设备后重试!"))}));
    EXPECT_EQ(click(QStringLiteral("btn_GetDevicePara")),
              std::make_pair(Lines{QStringLiteral("获取1号设备状态："), QString()},
                             Boxes{warning(QStringLiteral("获取设备状态"), failed)}));
    EXPECT_EQ(click(QStringLiteral("btn_SetTime")),
              std::make_pair(Lines{QString()}, Boxes{warning(QStringLiteral("同步设备时间连接"), failed)}));
    EXPECT_EQ(
        click(QStringLiteral("btn_DelDeviceAdmin")),
        std::make_pair(
            Lines{QStringLiteral("清除设备管理员...............失败！"), QString()},
            Boxes{warning(QStringLiteral("清除设备管理员"),
                          QStringLiteral("清除管理员失败，可能是设备没有连接好，请连接好设备后重试！"))}));
    EXPECT_EQ(
        click(QStringLiteral("btn_SetDevicePara")),
        std::make_pair(Lines{QStringLiteral("清除设备里面全部数据...............失败！"), QString()},
                       Boxes{warning(QStringLiteral("清除设备全部数据"),
                                     QStringLiteral("清除设备里面全部数据失败，请连接好设备后重试！"))}));
}

TEST_F(WindowDevicePageTest, AMachineNumberThatIsNoNumberShowsTheDefaultErrorBoxAndTheWindowGoesOn) {
    startTerminal(false);
    chooseTcpIp(m_terminal->tcpPort());
    const QJsonObject initial = m_terminal->dump();

    type(QStringLiteral("edt_MachineNO"), QStringLiteral("No.1"));
    const Box error{QStringLiteral("Orvelo系统"), QStringLiteral("'No.1' is not a valid integer value."),
                    QMessageBox::Critical};
    for (const QString& button : {QStringLiteral("btn_connectdevice"), QStringLiteral("btn_GetDevicePara"),
                                  QStringLiteral("btn_SetTime"), QStringLiteral("btn_DelDeviceAdmin"),
                                  QStringLiteral("btn_SetDevicePara")}) {
        SCOPED_TRACE(button.toStdString());
        // The machine number is the first thing every command converts: nothing is written.
        EXPECT_EQ(click(button), std::make_pair(Lines{}, Boxes{error}));
    }
    EXPECT_EQ(m_terminal->dump(), initial);

    // The window takes the next click as usual.
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(child<QTabWidget>(QStringLiteral("pgc_Device"))->currentIndex(), 0);
    type(QStringLiteral("edt_MachineNO"), QStringLiteral("1"));
    EXPECT_EQ(
        click(QStringLiteral("btn_GetDevicePara")),
        std::make_pair(test::maintenanceStatusLines(),
                       Boxes{info(QStringLiteral("获取设备状态"), QStringLiteral("  获取设备状态成功！"))}));
}

TEST_F(WindowDevicePageTest, ALinkFieldThatIsNoNumberStopsTheStatusReportAfterItsHeader) {
    chooseTcpIp(test::unusedLoopbackPort());
    type(QStringLiteral("edt_NetPort"), QStringLiteral("50o5"));
    const Box error{QStringLiteral("Orvelo系统"), QStringLiteral("'50o5' is not a valid integer value."),
                    QMessageBox::Critical};
    EXPECT_EQ(click(QStringLiteral("btn_GetDevicePara")),
              std::make_pair(Lines{QStringLiteral("获取1号设备状态：")}, Boxes{error}));
    EXPECT_EQ(click(QStringLiteral("btn_SetTime")), std::make_pair(Lines{}, Boxes{error}));
}

}  // namespace
}  // namespace orvelo
