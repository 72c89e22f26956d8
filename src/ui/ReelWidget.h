#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
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

    explicit ReelWidget(QWidget* parent = nullptr);

    // Attaches to the workspace's change callbacks, replacing what it held, and redraws.
    void setWorkspace(Workspace* workspace);
    void refresh();
    // The stored reel index of the first selected row, or -1.
    int selectedReelIndex() const;

    void onItemDoubleClicked(QTreeWidgetItem* item, int column);
    void onItemSelectionChanged();
    void onAnalyzeClicked();
    void onRenderClicked();
    void onRescanClicked();

private:
    // Guarded: a workspace deleted before the panel must not be read on the next redraw.
    QPointer<Workspace> workspace;
    QTreeWidget* tree = nullptr;
    QPushButton* analyzeButton = nullptr;
    QPushButton* renderButton = nullptr;
    QPushButton* rescanButton = nullptr;
    QLabel* countLabel = nullptr;
};

} // namespace Tessaryn
