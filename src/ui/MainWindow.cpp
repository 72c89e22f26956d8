#include "ui/MainWindow.h"

#include "app/Config.h"
#include "timeline/TimelineMath.h"
#include "workspace/Workspace.h"

#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTreeWidget>

namespace Tessaryn {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    workspace = new Workspace(this);
    setupUi();
}

void MainWindow::setupUi() {
    setWindowTitle(QStringLiteral("Tessaryn — AI-Assisted Video Editing Suite"));
    setWindowIcon(Config::getAppIcon());
    resize(1500, 900);

    reelList = new QTreeWidget(this);
    reelList->setColumnCount(3);
    reelList->setHeaderLabels(
        {QStringLiteral("Reel"), QStringLiteral("Status"), QStringLiteral("Edited Length")});
    reelList->setRootIsDecorated(false);
    reelList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    setCentralWidget(reelList);

    statusLabel = new QLabel(QStringLiteral("Ready"), this);
    statusBar()->addWidget(statusLabel, 1);
}

void MainWindow::refreshReelList() {
    reelList->clear();
    for (const Reel& reel : workspace->reels) {
        const QString edited =
            reel.timeline.segments.isEmpty()
                ? QStringLiteral("—")
                : TimelineMath::formatTimecode(reel.timeline.total_edited_duration, false, 30.0);
        reelList->addTopLevelItem(new QTreeWidgetItem({reel.name, reel.statusText(), edited}));
    }
}

void MainWindow::openWorkspace(const QString& path) {
    if (!workspace->load(path))
        return;
    refreshReelList();
    setWindowTitle(QStringLiteral("Tessaryn — %1 [%2]").arg(workspace->project_name, path));
}

void MainWindow::checkForAppUpdates(bool userInitiated) {
    // The update check arrives with the self-update flow.
    Q_UNUSED(userInitiated);
}

} // namespace Tessaryn
