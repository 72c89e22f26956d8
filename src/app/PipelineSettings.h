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
    static constexpr double DefaultSteadySpan = 20.0;
    static constexpr double MinSteadySpan = 5.0;
    static constexpr double MaxSteadySpan = 600.0;
    static constexpr double DefaultSceneThreshold = 10.0;
    // Level of sped-up sound against the source, in decibels.
    static constexpr double DefaultSpedSoundDb = -12.0;
    static constexpr double MinSpedSoundDb = -40.0;
    static constexpr double MaxSpedSoundDb = 0.0;

    QString model = defaultModel();
    double assembly_speed = DefaultSpeed;
    double minimum_pause = DefaultMinPause;
    // Who analyses: "gemini", "local" (this machine only) or "hybrid" (Gemini's reading on
    // the measured boundaries).
    QString analyzer = defaultAnalyzer();
    // The local measurements: how long steady activity must last to be repetitive work, how
    // strong a picture change is a new scene (0 to 100), and whether a pause must be quiet.
    double steady_span = DefaultSteadySpan;
    double scene_threshold = DefaultSceneThreshold;
    bool pause_needs_quiet = false;
    // Off: cuts and the master have no sound track.
    bool sound_enabled = true;
    // Sped parts silent instead of sped with their pitch kept.
    bool mute_sped_sound = false;
    double sped_sound_db = DefaultSpedSoundDb;
    // Marker timecodes of 29.97 and 59.94 fps reels as drop-frame labels.
    bool drop_frame_markers = false;
    // The hour the record timecode of marker EDLs starts at, 01:00:00:00 by default.
    static constexpr int DefaultRecordStartHour = 1;
    static constexpr int MaxRecordStartHour = 23;
    int record_start_hour = DefaultRecordStartHour;

    static QString defaultModel();    // "gemini-3.8-flash"
    static QString defaultAnalyzer(); // "gemini"
    static QStringList analyzers();
    // The models the dialog offers, the recommended one first: those the service last listed
    // for the key, or a fixed list until it has.
    static QStringList models();
    // Remembers the models the service listed; false when the settings could not be written.
    static bool setOfferedModels(const QStringList& listed);
    // A model's name as people write it: "gemini-2.5-flash" → "Gemini 2.5 Flash".
    static QString displayName(const QString& model);

    static PipelineSettings load();
    // Stores the checked values; false when the settings could not be written.
    bool save() const;
    // A copy with every unusable value replaced by its default.
    PipelineSettings checked() const;

    static double checkedNumber(const QVariant& value, double min, double max, double fallback);
};

} // namespace Tessaryn
