#pragma once

#include "workspace/ProjectMetadata.h"
#include "workspace/Reel.h"
#include "workspace/UsageTotals.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace Tessaryn {

// The project model: a project folder, the read-only footage folder it draws clips from, and
// its reels. Persists itself as workspace.json in the project folder. Every file a reel writes
// lies inside the project folder at a path derived from the folder and the reel's name, never
// at a path read from workspace.json, so a moved project keeps working and a tampered file
// cannot direct writes elsewhere.
class Workspace : public QObject {
public:
    static constexpr qint64 MaxWorkspaceFileBytes = 64 * 1024 * 1024;

    QString project_name;
    QString root_path;
    QString source_dir; // Config::defaultFootageFolder() until set
    QList<Reel> reels;
    // The master film's order as the user set it (reel names; reels not named follow in
    // natural order) and the reels it leaves out. Both empty until the user chooses.
    QStringList release_order;
    QStringList release_excluded;
    ProjectMetadata metadata;
    UsageTotals usage;
    // Whether create and load make this project the one the studio reopens; headless runs
    // leave the user's choice alone.
    bool remembersRecent = true;

    std::function<void()> onReelsChanged;
    std::function<void(int, ReelStatus)> onReelStatusChanged;

    explicit Workspace(QObject* parent = nullptr);

    // A new project with an empty reel list; false when workspace.json could not be written.
    bool create(const QString& rootPath, const QString& projectName, const QString& sourceDir);
    // path is the project folder or its workspace.json. On failure nothing changes, so a later
    // save cannot overwrite a damaged file or mix two projects. Reel paths are derived afresh;
    // a timeline missing at its derived path is still read from the stored path.
    bool load(const QString& path);
    bool save();
    void scanSourceFootage();

    QString getTimelinesDir() const;
    QString getMarkersDir() const;
    QString getSubtitlesDir() const;
    QString getRenderedDir() const;
    QString getReleaseDir() const;
    QString getTempDir() const;
    // "<release>/<project name as a file stem>_Master_Release.mp4".
    QString getMasterPath() const;

    // The reels that go into the master film and the workspace-wide exports, in film order:
    // the stored order first, the other reels after it in natural order, excluded ones left out.
    QList<const Reel*> releaseOrder() const;
    // Every reel in film order, the excluded ones included (for choosing the order).
    QList<const Reel*> filmOrder() const;
    // Stored with the next save. Names of reels not in the workspace are kept, so a clip
    // that is back after a rescan takes its old place.
    void setReleaseOrder(const QStringList& order, const QStringList& excluded);
    // Locale-aware order in which "Take 9" comes before "Take 10".
    static bool naturalLess(const QString& a, const QString& b);

    Reel* getReel(int index);
    Reel* findReelByName(const QString& name);
    void updateReelStatus(int index, ReelStatus status);
    void updateReelTimeline(int index, const TimelineData& data);
    // A hand edit: the timeline changes, the status stays (no analysis ran); the status
    // callback still fires so that views redraw the reel.
    void replaceReelTimeline(int index, const TimelineData& data);
    // Kept in memory; stored with the next save.
    void updateReelFacts(int index, const StreamFacts& facts);

    static QString workspaceFileName() { return QStringLiteral("workspace.json"); }
    // A name made safe to be one file name inside a folder: path separators, "." and ".."
    // components and characters Windows refuses in file names cannot lead elsewhere.
    static QString fileStem(const QString& name);

private:
    QString subdir(const char* name) const;
    Reel newReelFor(const QString& name, const QString& sourcePath) const;
    void derivePaths(Reel& reel) const;
    void readStoredTimelines(const std::vector<QString>& storedPaths);
};

} // namespace Tessaryn
