#pragma once

#include <QMainWindow>
#include <QString>

class QLabel;
class QTreeWidget;

namespace Tessaryn {

class Workspace;

// The application's one top-level window and the controller of the workflow.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // Opens the workspace folder or workspace.json at path; a failed load keeps what is shown.
    void openWorkspace(const QString& path);
    void checkForAppUpdates(bool userInitiated);

    const Workspace* currentWorkspace() const { return workspace; }

private:
    void setupUi();
    void refreshReelList();

    Workspace* workspace = nullptr;
    QTreeWidget* reelList = nullptr;
    QLabel* statusLabel = nullptr;
};

} // namespace Tessaryn
