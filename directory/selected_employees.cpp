#include "directory/selected_employees.h"

#include <QItemSelectionModel>
#include <algorithm>

#include "db/data_module.h"
#include "directory/employee_grids.h"
#include "directory/employee_lists.h"

namespace orvelo {

RowSelection::RowSelection(QItemSelectionModel& selection, Query& list)
    : m_selection(selection), m_list(list) {}

QList<int> RowSelection::rows() const {
    QList<int> rows;
    const QModelIndexList selected = m_selection.selectedRows();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected) rows.append(index.row());
    // The selection keeps the order of the clicks; the commands act in list order.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void RowSelection::makeCurrentRow(int row) {
    if (const QAbstractItemModel* model = m_selection.model()) {
        const QModelIndex current = m_selection.currentIndex();
        const QModelIndex target = model->index(row, current.isValid() ? current.column() : 0);
        if (target.isValid() && target != current) {
            m_selection.setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        }
    }
    // Without a window nothing else moves the list's cursor; with one, the grid already did.
    if (m_list.currentRow() != row) m_list.setCurrentRow(row);
}

SelectedEmployees::SelectedEmployees(DataModule& data, EmployeeGrids& grids) : m_data(data), m_grids(grids) {}

void SelectedEmployees::takeSnapshot() const {
    const EmployeeGrid grid = shownEmployeeGrid(m_grids);
    m_list = &queryOf(m_data, grid);
    m_selection = &m_grids.rowSelection(grid);
    m_rows = RowSelection(*m_selection, *m_list).rows();
}

int SelectedEmployees::count() const {
    // Read once per command: the selection cannot change while a command runs, and reading it
    // again for every row would cost the whole list each time.
    takeSnapshot();
    return int(m_rows.size());
}

void SelectedEmployees::makeCurrent(int i) {
    if (!m_list) takeSnapshot();
    if (i < 0 || i >= m_rows.size()) return;
    RowSelection(*m_selection, *m_list).makeCurrentRow(m_rows.at(i));
}

QVariant SelectedEmployees::value(const QString& column) const {
    if (!m_list) takeSnapshot();
    return m_list->field(column);
}

}  // namespace orvelo
