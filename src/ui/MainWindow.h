#pragma once

#include "app/UiDispatcher.h"
#include "pipeline/ReelJob.h"
#include "pipeline/ReelJobQueue.h"
#include "selfupdate/UpdateState.h"
#include "timeline/TimelineHistory.h"
#include "workspace/Reel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QWidget;

namespace selfupdate {
class SelfUpdateController;
struct CheckerConfig;
} // namespace selfupdate

namespace Tessaryn {

class CopilotWidget;
class ElidedLabel;
class FootageProber;
class ReelWidget;
class SelfUpdateDialog;
class TimelineData;
class TimelineWidget;
class VideoPlayerWidget;
class Workspace;
class WorkspaceLock;

// The application's one top-level window: it owns the workspace and the job queue, wires their
// callbacks to its handlers and reports every step in the status bar, the Copilot panel and,
// for blocking problems, a message box. The road of a reel itself lives in the queue.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void openWorkspace(const QString& path);
    void onNewWorkspace();
    void onOpenWorkspace();
    void onSaveWorkspace();

    void onReelActivated(int index);
    void onAnalyzeReelRequested(int index);
    void onRenderReelRequested(int index);
    void onRescanSourceRequested();
    void onBatchAnalyzeRequested();
    void onBatchRenderRequested();
    void onStitchMasterRequested();
    // Chooses the master film's order and the reels it leaves out; may stitch right after.
    void onReleaseOrder();
    // A typed copilot request about one reel, found by name in any letter case.
    void onReelRequest(const QString& verb, const QString& name);
    void onExportMarkersRequested();
    void onExportSubtitlesRequested();
    // Writes the format on both axes for every analysed reel, beside its marker lists.
    void onExportEditorTimelineRequested(const QString& format);

    void onOpenMetadata();
    void onOpenSettings();
    void onOpenUsage();
    void onAbout();

    // The presentation of the job queue's reports.
    void onJobStarted(JobKind kind, const QString& subject, int clipCount);
    void onJobProgress(JobKind kind, int percent, const QString& text);
    void onJobRefused(ReelJobQueue::Refusal refusal, const QString& reelName,
                      const QString& detail);
    void onGeminiTokenUsage(qint64 prompt, qint64 candidates);
    void onGeminiFinished(const JobOutcome& outcome);
    void onFfmpegFinished(const JobOutcome& outcome);
    void onStitchFinished(const JobOutcome& outcome);
    void onPlaybackPositionChanged(double seconds, double duration);
    void onTimelineSeekRequested(double seconds);

    // Hand edits of the reel on the track: each is saved at once and can be undone while the
    // workspace stays open.
    void onTimelineEdited(const TimelineData& edited, const QString& commandName);
    void onUndoEdit();
    void onRedoEdit();
    QAction* undoEditAction() const { return undoAction; }
    QAction* redoEditAction() const { return redoAction; }
    // The reel the timeline track shows; empty when none.
    QString trackReelName() const { return trackReel; }

    void updateStatusBar();
    // The job progress bar's text: the percentage, the time taken and, once it can be
    // estimated, the time left (as a QProgressBar format, "%p%" standing for the percentage).
    static QString progressFormat(qint64 elapsedMs, int percent);
    // Ends every job without asking (their children and partial files go with them) and quits.
    void endJobsAndQuit();

    // The update controller's side of the window: banner, status-bar button and dialog.
    static selfupdate::CheckerConfig defaultSelfUpdateConfig();
    selfupdate::SelfUpdateController* selfUpdateController() const { return selfUpdate.get(); }
    std::shared_ptr<selfupdate::SelfUpdateController> selfUpdateControllerShared() const {
        return selfUpdate;
    }
    const selfupdate::UpdateState& currentSelfUpdateState() const { return updateState; }
    bool isUpdateBannerVisible() const;
    QString updateBannerText() const;
    bool wasQuitRequestedByUpdate() const { return quitRequestedByUpdate; }
    void setSelfUpdateController(std::shared_ptr<selfupdate::SelfUpdateController> controller);
    void bindSelfUpdateController();
    void checkForAppUpdates(bool userInitiated);
    void triggerAppUpdateDownloadAndInstall();
    void cancelAppUpdateDownload();
    void dismissAppUpdateBanner();
    void registerUpdateDialog(SelfUpdateDialog* dialog);
    void unregisterUpdateDialog(SelfUpdateDialog* dialog);
    void handleSelfUpdateStateChanged(const selfupdate::UpdateState& state);
    void handleSelfUpdateQuitRequested();
    void onCheckForUpdates();

    // Read access for the status bar, the panels and tests.
    Workspace* currentWorkspace() const { return workspace; }
    QLabel* statusLabelWidget() const { return statusLabel; }
    QLabel* vaultLabelWidget() const { return vaultLabel; }
    QProgressBar* jobProgressBar() const { return progressBar; }
    CopilotWidget* copilotPanel() const { return copilot; }
    ReelWidget* reelPanel() const { return reelWidget; }
    TimelineWidget* timelinePanel() const { return timelineWidget; }
    VideoPlayerWidget* playerPanel() const { return videoPlayer; }
    ReelJobQueue* jobQueue() const { return jobs; }
    bool isBatchActive() const { return jobs->isBatchActive(); }
    qint64 promptTokenCount() const { return promptTokens; }
    qint64 candidateTokenCount() const { return candidateTokens; }
    int analysisCountSoFar() const { return analysisCount; }
    // Whether an analysis, render or stitch is in flight.
    bool hasRunningJob() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupUi();
    void setupMenus();
    QAction* addMenuAction(QMenu* menu, const QString& text, void (MainWindow::*handler)(),
                           const QKeySequence& shortcut = QKeySequence());
    void installEngineCallbacks();
    void setupEditMenu();
    void installTrackEditor();
    // The track shows the reel (none: null) from now on; its editor learns the reel's frame
    // grid and the undo actions its history.
    void trackShows(const Reel* reel);
    int trackReelIndex() const;
    // Refuses, with the reason in the status bar, while a job works on the reel.
    bool mayEditTrackReel(int index);
    void applyHandEdit(int index, const TimelineData& data, const QString& doneText);
    void stepEditHistory(bool back);
    void updateUndoActions();
    // Whether an analysis may replace the reel's hand edits; the user is asked.
    bool confirmReplaceEdits(const QString& reelName);
    void forgetEdits();
    void installProberCallbacks();
    void detachEngineCallbacks();
    void updateCancelButton();

    // Takes the project's lock for the folder path names (or whose workspace.json it is);
    // tells the user and returns nothing when another studio has it open.
    std::unique_ptr<WorkspaceLock> lockProject(const QString& path);
    // Without a usable analyzer (no key): offers to measure the footage locally instead.
    void offerLocalAnalysis(const QString& reelName, const QString& reason);
    void reportAnalysisFiles(const JobOutcome& outcome);
    void reportWorkspaceSave(const JobOutcome& outcome);
    void reportExportFailures(const QStringList& reels);
    // Both axes of one format for every analysed reel; the names of the reels that failed.
    int exportForAllReels(const QString& format, QStringList* failed);
    void addEditorExport(QMenu* menu, const QString& text, const char* format);
    // A clip that is no reel's (the master film): the track is emptied.
    void showPreview(const QString& path);
    // The reel's clip (its cut or its source) in the player and its timeline on the track.
    void showReelInPlayer(int index, const QString& path);
    // The track always belongs to the player's clip, on the axis the player plays.
    void refreshTrack();
    // Where the key lives, in the status bar's words.
    static QString vaultText();
    // Ends every job without letting their reports reach the window.
    void stopAllJobs();
    void updateSelfUpdateBannerUi();
    // Clears every callback the window gave the controller and stops its worker.
    void detachSelfUpdateController();

    // Saves workspace.json after the user changed a stored choice; a failure is told.
    void saveChoices(const QString& what);
    void copilotSays(const QString& html);
    void copilotNotice(const QString& text);
    void setStatus(const QString& text);
    int showMessage(QMessageBox::Icon icon, const QString& title, const QString& text,
                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    Workspace* workspace = nullptr;
    ReelJobQueue* jobs = nullptr;
    FootageProber* prober = nullptr;
    int probedSinceRedraw = 0;
    bool probedAny = false;
    std::unique_ptr<WorkspaceLock> projectLock;
    UiDispatcher dispatcher;

    ReelWidget* reelWidget = nullptr;
    VideoPlayerWidget* videoPlayer = nullptr;
    TimelineWidget* timelineWidget = nullptr;
    CopilotWidget* copilot = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* vaultLabel = nullptr;

    QWidget* updateBanner = nullptr;
    ElidedLabel* updateBannerLabel = nullptr;
    QProgressBar* updateBannerProgress = nullptr;
    QPushButton* updateBannerInstallButton = nullptr;
    QPushButton* updateBannerDetailsButton = nullptr;
    QPushButton* updateBannerDismissButton = nullptr;
    QPushButton* updateStatusButton = nullptr;
    QPushButton* cancelJobsButton = nullptr;
    bool updateBannerDismissed = false;

    std::shared_ptr<selfupdate::SelfUpdateController> selfUpdate;
    selfupdate::UpdateState updateState;
    SelfUpdateDialog* updateDialog = nullptr;
    bool quitRequestedByUpdate = false;
    // Bumped on every binding, so states queued by a replaced controller are ignored.
    int selfUpdateBinding = 0;

    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QString trackReel;
    // Per reel name, for the open workspace only.
    QHash<QString, TimelineHistory> editHistories;
    // Since each kind of job started, for the time taken and left.
    QElapsedTimer jobClocks[3];
    int currentReelIndex = -1;
    int playerReelIndex = -1; // the reel whose clip the player holds; -1 for none
    bool analysisWasBatch = false;
    qint64 promptTokens = 0;
    qint64 candidateTokens = 0;
    int analysisCount = 0;
};

} // namespace Tessaryn
