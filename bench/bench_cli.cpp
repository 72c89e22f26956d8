// Prints how long `tessaryn-cli render` takes on a 2-minute 1280x720 clip with a 40-segment
// timeline against the identical ffmpeg command run directly, then the speed-up of
// `render --jobs 2` over `--jobs 1` on four reels.
#include "media/FFmpegEngine.h"
#include "media/RenderGraph.h"
#include "media/RenderOptions.h"
#include "timeline/RenderPlan.h"
#include "timeline/SafeFile.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Tessaryn;

namespace {

bool run(const QString& program, const QStringList& arguments, double* seconds = nullptr) {
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (seconds)
        *seconds = timer.nsecsElapsed() / 1e9;
    return ok;
}

bool generate(const QString& path, const QString& size, int seconds) {
    return run(FFmpegEngine::findFFmpeg(),
               {"-v", "error", "-y", "-f", "lavfi", "-i",
                QStringLiteral("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", path});
}

// Segments of 2 to 4 s over the clip: kept, sped up, cut, sped up, in turn.
TimelineData timelineFor(double duration, int count) {
    const char* kinds[] = {"milestone", "repetitive_assembly", "static_pause",
                           "repetitive_assembly"};
    QJsonArray segments;
    double start = 0.0;
    for (int i = 0; i < count; ++i) {
        const double end = i == count - 1 ? duration : start + 2.0 + (i % 3);
        segments.append(QJsonObject{{"source_start", start},
                                    {"source_end", end},
                                    {"classification", kinds[i % 4]},
                                    {"description", QStringLiteral("Step %1").arg(i)}});
        start = end;
    }
    TimelineData data = TimelineData::fromJson(QJsonObject{{"segments", segments}});
    TimelineMath::computeTimeline(data, 10.0, 2.0);
    return data;
}

bool prepare(const QString& cli, const QString& workspace, const QString& footage,
             const TimelineData& data) {
    if (!run(cli, {"create", workspace, "--footage", footage}))
        return false;
    for (const QString& clip : QDir(footage).entryList({"*.mp4"})) {
        const QString name = QFileInfo(clip).completeBaseName();
        const QString path = QDir(workspace).filePath("timelines/" + name + "_timeline.json");
        if (!SafeFile::writeJsonObject(path, data.toJson()))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString cli =
        QDir(QCoreApplication::applicationDirPath()).filePath("../bin/tessaryn-cli");
    QTemporaryDir dir;
    const QString footage = dir.filePath("footage");
    QDir().mkpath(footage);
    const QString source = QDir(footage).filePath("source.mp4");
    if (!generate(source, "1280x720", 120)) {
        std::fprintf(stderr, "cannot generate the source clip\n");
        return 1;
    }
    const TimelineData data = timelineFor(120.0, 40);
    const QString workspace = dir.filePath("one");
    if (!prepare(cli, workspace, footage, data))
        return 1;
    // Best of two runs each, alternated, so load from other users of the machine falls on both.
    double direct = 1e9;
    double viaCli = 1e9;
    // The command the studio runs for this reel: frame-exact, with the default sound settings
    // (a silent track here, the clip having none).
    const StreamFacts facts = FFmpegEngine::getStreamFacts(source);
    const RenderOptions options;
    const QStringList arguments = FFmpegEngine::renderArguments(
        source, RenderGraph::build(RenderPlan::compute(data, facts), facts, options),
        dir.filePath("direct.mp4"), RenderGraph::hasSound(options));
    for (int i = 0; i < 2; ++i) {
        double a = 0.0;
        double b = 0.0;
        if (!run(FFmpegEngine::findFFmpeg(), arguments, &a) ||
            !run(cli, {"render", workspace, "--reel", "source"}, &b))
            return 1;
        direct = std::min(direct, a);
        viaCli = std::min(viaCli, b);
    }
    std::printf("tessaryn-cli render, 120 s 1280x720, 40 segments, %.1f s edited:\n",
                data.total_edited_duration);
    std::printf("  ffmpeg directly: %.2f s; tessaryn-cli: %.2f s; ratio %.3f (target <= 1.05)\n",
                direct, viaCli, viaCli / direct);

    const QString many = dir.filePath("many");
    QDir().mkpath(many);
    for (int i = 0; i < 4; ++i) {
        if (!generate(QDir(many).filePath(QStringLiteral("reel%1.mp4").arg(i)), "640x360", 30))
            return 1;
    }
    const TimelineData short30 = timelineFor(30.0, 10);
    double seconds[2] = {0.0, 0.0};
    for (int jobs = 1; jobs <= 2; ++jobs) {
        const QString ws = dir.filePath(QStringLiteral("jobs%1").arg(jobs));
        if (!prepare(cli, ws, many, short30) ||
            !run(cli, {"render", ws, "--jobs", QString::number(jobs)}, &seconds[jobs - 1]))
            return 1;
    }
    std::printf("render of 4 reels (30 s 640x360 each): --jobs 1 %.2f s, --jobs 2 %.2f s, "
                "speed-up %.2fx on %d cores\n",
                seconds[0], seconds[1], seconds[0] / seconds[1], QThread::idealThreadCount());
    return 0;
}
