#pragma once

// The employees an orveloctl command acts on, chosen on the command line the way the operator
// chooses them on the window's enrollment page, through the same list commands:
//
//   --departed      the departed list (page "离职人员") instead of the active one
//   --keyword K     a search with K first (btn_searchClick: K exactly as typed; blanks alone
//                   bring back the full lists)
//   --all           every row of the shown list, as ticking chk_SelectAll
//   --emplid ID,... the rows whose 人员编号, trimmed, equals one of the IDs (trimmed too); they
//                   are acted on in list order, whatever the order of the IDs. An ID that matches
//                   no row is named on stderr and the others are still acted on.
//
// With neither --all nor --emplid no row is selected, as in the window, and a command acts on
// no employee. --all and --emplid together are an error.
//
// A command file that runs an enrollment command uses it so:
//
//     const CommandRegistration kDownload{{
//         .name = u"enroll-download"_s,
//         .summary = u"获取注册信息: ..."_s,
//         .options = ConsoleEmployeeSelection::options(),
//         .run = [](CommandInvocation& run) {
//             ConsoleEmployeeSelection selection(run);
//             run.context().selection = &selection;
//             orvelo::btn_GetEntryInfoClick(run.context());
//         },
//     }};
//
// The constructor opens the chosen list (the details following it), searches and selects; the
// object is then the command's EmployeeSelection: the selected rows in list order, moving the
// list's current row (and with it the details) as the command walks them.

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include "core/ports.h"
#include "directory/model_employee_grids.h"
#include "directory/selected_employees.h"

namespace orvelo {
struct CommandContext;
}

namespace orvelo::cli {

class CommandInvocation;

class ConsoleEmployeeSelection : public EmployeeSelection {
public:
    struct Choice {
        bool departed = false;
        bool searched = false;  // --keyword given
        QString keyword;
        bool all = false;
        QStringList emplids;  // as given, split at the commas
    };

    // --departed, --keyword, --all, --emplid.
    static QList<QCommandLineOption> options();
    // --departed and --keyword only: the list to show (orveloctl list).
    static QList<QCommandLineOption> listOptions();
    // The choice the invocation's options make (options it does not have count as not given).
    static Choice choiceOf(const CommandInvocation& run);

    // Shows, searches and selects as `run`'s options say; unmatched IDs go to stderr.
    explicit ConsoleEmployeeSelection(CommandInvocation& run);
    // The same for a given choice; unmatched() names the IDs that matched no row.
    ConsoleEmployeeSelection(CommandContext& context, const Choice& choice);

    // The IDs of --emplid that matched no row of the shown list, in the order given.
    const QStringList& unmatched() const { return m_unmatched; }
    // The shown list and the page without widgets.
    ModelEmployeeGrids& grids() { return m_grids; }
    Query& shownList();

    int count() const override { return m_selected.count(); }
    void makeCurrent(int i) override { m_selected.makeCurrent(i); }
    QVariant value(const QString& column) const override { return m_selected.value(column); }

private:
    void choose(const Choice& choice);

    CommandContext& m_context;
    ModelEmployeeGrids m_grids;
    SelectedEmployees m_selected;
    QStringList m_unmatched;
};

}  // namespace orvelo::cli
