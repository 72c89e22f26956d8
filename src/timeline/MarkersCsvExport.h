#pragma once

#include "timeline/TimelineExport.h"

namespace Tessaryn {

// A marker list in the CSV layout DaVinci Resolve imports: frame timecodes at the given rate,
// the simplified description as the marker name, a colour and the classification word.
class MarkersCsvExport : public TimelineExport {
public:
    static constexpr double DefaultFps = 30.0;

    explicit MarkersCsvExport(double fps = DefaultFps);

    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;

private:
    double fps;
};

} // namespace Tessaryn
