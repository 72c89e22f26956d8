#include "pipeline/GeminiAnalyzer.h"

#include "ai/GeminiClient.h"
#include "app/Credentials.h"
#include "media/ProbeJob.h"
#include "timeline/TimelineCheck.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

GeminiAnalyzer::GeminiAnalyzer(const PipelineSettings& values, std::function<QString()> provider,
                               QObject* parent)
    : Analyzer(parent), settings(values.checked()), keyProvider(std::move(provider)),
      gemini(new GeminiClient(this)), probe(new ProbeJob(QString(), this)) {
    probe->probedCallback = [this](bool ok, double seconds, const QString&) {
        onProbed(ok ? seconds : 0.0);
    };
    if (!keyProvider)
        keyProvider = [] { return Credentials::getApiKey(); };
    gemini->progressCallback = [this](const QString& text, int percent) {
        if (progressCallback)
            progressCallback(text, percent);
    };
    gemini->usageCallback = [this](qint64 prompt, qint64 candidates) {
        if (usageCallback)
            usageCallback(prompt, candidates);
    };
    gemini->finishedCallback = [this](bool ok, const TimelineData& data, const QString& error) {
        onFinished(ok, data, error);
    };
}

GeminiAnalyzer::~GeminiAnalyzer() {
    // The owner may be half destroyed: the client ends without calling back into it.
    progressCallback = nullptr;
    usageCallback = nullptr;
    finishedCallback = nullptr;
    probing = false;
    probe->cancel();
    gemini->cancel();
}

QString GeminiAnalyzer::displayName() const {
    return PipelineSettings::displayName(settings.model);
}

QString GeminiAnalyzer::unavailableReason() const {
    return keyProvider().trimmed().isEmpty() ? QStringLiteral("Gemini API key is not configured.")
                                             : QString();
}

void GeminiAnalyzer::start(const QString& path) {
    cancel();
    videoPath = path;
    clipSeconds = 0.0;
    probing = true;
    if (progressCallback)
        progressCallback(QStringLiteral("Reading the clip's length..."), 1);
    probe->setPath(path);
    // Every outcome, a failed start included, arrives through probedCallback. A clip ffprobe
    // cannot read is still sent: the service gives the reason.
    probe->start();
}

void GeminiAnalyzer::onProbed(double seconds) {
    if (!probing)
        return;
    probing = false;
    clipSeconds = seconds;
    gemini->analyzeVideo(videoPath, keyProvider(), settings.model);
}

void GeminiAnalyzer::cancel() {
    if (probing) {
        probing = false;
        probe->cancel();
        onFinished(false, TimelineData(), QStringLiteral("Analysis cancelled."));
        return;
    }
    gemini->cancel();
}

bool GeminiAnalyzer::isBusy() const {
    return probing || gemini->isBusy();
}

void GeminiAnalyzer::onFinished(bool success, const TimelineData& timeline, const QString& error) {
    TimelineData computed = timeline;
    QString reason = error;
    if (success) {
        adjustAnswer(computed);
        reason = TimelineCheck::repair(computed, clipSeconds);
        success = reason.isEmpty();
        if (success)
            TimelineMath::computeTimeline(computed, settings.assembly_speed,
                                          settings.minimum_pause);
        else
            reason = QStringLiteral("Gemini's answer was refused: %1").arg(reason);
    }
    if (const auto callback = finishedCallback)
        callback(success, success ? computed : TimelineData(), reason);
}

} // namespace Tessaryn
