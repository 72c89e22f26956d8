#include "pipeline/ReelJobQueue.h"

#include "media/Stitcher.h"
#include "workspace/Workspace.h"

namespace Tessaryn {

bool ReelJobQueue::qualifiesForBatch(const Reel& reel) const {
    // A cut older than its timeline counts as not rendered: the batch brings it up to date.
    if (batchKind == JobKind::Render)
        return reel.status == ReelStatus::Analyzed ||
               (reel.status == ReelStatus::Completed && reel.cutIsStale());
    return reel.status == ReelStatus::Pending || reel.status == ReelStatus::Error;
}

int ReelJobQueue::nextBatchCandidate(int from) const {
    for (int i = qMax(0, from); i < workspace->reels.size(); ++i) {
        if (qualifiesForBatch(workspace->reels.at(i)))
            return i;
    }
    return -1;
}

void ReelJobQueue::startBatch(JobKind kind) {
    if (batchActive) {
        refuse(Refusal::BatchRunning, QString());
        return;
    }
    batchActive = true;
    batchKind = kind == JobKind::Render ? JobKind::Render : JobKind::Analysis;
    batchIndex = -1;
    processNextBatchItem();
}

void ReelJobQueue::stopBatch() {
    batchActive = false;
    batchIndex = -1;
}

void ReelJobQueue::processNextBatchItem() {
    const int next = nextBatchCandidate(batchIndex + 1);
    if (next < 0) {
        stopBatch();
        if (batchFinishedCallback)
            batchFinishedCallback();
        return;
    }
    batchIndex = next;
    if (batchKind == JobKind::Render)
        renderReel(next);
    else
        analyzeReel(next);
}

void ReelJobQueue::stitchMaster() {
    if (stitchRunning) {
        refuse(Refusal::StitchRunning, QString());
        return;
    }
    QStringList clips;
    QStringList stale;
    for (const Reel* reel : workspace->releaseOrder()) {
        // A cut older than its timeline would put an outdated edit into the film.
        if (reel->cutIsStale())
            stale << reel->name;
        else if (reel->hasCurrentCut())
            clips << reel->rendered_path;
    }
    if (!stale.isEmpty())
        refuse(Refusal::StaleCutsLeftOut, QString(), stale.join(QStringLiteral(", ")));
    if (clips.isEmpty()) {
        refuse(Refusal::NoRenderedClips, QString());
        return;
    }
    const QString output = workspace->getMasterPath();
    stitchRunning = true;
    if (jobStartedCallback)
        jobStartedCallback(JobKind::Stitch, output, int(clips.size()));
    if (stitchRunning)
        stitcher->stitchClips(clips, output);
}

void ReelJobQueue::onStitchFinished(bool success, const QString& outputPath, const QString& error) {
    if (!stitchRunning)
        return;
    stitchRunning = false;
    JobOutcome outcome;
    outcome.kind = JobKind::Stitch;
    outcome.success = success;
    outcome.workspaceRoot = workspace->root_path;
    outcome.outputPath = outputPath;
    outcome.error = error;
    if (jobFinishedCallback)
        jobFinishedCallback(outcome);
}

} // namespace Tessaryn
