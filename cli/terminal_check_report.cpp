#include "cli/terminal_check_report.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cli/fleet_run.h"
#include "cli/orveloctl.h"
#include "core/datetime.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

QString state(const CheckedTerminal& terminal) {
    if (terminal.busy) return u"busy"_s;
    return terminal.health.reachable ? u"在线"_s : u"离线"_s;
}

// A value of the row: "-" for a terminal not reached, "?" for one an online terminal did not give.
template <typename T>
QString cell(const CheckedTerminal& terminal, const std::optional<T>& value, QString (*text)(T)) {
    if (!terminal.health.reachable) return u"-"_s;
    return value ? text(*value) : u"?"_s;
}

QString count(std::int32_t value) {
    return QString::number(value);
}

QString offset(std::int64_t seconds) {
    return (seconds > 0 ? u"+"_s : QString()) + QString::number(seconds) + u" s"_s;
}

QString hours(double value) {
    return QString::number(value, 'f', 1);
}

// Columns a text takes on a terminal: two for the wide characters of Chinese (and the other East
// Asian scripts), one for the rest, so that 在线 and a Chinese name keep the table's columns.
qsizetype columnsOf(const QString& text) {
    qsizetype columns = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
            columns += 2;  // the supplementary ideographs
            ++i;
            continue;
        }
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6);
        columns += wide ? 2 : 1;
    }
    return columns;
}

QString padded(const QString& text, qsizetype columns, bool right) {
    const QString blanks(std::max<qsizetype>(0, columns - columnsOf(text)), u' ');
    return right ? blanks + text : text + blanks;
}

template <typename T>
QJsonValue jsonOrNull(const std::optional<T>& value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue(QJsonValue::Null);
}

QJsonValue lastCollectionJson(const CheckedTerminal& terminal) {
    if (!terminal.lastCollection) return QJsonValue::Null;
    const LastCollection& last = *terminal.lastCollection;
    const std::optional<double> age = collectionAgeHours(terminal);
    return QJsonObject{
        {u"when"_s, last.when},
        {u"by"_s, last.by},
        {u"result"_s, resultWord(last.result, true)},
        // To the second, in hours: enough for any limit a monitor sets.
        {u"age_hours"_s, age ? QJsonValue(std::round(*age * 3600.0) / 3600.0) : QJsonValue(QJsonValue::Null)},
    };
}

}  // namespace

std::optional<double> collectionAgeHours(const CheckedTerminal& terminal) {
    if (!terminal.lastCollection) return std::nullopt;
    const std::optional<DateTimeValue> when = parseDateTimeText(terminal.lastCollection->when);
    if (!when) return std::nullopt;
    return (terminal.health.checkedAt - *when) * 24.0;
}

QStringList healthProblems(const CheckedTerminal& terminal, const HealthLimits& limits) {
    QStringList problems;
    if (terminal.busy)
        problems << u"busy"_s;
    else if (!terminal.health.reachable)
        problems << u"not-reachable"_s;
    if (const auto& clock = terminal.health.clockOffsetSeconds;
        clock && std::llabs(*clock) > limits.maxClockOffsetSeconds)
        problems << u"clock-off"_s;
    if (limits.maxAgeHours) {
        const std::optional<double> age = collectionAgeHours(terminal);
        if (!age)
            problems << u"no-collection"_s;
        else if (*age > *limits.maxAgeHours)
            problems << u"collection-too-old"_s;
    }
    return problems;
}

QString healthTable(const QList<CheckedTerminal>& terminals, const HealthLimits& limits) {
    const QStringList titles = {u"terminal"_s, u"state"_s, u"clock"_s,           u"users"_s,
                                u"records"_s,  u"new"_s,   u"last collection"_s, u"problems"_s};
    QList<QStringList> rows{titles};
    for (const CheckedTerminal& terminal : terminals) {
        const TerminalHealth& health = terminal.health;
        const std::optional<double> age = collectionAgeHours(terminal);
        const QStringList problems = healthProblems(terminal, limits);
        rows.append({terminal.name, state(terminal), cell(terminal, health.clockOffsetSeconds, offset),
                     cell(terminal, health.users, count), cell(terminal, health.records, count),
                     cell(terminal, health.newRecords, count),
                     age                       ? hours(*age) + u" h ago"_s
                     : terminal.lastCollection ? u"?"_s
                                               : u"none"_s,
                     problems.isEmpty() ? u"ok"_s : problems.join(u' ')});
    }
    QList<qsizetype> widths(titles.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], columnsOf(row[i]));
    // Texts read from the left, the clock and the counts line up on the right.
    const auto rightAligned = [](qsizetype column) { return column >= 2 && column <= 5; };
    QString text;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (qsizetype i = 0; i < row.size(); ++i) cells << padded(row[i], widths[i], rightAligned(i));
        QString line = cells.join(u"  "_s);
        while (line.endsWith(u' ')) line.chop(1);
        text += line + u'\n';
    }
    return text;
}

QJsonDocument healthJson(const QList<CheckedTerminal>& terminals, const HealthLimits& limits) {
    QJsonArray array;
    for (const CheckedTerminal& terminal : terminals) {
        const TerminalHealth& health = terminal.health;
        const QStringList problems = healthProblems(terminal, limits);
        array.append(QJsonObject{
            {u"name"_s, terminal.name},
            {u"terminal"_s, terminal.key},
            {u"checked"_s, dateTimeText(health.checkedAt)},
            {u"reachable"_s, health.reachable},
            {u"busy"_s, terminal.busy},
            {u"error"_s, health.settingsError.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                        : QJsonValue(health.settingsError)},
            {u"clock_offset_seconds"_s, jsonOrNull(health.clockOffsetSeconds)},
            {u"users"_s, jsonOrNull(health.users)},
            {u"records"_s, jsonOrNull(health.records)},
            {u"new_records"_s, jsonOrNull(health.newRecords)},
            {u"last_collection"_s, lastCollectionJson(terminal)},
            {u"problems"_s, QJsonArray::fromStringList(problems)},
            {u"ok"_s, problems.isEmpty()},
        });
    }
    return QJsonDocument(QJsonObject{
        {u"terminals"_s, array},
        {u"max_clock_offset_seconds"_s, static_cast<double>(limits.maxClockOffsetSeconds)},
        {u"max_age_hours"_s,
         limits.maxAgeHours ? QJsonValue(*limits.maxAgeHours) : QJsonValue(QJsonValue::Null)},
        {u"exit"_s, healthExitStatus(terminals, limits)},
    });
}

int healthExitStatus(const QList<CheckedTerminal>& terminals, const HealthLimits& limits) {
    const bool anyProblem = std::any_of(terminals.begin(), terminals.end(), [&](const CheckedTerminal& t) {
        return !healthProblems(t, limits).isEmpty();
    });
    return anyProblem ? kExitNotReached : kExitDone;
}

}  // namespace orvelo::cli
