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

// "clip", "clip_x10" for the first part's clip; "clip2", "clip2_x10" for the second's.
QString producerId(int part, int step) {
    const QString clip =
        part == 0 ? QStringLiteral("clip") : QStringLiteral("clip%1").arg(part + 1);
    return step == 1 ? clip : QStringLiteral("%1_x%2").arg(clip).arg(step);
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
                out.append({0, 1, first, end - 1});
        }
        return out;
    }
    for (const RenderPlan::Piece& piece : plan.pieces()) {
        // A timewarp producer at speed n shows source frame k x n as its frame k, so a sped
        // part begins on the last frame of that grid at or before its own first frame; never
        // later, which could run past the clip's end.
        const qint64 in = piece.firstFrame / piece.step;
        out.append({0, piece.step, in, in + piece.outputFrames - 1});
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

void MltExport::writeProducer(QXmlStreamWriter& xml, int part, int step) const {
    xml.writeStartElement(QStringLiteral("producer"));
    xml.writeAttribute(QStringLiteral("id"), producerId(part, step));
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
    return sequenceText({Part{data, streamFacts, sourcePath}}, axis);
}

QString MltExport::sequenceText(const QList<Part>& parts, TimelineAxis axis) const {
    if (parts.isEmpty())
        return QString();
    const RenderPlan grid = RenderPlan::compute(parts.first().data, parts.first().facts);
    QList<Entry> list;
    std::set<std::pair<int, int>> producers;
    for (int i = 0; i < parts.size(); ++i) {
        const RenderPlan plan = RenderPlan::compute(parts[i].data, parts[i].facts);
        producers.insert({i, 1});
        for (Entry entry : forPart(*this, parts[i]).entries(parts[i].data, plan, axis)) {
            // melt shows every producer at the profile's rate.
            const qint64 length = conform(entry.out - entry.in + 1, plan, grid);
            entry.part = i;
            entry.in = conform(entry.in, plan, grid);
            entry.out = entry.in + std::max<qint64>(1, length) - 1;
            producers.insert({i, entry.step});
            list.append(entry);
        }
    }
    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("mlt"));
    xml.writeAttribute(QStringLiteral("LC_NUMERIC"), QStringLiteral("C"));
    xml.writeAttribute(QStringLiteral("producer"), QStringLiteral("film"));
    forPart(*this, parts.first()).writeProfile(xml, grid);
    for (const auto& [part, step] : producers)
        forPart(*this, parts[part]).writeProducer(xml, part, step);
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("cut"));
    for (const Entry& entry : list) {
        xml.writeEmptyElement(QStringLiteral("entry"));
        xml.writeAttribute(QStringLiteral("producer"), producerId(entry.part, entry.step));
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
