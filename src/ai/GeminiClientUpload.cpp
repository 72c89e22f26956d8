#include "ai/GeminiClient.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace Tessaryn {

namespace {

// The name is polled and deleted as a request path: only "files/<id>" may get there.
bool isFileResourceName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^files/[A-Za-z0-9_-]+$"));
    return pattern.match(name).hasMatch();
}

// The key header goes along with every chunk: only to the host it was meant for.
bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(a.scheme() == QLatin1String("https") ? 443 : 80) ==
               b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

} // namespace

// Opens the upload: the file's length, type and name; the service answers with the address
// the bytes go to.
void GeminiClient::startFileUpload() {
    stage = Stage::Uploading;
    QNetworkRequest request = apiRequest(QStringLiteral("/upload/v1beta/files"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("X-Goog-Upload-Protocol", "resumable");
    request.setRawHeader("X-Goog-Upload-Command", "start");
    request.setRawHeader("X-Goog-Upload-Header-Content-Length", QByteArray::number(fileSize));
    request.setRawHeader("X-Goog-Upload-Header-Content-Type", mimeType.toLatin1());
    const QJsonObject metadata{
        {QStringLiteral("file"),
         QJsonObject{{QStringLiteral("display_name"), QFileInfo(videoPath).fileName()}}}};
    track(network->post(request, QJsonDocument(metadata).toJson(QJsonDocument::Compact)),
          &GeminiClient::onUploadStarted, uploadStallMs, false);
}

void GeminiClient::onUploadStarted() {
    const Answer answer = takeAnswer();
    if (!answer.ok) {
        retryOrFail(answer, &GeminiClient::startFileUpload);
        return;
    }
    const QUrl url(QString::fromUtf8(answer.headers.value("x-goog-upload-url")), QUrl::StrictMode);
    if (!url.isValid() || !sameOrigin(url, QUrl(baseUrl))) {
        fail(QStringLiteral("Upload failed: Gemini did not give an upload address on its own "
                            "host."));
        return;
    }
    uploadUrl = url;
    uploadOffset = 0;
    sendChunk();
}

// One chunk read from the file at the current offset: memory never holds more than a chunk.
void GeminiClient::sendChunk() {
    stage = Stage::Uploading;
    chunkLength = std::min(chunkBytes, fileSize - uploadOffset);
    QFile file(videoPath);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly) && file.seek(uploadOffset))
        bytes = file.read(chunkLength);
    if (bytes.size() != chunkLength) {
        fail(QStringLiteral("Unable to read video file for upload."));
        return;
    }
    const bool last = uploadOffset + chunkLength >= fileSize;
    QNetworkRequest request = keyedRequest(uploadUrl);
    request.setRawHeader("X-Goog-Upload-Command", last ? "upload, finalize" : "upload");
    request.setRawHeader("X-Goog-Upload-Offset", QByteArray::number(uploadOffset));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/octet-stream"));
    QNetworkReply* chunk = network->post(request, bytes);
    bytes.clear();
    track(chunk, &GeminiClient::onChunkFinished, uploadStallMs, true);
    connect(chunk, &QNetworkReply::uploadProgress, this, [this, chunk](qint64 sent, qint64) {
        if (chunk == reply)
            onUploadProgress(uploadOffset + sent, fileSize);
    });
}

void GeminiClient::onChunkFinished() {
    const Answer answer = takeAnswer();
    if (!answer.ok) {
        // A dropped connection leaves the service holding some of the chunk: ask how much.
        if (answer.dropped &&
            scheduleRetry(&GeminiClient::queryUpload, -1, QStringLiteral("connection lost")))
            return;
        retryOrFail(answer, &GeminiClient::sendChunk);
        return;
    }
    if (uploadOffset + chunkLength >= fileSize ||
        answer.headers.value("x-goog-upload-status") == "final") {
        onUploadFinished(answer.body);
        return;
    }
    uploadOffset += chunkLength;
    sendChunk();
}

void GeminiClient::queryUpload() {
    stage = Stage::Uploading;
    QNetworkRequest request = keyedRequest(uploadUrl);
    request.setRawHeader("X-Goog-Upload-Command", "query");
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/octet-stream"));
    track(network->post(request, QByteArray()), &GeminiClient::onQueryFinished, uploadStallMs,
          false);
}

void GeminiClient::onQueryFinished() {
    const Answer answer = takeAnswer();
    if (!answer.ok) {
        if (answer.dropped &&
            scheduleRetry(&GeminiClient::queryUpload, -1, QStringLiteral("connection lost")))
            return;
        retryOrFail(answer, &GeminiClient::queryUpload);
        return;
    }
    if (answer.headers.value("x-goog-upload-status") == "final") {
        onUploadFinished(answer.body);
        return;
    }
    bool ok = false;
    const qint64 received = answer.headers.value("x-goog-upload-size-received").toLongLong(&ok);
    if (!ok || received < 0 || received > fileSize) {
        fail(QStringLiteral("Upload failed: Gemini did not say how much of the file it "
                            "received."));
        return;
    }
    uploadOffset = received;
    sendChunk();
}

void GeminiClient::onUploadProgress(qint64 bytesSent, qint64 bytesTotal) {
    if (requestTimer.isActive())
        requestTimer.start(); // the upload's limit is on silence, not on its length
    if (bytesTotal <= 0 || !progressCallback)
        return;
    const int percent = 5 + static_cast<int>(double(bytesSent) / double(bytesTotal) * 45.0);
    // A chunk sent again after a lost connection does not move the bar back.
    if (percent < lastPercent)
        return;
    lastPercent = percent;
    progressCallback(QStringLiteral("Uploading footage (%1 MB)...").arg(bytesSent / 1048576),
                     percent);
}

void GeminiClient::onUploadFinished(const QByteArray& body) {
    const quint64 thisRun = run;
    const QJsonObject file =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("file")).toObject();
    fileUri = file.value(QStringLiteral("uri")).toString();
    const QString name = file.value(QStringLiteral("name")).toString();
    // Only a well-formed name is kept: it is polled and deleted by path.
    fileName = isFileResourceName(name) ? name : QString();
    const bool active = file.value(QStringLiteral("state")).toString() == QLatin1String("ACTIVE");

    // Without the file's address there is nothing to analyse, and without its name nothing to
    // poll: waiting would never end.
    if (fileUri.isEmpty() || (!active && fileName.isEmpty())) {
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

} // namespace Tessaryn
