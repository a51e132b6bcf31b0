#include "shell/app_folder_lock.h"

#include "shell/startup.h"

using namespace Qt::StringLiterals;

namespace orvelo {

LockedRun runUnderAppFolderLock(const QString& appDir, std::chrono::milliseconds wait,
                                const std::function<void()>& command) {
    return runUnderAppFolderLock(appDir, wait, [&command](AppFolderLock&) { command(); });
}

LockedRun runUnderAppFolderLock(const QString& appDir, std::chrono::milliseconds wait,
                                const std::function<void(AppFolderLock&)>& command) {
    AppFolderLock lock(appDir);
    if (!lock.lockFor(wait)) return LockedRun::Busy;
    command(lock);
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
