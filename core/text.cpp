#include "core/text.h"

#include <limits>

#include "core/errors.h"

namespace orvelo {

using namespace Qt::StringLiterals;

QString invalidIntegerText(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

qint32 strToInt(const QString& text) {
    const auto fail = [&text]() -> qint32 { throw ConversionError(invalidIntegerText(text)); };

    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ') ++i;

    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }

    int base = 10;
    if (i < n && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0' && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    } else if (i < n && (text.at(i) == u'x' || text.at(i) == u'X')) {
        base = 16;
        ++i;
    }

    if (i >= n) return fail();

    // Accumulate as a magnitude; the negative range reaches one further than the positive one.
    const qint64 limit = negative ? qint64(std::numeric_limits<qint32>::max()) + 1
                                  : qint64(std::numeric_limits<qint32>::max());
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            return fail();
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return fail();
    }
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20) ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20) --end;
    return text.mid(begin, end - begin);
}

bool hasControlCharacter(QStringView text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control) return true;
    return false;
}

QString escapeControlCharacters(const QString& text) {
    if (!hasControlCharacter(text)) return text;
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            escaped += u"\\x"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0');
        else
            escaped += c;
    }
    return escaped;
}

QString zeroPad(qint64 value, int digits) {
    const bool negative = value < 0;
    // Through unsigned arithmetic so that the smallest qint64 has a magnitude too.
    const quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    QString text = QString::number(magnitude);
    if (text.size() < digits) text.prepend(QString(digits - text.size(), u'0'));
    if (negative) text.prepend(u'-');
    return text;
}

QString blankPad(qint64 value, int width) {
    return QString::number(value).rightJustified(width, u' ');
}

QString sqlQuoted(const QString& value) {
    QString quoted = value;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

QString defaultErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

}  // namespace orvelo
