#include "ui/MainWindow.h"

#include "ai/GeminiClient.h"
#include "app/Credentials.h"
#include "app/PipelineSettings.h"
#include "media/FFmpegEngine.h"
#include "media/Stitcher.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineMath.h"
#include "ui/CopilotWidget.h"
#include "ui/TimelineWidget.h"
#include "workspace/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

namespace Tessaryn {

namespace {

QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

bool MainWindow::isSameWorkspace(const ReelJob& job) const {
    return !workspace->root_path.isEmpty() && workspace->root_path == job.workspaceRoot;
}

int MainWindow::resolveJobReel(const ReelJob& job) const {
    if (!isSameWorkspace(job))
        return -1;
    for (int i = 0; i < workspace->reels.size(); ++i) {
        if (workspace->reels.at(i).name == job.reel.name)
            return i;
    }
    return -1;
}

void MainWindow::startJob(ReelJob& job, int index) {
    job.active = true;
    job.partOfBatch = batchActive && batchIndex == index;
    job.workspaceRoot = workspace->root_path;
    job.reel = *workspace->getReel(index);
    currentReelIndex = index;
}

void MainWindow::onAnalyzeReelRequested(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel)
        return;
    if (!Credentials::hasApiKey()) {
        // Without a key no reel of the queue can be analysed; waiting would only resume it
        // by surprise when some later job finishes.
        if (batchActive)
            stopBatch();
        showMessage(
            QMessageBox::Warning, QStringLiteral("API Key Missing"),
            QStringLiteral("Please configure your Gemini API Key in File > Settings first."));
        onOpenSettings();
        return;
    }
    if (analysisJob.active) {
        // One request at a time: the running one ends first and reports on its own reel.
        const bool keepBatch = batchActive && batchIndex == index;
        const bool savedBatch = batchActive;
        batchActive = false;
        gemini->cancel();
        if (analysisJob.active)
            onGeminiFinished(false, TimelineData(), QStringLiteral("Analysis cancelled."));
        batchActive = savedBatch && keepBatch;
    }

    startJob(analysisJob, index);
    const QString name = reel->name;
    const QString source = reel->source_path;
    workspace->updateReelStatus(index, ReelStatus::Analyzing);
    progressBar->setValue(0);
    progressBar->show();
    setStatus(QStringLiteral("Analyzing %1 via Gemini...").arg(name));
    copilotSays(QStringLiteral("Sending footage for <b>%1</b> to Gemini 3.8 Flash for milestone "
                               "recognition...")
                    .arg(esc(name)));
    const PipelineSettings pipeline = PipelineSettings::load();
    gemini->setEditParameters(pipeline.assembly_speed, pipeline.minimum_pause);
    gemini->analyzeVideo(source, Credentials::getApiKey(), pipeline.model);
}

void MainWindow::onGeminiProgress(const QString& text, int percent) {
    progressBar->setValue(percent);
    setStatus(text);
}

void MainWindow::onGeminiTokenUsage(qint64 prompt, qint64 candidates) {
    promptTokens += prompt;
    candidateTokens += candidates;
}

void MainWindow::writeAnalysisFiles(const Reel& reel, const TimelineData& data) {
    QDir().mkpath(QFileInfo(reel.timeline_path).absolutePath());
    if (!SafeFile::writeJsonObject(reel.timeline_path, data.toJson())) {
        setStatus(QStringLiteral("Could not save the analysis of %1 to %2")
                      .arg(reel.name, reel.timeline_path));
        copilotSays(QStringLiteral("Could not save the analysis of <b>%1</b> to %2. It will be "
                                   "lost when the workspace is reopened.")
                        .arg(esc(reel.name), esc(reel.timeline_path)));
    }
    // Bitwise '&': every file is attempted even after one fails.
    const bool exported =
        TimelineMath::exportDaVinciMarkersCsv(data, reel.source_markers_path, false, 30.0) &
        TimelineMath::exportDaVinciMarkersCsv(data, reel.edited_markers_path, true, 30.0) &
        TimelineMath::exportSrtSubtitles(data, reel.source_srt_path, false) &
        TimelineMath::exportSrtSubtitles(data, reel.edited_srt_path, true);
    if (!exported)
        copilotNotice(QStringLiteral("Some marker or subtitle files of %1 could not be written.")
                          .arg(reel.name));
}

void MainWindow::onGeminiFinished(bool success, const TimelineData& data, const QString& error) {
    progressBar->hide();
    if (!analysisJob.active)
        return; // not a job of this window's (already reported or detached)
    const ReelJob job = analysisJob;
    analysisJob.active = false;
    const int index = resolveJobReel(job);
    const QString name = job.reel.name;

    if (success) {
        ++analysisCount;
        if (index >= 0) {
            currentReelIndex = index;
            workspace->updateReelTimeline(index, data);
            timelineWidget->setTimelineData(data);
        }
        setStatus(QStringLiteral("Analysis complete for %1").arg(name));
        writeAnalysisFiles(job.reel, data);
        copilotSays(QStringLiteral("Successfully analyzed <b>%1</b>!<br>• Summary: %2<br>• Source "
                                   "Duration: %3s -> Cut Duration: %4s<br>• Milestones detected: "
                                   "%5 segments")
                        .arg(esc(name), esc(data.summary),
                             QString::number(data.total_source_duration, 'f', 1),
                             QString::number(data.total_edited_duration, 'f', 1),
                             QString::number(data.segments.size())));
        if (index < 0)
            copilotNotice(QStringLiteral("%1 finished after its workspace was closed; its "
                                         "timeline and exports were saved in %2.")
                              .arg(name, job.workspaceRoot));
    } else {
        if (index >= 0)
            workspace->updateReelStatus(index, ReelStatus::Error);
        setStatus(QStringLiteral("Analysis failed: %1").arg(error));
        copilotSays(QStringLiteral("Analysis failed for <b>%1</b>: %2").arg(esc(name), esc(error)));
    }
    if (index >= 0)
        workspace->save();
    if (batchActive && job.partOfBatch)
        processNextBatchItem();
}

void MainWindow::onRenderReelRequested(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel)
        return;
    if (reel->timeline.segments.isEmpty()) {
        if (batchActive && batchRenderMode && batchIndex == index) {
            // A queue never stalls on a reel it cannot render.
            copilotNotice(QStringLiteral("Skipped %1: it has no analysed segments to render.")
                              .arg(reel->name));
            processNextBatchItem();
            return;
        }
        showMessage(QMessageBox::Information, QStringLiteral("Analysis Required"),
                    QStringLiteral("This clip must be analyzed by Gemini before rendering."));
        return;
    }
    if (renderJob.active) {
        const bool keepBatch = batchActive && batchIndex == index;
        const bool savedBatch = batchActive;
        batchActive = false;
        ffmpeg->cancel();
        if (renderJob.active)
            onFfmpegFinished(false, QString(), QStringLiteral("Render cancelled."));
        batchActive = savedBatch && keepBatch;
    }

    startJob(renderJob, index);
    const Reel job = renderJob.reel;
    workspace->updateReelStatus(index, ReelStatus::Rendering);
    progressBar->setValue(0);
    progressBar->show();
    setStatus(QStringLiteral("Rendering speed-ramped cut: %1...").arg(job.name));
    copilotSays(QStringLiteral("Encoding speed-ramped MP4 (10x assembly, 1x milestones, pause "
                               "cuts) for <b>%1</b>...")
                    .arg(esc(job.name)));
    ffmpeg->renderEditedVideo(job.source_path, job.timeline, job.rendered_path);
}

void MainWindow::onFfmpegProgress(int percent, double seconds, double totalSeconds) {
    Q_UNUSED(seconds);
    Q_UNUSED(totalSeconds);
    progressBar->setValue(percent);
    setStatus(QStringLiteral("Encoding cut (%1%)...").arg(percent));
}

void MainWindow::onFfmpegFinished(bool success, const QString& outputPath, const QString& error) {
    progressBar->hide();
    if (!renderJob.active)
        return;
    const ReelJob job = renderJob;
    renderJob.active = false;
    const int index = resolveJobReel(job);
    const QString name = job.reel.name;

    if (success) {
        if (index >= 0)
            workspace->updateReelStatus(index, ReelStatus::Completed);
        setStatus(QStringLiteral("Render complete: %1").arg(name));
        copilotSays(QStringLiteral("Rendered cut complete: <b>%1</b>. Ready for preview.")
                        .arg(esc(QFileInfo(outputPath).fileName())));
        if (index >= 0)
            showPreview(outputPath);
        else
            copilotNotice(QStringLiteral("%1 finished after its workspace was closed; the cut "
                                         "was saved as %2.")
                              .arg(name, outputPath));
    } else {
        if (index >= 0)
            workspace->updateReelStatus(index, ReelStatus::Error);
        setStatus(QStringLiteral("Render failed: %1").arg(error));
        copilotSays(QStringLiteral("Render failed for <b>%1</b>: %2").arg(esc(name), esc(error)));
    }
    if (index >= 0)
        workspace->save();
    if (batchActive && job.partOfBatch)
        processNextBatchItem();
}

bool MainWindow::qualifiesForBatch(const Reel& reel) const {
    if (batchRenderMode)
        return reel.status == ReelStatus::Analyzed;
    return reel.status == ReelStatus::Pending || reel.status == ReelStatus::Error;
}

int MainWindow::nextBatchCandidate(int from) const {
    for (int i = qMax(0, from); i < workspace->reels.size(); ++i) {
        if (qualifiesForBatch(workspace->reels.at(i)))
            return i;
    }
    return -1;
}

void MainWindow::startBatch(bool renderMode) {
    if (batchActive) {
        copilotNotice(QStringLiteral("A batch is already running; it goes on."));
        return;
    }
    batchActive = true;
    batchRenderMode = renderMode;
    batchIndex = -1;
    processNextBatchItem();
}

void MainWindow::onBatchAnalyzeRequested() {
    startBatch(false);
}
void MainWindow::onBatchRenderRequested() {
    startBatch(true);
}

void MainWindow::processNextBatchItem() {
    const int next = nextBatchCandidate(batchIndex + 1);
    if (next < 0) {
        stopBatch();
        setStatus(QStringLiteral("Batch operation complete."));
        copilotNotice(QStringLiteral("Batch processing queue finished."));
        return;
    }
    batchIndex = next;
    if (batchRenderMode)
        onRenderReelRequested(next);
    else
        onAnalyzeReelRequested(next);
}

void MainWindow::stopBatch() {
    batchActive = false;
    batchIndex = -1;
}

void MainWindow::onStitchMasterRequested() {
    if (stitchRunning) {
        copilotNotice(QStringLiteral("The master film is already being stitched."));
        return;
    }
    QStringList clips;
    for (const Reel& reel : std::as_const(workspace->reels)) {
        if (QFileInfo::exists(reel.rendered_path))
            clips << reel.rendered_path;
    }
    if (clips.isEmpty()) {
        showMessage(
            QMessageBox::Information, QStringLiteral("No Rendered Clips"),
            QStringLiteral("No rendered cuts available yet. Render individual reels first."));
        return;
    }
    const QString output = workspace->getMasterPath();
    progressBar->setValue(0);
    progressBar->show();
    setStatus(QStringLiteral("Stitching master release film..."));
    copilotSays(QStringLiteral("Stitching %1 rendered clips into master release: <b>%2</b>...")
                    .arg(QString::number(clips.size()), esc(QFileInfo(output).fileName())));
    stitchRunning = true;
    stitcher->stitchClips(clips, output);
}

void MainWindow::onStitchProgress(int percent) {
    progressBar->setValue(percent);
}

void MainWindow::onStitchFinished(bool success, const QString& outputPath, const QString& error) {
    progressBar->hide();
    stitchRunning = false;
    if (success) {
        setStatus(QStringLiteral("Master release film complete!"));
        copilotSays(QStringLiteral("Master release film created successfully:<br><b>%1</b>")
                        .arg(esc(outputPath)));
        showPreview(outputPath);
    } else {
        setStatus(QStringLiteral("Stitching failed."));
        copilotSays(QStringLiteral("Master film stitching failed: %1").arg(esc(error)));
    }
}

} // namespace Tessaryn
