// Only footage leaves the machine: links out of the footage folder, pipes and documents under a
// clip's name are refused, and scanning does not make reels of them.
#include "TestSupport.h"
#include "media/MediaTestSupport.h"
#include "workspace/FootageCheck.h"
#include "workspace/Workspace.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace Tessaryn;

class FootageCheckTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString footage;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(dir.filePath("settings"));
        footage = dir.filePath("footage");
        QVERIFY(QDir().mkpath(footage));
        QVERIFY(MediaTestSupport::generateClip(dir.filePath("footage/clip.mp4"), 32, 32, 5, 1.0));
        QVERIFY(MediaTestSupport::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                                     "testsrc2=size=32x32:duration=1", "-c:v",
                                                     "ffv1", dir.filePath("footage/clip.mkv")}));
        QVERIFY(TestSupport::writeFile(dir.filePath("private/id_key"), "-----BEGIN KEY-----\n"));
        QVERIFY(TestSupport::writeFile(dir.filePath("footage/notes.mp4"), "Shopping list\n"));
        QVERIFY(QFile::link(dir.filePath("private/id_key"), dir.filePath("footage/leak.mp4")));
        QVERIFY(QFile::link(dir.filePath("footage/clip.mp4"), dir.filePath("footage/alias.mov")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("footage/pipe.mp4")).constData(), 0600),
                 0);
    }

    void onlyFootageIsAccepted_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("mp4 clip") << "clip.mp4"
                                  << "";
        QTest::newRow("matroska clip") << "clip.mkv"
                                       << "";
        QTest::newRow("link to a clip inside") << "alias.mov"
                                               << "";
        QTest::newRow("link to a private file") << "leak.mp4"
                                                << "not inside the footage folder";
        QTest::newRow("document named as a clip") << "notes.mp4"
                                                  << "is not a video file";
        QTest::newRow("named pipe") << "pipe.mp4"
                                    << "is not a regular file";
        QTest::newRow("missing") << "gone.mp4"
                                 << "does not exist";
        QTest::newRow("outside by path") << "../private/id_key"
                                         << "not inside the footage folder";
    }

    void onlyFootageIsAccepted() {
        QFETCH(QString, file);
        QFETCH(QString, refusal);
        const QString problem = FootageCheck::problem(QDir(footage).filePath(file), footage);
        if (refusal.isEmpty())
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        else
            QVERIFY2(problem.contains(refusal), qPrintable(problem));
    }

    void aLinkOutOfTheFolderIsNoReel() {
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.create(dir.filePath("project"), "P", footage));
        QVERIFY(workspace.findReelByName("alias"));
        QVERIFY(workspace.findReelByName("clip"));
        QVERIFY(!workspace.findReelByName("leak"));
    }
};

QTEST_GUILESS_MAIN(FootageCheckTest)
#include "tst_footagecheck.moc"
