#include "media/MeasureJob.h"

#include "media/FFmpegEngine.h"

#include <QRegularExpression>

namespace Tessaryn {

namespace {

double timeOf(const QString& text) {
    static const QRegularExpression clock(QStringLiteral("(\\d+):(\\d+):(\\d+(?:\\.\\d+)?)"));
    const QRegularExpressionMatch m = clock.match(text);
    if (!m.hasMatch())
        return -1.0;
    return m.captured(1).toDouble() * 3600.0 + m.captured(2).toDouble() * 60.0 +
           m.captured(3).toDouble();
}

// The number after "key: " in an ffmpeg report line; -1 when absent.
double valueAfter(const QString& line, const QString& key) {
    const qsizetype at = line.indexOf(key);
    if (at < 0)
        return -1.0;
    static const QRegularExpression number(QStringLiteral("^\\s*(-?[0-9.]+)"));
    const QRegularExpressionMatch m = number.match(line.mid(at + key.size()));
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

} // namespace

MeasureJob::MeasureJob(QObject* parent) : ProcessJob(parent) {}

void MeasureJob::setSource(const QString& path, const Settings& settings) {
    source = path;
    values = settings;
}

QString MeasureJob::program() const {
    return FFmpegEngine::findFFmpeg();
}

QStringList MeasureJob::arguments() const {
    // A small picture, scaled by the nearest pixel (the cheapest way), is enough to see
    // stillness and cuts; the decode itself is the cost, so nothing else is asked of ffmpeg.
    const QString video =
        QStringLiteral("scale=160:-2:flags=neighbor,freezedetect=n=%1:d=%2,scdet=t=%3")
            .arg(QString::number(values.freezeNoise), QString::number(values.minFreezeSeconds),
                 QString::number(values.sceneThreshold));
    const QString audio =
        QStringLiteral("silencedetect=n=%1dB:d=%2")
            .arg(QString::number(values.silenceDb), QString::number(values.minFreezeSeconds));
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-threads"),
            QStringLiteral("0"),
            QStringLiteral("-i"),
            source,
            QStringLiteral("-map"),
            QStringLiteral("0:v:0"),
            QStringLiteral("-vf"),
            video,
            QStringLiteral("-map"),
            QStringLiteral("0:a:0?"),
            QStringLiteral("-af"),
            audio,
            QStringLiteral("-f"),
            QStringLiteral("null"),
            QStringLiteral("-")};
}

QString MeasureJob::prepareRun() {
    measured = FootageMeasurements();
    pendingLine.clear();
    lastPercent = -1;
    return QString();
}

void MeasureJob::readLine(const QString& line, FootageMeasurements& into) {
    if (line.contains(QLatin1String("Duration:")) && into.duration <= 0.0) {
        into.duration = std::max(0.0, timeOf(line));
    } else if (line.contains(QLatin1String("Stream #")) && line.contains(QLatin1String("Audio:"))) {
        into.hasAudio = true;
    } else if (const double start = valueAfter(line, QStringLiteral("freeze_start:"));
               start >= 0.0) {
        into.freezes.append({start, -1.0});
    } else if (const double end = valueAfter(line, QStringLiteral("freeze_end:")); end >= 0.0) {
        if (!into.freezes.isEmpty() && into.freezes.last().end < 0.0)
            into.freezes.last().end = end;
    } else if (const double scene = valueAfter(line, QStringLiteral("lavfi.scd.time:"));
               scene >= 0.0) {
        into.sceneChanges.append(scene);
    } else if (const double quiet = valueAfter(line, QStringLiteral("silence_start:"));
               quiet >= 0.0) {
        into.silences.append({quiet, -1.0});
    } else if (const double loud = valueAfter(line, QStringLiteral("silence_end:")); loud >= 0.0) {
        if (!into.silences.isEmpty() && into.silences.last().end < 0.0)
            into.silences.last().end = loud;
    }
}

void MeasureJob::readProgress(QString& tail, const QString& newText) {
    tail += newText;
    pendingLine += newText;
    // ffmpeg ends its progress lines with a carriage return, its reports with a line feed.
    static const QRegularExpression lineEnd(QStringLiteral("[\\r\\n]"));
    const QStringList lines = pendingLine.split(lineEnd);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        readLine(lines[i], measured);
        const double at = lines[i].contains(QLatin1String("time="))
                              ? timeOf(lines[i].mid(lines[i].indexOf("time=")))
                              : -1.0;
        const int percent = FFmpegEngine::progressPercent(at, measured.duration);
        if (at >= 0.0 && percent != lastPercent && progressCallback) {
            lastPercent = percent;
            progressCallback(percent);
        }
    }
    pendingLine = lines.last();
}

void MeasureJob::verifyResult() {
    if (!pendingLine.isEmpty())
        readLine(pendingLine, measured);
    // Stillness or quiet that lasts to the end is closed by the end of the clip.
    for (FootageMeasurements::Span& span : measured.freezes) {
        if (span.end < 0.0)
            span.end = measured.duration;
    }
    for (FootageMeasurements::Span& span : measured.silences) {
        if (span.end < 0.0)
            span.end = measured.duration;
    }
    settle(measured.duration > 0.0
               ? QString()
               : QStringLiteral("ffmpeg reported no duration for %1.").arg(source));
}

void MeasureJob::report(bool success, const QString& errorText) {
    if (measuredCallback)
        measuredCallback(success, measured, errorText);
    ProcessJob::report(success, errorText);
}

} // namespace Tessaryn
