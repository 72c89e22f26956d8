#include "ai/GeminiClient.h"

#include "ai/VideoMimeType.h"
#include "app/Endpoints.h"
#include "app/PipelineSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// A failure handler that keeps starting analyses must not trap analyzeVideo in a loop.
constexpr int MaxPreemptions = 16;

bool isModelName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return pattern.match(name).hasMatch();
}

} // namespace

GeminiClient::GeminiClient(QObject* parent)
    : QObject(parent), network(new QNetworkAccessManager(this)),
      baseUrl(Endpoints::geminiBaseUrl()) {
    pollTimer.setSingleShot(true);
    connect(&pollTimer, &QTimer::timeout, this, [this] { pollFileState(); });
    requestTimer.setSingleShot(true);
    connect(&requestTimer, &QTimer::timeout, this, [this] { abortRequest(AbortReason::TimedOut); });
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, [this] {
        if (stage != Stage::Idle && !reply && retrySender)
            (this->*retrySender)();
    });
}

GeminiClient::~GeminiClient() {
    progressCallback = nullptr;
    finishedCallback = nullptr;
    usageCallback = nullptr;
    fileName.clear(); // no clean-up request from a client that is going away
    cancel();
}

QString GeminiClient::defaultModel() {
    return PipelineSettings::defaultModel();
}

void GeminiClient::setBaseUrl(const QString& url) {
    baseUrl = url;
    while (baseUrl.endsWith(QLatin1Char('/')))
        baseUrl.chop(1);
}

void GeminiClient::setRequestTimeouts(int uploadStall, int poll, int analysis) {
    uploadStallMs = uploadStall;
    pollTimeoutMs = poll;
    analysisTimeoutMs = analysis;
}

void GeminiClient::analyzeVideo(const QString& path, const QString& key, const QString& modelName) {
    // One job at a time: the running one ends first and reports its own failure, so its reel
    // is not left waiting; a job that failure's handler started ends the same way.
    for (int i = 0; i < MaxPreemptions && isBusy(); ++i)
        cancel();
    if (isBusy()) {
        if (finishedCallback)
            finishedCallback(false, TimelineData(),
                             QStringLiteral("Gemini client is busy with another analysis."));
        return;
    }

    videoPath = path;
    apiKey = key.trimmed();
    model = modelName.trimmed();
    if (model.isEmpty())
        model = defaultModel();
    fileUri.clear();
    fileName.clear();
    uploadUrl.clear();
    uploadOffset = 0;
    retriesUsed = 0;
    retryWaitedMs = 0;
    lastPercent = 0;
    const quint64 thisRun = ++run;
    stage = Stage::Uploading;

    const QString refusal = checkClip();
    if (!refusal.isEmpty()) {
        fail(refusal);
        return;
    }
    if (progress(QStringLiteral("Initiating video upload to Gemini File API..."), 5, thisRun))
        startFileUpload();
}

// Everything that would fail the upload is found before a byte is sent.
QString GeminiClient::checkClip() {
    if (apiKey.isEmpty())
        return QStringLiteral("Gemini API key is not configured.");
    if (!QFile::exists(videoPath))
        return QStringLiteral("Video file not found: %1").arg(videoPath);
    QFile file(videoPath);
    if (QFileInfo(videoPath).isDir() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("Unable to read video file for upload.");
    fileSize = file.size();
    mimeType = VideoMimeType::forPath(videoPath);
    if (mimeType.isEmpty())
        return VideoMimeType::refusal(videoPath);
    if (fileSize <= 0)
        return QStringLiteral("The video file is empty: %1").arg(videoPath);
    const QString tooLarge = VideoMimeType::sizeRefusal(fileSize);
    if (!tooLarge.isEmpty())
        return tooLarge;
    // The name becomes part of the request path.
    if (!isModelName(model))
        return QStringLiteral("Gemini model name is not valid: %1").arg(model);
    return QString();
}

void GeminiClient::setRetryPolicy(int retries, int baseDelayMs, qint64 totalBudgetMs) {
    maxRetries = std::max(0, retries);
    retryBaseMs = std::max(1, baseDelayMs);
    retryBudgetMs = std::max<qint64>(0, totalBudgetMs);
}

void GeminiClient::cancel() {
    abortRequest(AbortReason::Cancelled);
}

void GeminiClient::abortRequest(AbortReason reason) {
    if (stage == Stage::Idle)
        return;
    const quint64 aborted = run;
    const Stage failed = stage;
    abortReason = reason;
    if (QNetworkReply* r = reply) {
        // Qt reports the end during abort: the stage's handler reports the failure.
        r->abort();
        if (reply == r)
            releaseReply();
    }
    // No request was in flight (waiting for the next poll), or Qt did not report the end.
    if (stage != Stage::Idle && run == aborted)
        fail(stageFailure(failed, abortDetail(reason, failed)));
}

QString GeminiClient::abortDetail(AbortReason reason, Stage failed) const {
    switch (reason) {
    case AbortReason::TimedOut:
        return (failed == Stage::Uploading
                    ? QStringLiteral("No data sent or received for %1 seconds")
                    : QStringLiteral("No answer within %1 seconds"))
            .arg(QString::number(requestTimer.interval() / 1000.0));
    case AbortReason::TooLarge:
        return QStringLiteral("Answer larger than %1 bytes").arg(maxAnswerBytes);
    case AbortReason::Cancelled:
    case AbortReason::None:
        break;
    }
    return QStringLiteral("Operation canceled");
}

QNetworkRequest GeminiClient::apiRequest(const QString& path) const {
    return keyedRequest(QUrl(baseUrl + path));
}

// The key goes in a header: a URL lands in proxy and server logs.
QNetworkRequest GeminiClient::keyedRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setRawHeader("x-goog-api-key", apiKey.toUtf8());
    return request;
}

void GeminiClient::track(QNetworkReply* newReply, Handler onFinished, int timeoutMs,
                         bool idleTimeout) {
    reply = newReply;
    abortReason = AbortReason::None;
    // Each handler answers only its own reply: a released one may still be delivering.
    connect(newReply, &QNetworkReply::finished, this, [this, newReply, onFinished] {
        if (newReply == reply)
            (this->*onFinished)();
    });
    connect(newReply, &QNetworkReply::downloadProgress, this,
            [this, newReply, idleTimeout](qint64 received, qint64) {
                if (newReply != reply)
                    return;
                if (received > maxAnswerBytes)
                    abortRequest(AbortReason::TooLarge);
                else if (idleTimeout && requestTimer.isActive())
                    requestTimer.start();
            });
    requestTimer.stop();
    if (timeoutMs > 0)
        requestTimer.start(timeoutMs);
}

GeminiClient::Answer GeminiClient::takeAnswer() {
    requestTimer.stop();
    Answer a;
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto& header : reply->rawHeaderPairs())
        a.headers.insert(header.first.toLower(), header.second);
    a.ok = reply->error() == QNetworkReply::NoError;
    if (a.ok)
        retriesUsed = 0; // the attempts are counted per request, the waiting per analysis
    if (abortReason == AbortReason::TimedOut || abortReason == AbortReason::TooLarge) {
        a.ok = false;
        a.failure = abortDetail(abortReason, stage);
    } else if (abortReason == AbortReason::Cancelled) {
        a.ok = false;
        a.failure = redactKey(reply->errorString(), apiKey);
    } else {
        // An error answer carries the service's own description in its body.
        a.body = reply->read(maxAnswerBytes + 1);
        if (a.body.size() > maxAnswerBytes) {
            a.ok = false;
            a.status = 0;
            a.body.clear();
            a.failure = abortDetail(AbortReason::TooLarge, stage);
        } else if (!a.ok && a.status == 0) {
            a.dropped = true;
            a.failure = redactKey(reply->errorString(), apiKey);
        }
    }
    releaseReply();
    return a;
}

void GeminiClient::releaseReply() {
    QNetworkReply* released = reply;
    reply = nullptr;
    requestTimer.stop();
    released->disconnect(this);
    released->deleteLater();
}

bool GeminiClient::progress(const QString& message, int percent, quint64 forRun) {
    lastPercent = percent;
    if (progressCallback)
        progressCallback(message, percent);
    return stage != Stage::Idle && run == forRun;
}

void GeminiClient::fail(const QString& message) {
    finish(false, TimelineData(), message);
}

void GeminiClient::finish(bool success, const TimelineData& timeline, const QString& errorMessage) {
    stage = Stage::Idle;
    pollTimer.stop();
    requestTimer.stop();
    retryTimer.stop();
    abortReason = AbortReason::None;
    // Before the report: the owner may start the next analysis from inside it.
    const QString uploaded = fileName;
    fileName.clear();
    if (!uploaded.isEmpty())
        deleteUploadedFile(uploaded);
    // A copy: the owner may replace the callback, or start the next analysis, from inside it.
    if (const auto callback = finishedCallback)
        callback(success, timeline, errorMessage);
}

QString GeminiClient::stageFailure(Stage failed, const QString& detail) const {
    switch (failed) {
    case Stage::Uploading:
        return QStringLiteral("Upload failed: %1").arg(detail);
    case Stage::WaitingToPoll:
    case Stage::Polling:
        return QStringLiteral("Poll failed: %1").arg(detail);
    case Stage::Analysing:
        return QStringLiteral("Gemini analysis error: %1").arg(detail);
    case Stage::Idle:
        break;
    }
    return detail;
}

QString GeminiClient::redactKey(const QString& text, const QString& key) {
    static const QRegularExpression keyParameter(QStringLiteral("([?&;]key=)[^&#\\s]*"),
                                                 QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    out.replace(keyParameter, QStringLiteral("\\1***"));
    if (!key.isEmpty()) {
        out.replace(key, QStringLiteral("***"));
        out.replace(QString::fromLatin1(QUrl::toPercentEncoding(key)), QStringLiteral("***"));
    }
    return out;
}

} // namespace Tessaryn
