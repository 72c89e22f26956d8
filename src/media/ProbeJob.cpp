#include "media/ProbeJob.h"

#include "media/FFmpegEngine.h"

#include <QHash>

#include <cmath>

namespace Tessaryn {

namespace {

// "30000/1001" as 29.97; 0 when the text is no rate.
double frameRateValue(const QString& rate) {
    const QStringList parts = rate.split(QLatin1Char('/'));
    bool numOk = false;
    bool denOk = true;
    const double num = parts.value(0).toDouble(&numOk);
    const double den = parts.size() == 2 ? parts[1].toDouble(&denOk) : 1.0;
    if (!numOk || !denOk || parts.size() > 2 || !(den > 0.0) || !(num > 0.0))
        return 0.0;
    return num / den;
}

} // namespace

ProbeJob::ProbeJob(const QString& path, QObject* parent) : ProcessJob(parent), filePath(path) {}

QString ProbeJob::program() const {
    return FFmpegEngine::findFFprobe();
}

QStringList ProbeJob::arguments() const {
    return {QStringLiteral("-v"),
            QStringLiteral("error"),
            QStringLiteral("-select_streams"),
            QStringLiteral("v:0"),
            QStringLiteral("-show_entries"),
            QStringLiteral("stream=codec_name,pix_fmt,width,height,r_frame_rate:format=duration"),
            QStringLiteral("-of"),
            QStringLiteral("default=noprint_wrappers=1"),
            filePath};
}

void ProbeJob::verifyResult() {
    parse(processHandle()->readAllStandardOutput());
    settle(seconds > 0.0 ? QString()
                         : QStringLiteral("ffprobe found no duration in %1.").arg(filePath));
}

void ProbeJob::parse(const QByteArray& output) {
    QHash<QString, QString> fields;
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            fields.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    bool ok = false;
    const double value = fields.value(QStringLiteral("duration")).toDouble(&ok);
    seconds = ok && std::isfinite(value) && value > 0.0 ? value : 0.0;
    const QString rateText = fields.value(QStringLiteral("r_frame_rate"));
    rate = frameRateValue(rateText);
    const QString width = fields.value(QStringLiteral("width"));
    const QString height = fields.value(QStringLiteral("height"));
    if (width.isEmpty() || height.isEmpty()) {
        video.reset();
        return;
    }
    video = QStringLiteral("%1x%2 at %3 fps, %4 %5")
                .arg(width, height, rate > 0.0 ? QString::number(rate, 'g', 6) : rateText,
                     fields.value(QStringLiteral("codec_name")),
                     fields.value(QStringLiteral("pix_fmt")));
}

void ProbeJob::report(bool success, const QString& errorText) {
    if (!success) {
        seconds = 0.0;
        rate = 0.0;
        video.reset();
    }
    if (probedCallback)
        probedCallback(success, seconds, errorText);
    ProcessJob::report(success, errorText);
}

} // namespace Tessaryn
