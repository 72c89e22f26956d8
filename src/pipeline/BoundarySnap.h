#pragma once

#include "media/MeasureJob.h"
#include "pipeline/LocalClassifier.h"

namespace Tessaryn {

class TimelineData;

// Puts a service's reading of a clip on the frames the footage itself shows: each segment
// boundary moves to the nearest measured event (stillness starting or ending, a scene change)
// within a tolerance, and measured pauses the reading missed are cut in.
class BoundarySnap {
public:
    static constexpr double DefaultToleranceSeconds = 1.5;

    static void apply(TimelineData& data, const FootageMeasurements& measured,
                      const LocalClassifier::Settings& settings,
                      double tolerance = DefaultToleranceSeconds);
};

} // namespace Tessaryn
