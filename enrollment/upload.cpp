#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/command_outcome.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"
#include "db/data_module.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"
#include "enrollment/enrollment_statements.h"
#include "enrollment/link_failure.h"

namespace orvelo {

namespace {

using UploadTemplate = std::array<std::int32_t, TerminalLibrary::kTemplateValues>;

struct StoredEnrollment {
    std::int32_t backupNumber = 0;
    std::int32_t privilege = 0;
    std::int32_t password = 0;
    UploadTemplate templateValues{};
};

struct Employee {
    std::int32_t enrollNumber = 0;
    QString employeeId;
    QString registration;
    QString nameText;
    QByteArray name;
    std::vector<StoredEnrollment> enrollments;
};

std::int32_t integerColumn(const Query& query, int row, const QString& column) {
    return strToInt(query.value(row, column).toString());
}

// Everything of one employee is read before anything is written, so an employee whose data
// cannot be read is passed over whole instead of reaching the terminal half written.
Employee readEmployee(CommandContext& ctx, int i) {
    EmployeeSelection& selection = *ctx.selection;
    selection.makeCurrent(i);

    Employee employee;
    const QString registration = trimBlanks(selectedText(selection, QStringLiteral("登记号码")));
    employee.enrollNumber = strToInt(registration);
    employee.registration = registration;
    employee.employeeId = selectedText(selection, QStringLiteral("人员编号"));
    employee.nameText = selectedText(selection, QStringLiteral("姓名"));
    employee.name = employee.nameText.toUtf8();

    Query& query = ctx.data.qry_1;
    query.close();
    query.clearSql();
    query.addSql(storedEnrollmentsStatement(employee.employeeId, registration));
    query.open();

    employee.enrollments.resize(std::size_t(query.rowCount()));
    for (int row = 0; row < query.rowCount(); ++row) {
        StoredEnrollment& stored = employee.enrollments[std::size_t(row)];
        readTemplateText(query.value(row, QStringLiteral("fingerdata")).toString(), stored.templateValues);
        stored.backupNumber = integerColumn(query, row, QStringLiteral("backupid"));
        stored.privilege = integerColumn(query, row, QStringLiteral("privilege"));
        stored.password = integerColumn(query, row, QStringLiteral("pws"));
    }
    return employee;
}

// Why the terminal cannot keep a name whole, or an empty text when it can. It refuses a name
// longer than its name field and one with control characters (it could not give it back whole);
// such an employee is not written at all, rather than written without its name.
QString nameProblem(const Employee& employee) {
    for (const QChar c : employee.nameText) {
        if (c.category() == QChar::Other_Control) return QStringLiteral("含有控制字符");
    }
    if (employee.name.size() > TerminalLibrary::kNameBytes - 1)
        return QStringLiteral("长度超过设备的%1个字节").arg(TerminalLibrary::kNameBytes - 1);
    return {};
}

QString summaryText(int total, int succeeded) {
    return QStringLiteral("共写入注册信息：") + QString::number(total) + QStringLiteral("条;其中成功：") +
           QString::number(succeeded) + QStringLiteral("条，失败：") + QString::number(total - succeeded) +
           QStringLiteral("条！");
}

enum class Written { All, Refused, LinkLost };

// Every write of one employee, the name last; all of them must be accepted for it to count.
// A refusal does not stop the others; a failed link does, since nothing more can reach the
// terminal.
Written writeEmployee(TerminalLibrary& terminal, std::int32_t handle, const Employee& employee) {
    bool refused = false;
    for (const StoredEnrollment& stored : employee.enrollments) {
        const std::int32_t result =
            terminal.FK_PutEnrollData(handle, employee.enrollNumber, stored.backupNumber, stored.privilege,
                                      stored.templateValues.data(), stored.password);
        if (linkFailed(result)) return Written::LinkLost;
        if (result != 1) refused = true;
    }
    // The name goes also to an employee without stored enrollments.
    const char* name = employee.name.isEmpty() ? nullptr : employee.name.constData();
    const std::int32_t result = terminal.FK_SetUserName(handle, employee.enrollNumber, name);
    if (linkFailed(result)) return Written::LinkLost;
    if (result != 1) refused = true;
    return refused ? Written::Refused : Written::All;
}

}  // namespace

CommandOutcome btn_WriteEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("写入指纹及姓名");
    CommandOutcome outcome;

    ctx.view.setProgress(0, true);
    EnrollmentRun run(ctx);
    if (!run.connect()) return showConnectionFailure(ctx, caption);
    run.disableDevice();

    const int total = selectedCount(ctx);
    int succeeded = 0;
    bool linkLost = false;
    bool cancelled = false;
    for (int i = 0; i < total && !linkLost; ++i) {
        if (ctx.cancelRequested()) {
            cancelled = true;
            break;
        }
        bool accepted = false;
        try {
            Employee employee = readEmployee(ctx, i);
            const QString problem = nameProblem(employee);
            if (!problem.isEmpty()) {
                ctx.view.appendLog(LogPane::Mmo1, QStringLiteral("人员") + employee.employeeId +
                                                      QStringLiteral("（登记号码") + employee.registration +
                                                      QStringLiteral("）的姓名") + problem +
                                                      QStringLiteral("，设备无法保存，该人员没有写入设备！"));
            } else {
                const Written written = writeEmployee(ctx.terminal, run.handle(), employee);
                linkLost = written == Written::LinkLost;
                accepted = written == Written::All;
            }
        } catch (const ConversionError& error) {
            // Bad data of one employee: shown, counted failed, and the others still go. A database
            // error is not caught: the connection is gone for every later employee too.
            ctx.view.errorBox(defaultErrorText(error.text()));
        }
        if (linkLost) break;
        ++outcome.read;
        if (accepted) ++succeeded;
        ctx.view.setProgress(percentOf(succeeded, total), true);
    }
    outcome.stored = succeeded;
    outcome.rejected = outcome.read - succeeded;

    run.enableDevice();
    if (linkLost) {
        outcome.result = CommandOutcome::Result::Incomplete;
        showIncompleteUpload(ctx, caption, succeeded);
        return outcome;
    }
    if (cancelled) {
        // Not the completion text: the summary counts the employees dealt with before the stop.
        outcome.result = CommandOutcome::Result::Incomplete;
        showCancelled(ctx, caption,
                      {uploadCancelledLine(outcome.read, total), summaryText(outcome.read, succeeded)});
        return outcome;
    }
    ctx.view.setStatusText(QStringLiteral("写入注册信息到设备完成！"));
    ctx.workEnded();
    ctx.view.messageBox(summaryText(total, succeeded), caption, BoxIcon::Information);
    return outcome;
}

}  // namespace orvelo
