#pragma once

#include "timeline/Classification.h"

#include <QString>

namespace Tessaryn {

class TimelineData;
struct StreamFacts;

// Hand edits of a reel's cut. Each works on a copy the caller passes in: on success it returns
// an empty text and leaves the timeline laid out afresh on the edited axis with the changed
// segments marked as edited; on refusal it returns the reason and leaves the timeline as it
// was. Times are source seconds; boundaries land on the reel's source frames (a 30 fps grid
// while the clip's rate is unknown, as the render plan does). A range of segments is given by
// its first and last index, both included.
class TimelineEdit {
public:
    static constexpr double MinSpeed = 0.25;
    static constexpr double MaxSpeed = 100.0;

    // A repetitive segment plays at repetitiveSpeed, a milestone at 1, a pause is cut out.
    static QString changeClass(TimelineData& data, int first, int last,
                               Classification classification, double repetitiveSpeed);
    // Pauses in the range stay cut out; the range must hold another segment.
    static QString setSpeed(TimelineData& data, int first, int last, double speed);
    // Moves the boundary where segment index ends and the next begins, snapped to a frame and
    // kept at least one frame inside both.
    static QString moveBoundary(TimelineData& data, int index, double seconds,
                                const StreamFacts& facts);
    // Two segments of the same kind, meeting at the frame nearest seconds.
    static QString split(TimelineData& data, int index, double seconds, const StreamFacts& facts);
    // The segment takes over the next one's time; both descriptions are kept.
    static QString mergeWithNext(TimelineData& data, int index);
    static QString setDescription(TimelineData& data, int index, const QString& text);

    // The first segment whose source range holds seconds (both ends included), or -1.
    static int segmentAt(const TimelineData& data, double seconds);
    // The time seconds rounds to on the clip's frame grid.
    static double snapToFrame(double seconds, const StreamFacts& facts);
};

} // namespace Tessaryn
