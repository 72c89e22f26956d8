#include "workspace/UsageTotals.h"

#include <QtGlobal>

namespace Tessaryn {

namespace {

// Counts are stored as JSON numbers; anything negative or not a number reads as zero.
qint64 readCount(const QJsonObject& o, const char* key) {
    const double v = o.value(QLatin1String(key)).toDouble(0.0);
    return v > 0.0 && v < 9.0e15 ? qint64(v) : 0;
}

} // namespace

QJsonObject UsageTotals::toJson() const {
    return {{"prompt_tokens", double(prompt_tokens)},
            {"candidate_tokens", double(candidate_tokens)},
            {"analyses", analyses}};
}

UsageTotals UsageTotals::fromJson(const QJsonObject& o) {
    UsageTotals u;
    u.prompt_tokens = readCount(o, "prompt_tokens");
    u.candidate_tokens = readCount(o, "candidate_tokens");
    u.analyses = int(qMin<qint64>(readCount(o, "analyses"), 1 << 30));
    return u;
}

} // namespace Tessaryn
