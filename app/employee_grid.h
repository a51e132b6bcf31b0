#pragma once

#include <QHeaderView>
#include <QList>
#include <QTableView>

#include "directory/employee_grids.h"

class QMenu;

namespace orvelo {

class FindDialog;
class Query;

// The title row of a grid: sections that are buttons or not, and the sort marks of several
// columns at once (QHeaderView draws only one sort indicator).
class GridTitleBar : public QHeaderView {
    Q_OBJECT

public:
    struct SortMark {
        int column;
        Qt::SortOrder order;
        bool operator==(const SortMark&) const = default;
    };

    explicit GridTitleBar(QWidget* parent = nullptr);

    const QList<SortMark>& sortMarks() const { return m_marks; }
    void setSortMarks(const QList<SortMark>& marks);
    // The keyboard modifiers of the click that last released a title.
    Qt::KeyboardModifiers clickModifiers() const { return m_clickModifiers; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QList<SortMark> m_marks;
    Qt::KeyboardModifiers m_clickModifiers;
};

// The row indicator column: no row numbers, a triangle at the current row.
class RowIndicator : public QHeaderView {
    Q_OBJECT

public:
    static constexpr int kWidth = 12;
    explicit RowIndicator(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    int currentRow = -1;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// One grid of the enrollment page over a data source. Its role decides the behaviour:
//
//                                   dbgrdh_3        dbgrdh_4        dbgrdh_5
//   editing                         none            none            none
//   cursor                          whole row       whole row       cell
//   selection                       several rows    several rows    none beyond the cursor
//   selection shown without focus   yes             no              no
//   titles are buttons              always          after fitting   after fitting
//   title click marks sort columns  yes, sorts      yes, marks only no
//   Ctrl+F find dialog              no              yes             yes
//   Ctrl+A and top-left menu        yes             no              no
//   ellipsis in long cells          yes             no              no
//
// Double-clicking a title edge fits that column. Every opening of the query builds the columns
// anew at default widths, with no marks, and makes the first row current without selecting it.
class EmployeeGridView : public QTableView {
    Q_OBJECT

public:
    explicit EmployeeGridView(EmployeeGrid role, QWidget* parent = nullptr);
    ~EmployeeGridView() override;

    EmployeeGrid role() const { return m_role; }
    void setModel(QAbstractItemModel* model) override;

    // FitListColumns' part for this grid: fits every column in column order, then makes the
    // titles buttons.
    void fitColumns();
    // Fits one column to its title and to the text of every row (not a sample of them).
    void fitColumn(int column);
    int fittedWidth(int column) const;

    bool titlesAreButtons() const;
    GridTitleBar& titleBar() const { return *m_titleBar; }

    // Ctrl+A and the menu's "全选": dbgrdh_3 selects every row, so a command acts on all of them;
    // the other grids select nothing this way.
    void selectAll() override;
    // Typing letters does not jump to a matching row: in a grid of selected rows the jump would
    // replace the operator's selection.
    void keyboardSearch(const QString& search) override;

    // The menu of dbgrdh_3's top-left cell (nullptr for the other grids).
    QMenu* titleMenu() const { return m_titleMenu; }
    void showTitleMenu();
    // The find dialog of dbgrdh_4 and dbgrdh_5, created at the first Ctrl+F.
    FindDialog* findDialog() const { return m_findDialog; }
    void openFindDialog();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    int sizeHintForColumn(int column) const override;

private:
    void buildTitleMenu();
    void fillVisibleColumnsMenu(QMenu* menu);
    void onModelReset();
    void onQueryRowChanged(int row);
    void onTitleClicked(int column);
    void sortByMarks();
    void showCurrentRow(int row);
    int titleWidth(int column) const;
    int cellsWidth(int column) const;

    EmployeeGrid m_role;
    GridTitleBar* m_titleBar;
    RowIndicator* m_rowIndicator;
    Query* m_query = nullptr;
    QMetaObject::Connection m_queryRow;
    QMetaObject::Connection m_modelReset;
    bool m_sorting = false;
    QMenu* m_titleMenu = nullptr;
    FindDialog* m_findDialog = nullptr;
};

}  // namespace orvelo
