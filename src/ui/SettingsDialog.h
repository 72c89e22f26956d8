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

class GeminiModelList;

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
    // Asks the service which models the key in the field may use and offers those.
    void onListModelsClicked();

private:
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
    QLabel* ffmpegStatusLabel = nullptr;
    QString loadedKey; // the key found on opening: saving it again stores nothing
};

} // namespace Tessaryn
