#pragma once

#include "app/PipelineSettings.h"
#include "timeline/TimelineData.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QByteArray;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Tessaryn {

// Sends one source clip to the Gemini API and brings back its analysed timeline: one resumable
// upload streamed from the file, polling until the service has processed the file, then one
// generateContent request. One analysis at a time; each ends with exactly one finishedCallback,
// and every error text it carries has the API key masked.
class GeminiClient : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultPollIntervalMs = 2000;
    static constexpr qint64 DefaultPollTimeLimitMs = 10 * 60 * 1000;
    // The upload fails after this long without a byte moving either way.
    static constexpr int DefaultUploadStallMs = 2 * 60 * 1000;
    static constexpr int DefaultPollTimeoutMs = 60 * 1000;
    // The model may think for minutes over a long clip before its answer starts.
    static constexpr int DefaultAnalysisTimeoutMs = 10 * 60 * 1000;
    static constexpr qint64 DefaultMaxAnswerBytes = 32 * 1024 * 1024;
    // The edit parameters are the pipeline's defaults, defined there once.
    static constexpr double RepetitiveSpeed = PipelineSettings::DefaultSpeed;
    static constexpr double PauseThreshold = PipelineSettings::DefaultMinPause;
    // Segment times beyond this are no clip's (about 115 days).
    static constexpr double MaxSegmentSeconds = 1e7;

    explicit GeminiClient(QObject* parent = nullptr);
    // Drops the callbacks before ending a running analysis, so nothing reaches a destroyed owner.
    ~GeminiClient() override;

    // Starts the whole analysis; a running one is cancelled first and reports its failure.
    void analyzeVideo(const QString& videoPath, const QString& apiKey, const QString& modelName);
    // Ends the running analysis in any stage with that stage's failure message.
    void cancel();
    bool isBusy() const { return stage != Stage::Idle; }

    // The API host, e.g. "https://generativelanguage.googleapis.com"; from Endpoints by default.
    void setBaseUrl(const QString& url);
    QString getBaseUrl() const { return baseUrl; }
    void setPollInterval(int ms) { pollIntervalMs = ms; }
    void setPollTimeLimit(qint64 ms) { pollTimeLimitMs = ms; }
    void setRequestTimeouts(int uploadStallMs, int pollMs, int analysisMs);
    void setMaxAnswerBytes(qint64 bytes) { maxAnswerBytes = bytes; }
    // The speed of repetitive stretches and the shortest pause kept as one, for the analyses
    // started from now on (a running one keeps its values). Refused, changing nothing, unless
    // the speed is finite and positive and the threshold finite and not negative.
    bool setEditParameters(double repetitiveSpeed, double pauseThreshold);
    double getRepetitiveSpeed() const { return editSpeed; }
    double getPauseThreshold() const { return editPauseThreshold; }

    static QString defaultModel(); // PipelineSettings::defaultModel()
    static QString analysisPrompt();
    // Unpacks an analysis answer into a computed timeline; reports usage when the answer is a
    // JSON object. On failure sets errorMessage and returns an empty timeline.
    TimelineData parseResponse(const QByteArray& body, QString& errorMessage);
    // Masks every "key=" query value and every copy of key in text.
    static QString redactKey(const QString& text, const QString& key);

    std::function<void(const QString& message, int percent)> progressCallback;
    std::function<void(bool success, const TimelineData& timeline, const QString& errorMessage)>
        finishedCallback;
    std::function<void(qint64 promptTokens, qint64 candidatesTokens)> usageCallback;

private:
    enum class Stage { Idle, Uploading, WaitingToPoll, Polling, Analysing };
    enum class AbortReason { None, Cancelled, TimedOut, TooLarge };
    using Handler = void (GeminiClient::*)();

    QNetworkAccessManager* network = nullptr;
    QNetworkReply* reply = nullptr;
    QString videoPath;
    QString apiKey;
    QString model;
    QString fileUri;
    QString fileName;

    QString baseUrl;
    Stage stage = Stage::Idle;
    quint64 run = 0; // tells a later analysis from the one that scheduled a poll or a report
    AbortReason abortReason = AbortReason::None;
    QTimer pollTimer;
    QTimer requestTimer;
    QElapsedTimer pollClock;
    int pollIntervalMs = DefaultPollIntervalMs;
    qint64 pollTimeLimitMs = DefaultPollTimeLimitMs;
    int uploadStallMs = DefaultUploadStallMs;
    int pollTimeoutMs = DefaultPollTimeoutMs;
    int analysisTimeoutMs = DefaultAnalysisTimeoutMs;
    qint64 maxAnswerBytes = DefaultMaxAnswerBytes;
    double editSpeed = RepetitiveSpeed;
    double editPauseThreshold = PauseThreshold;
    double runSpeed = RepetitiveSpeed; // the values the latest analysis started with
    double runPauseThreshold = PauseThreshold;

    void startFileUpload();
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void onUploadFinished();
    void pollFileState();
    void onPollFileFinished();
    void generateContent();
    void onGenerateContentFinished();

    QNetworkRequest apiRequest(const QString& path) const;
    void track(QNetworkReply* newReply, Handler onFinished, int timeoutMs, bool idleTimeout);
    void abortRequest(AbortReason reason);
    bool takeAnswer(QByteArray& body, QString& failure);
    void releaseReply();
    void schedulePoll();
    // False when a callback ended this analysis or started another one.
    bool progress(const QString& message, int percent, quint64 forRun);
    void fail(const QString& message);
    void finish(bool success, const TimelineData& timeline, const QString& errorMessage);
    QString stageFailure(Stage failed, const QString& detail) const;
    QString abortDetail(AbortReason reason, Stage failed) const;
};

} // namespace Tessaryn
