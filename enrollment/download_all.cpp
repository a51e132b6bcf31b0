#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

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

// The employee numbers of the employees, active or departed, whose registration number (cardid)
// is the enroll number: the ones whose names the terminal's name replaces and under whose numbers
// the user's enrollments are stored.
QStringList employeesHolding(Query& query, std::int32_t enrollNumber) {
    query.close();
    query.clearSql();
    query.addSql(employeeLookupStatement(enrollNumber));
    query.open();
    QStringList numbers;
    for (int row = 0; row < query.rowCount(); ++row)
        numbers << query.value(row, QStringLiteral("EmplID")).toString();
    return numbers;
}

class DownloadAll {
public:
    explicit DownloadAll(CommandContext& ctx) : m_ctx(ctx) {}

    // The entry steps for one listed user (one entry per enrollment: `listedBackup` is the
    // enrollment the list names); false when the link failed on the way. A name the terminal does
    // not give (the read refused, or an empty name) writes no name over a stored one: a new
    // employee gets the eight-digit enroll number, an existing one keeps the name it has. What the
    // terminal refused is counted for the summary; enrollments stored before a later failure stay
    // stored, the next run replaces them.
    //
    // The enrollments go under the number of each employee that holds the enroll number as its
    // registration number, so that the employee's details, upload and delete find them; under the
    // eight-digit number of a user no employee holds, the employee it creates. (Under the
    // eight-digit number whatever the employee's own, they showed twice in its details and
    // reached none of its commands.)
    bool entry(std::int32_t handle, std::int32_t enrollNumber, std::int32_t listedBackup,
               std::int32_t& privilege) {
        TerminalLibrary& terminal = m_ctx.terminal;
        bool refused = false;

        m_name.fill(0);
        const std::int32_t nameResult = terminal.FK_GetUserName(handle, enrollNumber, m_name.data());
        if (linkFailed(nameResult)) return false;
        QString name;
        if (nameResult == FK_OK) {
            name = QString::fromUtf8(m_name.data(), qsizetype(strnlen(m_name.data(), m_name.size())));
        } else {
            // The user is on the terminal's own list: a terminal that holds it answers its name,
            // an empty one if it has none. No answer is a refusal.
            m_namesRefused.insert(enrollNumber);
            refused = true;
        }

        m_entriesStarted = true;
        execute(m_ctx.data.qry_1, {defaultDepartmentStatement()});
        QStringList employeeNumbers = employeesHolding(m_ctx.data.qry_1, enrollNumber);
        if (!employeeNumbers.isEmpty()) {
            if (!name.isEmpty()) execute(m_ctx.data.qry_2, {employeeNameUpdateStatement(name, enrollNumber)});
        } else {
            // The present time is taken anew for each of its three uses.
            const QString entryDate = dateTimeText(m_ctx.clock.now());
            const QString lastOperDate = dateTimeText(m_ctx.clock.now());
            const QString operDate = dateTimeText(m_ctx.clock.now());
            const QString newName = name.isEmpty() ? zeroPad(enrollNumber, 8) : name;
            execute(m_ctx.data.qry_2, {newEmployeeLine(enrollNumber, newName, entryDate, lastOperDate),
                                       newCardLine(enrollNumber, operDate)});
            employeeNumbers << zeroPad(enrollNumber, 8);
        }

        for (std::int32_t backupNumber = FK_BACKUP_FIRST; backupNumber <= FK_BACKUP_LAST; ++backupNumber) {
            std::int32_t password = 0;
            m_template.fill(0);
            const std::int32_t result = terminal.FK_GetEnrollData(handle, enrollNumber, backupNumber,
                                                                  &privilege, m_template.data(), &password);
            if (linkFailed(result)) return false;
            if (result != 1) {
                // Any other backup number may simply be empty; the listed one is not.
                if (backupNumber == listedBackup) {
                    m_enrollmentsRefused.insert({enrollNumber, backupNumber});
                    refused = true;
                }
                continue;
            }
            for (const QString& employeeNumber : employeeNumbers) {
                StoreEnrollment(m_ctx.data, employeeNumber, enrollNumber, backupNumber, privilege, password,
                                m_template);
                ++m_stored;
            }
        }
        (refused ? m_refusedPeople : m_completedPeople).insert(enrollNumber);
        return true;
    }

    int stored() const { return m_stored; }

    // The people stored whole: an entry of theirs went through every read, and the terminal
    // refused none of their reads. A user listed once per enrollment counts once.
    int wholePeople() const {
        return int(std::count_if(m_completedPeople.begin(), m_completedPeople.end(),
                                 [this](std::int32_t enroll) { return !m_refusedPeople.contains(enroll); }));
    }

    void listed(std::int32_t enrollNumber) { m_listedPeople.insert(enrollNumber); }
    int listedPeople() const { return int(m_listedPeople.size()); }

    // The line that says what the terminal refused, empty when it refused nothing; `shortOf`, when
    // not 0, is the user count a list that ended early fell short of.
    QString refusedLine(bool listRefused, std::int32_t shortOf) const {
        QStringList parts;
        if (listRefused)
            parts << QStringLiteral("人员列表");
        else if (shortOf > 0)
            parts << QStringLiteral("人员列表（设备报告有%1个人，只列出%2个人）")
                         .arg(shortOf)
                         .arg(listedPeople());
        if (!m_namesRefused.empty())
            parts << QString::number(m_namesRefused.size()) +
                         QStringLiteral("个人的姓名（已有的姓名保持不变）");
        if (!m_enrollmentsRefused.empty())
            parts << QString::number(m_enrollmentsRefused.size()) + QStringLiteral("条注册信息");
        if (parts.isEmpty()) return {};
        return QStringLiteral("设备拒绝读取") + parts.join(QStringLiteral("、")) +
               QStringLiteral("，这些信息没有获取！请检查设备后再次执行本命令。");
    }

    // The list is read once, when the walk is over, instead of after every entry: the window does
    // not repaint while a command runs, and at thousands of entries the reads alone took minutes.
    void refreshList() {
        if (!m_entriesStarted) return;
        m_entriesStarted = false;
        if (m_ctx.onEmployeesChanged) {
            m_ctx.onEmployeesChanged();
        } else if (!m_ctx.data.qry_3.sql().isEmpty()) {
            // A list never opened (no text yet) has nothing to show.
            ReopenActiveList(m_ctx.data);
        }
    }

private:
    CommandContext& m_ctx;
    bool m_entriesStarted = false;
    int m_stored = 0;
    std::set<std::int32_t> m_listedPeople;
    std::set<std::int32_t> m_completedPeople;
    std::set<std::int32_t> m_refusedPeople;
    std::set<std::int32_t> m_namesRefused;
    std::set<std::pair<std::int32_t, std::int32_t>> m_enrollmentsRefused;
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
    if (!run.connect()) return showConnectionFailure(ctx, caption);
    run.disableDevice();

    TerminalLibrary& terminal = ctx.terminal;
    const std::int32_t handle = run.handle();
    std::int32_t userCount = 0;
    const bool counted = terminal.FK_GetDeviceStatus(handle, kUserCountStatus, &userCount) == FK_OK;

    DownloadAll download(ctx);
    bool linkLost = false;
    bool listRefused = false;
    bool cancelled = false;
    try {
        const std::int32_t listResult = terminal.FK_ReadAllUserID(ctx.settings.MachineNo);
        linkLost = linkFailed(listResult);
        listRefused = listResult == FK_NO;
        if (listResult == FK_OK) {
            std::int32_t enrollNumber = 0;
            std::int32_t backupNumber = 0;
            std::int32_t privilege = 0;  // the list's and the reads' privilege are one variable
            std::int32_t fourthValue = 0;
            // The bar follows the people listed, one step per user the terminal counted and the
            // last for the end of the list: the list has one entry per enrollment, so counting
            // entries ran past 100 % on every terminal whose users hold more than one.
            const qint64 steps = qint64(std::max(userCount, 0)) + 1;
            for (;;) {
                // Before each list read: the entries read so far are stored whole.
                if (ctx.cancelRequested()) {
                    cancelled = true;
                    break;
                }
                const std::int32_t result =
                    terminal.FK_GetAllUserID(handle, &enrollNumber, &backupNumber, &privilege, &fourthValue);
                if (result == FK_OK) {
                    download.listed(enrollNumber);
                    if (!download.entry(handle, enrollNumber, backupNumber, privilege)) {
                        linkLost = true;
                        break;
                    }
                    ++outcome.read;
                }
                const bool listEnded = result != 1 && !linkFailed(result);
                const qint64 done = listEnded ? steps : std::min<qint64>(download.listedPeople(), steps - 1);
                ctx.view.setProgress(percentOf(done, steps), true);
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
    // A list read refused looks like the end of the list: a list that ends before the users the
    // terminal counted is one the terminal did not give whole.
    const QString refused = download.refusedLine(
        listRefused,
        counted && !linkLost && !cancelled && download.listedPeople() < userCount ? userCount : 0);
    if (linkLost) {
        outcome.result = CommandOutcome::Result::Incomplete;
        showIncompleteDownload(ctx, caption, download.wholePeople(), refused);
        return outcome;
    }
    if (cancelled) {
        outcome.result = CommandOutcome::Result::Incomplete;
        QStringList lines{downloadAllCancelledLine(download.wholePeople(), counted ? userCount : -1)};
        if (!refused.isEmpty()) lines << refused;
        showCancelled(ctx, caption, lines);
        return outcome;
    }
    const QString summary =
        QStringLiteral("成功获取") + QString::number(userCount) + QStringLiteral("个人的注册信息！");
    if (!refused.isEmpty()) {
        outcome.result = CommandOutcome::Result::Incomplete;
        ctx.workEnded();
        ctx.view.messageBox(summary + u'\n' + refused, caption, BoxIcon::Warning);
        return outcome;
    }
    ctx.workEnded();
    ctx.view.messageBox(summary, caption, BoxIcon::Information);
    return outcome;
}

}  // namespace orvelo
