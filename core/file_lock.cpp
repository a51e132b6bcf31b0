#include "core/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "core/errors.h"
#include "core/file_io.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

using Clock = std::chrono::steady_clock;

// flock(2) has no time-out; polling with a growing pause keeps a waiting orveloctl cheap without
// making it slow to notice a holder that has let go.
constexpr std::chrono::milliseconds kFirstPause{10};
constexpr std::chrono::milliseconds kLongestPause{200};

}  // namespace

FileLock::FileLock(QString path) : m_path(std::move(path)) {}

void FileLock::fail(const QString& what) const {
    const int error = errno;  // before any allocation of the text can change it
    throw FileError(what + m_path + u"："_s + QString::fromLocal8Bit(std::strerror(error)));
}

UniqueFd FileLock::openFile() const {
    const QByteArray path = QFile::encodeName(m_path);
    UniqueFd fd = openRetrying(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY);
    // A folder that only an administrator may write still locks through a lock file that the
    // administrator created: flock needs no write permission.
    if (!fd.isOpen() && (errno == EACCES || errno == EROFS))
        fd = openRetrying(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (!fd.isOpen()) fail(u"无法打开锁文件"_s);
    return fd;
}

bool FileLock::tryLock() {
    return lockFor(std::chrono::milliseconds::zero());
}

bool FileLock::lockFor(std::chrono::milliseconds wait) {
    if (isLocked()) return true;
    UniqueFd fd = openFile();
    const Clock::time_point deadline = Clock::now() + std::max(wait, std::chrono::milliseconds::zero());
    std::chrono::milliseconds pause = kFirstPause;
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            m_fd = std::move(fd);
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) fail(u"无法锁定锁文件"_s);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(pause, std::chrono::duration_cast<Clock::duration>(deadline - now)));
        pause = std::min(pause * 2, kLongestPause);
    }
}

void FileLock::lock() {
    if (isLocked()) return;
    UniqueFd fd = openFile();
    while (::flock(fd.get(), LOCK_EX) != 0)
        if (errno != EINTR) fail(u"无法锁定锁文件"_s);
    m_fd = std::move(fd);
}

QString appFolderLockPath(const QString& appDir) {
    return (appDir.endsWith(u'/') ? appDir : appDir + u'/') + u"orvelo.lock"_s;
}

}  // namespace orvelo
