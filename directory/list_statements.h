#pragma once

#include <QString>
#include <QStringList>

namespace orvelo {

// The statement texts of the employee lists and their search. The blanks inside them, doubled
// or missing, are kept as the personnel system's other clients send them.

// qry_3: the active employees.
QString activeListSql();
// qry_4: the departed employees.
QString departedListSql();
// qry_5: the stored enrollments of the master list's current employee (parameter :登记号码).
QString enrollmentDetailSql();

// The active list narrowed to the employees whose department name, employee ID, registration
// number or name contains `keyword` (the search row's label promises 部门/姓名/工号); one line, no
// blank between each like and its literal.
QString activeSearchSql(const QString& keyword);
// The departed list narrowed the same way; two lines, one blank between each like and its
// literal.
QStringList departedSearchSql(const QString& keyword);

// The like-literal of a substring match: the keyword between two '%' wildcards, quoted so that
// a quote inside it cannot end the literal. '%' and '_' in the keyword stay wildcards.
QString containsLiteral(const QString& keyword);

}  // namespace orvelo
