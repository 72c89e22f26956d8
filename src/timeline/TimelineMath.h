#pragma once

#include <QString>

namespace Tessaryn {

class TimelineData;

// Stateless functions over a reel's timeline: the edited-axis computation, timecodes and the
// marker and subtitle exports.
class TimelineMath {
public:
    // Sorts the segments by source start, normalises classifications and lays them out on a
    // gap-free edited axis: repetitive work sped up, pauses cut out.
    static void computeTimeline(TimelineData& data, double repetitiveSpeed, double pauseThreshold);
    // Lays the segments out on the edited axis by the speed each already has (a pause, or a
    // speed of zero, takes no time) and sets both totals; classifications and speeds stay.
    static void layOutEditedAxis(TimelineData& data);

    // "HH:MM:SS", or "HH:MM:SS:FF" with frames at the given rate.
    static QString formatTimecode(double seconds, bool withFrames, double fps);
    // "HH:MM:SS,mmm".
    static QString formatSrtTimestamp(double seconds);

    // Marker list in the CSV layout DaVinci Resolve imports; false when the file cannot be
    // written. The edited axis leaves out pauses.
    static bool exportDaVinciMarkersCsv(const TimelineData& data, const QString& outputPath,
                                        bool editedTimeline, double fps);
    // SubRip cues carrying the segment descriptions; cues shorter than 0.2 s are left out.
    static bool exportSrtSubtitles(const TimelineData& data, const QString& outputPath,
                                   bool editedTimeline);

    static QString markersCsv(const TimelineData& data, bool editedTimeline, double fps);
    static QString srtSubtitles(const TimelineData& data, bool editedTimeline);
};

} // namespace Tessaryn
