// Qt's own texts in the window's language: the buttons of its message boxes, the file-open
// dialog and the edit fields' context menus, with qtbase_zh_CN installed as the program does.
// A binary of its own: the translator stays installed for the whole process.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/employee_grid.h"
#include "app/entry_page.h"
#include "app/find_dialog.h"
#include "app/hv_client.h"
#include "app/log_memo.h"
#include "app/qt_translations.h"
#include "app/widget_operator_view.h"
#include "core/ports.h"
#include "db/data_module.h"
#include "tests/support/call_log.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

// Installed once for the whole binary, as the program does before its window exists.
bool translationsInstalled() {
    static const bool installed = installQtTranslations(*qApp);
    return installed;
}

class QtTranslationsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { installed = translationsInstalled(); }

    void SetUp() override {
        ASSERT_TRUE(installed) << "qtbase_zh_CN.qm is not installed (qt6-translations-l10n)";
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<Tfrm_hv_client>(data, dir.path() + u'/', terminal, clock);
    }

    static QStringList buttonTexts(const QWidget& widget) {
        QStringList texts;
        for (const QAbstractButton* button : widget.findChildren<QAbstractButton*>())
            if (!button->text().isEmpty()) texts << button->text();
        return texts;
    }

    static inline bool installed = false;
    QTemporaryDir dir;
    test::CallLog log;
    test::ScriptedTerminalLibrary terminal{log};
    test::FixedClock clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
    DataModule data;
    std::unique_ptr<Tfrm_hv_client> window;
};

TEST_F(QtTranslationsTest, MessageBoxOfTheWindowShowsQueding) {
    QString okText;
    QString boxText;
    window->operatorView().setBoxHook([&](QMessageBox& box) {
        boxText = box.text();
        ASSERT_NE(box.button(QMessageBox::Ok), nullptr);
        okText = box.button(QMessageBox::Ok)->text();
    });
    window->operatorView().messageBox(u"数据采集成功！"_s, u"数据采集"_s, BoxIcon::Information);
    EXPECT_EQ(okText, u"确定"_s);
    // The system's own text is not touched by the translation.
    EXPECT_EQ(boxText, u"数据采集成功！"_s);
}

TEST_F(QtTranslationsTest, StandardButtonsOfAnyBoxAreChinese) {
    QMessageBox box(QMessageBox::Question, u"Orvelo"_s, u"?"_s,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, window.get());
    // 是(&Y) and 否(&N): the Chinese word with its keyboard accelerator.
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(u"是"_s))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(u"否"_s))
        << box.button(QMessageBox::No)->text().toStdString();
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), u"取消"_s);
}

TEST_F(QtTranslationsTest, FileDialogOfTheImportSpeaksChinese) {
    QStringList buttons;
    QStringList labels;
    window->operatorView().setFileDialogHook([&](QFileDialog& dialog) -> std::optional<QString> {
        buttons = buttonTexts(dialog);
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (!label->text().isEmpty()) labels << label->text();
        return std::nullopt;
    });
    window->operatorView().setFileDialogFilter(u"刷卡数据文件(*.hv)|*.hv|所有文件(*.*)|*.*"_s);
    EXPECT_FALSE(window->operatorView().chooseFile().has_value());
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_TRUE(buttons.contains(u"取消"_s)) << buttons.join(u'|').toStdString();
    for (const QString& english : {u"Cancel"_s, u"Look in:"_s, u"File name:"_s, u"Files of type:"_s}) {
        EXPECT_FALSE(buttons.contains(english)) << english.toStdString();
        EXPECT_FALSE(labels.contains(english)) << english.toStdString();
    }
}

TEST_F(QtTranslationsTest, EditFieldContextMenuIsChinese) {
    QLineEdit edit(u"192.168.1.201"_s);
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(texts.join(u'|').contains(u"复制"_s)) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.join(u'|').contains(u"Copy"_s)) << texts.join(u'|').toStdString();
}

// --- every menu of the window ---------------------------------------------------------------------

// The texts of a menu's entries and of its sub-menus' entries, separators left out.
QStringList entryTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) continue;
        texts << action->text();
        if (action->menu()) texts << entryTexts(*action->menu());
    }
    return texts;
}

// True for a text in English only: ASCII letters and nothing beyond ASCII. The accelerator mark
// and the key name after the tab (Ctrl+C stays Ctrl+C in Chinese) are not looked at.
bool isAsciiEnglish(QString text) {
    text = text.section(u'\t', 0, 0).remove(u'&');
    bool letters = false;
    for (const QChar c : text) {
        if (c.unicode() > 0x7f) return false;
        letters = letters || c.isLetter();
    }
    return letters;
}

// Runs `open`, which opens one menu (as a popup, or in a loop of its own as a scroll bar's menu
// is), and returns the entries of that menu, closing it; empty when no menu opened.
QStringList textsOfOpenedMenu(const std::function<void()>& open) {
    QStringList texts;
    bool taken = false;
    const auto take = [&] {
        if (taken) return;
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            texts = entryTexts(*menu);
            taken = true;
            menu->close();
        }
    };
    QTimer inLoop;
    inLoop.setSingleShot(true);
    QObject::connect(&inLoop, &QTimer::timeout, take);
    inLoop.start(0);
    open();
    take();
    return texts;
}

void rightClick(QWidget* widget) {
    const QPoint at(4, 4);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

class WindowMenusTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(translationsInstalled()) << "qtbase_zh_CN.qm is not installed (qt6-translations-l10n)";
        db.addDepartment(u"01"_s, u"总部"_s);
        db.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
        window = std::make_unique<Tfrm_hv_client>(db.data(), db.appDir(), terminal, clock);
        ASSERT_TRUE(window->FormCreate());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // The enrollment page in front, its lists filled, as the operator sees them.
        window->findChild<QTabWidget*>(u"pgc_Device"_s)->setCurrentIndex(Tfrm_hv_client::kEntryPageIndex);
        entry = window->findChild<EntryPage*>();
        ASSERT_NE(entry, nullptr);
    }

    test::TestDatabase db;
    test::CallLog log;
    test::ScriptedTerminalLibrary terminal{log};
    test::FixedClock clock = test::FixedClock::at(u"2024-05-06 07:08:09"_s);
    std::unique_ptr<Tfrm_hv_client> window;
    EntryPage* entry = nullptr;
};

TEST_F(WindowMenusTest, EveryMenuOfTheWindowIsInChinese) {
    struct MenuCase {
        QString name;
        std::function<void()> open;
    };
    std::vector<MenuCase> menus;
    // The active list's top-left cell, with its sub-menu of columns.
    menus.push_back({u"dbgrdh_3 top-left cell"_s, [this] {
                         auto* corner = entry->dbgrdh_3->findChild<QAbstractButton*>(
                             QString(), Qt::FindDirectChildrenOnly);
                         ASSERT_NE(corner, nullptr);
                         corner->click();
                     }});
    // Every edit field, those of the editable drop-down lists, of the find dialog and of the
    // file-open dialog included (the dialogs are the window's children).
    entry->dbgrdh_4->openFindDialog();
    ASSERT_NE(entry->dbgrdh_4->findDialog(), nullptr);
    const QList<QLineEdit*> edits = window->findChildren<QLineEdit*>();
    ASSERT_GE(edits.size(), 9);
    for (QLineEdit* edit : std::as_const(edits)) {
        // A drop-down list's field has no name of its own: the list's name stands for it.
        const QString name =
            edit->objectName().isEmpty() ? edit->parentWidget()->objectName() : edit->objectName();
        menus.push_back({u"edit field "_s + name, [this, edit] {
                             // A disabled field opens no menu: the link that enables it is chosen first.
                             for (const QString& link : {u"rb_tcp_ip"_s, u"rb_232_485"_s})
                                 if (!edit->isEnabled())
                                     QTest::mouseClick(window->findChild<QRadioButton*>(link),
                                                       Qt::LeftButton);
                             rightClick(edit);
                         }});
    }
    // The log panes and the scroll bars of the panes and the grids.
    for (const QString& name : {u"mmo_1"_s, u"mmo_2"_s}) {
        auto* memo = window->findChild<LogMemo*>(name);
        ASSERT_NE(memo, nullptr);
        menus.push_back({name, [memo] { rightClick(memo->viewport()); }});
    }
    menus.push_back({u"mmo_1 scroll bar"_s,
                     [this] { rightClick(window->findChild<LogMemo*>(u"mmo_1"_s)->verticalScrollBar()); }});
    menus.push_back({u"dbgrdh_3 scroll bar"_s, [this] {
                         entry->dbgrdh_3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                         rightClick(entry->dbgrdh_3->horizontalScrollBar());
                     }});
    // The file-open dialog's list of files.
    menus.push_back({u"dlgOpen_1 file list"_s, [this] {
                         window->operatorView().setFileDialogHook(
                             [](QFileDialog& dialog) -> std::optional<QString> {
                                 dialog.setOption(QFileDialog::DontUseNativeDialog);
                                 if (auto* files = dialog.findChild<QListView*>(u"listView"_s))
                                     emit files->customContextMenuRequested(QPoint(2, 2));
                                 return std::nullopt;
                             });
                         window->operatorView().chooseFile();
                     }});

    for (const MenuCase& menu : menus) {
        SCOPED_TRACE(menu.name.toStdString());
        const QStringList texts = textsOfOpenedMenu(menu.open);
        EXPECT_FALSE(texts.isEmpty()) << "no menu opened";
        for (const QString& text : texts) EXPECT_FALSE(isAsciiEnglish(text)) << text.toStdString();
    }
}

}  // namespace
}  // namespace orvelo
