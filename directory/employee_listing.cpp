#include "directory/employee_listing.h"

#include <QTextStream>

#include "db/data_module.h"

namespace orvelo {

QString listingField(const QString& text) {
    QString field;
    field.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'\\':
                field += QStringLiteral("\\\\");
                break;
            case u'\t':
                field += QStringLiteral("\\t");
                break;
            case u'\n':
                field += QStringLiteral("\\n");
                break;
            case u'\r':
                field += QStringLiteral("\\r");
                break;
            default:
                field += c;
        }
    }
    return field;
}

QString listingLine(const Query& query, int row) {
    QStringList cells;
    const int columns = query.columnCount();
    cells.reserve(columns);
    for (int column = 0; column < columns; ++column) {
        cells.append(listingField(DataSource::displayText(query.value(row, column))));
    }
    return cells.join(u'\t');
}

void writeEmployeeListing(QTextStream& out, Query& list, Query& details) {
    QStringList titles = list.columnNames();
    for (QString& title : titles) title = listingField(title);
    out << titles.join(u'\t') << '\n';
    const int current = list.currentRow();
    const int rows = list.rowCount();
    for (int row = 0; row < rows; ++row) {
        out << listingLine(list, row) << '\n';
        list.setCurrentRow(row);
        const int detailRows = details.isOpen() ? details.rowCount() : 0;
        for (int detail = 0; detail < detailRows; ++detail)
            out << '\t' << listingLine(details, detail) << '\n';
    }
    if (rows > 0 && current >= 0) list.setCurrentRow(current);
}

}  // namespace orvelo
