#include "media/FFmpegEngine.h"

#include <QRegularExpression>

namespace Tessaryn {

namespace {

// Far longer than any "time=" reading, so one split across two reads is still found whole.
constexpr qsizetype ReadingLookBehind = 64;

} // namespace

std::optional<double> FFmpegEngine::readProgress(QString& buffer, const QString& newText) {
    static const QRegularExpression timePattern(QStringLiteral("time=(\\d+):(\\d+):(\\d+\\.\\d+)"));
    const qsizetype newFrom = buffer.size();
    buffer += newText;

    // The latest reading in the new text is the one that follows the render; an earlier one
    // still held in the buffer is stale.
    std::optional<double> seconds;
    auto matches =
        timePattern.globalMatch(buffer, std::max<qsizetype>(0, newFrom - ReadingLookBehind));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (match.capturedEnd(0) <= newFrom)
            continue;
        bool ok = false;
        int hours = match.capturedView(1).toInt(&ok);
        if (!ok)
            hours = 0;
        int minutes = match.capturedView(2).toInt(&ok);
        if (!ok)
            minutes = 0;
        seconds = hours * 3600.0 + minutes * 60.0 + match.capturedView(3).toDouble();
    }

    if (buffer.size() > StderrLimit)
        buffer = buffer.right(StderrKeep);
    return seconds;
}

int FFmpegEngine::progressPercent(double currentSeconds, double totalSeconds) {
    if (!(totalSeconds > 0.0))
        return 0;
    const double value = currentSeconds / totalSeconds * 100.0;
    if (!(value >= 0.0))
        return 0;
    if (value > 100.0)
        return 100;
    return static_cast<int>(value);
}

} // namespace Tessaryn
