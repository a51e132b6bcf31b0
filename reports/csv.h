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

}  // namespace orvelo::reports
