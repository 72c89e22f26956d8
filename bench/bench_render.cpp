// Prints how long renderEditedVideo takes on a 2-minute 1280x720 clip with a 40-segment timeline,
// against the identical ffmpeg command line run directly, with the peak memory of each ffmpeg and
// of this process.
#include "media/FFmpegEngine.h"
#include "media/RenderGraph.h"
#include "timeline/RenderPlan.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace Tessaryn;

namespace {

constexpr int Runs = 2;

// The child's high-water mark of resident memory so far, in KiB; 0 once it is gone.
long peakKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// The pid of this process's one running child, found through /proc because the engine keeps
// its process to itself.
qint64 onlyChild() {
    const QByteArray self = QByteArray::number(qint64(getpid()));
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // The fields after the parenthesised name: state, then the parent's pid.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == self && fields.value(0) != "Z")
            return pid;
    }
    return 0;
}

struct Run {
    double seconds = 0.0;
    long peak = 0;
    bool ok = false;
};

// Runs the event loop until done() holds, sampling the child's peak memory every 20 ms.
Run measure(const std::function<bool()>& start, const std::function<bool()>& done,
            const std::function<qint64()>& pid) {
    Run run;
    QElapsedTimer timer;
    timer.start();
    if (!start())
        return run;
    QEventLoop loop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &loop, [&] {
        if (const qint64 id = pid())
            run.peak = std::max(run.peak, peakKiB(id));
        if (done())
            loop.quit();
    });
    sampler.start(20);
    loop.exec();
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.ok = true;
    return run;
}

TimelineData benchTimeline() {
    // 40 segments over the 120 s clip, 2 to 4 s long, kept, sped up ten or four times, or cut.
    const Classification kinds[] = {Classification::Milestone, Classification::RepetitiveAssembly,
                                    Classification::StaticPause,
                                    Classification::RepetitiveAssembly};
    const double speeds[] = {1.0, 10.0, 0.0, 4.0};
    TimelineData data;
    double start = 0.0;
    for (int i = 0; i < 40; ++i) {
        Segment s;
        s.source_start = start;
        s.source_end = i == 39 ? 120.0 : start + 2.0 + (i % 3);
        s.classification = kinds[i % 4];
        s.speed_factor = speeds[i % 4];
        if (s.speed_factor > 0)
            data.total_edited_duration += (s.source_end - s.source_start) / s.speed_factor;
        start = s.source_end;
        data.segments.append(s);
    }
    data.total_source_duration = 120.0;
    return data;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ffmpeg = FFmpegEngine::findFFmpeg();
    const QString source = dir.filePath(QStringLiteral("source.mp4"));
    QProcess generate;
    generate.start(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc2=size=1280x720:rate=25:duration=120", "-c:v", "libx264",
                            "-preset", "ultrafast", "-pix_fmt", "yuv420p", source});
    if (!generate.waitForFinished(600000) || generate.exitCode() != 0) {
        std::fprintf(stderr, "cannot generate the source clip\n");
        return 1;
    }

    const TimelineData data = benchTimeline();
    const QString directOut = dir.filePath(QStringLiteral("direct.mp4"));
    const QString engineOut = dir.filePath(QStringLiteral("engine.mp4"));
    // The render the studio runs: frame-exact on the clip's grid, picture only.
    StreamFacts facts;
    facts.rateNum = 25;
    facts.rateDen = 1;
    facts.width = 1280;
    facts.height = 720;
    facts.duration = 120.0;
    RenderOptions options;
    options.sound = false;
    const QStringList directArguments = FFmpegEngine::renderArguments(
        source, RenderGraph::build(RenderPlan::compute(data, facts), facts, options), directOut);

    std::vector<Run> direct;
    std::vector<Run> engine;
    for (int i = 0; i < Runs; ++i) {
        // Alternated, so load from other users of the machine falls on both alike.
        QProcess process;
        direct.push_back(measure(
            [&] {
                process.start(ffmpeg, directArguments);
                return process.waitForStarted();
            },
            [&] { return process.state() == QProcess::NotRunning; },
            [&] { return process.processId(); }));
        if (process.exitCode() != 0)
            return 1;

        FFmpegEngine renderer;
        bool finished = false;
        bool success = false;
        renderer.finishedCallback = [&](bool ok, const QString&, const QString&) {
            finished = true;
            success = ok;
        };
        engine.push_back(measure(
            [&] { return renderer.renderEditedVideo(source, data, facts, options, engineOut); },
            [&] { return finished; }, onlyChild));
        if (!success)
            return 1;
    }

    const auto best = [](const std::vector<Run>& runs) {
        return *std::min_element(runs.begin(), runs.end(),
                                 [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    };
    const auto peakOf = [](const std::vector<Run>& runs) {
        long peak = 0;
        for (const Run& r : runs)
            peak = std::max(peak, r.peak);
        return peak;
    };
    const Run d = best(direct);
    const Run e = best(engine);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("renderEditedVideo, 120 s 1280x720 source, %d segments, %.1f s edited output "
                "(best of %d runs each):\n",
                int(data.segments.size()), data.total_edited_duration, Runs);
    std::printf("  ffmpeg run directly: %.2f s wall, ffmpeg peak RSS %.1f MiB\n", d.seconds,
                peakOf(direct) / 1024.0);
    std::printf("  through the engine:  %.2f s wall, ffmpeg peak RSS %.1f MiB\n", e.seconds,
                peakOf(engine) / 1024.0);
    std::printf("  ratio engine/direct: %.3f (target <= 1.05); this process peak RSS %.1f MiB\n",
                e.seconds / d.seconds, self.ru_maxrss / 1024.0);
    return 0;
}
