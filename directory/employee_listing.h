#pragma once

#include <QStringList>

class QTextStream;

namespace orvelo {

class Query;

// One line of a listing: the cells' texts as the grids show them (NULL empty, dates as
// yyyy-mm-dd), separated by tabs.
QString listingLine(const Query& query, int row);

// Writes `list` as orveloctl's `list` prints it: the column titles, then every row in the order
// the database returned them, each followed by the rows `details` holds for it (the details
// follow the list's current row), those lines starting with a tab. The list's current row is
// where it was afterwards.
void writeEmployeeListing(QTextStream& out, Query& list, Query& details);

}  // namespace orvelo
