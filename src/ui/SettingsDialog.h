#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Tessaryn {

// Edits the Gemini API key and the pipeline choices (model, assembly speed, minimum pause) and
// reports whether ffmpeg can be found. Opens with the saved values; "Save Settings" stores a
// changed key and the pipeline choices and closes only when both were stored.
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
    void warn(const QString& title, const QString& text);

    QLineEdit* apiKeyEdit = nullptr;
    QPushButton* echoToggleButton = nullptr;
    QLabel* keyStatusLabel = nullptr;
    QComboBox* analyzerCombo = nullptr;
    QDoubleSpinBox* steadySpin = nullptr;
    QDoubleSpinBox* sceneSpin = nullptr;
    QCheckBox* quietCheck = nullptr;
    QComboBox* modelCombo = nullptr;
    QDoubleSpinBox* speedSpin = nullptr;
    QDoubleSpinBox* minPauseSpin = nullptr;
    QLabel* ffmpegStatusLabel = nullptr;
    QString loadedKey; // the key found on opening: saving it again stores nothing
};

} // namespace Tessaryn
