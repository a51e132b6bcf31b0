// An application folder shared by the operators of one group (set-group-ID, mode 2775, umask 0002):
// orveloctl run as two users of that group, one after the other, against emulated terminals on
// loopback. Whatever one of them creates, the other can still write: the database and its
// companions, the raw record files, the history and the locks.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "tests/support/emulator_process.h"
#include "tests/support/test_database.h"
#include "tests/support/umask_scope.h"

namespace orvelo::test {
namespace {

using namespace Qt::StringLiterals;

// Ids that no account of the machine is expected to have; numbers are all the kernel needs.
constexpr gid_t kOperators = 47100;
constexpr uid_t kOperatorA = 47101;
constexpr uid_t kOperatorB = 47102;

struct CommandRun {
    int status = -1;
    QString out;
    QString err;
};

class GroupSharedFolder : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "running orveloctl as two other users needs root";
        ASSERT_TRUE(m_scratch.isValid());
        // The temporary folder is the test's own (0700): the operators must get through it.
        ASSERT_EQ(::chmod(QFile::encodeName(m_scratch.path()).constData(), 0755), 0);
        m_appDir = m_scratch.path() + u"/app/"_s;
        const QByteArray app = QFile::encodeName(m_appDir);
        ASSERT_EQ(::mkdir(app.constData(), 0755), 0);
        ASSERT_EQ(::chown(app.constData(), 0, kOperators), 0);
        ASSERT_EQ(::chmod(app.constData(), 02775), 0);

        // orveloctl and the terminal library beside it, where the operators surely reach them
        // (the build folder may lie below one they cannot enter).
        m_bin = m_scratch.path() + u"/bin/"_s;
        ASSERT_TRUE(QDir().mkpath(m_bin));
        for (const QString& name : {u"orveloctl"_s, u"libfkattend.so"_s})
            ASSERT_TRUE(QFile::copy(EmulatorProcess::binFolder() + u'/' + name, m_bin + name))
                << name.toStdString();
    }

    // An emulated terminal on loopback TCP holding the punches of employee 1 and of an unknown
    // enroll number 2 on `day`; each collection reads a terminal of its own, so that each stores.
    int startTerminal(const QString& day) {
        const QString state = m_scratch.path() + u"/terminal-"_s + day + u".json"_s;
        const QJsonArray logs{
            QJsonObject{{u"enroll"_s, 1}, {u"mode"_s, 1}, {u"time"_s, QString(day + u" 08:01:10"_s)}},
            QJsonObject{{u"enroll"_s, 2}, {u"mode"_s, 1}, {u"time"_s, QString(day + u" 08:02:20"_s)}},
        };
        EmulatorProcess::writeState(
            state, QJsonObject{
                       {u"machine"_s, 1}, {u"password"_s, 0}, {u"users"_s, QJsonArray{}}, {u"logs"_s, logs}});
        m_terminal = std::make_unique<EmulatorProcess>(state);
        m_terminal->start();
        return m_terminal->tcpPort();
    }

    // orveloctl as `user` of the operators' group alone, with the umask an operator's session has.
    CommandRun orveloctl(uid_t user, const QStringList& arguments) {
        QProcess process;
        process.setProgram(m_bin + u"orveloctl"_s);
        process.setArguments(QStringList{u"--app-dir"_s, m_appDir} + arguments);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_scratch.path());
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([user] {
            // Between fork and exec: only async-signal-safe calls. A step that fails must not
            // leave the command running as root.
            if (::setgroups(0, nullptr) != 0 || ::setgid(kOperators) != 0 || ::setuid(user) != 0)
                ::_exit(126);
            ::umask(0002);
        });
        process.start();
        EXPECT_TRUE(process.waitForFinished(300000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    CommandRun collect(uid_t user, const QString& day) {
        const int port = startTerminal(day);
        return orveloctl(user, {u"--link"_s, u"tcp"_s, u"--ip"_s, u"127.0.0.1"_s, u"--port"_s,
                                QString::number(port), u"collect"_s});
    }

    // The attendance of May 2024 as CSV on stdout.
    CommandRun exportMay(uid_t user) {
        return orveloctl(user, {u"export"_s, u"--from"_s, u"2024-05-01"_s, u"--to"_s, u"2024-05-31"_s});
    }

    // Every file and folder below the application folder that is not writable by the group, or
    // not of the group, with its mode and owner.
    QStringList notShared() const {
        QStringList found;
        QDirIterator it(m_appDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            struct stat st {};
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;  // gone meanwhile
            if ((st.st_mode & S_IWGRP) == 0 || st.st_gid != kOperators)
                found << u"%1 mode %2 uid %3 gid %4"_s.arg(path)
                             .arg(st.st_mode & 07777, 4, 8, QChar(u'0'))
                             .arg(st.st_uid)
                             .arg(st.st_gid);
        }
        return found;
    }

    QTemporaryDir m_scratch;
    QString m_appDir;
    QString m_bin;
    std::unique_ptr<EmulatorProcess> m_terminal;
};

TEST_F(GroupSharedFolder, TwoOperatorsCollectAndExportInTurn) {
    {
        // The installation: hv.ini, data/ and the database with one employee, made as an
        // administrator with the documented umask would.
        const UmaskScope mask(0002);
        TestDatabase installed(m_appDir);
        installed.addActiveEmployee(u"E001"_s, u"00001"_s, u"张三"_s);
    }

    // Operator B's export leaves the database's -wal and -shm behind as B's; each next step must
    // still be able to write them, the history and its lock, and the folder's lock.
    const struct Step {
        const char* what;
        uid_t user;
        QString collectDay;  // empty: export
    } steps[] = {
        {"A collects", kOperatorA, u"2024-05-06"_s},
        {"B exports", kOperatorB, {}},
        {"A collects again", kOperatorA, u"2024-05-07"_s},
        {"B collects", kOperatorB, u"2024-05-08"_s},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const CommandRun run =
            step.collectDay.isEmpty() ? exportMay(step.user) : collect(step.user, step.collectDay);
        ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_EQ(notShared(), QStringList());
    }

    // Each collection stored its punch of employee 1, and the history took each in turn.
    const CommandRun listed = exportMay(kOperatorA);
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    for (const QString& day : {u"2024-05-06"_s, u"2024-05-07"_s, u"2024-05-08"_s})
        EXPECT_TRUE(listed.out.contains(day)) << day.toStdString() << "\n" << listed.out.toStdString();
    const QStringList rawFiles = QDir(m_appDir + u"data"_s).entryList({u"FDataQ5*.hv"_s}, QDir::Files);
    EXPECT_EQ(rawFiles.size(), 3) << rawFiles.join(u' ').toStdString();
    EXPECT_TRUE(QFile::exists(m_appDir + u"data/.collections.json"_s));
}

}  // namespace
}  // namespace orvelo::test
