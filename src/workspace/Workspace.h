#pragma once

#include "workspace/Reel.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Tessaryn {

// The project model: a project folder, the read-only footage folder it draws clips from, and
// its reels. Persists itself as workspace.json in the project folder.
class Workspace : public QObject {
public:
    static constexpr qint64 MaxWorkspaceFileBytes = 64 * 1024 * 1024;

    QString project_name;
    QString root_path;
    QString source_dir = QStringLiteral("W:/");
    QList<Reel> reels;
    // Whether create and load make this project the one the studio reopens; headless runs
    // leave the user's choice alone.
    bool remembersRecent = true;

    std::function<void()> onReelsChanged;
    std::function<void(int, ReelStatus)> onReelStatusChanged;

    explicit Workspace(QObject* parent = nullptr);

    // A new project with an empty reel list; false when workspace.json could not be written.
    bool create(const QString& rootPath, const QString& projectName, const QString& sourceDir);
    // path is the project folder or its workspace.json. On failure nothing changes, so a later
    // save cannot overwrite a damaged file or mix two projects.
    bool load(const QString& path);
    bool save();
    void scanSourceFootage();

    QString getTimelinesDir() const;
    QString getMarkersDir() const;
    QString getSubtitlesDir() const;
    QString getRenderedDir() const;
    QString getReleaseDir() const;
    QString getTempDir() const;

    Reel* getReel(int index);
    Reel* findReelByName(const QString& name);
    void updateReelStatus(int index, ReelStatus status);
    void updateReelTimeline(int index, const TimelineData& data);

    static QString workspaceFileName() { return QStringLiteral("workspace.json"); }

private:
    QString subdir(const char* name) const;
    Reel newReelFor(const QString& name, const QString& sourcePath) const;
};

} // namespace Tessaryn
