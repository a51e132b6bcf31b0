// orveloctl: the window's commands on the console.
#include <QCoreApplication>
#include <cstdio>

#include "cli/orveloctl.h"
#include "shell/startup.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(orvelo::applicationTitle());
    return orvelo::cli::runOrveloctl(QCoreApplication::arguments(), stdout, stderr);
}
