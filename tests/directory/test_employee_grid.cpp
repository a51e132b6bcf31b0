#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include "app/employee_grid.h"
#include "app/entry_page_grids.h"
#include "app/find_dialog.h"
#include "app/panel_sizing_bar.h"
#include "directory/employee_lists.h"
#include "directory/selected_employees.h"
#include "tests/directory/directory_fixture.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using test::DirectoryFixture;

const QString kEmplid = u"人员编号"_s;

// The three grids over the data module, on a page control as the enrollment page has them.
class GridTest : public ::testing::Test, public DirectoryFixture {
protected:
    GridTest() {
        auto* activePage = new QWidget;
        auto* departedPage = new QWidget;
        (new QVBoxLayout(activePage))->addWidget(active = new EmployeeGridView(EmployeeGrid::dbgrdh_3));
        (new QVBoxLayout(departedPage))->addWidget(departed = new EmployeeGridView(EmployeeGrid::dbgrdh_4));
        {
            const QSignalBlocker quiet(&pages);
            pages.addTab(activePage, u"在职人员"_s);
            pages.addTab(departedPage, u"离职人员"_s);
        }
        details = new EmployeeGridView(EmployeeGrid::dbgrdh_5, &window);
        auto* layout = new QVBoxLayout(&window);
        pages.setParent(&window);
        layout->addWidget(&pages);
        layout->addWidget(details);
        active->setModel(&data.ds_3);
        departed->setModel(&data.ds_4);
        details->setModel(&data.ds_5);
        window.resize(700, 500);
        window.show();
        OpenEmployeeLists(data);
        page = std::make_unique<EntryPageGrids>(pages, *active, *departed, *details);
    }

    void click(EmployeeGridView* grid, int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    void clickTitle(EmployeeGridView* grid, int column, Qt::KeyboardModifiers modifiers = {}) {
        QHeaderView* titles = grid->horizontalHeader();
        const int x = titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2;
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, modifiers, QPoint(x, titles->height() / 2));
    }
    static QList<int> selectedRows(QAbstractItemView* grid) {
        QList<int> rows;
        for (const QModelIndex& index : grid->selectionModel()->selectedRows()) rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    QWidget window;
    QTabWidget pages;
    EmployeeGridView* active;
    EmployeeGridView* departed;
    EmployeeGridView* details;
    std::unique_ptr<EntryPageGrids> page;
};

TEST_F(GridTest, EachGridHasTheBehaviourOfItsRole) {
    struct Expected {
        EmployeeGridView* grid;
        QAbstractItemView::SelectionBehavior behavior;
        QAbstractItemView::SelectionMode mode;
        Qt::TextElideMode elide;
        bool titlesButtons;
        bool corner;
        bool selectionShownUnfocused;
    };
    const Expected table[] = {
        {active, QAbstractItemView::SelectRows, QAbstractItemView::ExtendedSelection, Qt::ElideRight, true,
         true, true},
        {departed, QAbstractItemView::SelectRows, QAbstractItemView::ExtendedSelection, Qt::ElideNone, false,
         false, false},
        {details, QAbstractItemView::SelectItems, QAbstractItemView::SingleSelection, Qt::ElideNone, false,
         false, false},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.grid == active ? "dbgrdh_3" : e.grid == departed ? "dbgrdh_4" : "dbgrdh_5");
        EXPECT_EQ(e.grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_EQ(e.grid->selectionBehavior(), e.behavior);
        EXPECT_EQ(e.grid->selectionMode(), e.mode);
        EXPECT_EQ(e.grid->textElideMode(), e.elide);
        EXPECT_EQ(e.grid->titlesAreButtons(), e.titlesButtons);
        EXPECT_EQ(e.grid->isCornerButtonEnabled(), e.corner);
        const QPalette colours = e.grid->palette();
        const bool shown = colours.color(QPalette::Inactive, QPalette::Highlight) ==
                           colours.color(QPalette::Active, QPalette::Highlight);
        const bool hidden = colours.color(QPalette::Inactive, QPalette::Highlight) ==
                            colours.color(QPalette::Inactive, QPalette::Base);
        EXPECT_EQ(shown, e.selectionShownUnfocused);
        EXPECT_EQ(hidden, !e.selectionShownUnfocused);
        EXPECT_TRUE(e.grid->showGrid());
        EXPECT_FALSE(e.grid->verticalHeader()->isHidden());
    }
}

TEST_F(GridTest, ClicksSelectRowsAndMoveTheDetails) {
    active->setFocus();
    click(active, 2);
    EXPECT_EQ(selectedRows(active), QList<int>{2});
    EXPECT_EQ(data.qry_3.currentRow(), 2);
    for (int row = 0; row < data.qry_5.rowCount(); ++row)
        EXPECT_EQ(data.qry_5.value(row, u"登记号码"_s), data.qry_3.value(2, u"登记号码"_s));
    click(active, 0, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(active), (QList<int>{0, 2}));
    click(active, 2, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(active), QList<int>{0});
    click(active, 4);
    EXPECT_EQ(selectedRows(active), QList<int>{4});
    // Typing a letter moves nothing and keeps the selection.
    QTest::keyClicks(active, u"E"_s);
    EXPECT_EQ(selectedRows(active), QList<int>{4});
    EXPECT_EQ(active->currentIndex().row(), 4);
    // Shift+click: the rows from the current row to the clicked one.
    click(active, 1, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(active), (QList<int>{1, 2, 3, 4}));
}

TEST_F(GridTest, WalkingTheSelectionMovesOnlyTheCursor) {
    click(active, 2);
    click(active, 0, Qt::ControlModifier);
    click(active, 1, Qt::ControlModifier);
    SelectedEmployees selection(data, *page);
    ASSERT_EQ(selection.count(), 3);
    for (int i = 0; i < 3; ++i) {
        selection.makeCurrent(i);
        EXPECT_EQ(active->currentIndex().row(), i);
        EXPECT_EQ(data.qry_3.currentRow(), i);
        EXPECT_EQ(selectedRows(active), (QList<int>{0, 1, 2}));
        EXPECT_EQ(selection.value(kEmplid), data.qry_3.value(i, kEmplid));
    }
}

TEST_F(GridTest, EveryOpeningMakesTheFirstRowCurrentWithNothingSelectedAndDefaultColumns) {
    page->fitColumns(EmployeeGrid::dbgrdh_4);
    ASSERT_TRUE(departed->titlesAreButtons());
    departed->setColumnHidden(1, true);
    click(active, 3);
    data.qry_3.setCurrentRow(3);
    RefreshEmployeeLists(data, *page);

    for (EmployeeGridView* grid : {active, departed}) {
        EXPECT_EQ(grid->currentIndex().row(), 0);
        EXPECT_TRUE(grid->selectionModel()->selectedRows().isEmpty());
    }
    EXPECT_EQ(data.qry_3.currentRow(), 0);
    // The hidden page's grid was not fitted: its columns are new, at default widths, no buttons.
    EXPECT_FALSE(departed->isColumnHidden(1));
    EXPECT_FALSE(departed->titlesAreButtons());
    EXPECT_EQ(departed->columnWidth(0), departed->horizontalHeader()->defaultSectionSize());
    EXPECT_TRUE(details->titlesAreButtons());
}

TEST_F(GridTest, CtrlAAndSelectAllFillTheRowSelectionOfTheActiveListOnly) {
    active->setFocus();
    QTest::keyClick(active, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(SelectedEmployees(data, *page).count(), data.qry_3.rowCount());
    active->clearSelection();

    ASSERT_NE(active->titleMenu(), nullptr);
    QStringList texts;
    QList<bool> enabled;
    for (QAction* action : active->titleMenu()->actions()) {
        texts.append(action->text());
        enabled.append(action->isEnabled());
    }
    EXPECT_EQ(texts, (QStringList{u"显示列"_s, u"剪切"_s, u"复制"_s, u"粘贴"_s, u"删除"_s, u"全选"_s}));
    EXPECT_EQ(enabled, (QList<bool>{true, false, false, false, false, true}));
    active->titleMenu()->actions().last()->trigger();
    EXPECT_EQ(selectedRows(active).size(), data.qry_3.rowCount());

    pages.setCurrentIndex(1);
    departed->setFocus();
    QTest::keyClick(departed, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(selectedRows(departed).isEmpty());
    QTest::keyClick(details, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(details->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(departed->titleMenu(), nullptr);
}

TEST_F(GridTest, TheTopLeftCellOpensTheMenuAndVisibleColumnsHidesAColumn) {
    auto* corner = active->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(corner, nullptr);
    corner->click();
    // Not the whole grid selected, as a plain table's corner does: the menu instead.
    EXPECT_TRUE(selectedRows(active).isEmpty());
    EXPECT_TRUE(active->titleMenu()->isVisible());
    QMenu* columns = active->titleMenu()->actions().first()->menu();
    ASSERT_NE(columns, nullptr);
    ASSERT_EQ(columns->actions().size(), 6);
    EXPECT_EQ(columns->actions().at(2)->text(), u"姓名"_s);
    EXPECT_TRUE(columns->actions().at(2)->isChecked());
    columns->actions().at(2)->trigger();
    EXPECT_TRUE(active->isColumnHidden(2));
    active->titleMenu()->close();
    active->showTitleMenu();
    EXPECT_FALSE(active->titleMenu()->actions().first()->menu()->actions().at(2)->isChecked());
}

TEST_F(GridTest, TitleClicksMarkSortColumnsAndSortTheActiveListKeepingItsSelection) {
    const int name = 2;
    const int dept = 0;
    click(active, 0);
    click(active, 1, Qt::ControlModifier);
    const QStringList chosen = {data.qry_3.value(0, kEmplid).toString(),
                                data.qry_3.value(1, kEmplid).toString()};

    clickTitle(active, dept);
    using Mark = GridTitleBar::SortMark;
    EXPECT_EQ(active->titleBar().sortMarks(), (QList<Mark>{{dept, Qt::AscendingOrder}}));
    clickTitle(active, name, Qt::ControlModifier);
    EXPECT_EQ(active->titleBar().sortMarks(),
              (QList<Mark>{{dept, Qt::AscendingOrder}, {name, Qt::AscendingOrder}}));
    QStringList keys;
    for (int row = 0; row < data.qry_3.rowCount(); ++row)
        keys.append(data.qry_3.value(row, dept).toString() + u'|' + data.qry_3.value(row, name).toString());
    QStringList ordered = keys;
    std::sort(ordered.begin(), ordered.end());
    EXPECT_EQ(keys, ordered);
    QStringList selectedIds;
    for (int row : selectedRows(active)) selectedIds.append(data.qry_3.value(row, kEmplid).toString());
    std::sort(selectedIds.begin(), selectedIds.end());
    QStringList chosenSorted = chosen;
    std::sort(chosenSorted.begin(), chosenSorted.end());
    EXPECT_EQ(selectedIds, chosenSorted);

    clickTitle(active, name);
    EXPECT_EQ(active->titleBar().sortMarks(), (QList<Mark>{{name, Qt::AscendingOrder}}));
    clickTitle(active, name);
    EXPECT_EQ(active->titleBar().sortMarks(), (QList<Mark>{{name, Qt::DescendingOrder}}));
    // The fitted widths survive the sort; a re-opening ends the marks.
    RefreshEmployeeLists(data, *page);
    EXPECT_TRUE(active->titleBar().sortMarks().isEmpty());
}

TEST_F(GridTest, TitleClicksOnTheDepartedListOnlyMarkOnTheDetailsNothing) {
    pages.setCurrentIndex(1);
    page->fitColumns(EmployeeGrid::dbgrdh_4);
    page->fitColumns(EmployeeGrid::dbgrdh_5);
    const QStringList before = DirectoryFixture::column(data.qry_4, kEmplid);
    clickTitle(departed, 1);
    clickTitle(departed, 1);
    EXPECT_EQ(departed->titleBar().sortMarks(), (QList<GridTitleBar::SortMark>{{1, Qt::DescendingOrder}}));
    EXPECT_EQ(DirectoryFixture::column(data.qry_4, kEmplid), before);
    clickTitle(details, 0);
    EXPECT_TRUE(details->titleBar().sortMarks().isEmpty());
}

TEST_F(GridTest, CtrlFOpensTheFindDialogOfTheDepartedListAndTheDetails) {
    active->setFocus();
    QTest::keyClick(active, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(active->findDialog(), nullptr);

    pages.setCurrentIndex(1);
    departed->setFocus();
    click(departed, 0);
    QTest::keyClick(departed, Qt::Key_F, Qt::ControlModifier);
    FindDialog* find = departed->findDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    const int other = 1 - departed->currentIndex().row();
    find->textField->setText(data.qry_4.value(other, u"姓名"_s).toString());
    find->inAllColumns->setChecked(true);
    ASSERT_TRUE(find->findNext());
    // The cursor goes to the match; the selected rows stay.
    EXPECT_EQ(departed->currentIndex().row(), other);
    EXPECT_EQ(data.qry_4.currentRow(), other);
    EXPECT_EQ(selectedRows(departed), QList<int>{1 - other});
    find->textField->setText(u"没有这个人"_s);
    EXPECT_FALSE(find->findNext());

    details->setFocus();
    QTest::keyClick(details, Qt::Key_F, Qt::ControlModifier);
    EXPECT_NE(details->findDialog(), nullptr);
}

// A long text far down the list: Qt's own column fitting looks at a thousand rows at most.
TEST(GridFitting, WalksEveryRowAndTheTitleEdgeDoubleClickDoesTheSame) {
    QStandardItemModel model(1600, 2);
    model.setHorizontalHeaderLabels({u"机构名称"_s, u"很长的标题文字在这里"_s});
    for (int row = 0; row < 1600; ++row) {
        model.setItem(row, 0, new QStandardItem(u"短"_s));
        model.setItem(row, 1, new QStandardItem(u"x"_s));
    }
    const QString longText(200, u'W');
    model.item(1500, 0)->setText(longText);

    EmployeeGridView grid(EmployeeGrid::dbgrdh_4);
    grid.setModel(&model);
    grid.resize(400, 300);
    grid.show();
    EXPECT_FALSE(grid.titlesAreButtons());
    grid.fitColumns();
    EXPECT_TRUE(grid.titlesAreButtons());
    EXPECT_GE(grid.columnWidth(0), grid.fontMetrics().horizontalAdvance(longText));
    // A column of short cells is as wide as its title needs.
    EXPECT_GE(grid.columnWidth(1), grid.horizontalHeader()->fontMetrics().horizontalAdvance(
                                       model.headerData(1, Qt::Horizontal).toString()));
    EXPECT_LT(grid.columnWidth(1), grid.columnWidth(0));

    grid.setColumnWidth(0, 30);
    emit grid.horizontalHeader()->sectionHandleDoubleClicked(0);
    EXPECT_EQ(grid.columnWidth(0), grid.fittedWidth(0));
    grid.setColumnWidth(0, 30);
    grid.resizeColumnToContents(0);
    EXPECT_GE(grid.columnWidth(0), grid.fontMetrics().horizontalAdvance(longText));
}

TEST(GridFitting, AnEmptyListLeavesColumnsAsWideAsTheirTitles) {
    QStandardItemModel model(0, 1);
    model.setHorizontalHeaderLabels({u"一个相当长的列标题"_s});
    EmployeeGridView grid(EmployeeGrid::dbgrdh_3);
    grid.setModel(&model);
    grid.setColumnWidth(0, 5);
    grid.fitColumns();
    const int title = grid.horizontalHeader()->fontMetrics().horizontalAdvance(u"一个相当长的列标题"_s);
    EXPECT_GE(grid.columnWidth(0), title);
    EXPECT_LT(grid.columnWidth(0), title + 40);
}

TEST(PanelSizingBar, HotSpotCollapsesAndRestoresDragResizes) {
    QWidget area;
    area.resize(400, 400);
    auto* layout = new QVBoxLayout(&area);
    layout->addStretch();
    auto* panel = new QWidget;
    layout->addWidget(panel);
    panel->setFixedHeight(124);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new PanelSizingBar(panel);
    bar->setFixedHeight(7);
    auto* content = new QWidget;
    panelLayout->addWidget(bar);
    panelLayout->addWidget(content, 1);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->hotSpot().center());
    EXPECT_TRUE(bar->isCollapsed());
    EXPECT_EQ(panel->height(), 7);
    EXPECT_FALSE(content->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->hotSpot().center());
    EXPECT_FALSE(bar->isCollapsed());
    EXPECT_EQ(panel->height(), 124);
    EXPECT_TRUE(content->isVisible());

    // Dragging the bar up by 50 pixels, away from the hot spot.
    const QPoint start(5, 3);
    QTest::mousePress(bar, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start.x(), start.y() - 50),
                     bar->mapToGlobal(QPointF(start.x(), start.y() - 50)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(start.x(), start.y() - 50));
    EXPECT_EQ(panel->maximumHeight(), 174);
}

}  // namespace
}  // namespace orvelo
