#pragma once

#include <QString>

// The statements of the attendance export. Values never enter the texts: the period and the
// department are bound as :fromdate, :todate and :department, so a name with a quote in it is
// just a name. The texts keep to what SQL Server and SQLite both understand (no TOP, LIMIT,
// CONVERT or date functions): the data module's SQLite adapter leaves a plain SELECT as it is.
namespace orvelo::reports {

// One row per punch of the period, oldest first per employee: EmplID, emplname, deptname,
// RecDate, RecTime, IsAuto, meaning (the "IsAuto" list of systxtset, NULL when it has no row for
// the code), EquNo. Punches of employees who have left, or whose employee row is gone, are kept.
QString attendanceRowsStatement(bool byDepartment);

// One row per employee and day of the period: EmplID, emplname, deptname, RecDate, firstpunch,
// lastpunch, punches.
QString dailyPunchesStatement(bool byDepartment);

// Every department: deptid, deptno, deptname, by number and key.
QString departmentsStatement();

// The department condition both statements add: the department's key (deptid), number (deptno)
// or name (deptname) equals :department.
QString departmentCondition();

}  // namespace orvelo::reports
