#pragma once

#include "directory/employee_grids.h"

class QTabWidget;

namespace orvelo {

class EmployeeGridView;

// The enrollment page as the list commands reach it: pgc_employee's page, the grids' fitting
// and their row selections.
class EntryPageGrids : public EmployeeGrids {
public:
    EntryPageGrids(QTabWidget& pgc_employee, EmployeeGridView& dbgrdh_3, EmployeeGridView& dbgrdh_4,
                   EmployeeGridView& dbgrdh_5);

    int shownPage() const override;
    void fitColumns(EmployeeGrid grid) override;
    QItemSelectionModel& rowSelection(EmployeeGrid grid) override;

    EmployeeGridView& view(EmployeeGrid grid) const;

private:
    QTabWidget& m_pages;
    EmployeeGridView& m_active;
    EmployeeGridView& m_departed;
    EmployeeGridView& m_details;
};

}  // namespace orvelo
