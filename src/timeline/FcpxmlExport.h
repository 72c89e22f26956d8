#pragma once

#include "timeline/TimelineExport.h"

class QXmlStreamWriter;

namespace Tessaryn {

class RenderPlan;

// Final Cut Pro XML 1.9: a format resource with the frame duration and size, one asset for the
// clip (an absolute file URL, with sound when the clip has it) and a project whose primary
// storyline holds one asset-clip a piece. On the edited axis the pieces are the render plan's
// (pauses left out, a sped piece retimed by a linear timeMap); on the source axis every
// segment at speed 1. Each clip carries a marker named after its segment with the class as its
// note; FCPXML markers have no colour.
class FcpxmlExport : public TimelineExport {
public:
    QString formatName() const override;
    QString text(const TimelineData& data, TimelineAxis axis) const override;
    bool holdsSequences() const override { return true; }
    // One format and one asset a part; offsets on the first part's grid.
    QString sequenceText(const QList<Part>& parts, TimelineAxis axis) const override;

private:
    // The n-th part's format and asset resources.
    void writeResources(QXmlStreamWriter& xml, const RenderPlan& plan, int part) const;
    void writeClip(QXmlStreamWriter& xml, const TimelineData& data, const RenderPlan& plan,
                   const ClipSpan& piece, int part, const QString& offset) const;
};

} // namespace Tessaryn
