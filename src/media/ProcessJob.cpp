#include "media/ProcessJob.h"

#include "media/PartialFile.h"
#include "media/ProbeJob.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTimer>

#include <cmath>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace Tessaryn {

namespace {

// The studio's key is no business of a media tool, nor of anything that tool might start.
QProcessEnvironment childEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GEMINI_API_KEY"));
    return environment;
}

} // namespace

ProcessJob::ProcessJob(QObject* parent) : QObject(parent) {
    process = new QProcess(this);
    stallTimer = new QTimer(this);
    stallTimer->setSingleShot(true);
#ifdef Q_OS_LINUX
    // A studio that dies, however it dies, takes its children along instead of leaving encoders
    // running. A parent gone before the request took effect is caught by the pid check.
    const pid_t parentPid = ::getpid();
    process->setChildProcessModifier([parentPid] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parentPid)
            ::_exit(127);
    });
#endif
    connect(process, &QProcess::readyReadStandardError, this, &ProcessJob::onReadyRead);
    // Output counts as a sign of life for the watchdog; it is read when the run ends.
    connect(process, &QProcess::readyReadStandardOutput, this, [this] {
        if (stallTimeoutMs > 0 && active)
            stallTimer->start(stallTimeoutMs);
    });
    connect(process, &QProcess::finished, this, &ProcessJob::onProcessFinished);
    // A program that cannot be started raises no finished signal, only this error.
    connect(process, &QProcess::errorOccurred, this, &ProcessJob::onProcessError);
    connect(stallTimer, &QTimer::timeout, this, &ProcessJob::onStalled);
}

ProcessJob::~ProcessJob() {
    silent = true;
    disconnect(process, nullptr, this, nullptr);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(KillWaitMs);
    }
    if (active && !partial.isEmpty())
        QFile::remove(partial);
}

void ProcessJob::setTarget(const QString& targetPath) {
    target = targetPath;
    partial = targetPath.isEmpty() ? QString() : PartialFile::pathFor(targetPath);
}

bool ProcessJob::isRunning() const {
    return active;
}

bool ProcessJob::start() {
    if (active)
        return false;
    const quint64 run = ++runNumber;
    active = true;
    stalled = false;
    stderrTail.clear();
    decoder.resetState();
    const QString unprepared = prepareRun();
    if (!unprepared.isEmpty()) {
        finish(false, unprepared);
        return false;
    }
    process->setProcessEnvironment(childEnvironment());
    process->start(program(), arguments(), QIODevice::ReadWrite);
    // A start that failed at once has been reported already, perhaps followed by a new run.
    if (run != runNumber || !active)
        return false;
    if (stallTimeoutMs > 0)
        stallTimer->start(stallTimeoutMs);
    return true;
}

void ProcessJob::cancel() {
    if (!active)
        return;
    const quint64 run = runNumber;
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        // The finished notification arrives during the wait and completes the run.
        process->waitForFinished(KillWaitMs);
        if (run == runNumber && active)
            finish(false, QStringLiteral("%1 did not stop within %2 ms.")
                              .arg(toolName(), QString::number(KillWaitMs)));
        return;
    }
    if (followUp)
        followUp->cancel();
    if (run == runNumber && active)
        finish(false, QStringLiteral("%1 was stopped.").arg(toolName()));
}

bool ProcessJob::waitForFinished(int ms) {
    if (active && process->state() != QProcess::NotRunning)
        process->waitForFinished(ms);
    if (active && followUp)
        followUp->waitForFinished(ms);
    return !active;
}

void ProcessJob::onReadyRead() {
    const QString text = decoder.decode(process->readAllStandardError());
    if (!active)
        return;
    if (stallTimeoutMs > 0)
        stallTimer->start(stallTimeoutMs);
    readProgress(stderrTail, text);
    if (stderrTail.size() > StderrLimit)
        stderrTail = stderrTail.right(StderrKeep);
}

void ProcessJob::onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    if (!active)
        return;
    stallTimer->stop();
    if (stalled) {
        finish(false, QStringLiteral("%1 wrote nothing for %2 s and was stopped.")
                          .arg(toolName(), QString::number(stallTimeoutMs / 1000.0)));
        return;
    }
    if (exitCode != 0 || exitStatus != QProcess::NormalExit) {
        finish(false, failureText(stderrTail, toolName(), exitCode, exitStatus));
        return;
    }
    verifyResult();
}

void ProcessJob::onProcessError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || !active)
        return;
    finish(false,
           QStringLiteral("Cannot start %1: %2").arg(process->program(), process->errorString()));
}

void ProcessJob::onStalled() {
    if (!active || process->state() == QProcess::NotRunning)
        return;
    stalled = true;
    process->kill();
}

void ProcessJob::settle(const QString& errorText) {
    if (active)
        finish(errorText.isEmpty(), errorText);
}

QString ProcessJob::outputFault() const {
    const QString written = writeFailure(stderrTail);
    if (!written.isEmpty())
        return written;
    if (QFileInfo(partial).size() <= 0)
        return QStringLiteral("%1 wrote an empty file.").arg(toolName());
    return QString();
}

void ProcessJob::verifyOutput(double expected, double tolerance) {
    const QString fault = outputFault();
    if (!fault.isEmpty()) {
        settle(fault);
        return;
    }
    auto* probe = new ProbeJob(partial, this);
    followUp = probe;
    probe->probedCallback = [this, probe, expected, tolerance](bool ok, double seconds,
                                                               const QString& error) {
        probe->deleteLater();
        if (!ok) {
            settle(QStringLiteral("Cannot read the written film: %1").arg(error));
            return;
        }
        const double frame = probe->frameRate() > 0.0 ? 1.0 / probe->frameRate() : 0.0;
        if (std::abs(seconds - expected) > frame + tolerance)
            settle(QStringLiteral("%1 wrote %2 s of film where %3 s were expected.")
                       .arg(toolName(), QString::number(seconds, 'f', 3),
                            QString::number(expected, 'f', 3)));
        else
            settle(QString());
    };
    probe->start();
}

void ProcessJob::report(bool success, const QString& errorText) {
    if (finishedCallback)
        finishedCallback(success, errorText);
}

void ProcessJob::finish(bool success, QString errorText) {
    active = false;
    stallTimer->stop();
    followUp = nullptr;
    if (!partial.isEmpty())
        success = PartialFile::finish(partial, target, success, &errorText);
    releaseRun();
    // A failure is never reported without a reason.
    if (!success && errorText.trimmed().isEmpty())
        errorText = QStringLiteral("%1 failed.").arg(toolName());
    if (!silent)
        report(success, errorText);
}

} // namespace Tessaryn
