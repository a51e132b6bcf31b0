#include "shell/app_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "core/errors.h"
#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

using Clock = std::chrono::steady_clock;

// flock(2) has no time-out; polling with a growing pause keeps a waiting orveloctl cheap without
// making it slow to notice a holder that has let go.
constexpr std::chrono::milliseconds kFirstPause{10};
constexpr std::chrono::milliseconds kLongestPause{200};

QString withSeparator(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

}  // namespace

AppFolderLock::AppFolderLock(const QString& appDir) : m_path(withSeparator(appDir) + fileName()) {}

QString AppFolderLock::fileName() {
    return u"orvelo.lock"_s;
}

UniqueFd AppFolderLock::openFile() const {
    const QByteArray path = QFile::encodeName(m_path);
    UniqueFd fd(::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    // An application folder that only an administrator may write still locks through a lock file
    // that the administrator created: flock needs no write permission.
    if (!fd.isOpen() && (errno == EACCES || errno == EROFS))
        fd.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.isOpen())
        throw FileError(u"无法打开锁文件"_s + m_path + u"："_s +
                        QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

bool AppFolderLock::tryLock() {
    return lockFor(std::chrono::milliseconds::zero());
}

bool AppFolderLock::lockFor(std::chrono::milliseconds wait) {
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
        if (errno != EWOULDBLOCK)
            throw FileError(u"无法锁定锁文件"_s + m_path + u"："_s +
                            QString::fromLocal8Bit(std::strerror(errno)));
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(pause, std::chrono::duration_cast<Clock::duration>(deadline - now)));
        pause = std::min(pause * 2, kLongestPause);
    }
}

LockedRun runUnderAppFolderLock(const QString& appDir, std::chrono::milliseconds wait,
                                const std::function<void()>& command) {
    AppFolderLock lock(appDir);
    if (!lock.lockFor(wait)) return LockedRun::Busy;
    command();
    return LockedRun::Ran;
}

QString appFolderBusyCaption() {
    return applicationTitle();
}

QString appFolderBusyText() {
    return u"另一个命令正在使用本程序目录中的设备或数据，请稍后再试。"_s;
}

QString appFolderBusyConsoleText(const QString& lockPath, std::chrono::seconds waited) {
    return u"another Orvelo command is running on this application folder: its lock file "_s + lockPath +
           u" was still held after waiting "_s + QString::number(waited.count()) + u" seconds"_s;
}

}  // namespace orvelo
