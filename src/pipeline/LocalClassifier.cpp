#include "pipeline/LocalClassifier.h"

#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <algorithm>

namespace Tessaryn {

namespace {

using Span = FootageMeasurements::Span;

QString clock(double seconds) {
    return TimelineMath::formatTimecode(seconds, false, 1.0);
}

// The parts of a still stretch that are also quiet.
QList<Span> quietParts(const Span& still, const QList<Span>& silences) {
    QList<Span> parts;
    for (const Span& quiet : silences) {
        const double start = std::max(still.start, quiet.start);
        const double end = std::min(still.end, quiet.end);
        if (end > start)
            parts.append({start, end});
    }
    return parts;
}

Segment makeSegment(double start, double end, Classification kind, const QString& text) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = kind;
    s.description = text;
    return s;
}

// Splits one stretch of activity at its scene changes and classifies each piece by its length.
void addActivity(double start, double end, const FootageMeasurements& measured,
                 const LocalClassifier::Settings& settings, QList<Segment>& out) {
    QList<double> cuts{start};
    for (double t : measured.sceneChanges) {
        if (t > start + 0.5 && t < end - 0.5)
            cuts.append(t);
    }
    cuts.append(end);
    for (qsizetype i = 0; i + 1 < cuts.size(); ++i) {
        const double a = cuts[i];
        const double b = cuts[i + 1];
        if (b - a >= settings.steadySpan)
            out.append(makeSegment(a, b, Classification::RepetitiveAssembly,
                                   QStringLiteral("Steady work, %1").arg(clock(b - a))));
        else if (i > 0)
            out.append(
                makeSegment(a, b, Classification::Milestone,
                            QStringLiteral("New scene at %1, %2").arg(clock(a), clock(b - a))));
        else
            out.append(makeSegment(a, b, Classification::Milestone,
                                   QStringLiteral("Activity, %1").arg(clock(b - a))));
    }
}

} // namespace

QList<Span> LocalClassifier::pauses(const FootageMeasurements& measured, const Settings& settings) {
    QList<Span> found;
    for (const Span& still : measured.freezes) {
        const QList<Span> parts = settings.pauseNeedsQuiet && measured.hasAudio
                                      ? quietParts(still, measured.silences)
                                      : QList<Span>{still};
        for (Span part : parts) {
            part.start = std::max(0.0, part.start);
            part.end = std::min(measured.duration, part.end);
            if (part.end - part.start >= settings.pauseThreshold)
                found.append(part);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Span& a, const Span& b) { return a.start < b.start; });
    return found;
}

TimelineData LocalClassifier::classify(const FootageMeasurements& measured,
                                       const Settings& settings) {
    TimelineData data;
    double cursor = 0.0;
    double paused = 0.0;
    const QList<Span> stills = pauses(measured, settings);
    for (const Span& pause : stills) {
        if (pause.start < cursor)
            continue;
        if (pause.start > cursor)
            addActivity(cursor, pause.start, measured, settings, data.segments);
        data.segments.append(
            makeSegment(pause.start, pause.end, Classification::StaticPause,
                        QStringLiteral("No movement for %1").arg(clock(pause.end - pause.start))));
        paused += pause.end - pause.start;
        cursor = pause.end;
    }
    if (measured.duration > cursor)
        addActivity(cursor, measured.duration, measured, settings, data.segments);

    int steady = 0;
    int milestones = 0;
    for (const Segment& s : std::as_const(data.segments)) {
        steady += s.classification == Classification::RepetitiveAssembly;
        milestones += s.classification == Classification::Milestone;
    }
    data.summary = QStringLiteral("Measured on this machine: %1 pauses (%2 in all), %3 stretches "
                                  "of steady work, %4 milestones.")
                       .arg(QString::number(stills.size()), clock(paused), QString::number(steady),
                            QString::number(milestones));
    data.subject_details =
        QStringLiteral("Measured from the picture%1; no service was asked.")
            .arg(measured.hasAudio ? QStringLiteral(" and the sound") : QString());
    return data;
}

} // namespace Tessaryn
