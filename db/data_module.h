#pragma once

#include <QAbstractTableModel>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace orvelo {

class DataModule;
class DataSource;

enum class Dialect { SqlServer, Sqlite, Postgresql };

// How far a group of record writes may grow before it is committed (db/commit_group.h): a
// download or an import commits when either bound is reached. A crash loses no record either way,
// since every record is in a raw record file or journal before it joins a group. Each commit
// writes every index page the group touched, and a group's records land all over the attendance
// index: groups of half a second (about 25,000 records at full speed) write each page far less
// often than groups of a few hundred, while another writer still waits well under a second.
struct CommitGroupLimits {
    int maxMembers = 25000;
    std::chrono::milliseconds maxAge{500};
};

// Where start-up connects the data module to.
struct DatabaseTarget {
    Dialect dialect = Dialect::Sqlite;
    QString odbcConnectionString;  // SqlServer: the QODBC connection string (FreeTDS driver)
    QString sqliteFile;            // Sqlite: the database file; created with the schema when missing
    int loginTimeoutSeconds = 10;  // SqlServer: an unreachable server fails within this time
    // Sqlite: how long a write waits for another process's write lock before it is refused.
    std::chrono::milliseconds sqliteBusyTimeout{5000};
    // Postgresql: what libpq connects to. The host is a name, an address or a socket folder (empty:
    // libpq's default, or the service's); port 0 is libpq's default; an empty role is libpq's
    // default too. The password is never here: libpq finds it in its own places (~/.pgpass,
    // PGPASSFILE, a service of PGSERVICE). An unreachable server fails within loginTimeoutSeconds.
    QString serverHost = {};
    int serverPort = 0;
    QString serverDatabase = {};
    QString serverUser = {};
};

// One query of the data module. The discipline of every user: close, clear the text, set the
// text (one addSql per line), open or execute. An opened query holds its whole result: the row
// count is exact at once and moving through the rows does not go back to the server.
class Query : public QObject {
    Q_OBJECT

public:
    Query(DataModule& module, const QString& name);
    ~Query() override;

    QString name() const { return m_name; }

    // Drops the result; the current row becomes -1.
    void close();
    // Empties the statement text and removes every parameter.
    void clearSql();
    // Appends one line to the statement text.
    void addSql(const QString& line);
    // The statement text: every line followed by CR LF.
    QString sql() const;

    // Binds a named parameter (":name" in the text, outside quoted literals; the name may be
    // non-ASCII, as :登记号码 is). A QString value is bound as long text.
    void setParameter(const QString& name, const QVariant& value);

    // Runs the text and fetches every row; throws DatabaseError with the driver's text. On SQL
    // Server every result of a batch is drained and the first error raised.
    void open();
    // Runs the text without keeping rows; throws DatabaseError.
    void execSql();

    bool isOpen() const { return m_open; }
    int rowCount() const;
    int columnCount() const;
    const QStringList& columnNames() const { return m_columns; }
    int columnIndex(const QString& column) const;  // -1 when there is no such column
    QVariant value(int row, int column) const;
    // Throws DatabaseError when the column does not exist.
    QVariant value(int row, const QString& column) const;

    // The cursor: -1 when closed or empty, 0 after an open that gave rows.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);
    // The value of `column` in the current row (null when there is none); throws DatabaseError
    // when the column does not exist.
    QVariant field(const QString& column) const;

    // Reorders the held rows in memory (the active list's title sorting); stable; keeps the
    // current row on the same record.
    void sortRows(const std::vector<std::pair<int, Qt::SortOrder>>& keys);

    // Master/detail: each parameter named after a column of the master's query takes that
    // column's value in the master's current row; the query re-opens whenever the master's
    // current row changes or the master re-opens. A closed or empty master gives an open
    // detail without rows. nullptr ends the link.
    void setMasterSource(DataSource* master);
    DataSource* masterSource() const { return m_master; }

signals:
    void aboutToReset();
    void reset();  // opened, closed, or rows reordered
    void currentRowChanged(int row);

private:
    void refreshFromMaster();

    DataModule& m_module;
    QString m_name;
    QStringList m_lines;
    std::vector<std::pair<QString, QVariant>> m_parameters;
    bool m_open = false;
    QStringList m_columns;
    std::vector<std::vector<QVariant>> m_rows;
    int m_currentRow = -1;
    DataSource* m_master = nullptr;
    QMetaObject::Connection m_masterReset;
    QMetaObject::Connection m_masterRow;
};

// A data source: the table model over a query that a grid shows. Dates show as yyyy-mm-dd and
// date-times as the date-time text, whatever the driver returns; NULL shows empty.
class DataSource : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DataSource(Query& query, QObject* parent = nullptr);
    Query& query() const { return m_query; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text a cell shows (also what the column fitting measures and orveloctl prints).
    static QString displayText(const QVariant& value);

private:
    Query& m_query;
};

namespace sql {
class StatementCache;
class BusyWait;
}  // namespace sql

// dtmdl_1: the one connection con_1 and the queries and data sources that live with it.
class DataModule {
public:
    DataModule();
    ~DataModule();
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;

    // Opens con_1; throws DatabaseError. A missing SQLite file is created with the schema and
    // the code-table rows.
    void openConnection(const DatabaseTarget& target);
    bool isConnected() const;
    Dialect dialect() const { return m_dialect; }
    // What openConnection was last given (nothing before): a second connection to the same
    // database, as the window's command thread opens, is made from it.
    const std::optional<DatabaseTarget>& target() const { return m_target; }
    // The embedded connection's SQLite handle when SQLite's C interface may be called on it (Qt's
    // driver uses the library this program links, db/sqlite_handle.h); null otherwise. Looked up
    // once, when the connection opens.
    sqlite3* nativeSqliteHandle() const { return m_nativeHandle; }
    QSqlDatabase connection() const;

    // The embedded SQLite schema with the code-table rows (statements separated by ';').
    static QString sqliteSchema();
    // The same tables, code rows and schema version row for a PostgreSQL database, with the unique
    // index that keeps an attendance row of one employee, day and minute from being written twice.
    static QString postgresqlSchema();
    // The schema version that postgresqlSchema() creates and this program works with.
    static constexpr int kPostgresqlSchemaVersion = 1;

    // The bounds of the write groups of downloads and imports on the embedded database; a setting
    // of the connection, which tests and benchmarks change.
    const CommitGroupLimits& commitGroupLimits() const { return m_commitGroupLimits; }
    void setCommitGroupLimits(const CommitGroupLimits& limits) { m_commitGroupLimits = limits; }
    // When the last write group of this connection committed (db/commit_group.h): the next one
    // begins a few milliseconds later at the earliest, so a waiting writer gets its turn. Kept here
    // because it belongs to the connection, not to one group or one run.
    std::chrono::steady_clock::time_point lastGroupCommit() const { return m_lastGroupCommit; }
    void noteGroupCommit(std::chrono::steady_clock::time_point at) { m_lastGroupCommit = at; }

    Query qry_1;
    Query qry_2;
    Query qry_3;
    Query qry_4;
    Query qry_5;
    DataSource ds_3;
    DataSource ds_4;
    DataSource ds_5;

private:
    void openSqlServer(const DatabaseTarget& target);
    void openSqlite(const DatabaseTarget& target);
    void openPostgresql(const DatabaseTarget& target);
    void closeConnection();

    friend class Query;

    QString m_connectionName;
    std::optional<DatabaseTarget> m_target;
    Dialect m_dialect = Dialect::Sqlite;
    // Released with the connection: closeConnection empties it before the connection goes.
    std::unique_ptr<sql::StatementCache> m_statements;
    // The embedded connection's busy handler; released after the connection closes.
    std::unique_ptr<sql::BusyWait> m_busyWait;
    sqlite3* m_nativeHandle = nullptr;
    CommitGroupLimits m_commitGroupLimits;
    std::chrono::steady_clock::time_point m_lastGroupCommit{};
};

// RAII transaction on con_1: begun on construction, rolled back on destruction unless committed.
class Transaction {
public:
    explicit Transaction(DataModule& module);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();  // throws DatabaseError

private:
    DataModule& m_module;
    bool m_done = false;
};

}  // namespace orvelo
