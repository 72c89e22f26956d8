#include "timeline/CutTimeMap.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

CutTimeMap::Point CutTimeMap::sourceAt(double editedSeconds) const {
    Point point;
    const QList<RenderPlan::Piece>& pieces = plan.pieces();
    if (pieces.isEmpty())
        return point;
    const qint64 last = plan.totalOutputFrames() - 1;
    // Film frame n starts at n / rate; a little slack keeps a frame's own start on it.
    const qint64 frame =
        std::clamp(qint64(std::floor(editedSeconds / plan.seconds(1) + 1e-6)), qint64(0), last);
    const auto at = std::upper_bound(
        pieces.cbegin(), pieces.cend(), frame,
        [](qint64 value, const RenderPlan::Piece& piece) { return value < piece.outputStart; });
    const RenderPlan::Piece& piece = *(at - 1);
    point.piece = int(at - 1 - pieces.cbegin());
    point.step = piece.step;
    point.sourceSeconds = plan.seconds(piece.firstFrame + (frame - piece.outputStart) * piece.step);
    return point;
}

} // namespace Tessaryn
