#pragma once

#include <QString>

namespace Tessaryn {

// SMPTE-style "HH:MM:SS:FF" labels of frame numbers.
class Timecode {
public:
    // Non-drop counts nominalFps frames to the second (30 for 29.97), so the label runs slow
    // against the clock at 1000/1001 rates. Drop-frame ("HH:MM:SS;FF") skips labels 0 and 1 of
    // every minute (0 to 3 at 60) except every tenth minute, keeping the label on the clock; it
    // applies to nominal rates that are multiples of 30 only and is ignored otherwise.
    static QString fromFrame(qint64 frame, int nominalFps, bool dropFrame);
    // The frame number a drop-frame label stands for counted as if nothing were skipped.
    static qint64 dropFrameLabelIndex(qint64 frame, int nominalFps);
};

} // namespace Tessaryn
