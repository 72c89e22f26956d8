#pragma once

#include "timeline/RenderPlan.h"

namespace Tessaryn {

// Where the edited film's time falls in the source clip, by the render plan: the preview plays
// a cut that has not been rendered by showing, at each edited moment, the source frame the
// render would show there.
class CutTimeMap {
public:
    struct Point {
        double sourceSeconds = 0.0;
        int step = 1;   // source frames per film frame at this point
        int piece = -1; // index into the plan's pieces; -1 for an empty film
    };

    explicit CutTimeMap(const RenderPlan& plan) : plan(plan) {}

    // Times before the film or after its end give its first or last frame.
    Point sourceAt(double editedSeconds) const;
    double totalSeconds() const { return plan.totalSeconds(); }
    double frameSeconds() const { return plan.seconds(1); }

private:
    RenderPlan plan;
};

} // namespace Tessaryn
