#pragma once

#include <QString>
#include <memory>

#include "reports/export_sink.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace orvelo::reports {

// The rows as an Excel workbook (.xlsx) through libxlsxwriter, in its constant-memory mode: each
// row goes to a temporary file as soon as it is written, so a year of punches costs no more memory
// than a day. The temporary files lie in the folder of `path` (not /tmp, which may be a tmpfs in
// memory) and are gone when the writer is.
//
// Text cells are string cells (inline strings) with the text number format "@": a spreadsheet
// shows 000123 and 001 as they are, and a name "=1+1" as that text, never as a formula; nothing is
// added to them. Dates and times are numbers with the display formats yyyy-mm-dd and hh:mm, so the
// spreadsheet can sort and reckon with them; a stored value that is not a date or time stays
// text. Counts are numbers. The header row is bold and frozen; each column is as wide as its
// title and its widest value (within bounds). A sheet that is full (Excel's 1,048,576 rows) is
// followed by another of the same name with " 2", " 3"... and the header again. The workbook is
// read back once written (reports/xlsx_check.h): a sheet cut off is an error, never a file.
class XlsxWriter : public ExportSink {
public:
    static constexpr int kExcelRows = 1048576;

    // Creates the workbook at `path` (the file is written when finish() is called); `rowsPerSheet`
    // counts the header row too. Throws FileError.
    explicit XlsxWriter(const QString& path, int rowsPerSheet = kExcelRows);
    ~XlsxWriter() override;
    XlsxWriter(const XlsxWriter&) = delete;
    XlsxWriter& operator=(const XlsxWriter&) = delete;

    void begin(const std::vector<ExportColumn>& columns, const QString& sheetName) override;
    void row(std::span<const QString> cells) override;
    void finish() override;

private:
    struct Formats;
    void addSheet();
    void fitColumns();

    QString m_path;
    QByteArray m_folder;  // the temporary files' folder, kept alive for the library
    int m_rowsPerSheet;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    std::unique_ptr<Formats> m_formats;
    std::vector<ExportColumn> m_columns;
    std::vector<int> m_widths;  // per column of the current sheet, in characters
    QString m_sheetName;
    int m_sheets = 0;
    qint64 m_row = 0;                 // the next row of the current sheet
    std::vector<qint64> m_sheetRows;  // the rows of each finished sheet, header included
};

}  // namespace orvelo::reports
