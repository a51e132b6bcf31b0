#pragma once

class QCoreApplication;

namespace orvelo {

// Qt's own texts in the window's language, Simplified Chinese: the standard buttons of message
// boxes (确定, 取消, 是, 否), the file-open dialog and the edit fields' context menus. The window's
// own texts are written in Chinese and are not translated. Loads qtbase_zh_CN from Qt's
// translations folder (Debian: qt6-translations-l10n) into a translator owned by `app`; false
// when the catalogue is not installed, and the window then shows Qt's English texts.
bool installQtTranslations(QCoreApplication& app);

}  // namespace orvelo
