#include "ui/ReleaseDialog.h"

#include "workspace/Workspace.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Tessaryn {

namespace {

QString rowText(const Reel& reel) {
    if (reel.cutIsStale())
        return QStringLiteral("%1   (stale cut: left out until rendered again)").arg(reel.name);
    if (!reel.hasCurrentCut())
        return QStringLiteral("%1   (not rendered yet)").arg(reel.name);
    return reel.name;
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

ReleaseDialog::ReleaseDialog(const Workspace& workspace, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tessaryn — Release Order"));
    resize(520, 460);
    setMinimumSize(420, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(10);

    auto* intro = new QLabel(QStringLiteral("The master film takes the checked reels from top to "
                                            "bottom. Drag a reel or use the buttons to move it; "
                                            "clear its box to leave it out."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    list = new QListWidget(this);
    list->setDragDropMode(QAbstractItemView::InternalMove);
    list->setTextElideMode(Qt::ElideMiddle);
    for (const Reel* reel : workspace.filmOrder()) {
        auto* item = new QListWidgetItem(rowText(*reel), list);
        item->setData(Qt::UserRole, reel->name);
        item->setToolTip(reel->name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(workspace.release_excluded.contains(reel->name) ? Qt::Unchecked
                                                                            : Qt::Checked);
    }
    if (list->count() > 0)
        list->setCurrentRow(0);
    layout->addWidget(list, 1);

    auto* moves = new QHBoxLayout();
    auto* up = button(QStringLiteral("Move Up"), this);
    auto* down = button(QStringLiteral("Move Down"), this);
    auto* natural = button(QStringLiteral("Natural Order"), this);
    natural->setToolTip(QStringLiteral("Sort by name, numbers by their value (Take 9 before "
                                       "Take 10)"));
    moves->addWidget(up);
    moves->addWidget(down);
    moves->addStretch();
    moves->addWidget(natural);
    layout->addLayout(moves);

    auto* buttons = new QHBoxLayout();
    auto* cancel = button(QStringLiteral("Cancel"), this);
    auto* save = button(QStringLiteral("Save Order"), this);
    auto* saveAndStitch = button(QStringLiteral("Save && Stitch"), this);
    saveAndStitch->setObjectName(QStringLiteral("goldButton"));
    saveAndStitch->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    buttons->addWidget(saveAndStitch);
    layout->addLayout(buttons);

    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(natural, &QPushButton::clicked, this, [this] { sortNaturally(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] {
        stitch = false;
        accept();
    });
    connect(saveAndStitch, &QPushButton::clicked, this, [this] {
        stitch = true;
        accept();
    });
}

QStringList ReleaseDialog::order() const {
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->data(Qt::UserRole).toString();
    return names;
}

QStringList ReleaseDialog::excluded() const {
    QStringList names;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->checkState() != Qt::Checked)
            names << list->item(row)->data(Qt::UserRole).toString();
    }
    return names;
}

void ReleaseDialog::moveSelected(int step) {
    const int row = list->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= list->count())
        return;
    QListWidgetItem* item = list->takeItem(row);
    list->insertItem(target, item);
    list->setCurrentRow(target);
}

void ReleaseDialog::sortNaturally() {
    QList<QListWidgetItem*> items;
    while (list->count() > 0)
        items << list->takeItem(0);
    std::stable_sort(items.begin(), items.end(), [](QListWidgetItem* a, QListWidgetItem* b) {
        return Workspace::naturalLess(a->data(Qt::UserRole).toString(),
                                      b->data(Qt::UserRole).toString());
    });
    for (QListWidgetItem* item : std::as_const(items))
        list->addItem(item);
}

} // namespace Tessaryn
