#pragma once

#include <QList>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

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

// The selected employees as they were when a command started: their rows of the list and every
// column's value. A command on the window's command thread walks these values and never reads the
// grid, which the operator may scroll, sort or search meanwhile; `follow` (when set) is told each
// row the command comes to, so that the window can move the grid's cursor there.
class SelectionSnapshot : public EmployeeSelection {
public:
    SelectionSnapshot() = default;
    // `listName` names the list in the error about a column it does not have, as the list would.
    SelectionSnapshot(QString listName, QStringList columns, std::vector<std::vector<QVariant>> rows);

    int count() const override { return int(m_rows.size()); }
    void makeCurrent(int i) override;
    // The value in the row made current (null before the first); throws DatabaseError for a column
    // the list does not have.
    QVariant value(const QString& column) const override;

    void setFollow(std::function<void(int i)> follow) { m_follow = std::move(follow); }

private:
    QString m_listName;
    QStringList m_columns;
    std::vector<std::vector<QVariant>> m_rows;
    int m_current = -1;
    std::function<void(int i)> m_follow;
};

// SelectedEmployees: the EmployeeSelection of the employee grid that pgc_employee shows. count()
// reads the shown grid and its selection once per command; makeCurrent(i) walks that snapshot.
class SelectedEmployees : public EmployeeSelection {
public:
    SelectedEmployees(DataModule& data, EmployeeGrids& grids);

    int count() const override;
    void makeCurrent(int i) override;
    QVariant value(const QString& column) const override;

    // The selected employees with their values, read now (the shown grid and its selection).
    SelectionSnapshot snapshot() const;

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
