#include "ui/SelfUpdateDialog.h"

#include "app/Config.h"
#include "selfupdate/QtControllerBinding.h"
#include "selfupdate/SelfUpdateController.h"
#include "selfupdate/UpdateConfig.h"
#include "ui/MainWindow.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Tessaryn {

using selfupdate::UpdatePhase;
using selfupdate::UpdateState;

namespace {

QLabel* plainLabel(const QString& style, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setStyleSheet(style);
    // Catalog and network texts are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SelfUpdateDialog::SelfUpdateDialog(std::shared_ptr<selfupdate::SelfUpdateController> controller,
                                   QWidget* parent)
    : QDialog(parent), controller(std::move(controller)),
      window(dynamic_cast<MainWindow*>(parent)) {
    setWindowTitle(QStringLiteral("Software Update — Tessaryn"));
    setMinimumSize(560, 480);
    resize(600, 520);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(18, 18, 18, 18);
    outer->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    const QPixmap logo = Config::getAppLogoPixmap(44);
    if (!logo.isNull()) {
        auto* logoLabel = new QLabel(this);
        logoLabel->setFixedSize(44, 44);
        logoLabel->setPixmap(logo);
        header->addWidget(logoLabel);
    }
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("Tessaryn — Tessaryn Studio"), this);
    title->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold; color: #D4AF37;"));
    versionLabel = plainLabel(QStringLiteral("font-size: 13px; color: #DDE2EC;"), this);
    column->addWidget(title);
    column->addWidget(versionLabel);
    header->addLayout(column, 1);
    badgeLabel = plainLabel(QStringLiteral("font-size: 11px; font-weight: bold; padding: 4px 8px; "
                                           "border-radius: 4px; border: 1px solid #D4AF37; "
                                           "color: #D4AF37; background-color: #1A1D25;"),
                            this);
    badgeLabel->setText(QStringLiteral("IDLE"));
    header->addWidget(badgeLabel, 0, Qt::AlignVCenter);
    outer->addLayout(header);

    metadataLabel = plainLabel(
        QStringLiteral("font-size: 11px; color: #9EA4B3; font-family: 'Consolas', monospace;"),
        this);
    metadataLabel->setWordWrap(true);
    outer->addWidget(metadataLabel);

    auto* notesGroup = new QGroupBox(QStringLiteral("RELEASE NOTES"), this);
    auto* notesLayout = new QVBoxLayout(notesGroup);
    notesEdit = new QPlainTextEdit(notesGroup);
    notesEdit->setReadOnly(true);
    notesLayout->addWidget(notesEdit);
    outer->addWidget(notesGroup, 1);

    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setFixedHeight(18);
    outer->addWidget(progress);

    statusLabel = plainLabel(QStringLiteral("font-size: 12px; color: #DDE2EC;"), this);
    statusLabel->setWordWrap(true);
    outer->addWidget(statusLabel);

    auto* buttons = new QHBoxLayout;
    checkButton = new QPushButton(QStringLiteral("Check for Updates"), this);
    downloadButton = new QPushButton(QStringLiteral("Download && Update Now"), this);
    downloadButton->setObjectName(QStringLiteral("goldButton"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(checkButton);
    buttons->addWidget(downloadButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    outer->addLayout(buttons);
    connect(checkButton, &QPushButton::clicked, this, [this] { triggerCheckForUpdates(); });
    connect(downloadButton, &QPushButton::clicked, this, [this] { triggerDownloadAndInstall(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { triggerCancelDownload(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { reject(); });

    // A dialog opened on a later phase (an earlier failed check) still names what is installed.
    applyUpdateState(UpdateState());
    if (window) {
        window->registerUpdateDialog(this);
        applyUpdateState(window->currentSelfUpdateState());
    } else if (this->controller) {
        boundItself = true;
        selfupdate::bindQtController(this->controller, this,
                                     [this](const UpdateState& s) { applyUpdateState(s); }, {});
        applyUpdateState(this->controller->state());
    }
}

SelfUpdateDialog::~SelfUpdateDialog() {
    if (window)
        window->unregisterUpdateDialog(this);
    else if (boundItself)
        controller->setStateCallback({});
}

int SelfUpdateDialog::percentOf(const UpdateState& s) {
    if (s.totalBytes < 1 || s.downloadedBytes < 1)
        return 0;
    if (s.downloadedBytes >= s.totalBytes)
        return 100;
    const double share = double(s.downloadedBytes) / double(s.totalBytes) * 100.0;
    return std::clamp(int(share), 0, 100);
}

QString SelfUpdateDialog::installedVersionText(const UpdateState& s) {
    return QString::fromStdString(s.installedVersionName.empty()
                                      ? selfupdate::UpdateConfig::applicationVersion()
                                      : s.installedVersionName);
}

void SelfUpdateDialog::applyUpdateState(const UpdateState& s) {
    state = s;
    const QString installed = installedVersionText(s);
    const int percent = percentOf(s);
    switch (s.phase) {
    case UpdatePhase::Idle:
        badgeLabel->setText(QStringLiteral("IDLE"));
        versionLabel->setText(QStringLiteral("Installed: v%1").arg(installed));
        statusLabel->setText(
            QStringLiteral("Ready to check %1 for updates.")
                .arg(QString::fromStdString(selfupdate::UpdateConfig::catalogUrl())));
        checkButton->setEnabled(true);
        downloadButton->setEnabled(false);
        downloadButton->setText(QStringLiteral("Download && Update Now"));
        cancelButton->setEnabled(false);
        progress->setValue(0);
        metadataLabel->clear();
        notesEdit->setPlainText(QStringLiteral("No release notes."));
        break;
    case UpdatePhase::Checking:
        badgeLabel->setText(QStringLiteral("CHECKING"));
#ifdef _WIN32
        statusLabel->setText(QStringLiteral("Querying Kadmir Windows release catalog..."));
#else
        statusLabel->setText(QStringLiteral("Querying Kadmir Linux release catalog..."));
#endif
        checkButton->setEnabled(false);
        downloadButton->setEnabled(false);
        cancelButton->setEnabled(true);
        break;
    case UpdatePhase::UpToDate:
        badgeLabel->setText(QStringLiteral("UP TO DATE"));
        versionLabel->setText(QStringLiteral("Installed: v%1 (Latest)").arg(installed));
        statusLabel->setText(QStringLiteral("Tessaryn v%1 is the latest version.").arg(installed));
        checkButton->setEnabled(true);
        downloadButton->setEnabled(false);
        cancelButton->setEnabled(false);
        progress->setValue(100);
        break;
    case UpdatePhase::UpdateAvailable: {
        const selfupdate::UpdateManifest& m = s.manifest;
        badgeLabel->setText(QStringLiteral("UPDATE AVAILABLE"));
        versionLabel->setText(QStringLiteral("Installed: v%1 -> Available: v%2 (Build %3)")
                                  .arg(installed, QString::fromStdString(m.versionName))
                                  .arg(m.versionCode));
        statusLabel->setText(QStringLiteral("New version is available for download."));
        downloadButton->setEnabled(true);
        downloadButton->setText(QStringLiteral("Download && Update Now"));
        checkButton->setEnabled(true);
        cancelButton->setEnabled(false);
        progress->setValue(0);
        const QString size =
            m.sizeBytes < 1
                ? QStringLiteral("Unknown size")
                : QStringLiteral("%1 KB (%2 bytes)").arg(m.sizeBytes / 1024).arg(m.sizeBytes);
        metadataLabel->setText(
            QStringLiteral("Mode: %1 | Architecture: %2 | Minimum OS: %3\nSize: %4 | SHA-256: %5")
                .arg(m.installMode == selfupdate::InstallMode::BinaryCopy
                         ? QStringLiteral("Standalone Binary")
                         : QStringLiteral("Setup Installer"),
                     QString::fromStdString(m.arch), QString::fromStdString(m.minOs), size,
                     QString::fromStdString(m.sha256)));
        notesEdit->setPlainText(m.releaseNotes.empty()
                                    ? QStringLiteral("No release notes provided.")
                                    : QString::fromStdString(m.releaseNotes));
        break;
    }
    case UpdatePhase::Downloading:
        badgeLabel->setText(QStringLiteral("DOWNLOADING"));
        statusLabel->setText(QStringLiteral("Downloading update package... %1% (%2 / %3 bytes)")
                                 .arg(percent)
                                 .arg(s.downloadedBytes)
                                 .arg(s.totalBytes < 0 ? 0 : s.totalBytes));
        downloadButton->setEnabled(false);
        checkButton->setEnabled(false);
        cancelButton->setEnabled(true);
        progress->setValue(percent);
        break;
    case UpdatePhase::ReadyToInstall:
        badgeLabel->setText(QStringLiteral("READY TO INSTALL"));
        statusLabel->setText(QStringLiteral("Package verified (SHA-256 OK). Ready to install."));
        downloadButton->setEnabled(true);
        downloadButton->setText(QStringLiteral("Install && Relaunch Now"));
        checkButton->setEnabled(true);
        cancelButton->setEnabled(false);
        progress->setValue(100);
        break;
    case UpdatePhase::Installing:
        badgeLabel->setText(QStringLiteral("INSTALLING"));
        statusLabel->setText(QStringLiteral("Launching update installer..."));
        downloadButton->setEnabled(false);
        checkButton->setEnabled(false);
        cancelButton->setEnabled(false);
        break;
    case UpdatePhase::Relaunching:
        badgeLabel->setText(QStringLiteral("RELAUNCHING"));
        statusLabel->setText(QStringLiteral(
            "Update staged. Closing Tessaryn to complete installation and relaunch..."));
        checkButton->setEnabled(false);
        downloadButton->setEnabled(false);
        cancelButton->setEnabled(false);
        closeButton->setEnabled(false);
        progress->setValue(100);
        break;
    case UpdatePhase::Error:
        badgeLabel->setText(QStringLiteral("UPDATE ERROR"));
        statusLabel->setText(
            QStringLiteral("Error: %1").arg(QString::fromStdString(s.errorMessage)));
        checkButton->setEnabled(true);
        downloadButton->setEnabled(!s.manifest.packageUrl.empty());
        cancelButton->setEnabled(false);
        break;
    }
}

void SelfUpdateDialog::triggerCheckForUpdates() {
    if (window)
        window->checkForAppUpdates(true);
    else if (controller)
        controller->checkForUpdates(true);
}

void SelfUpdateDialog::triggerDownloadAndInstall() {
    if (window)
        window->triggerAppUpdateDownloadAndInstall();
    else if (controller && state.phase == UpdatePhase::ReadyToInstall)
        controller->installStagedPackage();
    else if (controller)
        controller->downloadAndInstall(nullptr);
}

void SelfUpdateDialog::triggerCancelDownload() {
    if (window)
        window->cancelAppUpdateDownload();
    else if (controller)
        controller->cancel();
}

QString SelfUpdateDialog::phaseBadgeText() const {
    return badgeLabel->text();
}

QString SelfUpdateDialog::versionSummaryText() const {
    return versionLabel->text();
}

QString SelfUpdateDialog::releaseNotesText() const {
    return notesEdit->toPlainText();
}

QString SelfUpdateDialog::metadataSummaryText() const {
    return metadataLabel->text();
}

QString SelfUpdateDialog::statusText() const {
    return statusLabel->text();
}

int SelfUpdateDialog::progressPercent() const {
    return progress->value();
}

} // namespace Tessaryn
