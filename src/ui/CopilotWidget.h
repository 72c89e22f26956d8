#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace Tessaryn {

// The chat-style log in which the application narrates its work, four quick-action chips that
// call back into the owner, and a prompt field that runs the few requests it understands and
// says plainly that others are not supported.
class CopilotWidget : public QWidget {
public:
    std::function<void()> batchAnalyzeCallback;
    std::function<void()> batchRenderCallback;
    std::function<void()> exportMarkersCallback;
    std::function<void()> exportSubtitlesCallback;
    std::function<void()> stitchCallback;
    // A typed request about one reel: verb is "analyze", "render" or "status".
    std::function<void(const QString& verb, const QString& reelName)> reelRequestCallback;

    explicit CopilotWidget(QWidget* parent = nullptr);

    // html is inserted as markup: the caller escapes every outside value it puts into it.
    void addMessage(const QString& sender, const QString& html, bool fromAssistant);
    // text is plain text and is shown literally.
    void addSystemNotice(const QString& text);
    // The values the parameters reply quotes: the ones the next analysis will use.
    void setEditParameters(double speed, double pauseSeconds);
    // The model the badge names: the one the next analysis will use.
    void setModelName(const QString& displayName);

    void onSendClicked();
    void onChipBatchAnalyze();
    void onChipBatchRender();
    void onChipExportMarkers();
    void onChipStitch();

private:
    // Runs a typed request it understands; false for any other text.
    bool runRequest(const QString& text);
    void appendAligned(const QString& html, Qt::Alignment alignment);

    double repetitiveSpeed = 10.0;
    double minimumPause = 2.0;
    QTextBrowser* log = nullptr;
    QLabel* modelBadge = nullptr;
    QLineEdit* input = nullptr;
    QPushButton* sendButton = nullptr;
};

} // namespace Tessaryn
