#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "core/file_lock.h"

namespace orvelo {

// The exclusive lock of one application folder is AppFolderLock (core/file_lock.h): an flock(2)
// on `<folder>/orvelo.lock`. Here is what the front ends do with it.

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
// The same, `command` given the lock it runs under, to let go early once its work is done (a
// command whose closing box waits for the operator). Letting go twice is harmless.
LockedRun runUnderAppFolderLock(const QString& appDir, std::chrono::milliseconds wait,
                                const std::function<void(AppFolderLock&)>& command);

// The window's warning box when another command holds the folder (caption, text).
QString appFolderBusyCaption();
QString appFolderBusyText();
// orveloctl's line on stderr (without the program name or the line end) after waiting `waited`.
QString appFolderBusyConsoleText(const QString& lockPath, std::chrono::seconds waited);

}  // namespace orvelo
