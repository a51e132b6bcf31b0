#include "db/commit_group.h"

#include <QSqlError>
#include <QSqlQuery>
#include <thread>

#include "db/database_error.h"

namespace orvelo {

CommitGroup::CommitGroup(DataModule& data)
    : m_data(data),
      m_db(data.connection()),
      m_limits(data.commitGroupLimits()),
      m_grouping(data.dialect() == Dialect::Sqlite) {}

CommitGroup::~CommitGroup() {
    rollback();
}

void CommitGroup::begin() {
    if (m_open || !m_grouping) return;
    const auto sinceLastCommit = std::chrono::steady_clock::now() - m_data.lastGroupCommit();
    if (sinceLastCommit < kHandOver) std::this_thread::sleep_for(kHandOver - sinceLastCommit);
    // IMMEDIATE takes the write lock now, before the group's first duplicate test: a second
    // writer waits here (busy time-out) instead of testing between our test and our insert.
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw sql::databaseError(query.lastError(), Dialect::Sqlite);
    m_open = true;
    m_members = 0;
    m_age.start();
}

bool CommitGroup::isDue() const {
    if (!m_grouping) return true;
    if (!m_open) return false;
    return m_members >= m_limits.maxMembers ||
           std::chrono::nanoseconds(m_age.nsecsElapsed()) >= m_limits.maxAge;
}

void CommitGroup::commit() {
    if (!m_open) return;
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("COMMIT"))) {
        m_data.noteGroupCommit(std::chrono::steady_clock::now());
        m_open = false;
        m_members = 0;
        return;
    }
    // A failed COMMIT may leave the transaction open (a deferred constraint) or may already have
    // lost it (an I/O error): either way none of the group may stay behind half-done.
    const DatabaseError error = sql::databaseError(query.lastError(), Dialect::Sqlite);
    rollback();
    throw error;
}

void CommitGroup::rollback() {
    if (!m_open) return;
    m_open = false;
    m_members = 0;
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK"));
}

}  // namespace orvelo
