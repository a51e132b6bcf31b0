#include "collection/attendance_store.h"

#include <exception>
#include <optional>

#include "collection/attendance_statements.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "db/prepared_statement.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

// Every statement of the store goes the same way: close, clear the text, set it, open.
void openStatement(Query& query, const QString& sql) {
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

// The employee, day and minute that the duplicate test compares.
QString rowKey(const QString& employee, const LogRecord& record) {
    return employee.trimmed() + u'|' + dateTimeText(record.RecordTime).left(16);
}

}  // namespace

// The prepared lookup and write of the embedded database, for the run of one store. Each is
// prepared when first needed, so that a failure to prepare it counts as its statement's failure.
struct AttendanceStore::EmbeddedStatements {
    std::optional<sql::PreparedStatement> lookup;
    std::optional<sql::PreparedStatement> write;
    QString operDate;  // of the open group
};

AttendanceStore::AttendanceStore(DataModule& data, const Clock& clock)
    : m_data(data),
      m_clock(clock),
      m_lookup(data, u"qry_store_lookup"_s),
      m_write(data, u"qry_store_write"_s),
      m_group(data),
      m_embedded(std::make_unique<EmbeddedStatements>()) {}

AttendanceStore::~AttendanceStore() = default;

AttendanceStore::Pending AttendanceStore::storeOneEmbedded(const LogRecord& record) {
    QVariant emplid;
    try {
        // An enroll number keeps the employee it had when the run first met it: a run is minutes
        // at most, and looking it up again for every record would cost as much as the write.
        const auto known = m_employees.constFind(record.EnrollNumber);
        if (known != m_employees.cend()) {
            emplid = *known;
        } else {
            if (!m_embedded->lookup) m_embedded->lookup.emplace(m_data, embeddedEmployeeLookupSql());
            emplid = m_embedded->lookup->run({embeddedEmployeeLookupValue(record.EnrollNumber)});
            m_employees.insert(record.EnrollNumber, emplid);
        }
    } catch (const std::exception&) {
        // As on the text path: a lookup that fails is the database failing, not the record.
        return {StoreResult::Unusable, false};
    }
    if (emplid.isNull()) return {StoreResult::UnknownPerson, false};
    const QString employee = emplid.toString();

    try {
        if (!m_group.isOpen()) {
            m_group.begin();
            // The rows of a group carry the moment it began as their OperDate: reading the clock
            // costs a time zone lookup, and the group commits within a second anyway.
            m_embedded->operDate = dateTimeText(m_clock.now());
        }
    } catch (const std::exception&) {
        return {StoreResult::Unusable, false};
    }
    Pending outcome{StoreResult::Refused, false};
    try {
        const bool server = m_data.dialect() == Dialect::Postgresql;
        if (!m_embedded->write)
            m_embedded->write.emplace(m_data,
                                      server ? serverAttendanceWriteSql() : embeddedAttendanceWriteSql());
        sql::PreparedStatement& write = *m_embedded->write;
        const auto values = embeddedAttendanceWriteValues(employee, record, m_embedded->operDate);
        const std::span<const QVariant> all(values);
        write.run(server ? all.first(kServerAttendanceWriteValues) : all);
        // The insert happened unless the test inside it found a row of that employee and minute.
        const QString key = rowKey(employee, record);
        if (write.changes() > 0) {
            outcome = {StoreResult::Stored, true};
            m_writtenInGroup.insert(key);
        } else {
            outcome = {StoreResult::Duplicate, m_writtenInGroup.contains(key)};
        }
    } catch (const DatabaseError& error) {
        // A failure of the database as a whole (busy past the time-out, read-only, the disk, the
        // connection) would meet the next record too; one of this record's statements would not.
        outcome.result = error.aboutTheDatabase() ? StoreResult::Unusable : StoreResult::Refused;
    } catch (const std::exception&) {
        outcome.result = StoreResult::Refused;
    }
    return outcome;
}

AttendanceStore::Pending AttendanceStore::storeOne(const LogRecord& record) {
    if (m_data.dialect() != Dialect::SqlServer) return storeOneEmbedded(record);
    try {
        openStatement(m_lookup, employeeLookupSql(record.EnrollNumber));
    } catch (const std::exception&) {
        // The lookup holds nothing of the record but a number: when it fails, the database
        // does. The lookup stays as the error left it; the next lookup closes it before use.
        return {StoreResult::Unusable, false};
    }
    const QVariant emplid = m_lookup.rowCount() > 0 ? m_lookup.field(u"emplid"_s) : QVariant();
    m_lookup.close();
    if (emplid.isNull()) return {StoreResult::UnknownPerson, false};
    const QString employee = emplid.toString();

    try {
        m_group.begin();
    } catch (const std::exception&) {
        return {StoreResult::Unusable, false};
    }
    Pending outcome{StoreResult::Refused, false};
    try {
        openStatement(m_write, duplicateTestSql(employee, record.RecordTime));
        const QString key = rowKey(employee, record);
        if (m_write.rowCount() > 0) {
            // A duplicate of a row of this very group is one only if the group commits.
            outcome = {StoreResult::Duplicate, m_writtenInGroup.contains(key)};
        } else {
            // The batch repeats the test before its insert; the row is written once the batch
            // completes without error, and stored once its group commits.
            openStatement(m_write, attendanceWriteSql(employee, record, m_clock.now()));
            outcome = {StoreResult::Stored, true};
            if (m_group.isOpen()) m_writtenInGroup.insert(key);
        }
    } catch (const DatabaseError& error) {
        // A failure of the database as a whole (busy past the time-out, read-only, the disk, the
        // connection) would meet the next record too; one of this record's statements would not.
        outcome.result = error.aboutTheDatabase() ? StoreResult::Unusable : StoreResult::Refused;
    } catch (const std::exception&) {
        outcome.result = StoreResult::Refused;
    }
    // The test's rows are not needed past this point.
    m_write.close();
    return outcome;
}

bool AttendanceStore::store(const LogRecord& record) {
    if (m_stopped || !settleIfDue()) {
        m_last = StoreResult::Unusable;
        m_counts.add(StoreResult::Unusable);
        return false;
    }
    Pending outcome = storeOne(record);
    outcome.enrollNumber = record.EnrollNumber;
    m_last = outcome.result;
    if (outcome.result == StoreResult::Unusable) {
        m_counts.add(StoreResult::Unusable);
        stop();
        return false;
    }
    m_pending.push_back(outcome);
    if (m_group.isOpen()) m_group.addMember();
    // A refused statement may have taken the whole transaction with it (a trigger's ROLLBACK):
    // the group commits at once, so a lost group shows as a failed commit instead of the records
    // after it running outside any group.
    if (outcome.result == StoreResult::Refused) return settle();
    return settleIfDue();
}

bool AttendanceStore::settleIfDue() {
    if (m_stopped) return false;
    if (m_pending.empty() && !m_group.isOpen()) return true;
    return m_group.isDue() ? settle() : true;
}

bool AttendanceStore::settle() {
    if (m_stopped) return false;
    try {
        m_group.commit();
    } catch (const std::exception&) {
        m_last = StoreResult::Unusable;
        stop();
        return false;
    }
    committed();
    return true;
}

void AttendanceStore::committed() {
    for (const Pending& p : m_pending) m_counts.add(p.result, p.enrollNumber);
    m_pending.clear();
    m_writtenInGroup.clear();
}

void AttendanceStore::waitEnded() {
    switch (m_group.waitEnded()) {
        case CommitGroup::DuringWait::Nothing:
            break;
        case CommitGroup::DuringWait::Committed:
            committed();
            break;
        case CommitGroup::DuringWait::Failed:
            // As a commit that fails before the wait: the group's records count as refused and
            // the run stops at its next step.
            m_last = StoreResult::Unusable;
            stop();
            break;
    }
}

void AttendanceStore::stop() {
    // None of the group's rows exist: what depended on them counts as refused by the database.
    m_group.rollback();
    for (const Pending& p : m_pending)
        m_counts.add(p.needsGroup ? StoreResult::Refused : p.result, p.enrollNumber);
    m_pending.clear();
    m_writtenInGroup.clear();
    m_stopped = true;
}

void StoreCounts::add(StoreResult result, std::int32_t enrollNumber) {
    switch (result) {
        case StoreResult::Stored:
            ++stored;
            break;
        case StoreResult::Duplicate:
            ++duplicates;
            break;
        case StoreResult::UnknownPerson:
            ++unknownPersons;
            if (std::find(unknownEnrollNumbers.begin(), unknownEnrollNumbers.end(), enrollNumber) ==
                unknownEnrollNumbers.end()) {
                if (unknownEnrollNumbers.size() < kNamedUnknownPersons)
                    unknownEnrollNumbers.push_back(enrollNumber);
                else
                    moreUnknownPersons = true;
            }
            break;
        case StoreResult::Refused:
        case StoreResult::Unusable:
            ++refused;
            break;
    }
}

StoreResult StoreLogRecord(DataModule& data, const Clock& clock, const LogRecord& record) {
    AttendanceStore store(data, clock);
    if (store.store(record)) store.settle();
    return store.lastResult();
}

}  // namespace orvelo
