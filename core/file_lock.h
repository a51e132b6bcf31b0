#pragma once

#include <QString>
#include <chrono>

#include "core/unique_fd.h"

namespace orvelo {

// An exclusive flock(2) on one file, held by an open file descriptor, so the kernel lets go when
// the process ends however it ends: a crashed holder never blocks the next one, and the file left
// behind means nothing by itself. The file is created when missing, writable by the group as far
// as the umask allows, so that every operator of a shared folder can take the lock.
//
// The lock belongs to the open file, not to the process: a second FileLock on the same path in
// the same process waits for the first like any other holder. Do not take it inside code that
// already holds it.
class FileLock {
public:
    explicit FileLock(QString path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    const QString& path() const { return m_path; }

    // Takes the lock if no one holds it; returns at once. Throws FileError when the lock file
    // cannot be opened or created (a folder that does not exist, no permission).
    bool tryLock();
    // Takes the lock, waiting at most `wait` for another holder to let go (zero: tryLock). Throws
    // as tryLock does.
    bool lockFor(std::chrono::milliseconds wait);
    // Takes the lock, waiting as long as another holder keeps it. Throws as tryLock does.
    void lock();
    bool isLocked() const { return m_fd.isOpen(); }
    // Lets go (the destructor does, too).
    void unlock() { m_fd.reset(); }

private:
    UniqueFd openFile() const;
    [[noreturn]] void fail(const QString& what) const;

    QString m_path;
    UniqueFd m_fd;  // open only while the lock is held
};

// `<folder>/orvelo.lock`, the lock of one application folder: at most one terminal command (one
// that talks to a terminal or stores attendance or enrollment records) runs on a folder at a
// time, whether the window, orveloctl or a live watch runs it.
QString appFolderLockPath(const QString& appDir);

// The exclusive lock of one application folder. `appDir` as applicationFolder() gives it (with or
// without the trailing separator).
class AppFolderLock : public FileLock {
public:
    explicit AppFolderLock(const QString& appDir) : FileLock(appFolderLockPath(appDir)) {}
};

}  // namespace orvelo
