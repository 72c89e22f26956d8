#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace Tessaryn {

class Workspace;

// The reel table of the open workspace with its analyse, render and rescan buttons. Acts only
// through the callbacks its owner installs; the workspace tells it when to redraw.
class ReelWidget : public QWidget {
public:
    std::function<void(int)> reelActivatedCallback;
    std::function<void(int)> analyzeRequestedCallback;
    std::function<void(int)> renderRequestedCallback;
    std::function<void()> rescanRequestedCallback;
    // The start panel's buttons, shown while no workspace is open or it holds no reels.
    std::function<void()> newWorkspaceCallback;
    std::function<void()> openWorkspaceCallback;

    explicit ReelWidget(QWidget* parent = nullptr);

    // Attaches to the workspace's change callbacks, replacing what it held, and redraws.
    void setWorkspace(Workspace* workspace);
    void refresh();
    // The stored reel index of the first selected row, or -1.
    int selectedReelIndex() const;
    // Whether the start panel stands in for the empty table, and what it says.
    bool isStartPanelShown() const;
    QString startPanelText() const;

    void onItemDoubleClicked(QTreeWidgetItem* item, int column);
    void onItemSelectionChanged();
    void onAnalyzeClicked();
    void onRenderClicked();
    void onRescanClicked();

private:
    QWidget* buildStartPanel();
    void updateStartPanel();

    // Guarded: a workspace deleted before the panel must not be read on the next redraw.
    QPointer<Workspace> workspace;
    QTreeWidget* tree = nullptr;
    QStackedWidget* pages = nullptr;
    QLabel* startText = nullptr;
    QPushButton* analyzeButton = nullptr;
    QPushButton* renderButton = nullptr;
    QPushButton* rescanButton = nullptr;
    QLabel* countLabel = nullptr;
};

} // namespace Tessaryn
