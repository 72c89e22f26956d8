#pragma once

#include "app/PipelineSettings.h"
#include "pipeline/Analyzer.h"

#include <functional>

namespace Tessaryn {

class GeminiClient;

// Analysis by Gemini: the client uploads and asks; the edit settings are applied here, once.
class GeminiAnalyzer : public Analyzer {
public:
    // keyProvider defaults to the stored key (environment and .env included).
    explicit GeminiAnalyzer(const PipelineSettings& settings,
                            std::function<QString()> keyProvider = {}, QObject* parent = nullptr);
    ~GeminiAnalyzer() override;

    QString name() const override { return QStringLiteral("gemini"); }
    QString displayName() const override;
    QString unavailableReason() const override;
    void start(const QString& videoPath) override;
    void cancel() override;
    bool isBusy() const override;

    GeminiClient* client() const { return gemini; }

private:
    void onFinished(bool success, const TimelineData& timeline, const QString& error);

    PipelineSettings settings;
    std::function<QString()> keyProvider;
    GeminiClient* gemini = nullptr;
};

} // namespace Tessaryn
