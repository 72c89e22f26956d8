#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QTextEdit;

namespace Tessaryn {

struct ProjectMetadata;

// Descriptive fields of the production. Opens on the defaults; the owner shows the stored
// values with setMetadata and keeps what metadata() reads back.
class MetadataDialog : public QDialog {
public:
    explicit MetadataDialog(QWidget* parent = nullptr);

    // The edits' texts, trimmed.
    QString subjectTitle() const;
    QString category() const;
    QString creator() const;
    QString stage() const;

    void setMetadata(const ProjectMetadata& values);
    // Every field, the edits trimmed.
    ProjectMetadata metadata() const;

private:
    QLineEdit* subjectEdit = nullptr;
    QLineEdit* categoryEdit = nullptr;
    QLineEdit* tagsEdit = nullptr;
    QLineEdit* creatorEdit = nullptr;
    QLineEdit* studioEdit = nullptr;
    QComboBox* stageCombo = nullptr;
    QTextEdit* notesEdit = nullptr;
};

} // namespace Tessaryn
