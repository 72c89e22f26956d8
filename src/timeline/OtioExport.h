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

private:
    // One item of a track: source frames [first, first + frames) shown at the step; a gap when
    // it is a pause on the source axis.
    struct Item {
        int segmentIndex = -1;
        qint64 first = 0;
        qint64 frames = 0;
        int step = 1;
        bool gap = false;
    };
    QList<Item> items(const TimelineData& data, const RenderPlan& plan, TimelineAxis axis) const;
    QJsonObject clip(const TimelineData& data, const Item& item, double rate,
                     bool withMarker) const;
    QJsonObject mediaReference(double rate) const;
    QJsonObject track(const QString& kind, const QJsonArray& children) const;
};

} // namespace Tessaryn
