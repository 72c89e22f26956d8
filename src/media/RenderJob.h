#pragma once

#include "media/ProcessJob.h"

#include <functional>

namespace Tessaryn {

// One speed-ramped cut: ffmpeg reads the filter graph from a script file, because a long
// timeline's graph outgrows the limit on a single command-line argument. The cut replaces the
// previous one only when it lasts the edited duration within one frame.
class RenderJob : public ProcessJob {
public:
    static constexpr double DurationTolerance = 0.001;

    // The latest "time=" reading in seconds of the cut written so far.
    std::function<void(double seconds)> progressCallback;

    RenderJob(const QString& inputPath, const QString& filterGraph, const QString& outputPath,
              double expectedSeconds, QObject* parent = nullptr);
    ~RenderJob() override;

    // Why a path cannot be rendered from: a URL, an ffmpeg protocol or anything but an existing
    // regular file; empty when it can.
    static QString sourceFault(const QString& inputPath);
    // Hidden beside the output, unique to this process and run.
    static QString scriptPathFor(const QString& outputPath);
    QString scriptPath() const { return script; }
    // The graph labels sound [outa], to be written beside the picture.
    void setSound(bool withSound) { sound = withSound; }

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString prepareRun() override;
    void readProgress(QString& tail, const QString& newText) override;
    void verifyResult() override;
    void releaseRun() override;

private:
    QString input;
    QString graph;
    QString script;
    double expected = 0.0;
    bool sound = false;
};

} // namespace Tessaryn
