#pragma once

class QItemSelectionModel;

namespace orvelo {

// The three grids of the enrollment page.
enum class EmployeeGrid {
    dbgrdh_3,  // active employees, over ds_3
    dbgrdh_4,  // departed employees, over ds_4
    dbgrdh_5,  // enrollments of the current employee, over ds_5
};

// What the list commands reach of the enrollment page: which employee list is shown, the
// column fitting and the row selections. The window implements it over its grids; orveloctl
// and the tests over selection models without widgets (ModelEmployeeGrids).
class EmployeeGrids {
public:
    virtual ~EmployeeGrids() = default;

    // The page pgc_employee shows: 0 for the active list, 1 for the departed list.
    virtual int shownPage() const = 0;

    // Fits the width of every column of `grid`, in column order, to its title and to the cell
    // texts of all its rows, then makes its title a button.
    virtual void fitColumns(EmployeeGrid grid) = 0;

    // The row selection of dbgrdh_3 or dbgrdh_4 (rows selected whole, over ds_3 or ds_4).
    virtual QItemSelectionModel& rowSelection(EmployeeGrid grid) = 0;
};

// The employee grid pgc_employee shows.
inline EmployeeGrid shownEmployeeGrid(const EmployeeGrids& grids) {
    return grids.shownPage() == 1 ? EmployeeGrid::dbgrdh_4 : EmployeeGrid::dbgrdh_3;
}

}  // namespace orvelo
