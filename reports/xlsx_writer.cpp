#include "reports/xlsx_writer.h"

#include <xlsxwriter.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

#include "core/errors.h"
#include "reports/xlsx_check.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {

namespace {

// Column widths in characters: never so narrow that a short title is cut, never so wide that one
// long name pushes the rest off the screen.
constexpr int kMinWidth = 6;
constexpr int kMaxWidth = 60;

// The width a text takes in the sheet's font, in characters: a Chinese character takes two.
int displayWidth(const QString& text) {
    int width = 0;
    for (const QChar c : text) width += c.unicode() >= 0x2E80 ? 2 : 1;
    return width;
}

// Excel's day number: days since 1899-12-30. Dates before March 1900 stay text, since Excel's
// day numbers count a 29 February 1900 that never was.
std::optional<double> excelDate(const QString& text) {
    if (text.size() != 10) return std::nullopt;
    const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (!date.isValid() || date < QDate(1900, 3, 1)) return std::nullopt;
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

// The fraction of the day of hh:mm or hh:mm:ss.
std::optional<double> excelTime(const QString& text) {
    if (text.size() != 5 && text.size() != 8) return std::nullopt;
    const int parts = text.size() == 5 ? 2 : 3;
    int seconds = 0;
    for (int i = 0; i < parts; ++i) {
        const QStringView part = QStringView(text).mid(i * 3, 2);
        if (i > 0 && text.at(i * 3 - 1) != u':') return std::nullopt;
        if (!part.at(0).isDigit() || !part.at(1).isDigit()) return std::nullopt;
        const int value = part.toInt();
        if (value >= (i == 0 ? 24 : 60)) return std::nullopt;
        seconds = seconds * 60 + value;
    }
    if (parts == 2) seconds *= 60;
    return seconds / 86400.0;
}

}  // namespace

struct XlsxWriter::Formats {
    lxw_format* header = nullptr;
    lxw_format* text = nullptr;
    lxw_format* date = nullptr;
    lxw_format* time = nullptr;
};

XlsxWriter::XlsxWriter(const QString& path, int rowsPerSheet)
    : m_path(path),
      m_folder(QFile::encodeName(QFileInfo(path).absolutePath())),
      m_rowsPerSheet(std::clamp(rowsPerSheet, 2, kExcelRows)),
      m_formats(std::make_unique<Formats>()) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_folder.data();
    m_workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!m_workbook) throw FileError(u"无法创建文件 "_s + path);
    m_formats->header = workbook_add_format(m_workbook);
    format_set_bold(m_formats->header);
    m_formats->text = workbook_add_format(m_workbook);
    format_set_num_format(m_formats->text, "@");
    m_formats->date = workbook_add_format(m_workbook);
    format_set_num_format(m_formats->date, "yyyy-mm-dd");
    m_formats->time = workbook_add_format(m_workbook);
    format_set_num_format(m_formats->time, "hh:mm");
}

XlsxWriter::~XlsxWriter() {
    // Not finished (an error or a cancel on the way): nothing more is written; the owner of the
    // file removes what there is.
    if (m_workbook) lxw_workbook_free(m_workbook);
}

void XlsxWriter::begin(const std::vector<ExportColumn>& columns, const QString& sheetName) {
    m_columns = columns;
    m_sheetName = sheetName;
    addSheet();
}

void XlsxWriter::addSheet() {
    if (m_sheets > 0) m_sheetRows.push_back(m_row);
    const QString name = m_sheets == 0 ? m_sheetName : m_sheetName + u' ' + QString::number(m_sheets + 1);
    m_sheet = workbook_add_worksheet(m_workbook, name.toUtf8().constData());
    if (!m_sheet) throw FileError(u"无法写入文件 "_s + m_path + u": 工作表 "_s + name);
    ++m_sheets;
    worksheet_freeze_panes(m_sheet, 1, 0);
    m_widths.clear();
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        const QByteArray title = m_columns[column].title.toUtf8();
        const lxw_error error = worksheet_write_string(m_sheet, 0, static_cast<lxw_col_t>(column),
                                                       title.constData(), m_formats->header);
        if (error != LXW_NO_ERROR)
            throw FileError(u"无法写入文件 "_s + m_path + u": "_s + QString::fromUtf8(lxw_strerror(error)));
        m_widths.push_back(displayWidth(m_columns[column].title));
    }
    m_row = 1;
}

void XlsxWriter::row(std::span<const QString> cells) {
    if (m_row >= m_rowsPerSheet) {
        fitColumns();
        addSheet();
    }
    const auto row = static_cast<lxw_row_t>(m_row);
    for (std::size_t column = 0; column < cells.size() && column < m_columns.size(); ++column) {
        const QString& value = cells[column];
        if (value.isEmpty()) continue;
        const auto col = static_cast<lxw_col_t>(column);
        std::optional<double> number;
        lxw_format* format = nullptr;
        switch (m_columns[column].kind) {
            case CellKind::Date:
                number = excelDate(value);
                format = m_formats->date;
                break;
            case CellKind::Time:
                number = excelTime(value);
                format = m_formats->time;
                break;
            case CellKind::Count: {
                bool ok = false;
                const qlonglong count = value.toLongLong(&ok);
                if (ok) number = static_cast<double>(count);
                break;
            }
            case CellKind::Text:
                break;
        }
        const lxw_error error =
            number ? worksheet_write_number(m_sheet, row, col, *number, format)
                   : worksheet_write_string(m_sheet, row, col, value.toUtf8().constData(), m_formats->text);
        if (error != LXW_NO_ERROR)
            throw FileError(u"无法写入文件 "_s + m_path + u": "_s + QString::fromUtf8(lxw_strerror(error)));
        m_widths[column] = std::max(m_widths[column], displayWidth(value));
    }
    ++m_row;
}

void XlsxWriter::fitColumns() {
    for (std::size_t column = 0; column < m_widths.size(); ++column) {
        const int width = std::clamp(m_widths[column] + 2, kMinWidth, kMaxWidth);
        worksheet_set_column(m_sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                             static_cast<double>(width), nullptr);
    }
}

void XlsxWriter::finish() {
    fitColumns();
    const lxw_error error = workbook_close(m_workbook);
    m_workbook = nullptr;  // freed by the close, written or not
    if (error != LXW_NO_ERROR)
        throw FileError(u"无法写入文件 "_s + m_path + u": "_s + QString::fromUtf8(lxw_strerror(error)));
    // The library reports no failed write of its temporary files: what it wrote is read back.
    m_sheetRows.push_back(m_row);
    if (worksheetRowCounts(m_path) != std::optional(m_sheetRows))
        throw FileError(u"无法写入文件 "_s + m_path + u": 工作表不完整"_s);
}

}  // namespace orvelo::reports
