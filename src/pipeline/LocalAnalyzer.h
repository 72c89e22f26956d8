#pragma once

#include "app/PipelineSettings.h"
#include "pipeline/Analyzer.h"

namespace Tessaryn {

class MeasureJob;

// Analysis on this machine alone: ffmpeg measures stillness, scene changes and quiet, and the
// classifier reads the segments from them. Nothing is uploaded and no key is needed.
class LocalAnalyzer : public Analyzer {
public:
    explicit LocalAnalyzer(const PipelineSettings& settings, QObject* parent = nullptr);
    ~LocalAnalyzer() override;

    QString name() const override { return QStringLiteral("local"); }
    QString displayName() const override { return QStringLiteral("local analysis"); }
    QString unavailableReason() const override;
    void start(const QString& videoPath) override;
    void cancel() override;
    bool isBusy() const override;

private:
    void onMeasured(bool success, const QString& error);

    PipelineSettings settings;
    MeasureJob* measure = nullptr;
    bool cancelling = false;
};

} // namespace Tessaryn
