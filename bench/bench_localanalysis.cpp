// Prints how many times faster than real time the local analysis measures a 2-minute 1280x720
// clip, beside the same filters run on the full-size picture.
#include "media/FFmpegEngine.h"
#include "media/MeasureJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Tessaryn;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString clip = dir.filePath("workshop.mp4");
    QProcess generate;
    generate.start(FFmpegEngine::findFFmpeg(),
                   {"-v", "error", "-f", "lavfi", "-i",
                    "testsrc2=size=1280x720:rate=25:duration=120", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=120", "-c:v", "libx264", "-preset", "ultrafast",
                    "-pix_fmt", "yuv420p", "-c:a", "aac", clip});
    if (!generate.waitForFinished(600000) || generate.exitCode() != 0)
        return 1;

    MeasureJob job;
    job.setSource(clip, MeasureJob::Settings());
    bool done = false;
    bool ok = false;
    job.measuredCallback = [&](bool success, const FootageMeasurements&, const QString&) {
        done = true;
        ok = success;
    };
    QElapsedTimer timer;
    timer.start();
    job.start();
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    const double ours = timer.nsecsElapsed() / 1e9;
    if (!ok)
        return 1;

    timer.restart();
    QProcess full;
    full.start(FFmpegEngine::findFFmpeg(),
               {"-hide_banner", "-i", clip, "-vf", "freezedetect=n=0.003:d=0.5,scdet=t=10", "-af",
                "silencedetect=n=-50dB:d=0.5", "-f", "null", "-"});
    full.waitForFinished(-1);
    const double fullSize = timer.nsecsElapsed() / 1e9;
    std::printf("local analysis of a 120 s 1280x720 clip: %.2f s (%.1fx real time, target >= 10x); "
                "same filters on the full-size picture: %.2f s (%.1fx)\n",
                ours, 120.0 / ours, fullSize, 120.0 / fullSize);
    return 0;
}
