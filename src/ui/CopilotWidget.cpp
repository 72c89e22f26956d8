#include "ui/CopilotWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTime>
#include <QVBoxLayout>

namespace Tessaryn {

namespace {

const QString AssistantName = QStringLiteral("Copilot");
const QString UserName = QStringLiteral("Editor");

const char* const ChipStyle =
    "QPushButton { font-size: 11px; font-weight: 600; padding: 6px 8px; background-color: "
    "#1A1D25; border: 1px solid #2B303C; border-radius: 5px; color: #D0D6E2; min-height: 18px; "
    "} QPushButton:hover { border-color: #D4AF37; color: #F8E7B4; background-color: #242834; } "
    "QPushButton:pressed { background-color: #14161C; }";

void callIfSet(const std::function<void()>& callback) {
    if (callback)
        callback();
}

} // namespace

CopilotWidget::CopilotWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout();
    auto* title = new QLabel(QStringLiteral("AI VIDEO COPILOT"), this);
    title->setStyleSheet(QStringLiteral("font-weight: bold; color: #D4AF37; font-size: 11px;"));
    auto* badge = new QLabel(QStringLiteral("Gemini 3.8 Flash"), this);
    modelBadge = badge;
    badge->setStyleSheet(
        QStringLiteral("background-color: #242938; color: #64B5F6; border-radius: 4px; padding: "
                       "2px 6px; font-size: 10px; font-weight: 600;"));
    header->addWidget(title);
    header->addStretch();
    header->addWidget(badge);
    layout->addLayout(header);

    log = new QTextBrowser(this);
    // Clicking a link must neither leave the application nor replace the log's contents.
    log->setOpenExternalLinks(false);
    log->setOpenLinks(false);
    log->setStyleSheet(QStringLiteral("background-color: #17191F; border: 1px solid #282C37; "
                                      "border-radius: 6px; padding: 8px;"));
    layout->addWidget(log, 1);

    auto* chips = new QGridLayout();
    chips->setSpacing(6);
    chips->setContentsMargins(0, 2, 0, 2);
    const auto addChip = [this, chips](const QString& text, int row, int column,
                                       void (CopilotWidget::*handler)()) {
        auto* chip = new QPushButton(text, this);
        chip->setStyleSheet(QString::fromLatin1(ChipStyle));
        chips->addWidget(chip, row, column);
        connect(chip, &QPushButton::clicked, this, handler);
    };
    addChip(QStringLiteral("⚡ Analyze All"), 0, 0, &CopilotWidget::onChipBatchAnalyze);
    addChip(QStringLiteral("🎬 Render All"), 0, 1, &CopilotWidget::onChipBatchRender);
    addChip(QStringLiteral("🏷 Export Markers"), 1, 0, &CopilotWidget::onChipExportMarkers);
    addChip(QStringLiteral("🏆 Release Film"), 1, 1, &CopilotWidget::onChipStitch);
    layout->addLayout(chips);

    auto* inputRow = new QHBoxLayout();
    input = new QLineEdit(this);
    input->setPlaceholderText(QStringLiteral("Ask AI video copilot or give editing prompt..."));
    sendButton = new QPushButton(QStringLiteral("Send"), this);
    sendButton->setObjectName(QStringLiteral("goldButton"));
    sendButton->setMinimumWidth(68);
    inputRow->addWidget(input, 1);
    inputRow->addWidget(sendButton);
    layout->addLayout(inputRow);

    connect(sendButton, &QPushButton::clicked, this, &CopilotWidget::onSendClicked);
    connect(input, &QLineEdit::returnPressed, this, &CopilotWidget::onSendClicked);

    addSystemNotice(
        QStringLiteral("Tessaryn initialized. Connected to Gemini AI video editing engine."));
    addMessage(AssistantName,
               QStringLiteral("Welcome to <b>Tessaryn</b> (Tessaryn). I am standing by to analyze "
                              "your raw video footage, detect key scene milestones, speed-ramp "
                              "repetitive segments, excise idle pauses, and generate timeline "
                              "markers & subtitles."),
               true);
}

void CopilotWidget::addMessage(const QString& sender, const QString& html, bool fromAssistant) {
    // One multi-argument pass: a "%" inside the message is never re-expanded.
    appendAligned(QStringLiteral("<div style='margin-bottom: 10px;'><span style='color: %1; "
                                 "font-weight: bold;'>%2</span> <span style='color: #606573; "
                                 "font-size: 10px;'>%3</span><br><div style='color: #E2E2E2; "
                                 "margin-top: 3px; line-height: 1.3;'>%4</div></div>")
                      .arg(fromAssistant ? QStringLiteral("#D4AF37") : QStringLiteral("#64B5F6"),
                           sender.toHtmlEscaped(),
                           QTime::currentTime().toString(QStringLiteral("HH:mm")), html),
                  Qt::AlignLeft);
}

void CopilotWidget::addSystemNotice(const QString& text) {
    // Notices carry names and paths from outside; they are text, never markup.
    appendAligned(QStringLiteral("<div style='margin-bottom: 8px; text-align: center; color: "
                                 "#8A909E; font-size: 11px; font-style: italic;'>— %1 —</div>")
                      .arg(text.toHtmlEscaped()),
                  Qt::AlignHCenter);
}

void CopilotWidget::appendAligned(const QString& html, Qt::Alignment alignment) {
    QTextDocument* doc = log->document();
    const int firstNewBlock = doc->isEmpty() ? 0 : doc->blockCount();
    log->append(html);
    // The importer honours a div's centring only in an empty log and otherwise lets a block
    // inherit its predecessor's alignment, so every block is aligned here explicitly.
    QTextBlockFormat format;
    format.setAlignment(alignment);
    for (QTextBlock block = doc->findBlockByNumber(firstNewBlock); block.isValid();
         block = block.next())
        QTextCursor(block).mergeBlockFormat(format);
}

void CopilotWidget::setModelName(const QString& displayName) {
    modelBadge->setText(displayName);
}

void CopilotWidget::setEditParameters(double speed, double pauseSeconds) {
    repetitiveSpeed = speed;
    minimumPause = pauseSeconds;
}

void CopilotWidget::onSendClicked() {
    const QString text = input->text().trimmed();
    if (text.isEmpty())
        return;
    input->clear();
    // The user's own prompt is echoed as typed, markup included.
    addMessage(UserName, text, false);
    const QString lowered = text.toLower();
    if (lowered.contains(QLatin1String("pause")) || lowered.contains(QLatin1String("speed"))) {
        addMessage(AssistantName,
                   QStringLiteral("Current editing parameters are configured to:<br>• Speed-ramp "
                                  "repetitive segments: <b>%1x</b><br>• Excise pauses longer "
                                  "than: <b>%2s</b><br>You can adjust these values in <b>File > "
                                  "Project Settings & Credentials</b>.")
                       .arg(QString::number(repetitiveSpeed, 'f', 1),
                            QString::number(minimumPause, 'f', 1)),
                   true);
    } else if (!runRequest(text)) {
        addMessage(AssistantName,
                   QStringLiteral("I can run these requests: <b>analyze</b> or <b>render</b> a "
                                  "reel by name (or <b>all</b>), <b>status</b> of a reel, "
                                  "<b>export markers</b>, <b>export subtitles</b> and "
                                  "<b>stitch</b>; and I answer about pause and speed settings. "
                                  "Other requests are not supported yet."),
                   true);
    }
}

bool CopilotWidget::runRequest(const QString& text) {
    const QString lowered = text.simplified().toLower();
    const auto run = [this](const std::function<void()>& callback) {
        if (callback)
            callback();
        return true;
    };
    if (lowered == QLatin1String("stitch") || lowered.startsWith(QLatin1String("stitch ")))
        return run(stitchCallback);
    if (lowered.startsWith(QLatin1String("export marker")))
        return run(exportMarkersCallback);
    if (lowered.startsWith(QLatin1String("export subtitle")))
        return run(exportSubtitlesCallback);
    const QString verb = lowered.section(QLatin1Char(' '), 0, 0);
    const QString target = text.simplified().section(QLatin1Char(' '), 1);
    if (target.isEmpty())
        return false;
    const bool all = target.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0;
    if ((verb == QLatin1String("analyze") || verb == QLatin1String("analyse")) && all)
        return run(batchAnalyzeCallback);
    if (verb == QLatin1String("render") && all)
        return run(batchRenderCallback);
    const QString canonical = verb == QLatin1String("analyse") ? QStringLiteral("analyze") : verb;
    if (canonical != QLatin1String("analyze") && canonical != QLatin1String("render") &&
        canonical != QLatin1String("status"))
        return false;
    if (reelRequestCallback)
        reelRequestCallback(canonical, target);
    return true;
}

void CopilotWidget::onChipBatchAnalyze() {
    addMessage(UserName, QStringLiteral("Analyze all pending footage"), false);
    callIfSet(batchAnalyzeCallback);
}

void CopilotWidget::onChipBatchRender() {
    addMessage(UserName, QStringLiteral("Render all analyzed clips"), false);
    callIfSet(batchRenderCallback);
}

void CopilotWidget::onChipExportMarkers() {
    addMessage(UserName, QStringLiteral("Export DaVinci Resolve markers and SRT subtitles"), false);
    callIfSet(exportMarkersCallback);
    callIfSet(exportSubtitlesCallback);
}

void CopilotWidget::onChipStitch() {
    addMessage(UserName, QStringLiteral("Assemble and stitch master release film"), false);
    callIfSet(stitchCallback);
}

} // namespace Tessaryn
