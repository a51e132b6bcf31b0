#pragma once

#include <QList>

#include "core/ports.h"

class QItemSelectionModel;

namespace orvelo {

class DataModule;
class EmployeeGrids;
class Query;

// The selected rows of a list's row selection, in list order whatever the order of the clicks.
// Pure reading: the selection is never changed; moving through it moves the list's current row
// (and the selection model's current index, without touching the selection), so the details
// follow the employee being worked on.
class RowSelection {
public:
    RowSelection(QItemSelectionModel& selection, Query& list);

    // The selected rows, ascending; read at every call.
    QList<int> rows() const;
    // Makes `row` the current row of the list and of the selection model.
    void makeCurrentRow(int row);

private:
    QItemSelectionModel& m_selection;
    Query& m_list;
};

// SelectedEmployees: the EmployeeSelection of the employee grid that pgc_employee shows. count()
// reads the shown grid and its selection once per command; makeCurrent(i) walks that snapshot.
class SelectedEmployees : public EmployeeSelection {
public:
    SelectedEmployees(DataModule& data, EmployeeGrids& grids);

    int count() const override;
    void makeCurrent(int i) override;
    QVariant value(const QString& column) const override;

private:
    void takeSnapshot() const;

    DataModule& m_data;
    EmployeeGrids& m_grids;
    // What count() saw: the list it read and its selected rows.
    mutable Query* m_list = nullptr;
    mutable QItemSelectionModel* m_selection = nullptr;
    mutable QList<int> m_rows;
};

}  // namespace orvelo
