#include "cli/console_employee_selection.h"

#include <QItemSelectionModel>
#include <QSet>

#include "cli/command_table.h"
#include "cli/console_operator_view.h"
#include "context/command_context.h"
#include "core/errors.h"
#include "core/text.h"
#include "db/data_module.h"
#include "directory/employee_lists.h"
#include "directory/employee_search.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

const QString kDeparted = u"departed"_s;
const QString kKeyword = u"keyword"_s;
const QString kAll = u"all"_s;
const QString kEmplid = u"emplid"_s;

}  // namespace

QList<QCommandLineOption> ConsoleEmployeeSelection::listOptions() {
    return {
        QCommandLineOption(kDeparted, u"the departed employees (离职人员) instead of the active ones"_s),
        QCommandLineOption(
            kKeyword,
            u"search first (模糊查询): department name, 人员编号, 登记号码 or 姓名 containing K; blanks alone list everyone"_s,
            u"K"_s),
    };
}

QList<QCommandLineOption> ConsoleEmployeeSelection::options() {
    return listOptions() +
           QList<QCommandLineOption>{
               QCommandLineOption(kAll, u"every employee of the shown list (对所有人员进行操作)"_s),
               QCommandLineOption(kEmplid, u"the employees whose 人员编号 is one of these, in list order"_s,
                                  u"ID,ID,..."_s),
           };
}

ConsoleEmployeeSelection::Choice ConsoleEmployeeSelection::choiceOf(const CommandInvocation& run) {
    Choice choice;
    choice.departed = run.isSet(kDeparted);
    choice.searched = run.isSet(kKeyword);
    if (choice.searched) choice.keyword = run.value(kKeyword);
    choice.all = run.isSet(kAll);
    if (run.isSet(kEmplid)) choice.emplids = run.value(kEmplid).split(u',');
    return choice;
}

ConsoleEmployeeSelection::ConsoleEmployeeSelection(CommandContext& context, const Choice& choice)
    : m_context(context), m_grids(context.data), m_selected(context.data, m_grids) {
    choose(choice);
}

ConsoleEmployeeSelection::ConsoleEmployeeSelection(CommandInvocation& run)
    : ConsoleEmployeeSelection(run.context(), choiceOf(run)) {
    for (const QString& id : m_unmatched)
        run.console().printError(u"orveloctl: no employee with 人员编号 '"_s + id + u"' in the list"_s);
}

Query& ConsoleEmployeeSelection::shownList() {
    return queryOf(m_context.data, shownEmployeeGrid(m_grids));
}

void ConsoleEmployeeSelection::choose(const Choice& choice) {
    QStringList wanted;
    for (const QString& id : choice.emplids)
        if (!trimBlanks(id).isEmpty()) wanted.append(trimBlanks(id));
    if (choice.all && !wanted.isEmpty()) throw Error(u"--all and --emplid cannot be given together"_s);

    // The operator brings the list's page to the front: the details follow it, everything is
    // re-read; then the search, then the selection.
    const int page = choice.departed ? 1 : 0;
    m_grids.setShownPage(page);
    pgc_employeeChange(m_context, m_grids, page);
    if (choice.searched) btn_searchClick(m_context, m_grids, choice.keyword);

    if (choice.all) {
        chk_SelectAllClick(m_context, m_grids, true);
        return;
    }
    if (wanted.isEmpty()) return;

    const Query& list = shownList();
    QItemSelectionModel& selection = m_grids.rowSelection(shownEmployeeGrid(m_grids));
    const QSet<QString> ids(wanted.begin(), wanted.end());
    QSet<QString> found;
    QItemSelection rows;
    const int column = list.columnIndex(u"人员编号"_s);
    for (int row = 0; column >= 0 && row < list.rowCount(); ++row) {
        const QString emplid = trimBlanks(list.value(row, column).toString());
        if (!ids.contains(emplid)) continue;
        found.insert(emplid);
        rows.select(selection.model()->index(row, 0), selection.model()->index(row, list.columnCount() - 1));
    }
    selection.select(rows, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (const QString& id : wanted)
        if (!found.contains(id) && !m_unmatched.contains(id)) m_unmatched.append(id);
}

}  // namespace orvelo::cli
