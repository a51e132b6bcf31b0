#include "core/datetime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

namespace orvelo {

namespace {

QString twoDigits(int value) {
    return QString::number(value).rightJustified(2, u'0');
}

}  // namespace

std::optional<DateTimeValue> encodeDateTime(const DateTimeParts& p) {
    if (!QDate(p.year, p.month, p.day).isValid() || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
        p.minute > 59 || p.second < 0 || p.second > 59 || p.msec < 0 || p.msec > 999)
        return std::nullopt;
    return terminal::encodeDays(p);
}

DateTimeParts decodeDateTime(DateTimeValue value) {
    return terminal::decodeDays(value);
}

QString dateTimeText(DateTimeValue value) {
    const DateTimeParts p = decodeDateTime(value);
    // Written digit by digit: a download formats this text several times per record.
    if (p.year >= 0 && p.year <= 9999) {
        char16_t text[19];
        const auto put = [&text](int at, int number, int digits) {
            for (int i = digits - 1; i >= 0; --i, number /= 10) text[at + i] = char16_t(u'0' + number % 10);
        };
        put(0, p.year, 4);
        text[4] = u'-';
        put(5, p.month, 2);
        text[7] = u'-';
        put(8, p.day, 2);
        text[10] = u' ';
        put(11, p.hour, 2);
        text[13] = u':';
        put(14, p.minute, 2);
        text[16] = u':';
        put(17, p.second, 2);
        return QString(reinterpret_cast<const QChar*>(text), 19);
    }
    return QString::number(p.year).rightJustified(4, u'0') + u'-' + twoDigits(p.month) + u'-' +
           twoDigits(p.day) + u' ' + twoDigits(p.hour) + u':' + twoDigits(p.minute) + u':' +
           twoDigits(p.second);
}

std::optional<DateTimeValue> parseDateTimeText(const QString& text) {
    if (text.size() != 16 && text.size() != 19) return std::nullopt;
    const auto number = [&text](int from, int count) -> int {
        int n = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9') return -1;
            n = n * 10 + (c - u'0');
        }
        return n;
    };
    if (text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u' ' || text.at(13) != u':')
        return std::nullopt;
    if (text.size() == 19 && text.at(16) != u':') return std::nullopt;
    DateTimeParts p;
    p.year = number(0, 4);
    p.month = number(5, 2);
    p.day = number(8, 2);
    p.hour = number(11, 2);
    p.minute = number(14, 2);
    p.second = text.size() == 19 ? number(17, 2) : 0;
    if (p.year < 0 || p.month < 0 || p.day < 0 || p.hour < 0 || p.minute < 0 || p.second < 0)
        return std::nullopt;
    return encodeDateTime(p);
}

DateTimeValue SystemClock::now() const {
    // Read the wall clock once; only its date and time of day are used from here on.
    const QDateTime local = QDateTime::currentDateTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return *encodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

}  // namespace orvelo
