#include "media/FFmpegEngine.h"

#include "media/ProbeJob.h"
#include "media/ProxyJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Tessaryn {

double FFmpegEngine::getVideoDuration(const QString& videoPath) {
    if (!QFile::exists(findFFprobe()))
        return 0.0;
    ProbeJob probe(videoPath);
    if (!probe.start())
        return 0.0;
    // Ended here rather than in the destructor, which would wait much longer.
    if (!probe.waitForFinished(ProbeTimeoutMs))
        probe.cancel();
    return probe.duration();
}

StreamFacts FFmpegEngine::getStreamFacts(const QString& videoPath) {
    if (!QFile::exists(findFFprobe()))
        return StreamFacts();
    ProbeJob probe(videoPath);
    if (!probe.start())
        return StreamFacts();
    if (!probe.waitForFinished(ProbeTimeoutMs))
        probe.cancel();
    return probe.streamFacts();
}

bool FFmpegEngine::createProxy(const QString& inputPath, const QString& outputPath, int height) {
    const QString input = inputPath;
    const QString output = outputPath;
    if (!endRunningJob(output))
        return false;
    // Zero or a negative value would make the scale filter keep or reinterpret the size.
    if (height < MinProxyHeight) {
        reportRefused(
            output, QStringLiteral("Proxy height must be at least %1 pixels.").arg(MinProxyHeight));
        return false;
    }
    QDir(QFileInfo(output).absolutePath()).mkpath(QStringLiteral("."));
    if (logCallback)
        logCallback(QStringLiteral("Starting proxy generation: %1").arg(output));
    auto* proxy = new ProxyJob(input, output, height, this);
    proxy->progressCallback = [this](double seconds, double total) {
        if (progressCallback)
            progressCallback(progressPercent(seconds, total), seconds, total);
    };
    return startJob(proxy, output);
}

} // namespace Tessaryn
