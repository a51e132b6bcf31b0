#pragma once

#include <QString>

namespace orvelo {

struct CommandContext;
class EmployeeGrids;

// The keyword search of the enrollment page: both employee lists narrowed to the employees
// whose department name, employee ID or registration number contains `keyword` (used exactly
// as typed), then the columns fitted. A keyword of blanks changes nothing. The details keep
// their text and follow the re-opened master.
void btn_searchClick(CommandContext& ctx, EmployeeGrids& grids, const QString& keyword);

}  // namespace orvelo
