#include "timeline/TimelineMath.h"

#include "timeline/SafeFile.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFileInfo>

namespace Tessaryn {

namespace {

QString markerColor(const QString& classification) {
    if (classification == QLatin1String("milestone"))
        return QStringLiteral("Green");
    if (classification == QLatin1String("repetitive_assembly"))
        return QStringLiteral("Yellow");
    if (classification == QLatin1String("static_pause"))
        return QStringLiteral("Red");
    return QStringLiteral("Blue");
}

// Pauses have no length in the edited film.
bool isExported(const Segment& s, bool editedTimeline) {
    return !(editedTimeline && s.classification == QLatin1String("static_pause"));
}

double startOf(const Segment& s, bool editedTimeline) {
    return editedTimeline ? s.edited_start : s.source_start;
}

double endOf(const Segment& s, bool editedTimeline) {
    return editedTimeline ? s.edited_end : s.source_end;
}

bool writeWithFolder(const QString& path, const QString& text) {
    // A folder that cannot be made shows up as the write's failure.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return SafeFile::writeText(path, text);
}

} // namespace

QString TimelineMath::markersCsv(const TimelineData& data, bool editedTimeline, double fps) {
    QString out = QStringLiteral("Record In,Record Out,Marker Name,Color,Notes\n");
    for (const Segment& s : data.segments) {
        if (!isExported(s, editedTimeline))
            continue;
        QString name = s.description.simplified();
        name.remove(QLatin1Char('"'));
        name.remove(QLatin1Char(','));
        // One multi-argument pass: a '%' in a description is never re-expanded.
        out += QStringLiteral("\"%1\",\"%2\",\"%3\",\"%4\",\"%5\"")
                   .arg(formatTimecode(startOf(s, editedTimeline), true, fps),
                        formatTimecode(endOf(s, editedTimeline), true, fps), name,
                        markerColor(s.classification), s.classification);
        out += QLatin1Char('\n');
    }
    return out;
}

QString TimelineMath::srtSubtitles(const TimelineData& data, bool editedTimeline) {
    QString out;
    int cue = 1;
    for (const Segment& s : data.segments) {
        if (!isExported(s, editedTimeline))
            continue;
        const double start = startOf(s, editedTimeline);
        const double end = endOf(s, editedTimeline);
        if (end - start < 0.2)
            continue;
        out += QString::number(cue) + QLatin1Char('\n');
        out += formatSrtTimestamp(start) + QStringLiteral(" --> ") + formatSrtTimestamp(end) +
               QLatin1Char('\n');
        out += s.description.simplified() + QLatin1Char('\n');
        out += QLatin1Char('\n');
        ++cue;
    }
    return out;
}

bool TimelineMath::exportDaVinciMarkersCsv(const TimelineData& data, const QString& outputPath,
                                           bool editedTimeline, double fps) {
    return writeWithFolder(outputPath, markersCsv(data, editedTimeline, fps));
}

bool TimelineMath::exportSrtSubtitles(const TimelineData& data, const QString& outputPath,
                                      bool editedTimeline) {
    return writeWithFolder(outputPath, srtSubtitles(data, editedTimeline));
}

} // namespace Tessaryn
