#include "ui/WorkspaceDialog.h"

#include "app/AppInfo.h"
#include "app/Config.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tessaryn {

namespace {

QLabel* sectionLabel(const QString& text, const QString& topMargin, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("font-weight: bold; color: #D4AF37; font-size: 11px; "
                                        "margin-top: %1; letter-spacing: 0.5px;")
                             .arg(topMargin));
    return label;
}

QPushButton* sizedButton(const QString& text, int minimumWidth, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setMinimumWidth(minimumWidth);
    return button;
}

} // namespace

WorkspaceDialog::WorkspaceDialog(QWidget* parent)
    : QDialog(parent), projectsRoot(Config::getProjectsRoot()) {
    const QString defaultName = AppInfo::defaultProjectName();
    setWindowTitle(QStringLiteral("Tessaryn — Project Workspaces"));
    resize(600, 530);
    setMinimumSize(540, 480);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(14);
    layout->setContentsMargins(20, 20, 20, 20);

    auto* header = new QHBoxLayout();
    auto* logo = new QLabel(this);
    logo->setFixedSize(72, 72);
    const QPixmap pixmap = Config::getAppLogoPixmap(72);
    if (!pixmap.isNull())
        logo->setPixmap(pixmap);
    auto* titles = new QVBoxLayout();
    auto* title = new QLabel(QStringLiteral("TESSARYN"), this);
    title->setStyleSheet(QStringLiteral(
        "font-size: 17px; font-weight: bold; color: #D4AF37; letter-spacing: 1.5px;"));
    auto* subtitle =
        new QLabel(QStringLiteral("Tessaryn — AI-Assisted Video Editing & Production Suite"), this);
    subtitle->setStyleSheet(QStringLiteral("color: #9EA4B3; font-size: 11px;"));
    titles->addWidget(title);
    titles->addWidget(subtitle);
    titles->addStretch();
    header->addWidget(logo);
    header->addSpacing(12);
    header->addLayout(titles);
    header->addStretch();
    layout->addLayout(header);

    layout->addWidget(sectionLabel(QStringLiteral("CREATE NEW WORKSPACE"), "6px", this));
    auto* fields = new QVBoxLayout();
    fields->setSpacing(8);
    nameEdit = new QLineEdit(defaultName, this);
    sourceEdit = new QLineEdit(Config::defaultFootageFolder(), this);
    targetEdit = new QLineEdit(QDir(projectsRoot).filePath(defaultName), this);
    auto* browseSource = sizedButton(QStringLiteral("Browse..."), 85, this);
    auto* browseTarget = sizedButton(QStringLiteral("Browse..."), 85, this);
    fields->addWidget(new QLabel(QStringLiteral("Project Name:"), this));
    fields->addWidget(nameEdit);
    fields->addWidget(new QLabel(QStringLiteral("Read-Only Source Footage (Untouched):"), this));
    for (auto [edit, button] : {std::pair{sourceEdit, browseSource}, {targetEdit, browseTarget}}) {
        if (edit == targetEdit)
            fields->addWidget(new QLabel(QStringLiteral("Workspace Output Folder:"), this));
        auto* row = new QHBoxLayout();
        row->setSpacing(8);
        row->addWidget(edit, 1);
        row->addWidget(button);
        fields->addLayout(row);
    }
    layout->addLayout(fields);

    layout->addWidget(sectionLabel(QStringLiteral("RECENT WORKSPACES"), "4px", this));
    recentList = new QListWidget(this);
    recentList->setMinimumHeight(75);
    recentList->setMaximumHeight(110);
    const QString recent = Config::getRecentWorkspacePath();
    recentList->addItem(recent.isEmpty() ? QDir(projectsRoot).filePath(defaultName) : recent);
    layout->addWidget(recentList);

    auto* buttons = new QHBoxLayout();
    auto* openExistingButton = sizedButton(QStringLiteral("Open Existing..."), 110, this);
    auto* cancelButton = sizedButton(QStringLiteral("Cancel"), 80, this);
    auto* createButton = sizedButton(QStringLiteral("Create Workspace"), 130, this);
    createButton->setObjectName(QStringLiteral("goldButton"));
    createButton->setDefault(true);
    buttons->addWidget(openExistingButton);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(createButton);
    layout->addLayout(buttons);

    // Every edit of the name rewrites the output folder, replacing one browsed for earlier.
    connect(nameEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        targetEdit->setText(QDir(projectsRoot).filePath(text.trimmed()));
    });
    connect(browseSource, &QPushButton::clicked, this, [this] { onBrowseSource(); });
    connect(browseTarget, &QPushButton::clicked, this, [this] { onBrowseTarget(); });
    connect(openExistingButton, &QPushButton::clicked, this, [this] { onOpenExistingClicked(); });
    connect(recentList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { onRecentDoubleClicked(item); });
    connect(createButton, &QPushButton::clicked, this, [this] { onCreateClicked(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString WorkspaceDialog::projectName() const {
    return nameEdit->text().trimmed();
}

QString WorkspaceDialog::sourceDir() const {
    return sourceEdit->text().trimmed();
}

QString WorkspaceDialog::projectDir() const {
    return targetEdit->text().trimmed();
}

void WorkspaceDialog::browseInto(QLineEdit* edit, const QString& caption) {
    const QString folder =
        QFileDialog::getExistingDirectory(this, caption, edit->text(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        edit->setText(folder);
}

void WorkspaceDialog::onBrowseSource() {
    browseInto(sourceEdit, QStringLiteral("Select Raw Footage Source Folder"));
}

void WorkspaceDialog::onBrowseTarget() {
    browseInto(targetEdit, QStringLiteral("Select Project Destination Folder"));
}

void WorkspaceDialog::onOpenExistingClicked() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Existing Workspace"), projectsRoot,
                                     QStringLiteral("Workspace Files (workspace.json)"));
    if (path.isEmpty())
        return;
    openExisting = true;
    existingPath = path;
    accept();
}

void WorkspaceDialog::onRecentDoubleClicked(QListWidgetItem* item) {
    if (!item || item->text().isEmpty())
        return;
    openExisting = true;
    existingPath = item->text();
    accept();
}

bool WorkspaceDialog::confirmMissingFootage() {
    const QString footage = sourceDir();
    if (footage.isEmpty() || QFileInfo(footage).isDir())
        return true;
    // Accepted silently, a mistyped folder gives a workspace without reels and no hint why.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Footage Folder Not Found"),
                    QStringLiteral("The footage folder %1 does not exist, so the workspace would "
                                   "start without reels. Create it anyway and add the folder "
                                   "later (then Rescan), or go back and choose another folder?")
                        .arg(QDir::toNativeSeparators(footage)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Create Anyway"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Choose Another Folder"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void WorkspaceDialog::onCreateClicked() {
    const QString folder = projectDir();
    // An empty folder would put the project into whatever the working folder happens to be.
    if (folder.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Output Folder Missing"),
                             QStringLiteral("Choose a workspace output folder for the project."));
        return;
    }
    if (!confirmMissingFootage())
        return;
    if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("workspace.json")))) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Replace Workspace?"),
                        QStringLiteral("%1 already holds a workspace. Replace its workspace.json "
                                       "with a new workspace?")
                            .arg(QDir::toNativeSeparators(folder)),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText); // a folder name is never markup
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
    }
    openExisting = false;
    accept();
}

} // namespace Tessaryn
