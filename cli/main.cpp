// orveloctl: the window's commands on the console.
#include <QCoreApplication>
#include <cstdio>

#include "shell/startup.h"
#include "cli/orveloctl.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(orvelo::applicationTitle());
    return orvelo::cli::runOrveloctl(QCoreApplication::arguments(), stdout, stderr);
}
