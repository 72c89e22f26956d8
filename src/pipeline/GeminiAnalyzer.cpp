#include "pipeline/GeminiAnalyzer.h"

#include "ai/GeminiClient.h"
#include "app/Credentials.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

GeminiAnalyzer::GeminiAnalyzer(const PipelineSettings& values, std::function<QString()> provider,
                               QObject* parent)
    : Analyzer(parent), settings(values.checked()), keyProvider(std::move(provider)),
      gemini(new GeminiClient(this)) {
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
    gemini->cancel();
}

QString GeminiAnalyzer::displayName() const {
    return settings.model == PipelineSettings::defaultModel() ? QStringLiteral("Gemini 3.8 Flash")
                                                              : settings.model;
}

QString GeminiAnalyzer::unavailableReason() const {
    return keyProvider().trimmed().isEmpty() ? QStringLiteral("Gemini API key is not configured.")
                                             : QString();
}

void GeminiAnalyzer::start(const QString& videoPath) {
    gemini->analyzeVideo(videoPath, keyProvider(), settings.model);
}

void GeminiAnalyzer::cancel() {
    gemini->cancel();
}

bool GeminiAnalyzer::isBusy() const {
    return gemini->isBusy();
}

void GeminiAnalyzer::onFinished(bool success, const TimelineData& timeline, const QString& error) {
    TimelineData computed = timeline;
    if (success)
        TimelineMath::computeTimeline(computed, settings.assembly_speed, settings.minimum_pause);
    if (const auto callback = finishedCallback)
        callback(success, computed, error);
}

} // namespace Tessaryn
