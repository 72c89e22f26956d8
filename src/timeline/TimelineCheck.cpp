#include "timeline/TimelineCheck.h"

#include "timeline/TimelineData.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

QString seconds(double value) {
    return QString::number(value, 'f', 2);
}

} // namespace

QString TimelineCheck::repair(TimelineData& data, double clipSeconds) {
    QList<Segment>& segments = data.segments;
    if (segments.isEmpty())
        return QStringLiteral("The analysis has no segments.");
    if (segments.size() > MaxSegments)
        return QStringLiteral("The analysis has %1 segments; more than %2 is not a reading of "
                              "one clip.")
            .arg(QString::number(segments.size()), QString::number(MaxSegments));
    std::stable_sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
        return a.source_start < b.source_start;
    });
    const bool knownLength = std::isfinite(clipSeconds) && clipSeconds > 0.0;
    double previousEnd = 0.0;
    for (int i = 0; i < segments.size(); ++i) {
        Segment& s = segments[i];
        if (knownLength && s.source_start >= clipSeconds - RoundingSeconds)
            return QStringLiteral("Segment %1 starts at %2 s, after the clip ends at %3 s.")
                .arg(QString::number(i + 1), seconds(s.source_start), seconds(clipSeconds));
        if (knownLength)
            s.source_end = std::min(s.source_end, clipSeconds);
        if (i > 0 && s.source_start < previousEnd) {
            if (previousEnd - s.source_start > RoundingSeconds)
                return QStringLiteral("Segments %1 and %2 overlap (%3 s to %4 s).")
                    .arg(QString::number(i), QString::number(i + 1), seconds(s.source_start),
                         seconds(previousEnd));
            s.source_start = previousEnd;
        }
        previousEnd = std::max(previousEnd, s.source_end);
    }
    return QString();
}

} // namespace Tessaryn
