#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

#include "core/command_context.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"
#include "db/data_module.h"
#include "device/terminal_library.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"
#include "enrollment/enrollment_statements.h"

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
    employee.employeeId = selectedText(selection, QStringLiteral("人员编号"));
    employee.name = selectedText(selection, QStringLiteral("姓名")).toUtf8();

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

bool writeEmployee(TerminalLibrary& terminal, std::int32_t handle, const Employee& employee) {
    bool accepted = false;
    for (const StoredEnrollment& stored : employee.enrollments) {
        if (terminal.FK_PutEnrollData(handle, employee.enrollNumber, stored.backupNumber, stored.privilege,
                                      stored.templateValues.data(), stored.password) == 1)
            accepted = true;
    }
    // The name goes also to an employee without stored enrollments.
    const char* name = employee.name.isEmpty() ? nullptr : employee.name.constData();
    if (terminal.FK_SetUserName(handle, employee.enrollNumber, name) == 1) accepted = true;
    return accepted;
}

}  // namespace

void btn_WriteEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("写入指纹及姓名");

    ctx.view.setProgress(0, true);
    EnrollmentRun run(ctx);
    if (!run.connect()) {
        showConnectionFailure(ctx, caption);
        return;
    }
    run.disableDevice();

    const int total = selectedCount(ctx);
    int succeeded = 0;
    for (int i = 0; i < total; ++i) {
        bool accepted = false;
        try {
            Employee employee = readEmployee(ctx, i);
            accepted = writeEmployee(ctx.terminal, run.handle(), employee);
        } catch (const ConversionError& error) {
            // Bad data of one employee: shown, counted failed, and the others still go. A database
            // error is not caught: the connection is gone for every later employee too.
            ctx.view.errorBox(defaultErrorText(error.text()));
        }
        if (accepted) ++succeeded;
        ctx.view.setProgress(percentOf(succeeded, total), true);
    }

    run.enableDevice();
    ctx.view.setStatusText(QStringLiteral("写入注册信息到设备完成！"));
    ctx.view.messageBox(QStringLiteral("共写入注册信息：") + QString::number(total) +
                            QStringLiteral("条;其中成功：") + QString::number(succeeded) +
                            QStringLiteral("条，失败：") + QString::number(total - succeeded) +
                            QStringLiteral("条！"),
                        caption, BoxIcon::Information);
}

}  // namespace orvelo
