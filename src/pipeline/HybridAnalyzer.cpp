#include "pipeline/HybridAnalyzer.h"

#include "pipeline/BoundarySnap.h"
#include "timeline/TimelineData.h"

namespace Tessaryn {

HybridAnalyzer::HybridAnalyzer(const PipelineSettings& settings,
                               std::function<QString()> keyProvider, QObject* parent)
    : GeminiAnalyzer(settings, std::move(keyProvider), parent), values(settings.checked()),
      measure(new MeasureJob(this)) {
    measure->progressCallback = [this](int percent) {
        if (progressCallback)
            progressCallback(QStringLiteral("Measuring the footage (%1%)...").arg(percent),
                             percent / 10);
    };
    measure->measuredCallback = [this](bool ok, const FootageMeasurements& found, const QString&) {
        if (!measuring)
            return;
        measuring = false;
        // Without measurements Gemini's own boundaries stand.
        measured = ok ? found : FootageMeasurements();
        GeminiAnalyzer::start(videoPath);
    };
}

HybridAnalyzer::~HybridAnalyzer() {
    measuring = false;
    measure->measuredCallback = nullptr;
}

QString HybridAnalyzer::displayName() const {
    return GeminiAnalyzer::displayName() + QStringLiteral(" on measured boundaries");
}

void HybridAnalyzer::start(const QString& path) {
    videoPath = path;
    measured = FootageMeasurements();
    measuring = true;
    MeasureJob::Settings measureSettings;
    measureSettings.minFreezeSeconds = std::min(0.5, values.minimum_pause);
    measureSettings.sceneThreshold = values.scene_threshold;
    measure->setSource(path, measureSettings);
    measure->start();
}

void HybridAnalyzer::cancel() {
    if (!measuring) {
        GeminiAnalyzer::cancel();
        return;
    }
    measuring = false;
    measure->cancel();
    if (const auto callback = finishedCallback)
        callback(false, TimelineData(), QStringLiteral("Analysis cancelled."));
}

bool HybridAnalyzer::isBusy() const {
    return measuring || GeminiAnalyzer::isBusy();
}

void HybridAnalyzer::adjustAnswer(TimelineData& raw) {
    LocalClassifier::Settings settings;
    settings.pauseThreshold = values.minimum_pause;
    settings.steadySpan = values.steady_span;
    settings.pauseNeedsQuiet = values.pause_needs_quiet;
    BoundarySnap::apply(raw, measured, settings);
}

} // namespace Tessaryn
