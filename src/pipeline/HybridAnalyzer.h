#pragma once

#include "media/MeasureJob.h"
#include "pipeline/GeminiAnalyzer.h"

namespace Tessaryn {

// Gemini's classes and descriptions on the boundaries the footage shows: the clip is measured
// on this machine first, then Gemini's answer is snapped to the measured events and the pauses
// it missed are cut in.
class HybridAnalyzer : public GeminiAnalyzer {
public:
    explicit HybridAnalyzer(const PipelineSettings& settings,
                            std::function<QString()> keyProvider = {}, QObject* parent = nullptr);
    ~HybridAnalyzer() override;

    QString name() const override { return QStringLiteral("hybrid"); }
    QString displayName() const override;
    void start(const QString& videoPath) override;
    void cancel() override;
    bool isBusy() const override;

protected:
    void adjustAnswer(TimelineData& raw) override;

private:
    PipelineSettings values;
    MeasureJob* measure = nullptr;
    FootageMeasurements measured;
    QString videoPath;
    bool measuring = false;
};

} // namespace Tessaryn
