#pragma once

#include <QString>

namespace orvelo {

struct CommandContext;
class EmployeeGrids;

// The keyword search of the enrollment page: both employee lists narrowed to the employees
// whose department name, employee ID, registration number or name contains `keyword` (used
// exactly as typed), then the columns fitted. An empty keyword, or one of blanks, brings back
// both full lists as RefreshEmployeeLists does: clearing the field and searching is how the
// operator ends a search. The details keep their text and follow the re-opened master.
void btn_searchClick(CommandContext& ctx, EmployeeGrids& grids, const QString& keyword);

}  // namespace orvelo
