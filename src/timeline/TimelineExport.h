#pragma once

#include "timeline/TimelineAxis.h"

#include <QString>

namespace Tessaryn {

class TimelineData;
struct Segment;

// One file format a reel's timeline is exported to for editing tools.
class TimelineExport {
public:
    virtual ~TimelineExport() = default;

    // The short name the format is asked for by, e.g. "csv".
    virtual QString formatName() const = 0;
    // The whole file's text for the timeline on the given axis.
    virtual QString text(const TimelineData& data, TimelineAxis axis) const = 0;

    // Makes the folder and replaces the file atomically; on failure the previous file stays and
    // error (when given) says why.
    bool write(const TimelineData& data, const QString& path, TimelineAxis axis,
               QString* error) const;

protected:
    // Pauses have no length in the edited film, so they are left out there.
    static bool isOnAxis(const Segment& segment, TimelineAxis axis);
    static double startOn(const Segment& segment, TimelineAxis axis);
    static double endOn(const Segment& segment, TimelineAxis axis);
};

} // namespace Tessaryn
