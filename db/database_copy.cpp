#include "db/database_copy.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <map>
#include <memory>

#include "core/errors.h"
#include "db/database_error.h"

namespace orvelo {

namespace {

using namespace Qt::StringLiterals;

struct Column {
    QString name;
    bool integer = false;
};

struct TableShape {
    QString name;
    std::vector<Column> columns;
    std::vector<QString> key;  // the columns that tell a row already there
};

// The tables in the order of the schema, with the columns both schemas give them.
const std::vector<TableShape>& tables() {
    static const std::vector<TableShape> shapes = {
        {u"hrdept"_s, {{u"deptid"_s}, {u"deptno"_s}, {u"deptname"_s}}, {u"deptid"_s}},
        {u"hremployee"_s,
         {{u"EmplID"_s},
          {u"workid"_s},
          {u"Cardid"_s},
          {u"deptid"_s},
          {u"emplname"_s},
          {u"sex"_s, true},
          {u"married"_s, true},
          {u"identityid"_s},
          {u"password"_s},
          {u"teamid"_s},
          {u"shiftid"_s},
          {u"weekendid"_s},
          {u"entrydate"_s},
          {u"leaveyn"_s, true},
          {u"leavedate"_s},
          {u"remark"_s},
          {u"lastoperid"_s},
          {u"lastoperdate"_s}},
         {u"EmplID"_s}},
        {u"systxtset"_s,
         {{u"texttype"_s}, {u"textvalue"_s, true}, {u"gb"_s}},
         {u"texttype"_s, u"textvalue"_s}},
        {u"equfinger"_s,
         {{u"emplid"_s},
          {u"cardno"_s},
          {u"backupid"_s, true},
          {u"privilege"_s, true},
          {u"pws"_s},
          {u"fingerdata"_s}},
         {u"emplid"_s, u"cardno"_s, u"backupid"_s}},
        {u"equcard"_s,
         {{u"cardno"_s},
          {u"emplid"_s},
          {u"cardtype"_s},
          {u"cardstatus"_s},
          {u"personverify"_s},
          {u"operdate"_s},
          {u"operid"_s}},
         {u"cardno"_s, u"emplid"_s}},
        {u"AtdRecord"_s,
         {{u"EmplID"_s},
          {u"CardNo"_s},
          {u"RecDate"_s},
          {u"RecTime"_s},
          {u"IsAuto"_s, true},
          {u"EquNo"_s},
          {u"InOutType"_s, true},
          {u"OperId"_s},
          {u"OperDate"_s}},
         {u"EmplID"_s, u"RecDate"_s, u"RecTime"_s}},
    };
    return shapes;
}

// A mark for a value of the column: PostgreSQL cannot tell the type of a value that is only
// selected, so it is cast to the column's.
QString mark(const Column& column, Dialect dialect) {
    if (dialect != Dialect::Postgresql) return u"?"_s;
    return column.integer                 ? u"CAST(? AS integer)"_s
           : column.name == u"fingerdata" ? u"CAST(? AS text)"_s
                                          : u"CAST(? AS bpchar)"_s;
}

// The insert of one row unless a row of its key is there. A key value that is NULL is compared
// with IS NULL and binds nothing: `=` finds no NULL, and IS NOT DISTINCT FROM uses no index.
QString insertText(const TableShape& table, Dialect dialect, const std::vector<bool>& nullKeys) {
    QStringList names;
    QStringList values;
    for (const Column& column : table.columns) {
        names << column.name;
        values << mark(column, dialect);
    }
    QStringList tests;
    for (std::size_t i = 0; i < table.key.size(); ++i) {
        const QString& key = table.key[i];
        if (nullKeys[i]) {
            tests << key + u" IS NULL"_s;
            continue;
        }
        const auto column = std::find_if(table.columns.begin(), table.columns.end(),
                                         [&](const Column& c) { return c.name == key; });
        tests << key + u" = "_s + mark(*column, dialect);
    }
    return u"INSERT INTO "_s + table.name + u" ("_s + names.join(u", "_s) + u") SELECT "_s +
           values.join(u", "_s) + u" WHERE NOT EXISTS (SELECT 1 FROM "_s + table.name + u" WHERE "_s +
           tests.join(u" AND "_s) + u")"_s;
}

void begin(DataModule& data) {
    QSqlDatabase db = data.connection();
    if (!db.transaction()) throw sql::databaseError(db.lastError(), data.dialect());
}

void commit(DataModule& data) {
    QSqlDatabase db = data.connection();
    if (!db.commit()) {
        const DatabaseError error = sql::databaseError(db.lastError(), data.dialect());
        db.rollback();
        throw error;
    }
}

TableCopy copyTable(const TableShape& table, DataModule& from, DataModule& to, int groupRows) {
    TableCopy result;
    result.table = table.name;
    QStringList names;
    for (const Column& column : table.columns) names << column.name;
    std::vector<int> keyIndex;
    for (const QString& key : table.key) {
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            if (table.columns[i].name == key) keyIndex.push_back(int(i));
    }

    QSqlQuery read(from.connection());
    read.setForwardOnly(true);
    if (!read.exec(u"SELECT "_s + names.join(u", "_s) + u" FROM "_s + table.name))
        throw sql::databaseError(read.lastError(), from.dialect());

    // One prepared insert per pattern of NULL keys met.
    std::map<std::vector<bool>, std::unique_ptr<QSqlQuery>> inserts;
    QSqlDatabase destination = to.connection();
    int inGroup = 0;
    bool open = false;
    const auto rollback = [&] {
        if (open) destination.rollback();
    };
    try {
        while (read.next()) {
            if (!open) {
                begin(to);
                open = true;
            }
            std::vector<bool> nullKeys;
            for (const int k : keyIndex) nullKeys.push_back(read.value(k).isNull());
            auto& insert = inserts[nullKeys];
            if (!insert) {
                insert = std::make_unique<QSqlQuery>(destination);
                if (!insert->prepare(insertText(table, to.dialect(), nullKeys)))
                    throw sql::databaseError(insert->lastError(), to.dialect());
            }
            int position = 0;
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                insert->bindValue(position++, read.value(int(i)));
            for (std::size_t i = 0; i < keyIndex.size(); ++i)
                if (!nullKeys[i]) insert->bindValue(position++, read.value(keyIndex[i]));
            if (!insert->exec()) throw sql::databaseError(insert->lastError(), to.dialect());
            ++result.sourceRows;
            if (insert->numRowsAffected() > 0)
                ++result.copied;
            else
                ++result.present;
            if (++inGroup >= groupRows) {
                commit(to);
                open = false;
                inGroup = 0;
            }
        }
        if (read.lastError().isValid()) throw sql::databaseError(read.lastError(), from.dialect());
        if (open) {
            open = false;
            commit(to);
        }
    } catch (...) {
        rollback();
        throw;
    }
    return result;
}

}  // namespace

std::vector<TableCopy> copyDatabase(DataModule& from, DataModule& to,
                                    const std::function<void(const TableCopy&)>& progress, int groupRows) {
    std::vector<TableCopy> results;
    for (const TableShape& table : tables()) {
        results.push_back(copyTable(table, from, to, groupRows));
        if (progress) progress(results.back());
    }
    return results;
}

}  // namespace orvelo
