#include "timeline/FcpxmlExport.h"

#include "timeline/ClassificationText.h"
#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"

#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// Resource ids r1, r2, ... in pairs: the n-th part's format, then its asset.
QString formatId(int part) {
    return QStringLiteral("r%1").arg(2 * part + 1);
}

QString assetId(int part) {
    return QStringLiteral("r%1").arg(2 * part + 2);
}

// Frames as a rational number of seconds on the plan's grid.
QString time(qint64 frames, const RenderPlan& plan) {
    if (frames == 0)
        return QStringLiteral("0s");
    return QStringLiteral("%1/%2s").arg(frames * plan.rateDen()).arg(plan.rateNum());
}

} // namespace

QString FcpxmlExport::formatName() const {
    return QStringLiteral("fcpxml");
}

void FcpxmlExport::writeResources(QXmlStreamWriter& xml, const RenderPlan& plan, int part) const {
    xml.writeEmptyElement(QStringLiteral("format"));
    xml.writeAttribute(QStringLiteral("id"), formatId(part));
    xml.writeAttribute(QStringLiteral("frameDuration"), time(1, plan));
    xml.writeAttribute(QStringLiteral("width"),
                       QString::number(std::max(1, streamFacts.displayWidth())));
    xml.writeAttribute(QStringLiteral("height"),
                       QString::number(std::max(1, streamFacts.displayHeight())));
    xml.writeStartElement(QStringLiteral("asset"));
    xml.writeAttribute(QStringLiteral("id"), assetId(part));
    xml.writeAttribute(QStringLiteral("name"), QFileInfo(sourcePath).completeBaseName());
    xml.writeAttribute(QStringLiteral("start"), QStringLiteral("0s"));
    const double fps = double(plan.rateNum()) / double(plan.rateDen());
    xml.writeAttribute(QStringLiteral("duration"),
                       time(std::llround(std::floor(streamFacts.duration * fps + 1e-6)), plan));
    xml.writeAttribute(QStringLiteral("hasVideo"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("hasAudio"),
                       streamFacts.hasAudio ? QStringLiteral("1") : QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("format"), formatId(part));
    xml.writeEmptyElement(QStringLiteral("media-rep"));
    xml.writeAttribute(QStringLiteral("kind"), QStringLiteral("original-media"));
    xml.writeAttribute(QStringLiteral("src"),
                       QUrl::fromLocalFile(sourcePath).toString(QUrl::FullyEncoded));
    xml.writeEndElement();
}

void FcpxmlExport::writeClip(QXmlStreamWriter& xml, const TimelineData& data,
                             const RenderPlan& plan, const ClipSpan& piece, int part,
                             const QString& offset) const {
    const Segment& segment = data.segments[piece.segmentIndex];
    const bool retimed = piece.step > 1;
    // A retimed clip's start and markers are in its own, retimed time.
    const qint64 start = retimed ? 0 : piece.first;
    xml.writeStartElement(QStringLiteral("asset-clip"));
    xml.writeAttribute(QStringLiteral("ref"), assetId(part));
    xml.writeAttribute(QStringLiteral("name"), segment.description.simplified());
    xml.writeAttribute(QStringLiteral("offset"), offset);
    xml.writeAttribute(QStringLiteral("start"), time(start, plan));
    xml.writeAttribute(QStringLiteral("duration"), time(piece.frames, plan));
    xml.writeAttribute(QStringLiteral("format"), formatId(part));
    if (retimed) {
        xml.writeStartElement(QStringLiteral("timeMap"));
        for (qint64 at : {qint64(0), piece.frames}) {
            xml.writeEmptyElement(QStringLiteral("timept"));
            xml.writeAttribute(QStringLiteral("time"), time(at, plan));
            xml.writeAttribute(QStringLiteral("value"), time(piece.first + at * piece.step, plan));
            xml.writeAttribute(QStringLiteral("interp"), QStringLiteral("linear"));
        }
        xml.writeEndElement();
    }
    xml.writeEmptyElement(QStringLiteral("marker"));
    xml.writeAttribute(QStringLiteral("start"), time(start, plan));
    xml.writeAttribute(QStringLiteral("duration"), time(1, plan));
    xml.writeAttribute(QStringLiteral("value"), segment.description.simplified());
    xml.writeAttribute(QStringLiteral("note"), ClassificationText::toText(segment.classification));
    xml.writeEndElement();
}

QString FcpxmlExport::text(const TimelineData& data, TimelineAxis axis) const {
    return sequenceText({Part{data, streamFacts, sourcePath}}, axis);
}

QString FcpxmlExport::sequenceText(const QList<Part>& parts, TimelineAxis axis) const {
    if (parts.isEmpty())
        return QString();
    QList<RenderPlan> plans;
    QList<QList<ClipSpan>> lists;
    qint64 total = 0;
    for (const Part& part : parts) {
        plans << RenderPlan::compute(part.data, part.facts);
        lists << clipSpans(part.data, plans.last(), axis);
        for (const ClipSpan& piece : std::as_const(lists.last()))
            total += conform(piece.frames, plans.last(), plans.first());
    }
    const RenderPlan& grid = plans.first();
    const FcpxmlExport first = forPart(*this, parts.first());
    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE fcpxml>"));
    xml.writeStartElement(QStringLiteral("fcpxml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.9"));
    xml.writeStartElement(QStringLiteral("resources"));
    for (int i = 0; i < parts.size(); ++i)
        forPart(*this, parts[i]).writeResources(xml, plans[i], i);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("library"));
    xml.writeStartElement(QStringLiteral("event"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("Tessaryn"));
    xml.writeStartElement(QStringLiteral("project"));
    xml.writeAttribute(QStringLiteral("name"),
                       titleOr(QFileInfo(parts.first().sourcePath).completeBaseName()));
    xml.writeStartElement(QStringLiteral("sequence"));
    xml.writeAttribute(QStringLiteral("format"), formatId(0));
    xml.writeAttribute(QStringLiteral("duration"), time(total, grid));
    xml.writeAttribute(QStringLiteral("tcStart"), QStringLiteral("0s"));
    xml.writeAttribute(QStringLiteral("tcFormat"), dropFrame && first.streamFacts.isNtsc()
                                                       ? QStringLiteral("DF")
                                                       : QStringLiteral("NDF"));
    xml.writeStartElement(QStringLiteral("spine"));
    qint64 offset = 0;
    for (int i = 0; i < parts.size(); ++i) {
        const FcpxmlExport one = forPart(*this, parts[i]);
        for (const ClipSpan& piece : std::as_const(lists[i])) {
            one.writeClip(xml, parts[i].data, plans[i], piece, i, time(offset, grid));
            offset += conform(piece.frames, plans[i], grid);
        }
    }
    xml.writeEndDocument();
    return out;
}

} // namespace Tessaryn
