#pragma once

#include "media/MeasureJob.h"

namespace Tessaryn {

class TimelineData;

// Turns what ffmpeg measured of a clip into classified segments, without any service: stillness
// of at least the pause threshold is a pause, a long stretch of steady activity with no scene
// change is repetitive work, and the rest is a milestone. Descriptions say what was measured.
class LocalClassifier {
public:
    struct Settings {
        double pauseThreshold = 2.0;
        double steadySpan = 20.0;     // seconds of steady activity that count as repetitive work
        bool pauseNeedsQuiet = false; // a still picture with sound going on is not a pause
    };

    static TimelineData classify(const FootageMeasurements& measured, const Settings& settings);
    // The pauses the measurements show, in order, clamped to the clip.
    static QList<FootageMeasurements::Span> pauses(const FootageMeasurements& measured,
                                                   const Settings& settings);
};

} // namespace Tessaryn
