// Prints how long Workspace::load takes on a large project with stored timelines.
#include "timeline/SafeFile.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"
#include "workspace/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Tessaryn;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Loading records the remembered workspace; keep that away from the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));

    constexpr int ReelCount = 2000;
    constexpr int SegmentsPerReel = 20;
    constexpr int Runs = 7;
    const QString footage = dir.filePath("footage");
    const QString root = dir.filePath("project");
    QDir().mkpath(footage);
    for (int i = 0; i < ReelCount; ++i) {
        QFile clip(
            QDir(footage).filePath(QStringLiteral("clip_%1.mp4").arg(i, 5, 10, QLatin1Char('0'))));
        if (!clip.open(QIODevice::WriteOnly))
            return 1;
    }

    Workspace ws;
    if (!ws.create(root, QStringLiteral("Bench"), footage))
        return 1;
    for (int i = 0; i < ws.reels.size(); ++i) {
        TimelineData data;
        data.summary = QStringLiteral("Reel %1").arg(i);
        for (int s = 0; s < SegmentsPerReel; ++s) {
            Segment seg;
            seg.source_start = s * 5.0;
            seg.source_end = s * 5.0 + 4.5;
            seg.classification =
                s % 3 ? Classification::Milestone : Classification::RepetitiveAssembly;
            seg.description = QStringLiteral("Step %1 of the assembly").arg(s);
            data.segments.append(seg);
        }
        TimelineMath::computeTimeline(data, 10.0, 2.0);
        if (!SafeFile::writeJsonObject(ws.reels[i].timeline_path, data.toJson()))
            return 1;
    }
    if (!ws.save())
        return 1;

    std::vector<double> ms;
    int loadedReels = 0;
    for (int run = 0; run < Runs; ++run) {
        Workspace loaded;
        QElapsedTimer timer;
        timer.start();
        if (!loaded.load(root))
            return 1;
        ms.push_back(timer.nsecsElapsed() / 1e6);
        loadedReels = int(loaded.reels.size());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("Workspace::load, %d reels with %d-segment timelines: median %.1f ms, min %.1f ms, "
                "max %.1f ms (%d runs)\n",
                loadedReels, SegmentsPerReel, ms[ms.size() / 2], ms.front(), ms.back(), Runs);
    return 0;
}
