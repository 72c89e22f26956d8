#include "timeline/MarkersCsvExport.h"

#include "timeline/ClassificationText.h"
#include "timeline/Timecode.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

namespace {} // namespace

MarkersCsvExport::MarkersCsvExport(double fps) : fps(fps) {}

QString MarkersCsvExport::timecode(double seconds, qint64 frame) const {
    if (frame < 0)
        return TimelineMath::formatTimecode(seconds, true, fps);
    return Timecode::fromFrame(frame, streamFacts.nominalFps(), dropFrame && streamFacts.isNtsc());
}

QString MarkersCsvExport::formatName() const {
    return QStringLiteral("csv");
}

QString MarkersCsvExport::text(const TimelineData& data, TimelineAxis axis) const {
    QString out = QStringLiteral("Record In,Record Out,Marker Name,Color,Notes\n");
    const QList<Span> placed = spans(data, axis);
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments[i];
        if (!placed[i].onAxis)
            continue;
        QString name = s.description.simplified();
        name.remove(QLatin1Char('"'));
        name.remove(QLatin1Char(','));
        // One multi-argument pass: a '%' in a description is never re-expanded.
        out +=
            QStringLiteral("\"%1\",\"%2\",\"%3\",\"%4\",\"%5\"")
                .arg(timecode(placed[i].start, placed[i].startFrame),
                     timecode(placed[i].end, placed[i].endFrame), name,
                     markerColor(s.classification), ClassificationText::toText(s.classification));
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace Tessaryn
