#include "cli/CoversCommand.h"
#include "cli/ReportCommand.h"
#include "cli/Tool.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    std::unique_ptr<QCoreApplication> app;
    if (cli::wantsReport(argc, argv) || cli::wantsCovers(argc, argv)) {
        // Reports and drawn covers need fonts, not a screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cli::runTool(QCoreApplication::arguments().mid(1), out, err);
}
