#include "app/PipelineSettings.h"

#include "app/AppInfo.h"

#include <QSettings>
#include <QVariant>

namespace Tessaryn {

namespace {

const char* const ModelKey = "pipeline/model";
const char* const SpeedKey = "pipeline/assembly_speed";
const char* const PauseKey = "pipeline/minimum_pause";
const char* const AnalyzerKey = "pipeline/analyzer";
const char* const SteadyKey = "pipeline/steady_span";
const char* const SceneKey = "pipeline/scene_threshold";
const char* const QuietKey = "pipeline/pause_needs_quiet";
const char* const OfferedKey = "pipeline/offered_models";
const char* const SoundKey = "render/sound";
const char* const MuteSpedKey = "render/mute_sped_sound";
const char* const SpedDbKey = "render/sped_sound_db";
const char* const DropFrameKey = "markers/drop_frame";
const char* const RecordStartKey = "markers/record_start_hour";

// Anything but a stored boolean reads as the default.
bool checkedFlag(const QVariant& value, bool fallback) {
    if (!value.isValid())
        return fallback;
    const QString text = value.toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return fallback;
}

} // namespace

QString PipelineSettings::defaultModel() {
    return QStringLiteral("gemini-3.8-flash");
}

QString PipelineSettings::defaultAnalyzer() {
    return QStringLiteral("gemini");
}

QStringList PipelineSettings::analyzers() {
    return {defaultAnalyzer(), QStringLiteral("local"), QStringLiteral("hybrid")};
}

QString PipelineSettings::displayName(const QString& model) {
    QStringList words = model.trimmed().split(QLatin1Char('-'), Qt::SkipEmptyParts);
    for (QString& word : words)
        word[0] = word[0].toUpper();
    return words.join(QLatin1Char(' '));
}

QStringList PipelineSettings::models() {
    const QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    const QStringList listed = store.value(OfferedKey).toStringList();
    if (listed.isEmpty())
        return {defaultModel(), QStringLiteral("gemini-2.5-flash")};
    QStringList out{defaultModel()};
    for (const QString& model : listed) {
        if (!out.contains(model))
            out << model;
    }
    return out;
}

bool PipelineSettings::setOfferedModels(const QStringList& listed) {
    QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    store.setValue(OfferedKey, listed);
    store.sync();
    return store.status() == QSettings::NoError;
}

double PipelineSettings::checkedNumber(const QVariant& value, double min, double max,
                                       double fallback) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    // Written so that NaN fails the range test too.
    return ok && number >= min && number <= max ? number : fallback;
}

PipelineSettings PipelineSettings::checked() const {
    PipelineSettings out;
    if (models().contains(model))
        out.model = model;
    out.assembly_speed = checkedNumber(assembly_speed, MinSpeed, MaxSpeed, DefaultSpeed);
    out.minimum_pause = checkedNumber(minimum_pause, MinPause, MaxPause, DefaultMinPause);
    if (analyzers().contains(analyzer))
        out.analyzer = analyzer;
    out.steady_span = checkedNumber(steady_span, MinSteadySpan, MaxSteadySpan, DefaultSteadySpan);
    out.scene_threshold = checkedNumber(scene_threshold, 1.0, 100.0, DefaultSceneThreshold);
    out.pause_needs_quiet = pause_needs_quiet;
    out.sound_enabled = sound_enabled;
    out.mute_sped_sound = mute_sped_sound;
    out.sped_sound_db =
        checkedNumber(sped_sound_db, MinSpedSoundDb, MaxSpedSoundDb, DefaultSpedSoundDb);
    out.drop_frame_markers = drop_frame_markers;
    out.record_start_hour =
        int(checkedNumber(record_start_hour, 0, MaxRecordStartHour, DefaultRecordStartHour));
    return out;
}

PipelineSettings PipelineSettings::load() {
    const QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    PipelineSettings out;
    out.model = store.value(ModelKey).toString();
    out.assembly_speed = checkedNumber(store.value(SpeedKey), MinSpeed, MaxSpeed, DefaultSpeed);
    out.minimum_pause = checkedNumber(store.value(PauseKey), MinPause, MaxPause, DefaultMinPause);
    out.analyzer = store.value(AnalyzerKey).toString();
    out.steady_span =
        checkedNumber(store.value(SteadyKey), MinSteadySpan, MaxSteadySpan, DefaultSteadySpan);
    out.scene_threshold = checkedNumber(store.value(SceneKey), 1.0, 100.0, DefaultSceneThreshold);
    out.pause_needs_quiet = store.value(QuietKey, false).toBool();
    out.sound_enabled = checkedFlag(store.value(SoundKey), true);
    out.mute_sped_sound = checkedFlag(store.value(MuteSpedKey), false);
    out.sped_sound_db =
        checkedNumber(store.value(SpedDbKey), MinSpedSoundDb, MaxSpedSoundDb, DefaultSpedSoundDb);
    out.drop_frame_markers = checkedFlag(store.value(DropFrameKey), false);
    out.record_start_hour = int(
        checkedNumber(store.value(RecordStartKey), 0, MaxRecordStartHour, DefaultRecordStartHour));
    return out.checked();
}

bool PipelineSettings::save() const {
    const PipelineSettings values = checked();
    QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    store.setValue(ModelKey, values.model);
    store.setValue(SpeedKey, values.assembly_speed);
    store.setValue(PauseKey, values.minimum_pause);
    store.setValue(AnalyzerKey, values.analyzer);
    store.setValue(SteadyKey, values.steady_span);
    store.setValue(SceneKey, values.scene_threshold);
    store.setValue(QuietKey, values.pause_needs_quiet);
    store.setValue(SoundKey, values.sound_enabled);
    store.setValue(MuteSpedKey, values.mute_sped_sound);
    store.setValue(SpedDbKey, values.sped_sound_db);
    store.setValue(DropFrameKey, values.drop_frame_markers);
    store.setValue(RecordStartKey, values.record_start_hour);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace Tessaryn
