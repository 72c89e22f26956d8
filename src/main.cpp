#include "app/AppInfo.h"
#include "app/Config.h"
#include "app/StartupOptions.h"
#include "app/TerminationSignals.h"
#include "app/Theme.h"
#include "selfupdate/UpdateInstaller.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

using namespace Tessaryn;

namespace {

void printLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before anything else exists: no settings, no cleanup, no window.
    if (StartupOptions::isVersionQuery(argc, argv)) {
        printLine(AppInfo::versionLine());
        return 0;
    }

    selfupdate::UpdateInstaller::cleanupStaleBackup(std::string());

    QApplication app(argc, argv);
    AppInfo::applyIdentity();
    QApplication::setWindowIcon(Config::getAppIcon());
    Theme::applyTheme(app);

    MainWindow window(nullptr);
    // A logout or `kill` ends the jobs (children and partial files with them), then the studio.
    TerminationSignals::install([&window](int) { window.endJobsAndQuit(); });

    const StartupOptions options = StartupOptions::fromArguments(QApplication::arguments());
    const QString recent = options.workspacePath.isEmpty() && !options.selfTest
                               ? Config::getRecentWorkspacePath()
                               : QString();
    const QString toOpen = options.workspaceToOpen(recent, Config::getProjectsRoot());
    if (!toOpen.isEmpty())
        window.openWorkspace(toOpen);

    window.show();
    QTimer::singleShot(0, [&window] { window.checkForAppUpdates(false); });
    if (options.selfTest) {
        QTimer::singleShot(350, Qt::PreciseTimer, &app, [] {
            printLine(AppInfo::selfTestLine());
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
