#pragma once

#include <QString>
#include <QStringList>

namespace Tessaryn {

class Workspace;

// The editor exports of a whole workspace: every analysed reel the master film takes, in its
// order, laid one after another on one timeline that references each reel's own clip. Written
// atomically into the release folder beside the master film.
class WorkspaceExportWriter {
public:
    struct Result {
        bool written = false;
        QString path;
        QStringList reels; // the reels the file holds, in order
        QString error;
    };

    // The formats that hold several clips on one timeline.
    static QStringList formats();
    // "<release>/<project name as a file stem>_Master_<source|edited>.<format>".
    static QString exportPath(const Workspace& workspace, const QString& format, bool edited);
    // Laid on each reel's stream facts as known; a reel without facts keeps its timeline's own
    // times on a 30 fps grid.
    static Result write(const Workspace& workspace, const QString& format, bool edited);
};

} // namespace Tessaryn
