#include "timeline/MarkersCsvExport.h"

#include "timeline/ClassificationText.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

namespace Tessaryn {

namespace {

QString markerColor(Classification classification) {
    switch (classification) {
    case Classification::Milestone:
        return QStringLiteral("Green");
    case Classification::RepetitiveAssembly:
        return QStringLiteral("Yellow");
    case Classification::StaticPause:
        return QStringLiteral("Red");
    case Classification::Unclassified:
        break;
    }
    return QStringLiteral("Blue");
}

} // namespace

MarkersCsvExport::MarkersCsvExport(double fps) : fps(fps) {}

QString MarkersCsvExport::formatName() const {
    return QStringLiteral("csv");
}

QString MarkersCsvExport::text(const TimelineData& data, TimelineAxis axis) const {
    QString out = QStringLiteral("Record In,Record Out,Marker Name,Color,Notes\n");
    for (const Segment& s : data.segments) {
        if (!isOnAxis(s, axis))
            continue;
        QString name = s.description.simplified();
        name.remove(QLatin1Char('"'));
        name.remove(QLatin1Char(','));
        // One multi-argument pass: a '%' in a description is never re-expanded.
        out +=
            QStringLiteral("\"%1\",\"%2\",\"%3\",\"%4\",\"%5\"")
                .arg(TimelineMath::formatTimecode(startOn(s, axis), true, fps),
                     TimelineMath::formatTimecode(endOn(s, axis), true, fps), name,
                     markerColor(s.classification), ClassificationText::toText(s.classification));
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace Tessaryn
