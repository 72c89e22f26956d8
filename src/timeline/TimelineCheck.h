#pragma once

#include <QString>

namespace Tessaryn {

class TimelineData;

// Checks an analysis answer before it becomes a reel's timeline. What has one sound reading is
// repaired (unsorted segments are sorted, rounding overlaps and ends past the clip are
// clamped); what has none is refused with the reason, so a wrong cut is never rendered.
class TimelineCheck {
public:
    // No clip of a day's footage needs more; an answer with more is noise.
    static constexpr int MaxSegments = 5000;
    // Models write times with a decimal or two: this much overlap is rounding, not data.
    static constexpr double RoundingSeconds = 0.05;

    // clipSeconds is the probed length of the clip, 0 when unknown. Returns the reason for a
    // refusal, or an empty text when the (possibly repaired) timeline may be used.
    static QString repair(TimelineData& data, double clipSeconds);
};

} // namespace Tessaryn
