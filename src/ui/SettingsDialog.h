#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Tessaryn {

class PipelineSettings;

// Edits the Gemini API key and the pipeline choices (model, assembly speed, minimum pause, sound
// of the cuts, drop-frame markers) and reports whether ffmpeg can be found. Opens with the saved
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

private:
    enum class SoundChoice { PitchKept, Muted, Off };
    void addSoundRows(QFormLayout* form, const PipelineSettings& saved, QWidget* parent);
    void applySoundChoices(PipelineSettings& values) const;
    void warn(const QString& title, const QString& text);

    QLineEdit* apiKeyEdit = nullptr;
    QPushButton* echoToggleButton = nullptr;
    QLabel* keyStatusLabel = nullptr;
    QComboBox* modelCombo = nullptr;
    QDoubleSpinBox* speedSpin = nullptr;
    QDoubleSpinBox* minPauseSpin = nullptr;
    QComboBox* soundCombo = nullptr;
    QDoubleSpinBox* spedDbSpin = nullptr;
    QCheckBox* dropFrameCheck = nullptr;
    QLabel* ffmpegStatusLabel = nullptr;
    QString loadedKey; // the key found on opening: saving it again stores nothing
};

} // namespace Tessaryn
