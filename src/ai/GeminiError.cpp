#include "ai/GeminiError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace Tessaryn {

namespace {

// Service messages are shown whole, but a page of HTML from a proxy is not a message.
constexpr int MaxMessageChars = 400;

bool endsWithType(const QJsonObject& detail, const char* type) {
    return detail.value(QStringLiteral("@type")).toString().endsWith(QLatin1String(type));
}

bool namesDailyQuota(const QJsonObject& quotaFailure) {
    const QJsonArray violations = quotaFailure.value(QStringLiteral("violations")).toArray();
    for (const QJsonValue& violation : violations) {
        const QJsonObject v = violation.toObject();
        const QString id = v.value(QStringLiteral("quotaId")).toString() + QLatin1Char(' ') +
                           v.value(QStringLiteral("quotaMetric")).toString();
        if (id.contains(QLatin1String("PerDay"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString seconds(qint64 ms) {
    return QString::number(std::ceil(ms / 1000.0));
}

} // namespace

qint64 GeminiError::parseDuration(const QString& text) {
    QString t = text.trimmed();
    if (t.endsWith(QLatin1Char('s')))
        t.chop(1);
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > 86400.0 * 7)
        return -1;
    return static_cast<qint64>(std::ceil(value * 1000.0));
}

GeminiError GeminiError::fromReply(int httpStatus, const QByteArray& body,
                                   const QByteArray& retryAfterHeader) {
    GeminiError e;
    e.status = httpStatus;
    const QJsonObject error =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toObject();
    e.statusWord = error.value(QStringLiteral("status")).toString();
    e.text = error.value(QStringLiteral("message")).toString().simplified().left(MaxMessageChars);
    const QJsonArray details = error.value(QStringLiteral("details")).toArray();
    for (const QJsonValue& value : details) {
        const QJsonObject detail = value.toObject();
        if (endsWithType(detail, "google.rpc.ErrorInfo"))
            e.reasonWord = detail.value(QStringLiteral("reason")).toString();
        else if (endsWithType(detail, "google.rpc.RetryInfo"))
            e.delayMs = parseDuration(detail.value(QStringLiteral("retryDelay")).toString());
        else if (endsWithType(detail, "google.rpc.QuotaFailure"))
            e.dailyQuota = e.dailyQuota || namesDailyQuota(detail);
    }
    // Retry-After in seconds; the HTTP-date form is not used by this service.
    const qint64 header = parseDuration(QString::fromLatin1(retryAfterHeader));
    if (header >= 0)
        e.delayMs = std::max(e.delayMs, header);
    return e;
}

bool GeminiError::isRetryable() const {
    switch (status) {
    case 408:
    case 500:
    case 502:
    case 503:
    case 504:
        return true;
    case 429:
        return !dailyQuota;
    default:
        return false;
    }
}

QString GeminiError::describe(Request request, const QString& model) const {
    QString out = QStringLiteral("HTTP %1").arg(status);
    if (!statusWord.isEmpty())
        out += QLatin1Char(' ') + statusWord;
    if (!text.isEmpty())
        out += QStringLiteral(": ") + text;
    const QString help = advice(request, model);
    if (!help.isEmpty())
        out += (text.isEmpty() ? QStringLiteral(". ") : QStringLiteral(" ")) + help;
    return out;
}

QString GeminiError::advice(Request request, const QString& model) const {
    if (reasonWord == QLatin1String("API_KEY_INVALID") ||
        (status == 400 && text.contains(QLatin1String("API key"), Qt::CaseInsensitive)))
        return QStringLiteral("Check the Gemini API key in Settings.");
    if (status == 401 || status == 403)
        return QStringLiteral("The API key is not allowed to do this; check it in Settings.");
    if (status == 404 && request == Request::Generate)
        return QStringLiteral("The model \"%1\" is not available to this key; pick another "
                              "model in Settings.")
            .arg(model);
    if (status == 429 && dailyQuota)
        return QStringLiteral("The daily quota of this key is used up; try again tomorrow or "
                              "use another key.");
    if (status == 429)
        return delayMs >= 0 ? QStringLiteral("Quota or rate limit reached; the service asks to "
                                             "wait %1 s.")
                                  .arg(seconds(delayMs))
                            : QStringLiteral("Quota or rate limit reached; wait a minute and "
                                             "try again.");
    if (status == 408 || status >= 500)
        return QStringLiteral("The Gemini service is busy or unavailable; try again later.");
    return QString();
}

} // namespace Tessaryn
