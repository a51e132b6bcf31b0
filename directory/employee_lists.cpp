#include "directory/employee_lists.h"

#include <QItemSelectionModel>

#include "context/command_context.h"
#include "db/data_module.h"
#include "directory/list_statements.h"

namespace orvelo {

namespace {

void reopen(Query& query, const QString& text) {
    query.close();
    query.clearSql();
    query.addSql(text);
    query.open();
}

}  // namespace

Query& queryOf(DataModule& data, EmployeeGrid grid) {
    switch (grid) {
        case EmployeeGrid::dbgrdh_3:
            return data.qry_3;
        case EmployeeGrid::dbgrdh_4:
            return data.qry_4;
        case EmployeeGrid::dbgrdh_5:
            break;
    }
    return data.qry_5;
}

void OpenEmployeeLists(DataModule& data) {
    reopen(data.qry_3, activeListSql());
    reopen(data.qry_4, departedListSql());
    reopen(data.qry_5, enrollmentDetailSql());
}

void FitListColumns(EmployeeGrids& grids) {
    grids.fitColumns(shownEmployeeGrid(grids));
    grids.fitColumns(EmployeeGrid::dbgrdh_5);
}

void RefreshEmployeeLists(DataModule& data, EmployeeGrids& grids) {
    OpenEmployeeLists(data);
    FitListColumns(grids);
}

void ReopenActiveList(DataModule& data) {
    data.qry_3.close();
    data.qry_3.open();
}

void pgc_DeviceChange(CommandContext& ctx, EmployeeGrids& grids, int newIndex) {
    if (newIndex == kEnrollmentPageIndex) RefreshEmployeeLists(ctx.data, grids);
}

void pgc_employeeChange(CommandContext& ctx, EmployeeGrids& grids, int newIndex) {
    if (newIndex == 0) {
        ctx.data.qry_5.setMasterSource(&ctx.data.ds_3);
    } else if (newIndex == 1) {
        ctx.data.qry_5.setMasterSource(&ctx.data.ds_4);
    }
    RefreshEmployeeLists(ctx.data, grids);
}

void selectEveryRow(QItemSelectionModel& selection) {
    const QAbstractItemModel* model = selection.model();
    if (!model) return;
    const int rows = model->rowCount();
    const int columns = model->columnCount();
    if (rows <= 0 || columns <= 0) return;
    // One range for all rows: a single selection change, however long the list.
    selection.select(QItemSelection(model->index(0, 0), model->index(rows - 1, columns - 1)),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void chk_SelectAllClick(CommandContext& /*ctx*/, EmployeeGrids& grids, bool ticked) {
    QItemSelectionModel& selection = grids.rowSelection(shownEmployeeGrid(grids));
    if (ticked) {
        selectEveryRow(selection);
    } else {
        selection.clearSelection();
    }
}

}  // namespace orvelo
