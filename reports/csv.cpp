#include "reports/csv.h"

using namespace Qt::StringLiterals;

namespace orvelo::reports {

QString csvField(const QString& value) {
    const bool quoted =
        value.contains(u',') || value.contains(u'"') || value.contains(u'\r') || value.contains(u'\n');
    if (!quoted) return value;
    QString field = value;
    field.replace(u"\""_s, u"\"\""_s);
    return u'"' + field + u'"';
}

QString csvRecord(const QStringList& fields) {
    QString record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) record += u',';
        record += csvField(fields.at(i));
    }
    return record + u"\r\n"_s;
}

QString guardedText(const QString& text) {
    if (text.isEmpty()) return text;
    switch (text.front().unicode()) {
        case u'=':
        case u'+':
        case u'-':
        case u'@':
        case u'\t':
        case u'\r':
            return u'\'' + text;
        default:
            return text;
    }
}

}  // namespace orvelo::reports
