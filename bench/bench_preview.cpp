// Prints seek-and-show latency for 100 random positions on a 1280x720 H.264 clip (a key frame
// every second, as cameras write): the preview's open decoder against one ffmpeg process per
// frame, side by side. Target: median <= 50 ms, 95th percentile <= 120 ms on 2 cores.
#include "media/FrameGrabJob.h"
#include "media/FrameServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Tessaryn;

namespace {

constexpr int Positions = 100;
constexpr double ClipSeconds = 60.0;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

void report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %7.1f ms   p95 %7.1f ms   max %7.1f ms\n", name, ms[ms.size() / 2],
                ms[size_t(ms.size() * 0.95)], ms.back());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString clip = dir.filePath("take.mp4");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc2=size=1280x720:rate=30:duration=%1").arg(ClipSeconds),
                  "-c:v", "libx264", "-preset", "veryfast", "-g", "30", "-pix_fmt", "yuv420p",
                  clip});
    if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "cannot generate the clip\n");
        return 1;
    }
    std::vector<double> positions;
    for (int i = 0; i < Positions; ++i)
        positions.push_back(QRandomGenerator::global()->generateDouble() * (ClipSeconds - 0.1));

    FrameServer server;
    bool opened = false;
    int frames = 0;
    server.openedCallback = [&](bool ok, const VideoFrameDecoder::Facts&, const QString&) {
        opened = ok;
    };
    server.frameCallback = [&](const QImage&, double) { ++frames; };
    server.setMaxSize(QSize(960, 540)); // the preview pane's picture at 1600x1000
    server.open(clip);
    if (!waitFor([&] { return opened; }))
        return 1;
    std::vector<double> open;
    for (double at : positions) {
        const int before = frames;
        QElapsedTimer timer;
        timer.start();
        server.request(at);
        waitFor([&] { return frames > before; });
        open.push_back(timer.nsecsElapsed() / 1e6);
    }

    FrameGrabJob grab;
    std::vector<double> perProcess;
    for (double at : positions) {
        bool done = false;
        grab.finishedCallback = [&](bool, const QString&) { done = true; };
        QElapsedTimer timer;
        timer.start();
        grab.setRequest(clip, at);
        grab.start();
        waitFor([&] { return done; });
        QImage image;
        image.loadFromData(grab.picture(), "BMP");
        perProcess.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("seek and show, %d random positions, 1280x720 H.264, key frame every 1 s\n",
                Positions);
    report("open decoder (preview)", open);
    report("ffmpeg process per frame", perProcess);
    return 0;
}
