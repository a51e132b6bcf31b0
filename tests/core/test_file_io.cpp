// Files and locks the programs create in an application folder: the mode is what the umask
// leaves of the widest, never a fixed one, and a lock waits for its holder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/errors.h"
#include "core/file_io.h"
#include "core/file_lock.h"
#include "tests/support/umask_scope.h"

namespace orvelo {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::UmaskScope;

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

TEST(NewFiles, TakeWhatTheUmaskLeavesOfReadWriteForAll) {
    // A group's shared folder, a single user's, a private one.
    for (const mode_t mask : {mode_t{0002}, mode_t{0022}, mode_t{0077}}) {
        SCOPED_TRACE(mask);
        QTemporaryDir dir;
        const UmaskScope scope(mask);
        const mode_t expected = 0666 & ~mask;

        const QString created = dir.filePath(u"FDataQ5240506080000.hv"_s);
        EXPECT_TRUE(createNewFile(created).isOpen());
        EXPECT_EQ(modeOf(created), expected);

        const QString database = dir.filePath(u"orvelo.db"_s);
        EXPECT_TRUE(createFileForGroup(database));
        EXPECT_EQ(modeOf(database), expected);
        EXPECT_EQ(QFile(database).size(), 0);

        QString temporary;
        EXPECT_TRUE(createFileBeside(dir.filePath(u".collections.json"_s), temporary).isOpen());
        EXPECT_TRUE(temporary.startsWith(dir.filePath(u".collections.json."_s))) << temporary.toStdString();
        EXPECT_EQ(modeOf(temporary), expected);

        FileLock lock(dir.filePath(u"orvelo.lock"_s));
        EXPECT_TRUE(lock.tryLock());
        EXPECT_EQ(modeOf(lock.path()), expected);
    }
}

TEST(NewFiles, AnExistingFileIsNeitherOpenedAnewNorChanged) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvelo.db"_s);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("SQLite format 3");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    EXPECT_TRUE(createFileForGroup(path));
    EXPECT_EQ(modeOf(path), mode_t{0640});
    EXPECT_EQ(QFile(path).size(), 15);

    errno = 0;
    EXPECT_FALSE(createNewFile(path).isOpen());
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(QFile(path).size(), 15);

    // Two temporary files beside one path never share a name.
    QString first;
    QString second;
    const UniqueFd one = createFileBeside(path, first);
    const UniqueFd two = createFileBeside(path, second);
    EXPECT_TRUE(one.isOpen() && two.isOpen());
    EXPECT_NE(first, second);
}

TEST(NewFiles, AFileInAFolderThatDoesNotExistIsNotMade) {
    QTemporaryDir dir;
    EXPECT_FALSE(createFileForGroup(dir.filePath(u"missing/orvelo.db"_s)));
    EXPECT_EQ(errno, ENOENT);
}

TEST(WriteAll, WritesEveryByteThroughAPipeThatTakesThemPiecewise) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    // More than a pipe buffer holds: the writes come back short and go on.
    QByteArray bytes(1 << 20, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    QByteArray received;
    std::thread reader([&] {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(readEnd.get(), buffer, sizeof buffer)) > 0) received.append(buffer, got);
    });
    const bool written = writeAll(writeEnd.get(), bytes);
    writeEnd.reset();
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(received, bytes);
}

TEST(FileLock, LockWaitsAsLongAsTheHolderKeepsIt) {
    QTemporaryDir dir;
    FileLock holder(dir.filePath(u".collections.json.lock"_s));
    ASSERT_TRUE(holder.tryLock());

    std::atomic<bool> taken{false};
    FileLock waiter(holder.path());
    std::thread second([&] {
        waiter.lock();
        taken = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(taken) << "lock() went past a held lock";
    holder.unlock();
    second.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(waiter.isLocked());
    EXPECT_FALSE(FileLock(holder.path()).tryLock());
}

TEST(FileLock, TheApplicationFolderLockIsOrveloLockInTheFolder) {
    EXPECT_EQ(appFolderLockPath(u"/srv/orvelo/"_s), u"/srv/orvelo/orvelo.lock"_s);
    EXPECT_EQ(appFolderLockPath(u"/srv/orvelo"_s), u"/srv/orvelo/orvelo.lock"_s);
    EXPECT_EQ(AppFolderLock(u"/srv/orvelo"_s).path(), u"/srv/orvelo/orvelo.lock"_s);
}

TEST(FileLock, AFolderThatDoesNotExistIsAnErrorNamingTheLockFile) {
    QTemporaryDir dir;
    FileLock lock(dir.filePath(u"missing/.collections.json.lock"_s));
    try {
        lock.lock();
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_TRUE(error.text().contains(lock.path())) << error.text().toStdString();
    }
    EXPECT_FALSE(lock.isLocked());
}

}  // namespace
}  // namespace orvelo
