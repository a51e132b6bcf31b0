// The employee lists on the console.
#include <QString>
#include <QTextStream>

#include "cli/command_table.h"
#include "cli/console_employee_selection.h"
#include "cli/console_operator_view.h"
#include "db/data_module.h"
#include "directory/employee_listing.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

const CommandRegistration kList{{
    .name = u"list"_s,
    .summary = u"人员注册: prints the active (or departed) employees, each with its stored enrollments"_s,
    .description = u"One line of column titles, then one line per employee in the order the database gives\n"
                   u"them, fields separated by a tab (NULL empty, dates as yyyy-mm-dd); under each employee\n"
                   u"the rows of its enrollment details, each line starting with a tab. A backslash, tab,\n"
                   u"line feed or carriage return inside a field is written as \\\\, \\t, \\n, \\r."_s,
    .options = ConsoleEmployeeSelection::listOptions(),
    .run =
        [](CommandInvocation& run) {
            ConsoleEmployeeSelection shown(run);
            QString text;
            QTextStream out(&text);
            writeEmployeeListing(out, shown.shownList(), run.context().data.qry_5);
            out.flush();
            run.console().printOutput(text);
        },
}};

}  // namespace

}  // namespace orvelo::cli
