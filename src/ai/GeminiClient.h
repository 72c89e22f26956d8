#pragma once

#include "timeline/TimelineData.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QByteArray;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Tessaryn {

// Sends one source clip to the Gemini API and brings back its analysed timeline: a resumable
// upload (a start request, then the file in chunks read one at a time), polling until the
// service has processed the file, then one generateContent request; the uploaded file is
// deleted afterwards. Requests the service could not serve for now are sent again after a
// growing wait. One analysis at a time; each ends with exactly one finishedCallback, and every
// error text it carries has the API key masked. The key travels only in a request header.
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
    // The documented chunk size of the official clients; a multiple of the 256 KiB granularity.
    static constexpr qint64 DefaultChunkBytes = 8 * 1024 * 1024;
    // Attempts after the first, for each request.
    static constexpr int DefaultMaxRetries = 5;
    static constexpr int DefaultRetryBaseMs = 1000;
    // All waits of one analysis together; a longer wait asked for by the service fails at once.
    static constexpr qint64 DefaultRetryBudgetMs = 3 * 60 * 1000;
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
    void setChunkBytes(qint64 bytes) { chunkBytes = bytes > 0 ? bytes : DefaultChunkBytes; }
    void setRetryPolicy(int maxRetries, int baseDelayMs, qint64 totalBudgetMs);

    static QString defaultModel(); // "gemini-3.8-flash"
    static QString analysisPrompt();
    // Unpacks an analysis answer into the model's timeline, checked but not yet computed (the
    // pipeline applies the edit settings); reports usage when the answer is a JSON object. On
    // failure sets errorMessage and returns an empty timeline.
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
    // One finished request: its HTTP status (0 when none arrived), body and headers.
    struct Answer {
        bool ok = false;
        int status = 0;
        bool dropped = false; // the connection failed without an HTTP answer
        QByteArray body;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QString failure;                       // set when not ok
    };

    QNetworkAccessManager* network = nullptr;
    QNetworkReply* reply = nullptr;
    QString videoPath;
    QString apiKey;
    QString model;
    QString fileUri;
    QString fileName;
    QString mimeType;
    qint64 fileSize = 0;
    QUrl uploadUrl;
    qint64 uploadOffset = 0;
    qint64 chunkLength = 0;

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
    qint64 chunkBytes = DefaultChunkBytes;
    int maxRetries = DefaultMaxRetries;
    int retryBaseMs = DefaultRetryBaseMs;
    qint64 retryBudgetMs = DefaultRetryBudgetMs;
    int retriesUsed = 0;      // of the request being retried; reset by every answer taken
    qint64 retryWaitedMs = 0; // of the whole analysis
    int lastPercent = 0;
    QTimer retryTimer;
    Handler retrySender = nullptr;

    QString checkClip();
    void startFileUpload();
    void onUploadStarted();
    void sendChunk();
    void onChunkFinished();
    void queryUpload();
    void onQueryFinished();
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void onUploadFinished(const QByteArray& body);
    void pollFileState();
    void onPollFileFinished();
    void generateContent();
    void onGenerateContentFinished();
    void deleteUploadedFile(const QString& name);

    QNetworkRequest apiRequest(const QString& path) const;
    QNetworkRequest keyedRequest(const QUrl& url) const;
    void track(QNetworkReply* newReply, Handler onFinished, int timeoutMs, bool idleTimeout);
    void abortRequest(AbortReason reason);
    Answer takeAnswer();
    // Sends the request again after a wait when the service may serve it later; otherwise
    // reports the failure.
    void retryOrFail(const Answer& answer, Handler resend);
    bool scheduleRetry(Handler resend, qint64 serviceDelayMs, const QString& why);
    qint64 backoffMs() const;
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
