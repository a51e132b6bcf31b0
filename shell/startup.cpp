#include "shell/startup.h"

#include <QDir>

#include "db/data_module.h"
#include "db/startup.h"
#include "directory/employee_lists.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QString applicationTitle() {
    return u"Orvelo系统"_s;
}

QString startupFailureText() {
    return QString::fromUtf16(kDatabaseFailureText);
}

QString startupFailureCaption() {
    return QString::fromUtf16(kDatabaseFailureCaption);
}

QString applicationFolder(const QString& appDirOption, const QString& executableFolder) {
    const QString chosen = appDirOption.isEmpty() ? executableFolder : appDirOption;
    QString folder = QDir::cleanPath(QDir(chosen).absolutePath());
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder;
}

bool openStartupDatabase(DataModule& data, const QString& appDir, QString* serverReason) {
    return openDatabaseAtStartup(
        data, appDir, [&data] { OpenEmployeeLists(data); }, serverReason);
}

}  // namespace orvelo
