#include "media/FFmpegEngine.h"

#include "media/PartialFile.h"

#include <QFile>
#include <QFileInfo>

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
    return process && process->state() != QProcess::NotRunning;
}

void FFmpegEngine::cancel() {
    if (!isRunning())
        return;
    QProcess* killed = process;
    killed->kill();
    // The finished notification arrives during the wait and completes the job.
    killed->waitForFinished(KillWaitMs);
    if (process == killed)
        finishJob(false, QStringLiteral("ffmpeg did not stop within %1 ms.").arg(KillWaitMs));
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

bool FFmpegEngine::startJob(const QStringList& arguments, const QString& finalPath,
                            const QString& partial, double expectedDuration) {
    auto* started = new QProcess(this);
    connect(started, &QProcess::readyReadStandardError, this, &FFmpegEngine::onProcessReadyRead);
    connect(started, &QProcess::finished, this, &FFmpegEngine::onProcessFinished);
    // A program that cannot be started raises no finished signal, only this error.
    connect(started, &QProcess::errorOccurred, this, &FFmpegEngine::onProcessError);
    process = started;
    outputPath = finalPath;
    partialPath = partial;
    totalDuration = expectedDuration;
    stderrBuffer.clear();
    stderrDecoder.resetState();
    started->start(findFFmpeg(), arguments, QIODevice::ReadWrite);
    // A start that failed at once has already been reported, perhaps followed by a new job.
    return process == started;
}

void FFmpegEngine::onProcessReadyRead() {
    if (!process)
        return;
    const QString text = stderrDecoder.decode(process->readAllStandardError());
    const std::optional<double> seconds = readProgress(stderrBuffer, text);
    if (seconds && progressCallback)
        progressCallback(progressPercent(*seconds, totalDuration), *seconds, totalDuration);
}

void FFmpegEngine::onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    const bool success = exitCode == 0 && exitStatus == QProcess::NormalExit;
    QString errorText;
    if (!success) {
        errorText = stderrBuffer.size() > ErrorTailLength ? stderrBuffer.right(ErrorTailLength)
                                                          : stderrBuffer;
        // A failure is never reported without a reason.
        if (errorText.trimmed().isEmpty())
            errorText = exitStatus == QProcess::NormalExit
                            ? QStringLiteral("ffmpeg exited with code %1.").arg(exitCode)
                            : QStringLiteral("ffmpeg was stopped.");
    }
    finishJob(success, errorText);
}

void FFmpegEngine::onProcessError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || !process)
        return;
    finishJob(
        false,
        QStringLiteral("Cannot start %1: %2").arg(process->program(), process->errorString()));
}

void FFmpegEngine::finishJob(bool success, QString errorText) {
    releaseProcess();
    // Copies: the callback may start the next job, which replaces the members.
    const QString finalPath = outputPath;
    const QString partial = partialPath;
    partialPath.clear();
    success = PartialFile::finish(partial, finalPath, success, &errorText);
    if (finishedCallback)
        finishedCallback(success, finalPath, errorText);
}

void FFmpegEngine::releaseProcess() {
    if (!process)
        return;
    QProcess* released = process;
    process = nullptr;
    // A process released before it finished must not report into a later job.
    released->disconnect(this);
    released->deleteLater();
}

} // namespace Tessaryn
