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
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace Tessaryn
