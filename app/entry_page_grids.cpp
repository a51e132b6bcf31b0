#include "app/entry_page_grids.h"

#include <QTabWidget>

#include "app/employee_grid.h"

namespace orvelo {

EntryPageGrids::EntryPageGrids(QTabWidget& pgc_employee, EmployeeGridView& dbgrdh_3,
                               EmployeeGridView& dbgrdh_4, EmployeeGridView& dbgrdh_5)
    : m_pages(pgc_employee), m_active(dbgrdh_3), m_departed(dbgrdh_4), m_details(dbgrdh_5) {}

int EntryPageGrids::shownPage() const {
    return m_pages.currentIndex();
}

EmployeeGridView& EntryPageGrids::view(EmployeeGrid grid) const {
    switch (grid) {
        case EmployeeGrid::dbgrdh_3:
            return m_active;
        case EmployeeGrid::dbgrdh_4:
            return m_departed;
        case EmployeeGrid::dbgrdh_5:
            break;
    }
    return m_details;
}

void EntryPageGrids::fitColumns(EmployeeGrid grid) {
    view(grid).fitColumns();
}

QItemSelectionModel& EntryPageGrids::rowSelection(EmployeeGrid grid) {
    return *view(grid).selectionModel();
}

}  // namespace orvelo
