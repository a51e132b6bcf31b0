#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "core/unique_fd.h"

namespace orvelo {

// The exclusive lock of one application folder: at most one terminal command (one that talks to a
// terminal or stores attendance or enrollment records) runs on a folder at a time, whether the
// window or orveloctl runs it. It is an flock(2) on `<folder>/orvelo.lock`, held by an open file
// descriptor, so the kernel lets go when the process ends however it ends: a crashed command never
// blocks the next one, and the file left behind means nothing by itself.
//
// The lock belongs to the open file, not to the process: a second AppFolderLock on the same folder
// in the same process waits for the first like any other holder. Do not take it inside a command
// that already holds it.
class AppFolderLock {
public:
    // `appDir` as applicationFolder() gives it (with or without the trailing separator).
    explicit AppFolderLock(const QString& appDir);
    AppFolderLock(const AppFolderLock&) = delete;
    AppFolderLock& operator=(const AppFolderLock&) = delete;

    // The lock file's path.
    const QString& path() const { return m_path; }

    // Takes the lock if no one holds it; returns at once. Throws FileError when the lock file
    // cannot be opened or created (a folder that does not exist, no permission).
    bool tryLock();
    // Takes the lock, waiting at most `wait` for another holder to let go (zero: tryLock). Throws
    // as tryLock does.
    bool lockFor(std::chrono::milliseconds wait);
    bool isLocked() const { return m_fd.isOpen(); }
    // Lets go (the destructor does, too).
    void unlock() { m_fd.reset(); }

    // The lock file's name inside the application folder.
    static QString fileName();

private:
    UniqueFd openFile() const;

    QString m_path;
    UniqueFd m_fd;  // open only while the lock is held
};

// How runUnderAppFolderLock ended.
enum class LockedRun {
    Ran,   // the lock was taken, `command` ran (whatever it did) and the lock was let go
    Busy,  // another holder kept the lock for the whole wait; `command` did not run
};

// Runs `command` holding the lock of `appDir`, waiting up to `wait` for it; the lock is let go when
// `command` returns or throws (what it throws passes on). A lock file that cannot be opened throws
// FileError before `command` would run.
LockedRun runUnderAppFolderLock(const QString& appDir, std::chrono::milliseconds wait,
                                const std::function<void()>& command);

// The window's warning box when another command holds the folder (caption, text).
QString appFolderBusyCaption();
QString appFolderBusyText();
// orveloctl's line on stderr (without the program name or the line end) after waiting `waited`.
QString appFolderBusyConsoleText(const QString& lockPath, std::chrono::seconds waited);

}  // namespace orvelo
