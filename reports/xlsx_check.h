#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace orvelo::reports {

// The rows of each worksheet of the workbook at `path`, in the order of the sheets' parts
// (xl/worksheets/sheet1.xml, sheet2.xml, ...), read back through the zip's own directory; nothing
// when a sheet is cut off or damaged: its data does not inflate to the size and checksum the
// directory gives, or its XML does not end with the worksheet's end tag, or a row is left open.
//
// For the workbook just written: libxlsxwriter does not notice when a write to its temporary files
// fails (a full disk, a file size limit), and closes the workbook with a sheet cut off as if it had
// written it all. The check reads the file in pieces, so its memory does not grow with the file.
std::optional<std::vector<qint64>> worksheetRowCounts(const QString& path);

}  // namespace orvelo::reports
