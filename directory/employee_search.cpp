#include "directory/employee_search.h"

#include "context/command_context.h"
#include "core/text.h"
#include "db/data_module.h"
#include "directory/employee_lists.h"
#include "directory/list_statements.h"

namespace orvelo {

void btn_searchClick(CommandContext& ctx, EmployeeGrids& grids, const QString& keyword) {
    if (trimBlanks(keyword).isEmpty()) {
        RefreshEmployeeLists(ctx.data, grids);
        return;
    }

    Query& active = ctx.data.qry_3;
    active.close();
    active.clearSql();
    active.addSql(activeSearchSql(keyword));
    active.open();

    Query& departed = ctx.data.qry_4;
    departed.close();
    departed.clearSql();
    for (const QString& line : departedSearchSql(keyword)) departed.addSql(line);
    departed.open();

    FitListColumns(grids);
}

}  // namespace orvelo
