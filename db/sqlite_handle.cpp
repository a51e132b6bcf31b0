#include "db/sqlite_handle.h"

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>
#include <thread>

namespace orvelo::sql {

sqlite3* sameLibrarySqliteHandle(const QSqlDatabase& db) {
    if (!db.isOpen() || !db.driver()) return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
    // The same library answers with the same source id; a copy of SQLite built into Qt's driver
    // would not be safe to hand its handle to, whatever its version.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT sqlite_source_id()")) || !query.next()) return nullptr;
    if (query.value(0).toString() != QString::fromUtf8(sqlite3_sourceid())) return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

void BusyWait::install(sqlite3* handle) {
    sqlite3_busy_handler(handle, &BusyWait::onBusy, this);
}

int BusyWait::onBusy(void* self, int tries) {
    auto& wait = *static_cast<BusyWait*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (tries == 0) wait.m_firstTry = now;
    if (now - wait.m_firstTry >= wait.m_limit) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

}  // namespace orvelo::sql
