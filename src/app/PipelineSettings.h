#pragma once

#include <QString>
#include <QStringList>

class QVariant;

namespace Tessaryn {

// The analysis choices made in the settings dialog, kept in the user's settings. Whatever is
// read back is checked: a value out of range or not a number becomes its default, and a model
// not offered by models() becomes the default model.
class PipelineSettings {
public:
    static constexpr double DefaultSpeed = 10.0;
    static constexpr double MinSpeed = 1.0;
    static constexpr double MaxSpeed = 50.0;
    static constexpr double DefaultMinPause = 2.0;
    static constexpr double MinPause = 0.5;
    static constexpr double MaxPause = 30.0;
    // Level of sped-up sound against the source, in decibels.
    static constexpr double DefaultSpedSoundDb = -12.0;
    static constexpr double MinSpedSoundDb = -40.0;
    static constexpr double MaxSpedSoundDb = 0.0;

    QString model = defaultModel();
    double assembly_speed = DefaultSpeed;
    double minimum_pause = DefaultMinPause;
    // Off: cuts and the master have no sound track.
    bool sound_enabled = true;
    // Sped parts silent instead of sped with their pitch kept.
    bool mute_sped_sound = false;
    double sped_sound_db = DefaultSpedSoundDb;
    // Marker timecodes of 29.97 and 59.94 fps reels as drop-frame labels.
    bool drop_frame_markers = false;

    static QString defaultModel(); // "gemini-3.8-flash"
    // The models the dialog offers, the recommended one first.
    static QStringList models();

    static PipelineSettings load();
    // Stores the checked values; false when the settings could not be written.
    bool save() const;
    // A copy with every unusable value replaced by its default.
    PipelineSettings checked() const;

    static double checkedNumber(const QVariant& value, double min, double max, double fallback);
};

} // namespace Tessaryn
