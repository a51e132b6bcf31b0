// Project1: the window's start-up.
#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>

#include "app/hv_client.h"
#include "app/qt_translations.h"
#include "db/data_module.h"
#include "shell/startup.h"

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The application name, not the display name: Qt appends a display name to every window
    // title on X11, and the window's caption must stay "Orvelo". The display name falls back to
    // this name, so the task bar and the default error box still read "Orvelo系统".
    QApplication::setApplicationName(orvelo::applicationTitle());
    // Before any widget exists: Qt's standard buttons take their texts when they are made.
    orvelo::installQtTranslations(app);

    QCommandLineParser parser;
    const QCommandLineOption appDirOption(
        u"app-dir"_s, u"Folder of hv.ini and data (default: the executable's folder)."_s, u"DIR"_s);
    parser.addOption(appDirOption);
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty() ? u"unexpected argument"_s : parser.errorText();
        std::fprintf(stderr, "orvelo: %s\nusage: orvelo [--app-dir DIR]\n", error.toLocal8Bit().constData());
        return 64;
    }
    const QString appDir =
        orvelo::applicationFolder(parser.value(appDirOption), QCoreApplication::applicationDirPath());

    orvelo::DataModule dtmdl_1;
    orvelo::Tfrm_hv_client frm_hv_client(dtmdl_1, appDir);
    if (!frm_hv_client.FormCreate()) {
        QMessageBox::information(nullptr, orvelo::startupFailureCaption(), orvelo::startupFailureText());
        return 3;
    }
    frm_hv_client.show();
    return QApplication::exec();
}
