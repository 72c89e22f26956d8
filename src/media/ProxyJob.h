#pragma once

#include "media/ProcessJob.h"

#include <functional>

namespace Tessaryn {

// A small, fast-to-decode copy of a clip. The clip's duration, the measure of its progress, is
// read from ffmpeg's own report on its input rather than probed first, so nothing waits.
class ProxyJob : public ProcessJob {
public:
    // totalSeconds stays 0 until ffmpeg has named the input's duration.
    std::function<void(double seconds, double totalSeconds)> progressCallback;

    ProxyJob(const QString& inputPath, const QString& outputPath, int height,
             QObject* parent = nullptr);

    double inputDuration() const { return total; }

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString prepareRun() override;
    void readProgress(QString& tail, const QString& newText) override;
    void verifyResult() override;

private:
    QString input;
    int height = 0;
    double total = 0.0;
};

} // namespace Tessaryn
