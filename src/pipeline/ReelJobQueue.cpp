#include "pipeline/ReelJobQueue.h"

#include "app/PipelineSettings.h"
#include "media/FFmpegEngine.h"
#include "media/Stitcher.h"
#include "pipeline/Analyzer.h"
#include "pipeline/AnalyzerRegistry.h"
#include "pipeline/ReelOutputWriter.h"
#include "workspace/FootageCheck.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLock.h"

#include <QFileInfo>

namespace Tessaryn {

ReelJobQueue::ReelJobQueue(Workspace* model, QObject* parent)
    : QObject(parent), workspace(model), ffmpeg(new FFmpegEngine(this)),
      stitcher(new Stitcher(this)) {
    analyzerFactory = [](QObject* owner) {
        const PipelineSettings settings = PipelineSettings::load();
        return AnalyzerRegistry::create(settings.analyzer, settings, owner);
    };
    installEngineCallbacks();
}

ReelJobQueue::~ReelJobQueue() {
    stopAll();
}

void ReelJobQueue::installEngineCallbacks() {
    ffmpeg->progressCallback = [this](int percent, double, double) {
        if (progressCallback)
            progressCallback(JobKind::Render, percent, QString());
    };
    ffmpeg->finishedCallback = [this](bool ok, const QString& out, const QString& error) {
        onRenderFinished(ok, out, error);
    };
    stitcher->progressCallback = [this](int percent) {
        if (progressCallback)
            progressCallback(JobKind::Stitch, percent, QString());
    };
    stitcher->finishedCallback = [this](bool ok, const QString& out, const QString& error) {
        onStitchFinished(ok, out, error);
    };
}

bool ReelJobQueue::isRunning(JobKind kind) const {
    switch (kind) {
    case JobKind::Analysis:
        return analysisJob.active;
    case JobKind::Render:
        return renderJob.active;
    case JobKind::Stitch:
        return stitchRunning;
    }
    return false;
}

bool ReelJobQueue::isWorkingOn(const QString& reelName) const {
    for (const ReelJob* job : {&analysisJob, &renderJob}) {
        if (job->active && job->reel.name == reelName && job->workspaceRoot == workspace->root_path)
            return true;
    }
    return false;
}

bool ReelJobQueue::hasRunningJob() const {
    return analysisJob.active || renderJob.active || stitchRunning;
}

void ReelJobQueue::stopAll() {
    // Marked ended first: the reports that cancelling raises find no job to report on.
    batchActive = false;
    batchIndex = -1;
    analysisJob.active = false;
    renderJob.active = false;
    stitchRunning = false;
    if (analyzer)
        analyzer->cancel();
    dropFactsProbe();
    dropExportProbe();
    ffmpeg->cancel();
    stitcher->cancel();
    analysisLock.reset();
    renderLock.reset();
}

void ReelJobQueue::cancelAll() {
    stopBatch();
    if (analyzer && analysisJob.active)
        analyzer->cancel();
    if (renderJob.active)
        ffmpeg->cancel();
    if (stitchRunning)
        stitcher->cancel();
}

bool ReelJobQueue::lockReel(std::unique_ptr<WorkspaceLock>& lock, int index, JobKind kind) {
    const Reel& reel = workspace->reels.at(index);
    const QString stem = QFileInfo(reel.timeline_path).completeBaseName();
    lock = std::make_unique<WorkspaceLock>(WorkspaceLock::reelLockPath(
        workspace->root_path, stem,
        kind == JobKind::Render ? QStringLiteral("render") : QStringLiteral("analysis")));
    // Without room for a lock file the job's own writes fail and report the reason.
    if (lock->tryLock() || !lock->heldElsewhere())
        return true;
    const QString holder = lock->holder();
    lock.reset();
    const bool batchStep = batchActive && batchIndex == index;
    refuse(Refusal::ReelBusy, reel.name, holder);
    if (batchStep)
        processNextBatchItem();
    return false;
}

int ReelJobQueue::resolveJobReel(const ReelJob& job) const {
    if (workspace->root_path.isEmpty() || workspace->root_path != job.workspaceRoot)
        return -1;
    for (int i = 0; i < workspace->reels.size(); ++i) {
        if (workspace->reels.at(i).name == job.reel.name)
            return i;
    }
    return -1;
}

void ReelJobQueue::startJob(ReelJob& job, int index) {
    job.active = true;
    job.partOfBatch = batchActive && batchIndex == index;
    job.workspaceRoot = workspace->root_path;
    job.reel = *workspace->getReel(index);
}

void ReelJobQueue::preempt(ReelJob& job, int index, JobKind kind) {
    if (!job.active)
        return;
    // One job of a kind at a time: the running one ends first and reports on its own reel.
    // The batch survives only when the new request is its own next step.
    const bool keepBatch = batchActive && batchIndex == index;
    const bool savedBatch = batchActive;
    batchActive = false;
    if (kind == JobKind::Analysis) {
        if (analyzer)
            analyzer->cancel();
        if (job.active)
            onAnalysisFinished(false, TimelineData(), QStringLiteral("Analysis cancelled."));
    } else {
        dropFactsProbe();
        ffmpeg->cancel();
        if (job.active)
            onRenderFinished(false, QString(), QStringLiteral("Render cancelled."));
    }
    batchActive = savedBatch && keepBatch;
}

void ReelJobQueue::refuse(Refusal refusal, const QString& reelName, const QString& detail) {
    if (refusedCallback)
        refusedCallback(refusal, reelName, detail);
}

void ReelJobQueue::replaceAnalyzer(std::unique_ptr<Analyzer> next) {
    if (analyzer) {
        // It may be inside one of its own callbacks: released later, never reporting again.
        analyzer->progressCallback = nullptr;
        analyzer->usageCallback = nullptr;
        analyzer->finishedCallback = nullptr;
        analyzer->deleteLater();
    }
    analyzer = next.release();
    analyzer->setParent(this);
    analyzer->progressCallback = [this](const QString& text, int percent) {
        onAnalysisProgress(text, percent);
    };
    analyzer->usageCallback = [this](qint64 prompt, qint64 candidates) {
        // Usage belongs to the project the analysis was started for.
        if (analysisJob.active && analysisJob.workspaceRoot == workspace->root_path) {
            workspace->usage.prompt_tokens += prompt;
            workspace->usage.candidate_tokens += candidates;
        }
        if (usageCallback)
            usageCallback(prompt, candidates);
    };
    analyzer->finishedCallback = [this](bool ok, const TimelineData& data, const QString& error) {
        onAnalysisFinished(ok, data, error);
    };
}

void ReelJobQueue::analyzeReel(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel)
        return;
    // A new analysis writes its own exports; an older one's late rewrite must not follow.
    dropExportProbe();
    std::unique_ptr<Analyzer> next = analyzerFactory ? analyzerFactory(this) : nullptr;
    const QString reason =
        next ? next->unavailableReason() : QStringLiteral("No analyzer is available.");
    if (!reason.isEmpty()) {
        // Every reel of the queue would fail the same way: it stops instead.
        stopBatch();
        refuse(Refusal::AnalyzerUnavailable, reel->name, reason);
        return;
    }
    if (!mayReplaceEdits(index))
        return;
    preempt(analysisJob, index, JobKind::Analysis);
    if (!workspace->getReel(index) || !lockReel(analysisLock, index, JobKind::Analysis))
        return;
    replaceAnalyzer(std::move(next));
    startJob(analysisJob, index);
    const QString name = analysisJob.reel.name;
    const QString source = analysisJob.reel.source_path;
    workspace->updateReelStatus(index, ReelStatus::Analyzing);
    if (jobStartedCallback)
        jobStartedCallback(JobKind::Analysis, name, 0);
    if (!analysisJob.active || analysisJob.reel.name != name)
        return;
    // Only footage leaves the machine: never a file a link or workspace.json points elsewhere.
    const QString refused = FootageCheck::problem(source, workspace->source_dir);
    if (!refused.isEmpty()) {
        onAnalysisFinished(false, TimelineData(),
                           QStringLiteral("Not sent for analysis: %1").arg(refused));
        return;
    }
    analyzer->start(source);
}

bool ReelJobQueue::mayReplaceEdits(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel || !reel->timeline.hasHandEdits() || !confirmReplaceEditsCallback)
        return reel != nullptr;
    const QString name = reel->name;
    const QString root = workspace->root_path;
    const bool replace = confirmReplaceEditsCallback(name);
    // The question let events run: the batch or the project may have moved on meanwhile.
    const bool batchStep = batchActive && batchIndex == index;
    reel = workspace->getReel(index);
    if (!reel || reel->name != name || workspace->root_path != root)
        return false;
    if (!replace && batchStep)
        processNextBatchItem();
    return replace;
}

void ReelJobQueue::onAnalysisProgress(const QString& text, int percent) {
    if (progressCallback && analysisJob.active)
        progressCallback(JobKind::Analysis, percent, text);
}

JobOutcome ReelJobQueue::outcomeFor(const ReelJob& job, JobKind kind, bool success,
                                    const QString& error) const {
    JobOutcome outcome;
    outcome.kind = kind;
    outcome.success = success;
    outcome.reelName = job.reel.name;
    outcome.workspaceRoot = job.workspaceRoot;
    outcome.reelIndex = resolveJobReel(job);
    outcome.error = error;
    return outcome;
}

void ReelJobQueue::finishReelJob(const ReelJob& job, JobOutcome& outcome) {
    if (!outcome.success && outcome.reelIndex >= 0)
        workspace->updateReelStatus(outcome.reelIndex, ReelStatus::Error);
    if (outcome.success && outcome.kind == JobKind::Analysis && outcome.reelIndex >= 0)
        ++workspace->usage.analyses;
    if (outcome.reelIndex >= 0 && savesWorkspace)
        outcome.workspaceSaved = workspace->save();
    if (jobFinishedCallback)
        jobFinishedCallback(outcome);
    if (batchActive && job.partOfBatch)
        processNextBatchItem();
}

void ReelJobQueue::onAnalysisFinished(bool success, const TimelineData& data,
                                      const QString& error) {
    if (!analysisJob.active)
        return; // already reported, or stopped without a report
    const ReelJob job = analysisJob;
    analysisJob.active = false;
    JobOutcome outcome = outcomeFor(job, JobKind::Analysis, success, error);
    if (success) {
        outcome.timeline = data;
        if (outcome.reelIndex >= 0)
            workspace->updateReelTimeline(outcome.reelIndex, data);
        const ReelOutputWriter::Result written = ReelOutputWriter::writeAnalysis(job.reel, data);
        outcome.timelinePath = job.reel.timeline_path;
        outcome.timelineSaved = written.timelineSaved;
        outcome.failedExports = written.failedFiles;
        probeFactsForExports(job, data);
    }
    analysisLock.reset();
    finishReelJob(job, outcome);
}

void ReelJobQueue::renderReel(int index) {
    const Reel* reel = workspace->getReel(index);
    if (!reel)
        return;
    if (reel->timeline.segments.isEmpty()) {
        if (batchActive && batchKind == JobKind::Render && batchIndex == index) {
            // A queue never stalls on a reel it cannot render.
            refuse(Refusal::SkippedNoSegments, reel->name);
            processNextBatchItem();
            return;
        }
        refuse(Refusal::NoSegments, reel->name);
        return;
    }
    preempt(renderJob, index, JobKind::Render);
    if (!workspace->getReel(index) || !lockReel(renderLock, index, JobKind::Render))
        return;
    startJob(renderJob, index);
    const Reel job = renderJob.reel;
    workspace->updateReelStatus(index, ReelStatus::Rendering);
    if (jobStartedCallback)
        jobStartedCallback(JobKind::Render, job.name, 0);
    if (renderJob.active && renderJob.reel.name == job.name)
        startRender();
}

void ReelJobQueue::onRenderFinished(bool success, const QString& outputPath, const QString& error) {
    if (!renderJob.active)
        return;
    const ReelJob job = renderJob;
    renderJob.active = false;
    renderLock.reset();
    JobOutcome outcome = outcomeFor(job, JobKind::Render, success, error);
    outcome.outputPath = success ? outputPath : QString();
    if (success && outcome.reelIndex >= 0)
        workspace->updateReelStatus(outcome.reelIndex, ReelStatus::Completed);
    finishReelJob(job, outcome);
}

} // namespace Tessaryn
