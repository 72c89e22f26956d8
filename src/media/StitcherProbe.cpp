#include "media/FFmpegEngine.h"
#include "media/Stitcher.h"

#include <QHash>

namespace Tessaryn {

namespace {

// "30000/1001" as "29.97"; the text unchanged when it is no fraction.
QString frameRateText(const QString& rate) {
    const QStringList parts = rate.split(QLatin1Char('/'));
    bool numOk = false;
    bool denOk = false;
    const double num = parts.value(0).toDouble(&numOk);
    const double den = parts.size() == 2 ? parts[1].toDouble(&denOk) : 1.0;
    if (!numOk || (parts.size() == 2 && (!denOk || den == 0.0)))
        return rate;
    return QString::number(num / den, 'g', 6);
}

} // namespace

std::optional<QString> Stitcher::describeVideo(const QByteArray& probeOutput) {
    QHash<QString, QString> fields;
    for (const QString& line : QString::fromUtf8(probeOutput).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            fields.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    const QString width = fields.value(QStringLiteral("width"));
    const QString height = fields.value(QStringLiteral("height"));
    if (width.isEmpty() || height.isEmpty())
        return std::nullopt;
    return QStringLiteral("%1x%2 at %3 fps, %4 %5")
        .arg(width, height, frameRateText(fields.value(QStringLiteral("r_frame_rate"))),
             fields.value(QStringLiteral("codec_name")), fields.value(QStringLiteral("pix_fmt")));
}

void Stitcher::startProbe() {
    startProcess(FFmpegEngine::findFFprobe(),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                  QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                  QStringLiteral("stream=codec_name,pix_fmt,width,height,r_frame_rate"),
                  QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"),
                  clips[probed]},
                 &Stitcher::onProbeFinished);
}

void Stitcher::onProbeFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    const QString clip = clips.value(probed);
    if (exitStatus != QProcess::NormalExit) {
        fail(stoppedText(QStringLiteral("ffprobe"), exitCode, exitStatus));
        return;
    }
    const std::optional<QString> video =
        exitCode == 0 ? describeVideo(process->readAllStandardOutput()) : std::nullopt;
    if (!video) {
        fail(QStringLiteral("Cannot read the video stream of %1.").arg(clip));
        return;
    }
    if (probed == 0) {
        firstVideo = *video;
    } else if (*video != firstVideo) {
        fail(QStringLiteral("Cannot stitch %1: its video is %2, the first cut's is %3.")
                 .arg(clip, *video, firstVideo));
        return;
    }
    releaseProcess();
    if (++probed < clips.size())
        startProbe();
    else
        startConcat();
}

} // namespace Tessaryn
