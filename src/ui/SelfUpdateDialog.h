#pragma once

#include "selfupdate/UpdateState.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace selfupdate {
class SelfUpdateController;
} // namespace selfupdate

namespace Tessaryn {

class MainWindow;

// The modal "Software Update" window: shows the controller's published states and turns its
// buttons into update commands, through the main window when it belongs to one.
class SelfUpdateDialog : public QDialog {
public:
    SelfUpdateDialog(std::shared_ptr<selfupdate::SelfUpdateController> controller,
                     QWidget* parent = nullptr);
    ~SelfUpdateDialog() override;

    // Share of the package received, 0..100.
    static int percentOf(const selfupdate::UpdateState& state);
    // The installed version, the build's own when the state names none.
    static QString installedVersionText(const selfupdate::UpdateState& state);

    void applyUpdateState(const selfupdate::UpdateState& state);
    void triggerCheckForUpdates();
    void triggerDownloadAndInstall();
    void triggerCancelDownload();

    const selfupdate::UpdateState& currentUpdateState() const { return state; }
    QString phaseBadgeText() const;
    QString versionSummaryText() const;
    QString releaseNotesText() const;
    QString metadataSummaryText() const;
    QString statusText() const;
    int progressPercent() const;

    QPushButton* checkButtonWidget() const { return checkButton; }
    QPushButton* downloadButtonWidget() const { return downloadButton; }
    QPushButton* cancelButtonWidget() const { return cancelButton; }
    QPushButton* closeButtonWidget() const { return closeButton; }

private:
    std::shared_ptr<selfupdate::SelfUpdateController> controller;
    MainWindow* window = nullptr;
    selfupdate::UpdateState state;
    bool boundItself = false;

    QLabel* versionLabel = nullptr;
    QLabel* badgeLabel = nullptr;
    QLabel* metadataLabel = nullptr;
    QPlainTextEdit* notesEdit = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* statusLabel = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* closeButton = nullptr;
};

} // namespace Tessaryn
