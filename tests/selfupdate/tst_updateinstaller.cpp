#include "TestSupport.h"
#include "selfupdate/UpdateInstaller.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

using selfupdate::UpdateInstaller;

class UpdateInstallerTest : public QObject {
    Q_OBJECT

private slots:
    void detectsThisExecutable() {
        const QString detected =
            QString::fromStdString(UpdateInstaller::detectCurrentExecutablePath());
        QVERIFY(!detected.isEmpty());
        QCOMPARE(QFileInfo(detected).canonicalFilePath(),
                 QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    }

    void cleanupRemovesOnlyTheBackup_data() {
        QTest::addColumn<bool>("backupExists");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("no backup") << false << false;
        QTest::newRow("backup") << true << false;
        QTest::newRow("read-only backup") << true << true;
    }

    void cleanupRemovesOnlyTheBackup() {
        QFETCH(bool, backupExists);
        QFETCH(bool, readOnly);
        QTemporaryDir dir;
        const QString exe = dir.filePath("tessaryn");
        QVERIFY(TestSupport::writeFile(exe, "current"));
        if (backupExists) {
            QVERIFY(TestSupport::writeFile(exe + ".old", "previous"));
            if (readOnly)
                QVERIFY(QFile::setPermissions(exe + ".old", QFile::ReadOwner));
        }
        QVERIFY(UpdateInstaller::cleanupStaleBackup(exe.toStdString()));
        QVERIFY(!QFileInfo::exists(exe + ".old"));
        QCOMPARE(TestSupport::readFile(exe), QByteArray("current"));
    }

    void cleanupOfTheRunningExecutableWithNoBackup() {
        QVERIFY(UpdateInstaller::cleanupStaleBackup(std::string()));
    }

    void cleanupReportsABackupThatCannotGo() {
        // A non-empty folder in the backup's place cannot be deleted as a file.
        QTemporaryDir dir;
        const QString exe = dir.filePath("app");
        QVERIFY(TestSupport::writeFile(exe + ".old/inside", "x"));
        QVERIFY(!UpdateInstaller::cleanupStaleBackup(exe.toStdString()));
        QVERIFY(QFileInfo::exists(exe + ".old/inside"));
    }
};

QTEST_GUILESS_MAIN(UpdateInstallerTest)
#include "tst_updateinstaller.moc"
