#pragma once

#include "timeline/Classification.h"

#include <QString>

namespace Tessaryn {

// One classified time range of a reel. Times are seconds.
struct Segment {
    double source_start = 0.0;
    double source_end = 0.0;
    QString description;
    Classification classification = Classification::Unclassified;
    double speed_factor = 1.0;
    double edited_start = 0.0;
    double edited_end = 0.0;
    // Changed by hand since the analysis, so a new analysis asks before replacing it.
    bool edited = false;
};

} // namespace Tessaryn
