#include "directory/selected_employees.h"

#include <QItemSelectionModel>
#include <algorithm>

#include "core/errors.h"
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

SelectionSnapshot::SelectionSnapshot(QString listName, QStringList columns,
                                     std::vector<std::vector<QVariant>> rows)
    : m_listName(std::move(listName)), m_columns(std::move(columns)), m_rows(std::move(rows)) {}

void SelectionSnapshot::makeCurrent(int i) {
    if (i < 0 || i >= count()) return;
    m_current = i;
    if (m_follow) m_follow(i);
}

QVariant SelectionSnapshot::value(const QString& column) const {
    const auto named = [&column](const QString& name) {
        return name.compare(column, Qt::CaseInsensitive) == 0;
    };
    const auto at = std::find_if(m_columns.cbegin(), m_columns.cend(), named) - m_columns.cbegin();
    if (at == m_columns.size())
        throw DatabaseError(m_listName + u": Field '" + column + u"' not found", DatabaseErrorKind::Other);
    if (m_current < 0) return {};
    return m_rows.at(std::size_t(m_current)).at(std::size_t(at));
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

SelectionSnapshot SelectedEmployees::snapshot() const {
    takeSnapshot();
    const QStringList columns = m_list->columnNames();
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(std::size_t(m_rows.size()));
    for (const int row : m_rows) {
        std::vector<QVariant> values;
        values.reserve(std::size_t(columns.size()));
        for (int column = 0; column < columns.size(); ++column) values.push_back(m_list->value(row, column));
        rows.push_back(std::move(values));
    }
    return SelectionSnapshot(m_list->name(), columns, std::move(rows));
}

QVariant SelectedEmployees::value(const QString& column) const {
    if (!m_list) takeSnapshot();
    return m_list->field(column);
}

}  // namespace orvelo
