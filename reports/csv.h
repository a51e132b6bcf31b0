#pragma once

#include <QString>
#include <QStringList>

// CSV as RFC 4180 writes it: fields separated by ',', records ended by CR LF, a field quoted
// when it holds a comma, a quote, CR or LF, its quotes doubled. Spreadsheets and Python's csv
// module read it back field for field.
namespace orvelo::reports {

QString csvField(const QString& value);

// The fields of one record and its CR LF.
QString csvRecord(const QStringList& fields);

// A text as a spreadsheet must show it: a text that begins with '=', '+', '-', '@', a tab or a
// carriage return gets a leading apostrophe, so that the spreadsheet never takes it for a formula
// (a name "=HYPERLINK(...)" or "\t=1+1" in the database must not run on the payroll office's PC).
// The apostrophe is the common guard: spreadsheets that open the file show it, so the reader
// sees that the text was marked, and nothing else of the text changes. Every other text is
// returned as it is.
QString guardedText(const QString& text);

}  // namespace orvelo::reports
