#pragma once

#include <QItemSelectionModel>

#include "directory/employee_grids.h"

namespace orvelo {

class DataModule;

// The enrollment page without widgets, for orveloctl and the tests: the page choice and the two
// row selections, kept by selection models over ds_3 and ds_4 exactly as the grids keep them
// (emptied whenever their list re-opens). There are no columns to fit.
class ModelEmployeeGrids : public EmployeeGrids {
public:
    explicit ModelEmployeeGrids(DataModule& data);

    int shownPage() const override { return m_page; }
    void fitColumns(EmployeeGrid grid) override;
    QItemSelectionModel& rowSelection(EmployeeGrid grid) override;

    // What a change of pgc_employee's page does to the page itself (the command does the rest).
    void setShownPage(int page) { m_page = page; }

private:
    int m_page = 0;
    QItemSelectionModel m_activeSelection;
    QItemSelectionModel m_departedSelection;
};

}  // namespace orvelo
