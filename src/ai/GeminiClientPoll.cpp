#include "ai/GeminiClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace Tessaryn {

namespace {

// Clean-up is best effort: an unanswered request is dropped after this long.
constexpr int DeleteTimeoutMs = 30 * 1000;

} // namespace

void GeminiClient::schedulePoll() {
    stage = Stage::WaitingToPoll;
    pollTimer.start(pollIntervalMs);
}

void GeminiClient::pollFileState() {
    // The timer belongs to this client and stops with every analysis, so a poll never reaches
    // a later one; the stage check guards the rest. A retry comes back here while Polling.
    if ((stage != Stage::WaitingToPoll && stage != Stage::Polling) || fileName.isEmpty())
        return;
    stage = Stage::Polling;
    track(network->get(apiRequest(QStringLiteral("/v1beta/") + fileName)),
          &GeminiClient::onPollFileFinished, pollTimeoutMs, false);
}

void GeminiClient::onPollFileFinished() {
    const quint64 thisRun = run;
    const Answer answer = takeAnswer();
    if (!answer.ok) {
        retryOrFail(answer, &GeminiClient::pollFileState);
        return;
    }
    const QJsonObject file = QJsonDocument::fromJson(answer.body).object();
    const QString state = file.value(QStringLiteral("state")).toString();
    if (state == QLatin1String("ACTIVE")) {
        stage = Stage::Analysing;
        if (progress(QStringLiteral("Video ready. Analyzing scene segments..."), 60, thisRun))
            generateContent();
        return;
    }
    if (state == QLatin1String("FAILED")) {
        const QString reason = file.value(QStringLiteral("error"))
                                   .toObject()
                                   .value(QStringLiteral("message"))
                                   .toString()
                                   .simplified()
                                   .left(400);
        fail(reason.isEmpty()
                 ? QStringLiteral("Gemini video processing failed on server.")
                 : QStringLiteral("Gemini video processing failed on server: %1").arg(reason));
        return;
    }
    if (pollClock.elapsed() >= pollTimeLimitMs) {
        fail(QStringLiteral("Gemini video processing did not finish within %1 minutes.")
                 .arg(QString::number(pollTimeLimitMs / 60000.0)));
        return;
    }
    stage = Stage::WaitingToPoll;
    if (progress(QStringLiteral("Waiting for Gemini video encoding..."), 55, thisRun))
        schedulePoll();
}

// Uploaded files would otherwise stay on the service, counting against the key's storage, until
// they expire. Nobody waits for the answer, and a failure changes nothing.
void GeminiClient::deleteUploadedFile(const QString& name) {
    QNetworkReply* removal = network->deleteResource(apiRequest(QStringLiteral("/v1beta/") + name));
    connect(removal, &QNetworkReply::finished, removal, &QObject::deleteLater);
    QPointer<QNetworkReply> guard(removal);
    QTimer::singleShot(DeleteTimeoutMs, removal, [guard] {
        if (guard)
            guard->abort();
    });
}

} // namespace Tessaryn
