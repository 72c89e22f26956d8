#include "pipeline/BoundarySnap.h"

#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

using Span = FootageMeasurements::Span;

QList<double> eventsOf(const FootageMeasurements& measured) {
    QList<double> events = measured.sceneChanges;
    for (const Span& still : measured.freezes)
        events << still.start << still.end;
    std::sort(events.begin(), events.end());
    return events;
}

double snapped(double time, const QList<double>& events, double tolerance) {
    double best = time;
    double distance = tolerance;
    for (double event : events) {
        if (std::abs(event - time) <= distance) {
            distance = std::abs(event - time);
            best = event;
        }
    }
    return best;
}

double pausedWithin(const QList<Segment>& segments, const Span& span) {
    double covered = 0.0;
    for (const Segment& s : segments) {
        if (s.classification == Classification::StaticPause)
            covered += std::max(0.0, std::min(s.source_end, span.end) -
                                         std::max(s.source_start, span.start));
    }
    return covered;
}

// Cuts the pause out of every segment it overlaps and lays it in between.
void cutIn(QList<Segment>& segments, const Span& pause) {
    constexpr double Sliver = 0.05;
    QList<Segment> out;
    for (const Segment& s : std::as_const(segments)) {
        if (s.source_end <= pause.start || s.source_start >= pause.end) {
            out.append(s);
            continue;
        }
        if (pause.start - s.source_start > Sliver) {
            Segment before = s;
            before.source_end = pause.start;
            out.append(before);
        }
        if (s.source_end - pause.end > Sliver) {
            Segment after = s;
            after.source_start = pause.end;
            out.append(after);
        }
    }
    Segment still;
    still.source_start = pause.start;
    still.source_end = pause.end;
    still.classification = Classification::StaticPause;
    still.description = QStringLiteral("No movement for %1 (measured)")
                            .arg(TimelineMath::formatTimecode(pause.end - pause.start, false, 1.0));
    out.append(still);
    std::stable_sort(out.begin(), out.end(), [](const Segment& a, const Segment& b) {
        return a.source_start < b.source_start;
    });
    segments = out;
}

} // namespace

void BoundarySnap::apply(TimelineData& data, const FootageMeasurements& measured,
                         const LocalClassifier::Settings& settings, double tolerance) {
    const QList<double> events = eventsOf(measured);
    for (Segment& s : data.segments) {
        s.source_start = snapped(s.source_start, events, tolerance);
        s.source_end = snapped(s.source_end, events, tolerance);
    }
    for (const Span& pause : LocalClassifier::pauses(measured, settings)) {
        if (pausedWithin(data.segments, pause) < 0.5 * (pause.end - pause.start))
            cutIn(data.segments, pause);
    }
}

} // namespace Tessaryn
