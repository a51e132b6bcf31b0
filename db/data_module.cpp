#include "db/data_module.h"

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <algorithm>
#include <numeric>

#include "core/errors.h"
#include "core/file_io.h"
#include "db/database_error.h"
#include "db/dialect.h"
#include "db/sqlite_handle.h"

// The schema lives in the resource of this static library; the initialiser must be pulled in
// by name, outside any namespace.
static void initSchemaResource() {
    Q_INIT_RESOURCE(orvelo_db_schema);
}

namespace orvelo {

namespace {

void exec(QSqlDatabase& db, const QString& statement, Dialect dialect = Dialect::Sqlite) {
    QSqlQuery query(db);
    if (!query.exec(statement)) throw sql::databaseError(query.lastError(), dialect);
}

QString schemaResource(const QString& name) {
    initSchemaResource();
    QFile file(u":/orvelo/db/schema/" + name);
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("The embedded schema is missing"), DatabaseErrorKind::Other);
    return QString::fromUtf8(file.readAll());
}

void removeSqliteFiles(const QString& file) {
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(file + suffix);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Query

Query::Query(DataModule& module, const QString& name) : m_module(module), m_name(name) {}

Query::~Query() = default;

void Query::close() {
    if (!m_open && m_columns.isEmpty() && m_rows.empty()) return;
    emit aboutToReset();
    m_open = false;
    m_columns.clear();
    m_rows.clear();
    const bool moved = m_currentRow != -1;
    m_currentRow = -1;
    emit reset();
    if (moved) emit currentRowChanged(-1);
}

void Query::clearSql() {
    m_lines.clear();
    m_parameters.clear();
}

void Query::addSql(const QString& line) {
    m_lines.append(line);
}

QString Query::sql() const {
    QString text;
    for (const QString& line : m_lines) text += line + u"\r\n";
    return text;
}

void Query::setParameter(const QString& name, const QVariant& value) {
    for (auto& [n, v] : m_parameters) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    }
    m_parameters.emplace_back(name, value);
}

namespace {

// A parameter named after a column of the master takes the master's current value; every other
// one its bound value; one without either is NULL.
QVariant parameterValue(const QString& name, const std::vector<std::pair<QString, QVariant>>& bound,
                        const DataSource* master) {
    if (master) {
        const Query& m = master->query();
        const int column = m.columnIndex(name);
        if (column >= 0) return m.currentRow() >= 0 ? m.value(m.currentRow(), column) : QVariant();
        // A closed master has no columns: the detail must come out empty, not bound to stale values.
        if (!m.isOpen() || m.rowCount() == 0) return QVariant();
    }
    for (const auto& [n, v] : bound) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) return v;
    }
    return QVariant();
}

}  // namespace

void Query::open() {
    close();
    QSqlDatabase db = m_module.connection();
    const DataSource* master = m_master;
    const auto lookup = [this, master](const QString& name) {
        return parameterValue(name, m_parameters, master);
    };
    sql::ResultSet result =
        sql::runBatch(db, m_module.dialect(), sql(), lookup, true, m_module.m_statements.get());
    emit aboutToReset();
    m_columns = result.columns;
    m_rows = std::move(result.rows);
    m_open = true;
    m_currentRow = m_rows.empty() ? -1 : 0;
    emit reset();
    if (m_currentRow != -1) emit currentRowChanged(m_currentRow);
}

void Query::execSql() {
    close();
    QSqlDatabase db = m_module.connection();
    const DataSource* master = m_master;
    const auto lookup = [this, master](const QString& name) {
        return parameterValue(name, m_parameters, master);
    };
    sql::runBatch(db, m_module.dialect(), sql(), lookup, false, m_module.m_statements.get());
}

int Query::rowCount() const {
    return static_cast<int>(m_rows.size());
}

int Query::columnCount() const {
    return static_cast<int>(m_columns.size());
}

int Query::columnIndex(const QString& column) const {
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

QVariant Query::value(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return {};
    return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

QVariant Query::value(int row, const QString& column) const {
    const int index = columnIndex(column);
    if (index < 0)
        throw DatabaseError(m_name + u": Field '" + column + u"' not found", DatabaseErrorKind::Other);
    return value(row, index);
}

void Query::setCurrentRow(int row) {
    if (m_rows.empty())
        row = -1;
    else
        row = std::clamp(row, 0, rowCount() - 1);
    if (row == m_currentRow) return;
    m_currentRow = row;
    emit currentRowChanged(row);
}

QVariant Query::field(const QString& column) const {
    return value(m_currentRow, column);
}

void Query::sortRows(const std::vector<std::pair<int, Qt::SortOrder>>& keys) {
    if (keys.empty() || m_rows.size() < 2) return;
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    const auto less = [&](int a, int b) {
        for (const auto& [column, direction] : keys) {
            if (column < 0 || column >= columnCount()) continue;
            const auto at = static_cast<std::size_t>(column);
            const QVariant& x = m_rows[static_cast<std::size_t>(a)][at];
            const QVariant& y = m_rows[static_cast<std::size_t>(b)][at];
            // NULL sorts first, as the servers do.
            if (x.isNull() != y.isNull()) return direction == Qt::AscendingOrder ? x.isNull() : y.isNull();
            if (x.isNull()) continue;
            const auto c = QVariant::compare(x, y);
            if (c == QPartialOrdering::Equivalent || c == QPartialOrdering::Unordered) continue;
            return direction == Qt::AscendingOrder ? c == QPartialOrdering::Less
                                                   : c == QPartialOrdering::Greater;
        }
        return false;
    };
    std::stable_sort(order.begin(), order.end(), less);
    emit aboutToReset();
    std::vector<std::vector<QVariant>> sorted;
    sorted.reserve(m_rows.size());
    int current = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(m_rows[static_cast<std::size_t>(order[i])]));
        if (order[i] == m_currentRow) current = static_cast<int>(i);
    }
    m_rows = std::move(sorted);
    const bool moved = current != m_currentRow;
    m_currentRow = current;
    emit reset();
    if (moved) emit currentRowChanged(m_currentRow);
}

void Query::setMasterSource(DataSource* master) {
    if (master == m_master) return;
    disconnect(m_masterReset);
    disconnect(m_masterRow);
    m_master = master;
    if (master) {
        Query* masterQuery = &master->query();
        m_masterReset = connect(masterQuery, &Query::reset, this, [this] { refreshFromMaster(); });
        m_masterRow = connect(masterQuery, &Query::currentRowChanged, this, [this] { refreshFromMaster(); });
    }
    refreshFromMaster();
}

void Query::refreshFromMaster() {
    // Only an open detail follows its master; a closed one takes the master's values when it opens.
    if (!m_open) return;
    open();
}

// ---------------------------------------------------------------------------------------------
// DataSource

DataSource::DataSource(Query& query, QObject* parent) : QAbstractTableModel(parent), m_query(query) {
    connect(&query, &Query::aboutToReset, this, [this] { beginResetModel(); });
    connect(&query, &Query::reset, this, [this] { endResetModel(); });
}

int DataSource::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_query.rowCount();
}

int DataSource::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_query.columnCount();
}

namespace {

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Short:
        case QMetaType::UShort:
            return true;
        default:
            return false;
    }
}

}  // namespace

QVariant DataSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const QVariant value = m_query.value(index.row(), index.column());
    switch (role) {
        case Qt::DisplayRole:
            return displayText(value);
        case Qt::EditRole:
            return value;
        case Qt::TextAlignmentRole:
            return isNumber(value) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant DataSource::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section < 0 || section >= m_query.columnCount()) return {};
        return m_query.columnNames().at(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString DataSource::displayText(const QVariant& value) {
    if (value.isNull() || !value.isValid()) return {};
    switch (value.typeId()) {
        case QMetaType::QDate:
            return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::QDateTime: {
            const QDateTime dt = value.toDateTime();
            // A date column read as a date-time shows as a date, as the grids always showed it.
            if (dt.time() == QTime(0, 0)) return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
            return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
        case QMetaType::QTime:
            return value.toTime().toString(QStringLiteral("HH:mm:ss"));
        case QMetaType::Double:
        case QMetaType::Float:
            return QString::number(value.toDouble(), 'g', 15);
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return value.toString();
    }
}

// ---------------------------------------------------------------------------------------------
// DataModule

DataModule::DataModule()
    : qry_1(*this, QStringLiteral("qry_1")),
      qry_2(*this, QStringLiteral("qry_2")),
      qry_3(*this, QStringLiteral("qry_3")),
      qry_4(*this, QStringLiteral("qry_4")),
      qry_5(*this, QStringLiteral("qry_5")),
      ds_3(qry_3),
      ds_4(qry_4),
      ds_5(qry_5),
      m_statements(std::make_unique<sql::StatementCache>()) {
    static QAtomicInt serial;
    m_connectionName = QStringLiteral("orvelo_con_1_%1").arg(serial.fetchAndAddRelaxed(1));
    qry_5.setMasterSource(&ds_3);
}

DataModule::~DataModule() {
    // The detail is closed before it leaves its master and before the master closes: an open
    // detail would run its statement again on either, and a failure there (a server gone away)
    // could not leave a destructor.
    qry_5.close();
    qry_5.setMasterSource(nullptr);
    for (Query* q : {&qry_1, &qry_2, &qry_3, &qry_4}) q->close();
    closeConnection();
}

void DataModule::closeConnection() {
    if (!QSqlDatabase::contains(m_connectionName)) return;
    m_statements->clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_nativeHandle = nullptr;
    m_busyWait.reset();
}

void DataModule::openConnection(const DatabaseTarget& target) {
    for (Query* q : {&qry_1, &qry_2, &qry_3, &qry_4, &qry_5}) q->close();
    closeConnection();
    m_target = target;
    m_dialect = target.dialect;
    switch (target.dialect) {
        case Dialect::SqlServer:
            openSqlServer(target);
            break;
        case Dialect::Sqlite:
            openSqlite(target);
            break;
        case Dialect::Postgresql:
            openPostgresql(target);
            break;
    }
}

void DataModule::openSqlServer(const DatabaseTarget& target) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_connectionName);
    db.setDatabaseName(target.odbcConnectionString);
    // Without a login time-out the driver waits for ever on a server that accepts the connection
    // but never answers.
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(target.loginTimeoutSeconds));
    if (!db.open()) {
        const DatabaseError error = sql::databaseError(db.lastError(), Dialect::SqlServer);
        db = QSqlDatabase();
        closeConnection();
        throw error;
    }
}

void DataModule::openSqlite(const DatabaseTarget& target) {
    const QString file = target.sqliteFile;
    // An empty file (made by hand, or left by a copy that failed) holds no database: SQLite
    // would open it as one without tables and every later start would fail on the lists. It is
    // made like a missing one, unless a write-ahead log beside it still holds the database.
    const QFileInfo info(file);
    const bool emptyFile =
        info.isFile() && info.size() == 0 && QFileInfo(file + QStringLiteral("-wal")).size() == 0;
    const bool creating = !info.exists() || emptyFile;
    // SQLite makes a new database file 0644 whatever the umask, and gives its -wal and -shm the
    // database file's mode: made here first, all of them are as writable as the umask allows.
    createFileForGroup(file);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(file);
    // Another process (orveloctl beside the window) may hold the write lock for a moment. Qt's
    // option sets SQLite's own busy handler; BusyWait replaces it where it can (sqlite_handle.h).
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(target.sqliteBusyTimeout.count()));
    try {
        if (!db.open()) throw sql::databaseError(db.lastError(), Dialect::Sqlite);
        m_nativeHandle = sql::sameLibrarySqliteHandle(db);
        if (m_nativeHandle) {
            m_busyWait = std::make_unique<sql::BusyWait>(target.sqliteBusyTimeout);
            m_busyWait->install(m_nativeHandle);
        }
        // Single records (a live punch, an edit) still commit on their own: WAL with NORMAL sync
        // keeps that cheap and safe.
        exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Checkpointing the WAL (each time two fsyncs) every 10,000 pages instead of every 1,000
        // keeps a download's commits from waiting on the disk.
        exec(db, QStringLiteral("PRAGMA wal_autocheckpoint=10000"));
        // Up to 64 MB of page cache instead of 2: a download's duplicate tests and inserts touch
        // the attendance index all over, and with a small cache the pages of one commit group
        // are written out and read back several times before it commits.
        exec(db, QStringLiteral("PRAGMA cache_size=-65536"));
        if (creating) {
            if (!db.transaction()) throw sql::databaseError(db.lastError(), Dialect::Sqlite);
            try {
                sql::runScript(db, sqliteSchema(), Dialect::Sqlite);
            } catch (...) {
                db.rollback();
                throw;
            }
            if (!db.commit()) throw sql::databaseError(db.lastError(), Dialect::Sqlite);
        }
    } catch (...) {
        db = QSqlDatabase();
        closeConnection();
        // A half-made database would be taken for a good one at the next start.
        if (creating) removeSqliteFiles(file);
        throw;
    }
}

void DataModule::openPostgresql(const DatabaseTarget& target) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (!target.serverHost.isEmpty()) db.setHostName(target.serverHost);
    if (target.serverPort > 0) db.setPort(target.serverPort);
    db.setDatabaseName(target.serverDatabase);
    if (!target.serverUser.isEmpty()) db.setUserName(target.serverUser);
    // Without a time-out libpq waits for as long as the operating system lets a connection hang.
    db.setConnectOptions(
        QStringLiteral("connect_timeout=%1;application_name=orvelo").arg(target.loginTimeoutSeconds));
    try {
        if (!db.open()) throw sql::databaseError(db.lastError(), Dialect::Postgresql);
        // Several PCs may start on the same empty database at once: the first one to take the lock
        // creates the schema, the others wait for it and find it there.
        if (!db.transaction()) throw sql::databaseError(db.lastError(), Dialect::Postgresql);
        try {
            exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(7307281)"), Dialect::Postgresql);
            QSqlQuery look(db);
            if (!look.exec(QStringLiteral("SELECT to_regclass('orvelo_schema') IS NULL, "
                                          "to_regclass('hremployee') IS NULL")) ||
                !look.next())
                throw sql::databaseError(look.lastError(), Dialect::Postgresql);
            const bool noVersion = look.value(0).toBool();
            const bool noTables = look.value(1).toBool();
            look.finish();
            if (noVersion && noTables) {
                sql::runScript(db, postgresqlSchema(), Dialect::Postgresql);
            } else if (!noVersion) {
                QSqlQuery version(db);
                if (!version.exec(QStringLiteral("SELECT max(version) FROM orvelo_schema")) ||
                    !version.next())
                    throw sql::databaseError(version.lastError(), Dialect::Postgresql);
                // A later program's schema may mean what this one does not know: better no start.
                if (version.value(0).toInt() > kPostgresqlSchemaVersion)
                    throw DatabaseError(QStringLiteral("The database's schema version %1 is newer than this "
                                                       "program's (%2)")
                                            .arg(version.value(0).toInt())
                                            .arg(kPostgresqlSchemaVersion),
                                        DatabaseErrorKind::Other);
            }
            // Tables without our version row belong to a database made by hand or by the larger
            // system: they are used as they are.
        } catch (...) {
            db.rollback();
            throw;
        }
        if (!db.commit()) throw sql::databaseError(db.lastError(), Dialect::Postgresql);
    } catch (...) {
        db = QSqlDatabase();
        closeConnection();
        throw;
    }
}

QString DataModule::sqliteSchema() {
    return schemaResource(QStringLiteral("sqlite.sql"));
}

QString DataModule::postgresqlSchema() {
    return schemaResource(QStringLiteral("postgresql.sql"));
}

bool DataModule::isConnected() const {
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase DataModule::connection() const {
    return QSqlDatabase::database(m_connectionName, false);
}

// ---------------------------------------------------------------------------------------------
// Transaction

Transaction::Transaction(DataModule& module) : m_module(module) {
    QSqlDatabase db = m_module.connection();
    if (!db.transaction()) throw sql::databaseError(db.lastError(), m_module.dialect());
}

Transaction::~Transaction() {
    if (m_done) return;
    QSqlDatabase db = m_module.connection();
    db.rollback();
}

void Transaction::commit() {
    QSqlDatabase db = m_module.connection();
    m_done = true;
    if (!db.commit()) {
        const DatabaseError error = sql::databaseError(db.lastError(), m_module.dialect());
        db.rollback();
        throw error;
    }
}

}  // namespace orvelo
