#pragma once

#include "timeline/TimelineExport.h"

namespace Tessaryn {

// A marker list in the CSV layout DaVinci Resolve imports: frame timecodes, the simplified
// description as the marker name, a colour and the classification word. Timecodes count the
// clip's own frames once its stream facts are known, and frames at the given rate before.
class MarkersCsvExport : public TimelineExport {
public:
    static constexpr double DefaultFps = 30.0;

    explicit MarkersCsvExport(double fps = DefaultFps);

    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;

private:
    QString timecode(double seconds, qint64 frame) const;

    double fps;
};

} // namespace Tessaryn
