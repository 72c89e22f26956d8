#include "timeline/TimelineMath.h"

#include "timeline/MarkersCsvExport.h"
#include "timeline/SrtExport.h"

namespace Tessaryn {

namespace {

TimelineAxis axisOf(bool editedTimeline) {
    return editedTimeline ? TimelineAxis::Edited : TimelineAxis::Source;
}

} // namespace

QString TimelineMath::markersCsv(const TimelineData& data, bool editedTimeline, double fps) {
    return MarkersCsvExport(fps).text(data, axisOf(editedTimeline));
}

QString TimelineMath::srtSubtitles(const TimelineData& data, bool editedTimeline) {
    return SrtExport().text(data, axisOf(editedTimeline));
}

bool TimelineMath::exportDaVinciMarkersCsv(const TimelineData& data, const QString& outputPath,
                                           bool editedTimeline, double fps) {
    return MarkersCsvExport(fps).write(data, outputPath, axisOf(editedTimeline), nullptr);
}

bool TimelineMath::exportSrtSubtitles(const TimelineData& data, const QString& outputPath,
                                      bool editedTimeline) {
    return SrtExport().write(data, outputPath, axisOf(editedTimeline), nullptr);
}

} // namespace Tessaryn
