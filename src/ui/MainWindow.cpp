#include "ui/MainWindow.h"

#include "app/AppInfo.h"
#include "app/Config.h"
#include "app/Credentials.h"
#include "app/PipelineSettings.h"
#include "pipeline/FootageProber.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/UpdateConfig.h"
#include "selfupdate/UpdateInstaller.h"
#include "timeline/TimelineData.h"
#include "ui/CopilotWidget.h"
#include "ui/ElidedLabel.h"
#include "ui/MetadataDialog.h"
#include "ui/ReelWidget.h"
#include "ui/ReleaseDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/TimelineTrackEditor.h"
#include "ui/TimelineWidget.h"
#include "ui/UsageDialog.h"
#include "ui/VideoPlayerWidget.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLock.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace Tessaryn {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), dispatcher(this) {
    workspace = new Workspace(this);
    jobs = new ReelJobQueue(workspace, this);
    prober = new FootageProber(workspace, this);

    selfupdate::UpdateInstaller::cleanupStaleBackup(std::string());
    selfUpdate = std::make_shared<selfupdate::SelfUpdateController>(
        defaultSelfUpdateConfig(), selfupdate::UpdateConfig::installOptions(), std::string(),
        nullptr);
    updateState = selfUpdate->state();

    setupUi();
    setupMenus();
    bindSelfUpdateController();
    installEngineCallbacks();
    installProberCallbacks();
    installTrackEditor();
    updateStatusBar();
}

MainWindow::~MainWindow() {
    // The controller may outlive the window (it is shared): it must not call back into it.
    detachSelfUpdateController();
    // Nothing an engine reports from here on may reach a window that is being taken apart.
    detachEngineCallbacks();
    prober->reelProbedCallback = nullptr;
    prober->finishedCallback = nullptr;
    workspace->onReelsChanged = nullptr;
    workspace->onReelStatusChanged = nullptr;
}

void MainWindow::setupUi() {
    setWindowTitle(QStringLiteral("Tessaryn — AI-Assisted Video Editing Suite"));
    setWindowIcon(Config::getAppIcon());
    // Opens within the screen it lands on, leaving room for the desktop's own panels.
    setMinimumSize(960, 600);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : QSize(1500, 900);
    resize(std::min(1500, room.width()), std::min(900, room.height()));
    // The size and place the user left it at, as long as it still fits this screen.
    const QByteArray remembered = Config::getWindowGeometry();
    if (!remembered.isEmpty() && restoreGeometry(remembered) &&
        (width() > room.width() || height() > room.height()))
        resize(std::min(width(), room.width()), std::min(height(), room.height()));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    updateBanner = new QWidget(central);
    updateBanner->setObjectName(QStringLiteral("updateBanner"));
    // Scoped to the banner itself: unscoped, the dark background would reach its buttons and
    // put the gold button's dark text on dark.
    updateBanner->setAttribute(Qt::WA_StyledBackground, true);
    updateBanner->setStyleSheet(
        QStringLiteral("QWidget#updateBanner { background-color: #1A1D25; border: 1px solid "
                       "#D4AF37; border-radius: 5px; }"));
    auto* bannerLayout = new QHBoxLayout(updateBanner);
    bannerLayout->setContentsMargins(10, 5, 10, 5);
    bannerLayout->setSpacing(8);
    // A long error must not widen the window: it is elided, whole in the tooltip and in the
    // dialog "Release Details..." opens.
    updateBannerLabel = new ElidedLabel(updateBanner);
    updateBannerLabel->setStyleSheet(
        QStringLiteral("border: none; color: #F8E7B4; font-weight: 600;"));
    updateBannerProgress = new QProgressBar(updateBanner);
    updateBannerProgress->setFixedSize(140, 16);
    updateBannerProgress->hide();
    updateBannerInstallButton = new QPushButton(QStringLiteral("Download && Update"), updateBanner);
    updateBannerInstallButton->setObjectName(QStringLiteral("goldButton"));
    updateBannerDetailsButton = new QPushButton(QStringLiteral("Release Details..."), updateBanner);
    updateBannerDismissButton = new QPushButton(QStringLiteral("Dismiss"), updateBanner);
    bannerLayout->addWidget(updateBannerLabel);
    bannerLayout->addWidget(updateBannerProgress);
    bannerLayout->addStretch(1);
    bannerLayout->addWidget(updateBannerInstallButton);
    bannerLayout->addWidget(updateBannerDetailsButton);
    bannerLayout->addWidget(updateBannerDismissButton);
    connect(updateBannerInstallButton, &QPushButton::clicked, this,
            [this] { triggerAppUpdateDownloadAndInstall(); });
    connect(updateBannerDetailsButton, &QPushButton::clicked, this,
            [this] { onCheckForUpdates(); });
    connect(updateBannerDismissButton, &QPushButton::clicked, this,
            [this] { dismissAppUpdateBanner(); });
    updateBanner->hide();
    layout->addWidget(updateBanner, 0);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    reelWidget = new ReelWidget(splitter);
    reelWidget->setWorkspace(workspace);
    reelWidget->setMinimumWidth(320);

    auto* centrePane = new QWidget(splitter);
    auto* centreLayout = new QVBoxLayout(centrePane);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    centreLayout->setSpacing(8);
    videoPlayer = new VideoPlayerWidget(centrePane);
    timelineWidget = new TimelineWidget(centrePane);
    centreLayout->addWidget(videoPlayer, 1);
    centreLayout->addWidget(timelineWidget, 0);

    copilot = new CopilotWidget(splitter);
    copilot->setMinimumWidth(300);
    const PipelineSettings pipeline = PipelineSettings::load();
    copilot->setEditParameters(pipeline.assembly_speed, pipeline.minimum_pause);
    copilot->setModelName(PipelineSettings::displayName(pipeline.model));

    splitter->addWidget(reelWidget);
    splitter->addWidget(centrePane);
    splitter->addWidget(copilot);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 1);
    // The reel list opens wide enough for a take's name beside its status and lengths; on a
    // small screen the Copilot gives up room before the player's controls would be cut. The
    // sizes add up to the room there is: more would be cut back by the stretch factors.
    const int across = width() - 16 - 2 * splitter->handleWidth();
    const int reels = std::clamp(across * 9 / 25, 400, 480);
    const int talk = std::clamp(across - reels - centrePane->minimumSizeHint().width(), 300, 360);
    splitter->setSizes({reels, across - reels - talk, talk});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    reelWidget->reelActivatedCallback = [this](int index) { onReelActivated(index); };
    reelWidget->analyzeRequestedCallback = [this](int index) { onAnalyzeReelRequested(index); };
    reelWidget->renderRequestedCallback = [this](int index) { onRenderReelRequested(index); };
    reelWidget->rescanRequestedCallback = [this] { onRescanSourceRequested(); };
    reelWidget->newWorkspaceCallback = [this] { onNewWorkspace(); };
    reelWidget->openWorkspaceCallback = [this] { onOpenWorkspace(); };
    videoPlayer->positionChangedCallback = [this](double seconds, double duration) {
        onPlaybackPositionChanged(seconds, duration);
    };
    timelineWidget->seekRequestedCallback = [this](double s) { onTimelineSeekRequested(s); };
    videoPlayer->reviewModeChangedCallback = [this](bool) { refreshTrack(); };
    timelineWidget->unusedKeyCallback = [this](QKeyEvent* event) {
        return !videoPlayer->loadedPath().isEmpty() &&
               videoPlayer->transportKey(event->key(), event->modifiers());
    };
    videoPlayer->statusCallback = [this](const QString& message) {
        statusBar()->showMessage(message, 10000);
    };
    copilot->batchAnalyzeCallback = [this] { onBatchAnalyzeRequested(); };
    copilot->batchRenderCallback = [this] { onBatchRenderRequested(); };
    copilot->exportMarkersCallback = [this] { onExportMarkersRequested(); };
    copilot->exportSubtitlesCallback = [this] { onExportSubtitlesRequested(); };
    copilot->stitchCallback = [this] { onStitchMasterRequested(); };
    copilot->reelRequestCallback = [this](const QString& verb, const QString& name) {
        onReelRequest(verb, name);
    };

    progressBar = new QProgressBar(this);
    progressBar->setFixedWidth(300); // room for the times beside the percentage
    progressBar->hide();
    statusLabel = new QLabel(QStringLiteral("Ready"), this);
    statusLabel->setStyleSheet(QStringLiteral("color: #D4AF37; font-weight: bold;"));
    // Error texts from engines and the network are shown as they are, never as markup.
    statusLabel->setTextFormat(Qt::PlainText);
    // A long status is cut at the window's edge (whole in the tooltip) instead of widening it.
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLabel->setMinimumWidth(1);
    vaultLabel = new QLabel(this);
    updateStatusButton = new QPushButton(QStringLiteral("Check for Updates"), this);
    updateStatusButton->setStyleSheet(
        QStringLiteral("QPushButton { font-size: 11px; padding: 2px 8px; margin-right: 4px; }"));
    connect(updateStatusButton, &QPushButton::clicked, this, [this] { onCheckForUpdates(); });
    statusBar()->addWidget(statusLabel, 1);
    statusBar()->addPermanentWidget(vaultLabel);
    statusBar()->addPermanentWidget(updateStatusButton);
    statusBar()->addPermanentWidget(progressBar);
    // Ends a running analysis, render, stitch or batch; shown only while one runs.
    cancelJobsButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelJobsButton->setObjectName(QStringLiteral("cancelJobsButton"));
    cancelJobsButton->setToolTip(QStringLiteral("Stop the running job and the batch"));
    cancelJobsButton->hide();
    connect(cancelJobsButton, &QPushButton::clicked, this, [this] { jobs->cancelAll(); });
    statusBar()->addPermanentWidget(cancelJobsButton);
}

void MainWindow::addEditorExport(QMenu* menu, const QString& text, const char* format) {
    const QString name = QString::fromLatin1(format);
    connect(menu->addAction(text), &QAction::triggered, this,
            [this, name] { onExportEditorTimelineRequested(name); });
}

QAction* MainWindow::addMenuAction(QMenu* menu, const QString& text, void (MainWindow::*handler)(),
                                   const QKeySequence& shortcut) {
    QAction* action = menu->addAction(text);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
}

void MainWindow::setupMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addMenuAction(file, QStringLiteral("&New Workspace..."), &MainWindow::onNewWorkspace,
                  QKeySequence::New);
    addMenuAction(file, QStringLiteral("&Open Workspace..."), &MainWindow::onOpenWorkspace,
                  QKeySequence::Open);
    addMenuAction(file, QStringLiteral("&Save Workspace"), &MainWindow::onSaveWorkspace,
                  QKeySequence::Save);
    file->addSeparator();
    addMenuAction(file, QStringLiteral("&Project Settings && Credentials..."),
                  &MainWindow::onOpenSettings);
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    setupEditMenu();

    QMenu* project = menuBar()->addMenu(QStringLiteral("&Project"));
    addMenuAction(project, QStringLiteral("&Rescan Source Footage"),
                  &MainWindow::onRescanSourceRequested);
    addMenuAction(project, QStringLiteral("&Batch Analyze All Pending Reels"),
                  &MainWindow::onBatchAnalyzeRequested);
    addMenuAction(project, QStringLiteral("&Batch Render All Analyzed Clips"),
                  &MainWindow::onBatchRenderRequested);
    project->addSeparator();
    addMenuAction(project, QStringLiteral("&Assemble Master Release Film"),
                  &MainWindow::onStitchMasterRequested);
    addMenuAction(project, QStringLiteral("Release &Order..."), &MainWindow::onReleaseOrder);
    project->addSeparator();
    addMenuAction(project, QStringLiteral("&Project && Creator Metadata..."),
                  &MainWindow::onOpenMetadata);

    QMenu* exports = menuBar()->addMenu(QStringLiteral("&Export"));
    addMenuAction(exports, QStringLiteral("Export &DaVinci Resolve Markers (CSV)..."),
                  &MainWindow::onExportMarkersRequested);
    addMenuAction(exports, QStringLiteral("Export SubRip &Subtitles (.srt)..."),
                  &MainWindow::onExportSubtitlesRequested);
    exports->addSeparator();
    // Editable timelines for other editors, one line each.
    addEditorExport(exports, QStringLiteral("Export DaVinci Resolve Marker &EDL (.edl)"), "edl");
    addEditorExport(exports, QStringLiteral("Export &Final Cut Pro XML (.fcpxml)"), "fcpxml");
    addEditorExport(exports, QStringLiteral("Export &Kdenlive/Shotcut Timeline (.mlt)"), "mlt");
    addEditorExport(exports, QStringLiteral("Export &OpenTimelineIO Timeline (.otio)"), "otio");

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    addMenuAction(view, QStringLiteral("&AI Token && Cost Telemetry..."), &MainWindow::onOpenUsage);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addMenuAction(help, QStringLiteral("Check for &Updates..."), &MainWindow::onCheckForUpdates);
    help->addSeparator();
    addMenuAction(help, QStringLiteral("&About Tessaryn..."), &MainWindow::onAbout);
}

void MainWindow::installEngineCallbacks() {
    jobs->jobStartedCallback = [this](JobKind kind, const QString& subject, int clips) {
        onJobStarted(kind, subject, clips);
        updateCancelButton();
    };
    jobs->progressCallback = [this](JobKind kind, int percent, const QString& text) {
        onJobProgress(kind, percent, text);
    };
    jobs->usageCallback = [this](qint64 prompt, qint64 candidates) {
        onGeminiTokenUsage(prompt, candidates);
    };
    jobs->jobFinishedCallback = [this](const JobOutcome& outcome) {
        if (outcome.kind == JobKind::Analysis)
            onGeminiFinished(outcome);
        else if (outcome.kind == JobKind::Render)
            onFfmpegFinished(outcome);
        else
            onStitchFinished(outcome);
        updateCancelButton();
    };
    jobs->refusedCallback = [this](ReelJobQueue::Refusal refusal, const QString& reel,
                                   const QString& detail) { onJobRefused(refusal, reel, detail); };
    jobs->batchFinishedCallback = [this] {
        setStatus(QStringLiteral("Batch operation complete."));
        copilotNotice(QStringLiteral("Batch processing queue finished."));
        updateCancelButton();
    };
}

void MainWindow::updateCancelButton() {
    cancelJobsButton->setVisible(jobs->hasRunningJob() || jobs->isBatchActive());
}

void MainWindow::installProberCallbacks() {
    // Lengths appear as they are learned, a few reels at a time; the project is saved once at
    // the end so the facts are not probed again on the next opening.
    prober->reelProbedCallback = [this](int index) {
        probedAny = true;
        // Boundaries on the track snap to the frames the clip turned out to have.
        if (index == trackReelIndex())
            timelineWidget->trackEditor()->setStreamFacts(workspace->reels.at(index).facts);
        if (++probedSinceRedraw >= 8) {
            probedSinceRedraw = 0;
            reelWidget->refresh();
        }
    };
    prober->finishedCallback = [this] {
        probedSinceRedraw = 0;
        if (!probedAny)
            return;
        probedAny = false;
        reelWidget->refresh();
        if (!workspace->root_path.isEmpty() && !workspace->save())
            copilotNotice(QStringLiteral("Could not save workspace.json in %1; the clips will be "
                                         "probed again next time.")
                              .arg(workspace->root_path));
    };
}

void MainWindow::detachEngineCallbacks() {
    jobs->jobStartedCallback = nullptr;
    jobs->progressCallback = nullptr;
    jobs->usageCallback = nullptr;
    jobs->jobFinishedCallback = nullptr;
    jobs->refusedCallback = nullptr;
    jobs->batchFinishedCallback = nullptr;
    jobs->confirmReplaceEditsCallback = nullptr;
}

QString MainWindow::vaultText() {
    switch (Credentials::getApiKeySource()) {
    case Credentials::Source::None:
        return QStringLiteral("Gemini Vault: Missing API Key");
    case Credentials::Source::SecretService:
        return QStringLiteral("Gemini Vault: Active (system keyring)");
    case Credentials::Source::File:
        return QStringLiteral("Gemini Vault: Active (local file)");
    case Credentials::Source::Environment:
        return QStringLiteral("Gemini Vault: Active (environment variable)");
    case Credentials::Source::DotEnv:
        return QStringLiteral("Gemini Vault: Active (.env file)");
    case Credentials::Source::CredentialManager:
        break;
    }
    return QStringLiteral("Gemini Vault: Active");
}

void MainWindow::updateStatusBar() {
    const QString text = vaultText();
    vaultLabel->setText(text);
    const bool missing = Credentials::getApiKeySource() == Credentials::Source::None;
    vaultLabel->setStyleSheet(
        missing ? QStringLiteral("color: #E74C3C; font-size: 11px; margin-right: 8px;")
                : QStringLiteral("color: #2ECC71; font-size: 11px; margin-right: 8px;"));
}

bool MainWindow::hasRunningJob() const {
    return jobs->hasRunningJob();
}

void MainWindow::onReelRequest(const QString& verb, const QString& name) {
    int index = -1;
    for (int i = 0; i < workspace->reels.size(); ++i) {
        if (workspace->reels.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index < 0) {
        copilotSays(QStringLiteral("There is no reel named <b>%1</b> in this workspace.")
                        .arg(name.toHtmlEscaped()));
        return;
    }
    const Reel& reel = workspace->reels.at(index);
    if (verb == QLatin1String("analyze")) {
        onAnalyzeReelRequested(index);
    } else if (verb == QLatin1String("render")) {
        onRenderReelRequested(index);
    } else {
        copilotSays(QStringLiteral("<b>%1</b>: %2, %3 segments, %4 s of source, %5 s in the cut.")
                        .arg(reel.name.toHtmlEscaped(), reel.statusText(),
                             QString::number(reel.timeline.segments.size()),
                             QString::number(reel.timeline.total_source_duration, 'f', 1),
                             QString::number(reel.timeline.total_edited_duration, 'f', 1)));
    }
}

void MainWindow::endJobsAndQuit() {
    stopAllJobs();
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

void MainWindow::stopAllJobs() {
    jobs->stopAll();
    progressBar->hide();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (hasRunningJob()) {
        const int answer = showMessage(
            QMessageBox::Question, QStringLiteral("Job in Progress"),
            QStringLiteral("An analysis, render or stitch is still running. Stop it and close "
                           "Tessaryn?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        stopAllJobs();
    }
    Config::setWindowGeometry(saveGeometry());
    event->accept();
}

void MainWindow::setStatus(const QString& text) {
    statusLabel->setText(text);
    statusLabel->setToolTip(text);
}

void MainWindow::copilotSays(const QString& html) {
    copilot->addMessage(QStringLiteral("Copilot"), html, true);
}

void MainWindow::copilotNotice(const QString& text) {
    // The panel shows notices as plain text, so outside values in them need no escaping here.
    copilot->addSystemNotice(text);
}

int MainWindow::showMessage(QMessageBox::Icon icon, const QString& title, const QString& text,
                            QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, this);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

void MainWindow::onOpenSettings() {
    SettingsDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    updateStatusBar();
    const PipelineSettings pipeline = PipelineSettings::load();
    copilot->setEditParameters(pipeline.assembly_speed, pipeline.minimum_pause);
    copilot->setModelName(PipelineSettings::displayName(pipeline.model));
    copilotNotice(QStringLiteral("Settings updated successfully."));
}

void MainWindow::onOpenMetadata() {
    MetadataDialog dialog(this);
    dialog.setMetadata(workspace->metadata);
    if (dialog.exec() != QDialog::Accepted)
        return;
    workspace->metadata = dialog.metadata();
    copilotNotice(QStringLiteral("Metadata updated: %1 (%2) by %3")
                      .arg(dialog.subjectTitle(), dialog.category(), dialog.creator()));
    saveChoices(QStringLiteral("metadata"));
}

void MainWindow::onOpenUsage() {
    // The workspace's own totals, over every session that worked on it.
    const UsageTotals& usage = workspace->usage;
    UsageDialog dialog(usage.prompt_tokens, usage.candidate_tokens, usage.analyses, this);
    dialog.exec();
}

void MainWindow::onReleaseOrder() {
    ReleaseDialog dialog(*workspace, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    workspace->setReleaseOrder(dialog.order(), dialog.excluded());
    saveChoices(QStringLiteral("release order"));
    if (dialog.stitchRequested())
        onStitchMasterRequested();
}

void MainWindow::saveChoices(const QString& what) {
    // Without an open project the choice holds for this session only.
    if (workspace->root_path.isEmpty() || workspace->save())
        return;
    setStatus(QStringLiteral("Could not save the %1.").arg(what));
    copilotNotice(QStringLiteral("Could not save the %1 in %2/workspace.json; it holds until "
                                 "Tessaryn closes.")
                      .arg(what, workspace->root_path));
}

void MainWindow::onAbout() {
    QMessageBox::about(
        this, QStringLiteral("About Tessaryn"),
        QStringLiteral("<h3>Tessaryn %1 (Tessaryn)</h3>"
                       "<p><b>AI-Assisted Video Editing & Production Suite</b></p>"
                       "<p>A cross-platform studio written in C++17 with Qt %2 Widgets.</p>"
                       "<p>© 2026 Tolvane. All rights reserved.</p>")
            .arg(AppInfo::applicationVersion(), QString::fromLatin1(qVersion())));
}

void MainWindow::onPlaybackPositionChanged(double seconds, double duration) {
    timelineWidget->setPlayheadSeconds(seconds, duration);
}

void MainWindow::onTimelineSeekRequested(double seconds) {
    videoPlayer->seekSeconds(seconds);
}

void MainWindow::showPreview(const QString& path) {
    playerReelIndex = -1;
    videoPlayer->loadVideo(path);
    refreshTrack();
}

void MainWindow::showReelInPlayer(int index, const QString& path) {
    playerReelIndex = index;
    videoPlayer->loadVideo(path);
    refreshTrack();
}

void MainWindow::refreshTrack() {
    const Reel* reel = workspace->getReel(playerReelIndex);
    if (!reel) {
        playerReelIndex = -1;
        videoPlayer->setReviewSource(QString(), TimelineData(), StreamFacts());
        timelineWidget->clear();
        trackShows(nullptr);
        return;
    }
    const bool edited =
        videoPlayer->isReviewing() || videoPlayer->loadedPath() != reel->source_path;
    timelineWidget->setAxis(edited ? TimelineAxis::Edited : TimelineAxis::Source);
    timelineWidget->setTimelineData(reel->timeline);
    videoPlayer->setReviewSource(reel->source_path, reel->timeline, reel->facts);
    trackShows(reel);
}

} // namespace Tessaryn
