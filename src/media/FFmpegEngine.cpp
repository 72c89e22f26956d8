#include "media/FFmpegEngine.h"

#include "media/ProcessJob.h"

namespace Tessaryn {

FFmpegEngine::FFmpegEngine(QObject* parent) : QObject(parent) {}

FFmpegEngine::~FFmpegEngine() {
    // The owner may already be half destroyed: the job ends without calling back into it.
    progressCallback = nullptr;
    finishedCallback = nullptr;
    logCallback = nullptr;
    cancel();
}

bool FFmpegEngine::isRunning() const {
    return job && job->isRunning();
}

void FFmpegEngine::cancel() {
    // The job reports during its cancel, which completes it here as well.
    if (isRunning())
        job->cancel();
}

bool FFmpegEngine::endRunningJob(const QString& nextOutputPath) {
    // A job that the ended job's finished callback starts meanwhile is refused: the caller's job
    // must not overwrite a started one, nor run beside it.
    if (endingJob) {
        reportRefused(nextOutputPath,
                      QStringLiteral("Another job took over the engine before this one started."));
        return false;
    }
    endingJob = true;
    cancel();
    endingJob = false;
    return true;
}

void FFmpegEngine::reportRefused(const QString& path, const QString& errorText) {
    if (finishedCallback)
        finishedCallback(false, path, errorText);
}

bool FFmpegEngine::startJob(ProcessJob* started, const QString& finalPath) {
    job = started;
    started->setStallTimeoutMs(stallTimeoutMs);
    started->finishedCallback = [this, started, finalPath](bool success, const QString& error) {
        onJobFinished(started, finalPath, success, error);
    };
    return started->start();
}

void FFmpegEngine::onJobFinished(ProcessJob* finished, const QString& finalPath, bool success,
                                 const QString& errorText) {
    // Released first and later, never inside its own report, so the callback may start the
    // next job at once.
    if (job == finished)
        job = nullptr;
    finished->deleteLater();
    if (finishedCallback)
        finishedCallback(success, finalPath, errorText);
}

} // namespace Tessaryn
