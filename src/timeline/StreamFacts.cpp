#include "timeline/StreamFacts.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

const char* const RateKey = "frame_rate";
const char* const VariableKey = "variable_frame_rate";
const char* const WidthKey = "width";
const char* const HeightKey = "height";
const char* const RotationKey = "rotation";
const char* const AudioKey = "has_audio";
const char* const DurationKey = "stream_duration";

} // namespace

int StreamFacts::nominalFps() const {
    if (!known())
        return 0;
    return std::max(1, static_cast<int>(std::lround(fps())));
}

void StreamFacts::writeTo(QJsonObject& object) const {
    if (!known())
        return;
    object.insert(QLatin1String(RateKey),
                  QStringLiteral("%1/%2").arg(QString::number(rateNum), QString::number(rateDen)));
    object.insert(QLatin1String(VariableKey), variableRate);
    object.insert(QLatin1String(WidthKey), width);
    object.insert(QLatin1String(HeightKey), height);
    object.insert(QLatin1String(RotationKey), rotation);
    object.insert(QLatin1String(AudioKey), hasAudio);
    object.insert(QLatin1String(DurationKey), duration);
}

StreamFacts StreamFacts::readFrom(const QJsonObject& object) {
    StreamFacts facts;
    const QStringList rate = object.value(QLatin1String(RateKey)).toString().split('/');
    bool numOk = false;
    bool denOk = false;
    const int num = rate.value(0).toInt(&numOk);
    const int den = rate.value(1).toInt(&denOk);
    if (rate.size() != 2 || !numOk || !denOk || num <= 0 || den <= 0)
        return facts;
    facts.rateNum = num;
    facts.rateDen = den;
    facts.variableRate = object.value(QLatin1String(VariableKey)).toBool(false);
    facts.width = std::max(0, object.value(QLatin1String(WidthKey)).toInt(0));
    facts.height = std::max(0, object.value(QLatin1String(HeightKey)).toInt(0));
    const int rotation = object.value(QLatin1String(RotationKey)).toInt(0);
    facts.rotation = ((rotation % 360) + 360) % 360 / 90 * 90;
    facts.hasAudio = object.value(QLatin1String(AudioKey)).toBool(false);
    const double seconds = object.value(QLatin1String(DurationKey)).toDouble(0.0);
    facts.duration = std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
    return facts;
}

} // namespace Tessaryn
