#include "timeline/RenderPlan.h"

#include "timeline/TimelineData.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

bool isKept(const Segment& segment) {
    return segment.classification != Classification::StaticPause && segment.speed_factor > 0.0;
}

qint64 frameAt(double seconds, int num, int den) {
    if (!(seconds > 0.0))
        return 0;
    return std::llround(std::min(seconds, 1e9) * num / den);
}

} // namespace

int RenderPlan::stepFor(double speed) {
    if (!(speed >= 1.0))
        return 1;
    return static_cast<int>(std::lround(std::min(speed, 1e6)));
}

double RenderPlan::seconds(qint64 frames) const {
    return double(frames) * den / num;
}

const RenderPlan::Piece* RenderPlan::pieceFor(int segmentIndex) const {
    for (const Piece& piece : parts) {
        if (piece.segmentIndex == segmentIndex)
            return &piece;
    }
    return nullptr;
}

RenderPlan RenderPlan::compute(const TimelineData& timeline, const StreamFacts& facts) {
    RenderPlan plan;
    if (facts.known()) {
        plan.num = facts.rateNum;
        plan.den = facts.rateDen;
    }
    // Zero when the clip's length is unknown: nothing is then cut off at the end.
    const qint64 clipFrames = frameAt(facts.duration, plan.num, plan.den);
    qint64 previousEnd = 0;
    qint64 output = 0;
    for (int i = 0; i < timeline.segments.size(); ++i) {
        const Segment& segment = timeline.segments[i];
        if (!isKept(segment))
            continue;
        Piece piece;
        piece.segmentIndex = i;
        piece.firstFrame = std::max(frameAt(segment.source_start, plan.num, plan.den), previousEnd);
        piece.endFrame = frameAt(segment.source_end, plan.num, plan.den);
        if (clipFrames > 0) {
            if (piece.firstFrame >= clipFrames)
                continue;
            piece.endFrame = std::min(piece.endFrame, clipFrames);
        }
        piece.endFrame = std::max(piece.endFrame, piece.firstFrame + 1);
        piece.step = stepFor(segment.speed_factor);
        const qint64 frames = piece.endFrame - piece.firstFrame;
        piece.outputFrames = (frames + piece.step - 1) / piece.step;
        piece.outputStart = output;
        output += piece.outputFrames;
        previousEnd = piece.endFrame;
        plan.parts.append(piece);
    }
    return plan;
}

} // namespace Tessaryn
