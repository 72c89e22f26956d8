#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QTextEdit;

namespace Tessaryn {

// Descriptive fields of the production with fixed defaults; nothing is stored, so every opening
// starts from the defaults again.
class MetadataDialog : public QDialog {
public:
    explicit MetadataDialog(QWidget* parent = nullptr);

    // The edits' texts, trimmed.
    QString subjectTitle() const;
    QString category() const;
    QString creator() const;
    QString stage() const;

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
