// Commands of orveloctl's own.
#include <QDir>
#include <QFileInfo>

#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "core/errors.h"
#include "db/database_copy.h"
#include "db/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

// Start-up has run when a command runs: this one stops there.
const CommandRegistration kCheckDatabase{{
    .name = u"check-database"_s,
    .summary = u"runs the start-up only: hv.ini, the database (an embedded one is created) and the lists"_s,
    .run = [](CommandInvocation&) {},
}};

QString tableLine(const TableCopy& table) {
    return u"%1: %2 rows, %3 copied, %4 already there"_s.arg(table.table)
        .arg(table.sourceRows)
        .arg(table.copied)
        .arg(table.present);
}

// The database of another application folder (its hv.ini), opened as its own start-up opens it:
// a missing embedded file or an empty server database gets the schema and the code rows.
const CommandRegistration kCopyDatabase{{
    .name = u"copy-database"_s,
    .summary = u"copies every table of this folder's database into the database of the folder --to names"_s,
    .description =
        u"Typically the embedded file into a PostgreSQL server, as a site grows past one PC. Rows the\n"
        u"destination has already by their key are skipped, so a second run copies nothing. One line per\n"
        u"table: rows read, copied, already there. Exit status 0 only when every row is in the destination."_s,
    .options = {QCommandLineOption(u"to"_s, u"the application folder whose hv.ini names the destination"_s,
                                   u"DIR"_s)},
    .run =
        [](CommandInvocation& run) {
            const QString folder = QDir(QFileInfo(run.value(u"to"_s)).absoluteFilePath()).path() + u'/';
            const auto target = databaseTargetAtStartup(folder);
            if (!target) throw Error(u"hv.ini of "_s + folder + u" names no database that can be used"_s);
            DataModule destination;
            try {
                destination.openConnection(*target);
            } catch (const DatabaseError& error) {
                throw Error(u"the database of "_s + folder + u" cannot be opened: "_s + error.text());
            }
            bool complete = true;
            copyDatabase(run.context().data, destination, [&](const TableCopy& table) {
                run.console().printOutput(tableLine(table) + u'\n');
                complete = complete && table.complete();
            });
            if (!complete) throw Error(u"not every row reached the destination"_s);
        },
    .checkUsage = [](const CommandLineValues& values) -> QString {
        if (!values.isSet(u"to"_s) || values.value(u"to"_s).isEmpty()) return u"--to DIR is needed"_s;
        return {};
    },
}};

}  // namespace

}  // namespace orvelo::cli
