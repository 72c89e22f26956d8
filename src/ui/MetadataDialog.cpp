#include "ui/MetadataDialog.h"

#include "workspace/ProjectMetadata.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <utility>

namespace Tessaryn {

namespace {

QWidget* formPage(QTabWidget* tabs, const QString& title,
                  const std::initializer_list<std::pair<QString, QLineEdit*>>& rows) {
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(14, 16, 14, 14);
    form->setSpacing(12);
    form->setLabelAlignment(Qt::AlignLeft);
    for (const auto& [label, edit] : rows) {
        edit->setParent(page);
        form->addRow(label, edit);
    }
    tabs->addTab(page, title);
    return page;
}

} // namespace

MetadataDialog::MetadataDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tessaryn — Project & Creator Metadata"));
    resize(580, 500);
    setMinimumSize(520, 440);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);
    auto* tabs = new QTabWidget(this);

    subjectEdit = new QLineEdit(QStringLiteral("Project Episode 01"));
    categoryEdit = new QLineEdit(QStringLiteral("Technical Build & Demonstration"));
    tagsEdit = new QLineEdit(QStringLiteral("AI Cut, Tutorial, Showcase"));
    formPage(tabs, QStringLiteral("Subject Details"),
             {{QStringLiteral("Project Subject / Title:"), subjectEdit},
              {QStringLiteral("Category / Genre:"), categoryEdit},
              {QStringLiteral("Keywords / Tags:"), tagsEdit}});
    creatorEdit = new QLineEdit(QStringLiteral("Tolvane"));
    studioEdit = new QLineEdit(QStringLiteral("Kadmir Media Studio"));
    formPage(tabs, QStringLiteral("Creator Profile"),
             {{QStringLiteral("Creator / Editor Name:"), creatorEdit},
              {QStringLiteral("Studio / Channel Name:"), studioEdit}});

    auto* stagePage = new QWidget(tabs);
    auto* stageLayout = new QVBoxLayout(stagePage);
    stageLayout->setContentsMargins(14, 16, 14, 14);
    stageLayout->setSpacing(8);
    stageCombo = new QComboBox(stagePage);
    stageCombo->addItems({QStringLiteral("Full Production Release"),
                          QStringLiteral("1. Raw Ingest & Scene Logging"),
                          QStringLiteral("2. AI Scene Segmentation & Pause Cut"),
                          QStringLiteral("3. Speed-Ramping & Rough Assembly"),
                          QStringLiteral("4. Subtitles & Marker Export"),
                          QStringLiteral("5. Final Master Film Stitch")});
    notesEdit = new QTextEdit(stagePage);
    notesEdit->setPlaceholderText(
        QStringLiteral("Production notes, AI editing prompts, or release instructions..."));
    notesEdit->setMinimumHeight(130);
    stageLayout->addWidget(new QLabel(QStringLiteral("Active Production Stage:"), stagePage));
    stageLayout->addWidget(stageCombo);
    stageLayout->addSpacing(4);
    stageLayout->addWidget(new QLabel(QStringLiteral("Production Notes:"), stagePage));
    stageLayout->addWidget(notesEdit, 1);
    tabs->addTab(stagePage, QStringLiteral("Production Stage"));
    layout->addWidget(tabs, 1);

    auto* buttons = new QHBoxLayout();
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setMinimumWidth(80);
    auto* applyButton = new QPushButton(QStringLiteral("Apply Metadata"), this);
    applyButton->setObjectName(QStringLiteral("goldButton"));
    applyButton->setMinimumWidth(130);
    applyButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(applyButton);
    layout->addLayout(buttons);

    connect(applyButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString MetadataDialog::subjectTitle() const {
    return subjectEdit->text().trimmed();
}

QString MetadataDialog::category() const {
    return categoryEdit->text().trimmed();
}

QString MetadataDialog::creator() const {
    return creatorEdit->text().trimmed();
}

QString MetadataDialog::stage() const {
    return stageCombo->currentText();
}

void MetadataDialog::setMetadata(const ProjectMetadata& values) {
    subjectEdit->setText(values.subject_title);
    categoryEdit->setText(values.category);
    tagsEdit->setText(values.keywords);
    creatorEdit->setText(values.creator);
    studioEdit->setText(values.studio);
    // A stage not in the list (from a newer file) keeps the combo where it was.
    const int stageIndex = stageCombo->findText(values.stage);
    if (stageIndex >= 0)
        stageCombo->setCurrentIndex(stageIndex);
    notesEdit->setPlainText(values.notes);
}

ProjectMetadata MetadataDialog::metadata() const {
    ProjectMetadata values;
    values.subject_title = subjectTitle();
    values.category = category();
    values.keywords = tagsEdit->text().trimmed();
    values.creator = creator();
    values.studio = studioEdit->text().trimmed();
    values.stage = stage();
    values.notes = notesEdit->toPlainText();
    return values;
}

} // namespace Tessaryn
