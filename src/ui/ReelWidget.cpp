#include "ui/ReelWidget.h"

#include "app/Config.h"
#include "timeline/TimelineMath.h"
#include "workspace/Workspace.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tessaryn {

namespace {

const QColor StaleColour(0xE6, 0x7E, 0x22);

QString durationText(double seconds) {
    return seconds > 0.0 ? TimelineMath::formatTimecode(seconds, false, 30.0)
                         : QStringLiteral("--:--");
}

QColor statusColor(ReelStatus status) {
    switch (status) {
    case ReelStatus::Analyzing:
    case ReelStatus::Rendering:
        return QColor(0x34, 0x98, 0xDB);
    case ReelStatus::Analyzed:
        return Config::COLOR_GOLD;
    case ReelStatus::Completed:
        return Config::COLOR_ACCENT_GREEN;
    case ReelStatus::Error:
        return Config::COLOR_PAUSE_RED;
    case ReelStatus::Pending:
        break;
    }
    return Config::COLOR_TEXT_MUTED;
}

} // namespace

ReelWidget::ReelWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout();
    auto* title = new QLabel(QStringLiteral("MEDIA REELS"), this);
    title->setStyleSheet(QStringLiteral("font-weight: bold; color: #D4AF37; font-size: 11px;"));
    countLabel = new QLabel(QStringLiteral("0 reels"), this);
    countLabel->setStyleSheet(QStringLiteral("color: #8C92A0; font-size: 11px;"));
    header->addWidget(title);
    header->addStretch();
    header->addWidget(countLabel);
    layout->addLayout(header);

    tree = new QTreeWidget(this);
    tree->setColumnCount(5);
    tree->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Reel Name"),
                           QStringLiteral("Status"), QStringLiteral("Source"),
                           QStringLiteral("Cut")});
    tree->setRootIsDecorated(false);
    tree->setAlternatingRowColors(false);
    // Long names lose their middle, not the take number at their end; the tooltip has them whole.
    tree->setTextElideMode(Qt::ElideMiddle);
    QHeaderView* columns = tree->header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    pages = new QStackedWidget(this);
    pages->addWidget(tree);
    pages->addWidget(buildStartPanel());
    layout->addWidget(pages, 1);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 4, 0, 0);
    buttons->setSpacing(6);
    analyzeButton = new QPushButton(QStringLiteral("⚡ Analyze"), this);
    analyzeButton->setObjectName(QStringLiteral("goldButton"));
    analyzeButton->setEnabled(false);
    renderButton = new QPushButton(QStringLiteral("🎬 Render"), this);
    renderButton->setEnabled(false);
    rescanButton = new QPushButton(QStringLiteral("🔄 Rescan"), this);
    buttons->addWidget(analyzeButton);
    buttons->addWidget(renderButton);
    buttons->addWidget(rescanButton);
    layout->addLayout(buttons);

    // Activation is a double click or Return on the selected row.
    connect(tree, &QTreeWidget::itemActivated, this, &ReelWidget::onItemDoubleClicked);
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &ReelWidget::onItemSelectionChanged);
    connect(analyzeButton, &QPushButton::clicked, this, &ReelWidget::onAnalyzeClicked);
    connect(renderButton, &QPushButton::clicked, this, &ReelWidget::onRenderClicked);
    connect(rescanButton, &QPushButton::clicked, this, &ReelWidget::onRescanClicked);
}

void ReelWidget::setWorkspace(Workspace* newWorkspace) {
    workspace = newWorkspace;
    if (!newWorkspace)
        return;
    // A workspace that outlives the panel finds these closures inert instead of dangling.
    const QPointer<ReelWidget> self(this);
    newWorkspace->onReelsChanged = [self] {
        if (self)
            self->refresh();
    };
    newWorkspace->onReelStatusChanged = [self](int, ReelStatus) {
        if (self)
            self->refresh();
    };
    refresh();
}

void ReelWidget::refresh() {
    // A status change redraws the table: the reel the user picked stays picked.
    const int selected = selectedReelIndex();
    const QString selectedName = workspace && selected >= 0 && selected < workspace->reels.size()
                                     ? workspace->reels.at(selected).name
                                     : QString();
    tree->clear();
    updateStartPanel();
    if (!workspace) {
        countLabel->setText(QStringLiteral("0 reels"));
        return;
    }
    countLabel->setText(QStringLiteral("%1 reels").arg(workspace->reels.size()));

    QList<QTreeWidgetItem*> rows;
    for (int index = 0; index < workspace->reels.size(); ++index) {
        const Reel& reel = workspace->reels.at(index);
        // Stored lengths of older workspaces may be 0: the probed facts or, for a reel never
        // probed, the analysis still know it.
        double source = reel.duration > 0.0 ? reel.duration : reel.facts.duration;
        if (source <= 0.0)
            source = reel.timeline.total_source_duration;
        const bool stale = reel.cutIsStale();
        const QString status =
            stale ? QStringLiteral("%1 (stale)").arg(reel.statusText()) : reel.statusText();
        auto* item = new QTreeWidgetItem({QString::number(index + 1), reel.name, status,
                                          durationText(source),
                                          durationText(reel.timeline.total_edited_duration)});
        item->setData(0, Qt::UserRole, index);
        item->setToolTip(1, reel.name);
        if (stale)
            item->setToolTip(2, QStringLiteral("The cut is older than its timeline, so it is "
                                               "neither previewed nor stitched. Render the reel "
                                               "again to bring it up to date."));
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
        item->setForeground(2, QBrush(stale ? StaleColour : statusColor(reel.status)));
        rows.append(item);
    }
    tree->addTopLevelItems(rows);
    for (QTreeWidgetItem* row : std::as_const(rows)) {
        if (!selectedName.isEmpty() && row->text(1) == selectedName) {
            tree->setCurrentItem(row);
            row->setSelected(true);
        }
    }
    onItemSelectionChanged();
}

QWidget* ReelWidget::buildStartPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(16, 24, 16, 16);
    layout->setSpacing(10);
    startText = new QLabel(panel);
    startText->setWordWrap(true);
    startText->setTextFormat(Qt::PlainText);
    startText->setStyleSheet(QStringLiteral("color: #C9CEDA; font-size: 12px;"));
    auto* create = new QPushButton(QStringLiteral("New Workspace..."), panel);
    create->setObjectName(QStringLiteral("goldButton"));
    auto* open = new QPushButton(QStringLiteral("Open Workspace..."), panel);
    layout->addWidget(startText);
    layout->addWidget(create);
    layout->addWidget(open);
    layout->addStretch(1);
    connect(create, &QPushButton::clicked, this, [this] {
        if (newWorkspaceCallback)
            newWorkspaceCallback();
    });
    connect(open, &QPushButton::clicked, this, [this] {
        if (openWorkspaceCallback)
            openWorkspaceCallback();
    });
    return panel;
}

void ReelWidget::updateStartPanel() {
    QString text;
    if (!workspace || workspace->root_path.isEmpty()) {
        text = QStringLiteral("No workspace is open.\n\nCreate one over a folder of raw footage: "
                              "each clip becomes a reel to analyse, cut and stitch. Or open a "
                              "workspace you made before.");
    } else {
        text = QStringLiteral("This workspace has no reels yet: no clips (.mp4, .mov, .mkv, "
                              ".m4v) were found in %1.\n\nPut clips there and press Rescan, or "
                              "create a workspace over another footage folder.")
                   .arg(QDir::toNativeSeparators(workspace->source_dir));
    }
    // Reels, even of a workspace not saved anywhere, are shown in the table.
    const bool empty = !workspace || workspace->reels.isEmpty();
    startText->setText(empty ? text : QString());
    pages->setCurrentIndex(empty ? 1 : 0);
}

bool ReelWidget::isStartPanelShown() const {
    return pages->currentIndex() == 1;
}

QString ReelWidget::startPanelText() const {
    return isStartPanelShown() ? startText->text() : QString();
}

int ReelWidget::selectedReelIndex() const {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->data(0, Qt::UserRole).toInt();
}

void ReelWidget::onItemDoubleClicked(QTreeWidgetItem* item, int) {
    if (item && reelActivatedCallback)
        reelActivatedCallback(item->data(0, Qt::UserRole).toInt());
}

void ReelWidget::onItemSelectionChanged() {
    const bool hasSelection = selectedReelIndex() >= 0;
    analyzeButton->setEnabled(hasSelection);
    renderButton->setEnabled(hasSelection);
}

void ReelWidget::onAnalyzeClicked() {
    const int index = selectedReelIndex();
    if (index >= 0 && analyzeRequestedCallback)
        analyzeRequestedCallback(index);
}

void ReelWidget::onRenderClicked() {
    const int index = selectedReelIndex();
    if (index >= 0 && renderRequestedCallback)
        renderRequestedCallback(index);
}

void ReelWidget::onRescanClicked() {
    if (rescanRequestedCallback)
        rescanRequestedCallback();
}

} // namespace Tessaryn
