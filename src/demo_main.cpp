// Writes the demo workspace and prints its folder; the studio is then opened on it.
#include "app/AppInfo.h"
#include "app/Config.h"
#include "workspace/DemoWorkspace.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <cstdio>

using namespace Tessaryn;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Same identity as the studio, so the demo becomes its remembered workspace.
    AppInfo::applyIdentity();

    const QStringList args = QCoreApplication::arguments();
    const QString projectsRoot = args.size() > 1 ? args.at(1) : Config::getProjectsRoot();
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        std::fputs("tessaryn-demo: ffmpeg was not found on PATH\n", stderr);
        return 1;
    }

    const DemoWorkspace::Result result = DemoWorkspace::ensure(projectsRoot, ffmpeg);
    if (!result.ok) {
        std::fprintf(stderr, "tessaryn-demo: %s\n", qUtf8Printable(result.error));
        return 1;
    }
    std::printf("%s\n", qUtf8Printable(result.workspacePath));
    return 0;
}
