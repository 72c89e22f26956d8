#include "ui/SettingsDialog.h"

#include "ai/GeminiModelList.h"
#include "app/Credentials.h"
#include "app/PipelineSettings.h"
#include "media/FFmpegEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace Tessaryn {

namespace {

const QString Green = QStringLiteral("color: #2ECC71; font-size: 11px;");
const QString Red = QStringLiteral("color: #E74C3C; font-size: 11px;");
const QString Bold = QStringLiteral(" font-weight: 600;");

// The label names the store this machine offers, where a new key goes.
QString storeLabel(Credentials::Source store) {
    switch (store) {
    case Credentials::Source::SecretService:
        return QStringLiteral("Gemini API Key (Stored securely in the system keyring):");
    case Credentials::Source::File:
        return QStringLiteral("Gemini API Key (Stored in a private local file; no system "
                              "keyring available):");
    default:
        return QStringLiteral("Gemini API Key (Stored securely in Windows Credential Vault):");
    }
}

// The status names where the key in use actually comes from.
QString keyStatus(Credentials::Source source) {
    switch (source) {
    case Credentials::Source::None:
        return QStringLiteral("● Status: No API Key Configured");
    case Credentials::Source::CredentialManager:
        return QStringLiteral("● Status: Secured in Windows Credential Manager");
    case Credentials::Source::SecretService:
        return QStringLiteral("● Status: Secured in the system keyring");
    case Credentials::Source::File:
        return QStringLiteral("● Status: Stored in a local file (no system keyring available)");
    case Credentials::Source::Environment:
        return QStringLiteral("● Status: Read from the GEMINI_API_KEY environment variable");
    case Credentials::Source::DotEnv:
        return QStringLiteral("● Status: Read from a .env file");
    }
    return QString();
}

QString storeName(Credentials::Source store) {
    switch (store) {
    case Credentials::Source::SecretService:
        return QStringLiteral("the system keyring");
    case Credentials::Source::File:
        return QStringLiteral("the local credentials file");
    default:
        return QStringLiteral("the Windows Credential Manager");
    }
}

QDoubleSpinBox* spinBox(double min, double max, double value, const QString& suffix,
                        QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setRange(min, max);
    spin->setValue(value);
    spin->setSuffix(suffix);
    spin->setMinimumWidth(120);
    return spin;
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tessaryn — Settings & Credentials"));
    // Wide rather than tall, so that it fits a 1280x720 screen with every choice shown.
    resize(960, 560);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->setContentsMargins(20, 20, 20, 20);

    auto* vault = new QGroupBox(QStringLiteral("GOOGLE GEMINI CREDENTIAL VAULT"), this);
    auto* vaultLayout = new QVBoxLayout(vault);
    vaultLayout->setSpacing(8);
    vaultLayout->addWidget(new QLabel(storeLabel(Credentials::getSecretStoreKind()), vault));
    auto* keyRow = new QHBoxLayout();
    keyRow->setSpacing(8);
    loadedKey = Credentials::getApiKey();
    apiKeyEdit = new QLineEdit(loadedKey, vault);
    apiKeyEdit->setEchoMode(QLineEdit::Password);
    echoToggleButton = new QPushButton(QStringLiteral("Show"), vault);
    echoToggleButton->setMinimumWidth(70);
    keyRow->addWidget(apiKeyEdit, 1);
    keyRow->addWidget(echoToggleButton);
    vaultLayout->addLayout(keyRow);
    const Credentials::Source source = Credentials::getApiKeySource();
    keyStatusLabel = new QLabel(keyStatus(source), vault);
    keyStatusLabel->setStyleSheet((source == Credentials::Source::None ? Red : Green) + Bold);
    vaultLayout->addWidget(keyStatusLabel);
    layout->addWidget(vault);

    const PipelineSettings saved = PipelineSettings::load();
    auto* pipeline =
        new QGroupBox(QStringLiteral("AI PIPELINE && SPEED-RAMPING"), this); // "&&" shows "&"
    auto* form = new QFormLayout(pipeline);
    form->setSpacing(12);
    form->setLabelAlignment(Qt::AlignLeft);
    modelCombo = new QComboBox(pipeline);
    fillModels(saved.model);
    listModelsButton = new QPushButton(QStringLiteral("List Models for This Key"), pipeline);
    modelsStatusLabel = new QLabel(pipeline);
    modelsStatusLabel->setTextFormat(Qt::PlainText); // the service's words
    modelsStatusLabel->setWordWrap(true);
    modelList = new GeminiModelList(this);
    modelList->finishedCallback = [this](bool ok, const QStringList& models, const QString& error) {
        onModelsListed(ok, models, error);
    };
    speedSpin = spinBox(PipelineSettings::MinSpeed, PipelineSettings::MaxSpeed,
                        saved.assembly_speed, QStringLiteral("x"), pipeline);
    minPauseSpin = spinBox(PipelineSettings::MinPause, PipelineSettings::MaxPause,
                           saved.minimum_pause, QStringLiteral(" s"), pipeline);
    analyzerCombo = new QComboBox(pipeline);
    analyzerCombo->addItem(QStringLiteral("Gemini (uploads the clip)"), QStringLiteral("gemini"));
    analyzerCombo->addItem(QStringLiteral("Local (this machine, no key)"), QStringLiteral("local"));
    analyzerCombo->addItem(QStringLiteral("Hybrid (Gemini on measured boundaries)"),
                           QStringLiteral("hybrid"));
    analyzerCombo->setCurrentIndex(std::max(0, analyzerCombo->findData(saved.analyzer)));
    steadySpin = spinBox(PipelineSettings::MinSteadySpan, PipelineSettings::MaxSteadySpan,
                         saved.steady_span, QStringLiteral(" s"), pipeline);
    steadySpin->setToolTip(QStringLiteral("Local analysis: activity without a scene change for "
                                          "this long counts as repetitive work."));
    form->addRow(QStringLiteral("Analyzer:"), analyzerCombo);
    form->addRow(QStringLiteral("Default AI Model:"), modelCombo);
    form->addRow(QString(), listModelsButton);
    form->addRow(QString(), modelsStatusLabel);
    form->addRow(QStringLiteral("Assembly Speed Multiplier:"), speedSpin);
    form->addRow(QStringLiteral("Minimum Pause Duration:"), minPauseSpin);
    sceneSpin = spinBox(1.0, 100.0, saved.scene_threshold, QString(), pipeline);
    sceneSpin->setToolTip(QStringLiteral("Local analysis: how strong a change of picture counts "
                                         "as a new scene (0 to 100; lower finds more)."));
    quietCheck = new QCheckBox(QStringLiteral("A pause must also be quiet"), pipeline);
    quietCheck->setChecked(saved.pause_needs_quiet);
    auto* local = new QGroupBox(QStringLiteral("LOCAL ANALYSIS && SOUND"), this);
    auto* localForm = new QFormLayout(local);
    localForm->setSpacing(12);
    localForm->setLabelAlignment(Qt::AlignLeft);
    localForm->addRow(QStringLiteral("Steady Work After:"), steadySpin);
    localForm->addRow(QStringLiteral("Scene Change Threshold:"), sceneSpin);
    localForm->addRow(QString(), quietCheck);
    addSoundRows(localForm, saved, local);
    auto* columns = new QHBoxLayout();
    columns->setSpacing(16);
    columns->addWidget(pipeline, 1);
    columns->addWidget(local, 1);
    layout->addLayout(columns);

    auto* engine = new QGroupBox(QStringLiteral("FFMPEG VIDEO ENGINE"), this);
    auto* engineRow = new QHBoxLayout(engine);
    engineRow->setSpacing(10);
    ffmpegStatusLabel = new QLabel(engine);
    ffmpegStatusLabel->setTextFormat(Qt::PlainText); // the path is outside text
    ffmpegStatusLabel->setWordWrap(true);
    const QString ffmpegPath = FFmpegEngine::findFFmpeg();
    // Rich text made from the plain path, so that the tip shows it literally.
    ffmpegStatusLabel->setToolTip(Qt::convertFromPlainText(ffmpegPath, Qt::WhiteSpaceNoWrap));
    if (FFmpegEngine::isAvailable()) {
        ffmpegStatusLabel->setText(QStringLiteral("FFmpeg Ready: %1").arg(ffmpegPath));
        ffmpegStatusLabel->setStyleSheet(Green + Bold);
    } else {
        ffmpegStatusLabel->setText(QStringLiteral("FFmpeg not detected in PATH"));
        ffmpegStatusLabel->setStyleSheet(Red + Bold);
    }
    auto* verifyButton = new QPushButton(QStringLiteral("Verify"), engine);
    verifyButton->setMinimumWidth(80);
    engineRow->addWidget(ffmpegStatusLabel, 1);
    engineRow->addWidget(verifyButton);
    layout->addWidget(engine);

    auto* buttons = new QHBoxLayout();
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setMinimumWidth(80);
    auto* saveButton = new QPushButton(QStringLiteral("Save Settings"), this);
    saveButton->setObjectName(QStringLiteral("goldButton"));
    saveButton->setMinimumWidth(125);
    saveButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(saveButton);
    layout->addLayout(buttons);

    connect(echoToggleButton, &QPushButton::clicked, this, [this] { onToggleApiKeyEcho(); });
    connect(verifyButton, &QPushButton::clicked, this, [this] { onTestFfmpeg(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { onSaveClicked(); });
    connect(listModelsButton, &QPushButton::clicked, this, [this] { onListModelsClicked(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::fillModels(const QString& selected) {
    modelCombo->clear();
    for (const QString& model : PipelineSettings::models())
        modelCombo->addItem(model == PipelineSettings::defaultModel()
                                ? model + QStringLiteral(" (Recommended)")
                                : model,
                            model);
    modelCombo->setCurrentIndex(std::max(0, modelCombo->findData(selected)));
}

void SettingsDialog::onListModelsClicked() {
    const QString key = apiKeyEdit->text().trimmed();
    if (key.isEmpty()) {
        modelsStatusLabel->setText(QStringLiteral("Enter an API key first."));
        return;
    }
    listModelsButton->setEnabled(false);
    modelsStatusLabel->setText(QStringLiteral("Asking Gemini which models this key can use..."));
    modelList->fetch(key);
}

void SettingsDialog::onModelsListed(bool success, const QStringList& models, const QString& error) {
    listModelsButton->setEnabled(true);
    if (!success) {
        modelsStatusLabel->setText(
            QStringLiteral("Could not list the models: %1 The list above is unchanged.")
                .arg(error));
        return;
    }
    PipelineSettings::setOfferedModels(models);
    fillModels(selectedModel());
    modelsStatusLabel->setText(
        QStringLiteral("%1 models are available to this key.").arg(models.size()));
}

QString SettingsDialog::selectedModel() const {
    return modelCombo->currentData(Qt::UserRole).toString();
}

double SettingsDialog::speedFactor() const {
    return speedSpin->value();
}

void SettingsDialog::addSoundRows(QFormLayout* form, const PipelineSettings& saved,
                                  QWidget* parent) {
    soundCombo = new QComboBox(parent);
    soundCombo->addItem(QStringLiteral("Sped up, pitch kept"), int(SoundChoice::PitchKept));
    soundCombo->addItem(QStringLiteral("Muted in sped-up parts"), int(SoundChoice::Muted));
    soundCombo->addItem(QStringLiteral("Off"), int(SoundChoice::Off));
    const SoundChoice choice = !saved.sound_enabled    ? SoundChoice::Off
                               : saved.mute_sped_sound ? SoundChoice::Muted
                                                       : SoundChoice::PitchKept;
    soundCombo->setCurrentIndex(std::max(0, soundCombo->findData(int(choice))));
    spedDbSpin = spinBox(PipelineSettings::MinSpedSoundDb, PipelineSettings::MaxSpedSoundDb,
                         saved.sped_sound_db, QStringLiteral(" dB"), parent);
    dropFrameCheck =
        new QCheckBox(QStringLiteral("Drop-frame timecode at 29.97 and 59.94 fps"), parent);
    dropFrameCheck->setChecked(saved.drop_frame_markers);
    recordStartSpin = new QSpinBox(parent);
    recordStartSpin->setRange(0, PipelineSettings::MaxRecordStartHour);
    recordStartSpin->setValue(saved.record_start_hour);
    recordStartSpin->setPrefix(QStringLiteral("hour "));
    form->addRow(QStringLiteral("Sound:"), soundCombo);
    form->addRow(QStringLiteral("Sped-up Sound Level:"), spedDbSpin);
    form->addRow(QStringLiteral("Markers:"), dropFrameCheck);
    form->addRow(QStringLiteral("Marker EDL Record Start:"), recordStartSpin);
}

void SettingsDialog::applySoundChoices(PipelineSettings& values) const {
    const auto choice = static_cast<SoundChoice>(soundCombo->currentData().toInt());
    values.sound_enabled = choice != SoundChoice::Off;
    values.mute_sped_sound = choice == SoundChoice::Muted;
    values.sped_sound_db = spedDbSpin->value();
    values.drop_frame_markers = dropFrameCheck->isChecked();
    values.record_start_hour = recordStartSpin->value();
}

double SettingsDialog::minPauseSeconds() const {
    return minPauseSpin->value();
}

void SettingsDialog::onToggleApiKeyEcho() {
    const bool masked = apiKeyEdit->echoMode() == QLineEdit::Password;
    apiKeyEdit->setEchoMode(masked ? QLineEdit::Normal : QLineEdit::Password);
    echoToggleButton->setText(masked ? QStringLiteral("Hide") : QStringLiteral("Show"));
}

void SettingsDialog::onTestFfmpeg() {
    if (FFmpegEngine::isAvailable()) {
        ffmpegStatusLabel->setText(QStringLiteral("FFmpeg Ready: ") + FFmpegEngine::findFFmpeg());
        ffmpegStatusLabel->setStyleSheet(Green);
        QMessageBox::information(this, QStringLiteral("FFmpeg Status"),
                                 QStringLiteral("FFmpeg video engine verified and operational."));
    } else {
        ffmpegStatusLabel->setText(QStringLiteral("FFmpeg not found"));
        ffmpegStatusLabel->setStyleSheet(Red);
        QMessageBox::warning(
            this, QStringLiteral("FFmpeg Missing"),
            QStringLiteral(
                "FFmpeg executable could not be found in PATH or standard directories."));
    }
}

void SettingsDialog::warn(const QString& title, const QString& text) {
    QMessageBox::warning(this, title, text);
}

void SettingsDialog::onSaveClicked() {
    // A blank field never deletes a key, and the key found on opening is not stored again: one
    // read from the environment or a .env file stays out of the store.
    const QString key = apiKeyEdit->text().trimmed();
    if (!key.isEmpty() && key != loadedKey) {
        if (!Credentials::setApiKey(key)) {
            warn(QStringLiteral("API Key Not Saved"),
                 QStringLiteral("The API key could not be stored in %1. Unlock it or check its "
                                "permissions, then save again.")
                     .arg(storeName(Credentials::getSecretStoreKind())));
            return;
        }
        loadedKey = key;
    }
    // Starts from what is stored, so settings this dialog does not show are kept.
    PipelineSettings values = PipelineSettings::load();
    values.analyzer = analyzerCombo->currentData().toString();
    values.steady_span = steadySpin->value();
    values.scene_threshold = sceneSpin->value();
    values.pause_needs_quiet = quietCheck->isChecked();
    values.model = selectedModel();
    values.assembly_speed = speedFactor();
    values.minimum_pause = minPauseSeconds();
    applySoundChoices(values);
    if (!values.save()) {
        warn(QStringLiteral("Settings Not Saved"),
             QStringLiteral("The pipeline settings could not be written to the application's "
                            "settings file."));
        return;
    }
    accept();
}

} // namespace Tessaryn
