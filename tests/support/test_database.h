#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "db/data_module.h"

namespace orvelo::test {

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
    // The same in the existing folder `appDir` (with or without the trailing separator), which
    // stays when the object goes; for a test that needs a folder of its own making.
    explicit TestDatabase(const QString& appDir);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const QString& appDir() const { return m_appDir; }  // ends with "/"
    QString databaseFile() const { return m_appDir + QStringLiteral("orvelo.db"); }
    QString dataDir() const { return m_appDir + QStringLiteral("data/"); }
    DataModule& data() { return *m_data; }

    // One plain SQLite statement on con_1 (not through qry_1..qry_5, whose state stays as it is).
    void exec(const QString& sql);
    // Every row of a plain SQLite query, keyed by column name.
    QList<QVariantMap> rows(const QString& sql);
    // The first column of the first row; null when there is no row.
    QVariant scalar(const QString& sql);
    int rowCount(const QString& table);

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
    std::unique_ptr<DataModule> m_data;
};

}  // namespace orvelo::test
