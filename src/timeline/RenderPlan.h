#pragma once

#include "timeline/StreamFacts.h"

#include <QList>

namespace Tessaryn {

class TimelineData;

// Which source frames the edited film shows, worked out once from a timeline and the clip's
// frame grid, so that the render, the markers and the subtitles agree to the frame.
//
// Rules, applied equally to every reader of the plan:
// - A kept segment covers the source frames [round(start x rate), round(end x rate)), never
//   reaching back into the frames of the kept segment before it.
// - A segment that covers no whole frame still shows the one frame it begins on; one that
//   begins after the clip's last frame shows nothing and is left out.
// - A segment at speed s takes every n-th frame from its own first frame, n = round(s); speeds
//   below 1.5 keep every frame (no part is slowed down): ceil(frames / n) output frames.
// - Output frames follow one another at the source's nominal rate; edited times are whole
//   output-frame counts at that rate.
class RenderPlan {
public:
    struct Piece {
        int segmentIndex = -1; // into the timeline's segment list
        qint64 firstFrame = 0; // source frames [firstFrame, endFrame)
        qint64 endFrame = 0;
        int step = 1;
        qint64 outputStart = 0; // first output frame
        qint64 outputFrames = 0;
        qint64 outputEnd() const { return outputStart + outputFrames; }
    };

    // Unknown facts plan on a 30 fps grid.
    static RenderPlan compute(const TimelineData& timeline, const StreamFacts& facts);

    const QList<Piece>& pieces() const { return parts; }
    // The piece showing the segment, or null when it is not in the film.
    const Piece* pieceFor(int segmentIndex) const;
    int rateNum() const { return num; }
    int rateDen() const { return den; }
    qint64 totalOutputFrames() const { return parts.isEmpty() ? 0 : parts.last().outputEnd(); }
    // Frames to seconds at the plan's rate.
    double seconds(qint64 frames) const;
    double totalSeconds() const { return seconds(totalOutputFrames()); }
    // The step a speed factor turns into.
    static int stepFor(double speed);

private:
    QList<Piece> parts;
    int num = 30;
    int den = 1;
};

} // namespace Tessaryn
