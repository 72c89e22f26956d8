#include "app/Endpoints.h"

#include <QUrl>

namespace Tessaryn {

QString Endpoints::defaultGeminiBaseUrl() {
    return QStringLiteral("https://generativelanguage.googleapis.com");
}

QString Endpoints::geminiBaseUrl() {
    QString configured = qEnvironmentVariable("TESSARYN_GEMINI_BASE_URL").trimmed();
    while (configured.endsWith(QLatin1Char('/')))
        configured.chop(1);
    const QUrl url(configured, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    // The key travels in a request header to this address: one that is not plainly http(s)
    // is ignored rather than guessed at.
    if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return defaultGeminiBaseUrl();
    return configured;
}

} // namespace Tessaryn
