#include <array>
#include <cstdint>
#include <cstring>

#include "access/connection.h"
#include "access/terminal_library.h"
#include "context/command_context.h"
#include "core/command_outcome.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"
#include "db/data_module.h"
#include "directory/employee_lists.h"
#include "enrollment/enrollment_commands.h"
#include "enrollment/enrollment_run.h"
#include "enrollment/enrollment_statements.h"
#include "enrollment/enrollment_store.h"
#include "enrollment/link_failure.h"

namespace orvelo {

namespace {

constexpr std::int32_t kUserCountStatus = FK_STATUS_USERS;

void execute(Query& query, std::initializer_list<QString> lines) {
    query.close();
    query.clearSql();
    for (const QString& line : lines) query.addSql(line);
    query.execSql();
}

bool employeeExists(Query& query, std::int32_t enrollNumber) {
    query.close();
    query.clearSql();
    query.addSql(employeeLookupStatement(enrollNumber));
    query.open();
    return query.rowCount() > 0;
}

class DownloadAll {
public:
    explicit DownloadAll(CommandContext& ctx) : m_ctx(ctx) {}

    // The entry steps for one listed user; false when the link failed on the way. A name read that
    // failed on the link writes nothing, so a stored name is never replaced by the enroll number;
    // enrollments stored before a later failure stay stored, the next run replaces them.
    bool entry(std::int32_t handle, std::int32_t enrollNumber, std::int32_t& privilege) {
        TerminalLibrary& terminal = m_ctx.terminal;

        m_name.fill(0);
        const std::int32_t nameResult = terminal.FK_GetUserName(handle, enrollNumber, m_name.data());
        if (linkFailed(nameResult)) return false;
        QString name;
        if (nameResult == FK_OK)
            name = QString::fromUtf8(m_name.data(), qsizetype(strnlen(m_name.data(), m_name.size())));
        // Only a terminal that really holds no name for the user gets the enroll number as name.
        if (name.isEmpty()) name = zeroPad(enrollNumber, 8);

        m_entriesStarted = true;
        execute(m_ctx.data.qry_1, {defaultDepartmentStatement()});
        if (employeeExists(m_ctx.data.qry_1, enrollNumber)) {
            execute(m_ctx.data.qry_2, {employeeNameUpdateStatement(name, enrollNumber)});
        } else {
            // The present time is taken anew for each of its three uses.
            const QString entryDate = dateTimeText(m_ctx.clock.now());
            const QString lastOperDate = dateTimeText(m_ctx.clock.now());
            const QString operDate = dateTimeText(m_ctx.clock.now());
            execute(m_ctx.data.qry_2, {newEmployeeLine(enrollNumber, name, entryDate, lastOperDate),
                                       newCardLine(enrollNumber, operDate)});
        }

        const QString employeeNumber = zeroPad(enrollNumber, 8);
        for (std::int32_t backupNumber = FK_BACKUP_FIRST; backupNumber <= FK_BACKUP_LAST; ++backupNumber) {
            std::int32_t password = 0;
            m_template.fill(0);
            const std::int32_t result = terminal.FK_GetEnrollData(handle, enrollNumber, backupNumber,
                                                                  &privilege, m_template.data(), &password);
            if (linkFailed(result)) return false;
            if (result != 1) continue;
            StoreEnrollment(m_ctx.data, employeeNumber, enrollNumber, backupNumber, privilege, password,
                            m_template);
            ++m_stored;
        }
        return true;
    }

    int stored() const { return m_stored; }

    // The list is read once, when the walk is over, instead of after every entry: the window does
    // not repaint while a command runs, and at thousands of entries the reads alone took minutes.
    void refreshList() {
        // A list never opened (no text yet) has nothing to show.
        if (m_entriesStarted && !m_ctx.data.qry_3.sql().isEmpty()) ReopenActiveList(m_ctx.data);
        m_entriesStarted = false;
    }

private:
    CommandContext& m_ctx;
    bool m_entriesStarted = false;
    int m_stored = 0;
    std::array<char, TerminalLibrary::kNameBytes> m_name{};
    std::array<std::int32_t, TerminalLibrary::kTemplateValues> m_template{};
};

}  // namespace

CommandOutcome btn_GetAllEntryInfoClick(CommandContext& ctx) {
    const QString caption = QStringLiteral("获取全部注册信息");
    CommandOutcome outcome;

    ctx.view.setStatusText(QStringLiteral("正在从设备中获取全部注册信息，请稍等..."));
    ctx.view.setProgress(0, true);

    EnrollmentRun run(ctx);
    if (!run.connect()) {
        showConnectionFailure(ctx, caption);
        outcome.result = CommandOutcome::Result::NotReachable;
        return outcome;
    }
    run.disableDevice();

    TerminalLibrary& terminal = ctx.terminal;
    const std::int32_t handle = run.handle();
    std::int32_t userCount = 0;
    terminal.FK_GetDeviceStatus(handle, kUserCountStatus, &userCount);

    DownloadAll download(ctx);
    bool linkLost = false;
    try {
        const std::int32_t listResult = terminal.FK_ReadAllUserID(ctx.settings.MachineNo);
        linkLost = linkFailed(listResult);
        if (listResult == FK_OK) {
            std::int32_t enrollNumber = 0;
            std::int32_t backupNumber = 0;
            std::int32_t privilege = 0;  // the list's and the reads' privilege are one variable
            std::int32_t fourthValue = 0;
            qint64 listed = 0;
            for (;;) {
                const std::int32_t result =
                    terminal.FK_GetAllUserID(handle, &enrollNumber, &backupNumber, &privilege, &fourthValue);
                if (result == FK_OK) {
                    if (!download.entry(handle, enrollNumber, privilege)) {
                        linkLost = true;
                        break;
                    }
                    ++outcome.read;
                }
                ++listed;
                ctx.view.setProgress(percentOf(listed, qint64(userCount) + 1), true);
                if (result != 1) {
                    linkLost = linkFailed(result);
                    break;
                }
            }
        }
        download.refreshList();
    } catch (const Error&) {
        // The error that stopped the walk is the one to show; the list is still brought up to
        // date with what was written before it, as far as the database lets it.
        try {
            download.refreshList();
        } catch (const Error&) {
        }
        throw;
    }
    outcome.stored = download.stored();

    run.enableDevice();
    if (linkLost) {
        outcome.result = CommandOutcome::Result::Incomplete;
        showIncompleteDownload(ctx, caption, outcome.read);
        return outcome;
    }
    ctx.view.messageBox(
        QStringLiteral("成功获取") + QString::number(userCount) + QStringLiteral("个人的注册信息！"), caption,
        BoxIcon::Information);
    return outcome;
}

}  // namespace orvelo
