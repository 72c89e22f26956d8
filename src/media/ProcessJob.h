#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <functional>

class QTimer;

namespace Tessaryn {

// One run of ffmpeg or ffprobe at a time in one child process that the job owns for its whole
// life, so a job may be started again once its run has been reported. Every run ends with
// exactly one report: a start failure, an exit, a rejected result, a stall or a cancel. A run
// that writes a file writes it under a partial name that replaces the target only once the
// result has been accepted.
class ProcessJob : public QObject {
public:
    // Retained standard error is cut to its last StderrKeep characters whenever it exceeds
    // StderrLimit, so a long run does not grow memory with progress lines.
    static constexpr int StderrLimit = 4096;
    static constexpr int StderrKeep = 2048;
    static constexpr int ErrorTailLength = 500;
    static constexpr int KillWaitMs = 3000;

    // Invoked synchronously, only when set; may start the next run of this very job.
    std::function<void(bool success, const QString& errorText)> finishedCallback;

    explicit ProcessJob(QObject* parent = nullptr);
    // Ends a running child without any report.
    ~ProcessJob() override;

    // False when the run was refused or failed at once, its report having been made already.
    bool start();
    void cancel();
    bool isRunning() const;
    // Blocks until the run has been reported or ms have passed; for callers off the GUI thread.
    bool waitForFinished(int ms);

    // 0 disables the watchdog; otherwise a run whose child writes nothing for this long is
    // stopped and reported as stalled.
    void setStallTimeoutMs(int ms) { stallTimeoutMs = ms; }
    // The file the run produces; the child is handed partialPath() instead.
    void setTarget(const QString& targetPath);
    QString targetPath() const { return target; }
    QString partialPath() const { return partial; }
    QProcess* processHandle() const { return process; }
    QString standardErrorTail() const { return stderrTail; }

    // The lines of the retained standard error that name a cause, or else its tail, at most
    // ErrorTailLength characters; never empty.
    static QString failureText(const QString& stderrText, const QString& tool, int exitCode,
                               QProcess::ExitStatus exitStatus);
    // ffmpeg reports a failed final write yet still exits with 0.
    static QString writeFailure(const QString& stderrText);

protected:
    virtual QString program() const = 0;
    virtual QStringList arguments() const = 0;
    virtual QString toolName() const { return QStringLiteral("ffmpeg"); }
    // Readies the run's scratch files; a non-empty reason fails the run before its start.
    virtual QString prepareRun() { return QString(); }
    // Receives every piece of standard error; must append it to tail.
    virtual void readProgress(QString& tail, const QString& newText) { tail += newText; }
    // Runs after a clean exit and calls settle now or later; the default accepts the run.
    virtual void verifyResult() { settle(QString()); }
    // Removes the run's own scratch files; runs before the report.
    virtual void releaseRun() {}
    virtual void report(bool success, const QString& errorText);

    // Ends the run: an empty errorText accepts it.
    void settle(const QString& errorText);
    // Accepts the run when the partial file is a film lasting expected seconds, give or take
    // one frame plus tolerance; the probe runs as a follow-up of this job.
    void verifyOutput(double expected, double tolerance);
    // Why the partial file cannot be the result whatever its length: a failed final write or
    // nothing written; empty when neither.
    QString outputFault() const;

private:
    void onReadyRead();
    void onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onProcessError(QProcess::ProcessError error);
    void onStalled();
    void finish(bool success, QString errorText);

    QProcess* process = nullptr;
    QTimer* stallTimer = nullptr;
    QPointer<ProcessJob> followUp;
    QString target;
    QString partial;
    QString stderrTail;
    QStringDecoder decoder{QStringDecoder::Utf8};
    int stallTimeoutMs = 0;
    quint64 runNumber = 0;
    bool active = false;
    bool silent = false;
    bool stalled = false;
};

} // namespace Tessaryn
