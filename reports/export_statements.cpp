#include "reports/export_statements.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {

namespace {

// The join of a punch to its employee and department. Left joins: a punch outlives the rows it
// refers to, and payroll must still see it.
QString punchSource() {
    return u"FROM AtdRecord ar LEFT JOIN hremployee he ON he.EmplID = ar.EmplID "
           u"LEFT JOIN hrdept hd ON hd.deptid = he.deptid"_s;
}

// RecDate is a text with the date first (or a date on the larger system's server): comparing
// against yyyy-mm-dd bounds gives the period on both.
QString periodCondition(bool byDepartment) {
    QString condition = u"WHERE ar.RecDate >= :fromdate AND ar.RecDate <= :todate"_s;
    if (byDepartment) condition += u" AND "_s + departmentCondition();
    return condition;
}

}  // namespace

QString departmentCondition() {
    return u"(hd.deptid = :department OR hd.deptno = :department OR hd.deptname = :department)"_s;
}

QString departmentsStatement() {
    return u"SELECT deptid, deptno, deptname FROM hrdept ORDER BY deptno, deptid"_s;
}

QString attendanceRowsStatement(bool byDepartment) {
    return u"SELECT ar.EmplID, he.emplname, hd.deptname, ar.RecDate, ar.RecTime, ar.IsAuto, "
           u"st.gb AS meaning, ar.EquNo "_s +
           punchSource() +
           u" LEFT JOIN systxtset st ON st.texttype = 'IsAuto' AND st.textvalue = ar.IsAuto "_s +
           periodCondition(byDepartment) + u" ORDER BY ar.EmplID, ar.RecDate, ar.RecTime, ar.EquNo"_s;
}

QString dailyPunchesStatement(bool byDepartment) {
    // The days are counted in the order of the attendance index (EmplID, RecDate) before the names
    // are joined: grouping by the names as well would sort every punch of the period first.
    QString statement =
        u"SELECT d.EmplID, he.emplname, hd.deptname, d.RecDate, d.firstpunch, d.lastpunch, d.punches "
        u"FROM (SELECT ar.EmplID, ar.RecDate, MIN(ar.RecTime) AS firstpunch, MAX(ar.RecTime) AS lastpunch, "
        u"COUNT(*) AS punches FROM AtdRecord ar "_s +
        periodCondition(false) +
        u" GROUP BY ar.EmplID, ar.RecDate) d "
        u"LEFT JOIN hremployee he ON he.EmplID = d.EmplID LEFT JOIN hrdept hd ON hd.deptid = he.deptid"_s;
    if (byDepartment) statement += u" WHERE "_s + departmentCondition();
    return statement + u" ORDER BY d.EmplID, d.RecDate"_s;
}

}  // namespace orvelo::reports
