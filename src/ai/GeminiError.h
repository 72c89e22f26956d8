#pragma once

#include <QByteArray>
#include <QString>

namespace Tessaryn {

// A failed Gemini request as the service describes it: the HTTP status, the error body
// {error:{code,message,status,details}} and the wait the service asks for, turned into a text
// that names the cause and what the user can do about it.
class GeminiError {
public:
    // What the failed request was for, so a 404 can name the model rather than a lost file.
    enum class Request { Upload, Poll, Generate, Other };

    static GeminiError fromReply(int httpStatus, const QByteArray& body,
                                 const QByteArray& retryAfterHeader);

    int httpStatus() const { return status; }
    QString statusName() const { return statusWord; }
    QString message() const { return text; }
    QString reason() const { return reasonWord; }
    // The wait the service asked for (Retry-After or RetryInfo.retryDelay); -1 when none.
    qint64 retryDelayMs() const { return delayMs; }
    bool isDailyQuota() const { return dailyQuota; }
    // Worth sending again after a wait: timeouts, rate limits and server trouble, but not a
    // daily quota, which no short wait restores.
    bool isRetryable() const;
    // "HTTP 429 RESOURCE_EXHAUSTED: <service message> <advice>".
    QString describe(Request request, const QString& model) const;

    // "37s", "1.5s" → milliseconds; -1 when not a duration.
    static qint64 parseDuration(const QString& text);

private:
    int status = 0;
    QString statusWord;
    QString text;
    QString reasonWord;
    qint64 delayMs = -1;
    bool dailyQuota = false;

    QString advice(Request request, const QString& model) const;
};

} // namespace Tessaryn
