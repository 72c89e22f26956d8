#pragma once

#include "app/PipelineSettings.h"
#include "pipeline/Analyzer.h"

#include <functional>

namespace Tessaryn {

class GeminiClient;
class ProbeJob;

// Analysis by Gemini: the clip is probed for its length, the client uploads and asks, and the
// answer is checked against the clip before the edit settings are applied, here and once.
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

protected:
    // A chance to correct the model's reading before it is checked and computed.
    virtual void adjustAnswer(TimelineData& raw) { Q_UNUSED(raw); }

private:
    void onProbed(double seconds);
    void onFinished(bool success, const TimelineData& timeline, const QString& error);

    PipelineSettings settings;
    std::function<QString()> keyProvider;
    GeminiClient* gemini = nullptr;
    ProbeJob* probe = nullptr;
    QString videoPath;
    double clipSeconds = 0.0; // 0 when the clip's length could not be read
    bool probing = false;
};

} // namespace Tessaryn
