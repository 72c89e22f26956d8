#include "media/Stitcher.h"

#include "media/ProbeJob.h"
#include "media/StitchJob.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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
    return job && job->isRunning();
}

QString Stitcher::concatListLine(const QString& clipPath) {
    QString quoted = clipPath;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QStringLiteral("file '%1'").arg(quoted);
}

QString Stitcher::concatListPath(const QString& outputPath) {
    static QAtomicInteger<quint32> counter;
    return QFileInfo(outputPath)
        .absoluteDir()
        .filePath(QStringLiteral(".concat_list.%1.%2.txt")
                      .arg(QString::number(QCoreApplication::applicationPid()),
                           QString::number(counter.fetchAndAddRelaxed(1))));
}

void Stitcher::cancel() {
    // The job reports during its cancel, which ends the stitch and removes its list.
    if (isRunning())
        job->cancel();
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

    QFileInfo(output).absoluteDir().mkpath(QStringLiteral("."));
    listPath = concatListPath(output);
    if (!writeList(existing)) {
        removeList();
        refuse(QStringLiteral("Cannot create concat list file."));
        return;
    }
    this->outputPath = output;
    clips = existing;
    probed = 0;
    firstVideo.clear();
    firstAudio.clear();
    partsSeconds = 0.0;
    frameSeconds = 0.0;
    probeNext();
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

void Stitcher::run(ProcessJob* next, std::function<void(bool, const QString&)> onFinished) {
    job = next;
    next->finishedCallback = [this, next, onFinished](bool success, const QString& error) {
        // Released later, never inside its own report.
        if (job == next)
            job = nullptr;
        next->deleteLater();
        onFinished(success, error);
    };
    next->start();
}

void Stitcher::probeNext() {
    auto* probe = new ProbeJob(clips[probed], this);
    run(probe,
        [this, probe](bool success, const QString& error) { onProbed(probe, success, error); });
}

void Stitcher::onProbed(ProbeJob* probe, bool success, const QString& errorText) {
    const QString clip = clips.value(probed);
    // An ffprobe that could not run, or was stopped, speaks for itself; one that ran and found
    // nothing to measure says that the clip is no film.
    const QProcess* process = probe->processHandle();
    if (!success && (process->error() == QProcess::FailedToStart ||
                     process->exitStatus() != QProcess::NormalExit)) {
        finish(false, errorText);
        return;
    }
    if (!success || !probe->videoDescription()) {
        finish(false, QStringLiteral("Cannot read the video stream of %1.").arg(clip));
        return;
    }
    const QString video = *probe->videoDescription();
    // Stream copy joins the streams as they are: every cut must carry the same sound, or none.
    const QString audio = probe->audioDescription().value_or(QStringLiteral("no sound"));
    if (probed == 0) {
        firstVideo = video;
        firstAudio = audio;
        frameSeconds = probe->frameRate() > 0.0 ? 1.0 / probe->frameRate() : 0.0;
    } else if (video != firstVideo) {
        finish(false, QStringLiteral("Cannot stitch %1: its video is %2, the first cut's is %3.")
                          .arg(clip, video, firstVideo));
        return;
    } else if (audio != firstAudio) {
        finish(false, QStringLiteral("Cannot stitch %1: its sound is %2, the first cut's is %3.")
                          .arg(clip, audio, firstAudio));
        return;
    }
    partsSeconds += probe->duration();
    if (++probed < clips.size())
        probeNext();
    else
        startConcat();
}

void Stitcher::startConcat() {
    if (progressCallback)
        progressCallback(10);
    // Each joint may round by up to a frame; the job allows one more on its own.
    const double tolerance = frameSeconds * static_cast<double>(clips.size() - 1) + 0.01;
    auto* stitch = new StitchJob(listPath, outputPath, partsSeconds, tolerance, this);
    run(stitch, [this](bool success, const QString& error) { finish(success, error); });
}

void Stitcher::finish(bool success, const QString& errorText) {
    removeList();
    clips.clear();
    if (progressCallback)
        progressCallback(100);
    if (finishedCallback)
        finishedCallback(success, outputPath, errorText);
}

void Stitcher::removeList() {
    if (!listPath.isEmpty())
        QFile::remove(listPath);
    listPath.clear();
}

} // namespace Tessaryn
