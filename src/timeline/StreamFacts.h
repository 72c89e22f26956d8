#pragma once

#include <QJsonObject>

namespace Tessaryn {

// What a clip's streams are like, probed once and kept with the reel: the frame grid every
// render, marker and subtitle of the reel is laid on.
struct StreamFacts {
    // The nominal frame rate as num/den (30000/1001 for 29.97); 0/0 while unknown.
    int rateNum = 0;
    int rateDen = 0;
    bool variableRate = false;
    int width = 0;
    int height = 0;
    // Degrees clockwise the picture is turned for display: 0, 90, 180 or 270.
    int rotation = 0;
    bool hasAudio = false;
    double duration = 0.0;

    bool known() const { return rateNum > 0 && rateDen > 0; }
    double fps() const { return known() ? double(rateNum) / double(rateDen) : 0.0; }
    // The whole number of frames a second the timecode counts: 30 for 29.97, 60 for 59.94.
    int nominalFps() const;
    // A 1000/1001 rate, the only kind drop-frame timecode exists for.
    bool isNtsc() const { return known() && rateDen == 1001; }
    // The size shown after rotation.
    int displayWidth() const { return rotation % 180 != 0 ? height : width; }
    int displayHeight() const { return rotation % 180 != 0 ? width : height; }

    // Stored beside the reel's other fields; a missing or unusable rate reads as unknown.
    void writeTo(QJsonObject& object) const;
    static StreamFacts readFrom(const QJsonObject& object);
};

} // namespace Tessaryn
