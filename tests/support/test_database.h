#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <string>

#include "db/data_module.h"
#include "tests/support/postgresql_server.h"

namespace orvelo::test {

// Which database a test's application folder uses: the embedded file, or a database of its own on
// the run's PostgreSQL server. Tests of stores and reads run on both (one parameter).
enum class TestProvider { Embedded, Postgresql };
inline const TestProvider kTestProviders[] = {TestProvider::Embedded, TestProvider::Postgresql};
// "Embedded" or "Postgresql", for the names of parametrised tests.
inline std::string testProviderName(TestProvider provider) {
    return provider == TestProvider::Embedded ? "Embedded" : "Postgresql";
}

struct TestEmployee {
    QString emplid;
    QString cardid;
    QString name;
    QString deptid = QStringLiteral("01");
    int sex = 0;
    QString entrydate = QStringLiteral("2020-01-01");
    QString leavedate;  // empty: active (NULL); set: departed
    QString workid;
};

// A fresh application folder in a temporary directory: hv.ini naming the embedded database
// "orvelo.db" (provider sqlite), the folder data/, and a DataModule opened on it with the
// schema and the code rows. Everything is removed with the object. Helpers throw DatabaseError
// on a statement that fails, so a test using them fails with the database's text.
class TestDatabase {
public:
    TestDatabase();
    // On the provider given; on PostgreSQL an empty database of its own on the run's server (the
    // schema is made by the start-up, as on the embedded file), dropped with the object. Throws
    // when the run has no server: a test skips first (ORVELO_NEEDS_PROVIDER).
    explicit TestDatabase(TestProvider provider);
    // The same in the existing folder `appDir` (with or without the trailing separator), which
    // stays when the object goes; for a test that needs a folder of its own making.
    explicit TestDatabase(const QString& appDir, TestProvider provider = TestProvider::Embedded);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const QString& appDir() const { return m_appDir; }  // ends with "/"
    QString databaseFile() const { return m_appDir + QStringLiteral("orvelo.db"); }
    QString dataDir() const { return m_appDir + QStringLiteral("data/"); }
    DataModule& data() { return *m_data; }
    TestProvider provider() const { return m_provider; }
    // The hv.ini lines of section [database] that reach this database, for another application
    // folder (another PC) using the same database.
    QByteArray databaseSection() const { return m_section; }

    // One plain statement on con_1 (not through qry_1..qry_5, whose state stays as it is).
    void exec(const QString& sql);
    // Every row of a plain query, keyed by column name (PostgreSQL gives the names in lower case).
    QList<QVariantMap> rows(const QString& sql);
    // The first column of the first row; null when there is no row.
    QVariant scalar(const QString& sql);
    int rowCount(const QString& table);
    // scalar() on a connection opened for it from hv.ini and closed after: for a test whose server
    // may have ended data()'s connection (a restart).
    QVariant scalarOnANewConnection(const QString& sql) const;

    void addDepartment(const QString& deptid, const QString& deptname, const QString& deptno = {});
    void addEmployee(const TestEmployee& employee);
    void addActiveEmployee(const QString& emplid, const QString& cardid, const QString& name,
                           const QString& deptid = QStringLiteral("01"));
    void addDepartedEmployee(const QString& emplid, const QString& cardid, const QString& name,
                             const QString& leavedate = QStringLiteral("2023-06-30"),
                             const QString& deptid = QStringLiteral("01"));
    void addEnrollment(const QString& emplid, const QString& cardno, int backupid, int privilege = 0,
                       const QString& pws = QStringLiteral("0"), const QString& fingerdata = {});

private:
    std::optional<QTemporaryDir> m_dir;  // the folder when the object made it
    QString m_appDir;
    TestProvider m_provider;
    QByteArray m_section;
    std::optional<ScratchPostgresqlDatabase> m_scratch;  // goes after the connection closes
    std::unique_ptr<DataModule> m_data;
};

}  // namespace orvelo::test

// Skips a test on PostgreSQL when the run has no server (a test binary started by hand).
#define ORVELO_NEEDS_PROVIDER(provider)                                                                \
    if ((provider) == ::orvelo::test::TestProvider::Postgresql && !::orvelo::test::postgresqlServer()) \
    GTEST_SKIP() << "no PostgreSQL test server running"
