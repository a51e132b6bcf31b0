// The window and the application folder's lock: while another command holds it, every terminal
// command's button shows the warning box at once and runs nothing; the other handlers go on.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/widget_operator_view.h"
#include "collection/collection_history.h"
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
            if (onBox) onBox(box);
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
    std::function<void(QMessageBox&)> onBox;  // called while a box is "open"
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
        window->waitUntilIdle();
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
        window->waitUntilIdle();
        ASSERT_EQ(boxes.size(), 1u);
    }
    boxes.clear();
    log.entries.clear();
    bool heldWhileRunning = false;
    window->runTerminalCommand([&](CommandContext&) { heldWhileRunning = !AppFolderLock(appDir).tryLock(); });
    window->waitUntilIdle();
    EXPECT_TRUE(heldWhileRunning);
    button(u"btn_connectdevice"_s)->click();
    window->waitUntilIdle();
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

// A command lets go of the folder when its work on the terminal and the database ends, before its
// closing box waits for the operator: a scheduled collection or orveloctl need not wait for a click.
struct ClosingBoxCase {
    QString button;
    QString caption;  // of the closing box
    bool notesCollection;
};

TEST_F(WindowFolderLockTest, WhileTheClosingBoxIsOpenTheFolderIsFreeAndTheCollectionIsAlreadyNoted) {
    const std::vector<ClosingBoxCase> cases = {
        {u"btn_GetData"_s, u"数据采集"_s, true},
        {u"btn_GetAllEntryInfo"_s, u"获取全部注册信息"_s, false},
        {u"btn_SetTime"_s, u"同步设备时间"_s, false},
    };
    terminal.logs = {{1, 0, 45000.5}, {2, 0, 45000.6}};
    for (const ClosingBoxCase& c : cases) {
        SCOPED_TRACE(c.button.toStdString());
        boxes.clear();
        clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
        int closingBoxes = 0;
        bool freeWhileOpen = false;
        std::optional<LastCollection> notedWhileOpen;
        onBox = [&](QMessageBox& box) {
            if (box.windowTitle() != c.caption) return;
            ++closingBoxes;
            // Another holder, on its own open file, takes the folder while the box waits.
            AppFolderLock other(appDir);
            freeWhileOpen = other.tryLock();
            const CollectionHistory history = readCollectionHistory(appDir).history;
            if (!history.empty()) notedWhileOpen = history.begin()->second;
            // The operator clicks much later.
            clock = test::FixedClock::at(u"2024-05-06 09:00:00"_s);
        };
        QPushButton* clicked = button(c.button);
        ASSERT_NE(clicked, nullptr);
        clicked->click();
        window->waitUntilIdle();
        onBox = nullptr;
        ASSERT_EQ(closingBoxes, 1) << "no closing box " << c.caption.toStdString() << ", boxes: "
                                   << (boxes.empty() ? std::string() : boxes.back().caption.toStdString());
        EXPECT_TRUE(freeWhileOpen) << "the folder was still held while the closing box was open";
        for (const ShownBox& box : boxes) EXPECT_NE(box.text, appFolderBusyText());
        if (c.notesCollection) {
            ASSERT_TRUE(notedWhileOpen.has_value()) << "the collection was not noted before its box";
            EXPECT_EQ(notedWhileOpen->when, u"2024-05-06 07:08:09"_s);
            EXPECT_EQ(notedWhileOpen->by, u"window"_s);
            const CollectionHistory after = readCollectionHistory(appDir).history;
            ASSERT_EQ(after.size(), 1u);
            EXPECT_EQ(after.begin()->second.when, u"2024-05-06 07:08:09"_s) << "noted again at the click";
        }
        EXPECT_TRUE(AppFolderLock(appDir).tryLock());
    }
}

TEST_F(WindowFolderLockTest, TheWorkEndedHookLetsGoAtOnceAndTwiceIsHarmless) {
    window->runTerminalCommand([&](CommandContext& ctx) {
        EXPECT_FALSE(AppFolderLock(appDir).tryLock());
        ctx.workEnded();
        EXPECT_TRUE(AppFolderLock(appDir).tryLock());
        ctx.workEnded();  // twice is harmless
    });
    window->waitUntilIdle();
    EXPECT_TRUE(AppFolderLock(appDir).tryLock());
}

}  // namespace
}  // namespace orvelo
