#include "media/RenderJob.h"

#include "media/FFmpegEngine.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace Tessaryn {

RenderJob::RenderJob(const QString& inputPath, const QString& filterGraph,
                     const QString& outputPath, double expectedSeconds, QObject* parent)
    : ProcessJob(parent), input(inputPath), graph(filterGraph), expected(expectedSeconds) {
    setTarget(outputPath);
}

RenderJob::~RenderJob() {
    releaseRun();
}

QString RenderJob::sourceFault(const QString& inputPath) {
    if (inputPath.isEmpty())
        return QStringLiteral("No source clip to render.");
    // Two letters or more before a colon name a protocol; one is a Windows drive.
    static const QRegularExpression protocol(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (inputPath.contains(protocol))
        return QStringLiteral("Cannot render %1: the source must be a local file, not a URL or "
                              "an ffmpeg protocol.")
            .arg(inputPath);
    const QFileInfo info(inputPath);
    if (!info.exists())
        return QStringLiteral("Cannot render %1: the source clip does not exist.").arg(inputPath);
    if (!info.isFile())
        return QStringLiteral("Cannot render %1: the source is not a regular file.").arg(inputPath);
    return QString();
}

QString RenderJob::scriptPathFor(const QString& outputPath) {
    static QAtomicInteger<quint32> counter;
    const QFileInfo info(outputPath);
    return QDir(info.absolutePath())
        .filePath(QStringLiteral(".%1.graph.%2.%3.txt")
                      .arg(info.completeBaseName(),
                           QString::number(QCoreApplication::applicationPid()),
                           QString::number(counter.fetchAndAddRelaxed(1))));
}

QString RenderJob::program() const {
    return FFmpegEngine::findFFmpeg();
}

QStringList RenderJob::arguments() const {
    // Absolute, so that a name holding a colon is never read as a protocol.
    QStringList arguments = FFmpegEngine::renderArguments(QFileInfo(input).absoluteFilePath(),
                                                          graph, partialPath(), sound);
    const qsizetype at = arguments.indexOf(QStringLiteral("-filter_complex"));
    arguments[at] = QStringLiteral("-filter_complex_script");
    arguments[at + 1] = script;
    return arguments;
}

QString RenderJob::prepareRun() {
    releaseRun();
    script = scriptPathFor(targetPath());
    // Written whole or not at all: ffmpeg must never read half a graph.
    QSaveFile file(script);
    if (file.open(QIODevice::WriteOnly) && file.write(graph.toUtf8()) >= 0 && file.commit())
        return QString();
    const QString reason = file.errorString();
    script.clear();
    return QStringLiteral("Cannot write the filter graph for %1: %2").arg(targetPath(), reason);
}

void RenderJob::readProgress(QString& tail, const QString& newText) {
    const std::optional<double> seconds = FFmpegEngine::readProgress(tail, newText);
    if (seconds && progressCallback)
        progressCallback(*seconds);
}

void RenderJob::verifyResult() {
    verifyOutput(expected, DurationTolerance);
}

void RenderJob::releaseRun() {
    if (!script.isEmpty())
        QFile::remove(script);
    script.clear();
}

} // namespace Tessaryn
