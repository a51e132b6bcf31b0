#pragma once

#include <QString>

#include "directory/employee_grids.h"

class QItemSelectionModel;

namespace orvelo {

struct CommandContext;
class DataModule;
class Query;

// Re-opens qry_3, qry_4 and qry_5, in this order, with the list texts; a query that fails stays
// closed and the later ones are not touched (the DatabaseError goes to the caller). Every
// opening empties the row selections of the grids over it.
void OpenEmployeeLists(DataModule& data);

// Fits the columns of the shown employee grid, then those of the details grid.
void FitListColumns(EmployeeGrids& grids);

// OpenEmployeeLists followed by FitListColumns.
void RefreshEmployeeLists(DataModule& data, EmployeeGrids& grids);

// Re-opens qry_3 with the text it has now (a search included), without fitting: what the
// download of all enrollments does to show the employees it created.
void ReopenActiveList(DataModule& data);

// The index of the enrollment page "人员注册" in pgc_Device.
inline constexpr int kEnrollmentPageIndex = 2;

// The page of pgc_Device changed to `newIndex`: the enrollment page reloads the lists.
void pgc_DeviceChange(CommandContext& ctx, EmployeeGrids& grids, int newIndex);

// The page of pgc_employee changed to `newIndex`: the details follow the list now shown, then
// everything is reloaded.
void pgc_employeeChange(CommandContext& ctx, EmployeeGrids& grids, int newIndex);

// chk_SelectAll ticked: every row of the shown employee grid joins its selection; unticked:
// that selection is emptied. The other grid keeps its selection.
void chk_SelectAllClick(CommandContext& ctx, EmployeeGrids& grids, bool ticked);

// Adds every row of the selection model's model to the selection (whole rows), leaving the
// current row where it is; nothing happens when the model has no rows (a closed list).
void selectEveryRow(QItemSelectionModel& selection);

// The query shown by an employee grid or the details grid.
Query& queryOf(DataModule& data, EmployeeGrid grid);

}  // namespace orvelo
