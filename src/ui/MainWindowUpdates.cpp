#include "ui/MainWindow.h"

#include "selfupdate/SelfUpdateChecker.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/UpdateConfig.h"
#include "ui/ElidedLabel.h"
#include "ui/SelfUpdateDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

namespace Tessaryn {

using selfupdate::UpdatePhase;
using selfupdate::UpdateState;

selfupdate::CheckerConfig MainWindow::defaultSelfUpdateConfig() {
    return selfupdate::UpdateConfig::checkerConfig();
}

bool MainWindow::isUpdateBannerVisible() const {
    return updateBanner && updateBanner->isVisibleTo(updateBanner->parentWidget());
}

QString MainWindow::updateBannerText() const {
    return updateBannerLabel ? updateBannerLabel->fullText() : QString();
}

void MainWindow::detachSelfUpdateController() {
    if (!selfUpdate)
        return;
    selfUpdate->setStateCallback({});
    selfUpdate->setQuitCallback({});
    selfUpdate->setUiDispatcher({});
    // Joined, not only flagged: a worker still running could hand a closure to this window's
    // dispatcher after the window is gone.
    selfUpdate->stopWorker();
}

void MainWindow::setSelfUpdateController(
    std::shared_ptr<selfupdate::SelfUpdateController> controller) {
    detachSelfUpdateController();
    quitRequestedByUpdate = false;
    selfUpdate = std::move(controller);
    if (selfUpdate)
        bindSelfUpdateController();
}

void MainWindow::bindSelfUpdateController() {
    if (!selfUpdate)
        return;
    const int binding = ++selfUpdateBinding;
    selfUpdate->setUiDispatcher([this](std::function<void()> fn) { dispatcher.post(fn); });
    selfUpdate->setStateCallback([this, binding](const UpdateState& state) {
        if (binding == selfUpdateBinding)
            handleSelfUpdateStateChanged(state);
    });
    selfUpdate->setQuitCallback([this, binding] {
        if (binding == selfUpdateBinding)
            handleSelfUpdateQuitRequested();
    });
    updateState = selfUpdate->state();
    updateSelfUpdateBannerUi();
}

void MainWindow::checkForAppUpdates(bool userInitiated) {
    updateBannerDismissed = false;
    updateState.phase = UpdatePhase::Checking;
    updateState.userInitiated = userInitiated;
    if (selfUpdate)
        selfUpdate->checkForUpdates(userInitiated);
}

void MainWindow::triggerAppUpdateDownloadAndInstall() {
    if (!selfUpdate)
        return;
    if (updateState.phase == UpdatePhase::ReadyToInstall)
        selfUpdate->installStagedPackage();
    else
        selfUpdate->downloadAndInstall(nullptr);
}

void MainWindow::cancelAppUpdateDownload() {
    if (selfUpdate)
        selfUpdate->cancel();
}

void MainWindow::dismissAppUpdateBanner() {
    updateBannerDismissed = true;
    updateBanner->hide();
    if (selfUpdate)
        selfUpdate->dismiss();
    updateState.phase = UpdatePhase::Idle;
}

void MainWindow::registerUpdateDialog(SelfUpdateDialog* dialog) {
    updateDialog = dialog;
}

void MainWindow::unregisterUpdateDialog(SelfUpdateDialog* dialog) {
    if (updateDialog == dialog)
        updateDialog = nullptr;
}

void MainWindow::handleSelfUpdateStateChanged(const UpdateState& state) {
    updateState = state;
    updateSelfUpdateBannerUi();
    if (updateDialog)
        updateDialog->applyUpdateState(state);
}

void MainWindow::handleSelfUpdateQuitRequested() {
    quitRequestedByUpdate = true;
    if (updateDialog)
        updateDialog->accept();
    // Closing asks first while a job runs and, when the user agrees, ends the batch and detaches
    // the window from the engines before they are cancelled. Declining keeps the studio running.
    if (!close()) {
        quitRequestedByUpdate = false;
        return;
    }
    stopAllJobs();
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

void MainWindow::onCheckForUpdates() {
    SelfUpdateDialog dialog(selfUpdate, this);
    if (updateState.phase == UpdatePhase::Idle) {
        updateState.userInitiated = true;
        updateBannerDismissed = false;
        updateState.phase = UpdatePhase::Checking;
        if (selfUpdate)
            selfUpdate->checkForUpdates(true);
    }
    dialog.exec();
}

void MainWindow::updateSelfUpdateBannerUi() {
    const UpdateState& s = updateState;
    const QString available = QString::fromStdString(s.manifest.versionName);
    const bool offered =
        s.phase == UpdatePhase::UpdateAvailable || s.phase == UpdatePhase::ReadyToInstall;
    updateStatusButton->setText(offered ? QStringLiteral("⬆ Update Available (v%1)").arg(available)
                                        : QStringLiteral("Check for Updates"));
    const QString objectName = offered ? QStringLiteral("goldButton") : QString();
    if (updateStatusButton->objectName() != objectName) {
        updateStatusButton->setObjectName(objectName);
        // The theme styles by object name: a renamed button must be polished again.
        updateStatusButton->style()->unpolish(updateStatusButton);
        updateStatusButton->style()->polish(updateStatusButton);
    }

    const bool hasPackage = !s.manifest.packageUrl.empty();
    bool shown = false;
    switch (s.phase) {
    case UpdatePhase::Idle:
    case UpdatePhase::Checking:
        break;
    case UpdatePhase::UpToDate:
        shown = s.userInitiated;
        break;
    case UpdatePhase::Error:
        // A failed background check stays silent; a failed download does not.
        shown = s.userInitiated || hasPackage;
        break;
    case UpdatePhase::UpdateAvailable:
    case UpdatePhase::Downloading:
    case UpdatePhase::ReadyToInstall:
    case UpdatePhase::Installing:
    case UpdatePhase::Relaunching:
        shown = true;
        break;
    }
    if (updateBannerDismissed || !shown) {
        updateBanner->hide();
        return;
    }

    const int percent = SelfUpdateDialog::percentOf(s);
    QString text;
    bool progressShown = false;
    bool actionShown = true;
    bool actionEnabled = true;
    QString action = QStringLiteral("Download && Update");
    switch (s.phase) {
    case UpdatePhase::UpToDate:
        text = QStringLiteral("Tessaryn v%1 is up to date.")
                   .arg(SelfUpdateDialog::installedVersionText(s));
        actionShown = false;
        break;
    case UpdatePhase::UpdateAvailable:
        text = QStringLiteral("Tessaryn v%1 is available!").arg(available);
        break;
    case UpdatePhase::Downloading:
        text = QStringLiteral("Downloading Tessaryn update (%1%)...").arg(percent);
        progressShown = true;
        actionEnabled = false;
        action = QStringLiteral("Downloading...");
        break;
    case UpdatePhase::ReadyToInstall:
        text = QStringLiteral("Tessaryn v%1 ready to install.").arg(available);
        action = QStringLiteral("Install && Relaunch");
        break;
    case UpdatePhase::Installing:
        text = QStringLiteral("Installing update...");
        actionEnabled = false;
        action = QStringLiteral("Installing...");
        break;
    case UpdatePhase::Relaunching:
        text = QStringLiteral("Relaunching Tessaryn...");
        actionShown = false;
        break;
    case UpdatePhase::Error:
        text = QStringLiteral("Update error: %1").arg(QString::fromStdString(s.errorMessage));
        actionShown = hasPackage;
        action = QStringLiteral("Retry Update");
        break;
    case UpdatePhase::Idle:
    case UpdatePhase::Checking:
        break;
    }
    // Network and catalog texts are shown as they are, never as markup.
    updateBannerLabel->setFullText(text);
    updateBannerProgress->setVisible(progressShown);
    if (progressShown)
        updateBannerProgress->setValue(percent);
    updateBannerInstallButton->setVisible(actionShown);
    updateBannerInstallButton->setEnabled(actionEnabled);
    updateBannerInstallButton->setText(action);
    updateBanner->show();
}

} // namespace Tessaryn
