#include "tests/support/test_database.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "core/errors.h"
#include "db/startup.h"

namespace orvelo::test {

namespace {

QSqlQuery run(DataModule& data, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(data.connection());
    bool ok = false;
    if (values.isEmpty()) {
        ok = query.exec(sql);
    } else if (query.prepare(sql)) {
        for (const QVariant& v : values) query.addBindValue(v);
        ok = query.exec();
    }
    if (!ok) throw DatabaseError(query.lastError().text() + u" in: " + sql);
    return query;
}

// PostgreSQL gives unquoted names in lower case: the schema's own spellings of each column (EmplID
// of hremployee, emplid of equfinger ...), so that a test reads a row by the same key on both
// databases.
QStringList schemaSpellings(const QString& name) {
    static const QHash<QString, QStringList> spellings = [] {
        QHash<QString, QStringList> map;
        static const QRegularExpression column(QStringLiteral("^\\s+(\\w+)\\s+(TEXT|INTEGER)"),
                                               QRegularExpression::MultilineOption);
        auto it = column.globalMatch(DataModule::sqliteSchema());
        while (it.hasNext()) {
            const QString spelled = it.next().captured(1);
            QStringList& known = map[spelled.toLower()];
            if (!known.contains(spelled)) known.append(spelled);
        }
        return map;
    }();
    return spellings.value(name, {name});
}

}  // namespace

TestDatabase::TestDatabase() : TestDatabase(QString()) {}

TestDatabase::TestDatabase(TestProvider provider) : TestDatabase(QString(), provider) {}

TestDatabase::TestDatabase(const QString& appDir, TestProvider provider) : m_provider(provider) {
    if (appDir.isEmpty()) {
        m_dir.emplace();
        if (!m_dir->isValid()) throw FileError(QStringLiteral("no temporary folder"));
        m_appDir = m_dir->path() + u'/';
    } else {
        m_appDir = appDir.endsWith(u'/') ? appDir : appDir + u'/';
    }
    QDir(m_appDir).mkpath(QStringLiteral("data"));
    if (provider == TestProvider::Postgresql) {
        const auto server = postgresqlServer();
        if (!server) throw DatabaseError(QStringLiteral("no PostgreSQL test server"));
        m_scratch.emplace(*server);
        m_section = "[database]\r\nprovider=postgresql\r\nserver name=" + server->serverName().toUtf8() +
                    "\r\ndatabase name=" + m_scratch->name().toUtf8() +
                    "\r\nuser name=" + server->user.toUtf8() + "\r\n";
    } else {
        m_section = "[database]\r\nprovider=sqlite\r\ndatabase name=orvelo.db\r\n";
    }
    QFile ini(m_appDir + QStringLiteral("hv.ini"));
    if (!ini.open(QIODevice::WriteOnly)) throw FileError(QStringLiteral("cannot write hv.ini"));
    ini.write(m_section);
    ini.close();
    const auto target = databaseTargetAtStartup(m_appDir);
    if (!target) throw DatabaseError(QStringLiteral("hv.ini of the test folder names no database"));
    m_data = std::make_unique<DataModule>();
    m_data->openConnection(*target);
}

TestDatabase::~TestDatabase() = default;

void TestDatabase::exec(const QString& sql) {
    run(*m_data, sql);
}

QList<QVariantMap> TestDatabase::rows(const QString& sql) {
    QSqlQuery query = run(*m_data, sql);
    QList<QVariantMap> result;
    while (query.next()) {
        const QSqlRecord record = query.record();
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            if (m_provider != TestProvider::Postgresql) {
                row.insert(name, record.value(i));
                continue;
            }
            for (const QString& spelled : schemaSpellings(name)) row.insert(spelled, record.value(i));
        }
        result.append(row);
    }
    return result;
}

QVariant TestDatabase::scalar(const QString& sql) {
    QSqlQuery query = run(*m_data, sql);
    return query.next() ? query.value(0) : QVariant();
}

QVariant TestDatabase::scalarOnANewConnection(const QString& sql) const {
    const auto target = databaseTargetAtStartup(m_appDir);
    if (!target) throw DatabaseError(QStringLiteral("hv.ini of the test folder names no database"));
    DataModule data;
    data.openConnection(*target);
    QSqlQuery query = run(data, sql);
    return query.next() ? query.value(0) : QVariant();
}

int TestDatabase::rowCount(const QString& table) {
    return scalar(QStringLiteral("select count(*) from ") + table).toInt();
}

void TestDatabase::addDepartment(const QString& deptid, const QString& deptname, const QString& deptno) {
    run(*m_data, QStringLiteral("insert into hrdept (deptid, deptno, deptname) values (?, ?, ?)"),
        {deptid, deptno.isNull() ? deptid : deptno, deptname});
}

void TestDatabase::addEmployee(const TestEmployee& e) {
    run(*m_data,
        QStringLiteral(
            "insert into hremployee (EmplID, workid, Cardid, deptid, emplname, sex, married, identityid,"
            " password, teamid, shiftid, weekendid, entrydate, leaveyn, leavedate, remark, lastoperid,"
            " lastoperdate) values (?, ?, ?, ?, ?, ?, 0, '', '', '', '', '', ?, ?, ?, '', 'sa',"
            " '2020-01-01 00:00:00')"),
        {e.emplid, e.workid.isNull() ? e.emplid : e.workid, e.cardid, e.deptid, e.name, e.sex, e.entrydate,
         e.leavedate.isEmpty() ? 0 : 1,
         e.leavedate.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(e.leavedate)});
}

void TestDatabase::addActiveEmployee(const QString& emplid, const QString& cardid, const QString& name,
                                     const QString& deptid) {
    TestEmployee e;
    e.emplid = emplid;
    e.cardid = cardid;
    e.name = name;
    e.deptid = deptid;
    addEmployee(e);
}

void TestDatabase::addDepartedEmployee(const QString& emplid, const QString& cardid, const QString& name,
                                       const QString& leavedate, const QString& deptid) {
    TestEmployee e;
    e.emplid = emplid;
    e.cardid = cardid;
    e.name = name;
    e.deptid = deptid;
    e.leavedate = leavedate;
    addEmployee(e);
}

void TestDatabase::addEnrollment(const QString& emplid, const QString& cardno, int backupid, int privilege,
                                 const QString& pws, const QString& fingerdata) {
    run(*m_data,
        QStringLiteral("insert into equfinger (emplid, cardno, backupid, privilege, pws, fingerdata)"
                       " values (?, ?, ?, ?, ?, ?)"),
        {emplid, cardno, backupid, privilege, pws, fingerdata});
}

}  // namespace orvelo::test
