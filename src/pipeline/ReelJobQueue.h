#pragma once

#include "pipeline/ReelJob.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace Tessaryn {

class Analyzer;
class FFmpegEngine;
class ProbeJob;
struct RenderOptions;
struct StreamFacts;
class Stitcher;
class Workspace;
class WorkspaceLock;

// The road of a reel, without a window: analyse (and write the outputs), render, stitch, one
// reel or a batch over the workspace. One analysis and one render may run side by side; a new
// request for the same kind ends the running job first, which reports on its own reel. Every
// started job ends with exactly one jobFinishedCallback. Callbacks are invoked synchronously
// and only when set.
class ReelJobQueue : public QObject {
public:
    enum class Refusal {
        AnalyzerUnavailable, // detail says why
        NoSegments,          // a single render of a reel that was never analysed
        SkippedNoSegments,   // a batch render passing over such a reel; the batch goes on
        BatchRunning,
        StitchRunning,
        NoRenderedClips,
        ReelBusy, // another process works on the reel; detail names it
        // A stitch leaving out reels whose cut is older than their timeline; detail names
        // them. The stitch goes on with the others.
        StaleCutsLeftOut,
    };

    std::function<void(JobKind kind, const QString& subject, int clipCount)> jobStartedCallback;
    // Render progress carries no text; analysis progress does.
    std::function<void(JobKind kind, int percent, const QString& text)> progressCallback;
    // Also summed into the workspace's usage totals, which are saved with it.
    std::function<void(qint64 promptTokens, qint64 candidatesTokens)> usageCallback;
    std::function<void(const JobOutcome& outcome)> jobFinishedCallback;
    std::function<void(Refusal refusal, const QString& reelName, const QString& detail)>
        refusedCallback;
    std::function<void()> batchFinishedCallback;
    // Asked before an analysis would replace a reel's hand edits; false leaves the reel as it
    // is (a batch moves on). Unset, the analysis goes ahead.
    std::function<bool(const QString& reelName)> confirmReplaceEditsCallback;
    // Makes the analyzer for each analysis, so settings changed meanwhile apply to the next.
    std::function<std::unique_ptr<Analyzer>(QObject* parent)> analyzerFactory;

    explicit ReelJobQueue(Workspace* workspace, QObject* parent = nullptr);
    ~ReelJobQueue() override;

    // The studio keeps workspace.json current after each job; headless runs leave it alone,
    // since statuses are derived from the files on load and several runs may share a project.
    void setSavesWorkspace(bool saves) { savesWorkspace = saves; }

    void analyzeReel(int index);
    void renderReel(int index);
    void stitchMaster();
    void startBatch(JobKind kind);
    void stopBatch();
    // Ends every job without reporting any of them.
    void stopAll();
    // Ends the batch and every running job at the user's request; each job reports its end as
    // a failure, so its reel is marked and the owner told.
    void cancelAll();

    bool isBatchActive() const { return batchActive; }
    bool hasRunningJob() const;
    bool isRunning(JobKind kind) const;
    // Whether an analysis or render of the open project's reel is in flight.
    bool isWorkingOn(const QString& reelName) const;
    FFmpegEngine* ffmpegEngine() const { return ffmpeg; }
    Stitcher* stitcherEngine() const { return stitcher; }
    Analyzer* currentAnalyzer() const { return analyzer; }

private:
    // False when the reel's hand edits are to stay; a batch then moves past it.
    bool mayReplaceEdits(int index);
    void onAnalysisProgress(const QString& text, int percent);
    void onAnalysisFinished(bool success, const TimelineData& data, const QString& error);
    void onRenderFinished(bool success, const QString& outputPath, const QString& error);
    void onStitchFinished(bool success, const QString& outputPath, const QString& error);
    void installEngineCallbacks();
    // The reel's render, after probing its stream facts when they are not known yet.
    void startRender();
    void onFactsProbed(const StreamFacts& facts);
    void dropFactsProbe();
    // After an analysis of a reel whose facts are unknown: probes them without waiting, keeps
    // them and rewrites the reel's exports on its frame grid.
    void probeFactsForExports(const ReelJob& job, const TimelineData& data);
    void dropExportProbe();
    static void dropProbe(ProbeJob*& running);
    static RenderOptions renderOptions();
    void replaceAnalyzer(std::unique_ptr<Analyzer> next);
    void preempt(ReelJob& job, int index, JobKind kind);
    void startJob(ReelJob& job, int index);
    int resolveJobReel(const ReelJob& job) const;
    JobOutcome outcomeFor(const ReelJob& job, JobKind kind, bool success,
                          const QString& error) const;
    void finishReelJob(const ReelJob& job, JobOutcome& outcome);
    bool qualifiesForBatch(const Reel& reel) const;
    int nextBatchCandidate(int from) const;
    void processNextBatchItem();
    void refuse(Refusal refusal, const QString& reelName, const QString& detail = QString());
    // Takes the reel's lock for the job kind; on refusal the batch moves on past the reel.
    bool lockReel(std::unique_ptr<WorkspaceLock>& lock, int index, JobKind kind);

    Workspace* workspace = nullptr;
    Analyzer* analyzer = nullptr;
    FFmpegEngine* ffmpeg = nullptr;
    Stitcher* stitcher = nullptr;
    ProbeJob* factsProbe = nullptr;
    ProbeJob* exportProbe = nullptr;
    bool savesWorkspace = true;

    ReelJob analysisJob;
    ReelJob renderJob;
    std::unique_ptr<WorkspaceLock> analysisLock;
    std::unique_ptr<WorkspaceLock> renderLock;
    bool stitchRunning = false;
    bool batchActive = false;
    JobKind batchKind = JobKind::Analysis;
    int batchIndex = -1;
};

} // namespace Tessaryn
