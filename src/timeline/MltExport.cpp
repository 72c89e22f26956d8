#include "timeline/MltExport.h"

#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"

#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

namespace Tessaryn {

namespace {

QString producerId(int step) {
    return step == 1 ? QStringLiteral("clip") : QStringLiteral("clip_x%1").arg(step);
}

} // namespace

QString MltExport::formatName() const {
    return QStringLiteral("mlt");
}

QList<MltExport::Entry> MltExport::entries(const TimelineData& data, const RenderPlan& plan,
                                           TimelineAxis axis) const {
    QList<Entry> out;
    if (axis == TimelineAxis::Source) {
        const double fps = double(plan.rateNum()) / double(plan.rateDen());
        for (const Segment& s : data.segments) {
            const qint64 first = std::llround(std::max(0.0, s.source_start) * fps);
            const qint64 end = std::llround(std::max(0.0, s.source_end) * fps);
            if (end > first)
                out.append({1, first, end - 1});
        }
        return out;
    }
    for (const RenderPlan::Piece& piece : plan.pieces()) {
        // A timewarp producer at speed n shows source frame k x n as its frame k, so a sped
        // part begins on the last frame of that grid at or before its own first frame; never
        // later, which could run past the clip's end.
        const qint64 in = piece.firstFrame / piece.step;
        out.append({piece.step, in, in + piece.outputFrames - 1});
    }
    return out;
}

void MltExport::writeProfile(QXmlStreamWriter& xml, const RenderPlan& plan) const {
    const int width = streamFacts.displayWidth() > 0 ? streamFacts.displayWidth() : 1920;
    const int height = streamFacts.displayHeight() > 0 ? streamFacts.displayHeight() : 1080;
    const int divisor = std::gcd(width, height);
    xml.writeStartElement(QStringLiteral("profile"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(height));
    xml.writeAttribute(QStringLiteral("progressive"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("sample_aspect_num"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("sample_aspect_den"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("display_aspect_num"), QString::number(width / divisor));
    xml.writeAttribute(QStringLiteral("display_aspect_den"), QString::number(height / divisor));
    xml.writeAttribute(QStringLiteral("frame_rate_num"), QString::number(plan.rateNum()));
    xml.writeAttribute(QStringLiteral("frame_rate_den"), QString::number(plan.rateDen()));
    xml.writeAttribute(QStringLiteral("colorspace"), QStringLiteral("709"));
    xml.writeEndElement();
}

void MltExport::writeProducer(QXmlStreamWriter& xml, int step) const {
    xml.writeStartElement(QStringLiteral("producer"));
    xml.writeAttribute(QStringLiteral("id"), producerId(step));
    const auto property = [&xml](const QString& name, const QString& value) {
        xml.writeStartElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeCharacters(value);
        xml.writeEndElement();
    };
    if (step == 1) {
        property(QStringLiteral("resource"), sourcePath);
        property(QStringLiteral("mlt_service"), QStringLiteral("avformat"));
    } else {
        // The timewarp producer's resource is "<speed>:<path>".
        property(QStringLiteral("resource"), QStringLiteral("%1:%2").arg(step).arg(sourcePath));
        property(QStringLiteral("mlt_service"), QStringLiteral("timewarp"));
    }
    xml.writeEndElement();
}

QString MltExport::text(const TimelineData& data, TimelineAxis axis) const {
    const RenderPlan plan = RenderPlan::compute(data, streamFacts);
    const QList<Entry> list = entries(data, plan, axis);
    std::set<int> steps{1};
    for (const Entry& entry : list)
        steps.insert(entry.step);

    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("mlt"));
    xml.writeAttribute(QStringLiteral("LC_NUMERIC"), QStringLiteral("C"));
    xml.writeAttribute(QStringLiteral("producer"), QStringLiteral("film"));
    writeProfile(xml, plan);
    for (int step : steps)
        writeProducer(xml, step);
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("cut"));
    for (const Entry& entry : list) {
        xml.writeEmptyElement(QStringLiteral("entry"));
        xml.writeAttribute(QStringLiteral("producer"), producerId(entry.step));
        xml.writeAttribute(QStringLiteral("in"), QString::number(entry.in));
        xml.writeAttribute(QStringLiteral("out"), QString::number(entry.out));
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("tractor"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("film"));
    xml.writeEmptyElement(QStringLiteral("track"));
    xml.writeAttribute(QStringLiteral("producer"), QStringLiteral("cut"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace Tessaryn
