#include "ai/GeminiClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace Tessaryn {

namespace {

// The name is polled as a request path: only "files/<id>" may get there.
bool isFileResourceName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^files/[A-Za-z0-9_-]+$"));
    return pattern.match(name).hasMatch();
}

} // namespace

void GeminiClient::startFileUpload() {
    // Streamed from the file, so a clip of any size costs no more memory than a small one.
    auto* file = new QFile(videoPath);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        fail(QStringLiteral("Unable to read video file for upload."));
        return;
    }
    QNetworkRequest request = apiRequest(QStringLiteral("/upload/v1beta/files"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("video/mp4"));
    request.setRawHeader("X-Goog-Upload-Command", "start, upload, finalize");
    request.setRawHeader("X-Goog-Upload-Header-Content-Length", QByteArray::number(file->size()));
    request.setRawHeader("X-Goog-Upload-Header-Content-Type", "video/mp4");
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);

    QNetworkReply* upload = network->post(request, file);
    file->setParent(upload);
    track(upload, &GeminiClient::onUploadFinished, uploadStallMs, true);
    connect(upload, &QNetworkReply::uploadProgress, this,
            [this, upload](qint64 sent, qint64 total) {
                if (upload == reply)
                    onUploadProgress(sent, total);
            });
}

void GeminiClient::onUploadProgress(qint64 bytesSent, qint64 bytesTotal) {
    if (requestTimer.isActive())
        requestTimer.start(); // the upload's limit is on silence, not on its length
    if (bytesTotal <= 0 || !progressCallback)
        return;
    const int percent = 5 + static_cast<int>(double(bytesSent) / double(bytesTotal) * 45.0);
    progressCallback(QStringLiteral("Uploading footage (%1 MB)...").arg(bytesSent / 1048576),
                     percent);
}

void GeminiClient::onUploadFinished() {
    const quint64 thisRun = run;
    QByteArray body;
    QString failure;
    if (!takeAnswer(body, failure)) {
        fail(stageFailure(Stage::Uploading, failure));
        return;
    }
    const QJsonObject file =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("file")).toObject();
    fileUri = file.value(QStringLiteral("uri")).toString();
    fileName = file.value(QStringLiteral("name")).toString();
    const bool active = file.value(QStringLiteral("state")).toString() == QLatin1String("ACTIVE");

    // Without the file's address there is nothing to analyse, and without its name nothing to
    // poll: waiting would never end.
    if (fileUri.isEmpty() || (!active && !isFileResourceName(fileName))) {
        fail(QStringLiteral("Gemini upload answer did not identify the uploaded file."));
        return;
    }
    if (active) {
        stage = Stage::Analysing;
        if (progress(QStringLiteral("Video processed by Gemini. Requesting milestone analysis..."),
                     55, thisRun))
            generateContent();
        return;
    }
    stage = Stage::WaitingToPoll;
    pollClock.start();
    if (progress(QStringLiteral("Processing video on Gemini server..."), 52, thisRun))
        schedulePoll();
}

void GeminiClient::schedulePoll() {
    stage = Stage::WaitingToPoll;
    pollTimer.start(pollIntervalMs);
}

void GeminiClient::pollFileState() {
    // The timer belongs to this client and stops with every analysis, so a poll never reaches
    // a later one; the stage check guards the rest.
    if (stage != Stage::WaitingToPoll || fileName.isEmpty())
        return;
    stage = Stage::Polling;
    track(network->get(apiRequest(QStringLiteral("/v1beta/") + fileName)),
          &GeminiClient::onPollFileFinished, pollTimeoutMs, false);
}

void GeminiClient::onPollFileFinished() {
    const quint64 thisRun = run;
    QByteArray body;
    QString failure;
    if (!takeAnswer(body, failure)) {
        fail(stageFailure(Stage::Polling, failure));
        return;
    }
    const QString state =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("state")).toString();
    if (state == QLatin1String("ACTIVE")) {
        stage = Stage::Analysing;
        if (progress(QStringLiteral("Video ready. Analyzing scene segments..."), 60, thisRun))
            generateContent();
        return;
    }
    if (state == QLatin1String("FAILED")) {
        fail(QStringLiteral("Gemini video processing failed on server."));
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

} // namespace Tessaryn
