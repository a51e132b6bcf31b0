// The window and the application folder's lock: while another command holds it, every terminal
// command's button shows the warning box at once and runs nothing; the other handlers go on.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/widget_operator_view.h"
#include "context/command_context.h"
#include "db/data_module.h"
#include "shell/app_folder_lock.h"
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
};

class WindowFolderLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        appDir = m_dir.path() + u'/';
        QFile ini(appDir + u"hv.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n");
        ini.close();
        window = std::make_unique<Tfrm_hv_client>(data, appDir, terminal, clock);
        window->operatorView().setBoxHook([this](QMessageBox& box) {
            boxes.push_back({box.text(), box.windowTitle(), box.icon()});
        });
        window->operatorView().setFileDialogHook([this](QFileDialog&) -> std::optional<QString> {
            ++fileDialogs;
            return std::nullopt;
        });
        ASSERT_TRUE(window->FormCreate());
    }

    QPushButton* button(const QString& name) {
        auto* found = window->findChild<QPushButton*>(name);
        EXPECT_NE(found, nullptr) << "no " << name.toStdString();
        return found;
    }
    QStringList logLines() {
        QStringList lines;
        for (const QString& memo : {u"mmo_1"_s, u"mmo_2"_s})
            if (auto* pane = window->findChild<LogMemo*>(memo)) lines += pane->lines();
        return lines;
    }

    QTemporaryDir m_dir;
    QString appDir;
    test::CallLog log;
    test::ScriptedTerminalLibrary terminal{log};
    test::FixedClock clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
    DataModule data;
    std::unique_ptr<Tfrm_hv_client> window;
    std::vector<ShownBox> boxes;
    int fileDialogs = 0;
};

// Every button whose command talks to a terminal or stores records.
const QStringList kTerminalCommandButtons = {
    u"btn_connectdevice"_s, u"btn_GetDevicePara"_s,   u"btn_SetTime"_s,         u"btn_DelDeviceAdmin"_s,
    u"btn_SetDevicePara"_s, u"btn_GetData"_s,         u"btn_ImportDataFromU"_s, u"btn_ImportFromHV"_s,
    u"btn_GetEntryInfo"_s,  u"btn_GetAllEntryInfo"_s, u"btn_WriteEntryInfo"_s,  u"btn_DelEntryInfo"_s,
};

TEST_F(WindowFolderLockTest, WhileAnotherCommandHoldsTheFolderEveryTerminalCommandWarnsAndRunsNothing) {
    AppFolderLock other(appDir);
    ASSERT_TRUE(other.tryLock());
    for (const QString& name : kTerminalCommandButtons) {
        boxes.clear();
        log.entries.clear();
        QPushButton* clicked = button(name);
        ASSERT_NE(clicked, nullptr);
        clicked->click();
        ASSERT_EQ(boxes.size(), 1u) << name.toStdString();
        EXPECT_EQ(boxes[0].text, u"另一个命令正在使用本程序目录中的设备或数据，请稍后再试。"_s)
            << name.toStdString();
        EXPECT_EQ(boxes[0].caption, u"Orvelo系统"_s);
        EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(log.entries.isEmpty())
            << name.toStdString() << ": " << log.entries.join(u' ').toStdString();
    }
    EXPECT_EQ(fileDialogs, 0);
    EXPECT_TRUE(logLines().isEmpty()) << logLines().join(u'|').toStdString();
    // The window never took the lock from its holder.
    EXPECT_TRUE(other.isLocked());
    EXPECT_FALSE(AppFolderLock(appDir).tryLock());
}

TEST_F(WindowFolderLockTest, OnceTheHolderLetsGoTheCommandRunsAndLetsGoItself) {
    {
        AppFolderLock other(appDir);
        ASSERT_TRUE(other.tryLock());
        button(u"btn_connectdevice"_s)->click();
        ASSERT_EQ(boxes.size(), 1u);
    }
    boxes.clear();
    log.entries.clear();
    bool heldWhileRunning = false;
    window->runTerminalCommand([&](CommandContext&) { heldWhileRunning = !AppFolderLock(appDir).tryLock(); });
    EXPECT_TRUE(heldWhileRunning);
    button(u"btn_connectdevice"_s)->click();
    EXPECT_FALSE(log.entries.isEmpty()) << "the command did not reach the terminal";
    for (const ShownBox& box : boxes) EXPECT_NE(box.text, appFolderBusyText());
    EXPECT_TRUE(AppFolderLock(appDir).tryLock()) << "the window kept the lock after its command";
}

TEST_F(WindowFolderLockTest, HandlersThatTouchNoTerminalRunWhileTheFolderIsHeld) {
    AppFolderLock other(appDir);
    ASSERT_TRUE(other.tryLock());
    bool ran = false;
    window->runCommand([&](CommandContext&) { ran = true; });
    EXPECT_TRUE(ran);
    button(u"btn_search"_s)->click();
    for (const ShownBox& box : boxes) EXPECT_NE(box.text, appFolderBusyText());
}

}  // namespace
}  // namespace orvelo
