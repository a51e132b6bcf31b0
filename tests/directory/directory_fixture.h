#pragma once

#include <QItemSelectionModel>
#include <QList>
#include <QStringList>
#include <algorithm>

#include "access/connection.h"
#include "context/command_context.h"
#include "db/data_module.h"
#include "directory/model_employee_grids.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/recording_operator_view.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

namespace orvelo::test {

// The page without widgets, remembering which grids were fitted.
class RecordingGrids : public ModelEmployeeGrids {
public:
    using ModelEmployeeGrids::ModelEmployeeGrids;
    void fitColumns(EmployeeGrid grid) override { fitted.append(grid); }
    QList<EmployeeGrid> fitted;
};

// A small personnel database: departments whose names a search can tell from employee names,
// employees that the inner joins drop, and enrollments with and without code texts.
class DirectoryFixture {
public:
    DirectoryFixture() {
        db.addDepartment(QStringLiteral("01"), QStringLiteral("总部"));
        db.addDepartment(QStringLiteral("02"), QStringLiteral("East Sales"));
        db.addDepartment(QStringLiteral("03"), QStringLiteral("O'Neil Works"));
        db.addDepartment(QStringLiteral("04"), QStringLiteral("Sales"));
        db.addActiveEmployee(QStringLiteral("E001"), QStringLiteral("00001"), QStringLiteral("张三"));
        db.addActiveEmployee(QStringLiteral("E002"), QStringLiteral("00002"), QStringLiteral("李四"),
                             QStringLiteral("02"));
        db.addActiveEmployee(QStringLiteral("E003"), QStringLiteral("00123"), QStringLiteral("王五"),
                             QStringLiteral("03"));
        db.addActiveEmployee(QStringLiteral("E004"), QStringLiteral("00004"), QStringLiteral("Salesman Bob"));
        db.addActiveEmployee(QStringLiteral("E007"), QStringLiteral("00007"), QStringLiteral("赵七"),
                             QStringLiteral("04"));
        // No department row, no sex text: in neither list.
        db.addActiveEmployee(QStringLiteral("E005"), QStringLiteral("00005"), QStringLiteral("无部门"),
                             QStringLiteral("99"));
        TestEmployee noSexText;
        noSexText.emplid = QStringLiteral("E006");
        noSexText.cardid = QStringLiteral("00006");
        noSexText.name = QStringLiteral("无性别");
        noSexText.sex = 7;
        db.addEmployee(noSexText);
        db.addDepartedEmployee(QStringLiteral("D001"), QStringLiteral("00101"), QStringLiteral("钱一"),
                               QStringLiteral("2023-06-30"), QStringLiteral("02"));
        db.addDepartedEmployee(QStringLiteral("D002"), QStringLiteral("00102"), QStringLiteral("孙二"),
                               QStringLiteral("2022-01-15"), QStringLiteral("01"));

        db.addEnrollment(QStringLiteral("E001"), QStringLiteral("00001"), 0);
        db.addEnrollment(QStringLiteral("E001"), QStringLiteral("00001"), 9);
        db.addEnrollment(QStringLiteral("E002"), QStringLiteral("00002"), 1, 2);
        db.addEnrollment(QStringLiteral("E003"), QStringLiteral("00123"), 5, 9);  // no privilege text
        db.addEnrollment(QStringLiteral("D001"), QStringLiteral("00101"), 10, 3);
    }

    // The display texts of one column over all rows, in list order.
    static QStringList column(const Query& query, const QString& name) {
        QStringList values;
        for (int row = 0; row < query.rowCount(); ++row)
            values.append(DataSource::displayText(query.value(row, name)));
        return values;
    }
    static QStringList sorted(QStringList values) {
        std::sort(values.begin(), values.end());
        return values;
    }
    // The row of `query` whose 人员编号 is `emplid`, or -1.
    static int rowOf(const Query& query, const QString& emplid) {
        return int(column(query, QStringLiteral("人员编号")).indexOf(emplid));
    }
    // A Ctrl+click on a row: the row joins the selection or leaves it.
    static void ctrlClick(QItemSelectionModel& selection, int row) {
        selection.select(selection.model()->index(row, 0),
                         QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }
    static int selectedCount(QItemSelectionModel& selection) { return int(selection.selectedRows().size()); }

    TestDatabase db;
    DataModule& data = db.data();
    CallLog log;
    RecordingOperatorView view{log};
    ConnectionSettings settings;
    ScriptedTerminalLibrary terminal{log};
    FixedClock clock;
    CommandContext ctx{view, {}, settings, terminal, data, clock, db.appDir()};
    ConnectionPanelState& panel = ctx.panel;  // the panel as the test sets it
    RecordingGrids grids{data};
};

}  // namespace orvelo::test
