#pragma once

#include "timeline/TimelineExport.h"

namespace Tessaryn {

// SubRip cues carrying the segment descriptions, numbered without gaps; a cue shorter than
// MinCueSeconds is left out, being too short to read.
class SrtExport : public TimelineExport {
public:
    static constexpr double MinCueSeconds = 0.2;

    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;
};

} // namespace Tessaryn
