#include "ui/MainWindow.h"

#include "app/PipelineSettings.h"
#include "pipeline/Analyzer.h"
#include "ui/CopilotWidget.h"
#include "ui/TimelineWidget.h"
#include "workspace/Workspace.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace Tessaryn {

namespace {

QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

void MainWindow::onAnalyzeReelRequested(int index) {
    if (workspace->getReel(index))
        currentReelIndex = index;
    analysisWasBatch = false;
    jobs->analyzeReel(index);
}

void MainWindow::offerLocalAnalysis(const QString& reelName, const QString& reason) {
    PipelineSettings settings = PipelineSettings::load();
    if (settings.analyzer == QLatin1String("local")) {
        showMessage(QMessageBox::Warning, QStringLiteral("Analysis Unavailable"), reason);
        return;
    }
    // Without a key the road still runs: the footage can be measured on this machine.
    QMessageBox box(QMessageBox::Question, QStringLiteral("API Key Missing"),
                    QStringLiteral("No Gemini API key is configured, so %1 cannot be sent to "
                                   "Gemini.<br><br>Analyze it on this machine instead? Nothing is "
                                   "uploaded: pauses and steady work are measured from the "
                                   "footage itself.<br><br>To use Gemini, create a free key at "
                                   "<a href='%2'>%2</a> and enter it under <b>File &gt; Project "
                                   "Settings &amp; Credentials</b>.")
                        .arg(reelName.isEmpty() ? QStringLiteral("the footage") : esc(reelName),
                             QStringLiteral("https://aistudio.google.com/apikey")),
                    QMessageBox::Yes | QMessageBox::No, this);
    // Rich text for the link, which the box opens in the browser; the reel name is escaped.
    box.setTextFormat(Qt::RichText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Analyze Locally"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Open Settings"));
    if (box.exec() != QMessageBox::Yes) {
        onOpenSettings();
        return;
    }
    settings.analyzer = QStringLiteral("local");
    if (!settings.save())
        copilotNotice(QStringLiteral("The choice of local analysis could not be saved; it holds "
                                     "for this session."));
    copilotNotice(QStringLiteral("Analysis runs on this machine from now on (Settings can switch "
                                 "back to Gemini)."));
    if (analysisWasBatch) {
        jobs->startBatch(JobKind::Analysis);
        return;
    }
    for (int i = 0; i < workspace->reels.size(); ++i) {
        if (workspace->reels.at(i).name == reelName)
            jobs->analyzeReel(i);
    }
}

void MainWindow::onRenderReelRequested(int index) {
    if (workspace->getReel(index))
        currentReelIndex = index;
    jobs->renderReel(index);
}

void MainWindow::onBatchAnalyzeRequested() {
    analysisWasBatch = true;
    jobs->startBatch(JobKind::Analysis);
}

void MainWindow::onBatchRenderRequested() {
    jobs->startBatch(JobKind::Render);
}

void MainWindow::onStitchMasterRequested() {
    jobs->stitchMaster();
}

QString MainWindow::progressFormat(qint64 elapsedMs, int percent) {
    const auto clock = [](qint64 ms) {
        const qint64 seconds = ms / 1000;
        return seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                                     .arg(seconds / 3600)
                                     .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                               : QStringLiteral("%1:%2")
                                     .arg(seconds / 60)
                                     .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    };
    QString text = QStringLiteral("%p% · %1 elapsed").arg(clock(elapsedMs));
    // Too early an estimate jumps about; after a few seconds and percent it settles.
    if (percent >= 3 && percent < 100 && elapsedMs >= 3000)
        text += QStringLiteral(" · ~%1 left").arg(clock(elapsedMs * (100 - percent) / percent));
    return text;
}

void MainWindow::onJobStarted(JobKind kind, const QString& subject, int clipCount) {
    jobClocks[int(kind)].start();
    progressBar->setFormat(progressFormat(0, 0));
    progressBar->setValue(0);
    progressBar->show();
    switch (kind) {
    case JobKind::Analysis: {
        const Analyzer* analyzer = jobs->currentAnalyzer();
        const QString who = analyzer ? analyzer->displayName() : QStringLiteral("Gemini");
        setStatus(QStringLiteral("Analyzing %1 via %2...").arg(subject, who));
        if (analyzer && analyzer->name() == QLatin1String("local")) {
            copilotSays(QStringLiteral("Measuring <b>%1</b> on this machine: stillness, scene "
                                       "changes and sound (nothing is uploaded)...")
                            .arg(esc(subject)));
            break;
        }
        copilotSays(QStringLiteral("Sending footage for <b>%1</b> to %2 for milestone "
                                   "recognition...")
                        .arg(esc(subject), esc(who)));
        break;
    }
    case JobKind::Render:
        setStatus(QStringLiteral("Rendering speed-ramped cut: %1...").arg(subject));
        copilotSays(QStringLiteral("Encoding speed-ramped MP4 (10x assembly, 1x milestones, "
                                   "pause cuts) for <b>%1</b>...")
                        .arg(esc(subject)));
        break;
    case JobKind::Stitch:
        setStatus(QStringLiteral("Stitching master release film..."));
        copilotSays(QStringLiteral("Stitching %1 rendered clips into master release: <b>%2</b>...")
                        .arg(QString::number(clipCount), esc(QFileInfo(subject).fileName())));
        break;
    }
}

void MainWindow::onJobProgress(JobKind kind, int percent, const QString& text) {
    progressBar->setValue(percent);
    const QElapsedTimer& clock = jobClocks[int(kind)];
    progressBar->setFormat(progressFormat(clock.isValid() ? clock.elapsed() : 0, percent));
    if (kind == JobKind::Analysis)
        setStatus(text);
    else if (kind == JobKind::Render)
        setStatus(QStringLiteral("Encoding cut (%1%)...").arg(percent));
}

void MainWindow::onJobRefused(ReelJobQueue::Refusal refusal, const QString& reelName,
                              const QString& detail) {
    switch (refusal) {
    case ReelJobQueue::Refusal::AnalyzerUnavailable:
        offerLocalAnalysis(reelName, detail);
        break;
    case ReelJobQueue::Refusal::NoSegments:
        showMessage(QMessageBox::Information, QStringLiteral("Analysis Required"),
                    QStringLiteral("This clip must be analyzed by Gemini before rendering."));
        break;
    case ReelJobQueue::Refusal::SkippedNoSegments:
        copilotNotice(
            QStringLiteral("Skipped %1: it has no analysed segments to render.").arg(reelName));
        break;
    case ReelJobQueue::Refusal::BatchRunning:
        copilotNotice(QStringLiteral("A batch is already running; it goes on."));
        break;
    case ReelJobQueue::Refusal::StitchRunning:
        copilotNotice(QStringLiteral("The master film is already being stitched."));
        break;
    case ReelJobQueue::Refusal::ReelBusy:
        copilotNotice(QStringLiteral("%1 is being worked on by another process (%2); it was "
                                     "left alone.")
                          .arg(reelName, detail));
        break;
    case ReelJobQueue::Refusal::StaleCutsLeftOut:
        copilotNotice(QStringLiteral("Left out of the master film: %1. Their cuts are older than "
                                     "their timelines (analysed again or edited after the "
                                     "render); render them again to include them.")
                          .arg(detail));
        break;
    case ReelJobQueue::Refusal::NoRenderedClips:
        showMessage(
            QMessageBox::Information, QStringLiteral("No Rendered Clips"),
            QStringLiteral("No rendered cuts available yet. Render individual reels first."));
        break;
    }
}

void MainWindow::onGeminiTokenUsage(qint64 prompt, qint64 candidates) {
    promptTokens += prompt;
    candidateTokens += candidates;
}

void MainWindow::reportAnalysisFiles(const JobOutcome& outcome) {
    if (!outcome.timelineSaved) {
        setStatus(QStringLiteral("Could not save the analysis of %1 to %2")
                      .arg(outcome.reelName, outcome.timelinePath));
        copilotSays(QStringLiteral("Could not save the analysis of <b>%1</b> to %2. It will be "
                                   "lost when the workspace is reopened.")
                        .arg(esc(outcome.reelName), esc(outcome.timelinePath)));
    }
    if (!outcome.failedExports.isEmpty())
        copilotNotice(QStringLiteral("Some marker or subtitle files of %1 could not be written.")
                          .arg(outcome.reelName));
}

void MainWindow::reportWorkspaceSave(const JobOutcome& outcome) {
    if (outcome.workspaceSaved)
        return;
    copilotNotice(QStringLiteral("Could not save workspace.json in %1; the reel statuses will be "
                                 "read again from the project's files when it is reopened.")
                      .arg(outcome.workspaceRoot));
}

void MainWindow::onGeminiFinished(const JobOutcome& outcome) {
    progressBar->hide();
    const QString& name = outcome.reelName;
    if (outcome.success) {
        ++analysisCount;
        const TimelineData& data = outcome.timeline;
        if (outcome.reelIndex >= 0) {
            currentReelIndex = outcome.reelIndex;
            // A new reading starts a new history: the hand edits it replaced are gone.
            editHistories.remove(name);
            // A new timeline makes the reel's cut old: show the reel from its source.
            if (outcome.reelIndex == playerReelIndex || playerReelIndex < 0) {
                if (const Reel* reel = workspace->getReel(outcome.reelIndex))
                    showReelInPlayer(outcome.reelIndex, reel->source_path);
            }
        }
        setStatus(QStringLiteral("Analysis complete for %1").arg(name));
        reportAnalysisFiles(outcome);
        const auto milestones =
            std::count_if(data.segments.cbegin(), data.segments.cend(), [](const Segment& s) {
                return s.classification == Classification::Milestone;
            });
        copilotSays(QStringLiteral("Successfully analyzed <b>%1</b>!<br>• Summary: %2<br>• Source "
                                   "Duration: %3s -> Cut Duration: %4s<br>• Segments: %5, of "
                                   "them milestones: %6")
                        .arg(esc(name), esc(data.summary),
                             QString::number(data.total_source_duration, 'f', 1),
                             QString::number(data.total_edited_duration, 'f', 1),
                             QString::number(data.segments.size()), QString::number(milestones)));
        if (outcome.reelIndex < 0)
            copilotNotice(QStringLiteral("%1 finished after its workspace was closed; its "
                                         "timeline and exports were saved in %2.")
                              .arg(name, outcome.workspaceRoot));
    } else {
        setStatus(QStringLiteral("Analysis failed: %1").arg(outcome.error));
        copilotSays(
            QStringLiteral("Analysis failed for <b>%1</b>: %2").arg(esc(name), esc(outcome.error)));
    }
    reportWorkspaceSave(outcome);
}

void MainWindow::onFfmpegFinished(const JobOutcome& outcome) {
    progressBar->hide();
    const QString& name = outcome.reelName;
    if (outcome.success) {
        setStatus(QStringLiteral("Render complete: %1").arg(name));
        copilotSays(QStringLiteral("Rendered cut complete: <b>%1</b>. Ready for preview.")
                        .arg(esc(QFileInfo(outcome.outputPath).fileName())));
        if (outcome.reelIndex >= 0)
            showReelInPlayer(outcome.reelIndex, outcome.outputPath);
        else
            copilotNotice(QStringLiteral("%1 finished after its workspace was closed; the cut "
                                         "was saved as %2.")
                              .arg(name, outcome.outputPath));
    } else {
        setStatus(QStringLiteral("Render failed: %1").arg(outcome.error));
        copilotSays(
            QStringLiteral("Render failed for <b>%1</b>: %2").arg(esc(name), esc(outcome.error)));
    }
    reportWorkspaceSave(outcome);
}

void MainWindow::onStitchFinished(const JobOutcome& outcome) {
    progressBar->hide();
    if (outcome.success) {
        setStatus(QStringLiteral("Master release film complete!"));
        copilotSays(QStringLiteral("Master release film created successfully:<br><b>%1</b>")
                        .arg(esc(outcome.outputPath)));
        showPreview(outcome.outputPath);
    } else {
        setStatus(QStringLiteral("Stitching failed."));
        copilotSays(QStringLiteral("Master film stitching failed: %1").arg(esc(outcome.error)));
    }
}

} // namespace Tessaryn
