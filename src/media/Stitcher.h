#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tessaryn {

class ProbeJob;
class ProcessJob;

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
    // joins cuts of different size or rate into a broken film that ffmpeg still calls a success,
    // and the film must last as long as its parts together before it replaces the previous one.
    void stitchClips(const QList<QString>& clipPaths, const QString& outputPath);
    void cancel();
    bool isRunning() const;

    // One line of the concat list, without its line end.
    static QString concatListLine(const QString& clipPath);
    // Hidden beside the output and unique to this process and stitch, so that two stitches into
    // one folder never share a list.
    static QString concatListPath(const QString& outputPath);

private:
    bool writeList(const QStringList& clipPaths);
    void probeNext();
    void onProbed(ProbeJob* probe, bool success, const QString& errorText);
    void startConcat();
    void run(ProcessJob* next, std::function<void(bool, const QString&)> onFinished);
    void finish(bool success, const QString& errorText);
    void removeList();

    ProcessJob* job = nullptr;
    QString outputPath;
    QString listPath;
    QStringList clips;
    qsizetype probed = 0;
    QString firstVideo;
    QString firstAudio;
    double partsSeconds = 0.0;
    double frameSeconds = 0.0;
    bool ending = false;
};

} // namespace Tessaryn
