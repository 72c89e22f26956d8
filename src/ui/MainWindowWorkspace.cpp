#include "ui/MainWindow.h"

#include "app/Config.h"
#include "pipeline/FootageProber.h"
#include "pipeline/ReelOutputWriter.h"
#include "pipeline/WorkspaceExportWriter.h"
#include "ui/CopilotWidget.h"
#include "ui/ReelWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/WorkspaceDialog.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLock.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

namespace Tessaryn {

std::unique_ptr<WorkspaceLock> MainWindow::lockProject(const QString& path) {
    const QFileInfo info(path);
    const QString root = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    auto lock = std::make_unique<WorkspaceLock>(WorkspaceLock::projectLockPath(root));
    // A folder that cannot hold a lock file cannot be written either: the open or create
    // goes on and reports that failure itself.
    if (lock->tryLock() || !lock->heldElsewhere())
        return lock;
    const QString holder = lock->holder();
    setStatus(QStringLiteral("%1 is open in another Tessaryn.").arg(root));
    showMessage(QMessageBox::Warning, QStringLiteral("Workspace In Use"),
                QStringLiteral("The workspace %1 is already open in another Tessaryn%2. Close it "
                               "there first: two studios on one project would overwrite each "
                               "other's cuts.")
                    .arg(root, holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(holder)));
    return nullptr;
}

void MainWindow::openWorkspace(const QString& path) {
    const QFileInfo info(path);
    const QString root = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    const bool sameProject = projectLock && workspace->root_path == root;
    std::unique_ptr<WorkspaceLock> lock = sameProject ? std::move(projectLock) : lockProject(path);
    if (!lock)
        return;
    if (!workspace->load(path)) {
        // The open project keeps its lock; a project that could not be read never held one.
        if (sameProject)
            projectLock = std::move(lock);
        setStatus(QStringLiteral("Could not open the workspace %1").arg(path));
        copilotNotice(QStringLiteral("Could not open %1: it is missing, unreadable or not a "
                                     "workspace.")
                          .arg(path));
        return;
    }
    projectLock = std::move(lock);
    // A queue belongs to the project it was started in.
    if (jobs->isBatchActive()) {
        jobs->stopBatch();
        copilotNotice(
            QStringLiteral("The batch queue stopped because another workspace was opened."));
    }
    reelWidget->refresh();
    forgetEdits();
    playerReelIndex = -1;
    refreshTrack();
    setWindowTitle(QStringLiteral("Tessaryn — %1 [%2]").arg(workspace->project_name, path));
    copilotNotice(QStringLiteral("Opened workspace: %1").arg(workspace->project_name));
    prober->start();
    copilotSays(QStringLiteral("Workspace <b>%1</b> loaded with %2 video reels.")
                    .arg(workspace->project_name.toHtmlEscaped(),
                         QString::number(workspace->reels.size())));
}

void MainWindow::onNewWorkspace() {
    WorkspaceDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.openExisting) {
        openWorkspace(dialog.existingPath);
        return;
    }
    const QString previousRoot = workspace->root_path;
    const QString name = dialog.projectName();
    const bool sameProject =
        projectLock && QFileInfo(dialog.projectDir()).absoluteFilePath() == previousRoot;
    QDir().mkpath(dialog.projectDir());
    std::unique_ptr<WorkspaceLock> lock =
        sameProject ? std::move(projectLock) : lockProject(dialog.projectDir());
    if (!lock)
        return;
    if (!workspace->create(dialog.projectDir(), name, dialog.sourceDir())) {
        if (sameProject)
            projectLock = std::move(lock);
        // Nothing was created: the project that was open stays open.
        if (!previousRoot.isEmpty())
            workspace->load(previousRoot);
        reelWidget->refresh();
        setStatus(QStringLiteral("Could not create the workspace in %1").arg(dialog.projectDir()));
        showMessage(QMessageBox::Warning, QStringLiteral("Workspace Not Created"),
                    QStringLiteral("Could not write workspace.json in %1. Check that the folder "
                                   "can be written to.")
                        .arg(dialog.projectDir()));
        return;
    }
    projectLock = std::move(lock);
    jobs->stopBatch();
    reelWidget->refresh();
    forgetEdits();
    playerReelIndex = -1;
    refreshTrack();
    setWindowTitle(QStringLiteral("Tessaryn — %1").arg(name));
    copilotNotice(QStringLiteral("Created new workspace: %1").arg(name));
    prober->start();
}

void MainWindow::onOpenWorkspace() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Workspace File"), Config::getProjectsRoot(),
        QStringLiteral("Workspace Files (workspace.json)"));
    if (!path.isEmpty())
        openWorkspace(path);
}

void MainWindow::onSaveWorkspace() {
    if (workspace->save()) {
        statusBar()->showMessage(QStringLiteral("Workspace saved successfully."), 3000);
        return;
    }
    setStatus(QStringLiteral("Could not save the workspace."));
    showMessage(QMessageBox::Warning, QStringLiteral("Workspace Not Saved"),
                QStringLiteral("Could not write workspace.json in %1. The file on disk is "
                               "unchanged; check that the folder can be written to and that the "
                               "disk has room.")
                    .arg(workspace->root_path.isEmpty() ? QStringLiteral("(no workspace open)")
                                                        : workspace->root_path));
}

void MainWindow::onReelActivated(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel)
        return;
    currentReelIndex = index;
    // A stale cut no longer shows the timeline beside it: the source is the honest preview.
    const bool stale = reel->cutIsStale();
    const QString preview = reel->hasCurrentCut() ? reel->rendered_path : reel->source_path;
    if (QFileInfo::exists(preview))
        showReelInPlayer(index, preview);
    QString status = QStringLiteral("Active: %1 (%2)").arg(reel->name, reel->statusText());
    if (stale)
        status += QStringLiteral(" — showing the source: the cut is older than its timeline; "
                                 "render again to update it");
    setStatus(status);
}

void MainWindow::onRescanSourceRequested() {
    workspace->scanSourceFootage();
    copilotNotice(QStringLiteral("Rescanned %1: Found %2 clips.")
                      .arg(workspace->source_dir, QString::number(workspace->reels.size())));
    prober->start();
}

int MainWindow::exportForAllReels(const QString& format, QStringList* failed) {
    int count = 0;
    for (const Reel& reel : std::as_const(workspace->reels)) {
        if (reel.timeline.segments.isEmpty())
            continue;
        // Bitwise '&': both axes are attempted even after one fails.
        if (ReelOutputWriter::writeExport(reel, reel.timeline, format, false, nullptr) &
            ReelOutputWriter::writeExport(reel, reel.timeline, format, true, nullptr))
            ++count;
        else
            *failed << reel.name;
    }
    return count;
}

void MainWindow::onExportMarkersRequested() {
    QStringList failed;
    const int count = exportForAllReels(QStringLiteral("csv"), &failed);
    const QString message = QStringLiteral("Exported DaVinci Resolve markers for %1 reels to %2.")
                                .arg(QString::number(count), workspace->getMarkersDir());
    statusBar()->showMessage(message, 5000);
    copilotNotice(message);
    reportExportFailures(failed);
}

void MainWindow::onExportSubtitlesRequested() {
    QStringList failed;
    const int count = exportForAllReels(QStringLiteral("srt"), &failed);
    const QString message = QStringLiteral("Exported SRT subtitles for %1 reels to %2.")
                                .arg(QString::number(count), workspace->getSubtitlesDir());
    statusBar()->showMessage(message, 5000);
    copilotNotice(message);
    reportExportFailures(failed);
}

void MainWindow::onExportEditorTimelineRequested(const QString& format) {
    QStringList failed;
    const int count = exportForAllReels(format, &failed);
    QString message = QStringLiteral("Exported .%1 timelines for %2 reels to %3.")
                          .arg(format, QString::number(count), workspace->getMarkersDir());
    // The whole film as well, one reel after another in the master's order.
    QString wholePath;
    for (bool edited : {false, true}) {
        const WorkspaceExportWriter::Result whole =
            WorkspaceExportWriter::write(*workspace, format, edited);
        if (whole.written)
            wholePath = whole.path;
        else if (!whole.reels.isEmpty())
            failed << QFileInfo(whole.path).fileName();
    }
    if (!wholePath.isEmpty())
        message += QStringLiteral(" The whole workspace is in %1.")
                       .arg(QFileInfo(wholePath).absolutePath());
    statusBar()->showMessage(message, 5000);
    copilotNotice(message);
    reportExportFailures(failed);
}

void MainWindow::reportExportFailures(const QStringList& reels) {
    if (!reels.isEmpty())
        copilotNotice(QStringLiteral("Could not write the files of: %1").arg(reels.join(", ")));
}

} // namespace Tessaryn
