// Prints how long computeTimeline takes on a large timeline.
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Tessaryn;

int main() {
    constexpr int SegmentCount = 100000;
    constexpr int Runs = 15;
    const Classification kinds[] = {Classification::Milestone, Classification::RepetitiveAssembly,
                                    Classification::StaticPause, Classification::Unclassified};

    QRandomGenerator rng(42);
    TimelineData input;
    input.segments.reserve(SegmentCount);
    for (int i = 0; i < SegmentCount; ++i) {
        Segment s;
        s.source_start = rng.bounded(360000.0);
        s.source_end = s.source_start + rng.bounded(30.0);
        s.classification = kinds[i % 4];
        s.description = (i % 7 == 0) ? QStringLiteral("a long pause") : QStringLiteral("work");
        input.segments.append(s);
    }

    std::vector<double> ms;
    for (int run = 0; run < Runs; ++run) {
        TimelineData data = input;
        data.segments.detach(); // time the computation, not the copy-on-write
        QElapsedTimer timer;
        timer.start();
        TimelineMath::computeTimeline(data, 10.0, 2.0);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "computeTimeline, %d segments: median %.2f ms, min %.2f ms, max %.2f ms (%d runs)\n",
        SegmentCount, ms[ms.size() / 2], ms.front(), ms.back(), Runs);
    return 0;
}
