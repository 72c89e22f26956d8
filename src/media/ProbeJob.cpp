#include "media/ProbeJob.h"

#include "media/FFmpegEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// Average and base rates further apart than this mark a variable-rate clip.
constexpr double VariableRateTolerance = 0.01;
// A base rate above this is a time base, not a frame rate (phones write 90000/1).
constexpr double MaxPlausibleRate = 240.0;

double rateValue(int num, int den) {
    return num > 0 && den > 0 ? double(num) / double(den) : 0.0;
}

int rotationOf(const QJsonObject& stream) {
    double degrees = stream.value(QLatin1String("tags"))
                         .toObject()
                         .value(QLatin1String("rotate"))
                         .toString()
                         .toDouble();
    for (const QJsonValue& side : stream.value(QLatin1String("side_data_list")).toArray()) {
        const QJsonValue rotation = side.toObject().value(QLatin1String("rotation"));
        if (rotation.isDouble())
            degrees = rotation.toDouble();
    }
    const int quarter = static_cast<int>(std::lround(degrees / 90.0));
    return ((quarter % 4) + 4) % 4 * 90;
}

// The grid a variable-rate clip is laid on when its base rate is a mere time base: the common
// rate nearest its average, or the average rounded to whole frames when none is near.
void nominalRate(double average, int* num, int* den) {
    static const int rates[][2] = {{24000, 1001}, {24, 1},  {25, 1}, {30000, 1001},
                                   {30, 1},       {48, 1},  {50, 1}, {60000, 1001},
                                   {60, 1},       {100, 1}, {120, 1}};
    double best = 0.01;
    *num = std::max(1, static_cast<int>(std::lround(average)));
    *den = 1;
    for (const auto& rate : rates) {
        const double off = std::abs(rateValue(rate[0], rate[1]) - average) / average;
        if (off < best) {
            best = off;
            *num = rate[0];
            *den = rate[1];
        }
    }
}

} // namespace

ProbeJob::ProbeJob(const QString& path, QObject* parent) : ProcessJob(parent), filePath(path) {}

bool ProbeJob::parseRate(const QString& text, int* num, int* den) {
    const QStringList parts = text.split(QLatin1Char('/'));
    bool numOk = false;
    bool denOk = true;
    const int n = parts.value(0).toInt(&numOk);
    const int d = parts.size() == 2 ? parts[1].toInt(&denOk) : 1;
    if (!numOk || !denOk || parts.size() > 2 || n <= 0 || d <= 0) {
        *num = 0;
        *den = 0;
        return false;
    }
    *num = n;
    *den = d;
    return true;
}

QString ProbeJob::program() const {
    return FFmpegEngine::findFFprobe();
}

QStringList ProbeJob::arguments() const {
    return {QStringLiteral("-v"),
            QStringLiteral("error"),
            QStringLiteral("-show_entries"),
            QStringLiteral("stream=codec_type,codec_name,pix_fmt,width,height,r_frame_rate,"
                           "avg_frame_rate,sample_rate,channels:stream_tags=rotate:"
                           "stream_side_data=rotation:format=duration"),
            QStringLiteral("-of"),
            QStringLiteral("json"),
            filePath};
}

void ProbeJob::verifyResult() {
    parse(processHandle()->readAllStandardOutput());
    settle(seconds > 0.0 ? QString()
                         : QStringLiteral("ffprobe found no duration in %1.").arg(filePath));
}

void ProbeJob::parse(const QByteArray& output) {
    const QJsonObject root = QJsonDocument::fromJson(output).object();
    bool ok = false;
    const double value =
        root.value(QLatin1String("format")).toObject().value("duration").toString().toDouble(&ok);
    seconds = ok && std::isfinite(value) && value > 0.0 ? value : 0.0;
    rate = 0.0;
    video.reset();
    audio.reset();
    facts = StreamFacts();
    for (const QJsonValue& entry : root.value(QLatin1String("streams")).toArray()) {
        const QJsonObject stream = entry.toObject();
        const QString type = stream.value(QLatin1String("codec_type")).toString();
        if (type == QLatin1String("video") && !video)
            readVideo(stream);
        else if (type == QLatin1String("audio") && !audio)
            readAudio(stream);
    }
    facts.hasAudio = audio.has_value();
    facts.duration = seconds;
}

void ProbeJob::readVideo(const QJsonObject& stream) {
    const QString rateText = stream.value(QLatin1String("r_frame_rate")).toString();
    int num = 0;
    int den = 0;
    int avgNum = 0;
    int avgDen = 0;
    parseRate(rateText, &num, &den);
    parseRate(stream.value(QLatin1String("avg_frame_rate")).toString(), &avgNum, &avgDen);
    const double base = rateValue(num, den);
    const double average = rateValue(avgNum, avgDen);
    rate = base;
    facts.variableRate =
        average > 0.0 && base > 0.0 && std::abs(base - average) > VariableRateTolerance * base;
    // A variable clip is laid on the grid of its base rate unless that is a mere time base.
    if (base > MaxPlausibleRate && average > 0.0)
        nominalRate(average, &num, &den);
    facts.rateNum = num;
    facts.rateDen = den;
    facts.width = stream.value(QLatin1String("width")).toInt();
    facts.height = stream.value(QLatin1String("height")).toInt();
    facts.rotation = rotationOf(stream);
    if (facts.width <= 0 || facts.height <= 0)
        return;
    video = QStringLiteral("%1x%2 at %3 fps, %4 %5")
                .arg(QString::number(facts.width), QString::number(facts.height),
                     base > 0.0 ? QString::number(base, 'g', 6) : rateText,
                     stream.value(QLatin1String("codec_name")).toString(),
                     stream.value(QLatin1String("pix_fmt")).toString());
}

void ProbeJob::readAudio(const QJsonObject& stream) {
    audio = QStringLiteral("%1 %2 Hz %3 ch")
                .arg(stream.value(QLatin1String("codec_name")).toString(),
                     stream.value(QLatin1String("sample_rate")).toString(),
                     QString::number(stream.value(QLatin1String("channels")).toInt()));
}

void ProbeJob::report(bool success, const QString& errorText) {
    if (!success) {
        seconds = 0.0;
        rate = 0.0;
        video.reset();
        audio.reset();
        facts = StreamFacts();
    }
    if (probedCallback)
        probedCallback(success, seconds, errorText);
    ProcessJob::report(success, errorText);
}

} // namespace Tessaryn
