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

const QString FormatId = QStringLiteral("r1");
const QString AssetId = QStringLiteral("r2");

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

void FcpxmlExport::writeResources(QXmlStreamWriter& xml, const RenderPlan& plan) const {
    xml.writeStartElement(QStringLiteral("resources"));
    xml.writeEmptyElement(QStringLiteral("format"));
    xml.writeAttribute(QStringLiteral("id"), FormatId);
    xml.writeAttribute(QStringLiteral("frameDuration"), time(1, plan));
    xml.writeAttribute(QStringLiteral("width"),
                       QString::number(std::max(1, streamFacts.displayWidth())));
    xml.writeAttribute(QStringLiteral("height"),
                       QString::number(std::max(1, streamFacts.displayHeight())));
    xml.writeStartElement(QStringLiteral("asset"));
    xml.writeAttribute(QStringLiteral("id"), AssetId);
    xml.writeAttribute(QStringLiteral("name"), QFileInfo(sourcePath).completeBaseName());
    xml.writeAttribute(QStringLiteral("start"), QStringLiteral("0s"));
    const double fps = double(plan.rateNum()) / double(plan.rateDen());
    xml.writeAttribute(QStringLiteral("duration"),
                       time(std::llround(std::floor(streamFacts.duration * fps + 1e-6)), plan));
    xml.writeAttribute(QStringLiteral("hasVideo"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("hasAudio"),
                       streamFacts.hasAudio ? QStringLiteral("1") : QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("format"), FormatId);
    xml.writeEmptyElement(QStringLiteral("media-rep"));
    xml.writeAttribute(QStringLiteral("kind"), QStringLiteral("original-media"));
    xml.writeAttribute(QStringLiteral("src"),
                       QUrl::fromLocalFile(sourcePath).toString(QUrl::FullyEncoded));
    xml.writeEndElement();
    xml.writeEndElement();
}

void FcpxmlExport::writeClip(QXmlStreamWriter& xml, const TimelineData& data,
                             const RenderPlan& plan, const ClipSpan& piece, qint64 offset) const {
    const Segment& segment = data.segments[piece.segmentIndex];
    const bool retimed = piece.step > 1;
    // A retimed clip's start and markers are in its own, retimed time.
    const qint64 start = retimed ? 0 : piece.first;
    xml.writeStartElement(QStringLiteral("asset-clip"));
    xml.writeAttribute(QStringLiteral("ref"), AssetId);
    xml.writeAttribute(QStringLiteral("name"), segment.description.simplified());
    xml.writeAttribute(QStringLiteral("offset"), time(offset, plan));
    xml.writeAttribute(QStringLiteral("start"), time(start, plan));
    xml.writeAttribute(QStringLiteral("duration"), time(piece.frames, plan));
    xml.writeAttribute(QStringLiteral("format"), FormatId);
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
    const RenderPlan plan = RenderPlan::compute(data, streamFacts);
    const QList<ClipSpan> list = clipSpans(data, plan, axis);
    qint64 total = 0;
    for (const ClipSpan& piece : list)
        total += piece.frames;

    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE fcpxml>"));
    xml.writeStartElement(QStringLiteral("fcpxml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.9"));
    writeResources(xml, plan);
    xml.writeStartElement(QStringLiteral("library"));
    xml.writeStartElement(QStringLiteral("event"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("Tessaryn"));
    xml.writeStartElement(QStringLiteral("project"));
    xml.writeAttribute(QStringLiteral("name"), QFileInfo(sourcePath).completeBaseName());
    xml.writeStartElement(QStringLiteral("sequence"));
    xml.writeAttribute(QStringLiteral("format"), FormatId);
    xml.writeAttribute(QStringLiteral("duration"), time(total, plan));
    xml.writeAttribute(QStringLiteral("tcStart"), QStringLiteral("0s"));
    xml.writeAttribute(QStringLiteral("tcFormat"), dropFrame && streamFacts.isNtsc()
                                                       ? QStringLiteral("DF")
                                                       : QStringLiteral("NDF"));
    xml.writeStartElement(QStringLiteral("spine"));
    qint64 offset = 0;
    for (const ClipSpan& piece : list) {
        writeClip(xml, data, plan, piece, offset);
        offset += piece.frames;
    }
    xml.writeEndDocument();
    return out;
}

} // namespace Tessaryn
