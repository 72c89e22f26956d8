#include "ai/GeminiModelList.h"

#include "ai/GeminiClient.h"
#include "ai/GeminiError.h"
#include "app/Endpoints.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

namespace Tessaryn {

namespace {

// The list is read whole in one answer; far more than the service offers.
constexpr int PageSize = 1000;
constexpr qint64 MaxAnswerBytes = 4 * 1024 * 1024;

} // namespace

GeminiModelList::GeminiModelList(QObject* parent)
    : QObject(parent), network(new QNetworkAccessManager(this)),
      baseUrl(Endpoints::geminiBaseUrl()) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (reply)
            reply->abort();
    });
}

GeminiModelList::~GeminiModelList() {
    finishedCallback = nullptr;
    if (reply)
        reply->abort();
}

void GeminiModelList::fetch(const QString& apiKey) {
    if (reply) {
        finish(false, {}, QStringLiteral("The model list is already being fetched."));
        return;
    }
    key = apiKey.trimmed();
    QUrl url(baseUrl + QStringLiteral("/v1beta/models"));
    url.setQuery(QStringLiteral("pageSize=%1").arg(PageSize));
    QNetworkRequest request(url);
    request.setRawHeader("x-goog-api-key", key.toUtf8());
    reply = network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this] { onFinished(); });
    timer.start(timeoutMs);
}

void GeminiModelList::onFinished() {
    timer.stop();
    QNetworkReply* done = reply;
    reply = nullptr;
    done->deleteLater();
    const int status = done->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = done->read(MaxAnswerBytes);
    if (done->error() != QNetworkReply::NoError) {
        finish(false, {},
               status > 0 ? GeminiError::fromReply(status, body, done->rawHeader("Retry-After"))
                                .describe(GeminiError::Request::Other, QString())
                          : GeminiClient::redactKey(done->errorString(), key));
        return;
    }
    const QStringList models = parse(body);
    if (models.isEmpty()) {
        finish(false, {},
               QStringLiteral("Gemini listed no models that analyse video for this key."));
        return;
    }
    finish(true, models, QString());
}

void GeminiModelList::finish(bool success, const QStringList& models, const QString& message) {
    if (const auto callback = finishedCallback)
        callback(success, models, message);
}

QStringList GeminiModelList::parse(const QByteArray& body) {
    // Names become request paths: only plain model names are taken.
    static const QRegularExpression plainName(QStringLiteral("^gemini[A-Za-z0-9._-]*$"));
    QStringList out;
    const QJsonArray models =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("models")).toArray();
    for (const QJsonValue& value : models) {
        const QJsonObject model = value.toObject();
        const QJsonArray methods =
            model.value(QStringLiteral("supportedGenerationMethods")).toArray();
        QString name = model.value(QStringLiteral("name")).toString();
        if (name.startsWith(QLatin1String("models/")))
            name.remove(0, 7);
        if (methods.contains(QStringLiteral("generateContent")) &&
            plainName.match(name).hasMatch() && !out.contains(name))
            out << name;
    }
    return out;
}

} // namespace Tessaryn
