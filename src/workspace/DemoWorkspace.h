#pragma once

#include <QString>

namespace Tessaryn {

// A small ready-made project for a first start: three generated sample clips, two of them
// already analysed from fixed answers so they can be rendered and stitched without an API key.
class DemoWorkspace {
public:
    struct Result {
        bool ok = false;
        QString workspacePath;
        QString error;
    };

    static QString projectName(); // names itself a demo
    static QString folderName();  // the workspace folder under the projects root
    static QString footageFolderName();

    // Builds the demo under projectsRoot unless its workspace.json exists already, in which case
    // the existing demo is kept as the user left it. Clips are made with the given ffmpeg.
    static Result ensure(const QString& projectsRoot, const QString& ffmpegProgram);
};

} // namespace Tessaryn
