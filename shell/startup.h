#pragma once

#include <QString>

namespace orvelo {

class DataModule;

// The application title: the task-bar entry and the caption of the default error box. The
// window's own caption stays "Orvelo".
QString applicationTitle();

// The one message of every start-up failure, shown with the information icon.
QString startupFailureText();
QString startupFailureCaption();

// The application folder that holds hv.ini and the folder "data": `appDirOption` (the value of
// --app-dir) when given, else the executable's folder. Always absolute and ending with "/".
QString applicationFolder(const QString& appDirOption, const QString& executableFolder);

// The database part of the window's creation: reads hv.ini of `appDir`, opens con_1 and the
// employee lists. False when the database cannot be used, whatever the reason; the reason is
// not shown in the window. A database server's own reason (libpq's text) is given to
// `serverReason` when asked, for the console.
bool openStartupDatabase(DataModule& data, const QString& appDir, QString* serverReason = nullptr);

}  // namespace orvelo
