#include "ui/MainWindow.h"

#include "app/PipelineSettings.h"
#include "pipeline/ReelOutputWriter.h"
#include "ui/CopilotWidget.h"
#include "ui/TimelineTrackEditor.h"
#include "ui/TimelineWidget.h"
#include "ui/VideoPlayerWidget.h"
#include "workspace/Workspace.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>

namespace Tessaryn {

void MainWindow::setupEditMenu() {
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    undoAction = addMenuAction(edit, QStringLiteral("&Undo"), &MainWindow::onUndoEdit,
                               QKeySequence(QStringLiteral("Ctrl+Z")));
    redoAction = addMenuAction(edit, QStringLiteral("&Redo"), &MainWindow::onRedoEdit,
                               QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    redoAction->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    updateUndoActions();
}

void MainWindow::installTrackEditor() {
    TimelineTrackEditor* editor = timelineWidget->trackEditor();
    editor->editCallback = [this](const TimelineData& edited, const QString& commandName) {
        onTimelineEdited(edited, commandName);
    };
    editor->refusedCallback = [this](const QString& reason) { setStatus(reason); };
    jobs->confirmReplaceEditsCallback = [this](const QString& reelName) {
        return confirmReplaceEdits(reelName);
    };
}

void MainWindow::trackShows(const Reel* reel) {
    TimelineTrackEditor* editor = timelineWidget->trackEditor();
    const QString name = reel ? reel->name : QString();
    if (name != trackReel)
        editor->clearSelection();
    trackReel = name;
    if (reel) {
        editor->setStreamFacts(reel->facts);
        editor->setRepetitiveSpeed(PipelineSettings::load().assembly_speed);
    }
    updateUndoActions();
}

int MainWindow::trackReelIndex() const {
    if (trackReel.isEmpty())
        return -1;
    for (int i = 0; i < workspace->reels.size(); ++i) {
        if (workspace->reels.at(i).name == trackReel)
            return i;
    }
    return -1;
}

bool MainWindow::mayEditTrackReel(int index) {
    if (index < 0) {
        setStatus(QStringLiteral("Open a reel on the track to edit its cut."));
        return false;
    }
    const QString& name = workspace->reels.at(index).name;
    if (!jobs->isWorkingOn(name))
        return true;
    // A running analysis would replace the edit, a running render would leave it out of the
    // cut while looking newer than it.
    setStatus(QStringLiteral("%1 is being analysed or rendered; edit it once that has finished.")
                  .arg(name));
    return false;
}

void MainWindow::onTimelineEdited(const TimelineData& edited, const QString& commandName) {
    const int index = trackReelIndex();
    if (!mayEditTrackReel(index))
        return;
    const Reel& reel = workspace->reels.at(index);
    // An edit is made on what the track shows; if the reel changed underneath (an analysis
    // landed meanwhile), it would overwrite that change.
    if (timelineWidget->timelineData().toJson() != reel.timeline.toJson()) {
        playerReelIndex = index;
        refreshTrack();
        setStatus(QStringLiteral("The track now shows the current cut of %1; make the edit again.")
                      .arg(reel.name));
        return;
    }
    editHistories[reel.name].record(reel.timeline, commandName);
    applyHandEdit(index, edited, QStringLiteral("%1: %2").arg(reel.name, commandName));
}

void MainWindow::onUndoEdit() {
    stepEditHistory(true);
}

void MainWindow::onRedoEdit() {
    stepEditHistory(false);
}

void MainWindow::stepEditHistory(bool back) {
    const int index = trackReelIndex();
    if (index < 0 || !editHistories.contains(trackReel) || !mayEditTrackReel(index))
        return;
    const Reel& reel = workspace->reels.at(index);
    TimelineHistory& history = editHistories[reel.name];
    const QString command = back ? history.undoName() : history.redoName();
    const std::optional<TimelineData> state =
        back ? history.undo(reel.timeline) : history.redo(reel.timeline);
    if (!state)
        return;
    applyHandEdit(index, *state,
                  (back ? QStringLiteral("Undone on %1: %2") : QStringLiteral("Redone on %1: %2"))
                      .arg(reel.name, command));
}

void MainWindow::applyHandEdit(int index, const TimelineData& data, const QString& doneText) {
    workspace->replaceReelTimeline(index, data);
    const Reel& reel = workspace->reels.at(index);
    // The track and a running review show the edit at once. The track's reel is the player's,
    // found by name in case a rescan moved it in the list.
    playerReelIndex = index;
    // The rendered film no longer is the cut: review it from the source, where the edit shows.
    const bool leftCut = videoPlayer->loadedPath() == reel.rendered_path &&
                         !videoPlayer->isReviewing() && reel.timeline.total_edited_duration > 0.0;
    if (leftCut)
        videoPlayer->setReviewing(true);
    refreshTrack();
    if (ReelOutputWriter::writeTimeline(reel, reel.timeline)) {
        setStatus(leftCut ? QStringLiteral("%1 — the rendered cut is older now; Preview Cut plays "
                                           "the edited cut until it is rendered again")
                                .arg(doneText)
                          : doneText);
        return;
    }
    // The edit stays on screen and in memory; the next edit or undo tries the file again.
    setStatus(
        QStringLiteral("Could not save the edit of %1 to %2").arg(reel.name, reel.timeline_path));
    copilotNotice(QStringLiteral("Could not save the hand edit of %1 to %2. The file keeps the "
                                 "cut as it was; check that the folder can be written to.")
                      .arg(reel.name, reel.timeline_path));
}

void MainWindow::updateUndoActions() {
    if (!undoAction || !redoAction)
        return;
    const auto found = editHistories.constFind(trackReel);
    const bool known = found != editHistories.constEnd();
    const QString undoName = known ? found->undoName() : QString();
    const QString redoName = known ? found->redoName() : QString();
    undoAction->setText(undoName.isEmpty() ? QStringLiteral("&Undo")
                                           : QStringLiteral("&Undo %1").arg(undoName));
    redoAction->setText(redoName.isEmpty() ? QStringLiteral("&Redo")
                                           : QStringLiteral("&Redo %1").arg(redoName));
    undoAction->setEnabled(!undoName.isEmpty());
    redoAction->setEnabled(!redoName.isEmpty());
}

bool MainWindow::confirmReplaceEdits(const QString& reelName) {
    const int answer =
        showMessage(QMessageBox::Question, QStringLiteral("Replace Hand Edits?"),
                    QStringLiteral("The cut of %1 was edited by hand. A new analysis replaces "
                                   "those edits with its own reading.\n\nAnalyze %1 again and "
                                   "replace the hand edits?")
                        .arg(reelName),
                    QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        return true;
    setStatus(QStringLiteral("Kept the hand edits of %1").arg(reelName));
    copilotNotice(
        QStringLiteral("Kept the hand edits of %1; it was not analysed again.").arg(reelName));
    return false;
}

void MainWindow::forgetEdits() {
    editHistories.clear();
    trackReel.clear();
    timelineWidget->trackEditor()->clearSelection();
    updateUndoActions();
}

} // namespace Tessaryn
