// The question the window asks before a command that changes a terminal's data for good: 否 runs
// nothing at all, 是 runs the command as before; the box names the terminal and defaults to 否.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <vector>

#include "app/command_questions.h"
#include "app/employee_grid.h"
#include "app/entry_page.h"
#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/widget_operator_view.h"
#include "shell/app_folder_lock.h"
#include "tests/support/call_log.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

struct ShownBox {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
};

struct Asked {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    bool defaultIsNo;
    bool escapeIsNo;
};

// Each row: the button, its question's caption and text (TCP/IP to 127.0.0.1:5005, machine number
// 7, two employees selected), and a call that shows the command reached the terminal.
struct QuestionCase {
    const char16_t* button;
    const char16_t* caption;
    const char16_t* text;
    const char16_t* commandCall;
};

const QuestionCase kCases[] = {
    {u"btn_DelDeviceAdmin", u"清除设备管理员",
     u"将取消设备（TCP/IP通讯 127.0.0.1:5005，机号：7）上全部管理员的管理权限，是否继续？",
     u"FK_ReadAllUserID("},
    {u"btn_SetDevicePara", u"清除设备全部数据",
     u"将删除设备（TCP/IP通讯 127.0.0.1:5005，机号：7）上的全部人员和记录，是否继续？",
     u"FK_ClearKeeperData("},
    {u"btn_WriteEntryInfo", u"写入指纹及姓名",
     u"将把所选的2名人员的指纹及姓名写入设备（TCP/IP通讯 127.0.0.1:5005，机号：7），"
     u"设备上相同登记号码的注册信息将被覆盖，是否继续？",
     u"FK_SetUserName("},
    {u"btn_DelEntryInfo", u"删除注册信息",
     u"将删除设备（TCP/IP通讯 127.0.0.1:5005，机号：7）上所选的2名人员的注册信息（数据库中的注册信息保留），"
     u"是否继续？",
     u"FK_DeleteEnrollData("},
};

class WindowConfirmationTest : public ::testing::TestWithParam<QuestionCase> {
protected:
    void SetUp() override {
        db.addDepartment(u"01"_s, u"总部"_s);
        db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
        db.addActiveEmployee(u"E002"_s, u"00002"_s, u"李四"_s);
        db.addActiveEmployee(u"E003"_s, u"00003"_s, u"王五"_s);
        window = std::make_unique<Tfrm_hv_client>(db.data(), db.appDir(), terminal, clock);
        window->operatorView().setBoxHook([this](QMessageBox& box) {
            boxes.push_back({box.text(), box.windowTitle(), box.icon()});
        });
        ASSERT_TRUE(window->FormCreate());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

        QTest::mouseClick(window->findChild<QRadioButton*>(u"rb_tcp_ip"_s), Qt::LeftButton);
        type(u"edt_MachineNO"_s, u"7"_s);
        type(u"edt_ip_address"_s, u"127.0.0.1"_s);
        type(u"edt_NetPort"_s, u"5005"_s);

        // Two employees of the active list selected, as the operator leaves them before a click.
        window->findChild<QTabWidget*>(u"pgc_Device"_s)->setCurrentIndex(Tfrm_hv_client::kEntryPageIndex);
        auto* entry = window->findChild<EntryPage*>();
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(entry->dbgrdh_3->model()->rowCount(), 3);
        QItemSelectionModel* selection = entry->dbgrdh_3->selectionModel();
        for (int row : {0, 2})
            selection->select(entry->dbgrdh_3->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window->findChild<QTabWidget*>(u"pgc_Device"_s)->setCurrentIndex(0);
        log.entries.clear();
    }

    void type(const QString& field, const QString& text) {
        auto* edit = window->findChild<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr) << field.toStdString();
        edit->setText(text);
    }

    // Answers every question with `answer` (nullptr: no button pressed), recording it.
    void answer(QMessageBox::StandardButton answer) {
        window->operatorView().setQuestionHook([this, answer](QMessageBox& box) {
            asked.push_back({box.text(), box.windowTitle(), box.icon(), box.standardButtons(),
                             box.defaultButton() == box.button(QMessageBox::No),
                             box.escapeButton() == box.button(QMessageBox::No)});
            if (answer != QMessageBox::NoButton) box.button(answer)->click();
        });
    }

    void clickButton() {
        auto* button = window->findChild<QPushButton*>(QString::fromUtf16(GetParam().button));
        ASSERT_NE(button, nullptr);
        button->click();
        window->waitUntilIdle();
    }

    QStringList logLines() {
        QStringList lines;
        for (const QString& memo : {u"mmo_1"_s, u"mmo_2"_s})
            lines += window->findChild<LogMemo*>(memo)->lines();
        return lines;
    }

    test::TestDatabase db;
    test::CallLog log;
    test::ScriptedTerminalLibrary terminal{log};
    test::FixedClock clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
    std::unique_ptr<Tfrm_hv_client> window;
    std::vector<ShownBox> boxes;
    std::vector<Asked> asked;
};

TEST_P(WindowConfirmationTest, NoRunsNothing) {
    // Another command holds the folder: a command that went as far as the lock would say so.
    AppFolderLock other(db.appDir());
    ASSERT_TRUE(other.tryLock());
    for (QMessageBox::StandardButton refusal : {QMessageBox::No, QMessageBox::NoButton}) {
        answer(refusal);
        clickButton();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(log.entries.isEmpty()) << log.entries.join(u' ').toStdString();
        EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
        EXPECT_TRUE(logLines().isEmpty()) << logLines().join(u'|').toStdString();
        asked.clear();
    }
}

TEST_P(WindowConfirmationTest, TheQuestionNamesTheTerminalAndDefaultsToNo) {
    answer(QMessageBox::No);
    clickButton();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption.toStdString(), QString::fromUtf16(GetParam().caption).toStdString());
    EXPECT_EQ(asked[0].text.toStdString(), QString::fromUtf16(GetParam().text).toStdString());
    EXPECT_EQ(asked[0].icon, QMessageBox::Question);
    EXPECT_EQ(asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(asked[0].defaultIsNo);
    EXPECT_TRUE(asked[0].escapeIsNo);
}

TEST_P(WindowConfirmationTest, YesRunsTheCommand) {
    answer(QMessageBox::Yes);
    clickButton();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(log.indexOf(u"FK_ConnectNet(7,\"127.0.0.1\",5005,"_s, true), 0)
        << log.entries.join(u' ').toStdString();
    EXPECT_GT(log.indexOf(QString::fromUtf16(GetParam().commandCall), true), 0)
        << log.entries.join(u' ').toStdString();
    // The command's own box follows, under its own caption.
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, QString::fromUtf16(GetParam().caption));
    EXPECT_EQ(boxes.back().icon, QMessageBox::Information);
}

INSTANTIATE_TEST_SUITE_P(IrreversibleCommands, WindowConfirmationTest, ::testing::ValuesIn(kCases));

TEST(CommandQuestions, TheTerminalIsNamedByItsLinkAddressAndMachineNumber) {
    ConnectionPanelState usb;
    usb.machineNo = u" 3 "_s;
    EXPECT_EQ(terminalDisplayName(usb), u"USB通讯，机号：3"_s);

    ConnectionPanelState serial;
    serial.chooseSerial();
    serial.comPort = u"COM4"_s;
    serial.baudRate = u"9600"_s;
    EXPECT_EQ(terminalDisplayName(serial), u"RS232/485通讯 COM4 9600，机号：1"_s);

    ConnectionPanelState net;
    net.chooseTcpIp();
    net.ipAddress = u"192.168.1.201"_s;
    net.machineNo = u"12"_s;
    EXPECT_EQ(terminalDisplayName(net), u"TCP/IP通讯 192.168.1.201:5005，机号：12"_s);
    net.udpTicked = true;
    EXPECT_EQ(terminalDisplayName(net), u"TCP/IP通讯 192.168.1.201:5005 UDP，机号：12"_s);
    // The tick is the network's: on another link it does not show.
    serial.udpTicked = true;
    EXPECT_EQ(terminalDisplayName(serial), u"RS232/485通讯 COM4 9600，机号：1"_s);
}

}  // namespace
}  // namespace orvelo
