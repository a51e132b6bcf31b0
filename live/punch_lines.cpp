#include "live/punch_lines.h"

#include <QSqlQuery>
#include <QVariant>

#include "core/text.h"
#include "db/data_module.h"

namespace orvelo::live {

using namespace Qt::StringLiterals;

namespace {
constexpr auto kSeparator = u"  ";

QString orDash(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? u"-"_s : trimmed;
}
}  // namespace

PunchOwner lookUpPunchOwner(DataModule& data, std::int32_t enrollNumber) {
    // The same key as the store's lookup: cardid holds the enroll number with five digits.
    QSqlQuery query(data.connection());
    query.prepare(u"select emplid, emplname from HrEmployee where cardid=?"_s);
    query.addBindValue(zeroPad(enrollNumber, 5));
    if (!query.exec() || !query.next()) return {};
    return {query.value(0).toString(), query.value(1).toString()};
}

QString punchResultWord(StoreResult result) {
    switch (result) {
        case StoreResult::Stored:
            return u"stored"_s;
        case StoreResult::Duplicate:
            return u"duplicate"_s;
        case StoreResult::UnknownPerson:
            return u"unknown person"_s;
        case StoreResult::Refused:
        case StoreResult::Unusable:
            break;
    }
    return u"refused"_s;
}

QString punchLine(DateTimeValue punchTime, const QString& terminal, std::int32_t enrollNumber,
                  const PunchOwner& owner, StoreResult result) {
    return QStringList{dateTimeText(punchTime),
                       terminal,
                       u"punch"_s,
                       QString::number(enrollNumber),
                       orDash(owner.emplid),
                       orDash(owner.name),
                       punchResultWord(result)}
        .join(kSeparator);
}

QString linkLine(DateTimeValue now, const QString& terminal, const QString& word, const QString& detail) {
    QStringList fields{dateTimeText(now), terminal, word};
    if (!detail.isEmpty()) fields << detail;
    return fields.join(kSeparator);
}

}  // namespace orvelo::live
