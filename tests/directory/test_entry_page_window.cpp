#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "app/employee_grid.h"
#include "app/entry_page.h"
#include "app/hv_client.h"
#include "app/panel_sizing_bar.h"
#include "app/widget_operator_view.h"
#include "context/command_context.h"
#include "tests/directory/directory_fixture.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using test::DirectoryFixture;

const QString kEmplid = u"人员编号"_s;

// The window over the small personnel database, started as the program starts it.
class EntryPageWindowTest : public ::testing::Test, public DirectoryFixture {
protected:
    void SetUp() override {
        window = std::make_unique<Tfrm_hv_client>(data, db.appDir(), terminal, clock);
        ASSERT_TRUE(window->FormCreate());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        entry = window->findChild<EntryPage*>();
        ASSERT_NE(entry, nullptr);
        pgc_Device = window->findChild<QTabWidget*>(u"pgc_Device"_s);
        ASSERT_NE(pgc_Device, nullptr);
    }
    static void clickTab(QTabWidget* tabs, int index) {
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    static bool fitted(EmployeeGridView* grid) {
        for (int column = 0; column < grid->model()->columnCount(); ++column)
            if (grid->columnWidth(column) != grid->fittedWidth(column)) return false;
        return grid->titlesAreButtons();
    }
    static int selected(EmployeeGridView* grid) { return int(grid->selectionModel()->selectedRows().size()); }
    // What an enrollment command gets as its selection: the ids it visits, in order.
    QStringList visitedByACommand() {
        QStringList visited;
        window->runCommand([&](CommandContext& ctx) {
            ASSERT_NE(ctx.selection, nullptr);
            const int n = ctx.selection->count();
            for (int i = 0; i < n; ++i) {
                ctx.selection->makeCurrent(i);
                visited.append(ctx.selection->value(kEmplid).toString());
            }
        });
        return visited;
    }

    std::unique_ptr<Tfrm_hv_client> window;
    EntryPage* entry = nullptr;
    QTabWidget* pgc_Device = nullptr;
};

TEST_F(EntryPageWindowTest, StartUpOpensTheListsAndTheEnrollmentPageFitsThem) {
    EXPECT_TRUE(data.qry_3.isOpen());
    EXPECT_TRUE(data.qry_4.isOpen());
    EXPECT_TRUE(data.qry_5.isOpen());
    EXPECT_FALSE(fitted(entry->dbgrdh_3));
    EXPECT_FALSE(entry->dbgrdh_5->titlesAreButtons());

    clickTab(pgc_Device, Tfrm_hv_client::kEntryPageIndex);
    EXPECT_TRUE(fitted(entry->dbgrdh_3));
    EXPECT_TRUE(fitted(entry->dbgrdh_5));
    EXPECT_FALSE(entry->dbgrdh_4->titlesAreButtons());
    EXPECT_EQ(entry->dbgrdh_3->currentIndex().row(), 0);
    EXPECT_EQ(entry->dbgrdh_5->model()->rowCount(), data.qry_5.rowCount());

    clickTab(entry->pgc_employee, 1);
    EXPECT_TRUE(fitted(entry->dbgrdh_4));
    EXPECT_EQ(data.qry_5.masterSource(), &data.ds_4);
    EXPECT_TRUE(dynamic_cast<PanelSizingBar*>(entry->sizeBar) != nullptr);
}

TEST_F(EntryPageWindowTest, SelectAllBoxSearchAndPageSwitchReachTheCommandsSelection) {
    clickTab(pgc_Device, Tfrm_hv_client::kEntryPageIndex);
    QTest::mouseClick(entry->chk_SelectAll, Qt::LeftButton, {},
                      QPoint(5, entry->chk_SelectAll->height() / 2));
    ASSERT_TRUE(entry->chk_SelectAll->isChecked());
    EXPECT_EQ(selected(entry->dbgrdh_3), data.qry_3.rowCount());
    EXPECT_EQ(selected(entry->dbgrdh_4), 0);
    EXPECT_EQ(visitedByACommand(), column(data.qry_3, kEmplid));
    // The command leaves the cursor on the last selected row and the selection as it was.
    EXPECT_EQ(entry->dbgrdh_3->currentIndex().row(), data.qry_3.rowCount() - 1);
    EXPECT_EQ(selected(entry->dbgrdh_3), data.qry_3.rowCount());

    // The search re-opens the lists: the box stays ticked, the selection is empty.
    entry->edt_keyword->setText(u"Sales"_s);
    QTest::mouseClick(entry->btn_search, Qt::LeftButton);
    EXPECT_EQ(sorted(column(data.qry_3, kEmplid)), (QStringList{u"E002"_s, u"E004"_s, u"E007"_s}));
    EXPECT_TRUE(entry->chk_SelectAll->isChecked());
    EXPECT_TRUE(visitedByACommand().isEmpty());
    EXPECT_TRUE(fitted(entry->dbgrdh_3));

    // Unticking and ticking again selects the found rows only.
    QTest::mouseClick(entry->chk_SelectAll, Qt::LeftButton, {},
                      QPoint(5, entry->chk_SelectAll->height() / 2));
    QTest::mouseClick(entry->chk_SelectAll, Qt::LeftButton, {},
                      QPoint(5, entry->chk_SelectAll->height() / 2));
    EXPECT_EQ(sorted(visitedByACommand()), (QStringList{u"E002"_s, u"E004"_s, u"E007"_s}));

    // The departed page: full list again, nothing selected, the command reads the departed grid.
    clickTab(entry->pgc_employee, 1);
    EXPECT_EQ(data.qry_4.rowCount(), 2);
    EXPECT_TRUE(visitedByACommand().isEmpty());
    entry->dbgrdh_4->selectionModel()->select(entry->dbgrdh_4->model()->index(1, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(visitedByACommand(), QStringList{data.qry_4.value(1, kEmplid).toString()});
    clickTab(entry->pgc_employee, 0);
    EXPECT_EQ(data.qry_3.rowCount(), 5);
}

TEST_F(EntryPageWindowTest, AListThatCannotBeOpenedShowsTheDefaultErrorBox) {
    QStringList errors;
    window->operatorView().setBoxHook([&](QMessageBox& box) { errors.append(box.text()); });
    db.exec(u"alter table hrdept rename to hrdept_away"_s);
    clickTab(pgc_Device, Tfrm_hv_client::kEntryPageIndex);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_FALSE(data.qry_3.isOpen());
    EXPECT_EQ(entry->dbgrdh_3->model()->rowCount(), 0);
    db.exec(u"alter table hrdept_away rename to hrdept"_s);
    clickTab(pgc_Device, 0);
    clickTab(pgc_Device, Tfrm_hv_client::kEntryPageIndex);
    EXPECT_EQ(data.qry_3.rowCount(), 5);
}

}  // namespace
}  // namespace orvelo
