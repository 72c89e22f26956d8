#include "cli/CliFanOut.h"
#include "cli/CliRunner.h"

#include "app/PipelineSettings.h"
#include "pipeline/Analyzer.h"
#include "pipeline/AnalyzerRegistry.h"
#include "pipeline/ReelJobQueue.h"
#include "workspace/Workspace.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

namespace Tessaryn {

namespace {

QString verb(JobKind kind) {
    switch (kind) {
    case JobKind::Analysis:
        return QStringLiteral("analyze");
    case JobKind::Render:
        return QStringLiteral("render");
    case JobKind::Stitch:
        return QStringLiteral("stitch");
    }
    return QString();
}

// The queue a signal must stop; one runs at a time.
QPointer<ReelJobQueue> runningQueue;

} // namespace

void CliRunner::stopRunningJobs() {
    if (runningQueue)
        runningQueue->stopAll();
}

int CliRunner::runReelJobs(bool render) {
    const QString analyzerName =
        options.analyzer.isEmpty() ? PipelineSettings::load().analyzer : options.analyzer;
    if (!render && !AnalyzerRegistry::names().contains(analyzerName))
        return usageError(QStringLiteral("unknown analyzer '%1' (available: %2)")
                              .arg(analyzerName, AnalyzerRegistry::names().join(", ")));
    Workspace workspace;
    workspace.remembersRecent = false;
    if (!openWorkspace(workspace))
        return UsageError;
    QList<int> indices;
    if (!selectReels(workspace, render, &indices))
        return UsageError;
    if (indices.isEmpty()) {
        say(QStringLiteral("Nothing to %1 in %2.")
                .arg(render ? QStringLiteral("render") : QStringLiteral("analyze"),
                     workspace.root_path));
        return Ok;
    }

    if (options.jobs > 1 && indices.size() > 1) {
        QStringList names;
        for (int index : std::as_const(indices))
            names << workspace.reels.at(index).name;
        QStringList arguments{options.command, workspace.root_path};
        if (!render)
            arguments << "--analyzer" << analyzerName;
        return CliFanOut::run(QCoreApplication::applicationFilePath(), arguments, names,
                              options.jobs, out, err);
    }

    const PipelineSettings settings = PipelineSettings::load();
    ReelJobQueue queue(&workspace);
    runningQueue = &queue;
    queue.setSavesWorkspace(false);
    queue.analyzerFactory = [analyzerName, settings](QObject* parent) {
        return AnalyzerRegistry::create(analyzerName, settings, parent);
    };
    int status = Ok;
    for (int index : std::as_const(indices)) {
        if (!runOne(queue, index, render))
            status = JobFailed;
        // Every other reel would be refused the same way (no key, say).
        if (analyzerUnavailable)
            break;
    }
    return status;
}

bool CliRunner::runOne(ReelJobQueue& queue, int index, bool render) {
    QEventLoop loop;
    bool finished = false;
    bool success = false;
    int lastPercent = -1;
    const JobKind kind = render ? JobKind::Render : JobKind::Analysis;
    QString name;
    queue.jobStartedCallback = [&](JobKind, const QString& subject, int) {
        name = subject;
        warn(QStringLiteral("%1 %2: started").arg(verb(kind), subject));
    };
    queue.progressCallback = [&](JobKind, int percent, const QString& text) {
        if (percent == lastPercent)
            return;
        lastPercent = percent;
        warn(text.isEmpty()
                 ? QStringLiteral("%1 %2: %3%").arg(verb(kind), name, QString::number(percent))
                 : QStringLiteral("%1 %2: %3% %4")
                       .arg(verb(kind), name, QString::number(percent), text));
    };
    queue.refusedCallback = [&](ReelJobQueue::Refusal refusal, const QString& reelName,
                                const QString& detail) {
        analyzerUnavailable = refusal == ReelJobQueue::Refusal::AnalyzerUnavailable;
        QString why = detail;
        if (refusal == ReelJobQueue::Refusal::NoSegments)
            why = QStringLiteral("not analysed yet, nothing to render");
        else if (refusal == ReelJobQueue::Refusal::ReelBusy)
            why = QStringLiteral("another process is working on this reel (%1)").arg(detail);
        warn(QStringLiteral("%1 %2: %3").arg(verb(kind), reelName, why));
        finished = true;
        loop.quit();
    };
    queue.jobFinishedCallback = [&](const JobOutcome& outcome) {
        success = outcome.success && outcome.timelineSaved && outcome.failedExports.isEmpty();
        if (!outcome.success)
            warn(QStringLiteral("%1 %2: failed: %3")
                     .arg(verb(kind), outcome.reelName, outcome.error.trimmed()));
        else if (!outcome.timelineSaved)
            warn(QStringLiteral("%1 %2: could not write %3")
                     .arg(verb(kind), outcome.reelName, outcome.timelinePath));
        for (const QString& path : outcome.failedExports)
            warn(QStringLiteral("%1 %2: could not write %3")
                     .arg(verb(kind), outcome.reelName, path));
        if (success)
            say(render ? outcome.outputPath : outcome.timelinePath);
        finished = true;
        loop.quit();
    };
    if (render)
        queue.renderReel(index);
    else
        queue.analyzeReel(index);
    if (!finished)
        loop.exec();
    return success;
}

int CliRunner::stitch() {
    Workspace workspace;
    workspace.remembersRecent = false;
    if (!openWorkspace(workspace))
        return UsageError;
    ReelJobQueue queue(&workspace);
    runningQueue = &queue;
    QEventLoop loop;
    bool finished = false;
    bool success = false;
    queue.jobStartedCallback = [&](JobKind, const QString& output, int clips) {
        warn(QStringLiteral("stitch: joining %1 cuts into %2").arg(QString::number(clips), output));
    };
    queue.progressCallback = [&](JobKind, int percent, const QString&) {
        warn(QStringLiteral("stitch: %1%").arg(percent));
    };
    queue.refusedCallback = [&](ReelJobQueue::Refusal refusal, const QString&,
                                const QString& detail) {
        if (refusal == ReelJobQueue::Refusal::StaleCutsLeftOut) {
            warn(QStringLiteral("stitch: left out %1: the cut is older than its timeline; "
                                "render again to include it")
                     .arg(detail));
            return;
        }
        warn(QStringLiteral("stitch: no rendered cuts to join; render reels first"));
        finished = true;
        loop.quit();
    };
    queue.jobFinishedCallback = [&](const JobOutcome& outcome) {
        success = outcome.success;
        if (success)
            say(outcome.outputPath);
        else
            warn(QStringLiteral("stitch: failed: %1").arg(outcome.error.trimmed()));
        finished = true;
        loop.quit();
    };
    queue.stitchMaster();
    if (!finished)
        loop.exec();
    return success ? Ok : JobFailed;
}

} // namespace Tessaryn
