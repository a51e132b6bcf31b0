#include "reports/csv_writer.h"

#include "reports/csv.h"

namespace orvelo::reports {

namespace {

constexpr qsizetype kPieceBytes = 64 * 1024;

}  // namespace

CsvWriter::CsvWriter(Output output) : m_output(std::move(output)) {
    m_pending.reserve(kPieceBytes + 4096);
}

void CsvWriter::begin(const std::vector<ExportColumn>& columns, const QString& /*sheetName*/) {
    QStringList titles;
    m_kinds.clear();
    for (const ExportColumn& column : columns) {
        titles << column.title;
        m_kinds.push_back(column.kind);
    }
    add(csvRecord(titles));
}

void CsvWriter::row(std::span<const QString> cells) {
    QStringList fields;
    fields.reserve(static_cast<qsizetype>(cells.size()));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const bool count = i < m_kinds.size() && m_kinds[i] == CellKind::Count;
        fields << (count ? cells[i] : guardedText(cells[i]));
    }
    add(csvRecord(fields));
}

void CsvWriter::finish() {
    if (!m_pending.isEmpty()) m_output(m_pending);
    m_pending.clear();
}

void CsvWriter::add(const QString& record) {
    m_pending += record.toUtf8();
    if (m_pending.size() < kPieceBytes) return;
    m_output(m_pending);
    m_pending.clear();
}

}  // namespace orvelo::reports
