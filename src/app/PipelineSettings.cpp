#include "app/PipelineSettings.h"

#include "app/AppInfo.h"

#include <QSettings>
#include <QVariant>

namespace Tessaryn {

namespace {

const char* const ModelKey = "pipeline/model";
const char* const SpeedKey = "pipeline/assembly_speed";
const char* const PauseKey = "pipeline/minimum_pause";
const char* const SoundKey = "render/sound";
const char* const MuteSpedKey = "render/mute_sped_sound";
const char* const SpedDbKey = "render/sped_sound_db";
const char* const DropFrameKey = "markers/drop_frame";

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

QStringList PipelineSettings::models() {
    return {defaultModel(), QStringLiteral("gemini-2.5-flash")};
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
    out.sound_enabled = sound_enabled;
    out.mute_sped_sound = mute_sped_sound;
    out.sped_sound_db =
        checkedNumber(sped_sound_db, MinSpedSoundDb, MaxSpedSoundDb, DefaultSpedSoundDb);
    out.drop_frame_markers = drop_frame_markers;
    return out;
}

PipelineSettings PipelineSettings::load() {
    const QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    PipelineSettings out;
    out.model = store.value(ModelKey).toString();
    out.assembly_speed = checkedNumber(store.value(SpeedKey), MinSpeed, MaxSpeed, DefaultSpeed);
    out.minimum_pause = checkedNumber(store.value(PauseKey), MinPause, MaxPause, DefaultMinPause);
    out.sound_enabled = checkedFlag(store.value(SoundKey), true);
    out.mute_sped_sound = checkedFlag(store.value(MuteSpedKey), false);
    out.sped_sound_db =
        checkedNumber(store.value(SpedDbKey), MinSpedSoundDb, MaxSpedSoundDb, DefaultSpedSoundDb);
    out.drop_frame_markers = checkedFlag(store.value(DropFrameKey), false);
    return out.checked();
}

bool PipelineSettings::save() const {
    const PipelineSettings values = checked();
    QSettings store(AppInfo::organizationName(), AppInfo::applicationName());
    store.setValue(ModelKey, values.model);
    store.setValue(SpeedKey, values.assembly_speed);
    store.setValue(PauseKey, values.minimum_pause);
    store.setValue(SoundKey, values.sound_enabled);
    store.setValue(MuteSpedKey, values.mute_sped_sound);
    store.setValue(SpedDbKey, values.sped_sound_db);
    store.setValue(DropFrameKey, values.drop_frame_markers);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace Tessaryn
