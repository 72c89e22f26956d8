#include "media/FFmpegEngine.h"

#include "media/PartialFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace Tessaryn {

double FFmpegEngine::getVideoDuration(const QString& videoPath) {
    const QString probe = findFFprobe();
    if (!QFile::exists(probe))
        return 0.0;
    QProcess process;
    process.start(probe,
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                   QStringLiteral("format=duration"), QStringLiteral("-of"),
                   QStringLiteral("default=noprint_wrappers=1:nokey=1"), videoPath});
    if (!process.waitForFinished(ProbeTimeoutMs)) {
        // Ended here rather than in the destructor, which would wait much longer.
        process.kill();
        process.waitForFinished(KillWaitMs);
        return 0.0;
    }
    bool ok = false;
    const double seconds =
        QString::fromUtf8(process.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok && std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
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
    const QString partial = PartialFile::pathFor(output);
    const QStringList arguments{QStringLiteral("-y"),
                                QStringLiteral("-i"),
                                input,
                                QStringLiteral("-vf"),
                                QStringLiteral("scale=-2:%1").arg(height),
                                QStringLiteral("-c:v"),
                                QStringLiteral("libx264"),
                                QStringLiteral("-preset"),
                                QStringLiteral("ultrafast"),
                                QStringLiteral("-crf"),
                                QStringLiteral("30"),
                                QStringLiteral("-an"),
                                partial};
    const double duration = getVideoDuration(input);
    if (logCallback)
        logCallback(QStringLiteral("Starting proxy generation: %1").arg(output));
    return startJob(arguments, output, partial, duration);
}

} // namespace Tessaryn
