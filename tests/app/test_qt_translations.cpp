// Qt's own texts in the window's language: the buttons of its message boxes, the file-open
// dialog and the edit fields' context menus, with qtbase_zh_CN installed as the program does.
// A binary of its own: the translator stays installed for the whole process.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/hv_client.h"
#include "app/qt_translations.h"
#include "app/widget_operator_view.h"
#include "core/ports.h"
#include "db/data_module.h"
#include "tests/support/call_log.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/scripted_terminal_library.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

class QtTranslationsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { installed = installQtTranslations(*qApp); }

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

}  // namespace
}  // namespace orvelo
