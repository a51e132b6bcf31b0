#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "access/connection.h"
#include "collection/collection_commands.h"
#include "context/command_context.h"
#include "core/datetime.h"
#include "tests/collection/qstring_printer.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/recording_operator_view.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

namespace orvelo::test {

inline DateTimeValue at(const QString& text) {
    const auto value = parseDateTimeText(text);
    EXPECT_TRUE(value.has_value()) << text.toStdString();
    return value.value_or(0);
}

// A second connection to the same file, as another process holds it.
class OtherWriter {
public:
    explicit OtherWriter(const QString& file)
        : m_name(QStringLiteral("other_writer_%1").arg(quintptr(this))) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
    }
    ~OtherWriter() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool exec(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql);
    }

private:
    QString m_name;
};

// One command context over a fresh application folder with an embedded database, the scripted
// terminal and the recording view, all writing into one call log. The clock stands at
// 2005-03-07 09:00:12, so a raw record file is data/FDataQ5050307090012.hv.
class CollectionTest : public ::testing::Test {
protected:
    CallLog log;
    RecordingOperatorView view{log};
    ConnectionSettings settings;
    ScriptedTerminalLibrary terminal{log};
    TestDatabase db;
    FixedClock clock = FixedClock::at(QStringLiteral("2005-03-07 09:00:12"));
    CommandContext ctx{view, {}, settings, terminal, db.data(), clock, db.appDir()};
    ConnectionPanelState& panel = ctx.panel;  // the panel as the test sets it

    QString rawFile() const { return db.appDir() + QStringLiteral("data/FDataQ5050307090012.hv"); }

    QByteArray contents(const QString& path) const {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll();
    }

    QStringList dataFiles() const {
        return QDir(db.appDir() + QStringLiteral("data")).entryList(QDir::Files, QDir::Name);
    }

    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
    }

    // The AtdRecord rows in insertion order, each as "EmplID|CardNo|RecDate|RecTime|IsAuto|EquNo|
    // InOutType|OperId|OperDate".
    QStringList atdRows() {
        QStringList out;
        for (const QVariantMap& r : db.rows(QStringLiteral(
                 "SELECT EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, OperDate "
                 "FROM AtdRecord ORDER BY rowid"))) {
            QStringList fields;
            for (const char* c : {"EmplID", "CardNo", "RecDate", "RecTime", "IsAuto", "EquNo", "InOutType",
                                  "OperId", "OperDate"})
                fields.append(r.value(QString::fromLatin1(c)).toString());
            out.append(fields.join(u'|'));
        }
        return out;
    }

    void addLog(std::int32_t enroll, std::int32_t mode, const QString& time) {
        terminal.logs.push_back({enroll, mode, at(time)});
    }
};

}  // namespace orvelo::test
