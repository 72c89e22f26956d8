#pragma once

#include <QString>

class QJsonObject;

namespace Tessaryn {

// The model's text out of a generateContent answer: why the service refused or cut the answer
// is named first, then the text parts that are not the model's thoughts are joined and a
// Markdown code fence around them is removed.
class GeminiAnswer {
public:
    // The JSON text of the first candidate; empty with errorMessage set on failure.
    static QString modelText(const QJsonObject& answer, QString& errorMessage);
    // "```json\n{...}\n```" → "{...}"; other text comes back trimmed.
    static QString withoutFence(const QString& text);
};

} // namespace Tessaryn
