#include "ai/GeminiClient.h"

#include "app/Endpoints.h"
#include "app/PipelineSettings.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

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
}

GeminiClient::~GeminiClient() {
    progressCallback = nullptr;
    finishedCallback = nullptr;
    usageCallback = nullptr;
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
    const quint64 thisRun = ++run;
    stage = Stage::Uploading;

    if (apiKey.isEmpty()) {
        fail(QStringLiteral("Gemini API key is not configured."));
        return;
    }
    if (!QFile::exists(videoPath)) {
        fail(QStringLiteral("Video file not found: %1").arg(videoPath));
        return;
    }
    // The name becomes part of the request path.
    if (!isModelName(model)) {
        fail(QStringLiteral("Gemini model name is not valid: %1").arg(model));
        return;
    }
    if (progress(QStringLiteral("Initiating video upload to Gemini File API..."), 5, thisRun))
        startFileUpload();
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
    QUrl url(baseUrl + path);
    url.setQuery(QStringLiteral("key=") + QString::fromLatin1(QUrl::toPercentEncoding(apiKey)));
    return QNetworkRequest(url);
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

bool GeminiClient::takeAnswer(QByteArray& body, QString& failure) {
    requestTimer.stop();
    bool ok = reply->error() == QNetworkReply::NoError;
    if (!ok) {
        // Qt's own text repeats the request URL, key included.
        failure = abortReason == AbortReason::TimedOut || abortReason == AbortReason::TooLarge
                      ? abortDetail(abortReason, stage)
                      : redactKey(reply->errorString(), apiKey);
    } else {
        body = reply->read(maxAnswerBytes + 1);
        if (body.size() > maxAnswerBytes) {
            ok = false;
            body.clear();
            failure = abortDetail(AbortReason::TooLarge, stage);
        }
    }
    releaseReply();
    return ok;
}

void GeminiClient::releaseReply() {
    QNetworkReply* released = reply;
    reply = nullptr;
    requestTimer.stop();
    released->disconnect(this);
    released->deleteLater();
}

bool GeminiClient::progress(const QString& message, int percent, quint64 forRun) {
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
    abortReason = AbortReason::None;
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
