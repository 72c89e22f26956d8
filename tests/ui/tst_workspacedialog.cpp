// The workspace dialog: its fields, the output folder following the name, the recent entry,
// the file dialogs, and the checks before a new workspace is accepted.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "app/Config.h"
#include "ui/WorkspaceDialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

QLineEdit* edit(const WorkspaceDialog& dialog, int index) {
    return dialog.findChildren<QLineEdit*>().value(index);
}

QPushButton* button(const WorkspaceDialog& dialog, const QString& text, int skip = 0) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text && skip-- == 0)
            return b;
    return nullptr;
}

QString underRoot(const QString& name) {
    return QDir(Config::getProjectsRoot()).filePath(name);
}

} // namespace

class WorkspaceDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(dir.filePath("settings"));
    }

    void init() { Config::setRecentWorkspacePath(QString()); }

    void initialFields() {
        WorkspaceDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Tessaryn — Project Workspaces"));
        QCOMPARE(dialog.projectName(), QString("Default_Project"));
        QCOMPARE(dialog.sourceDir(), Config::defaultFootageFolder());
        QCOMPARE(dialog.projectDir(), underRoot("Default_Project"));
        auto* recent = dialog.findChild<QListWidget*>();
        QCOMPARE(recent->count(), 1);
        QCOMPARE(recent->item(0)->text(), underRoot("Default_Project"));
        QPushButton* create = button(dialog, "Create Workspace");
        QVERIFY(create->isDefault());
        QCOMPARE(create->objectName(), QString("goldButton"));
        QVERIFY(!dialog.openExisting);
        QVERIFY(dialog.existingPath.isEmpty());
    }

    void recentEntryOpensAtOnce() {
        const QString remembered = dir.filePath("projects/Film");
        Config::setRecentWorkspacePath(remembered);
        WorkspaceDialog dialog;
        auto* recent = dialog.findChild<QListWidget*>();
        QCOMPARE(recent->count(), 1);
        emit recent->itemDoubleClicked(recent->item(0));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.openExisting);
        QCOMPARE(dialog.existingPath, remembered);
    }

    void outputFolderFollowsTheName() {
        WorkspaceDialog dialog;
        const QString picked = dir.filePath("picked");
        QVERIFY(QDir().mkpath(picked));
        edit(dialog, 0)->setText("  My Film  ");
        QCOMPARE(dialog.projectName(), QString("My Film"));
        QCOMPARE(dialog.projectDir(), underRoot("My Film"));

        // A folder picked after the last name edit stays; the next name edit replaces it.
        {
            ModalAnswerer answerer([&](QWidget* modal) { ModalAnswerer::choose(modal, picked); });
            button(dialog, "Browse...", 1)->click();
            QCOMPARE(answerer.titles, QStringList{"Select Project Destination Folder"});
        }
        QCOMPARE(QDir(dialog.projectDir()), QDir(picked));
        edit(dialog, 0)->setText("Other");
        QCOMPARE(dialog.projectDir(), underRoot("Other"));

        // Cancelling a folder choice keeps the text.
        ModalAnswerer cancel([](QWidget* modal) { ModalAnswerer::choose(modal, QString()); });
        button(dialog, "Browse...", 0)->click();
        QCOMPARE(cancel.titles, QStringList{"Select Raw Footage Source Folder"});
        QCOMPARE(dialog.sourceDir(), Config::defaultFootageFolder());
        QVERIFY(dialog.result() != QDialog::Accepted);
    }

    void openExistingFile() {
        const QString file = dir.filePath("existing/workspace.json");
        QVERIFY(TestSupport::writeFile(file, "{}"));
        WorkspaceDialog dialog;
        {
            ModalAnswerer answerer([](QWidget* modal) { ModalAnswerer::choose(modal, QString()); });
            button(dialog, "Open Existing...")->click();
            QCOMPARE(answerer.titles, QStringList{"Open Existing Workspace"});
        }
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(!dialog.openExisting);

        ModalAnswerer answerer([&](QWidget* modal) { ModalAnswerer::choose(modal, file); });
        button(dialog, "Open Existing...")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.openExisting);
        QCOMPARE(QFileInfo(dialog.existingPath), QFileInfo(file));
    }

    void createChecksTheOutputFolder_data() {
        QTest::addColumn<QString>("folder"); // under the scratch folder unless blank
        QTest::addColumn<bool>("hasWorkspace");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("boxTitle"); // empty: no box
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("footageExists");
        QTest::newRow("fresh folder") << "fresh" << false << QMessageBox::No << "" << true << true;
        QTest::newRow("empty") << "" << false << QMessageBox::Ok << "Output Folder Missing" << false
                               << true;
        QTest::newRow("blanks only")
            << "   " << false << QMessageBox::Ok << "Output Folder Missing" << false << true;
        QTest::newRow("existing, declined")
            << "taken" << true << QMessageBox::No << "Replace Workspace?" << false << true;
        QTest::newRow("existing, confirmed")
            << "taken" << true << QMessageBox::Yes << "Replace Workspace?" << true << true;
        QTest::newRow("no footage folder, go back")
            << "fresh" << false << QMessageBox::No << "Footage Folder Not Found" << false << false;
        QTest::newRow("no footage folder, create anyway")
            << "fresh" << false << QMessageBox::Yes << "Footage Folder Not Found" << true << false;
    }

    void createChecksTheOutputFolder() {
        QFETCH(QString, folder);
        QFETCH(bool, hasWorkspace);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, boxTitle);
        QFETCH(bool, accepted);
        QFETCH(bool, footageExists);
        const QString path = folder.trimmed().isEmpty() ? folder : dir.filePath(folder);
        const QString stored = QDir(path).filePath("workspace.json");
        if (hasWorkspace)
            QVERIFY(TestSupport::writeFile(stored, "{\"project_name\":\"Old\"}"));
        WorkspaceDialog dialog;
        dialog.openExisting = true; // the create button sets it back
        edit(dialog, 2)->setText(path);
        edit(dialog, 1)->setText(footageExists ? dir.path() : dir.filePath("no such footage"));
        ModalAnswerer answerer([answer](QWidget* modal) { ModalAnswerer::click(modal, answer); });
        button(dialog, "Create Workspace")->click();
        QCOMPARE(answerer.titles, boxTitle.isEmpty() ? QStringList() : QStringList{boxTitle});
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        if (accepted) {
            QVERIFY(!dialog.openExisting);
            QCOMPARE(dialog.projectDir(), path);
        }
        if (hasWorkspace) // the dialog itself never touches the file
            QCOMPARE(TestSupport::readFile(stored), QByteArray("{\"project_name\":\"Old\"}"));
    }
};

QTEST_MAIN(WorkspaceDialogTest)
#include "tst_workspacedialog.moc"
