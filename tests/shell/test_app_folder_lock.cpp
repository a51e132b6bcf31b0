// The application folder's lock: one holder at a time, a bounded wait, and a holder that dies
// lets go without help.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/errors.h"
#include "shell/app_folder_lock.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace orvelo {
namespace {

class AppFolderLockTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString folder() const { return m_dir.path() + u'/'; }

    QTemporaryDir m_dir;
};

TEST_F(AppFolderLockTest, LockFileLiesInTheApplicationFolderWithOrWithoutTheSeparator) {
    EXPECT_EQ(AppFolderLock(folder()).path(), folder() + u"orvelo.lock"_s);
    EXPECT_EQ(AppFolderLock(m_dir.path()).path(), folder() + u"orvelo.lock"_s);
}

TEST_F(AppFolderLockTest, OneHolderAtATimeUntilItLetsGo) {
    AppFolderLock first(folder());
    AppFolderLock second(folder());
    ASSERT_TRUE(first.tryLock());
    EXPECT_TRUE(first.isLocked());
    EXPECT_TRUE(QFile::exists(first.path()));

    EXPECT_FALSE(second.tryLock());
    EXPECT_FALSE(second.lockFor(150ms));
    EXPECT_FALSE(second.isLocked());

    first.unlock();
    EXPECT_FALSE(first.isLocked());
    EXPECT_TRUE(second.tryLock());
    EXPECT_FALSE(first.tryLock());
}

TEST_F(AppFolderLockTest, AnotherFolderHasALockOfItsOwn) {
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    AppFolderLock here(folder());
    AppFolderLock there(other.path());
    ASSERT_TRUE(here.tryLock());
    EXPECT_TRUE(there.tryLock());
}

TEST_F(AppFolderLockTest, DestructorLetsGo) {
    {
        AppFolderLock scoped(folder());
        ASSERT_TRUE(scoped.tryLock());
    }
    AppFolderLock next(folder());
    EXPECT_TRUE(next.tryLock());
}

TEST_F(AppFolderLockTest, WaitEndsWithTheLockWhenTheHolderLetsGoWithinIt) {
    AppFolderLock holder(folder());
    ASSERT_TRUE(holder.tryLock());
    std::thread release([&holder] {
        std::this_thread::sleep_for(100ms);
        holder.unlock();
    });
    AppFolderLock waiter(folder());
    const bool got = waiter.lockFor(60s);
    release.join();
    EXPECT_TRUE(got);
    EXPECT_TRUE(waiter.isLocked());
}

// The holder is another process that takes the lock with flock(2) itself and is then killed:
// the kernel must let go, with no lock file to clean up.
TEST_F(AppFolderLockTest, HolderThatDiesLetsGo) {
    const QByteArray path = QFile::encodeName(AppFolderLock(folder()).path());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls between fork and _exit.
        ::close(ready[0]);
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        const char byte = 'x';
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const ssize_t got = ::read(ready[0], &byte, 1);
    ::close(ready[0]);
    ASSERT_EQ(got, 1) << "the child could not take the lock";

    AppFolderLock lock(folder());
    EXPECT_FALSE(lock.tryLock());
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(lock.tryLock());
}

TEST_F(AppFolderLockTest, FolderThatDoesNotExistIsAnErrorNamingTheLockFile) {
    AppFolderLock lock(folder() + u"missing/"_s);
    try {
        lock.tryLock();
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_TRUE(error.text().contains(folder() + u"missing/orvelo.lock"_s)) << error.text().toStdString();
    }
    EXPECT_FALSE(lock.isLocked());
}

TEST_F(AppFolderLockTest, RunUnderTheLockHoldsItForTheCommandOnly) {
    bool heldDuring = false;
    bool ran = false;
    EXPECT_EQ(runUnderAppFolderLock(folder(), 0ms,
                                    [&] {
                                        ran = true;
                                        heldDuring = !AppFolderLock(folder()).tryLock();
                                    }),
              LockedRun::Ran);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(heldDuring);
    EXPECT_TRUE(AppFolderLock(folder()).tryLock());
}

TEST_F(AppFolderLockTest, RunUnderTheLockLetsGoWhenTheCommandThrows) {
    EXPECT_THROW(runUnderAppFolderLock(folder(), 0ms, [] { throw Error(u"stopped"_s); }), Error);
    EXPECT_TRUE(AppFolderLock(folder()).tryLock());
}

TEST_F(AppFolderLockTest, RunUnderTheLockDoesNotRunWhileAnotherHoldsIt) {
    AppFolderLock holder(folder());
    ASSERT_TRUE(holder.tryLock());
    bool ran = false;
    EXPECT_EQ(runUnderAppFolderLock(folder(), 100ms, [&] { ran = true; }), LockedRun::Busy);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(holder.isLocked());
}

TEST(AppFolderBusyTexts, ConsoleLineNamesTheLockFileAndTheWait) {
    const QString line = appFolderBusyConsoleText(u"/srv/site/orvelo.lock"_s, 60s);
    EXPECT_TRUE(line.contains(u"/srv/site/orvelo.lock"_s));
    EXPECT_TRUE(line.contains(u"another Orvelo command is running on this application folder"_s));
    EXPECT_TRUE(line.contains(u"60 seconds"_s));
    EXPECT_FALSE(line.contains(u'\n'));
    EXPECT_EQ(appFolderBusyText(), u"另一个命令正在使用本程序目录中的设备或数据，请稍后再试。"_s);
    EXPECT_EQ(appFolderBusyCaption(), u"Orvelo系统"_s);
}

}  // namespace
}  // namespace orvelo
