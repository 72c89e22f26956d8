#pragma once

#include <QString>
#include <QStringList>

namespace Tessaryn {

// What the command line asks of a start.
class StartupOptions {
public:
    bool selfTest = false;
    QString workspacePath; // the first argument that is not an option; may be empty

    // "--version" or exactly "-v" anywhere after the program name.
    static bool isVersionQuery(int argc, const char* const* argv);
    // Walks the application's arguments from index 1.
    static StartupOptions fromArguments(const QStringList& arguments);

    // The workspace to open at start: the given path if it exists; without one (and outside the
    // self-test) the remembered one if it exists; else the default project folder if it exists.
    // Empty when nothing qualifies.
    QString workspaceToOpen(const QString& recentPath, const QString& projectsRoot) const;
};

} // namespace Tessaryn
