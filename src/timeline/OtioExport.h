#pragma once

#include "timeline/TimelineExport.h"

#include <QJsonArray>
#include <QJsonObject>

namespace Tessaryn {

class RenderPlan;

// OpenTimelineIO JSON (.otio): a timeline of one video track, and an audio track when the clip
// has sound, whose clips reference the source by an absolute file URL. Times are frames at the
// clip's rate. On the edited axis each piece of the render plan is a clip, a sped piece carries
// a LinearTimeWarp whose time scalar is its step (its range is the length it plays for) and
// pauses are left out; on the source axis every segment keeps its own length at speed 1, pauses
// as gaps. Each clip or gap carries a marker coloured by its segment's class.
class OtioExport : public TimelineExport {
public:
    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;
    bool holdsSequences() const override { return true; }
    // Each part's clips reference its own source at its own rate.
    QString sequenceText(const QList<Part>& parts, TimelineAxis axis) const override;

private:
    QJsonObject clip(const TimelineData& data, const ClipSpan& item, double rate,
                     bool withMarker) const;
    QJsonObject mediaReference(double rate) const;
    QJsonObject track(const QString& kind, const QJsonArray& children) const;
};

} // namespace Tessaryn
