#pragma once

#include <QStringList>

class QTextStream;

namespace orvelo {

class Query;

// One field of a listing: a backslash, a tab, a line feed or a carriage return inside it written
// as \\, \t, \n, \r, so that every field stays in its column and every row on its line.
QString listingField(const QString& text);

// One line of a listing: the cells' texts as the grids show them (NULL empty, dates as
// yyyy-mm-dd), each escaped by listingField, separated by tabs.
QString listingLine(const Query& query, int row);

// Writes `list` as orveloctl's `list` prints it: the column titles, then every row in the order
// the database returned them, each followed by the rows `details` holds for it (the details
// follow the list's current row), those lines starting with a tab. The list's current row is
// where it was afterwards.
void writeEmployeeListing(QTextStream& out, Query& list, Query& details);

}  // namespace orvelo
