#include "pipeline/LocalAnalyzer.h"

#include "media/FFmpegEngine.h"
#include "media/MeasureJob.h"
#include "pipeline/LocalClassifier.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

LocalAnalyzer::LocalAnalyzer(const PipelineSettings& values, QObject* parent)
    : Analyzer(parent), settings(values.checked()), measure(new MeasureJob(this)) {
    measure->progressCallback = [this](int percent) {
        if (progressCallback)
            progressCallback(
                QStringLiteral("Measuring stillness, scenes and sound (%1%)...").arg(percent),
                percent);
    };
    measure->measuredCallback = [this](bool ok, const FootageMeasurements&, const QString& error) {
        onMeasured(ok, error);
    };
}

LocalAnalyzer::~LocalAnalyzer() {
    progressCallback = nullptr;
    finishedCallback = nullptr;
    measure->measuredCallback = nullptr;
}

QString LocalAnalyzer::unavailableReason() const {
    return FFmpegEngine::isAvailable() ? QString()
                                       : QStringLiteral("ffmpeg was not found on this machine.");
}

void LocalAnalyzer::start(const QString& videoPath) {
    MeasureJob::Settings measuring;
    measuring.minFreezeSeconds = std::min(0.5, settings.minimum_pause);
    measuring.sceneThreshold = settings.scene_threshold;
    measure->setSource(videoPath, measuring);
    // Every outcome, a failed start included, arrives through measuredCallback.
    measure->start();
}

void LocalAnalyzer::cancel() {
    cancelling = true;
    measure->cancel();
    cancelling = false;
}

bool LocalAnalyzer::isBusy() const {
    return measure->isRunning();
}

void LocalAnalyzer::onMeasured(bool success, const QString& error) {
    TimelineData timeline;
    QString reason = cancelling ? QStringLiteral("Analysis cancelled.") : error;
    if (success) {
        LocalClassifier::Settings classifying;
        classifying.pauseThreshold = settings.minimum_pause;
        classifying.steadySpan = settings.steady_span;
        classifying.pauseNeedsQuiet = settings.pause_needs_quiet;
        timeline = LocalClassifier::classify(measure->measurements(), classifying);
        if (timeline.segments.isEmpty()) {
            success = false;
            reason = QStringLiteral("The clip has no picture to measure.");
        } else {
            TimelineMath::computeTimeline(timeline, settings.assembly_speed,
                                          settings.minimum_pause);
        }
    }
    if (const auto callback = finishedCallback)
        callback(success, success ? timeline : TimelineData(), reason);
}

} // namespace Tessaryn
