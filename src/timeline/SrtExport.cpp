#include "timeline/SrtExport.h"

#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

QString SrtExport::formatName() const {
    return QStringLiteral("srt");
}

QString SrtExport::text(const TimelineData& data, TimelineAxis axis) const {
    QString out;
    int cue = 1;
    const QList<Span> placed = spans(data, axis);
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments[i];
        if (!placed[i].onAxis)
            continue;
        const double start = placed[i].start;
        const double end = placed[i].end;
        if (end - start < MinCueSeconds)
            continue;
        out += QString::number(cue) + QLatin1Char('\n');
        out += TimelineMath::formatSrtTimestamp(start) + QStringLiteral(" --> ") +
               TimelineMath::formatSrtTimestamp(end) + QLatin1Char('\n');
        out += s.description.simplified() + QLatin1Char('\n');
        out += QLatin1Char('\n');
        ++cue;
    }
    return out;
}

} // namespace Tessaryn
