#pragma once

#include "timeline/TimelineExport.h"

class QXmlStreamWriter;

namespace Tessaryn {

class RenderPlan;

// MLT XML, as Kdenlive, Shotcut and melt read it: one producer for the clip, one timewarp
// producer per speed, and a playlist of entries with in/out frames. On the edited axis the
// playlist is the cut of the render plan (pauses left out, sped parts as timewarp entries); on
// the source axis it is every segment at its own speed 1, cut at its bounds. MLT has no
// markers, so the segments' classes and names are not carried.
class MltExport : public TimelineExport {
public:
    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;
    bool holdsSequences() const override { return true; }
    // One set of producers a part, one playlist; the profile is the first part's.
    QString sequenceText(const QList<Part>& parts, TimelineAxis axis) const override;

private:
    struct Entry {
        int part = 0;
        int step = 1;
        qint64 in = 0; // frames of the producer the step picks, inclusive
        qint64 out = 0;
    };
    QList<Entry> entries(const TimelineData& data, const RenderPlan& plan, TimelineAxis axis) const;
    void writeProfile(QXmlStreamWriter& xml, const RenderPlan& plan) const;
    void writeProducer(QXmlStreamWriter& xml, int part, int step) const;
};

} // namespace Tessaryn
