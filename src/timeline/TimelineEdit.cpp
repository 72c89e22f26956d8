#include "timeline/TimelineEdit.h"

#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// The render plan's grid: the clip's own rate, or 30 fps while it is unknown.
struct FrameGrid {
    int num = 30;
    int den = 1;

    explicit FrameGrid(const StreamFacts& facts) {
        if (facts.known()) {
            num = facts.rateNum;
            den = facts.rateDen;
        }
    }
    qint64 frameOf(double seconds) const {
        return std::llround(std::clamp(seconds, -1e9, 1e9) * num / den);
    }
    double secondsOf(qint64 frame) const { return double(frame) * den / num; }
};

bool validRange(const TimelineData& data, int first, int last) {
    return first >= 0 && first <= last && last < data.segments.size();
}

QString noSuchSegment() {
    return QStringLiteral("No segment is selected.");
}

double speedFor(Classification classification, double repetitiveSpeed) {
    switch (classification) {
    case Classification::StaticPause:
        return 0.0;
    case Classification::RepetitiveAssembly:
        return repetitiveSpeed;
    case Classification::Milestone:
    case Classification::Unclassified:
        break;
    }
    return 1.0;
}

QString joined(const QString& a, const QString& b) {
    if (a.isEmpty() || a == b)
        return b.isEmpty() ? a : b;
    return b.isEmpty() ? a : a + QStringLiteral(" / ") + b;
}

} // namespace

double TimelineEdit::snapToFrame(double seconds, const StreamFacts& facts) {
    const FrameGrid grid(facts);
    return grid.secondsOf(grid.frameOf(seconds));
}

int TimelineEdit::segmentAt(const TimelineData& data, double seconds) {
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments.at(i);
        if (s.source_start <= seconds && seconds <= s.source_end)
            return i;
    }
    return -1;
}

QString TimelineEdit::changeClass(TimelineData& data, int first, int last,
                                  Classification classification, double repetitiveSpeed) {
    if (!validRange(data, first, last))
        return noSuchSegment();
    if (classification == Classification::Unclassified)
        return QStringLiteral("A segment must be a milestone, repetitive work or a pause.");
    if (!(repetitiveSpeed >= MinSpeed && repetitiveSpeed <= MaxSpeed))
        return QStringLiteral("The speed of repetitive work must lie between %1x and %2x.")
            .arg(MinSpeed)
            .arg(MaxSpeed);
    const double speed = speedFor(classification, repetitiveSpeed);
    bool changed = false;
    for (int i = first; i <= last; ++i) {
        Segment& s = data.segments[i];
        if (s.classification == classification && s.speed_factor == speed)
            continue;
        s.classification = classification;
        s.speed_factor = speed;
        s.edited = true;
        changed = true;
    }
    if (!changed)
        return QStringLiteral("The selection already has that class.");
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

QString TimelineEdit::setSpeed(TimelineData& data, int first, int last, double speed) {
    if (!validRange(data, first, last))
        return noSuchSegment();
    if (!(speed >= MinSpeed && speed <= MaxSpeed))
        return QStringLiteral("A speed must lie between %1x and %2x.").arg(MinSpeed).arg(MaxSpeed);
    bool kept = false;
    bool changed = false;
    for (int i = first; i <= last; ++i) {
        Segment& s = data.segments[i];
        if (s.classification == Classification::StaticPause)
            continue;
        kept = true;
        if (s.speed_factor == speed)
            continue;
        s.speed_factor = speed;
        s.edited = true;
        changed = true;
    }
    if (!kept)
        return QStringLiteral("A pause is cut out of the film and has no speed; change its class "
                              "first.");
    if (!changed)
        return QStringLiteral("The selection already plays at %1x.").arg(speed);
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

QString TimelineEdit::moveBoundary(TimelineData& data, int index, double seconds,
                                   const StreamFacts& facts) {
    if (index < 0 || index + 1 >= data.segments.size())
        return QStringLiteral("There is no boundary between two segments there.");
    if (!std::isfinite(seconds))
        return QStringLiteral("The boundary cannot move to that time.");
    Segment& before = data.segments[index];
    Segment& after = data.segments[index + 1];
    const FrameGrid grid(facts);
    if (grid.frameOf(before.source_end) != grid.frameOf(after.source_start))
        return QStringLiteral("Segments %1 and %2 do not meet, so they share no boundary.")
            .arg(index + 1)
            .arg(index + 2);
    // Each side keeps at least one frame: a boundary never passes its neighbours.
    const qint64 lowest = grid.frameOf(before.source_start) + 1;
    const qint64 highest = grid.frameOf(after.source_end) - 1;
    if (lowest > highest)
        return QStringLiteral("Segments %1 and %2 are too short to move their boundary.")
            .arg(index + 1)
            .arg(index + 2);
    const double at = grid.secondsOf(std::clamp(grid.frameOf(seconds), lowest, highest));
    if (at == before.source_end && at == after.source_start)
        return QStringLiteral("The boundary is already there.");
    before.source_end = at;
    after.source_start = at;
    before.edited = true;
    after.edited = true;
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

QString TimelineEdit::split(TimelineData& data, int index, double seconds,
                            const StreamFacts& facts) {
    if (index < 0 || index >= data.segments.size())
        return QStringLiteral("The playhead is not on a segment.");
    const Segment& whole = data.segments.at(index);
    const FrameGrid grid(facts);
    const qint64 frame = grid.frameOf(seconds);
    if (!std::isfinite(seconds) || frame <= grid.frameOf(whole.source_start) ||
        frame >= grid.frameOf(whole.source_end))
        return QStringLiteral("Put the playhead at least one frame inside the segment to split "
                              "it.");
    Segment second = whole;
    Segment& first = data.segments[index];
    first.source_end = grid.secondsOf(frame);
    second.source_start = first.source_end;
    first.edited = true;
    second.edited = true;
    data.segments.insert(index + 1, second);
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

QString TimelineEdit::mergeWithNext(TimelineData& data, int index) {
    if (index < 0 || index + 1 >= data.segments.size())
        return QStringLiteral("The last segment has no next one to merge with.");
    Segment& kept = data.segments[index];
    const Segment next = data.segments.at(index + 1);
    kept.source_end = std::max(kept.source_end, next.source_end);
    kept.description = joined(kept.description, next.description);
    kept.edited = true;
    data.segments.removeAt(index + 1);
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

QString TimelineEdit::setDescription(TimelineData& data, int index, const QString& text) {
    if (index < 0 || index >= data.segments.size())
        return noSuchSegment();
    Segment& s = data.segments[index];
    const QString trimmed = text.trimmed();
    if (s.description == trimmed)
        return QStringLiteral("The description is unchanged.");
    s.description = trimmed;
    s.edited = true;
    TimelineMath::layOutEditedAxis(data);
    return QString();
}

} // namespace Tessaryn
