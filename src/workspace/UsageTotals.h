#pragma once

#include <QJsonObject>

namespace Tessaryn {

// Gemini usage of one workspace, summed over every session that worked on it.
struct UsageTotals {
    qint64 prompt_tokens = 0;
    qint64 candidate_tokens = 0;
    int analyses = 0;

    QJsonObject toJson() const;
    static UsageTotals fromJson(const QJsonObject& object);
};

} // namespace Tessaryn
