#pragma once

#include <QString>
#include <span>
#include <vector>

// Where the rows of an export go as the query delivers them: a CSV text or an Excel workbook.
// The export hands over one row at a time and keeps none, so a sink holds at most what its own
// format needs in memory (a buffer of bytes, the library's one row).
namespace orvelo::reports {

// What a column holds, which decides how a workbook writes it (a CSV writes every cell as text).
enum class CellKind {
    Text,   // kept as stored: names, and the codes whose zeros count (人员编号 000123, 机器号 001)
    Date,   // yyyy-mm-dd
    Time,   // hh:mm (or hh:mm:ss)
    Count,  // a whole number the export counted itself; never negative
};

struct ExportColumn {
    QString title;
    CellKind kind = CellKind::Text;
};

class ExportSink {
public:
    virtual ~ExportSink() = default;
    // Called once, before the first row: the columns, in order, and the name of the sheet they
    // make (a workbook's sheet name; a CSV has none).
    virtual void begin(const std::vector<ExportColumn>& columns, const QString& sheetName) = 0;
    // One row: a text per column, dates, times and counts already written as their kind says
    // (or, for a value the database holds in another form, as stored). Throws FileError.
    virtual void row(std::span<const QString> cells) = 0;
    // After the last row: everything written out. Throws FileError.
    virtual void finish() = 0;
};

}  // namespace orvelo::reports
