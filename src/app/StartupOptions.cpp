#include "app/StartupOptions.h"

#include "app/AppInfo.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace Tessaryn {

bool StartupOptions::isVersionQuery(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0)
            return true;
    }
    return false;
}

StartupOptions StartupOptions::fromArguments(const QStringList& arguments) {
    StartupOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--self-test"))
            options.selfTest = true;
        else if (!arg.startsWith(QLatin1Char('-')) && options.workspacePath.isEmpty())
            options.workspacePath = arg;
    }
    return options;
}

QString StartupOptions::workspaceToOpen(const QString& recentPath,
                                        const QString& projectsRoot) const {
    QString path = workspacePath;
    if (path.isEmpty() && !selfTest)
        path = recentPath;
    if (!path.isEmpty() && QFileInfo::exists(path))
        return path;
    if (selfTest)
        return QString();
    const QString fallback = QDir(projectsRoot).filePath(AppInfo::defaultProjectName());
    return QFileInfo(fallback).isDir() ? fallback : QString();
}

} // namespace Tessaryn
