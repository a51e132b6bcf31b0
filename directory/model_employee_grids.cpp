#include "directory/model_employee_grids.h"

#include "db/data_module.h"

namespace orvelo {

ModelEmployeeGrids::ModelEmployeeGrids(DataModule& data)
    : m_activeSelection(&data.ds_3), m_departedSelection(&data.ds_4) {}

void ModelEmployeeGrids::fitColumns(EmployeeGrid /*grid*/) {}

QItemSelectionModel& ModelEmployeeGrids::rowSelection(EmployeeGrid grid) {
    return grid == EmployeeGrid::dbgrdh_4 ? m_departedSelection : m_activeSelection;
}

}  // namespace orvelo
