#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QDoubleSpinBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Tessaryn {

class GeminiModelList;

class PipelineSettings;

// Edits the Gemini API key and the pipeline choices (analyzer, model, assembly speed, minimum
// pause, local measurement thresholds, sound of the cuts, drop-frame markers) and reports
// whether ffmpeg can be found. Opens with the saved
// values; "Save Settings" stores a changed key and the pipeline choices and closes only when
// both were stored.
class SettingsDialog : public QDialog {
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    QString selectedModel() const;
    double speedFactor() const;
    double minPauseSeconds() const;

    void onToggleApiKeyEcho();
    void onTestFfmpeg();
    void onSaveClicked();
    // Asks the service which models the key in the field may use and offers those.
    void onListModelsClicked();

private:
    enum class SoundChoice { PitchKept, Muted, Off };
    void addSoundRows(QFormLayout* form, const PipelineSettings& saved, QWidget* parent);
    void applySoundChoices(PipelineSettings& values) const;
    void warn(const QString& title, const QString& text);
    void fillModels(const QString& selected);
    void onModelsListed(bool success, const QStringList& models, const QString& error);

    QLineEdit* apiKeyEdit = nullptr;
    QPushButton* echoToggleButton = nullptr;
    QLabel* keyStatusLabel = nullptr;
    QComboBox* analyzerCombo = nullptr;
    QDoubleSpinBox* steadySpin = nullptr;
    QDoubleSpinBox* sceneSpin = nullptr;
    QCheckBox* quietCheck = nullptr;
    QComboBox* modelCombo = nullptr;
    QPushButton* listModelsButton = nullptr;
    QLabel* modelsStatusLabel = nullptr;
    GeminiModelList* modelList = nullptr;
    QDoubleSpinBox* speedSpin = nullptr;
    QDoubleSpinBox* minPauseSpin = nullptr;
    QComboBox* soundCombo = nullptr;
    QDoubleSpinBox* spedDbSpin = nullptr;
    QCheckBox* dropFrameCheck = nullptr;
    QSpinBox* recordStartSpin = nullptr;
    QLabel* ffmpegStatusLabel = nullptr;
    QString loadedKey; // the key found on opening: saving it again stores nothing
};

} // namespace Tessaryn
