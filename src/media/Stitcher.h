#pragma once

#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Tessaryn {

// Joins rendered cuts end to end, without re-encoding, into one film through ffmpeg's concat
// demuxer. Every stitch ends with exactly one finishedCallback; callbacks are invoked
// synchronously and only when set.
class Stitcher : public QObject {
public:
    static constexpr int ErrorTailLength = 500;
    static constexpr int KillWaitMs = 3000;

    std::function<void(int percent)> progressCallback;
    std::function<void(bool success, const QString& outputPath, const QString& errorText)>
        finishedCallback;

    explicit Stitcher(QObject* parent = nullptr);
    ~Stitcher() override;

    // Clips that do not exist are skipped. The existing ones are probed first: stream copy
    // joins cuts of different size or rate into a broken film that ffmpeg still calls a success.
    void stitchClips(const QList<QString>& clipPaths, const QString& outputPath);
    void cancel();
    bool isRunning() const;

    void onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);

    // One line of the concat list, without its line end.
    static QString concatListLine(const QString& clipPath);

private:
    bool writeList(const QStringList& clips);
    void startProbe();
    void onProbeFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void startConcat();
    using FinishedHandler = void (Stitcher::*)(int, QProcess::ExitStatus);
    void startProcess(const QString& program, const QStringList& arguments,
                      FinishedHandler onFinished);
    void onProcessError(QProcess::ProcessError error);
    void finish(bool success, const QString& errorText);
    void fail(const QString& errorText);
    void releaseProcess();
    void removeList();
    QString stoppedText(const QString& program, int exitCode,
                        QProcess::ExitStatus exitStatus) const;
    static std::optional<QString> describeVideo(const QByteArray& probeOutput);

    QProcess* process = nullptr;
    QString outputPath;
    QString listPath;
    QString partialPath;
    QStringList clips;
    qsizetype probed = 0;
    QString firstVideo;
    bool ending = false;
};

} // namespace Tessaryn
