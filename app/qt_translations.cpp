#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace orvelo {

bool installQtTranslations(QCoreApplication& app) {
    // The language is the window's, not the desktop's: an operator on an English desktop still
    // gets boxes whose buttons match the Chinese texts around them.
    auto* translator = new QTranslator(&app);
    if (!translator->load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace orvelo
