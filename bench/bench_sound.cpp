// Prints how much longer a cut with sound takes than the same cut without: a 60 s 1280x720 clip
// with an AAC track and the 40-segment timeline of bench_render, best of two runs each.
#include "media/FFmpegEngine.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace Tessaryn;

namespace {

constexpr int Runs = 2;
constexpr double ClipSeconds = 60.0;

TimelineData benchTimeline() {
    const Classification kinds[] = {Classification::Milestone, Classification::RepetitiveAssembly,
                                    Classification::StaticPause,
                                    Classification::RepetitiveAssembly};
    const double speeds[] = {1.0, 10.0, 0.0, 4.0};
    TimelineData data;
    double start = 0.0;
    for (int i = 0; i < 40 && start < ClipSeconds; ++i) {
        Segment s;
        s.source_start = start;
        s.source_end = std::min(ClipSeconds, i == 39 ? ClipSeconds : start + 1.0 + (i % 3) * 0.5);
        s.classification = kinds[i % 4];
        s.speed_factor = speeds[i % 4];
        start = s.source_end;
        data.segments.append(s);
    }
    return data;
}

// Wall seconds of one engine render; negative when it failed.
double timeRender(const QString& source, const TimelineData& data, const StreamFacts& facts,
                  bool sound, const QString& out) {
    FFmpegEngine engine;
    bool finished = false;
    bool success = false;
    engine.finishedCallback = [&](bool ok, const QString&, const QString& error) {
        finished = true;
        success = ok;
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(error));
    };
    RenderOptions options;
    options.sound = sound;
    QElapsedTimer timer;
    timer.start();
    if (!engine.renderEditedVideo(source, data, facts, options, out))
        return -1.0;
    if (!QTest::qWaitFor([&] { return finished; }, 600000))
        return -1.0;
    return success ? timer.nsecsElapsed() / 1e9 : -1.0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.mp4"));
    QProcess generate;
    generate.start(FFmpegEngine::findFFmpeg(), {"-v",
                                                "error",
                                                "-y",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "testsrc2=size=1280x720:rate=25:duration=60",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "sine=frequency=440:duration=60",
                                                "-c:v",
                                                "libx264",
                                                "-preset",
                                                "ultrafast",
                                                "-pix_fmt",
                                                "yuv420p",
                                                "-c:a",
                                                "aac",
                                                source});
    if (!generate.waitForFinished(600000) || generate.exitCode() != 0) {
        std::fprintf(stderr, "cannot generate the source clip\n");
        return 1;
    }
    StreamFacts facts;
    facts.rateNum = 25;
    facts.rateDen = 1;
    facts.width = 1280;
    facts.height = 720;
    facts.hasAudio = true;
    facts.duration = ClipSeconds;
    const TimelineData data = benchTimeline();

    double silent = 1e9;
    double withSound = 1e9;
    for (int i = 0; i < Runs; ++i) {
        // Alternated, so load from other users of the machine falls on both alike.
        const double off = timeRender(source, data, facts, false, dir.filePath("off.mp4"));
        const double on = timeRender(source, data, facts, true, dir.filePath("on.mp4"));
        if (off < 0.0 || on < 0.0)
            return 1;
        silent = std::min(silent, off);
        withSound = std::min(withSound, on);
    }
    std::printf("cut of a 60 s 1280x720 clip with AAC sound, %d segments (best of %d runs):\n",
                int(data.segments.size()), Runs);
    std::printf("  without sound: %.2f s wall\n", silent);
    std::printf("  with sound:    %.2f s wall\n", withSound);
    std::printf("  ratio with/without: %.3f (target <= 1.15)\n", withSound / silent);
    return 0;
}
