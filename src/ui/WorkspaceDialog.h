#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace Tessaryn {

// Collects either a new workspace (project name, read-only footage folder, output folder) or an
// existing one to open; creating or loading it is the caller's job. A new workspace is accepted
// only with an output folder, and over an existing workspace.json only once the user agreed to
// replace it.
class WorkspaceDialog : public QDialog {
public:
    explicit WorkspaceDialog(QWidget* parent = nullptr);

    // The edits' texts, trimmed.
    QString projectName() const;
    QString sourceDir() const;
    QString projectDir() const;

    void onBrowseSource();
    void onBrowseTarget();
    void onOpenExistingClicked();
    void onRecentDoubleClicked(QListWidgetItem* item);
    void onCreateClicked();

    // Read after an accepted exec(): true to open existingPath (a folder from the recent list or
    // a workspace.json file), false to create from the three accessors.
    bool openExisting = false;
    QString existingPath;

private:
    void browseInto(QLineEdit* edit, const QString& caption);
    // True when the footage folder exists, or the user creates the workspace without it.
    bool confirmMissingFootage();

    QLineEdit* nameEdit = nullptr;
    QLineEdit* sourceEdit = nullptr;
    QLineEdit* targetEdit = nullptr;
    QListWidget* recentList = nullptr;
    QString projectsRoot;
};

} // namespace Tessaryn
