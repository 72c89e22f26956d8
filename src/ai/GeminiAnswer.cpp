#include "ai/GeminiAnswer.h"

#include <QJsonArray>
#include <QJsonObject>

namespace Tessaryn {

namespace {

QString joinedText(const QJsonArray& parts) {
    QString text;
    for (const QJsonValue& value : parts) {
        const QJsonObject part = value.toObject();
        // Thought summaries are the model's reasoning, not its answer.
        if (part.value(QStringLiteral("thought")).toBool())
            continue;
        text += part.value(QStringLiteral("text")).toString();
    }
    return text;
}

// Empty when the candidate ended normally (or the service did not say).
QString finishFailure(const QString& reason, bool hasText) {
    if (reason.isEmpty() || reason == QLatin1String("STOP") ||
        reason == QLatin1String("FINISH_REASON_UNSPECIFIED"))
        return QString();
    if (reason == QLatin1String("MAX_TOKENS"))
        return hasText ? QStringLiteral("Gemini's answer was cut off at its output limit "
                                        "(MAX_TOKENS); try a shorter clip.")
                       : QStringLiteral("Gemini used its whole output limit before answering "
                                        "(MAX_TOKENS); try a shorter clip.");
    if (reason == QLatin1String("SAFETY") || reason == QLatin1String("PROHIBITED_CONTENT") ||
        reason == QLatin1String("BLOCKLIST") || reason == QLatin1String("SPII") ||
        reason == QLatin1String("IMAGE_SAFETY"))
        return QStringLiteral("Gemini stopped its answer for safety reasons (%1).").arg(reason);
    if (reason == QLatin1String("RECITATION"))
        return QStringLiteral("Gemini stopped its answer because it resembled existing material "
                              "(RECITATION).");
    return QStringLiteral("Gemini stopped its answer early (%1).").arg(reason);
}

} // namespace

QString GeminiAnswer::modelText(const QJsonObject& answer, QString& errorMessage) {
    const QString blocked = answer.value(QStringLiteral("promptFeedback"))
                                .toObject()
                                .value(QStringLiteral("blockReason"))
                                .toString();
    if (!blocked.isEmpty()) {
        errorMessage = QStringLiteral("Gemini refused the request (blockReason %1).").arg(blocked);
        return QString();
    }
    const QJsonArray candidates = answer.value(QStringLiteral("candidates")).toArray();
    if (candidates.isEmpty()) {
        errorMessage = QStringLiteral("No candidate content returned by Gemini");
        return QString();
    }
    const QJsonObject candidate = candidates.first().toObject();
    const QString text = joinedText(candidate.value(QStringLiteral("content"))
                                        .toObject()
                                        .value(QStringLiteral("parts"))
                                        .toArray());
    errorMessage = finishFailure(candidate.value(QStringLiteral("finishReason")).toString(),
                                 !text.trimmed().isEmpty());
    if (!errorMessage.isEmpty())
        return QString();
    if (text.trimmed().isEmpty()) {
        errorMessage = QStringLiteral("No text content in candidate response");
        return QString();
    }
    return withoutFence(text);
}

QString GeminiAnswer::withoutFence(const QString& text) {
    QString t = text.trimmed();
    if (!t.startsWith(QLatin1String("```")) || !t.endsWith(QLatin1String("```")) || t.size() < 6)
        return t;
    t.chop(3);
    const qsizetype lineEnd = t.indexOf(QLatin1Char('\n'));
    // The opening fence's line may name the language ("```json").
    return lineEnd < 0 ? t.mid(3).trimmed() : t.mid(lineEnd + 1).trimmed();
}

} // namespace Tessaryn
