#include "media/ProxyJob.h"

#include "media/FFmpegEngine.h"

#include <QRegularExpression>

namespace Tessaryn {

ProxyJob::ProxyJob(const QString& inputPath, const QString& outputPath, int proxyHeight,
                   QObject* parent)
    : ProcessJob(parent), input(inputPath), height(proxyHeight) {
    setTarget(outputPath);
}

QString ProxyJob::program() const {
    return FFmpegEngine::findFFmpeg();
}

QStringList ProxyJob::arguments() const {
    return {QStringLiteral("-y"),
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
            partialPath()};
}

QString ProxyJob::prepareRun() {
    total = 0.0;
    return QString();
}

void ProxyJob::readProgress(QString& tail, const QString& newText) {
    // The input's header precedes every "time=" reading. It is looked for before the tail is
    // cut back, in the new text joined to the end of the old, so neither a large read nor a
    // line split across two reads loses it.
    static const QRegularExpression durationPattern(
        QStringLiteral("Duration: (\\d+):(\\d+):(\\d+\\.\\d+)"));
    if (total <= 0.0) {
        const QRegularExpressionMatch match = durationPattern.match(tail.right(64) + newText);
        if (match.hasMatch())
            total = match.capturedView(1).toInt() * 3600.0 + match.capturedView(2).toInt() * 60.0 +
                    match.capturedView(3).toDouble();
    }
    const std::optional<double> seconds = FFmpegEngine::readProgress(tail, newText);
    if (seconds && progressCallback)
        progressCallback(*seconds, total);
}

void ProxyJob::verifyResult() {
    settle(outputFault());
}

} // namespace Tessaryn
