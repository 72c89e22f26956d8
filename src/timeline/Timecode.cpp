#include "timeline/Timecode.h"

#include <algorithm>

namespace Tessaryn {

namespace {

QString pad(qint64 value) {
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

} // namespace

qint64 Timecode::dropFrameLabelIndex(qint64 frame, int nominalFps) {
    const qint64 dropped = nominalFps / 15; // 2 at 30, 4 at 60
    const qint64 perMinute = qint64(nominalFps) * 60 - dropped;
    const qint64 perTenMinutes = qint64(nominalFps) * 600 - 9 * dropped;
    const qint64 tens = frame / perTenMinutes;
    const qint64 rest = frame % perTenMinutes;
    // The first minute of every ten keeps all its labels; each later one starts 'dropped' on.
    const qint64 skipped =
        9 * dropped * tens + (rest > dropped ? dropped * ((rest - dropped) / perMinute) : 0);
    return frame + skipped;
}

QString Timecode::fromFrame(qint64 frame, int nominalFps, bool dropFrame) {
    nominalFps = std::max(1, nominalFps);
    frame = std::max<qint64>(0, frame);
    const bool drop = dropFrame && nominalFps % 30 == 0;
    const qint64 label = drop ? dropFrameLabelIndex(frame, nominalFps) : frame;
    const qint64 secondsTotal = label / nominalFps;
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(pad(secondsTotal / 3600), pad((secondsTotal % 3600) / 60), pad(secondsTotal % 60),
             drop ? QStringLiteral(";") : QStringLiteral(":"), pad(label % nominalFps));
}

} // namespace Tessaryn
