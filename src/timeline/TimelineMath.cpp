#include "timeline/TimelineMath.h"

#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

struct SplitTime {
    qint64 whole = 0;
    double fraction = 0.0;
};

// Negative and non-finite times show as zero; huge ones are clamped so that the conversion
// to an integer stays defined (about 31 million years).
SplitTime splitSeconds(double seconds) {
    constexpr double maxSeconds = 1e15;
    if (!(seconds > 0.0))
        seconds = 0.0;
    seconds = std::min(seconds, maxSeconds);
    const double whole = std::trunc(seconds);
    return {static_cast<qint64>(whole), seconds - whole};
}

QString pad(qint64 value, int width) {
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

QString hoursMinutesSeconds(qint64 whole) {
    return QStringLiteral("%1:%2:%3")
        .arg(pad(whole / 3600, 2), pad((whole % 3600) / 60, 2), pad(whole % 60, 2));
}

// Source order, and no segment ending before it starts.
void sortAndRepair(TimelineData& data) {
    std::stable_sort(
        data.segments.begin(), data.segments.end(),
        [](const Segment& a, const Segment& b) { return a.source_start < b.source_start; });
    for (Segment& s : data.segments)
        s.source_end = std::max(s.source_end, s.source_start);
}

} // namespace

void TimelineMath::computeTimeline(TimelineData& data, double repetitiveSpeed,
                                   double pauseThreshold) {
    sortAndRepair(data);
    for (Segment& s : data.segments) {
        const double duration = s.source_end - s.source_start;
        if (s.classification == Classification::Unclassified) {
            const bool pause = duration >= pauseThreshold &&
                               s.description.contains(QLatin1String("pause"), Qt::CaseInsensitive);
            s.classification = pause ? Classification::StaticPause : Classification::Milestone;
        }
        switch (s.classification) {
        case Classification::StaticPause:
            s.speed_factor = 0.0;
            break;
        case Classification::RepetitiveAssembly:
            s.speed_factor = repetitiveSpeed;
            break;
        case Classification::Milestone:
        case Classification::Unclassified:
            s.speed_factor = 1.0;
            break;
        }
    }
    layOutEditedAxis(data);
}

void TimelineMath::layOutEditedAxis(TimelineData& data) {
    if (data.segments.isEmpty()) {
        data.total_source_duration = 0.0;
        data.total_edited_duration = 0.0;
        return;
    }
    sortAndRepair(data);
    double cursor = 0.0;
    double largestSourceEnd = 0.0;
    for (Segment& s : data.segments) {
        const double duration = s.source_end - s.source_start;
        largestSourceEnd = std::max(largestSourceEnd, s.source_end);
        s.edited_start = cursor;
        // As long as the film shows it: the render takes whole frame steps and never slows a
        // part down, so a speed of 7.5 plays at 8 and one of 0.25 at 1. x / 1 is x exactly,
        // so kept segments land where the addition alone put them.
        const bool cut = s.classification == Classification::StaticPause || !(s.speed_factor > 0.0);
        s.edited_end = cut ? cursor : cursor + duration / RenderPlan::stepFor(s.speed_factor);
        cursor = s.edited_end;
    }
    data.total_source_duration = largestSourceEnd;
    data.total_edited_duration = cursor;
}

QString TimelineMath::formatTimecode(double seconds, bool withFrames, double fps) {
    SplitTime t = splitSeconds(seconds);
    if (!withFrames)
        return hoursMinutesSeconds(t.whole);

    // A rate below one frame per second has no frame field to speak of.
    if (!(fps >= 1.0))
        fps = 1.0;
    const qint64 framesPerSecond = static_cast<qint64>(std::min(fps, 1e6));
    qint64 frames = std::llround(t.fraction * fps);
    // A fraction that rounds up to a whole second belongs to the next second.
    if (frames >= framesPerSecond) {
        t.whole += 1;
        frames = 0;
    }
    return hoursMinutesSeconds(t.whole) + QLatin1Char(':') + pad(frames, 2);
}

QString TimelineMath::formatSrtTimestamp(double seconds) {
    SplitTime t = splitSeconds(seconds);
    qint64 millis = std::llround(t.fraction * 1000.0);
    if (millis >= 1000) {
        t.whole += 1;
        millis = 0;
    }
    return hoursMinutesSeconds(t.whole) + QLatin1Char(',') + pad(millis, 3);
}

} // namespace Tessaryn
