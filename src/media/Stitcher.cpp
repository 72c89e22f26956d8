#include "media/Stitcher.h"

#include "media/FFmpegEngine.h"
#include "media/PartialFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace Tessaryn {

Stitcher::Stitcher(QObject* parent) : QObject(parent) {}

Stitcher::~Stitcher() {
    // The owner may already be half destroyed: the stitch ends without calling back into it.
    progressCallback = nullptr;
    finishedCallback = nullptr;
    cancel();
}

bool Stitcher::isRunning() const {
    return process && process->state() != QProcess::NotRunning;
}

QString Stitcher::concatListLine(const QString& clipPath) {
    QString quoted = clipPath;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QStringLiteral("file '%1'").arg(quoted);
}

void Stitcher::cancel() {
    if (isRunning()) {
        QProcess* killed = process;
        killed->kill();
        // The finished notification arrives during the wait and completes the stitch.
        killed->waitForFinished(KillWaitMs);
        if (process == killed)
            fail(QStringLiteral("%1 did not stop within %2 ms.")
                     .arg(killed->program(), QString::number(KillWaitMs)));
    }
    // A stitch started by the finished callback owns the list now.
    if (!process)
        removeList();
}

void Stitcher::stitchClips(const QList<QString>& clipPaths, const QString& outputPath) {
    // Copies: ending the running stitch calls back into the owner.
    const QList<QString> given = clipPaths;
    const QString output = outputPath;
    const auto refuse = [this, &output](const QString& errorText) {
        if (finishedCallback)
            finishedCallback(false, output, errorText);
    };
    // A stitch that the ended one's finished callback starts meanwhile is refused, so the
    // caller's stitch never runs beside or over it.
    if (ending) {
        refuse(QStringLiteral("Another stitch took over before this one started."));
        return;
    }
    ending = true;
    cancel();
    ending = false;

    if (given.isEmpty()) {
        refuse(QStringLiteral("No clips provided for master release."));
        return;
    }
    QStringList existing;
    for (const QString& clip : given) {
        if (!QFile::exists(clip))
            continue;
        if (clip.contains(QLatin1Char('\n')) || clip.contains(QLatin1Char('\r'))) {
            refuse(QStringLiteral("Cannot stitch %1: the concat list cannot hold a path with a "
                                  "line break.")
                       .arg(clip));
            return;
        }
        // ffmpeg reads relative list entries against the list's folder, not ours.
        existing << QFileInfo(clip).absoluteFilePath();
    }
    if (existing.isEmpty()) {
        refuse(QStringLiteral("None of the clips to stitch exists."));
        return;
    }

    const QDir folder = QFileInfo(output).absoluteDir();
    listPath = folder.filePath(QStringLiteral("concat_list.txt"));
    folder.mkpath(QStringLiteral("."));
    if (!writeList(existing)) {
        removeList();
        refuse(QStringLiteral("Cannot create concat list file."));
        return;
    }
    this->outputPath = output;
    partialPath = PartialFile::pathFor(output);
    clips = existing;
    probed = 0;
    firstVideo.clear();
    startProbe();
}

bool Stitcher::writeList(const QStringList& clipPaths) {
    QFile file(listPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    for (const QString& clip : clipPaths)
        out << concatListLine(clip) << '\n';
    out.flush();
    return out.status() == QTextStream::Ok && file.flush();
}

void Stitcher::startConcat() {
    if (progressCallback)
        progressCallback(10);
    startProcess(FFmpegEngine::findFFmpeg(),
                 {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("concat"),
                  QStringLiteral("-safe"), QStringLiteral("0"), QStringLiteral("-i"), listPath,
                  QStringLiteral("-c"), QStringLiteral("copy"), partialPath},
                 &Stitcher::onProcessFinished);
}

void Stitcher::startProcess(const QString& program, const QStringList& arguments,
                            FinishedHandler onFinished) {
    process = new QProcess(this);
    connect(process, &QProcess::finished, this, onFinished);
    // A program that cannot be started raises no finished signal, only this error.
    connect(process, &QProcess::errorOccurred, this, &Stitcher::onProcessError);
    process->start(program, arguments, QIODevice::ReadWrite);
}

void Stitcher::onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    const bool success = exitCode == 0 && exitStatus == QProcess::NormalExit;
    finish(success,
           success ? QString() : stoppedText(QStringLiteral("ffmpeg"), exitCode, exitStatus));
}

void Stitcher::onProcessError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || !process)
        return;
    fail(QStringLiteral("Cannot start %1: %2").arg(process->program(), process->errorString()));
}

QString Stitcher::stoppedText(const QString& program, int exitCode,
                              QProcess::ExitStatus exitStatus) const {
    QString text = process ? QString::fromUtf8(process->readAllStandardError()) : QString();
    if (text.size() > ErrorTailLength)
        text = text.right(ErrorTailLength);
    // A failure is never reported without a reason.
    if (text.trimmed().isEmpty())
        text =
            exitStatus == QProcess::NormalExit
                ? QStringLiteral("%1 exited with code %2.").arg(program, QString::number(exitCode))
                : QStringLiteral("%1 was stopped.").arg(program);
    return text;
}

void Stitcher::fail(const QString& errorText) {
    finish(false, errorText);
}

void Stitcher::finish(bool success, const QString& errorText) {
    // Released first, so the finished callback may start the next stitch at once.
    releaseProcess();
    removeList();
    const QString output = outputPath;
    const QString partial = partialPath;
    partialPath.clear();
    clips.clear();
    QString reason = errorText;
    success = PartialFile::finish(partial, output, success, &reason);
    if (progressCallback)
        progressCallback(100);
    if (finishedCallback)
        finishedCallback(success, output, reason);
}

void Stitcher::releaseProcess() {
    if (!process)
        return;
    QProcess* released = process;
    process = nullptr;
    released->disconnect(this);
    released->deleteLater();
}

void Stitcher::removeList() {
    if (!listPath.isEmpty() && QFile::exists(listPath))
        QFile::remove(listPath);
    listPath.clear();
}

} // namespace Tessaryn
