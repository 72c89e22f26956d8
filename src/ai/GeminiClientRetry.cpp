#include "ai/GeminiClient.h"

#include "ai/GeminiError.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// A single wait never grows beyond this, however many attempts came before.
constexpr qint64 MaxBackoffMs = 60 * 1000;

} // namespace

void GeminiClient::retryOrFail(const Answer& answer, Handler resend) {
    const Stage failed = stage;
    if (answer.status <= 0) {
        fail(stageFailure(failed, answer.failure));
        return;
    }
    const GeminiError error =
        GeminiError::fromReply(answer.status, answer.body, answer.headers.value("retry-after"));
    const GeminiError::Request request = failed == Stage::Uploading ? GeminiError::Request::Upload
                                         : failed == Stage::Analysing
                                             ? GeminiError::Request::Generate
                                             : GeminiError::Request::Poll;
    const QString text = error.describe(request, model);
    if (error.isRetryable() && scheduleRetry(resend, error.retryDelayMs(), text))
        return;
    fail(stageFailure(failed,
                      retriesUsed > 0
                          ? QStringLiteral("%1 (after %2 attempts)").arg(text).arg(retriesUsed + 1)
                          : text));
}

// False when the attempts or the analysis's total waiting time are used up.
bool GeminiClient::scheduleRetry(Handler resend, qint64 serviceDelayMs, const QString& why) {
    if (retriesUsed >= maxRetries)
        return false;
    const qint64 delay = serviceDelayMs >= 0 ? serviceDelayMs : backoffMs();
    if (retryWaitedMs + delay > retryBudgetMs)
        return false;
    ++retriesUsed;
    retryWaitedMs += delay;
    retrySender = resend;
    const quint64 thisRun = run;
    const QString message = QStringLiteral("Gemini could not serve the request (%1); trying "
                                           "again in %2 s...")
                                .arg(why.section(QLatin1Char(':'), 0, 0))
                                .arg(QString::number(std::ceil(delay / 100.0) / 10.0));
    if (progress(message, lastPercent, thisRun))
        retryTimer.start(static_cast<int>(delay));
    return true;
}

// Exponential growth with jitter, so clients refused together do not return together.
qint64 GeminiClient::backoffMs() const {
    const double exponential = double(retryBaseMs) * std::pow(2.0, retriesUsed);
    const double capped = std::min(exponential, double(MaxBackoffMs));
    const double jitter = 0.5 + QRandomGenerator::global()->generateDouble() * 0.5;
    return std::max<qint64>(1, static_cast<qint64>(capped * jitter));
}

} // namespace Tessaryn
