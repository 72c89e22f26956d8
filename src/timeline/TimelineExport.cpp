#include "timeline/TimelineExport.h"

#include "timeline/RenderPlan.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

bool TimelineExport::write(const TimelineData& data, const QString& path, TimelineAxis axis,
                           QString* error) const {
    return writeText(path, text(data, axis), error);
}

QString TimelineExport::sequenceText(const QList<Part>&, TimelineAxis) const {
    return QString();
}

bool TimelineExport::writeSequence(const QList<Part>& parts, const QString& path, TimelineAxis axis,
                                   QString* error) const {
    if (!holdsSequences() || parts.isEmpty()) {
        if (error)
            *error = QStringLiteral("the %1 format holds one clip only").arg(formatName());
        return false;
    }
    return writeText(path, sequenceText(parts, axis), error);
}

qint64 TimelineExport::conform(qint64 frames, const RenderPlan& part, const RenderPlan& sequence) {
    if (qint64(part.rateNum()) * sequence.rateDen() == qint64(sequence.rateNum()) * part.rateDen())
        return frames;
    return std::llround(part.seconds(frames) * sequence.rateNum() / sequence.rateDen());
}

qint64 TimelineExport::partFrames(const Part& part, const RenderPlan& plan, TimelineAxis axis) {
    if (axis == TimelineAxis::Edited)
        return plan.totalOutputFrames();
    const double fps = double(plan.rateNum()) / double(plan.rateDen());
    const double length =
        part.facts.duration > 0 ? part.facts.duration : part.data.total_source_duration;
    return std::llround(std::floor(std::max(0.0, length) * fps + 1e-6));
}

bool TimelineExport::writeText(const QString& path, const QString& text, QString* error) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(folder);
        return false;
    }
    if (!SafeFile::writeText(path, text)) {
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(path);
        return false;
    }
    return true;
}

QList<TimelineExport::Span> TimelineExport::spans(const TimelineData& data,
                                                  TimelineAxis axis) const {
    QList<Span> out;
    const bool planned = streamFacts.known();
    const RenderPlan plan = RenderPlan::compute(data, streamFacts);
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments[i];
        Span span;
        span.onAxis = isOnAxis(s, axis);
        span.start = startOn(s, axis);
        span.end = endOn(s, axis);
        if (planned && axis == TimelineAxis::Source) {
            span.startFrame = std::llround(std::max(0.0, span.start) * streamFacts.fps());
            span.endFrame = std::llround(std::max(0.0, span.end) * streamFacts.fps());
        } else if (planned && span.onAxis) {
            // A kept segment the plan leaves out has no place in the film.
            const RenderPlan::Piece* piece = plan.pieceFor(i);
            span.onAxis = piece != nullptr;
            if (piece) {
                span.startFrame = piece->outputStart;
                span.endFrame = piece->outputEnd();
                span.start = plan.seconds(span.startFrame);
                span.end = plan.seconds(span.endFrame);
            }
        }
        out.append(span);
    }
    return out;
}

bool TimelineExport::isOnAxis(const Segment& segment, TimelineAxis axis) {
    return !(axis == TimelineAxis::Edited && segment.classification == Classification::StaticPause);
}

double TimelineExport::startOn(const Segment& segment, TimelineAxis axis) {
    return axis == TimelineAxis::Edited ? segment.edited_start : segment.source_start;
}

double TimelineExport::endOn(const Segment& segment, TimelineAxis axis) {
    return axis == TimelineAxis::Edited ? segment.edited_end : segment.source_end;
}

QList<TimelineExport::ClipSpan>
TimelineExport::clipSpans(const TimelineData& data, const RenderPlan& plan, TimelineAxis axis) {
    QList<ClipSpan> out;
    if (axis == TimelineAxis::Edited) {
        for (const RenderPlan::Piece& piece : plan.pieces())
            out.append({piece.segmentIndex, piece.firstFrame, piece.outputFrames, piece.step});
        return out;
    }
    const double fps = double(plan.rateNum()) / double(plan.rateDen());
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments[i];
        const qint64 first = std::llround(std::max(0.0, s.source_start) * fps);
        const qint64 end = std::llround(std::max(0.0, s.source_end) * fps);
        if (end > first)
            out.append({i, first, end - first, 1, s.classification == Classification::StaticPause});
    }
    return out;
}

QString TimelineExport::markerColor(Classification kind) {
    switch (kind) {
    case Classification::Milestone:
        return QStringLiteral("Green");
    case Classification::RepetitiveAssembly:
        return QStringLiteral("Yellow");
    case Classification::StaticPause:
        return QStringLiteral("Red");
    case Classification::Unclassified:
        break;
    }
    return QStringLiteral("Blue");
}

} // namespace Tessaryn
