#pragma once

#include <QByteArray>
#include <functional>

#include "reports/export_sink.h"

namespace orvelo::reports {

// The rows as CSV (reports/csv.h), UTF-8: a header record of the column titles, then one record
// per row, each text cell guarded (guardedText) so that no spreadsheet runs it; counts as they are.
// The bytes go to `output` in pieces of whole records of some 64 KiB, so a period of any length
// costs one piece of memory; `output` throws FileError when it cannot take them.
class CsvWriter : public ExportSink {
public:
    using Output = std::function<void(const QByteArray& bytes)>;
    explicit CsvWriter(Output output);

    void begin(const std::vector<ExportColumn>& columns, const QString& sheetName) override;
    void row(std::span<const QString> cells) override;
    void finish() override;

private:
    void add(const QString& record);

    Output m_output;
    std::vector<CellKind> m_kinds;
    QByteArray m_pending;
};

}  // namespace orvelo::reports
