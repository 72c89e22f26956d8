#include "MediaTestSupport.h"
#include "TestSupport.h"
#include "media/Stitcher.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace Tessaryn;

namespace {

struct Recorder {
    QList<int> progress;
    QList<bool> successes;
    QStringList paths;
    QStringList errors;
    int progressAtFinish = -1;

    void attach(Stitcher& stitcher) {
        stitcher.progressCallback = [this](int percent) { progress.append(percent); };
        stitcher.finishedCallback = [this](bool ok, const QString& path, const QString& error) {
            progressAtFinish = progress.isEmpty() ? -1 : progress.last();
            successes.append(ok);
            paths.append(path);
            errors.append(error);
        };
    }
    bool waitForFinish() {
        return QTest::qWaitFor([this] { return !successes.isEmpty(); }, 30000);
    }
};

} // namespace

class StitcherTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    // Cuts of one format, 1, 2 and 3 seconds long, and one of another size.
    QString cut1, cut2, cut3, smaller;

    QString clipsFolder() const { return dir.filePath("cuts"); }

    // Every file of the output's folder, scratch and list files included.
    static QStringList filesBeside(const QString& output) {
        return QDir(QFileInfo(output).path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QDir().mkpath(clipsFolder());
        cut1 = dir.filePath("cuts/one_edited.mp4");
        cut2 = dir.filePath("cuts/client's two_edited.mp4");
        cut3 = dir.filePath("cuts/three_edited.mp4");
        smaller = dir.filePath("cuts/small_edited.mp4");
        QVERIFY(MediaTestSupport::generateClip(cut1, 320, 240, 25, 1));
        QVERIFY(MediaTestSupport::generateClip(cut2, 320, 240, 25, 2));
        QVERIFY(MediaTestSupport::generateClip(cut3, 320, 240, 25, 3));
        QVERIFY(MediaTestSupport::generateClip(smaller, 160, 120, 25, 1));
    }

    void stitchesTheExistingCuts_data() {
        QTest::addColumn<QStringList>("clips");
        QTest::addColumn<double>("duration");
        QTest::newRow("three cuts, the output folder created")
            << QStringList{"one_edited.mp4", "client's two_edited.mp4", "three_edited.mp4"} << 6.0;
        QTest::newRow("missing middle cut skipped")
            << QStringList{"one_edited.mp4", "gone_edited.mp4", "three_edited.mp4"} << 4.0;
        // ffmpeg reads relative list entries against the list's folder, not the working folder.
        QTest::newRow("relative paths") << QStringList{"three_edited.mp4", "one_edited.mp4"} << 4.0;
    }

    void stitchesTheExistingCuts() {
        QFETCH(QStringList, clips);
        QFETCH(double, duration);
        const bool relative = QByteArray(QTest::currentDataTag()) == "relative paths";
        const QString previousFolder = QDir::currentPath();
        if (relative)
            QDir::setCurrent(clipsFolder());
        QStringList paths;
        for (const QString& name : clips)
            paths << (relative ? name : QDir(clipsFolder()).filePath(name));
        const QString out = dir.filePath(
            QString("release %1/new/Film_Master_Release.mp4").arg(QTest::currentDataTag()));
        Stitcher stitcher;
        Recorder recorder;
        recorder.attach(stitcher);

        stitcher.stitchClips(paths, out);
        // The list lives beside the output under a name of this process's own.
        const QStringList lists =
            QDir(QFileInfo(out).path())
                .entryList({".concat_list.*.txt"}, QDir::Files | QDir::Hidden);
        QCOMPARE(lists.size(), 1);
        QVERIFY(lists[0].startsWith(
            QString(".concat_list.%1.").arg(QCoreApplication::applicationPid())));
        const bool finished = recorder.waitForFinish();
        QDir::setCurrent(previousFolder);
        QVERIFY(finished);
        QCOMPARE(recorder.successes, QList<bool>{true});
        QCOMPARE(recorder.paths, QStringList{out});
        QCOMPARE(recorder.errors, QStringList{QString()});
        QCOMPARE(recorder.progress, (QList<int>{10, 100}));
        QCOMPARE(recorder.progressAtFinish, 100);
        QCOMPARE(filesBeside(out), QStringList{"Film_Master_Release.mp4"});
        QVERIFY(qAbs(MediaTestSupport::formatDuration(out) - duration) < 0.1);
        QCOMPARE(MediaTestSupport::streams(out), QStringList{"h264|video|320|240|yuv420p"});
    }

    void refusesWhatCannotBeStitched_data() {
        QTest::addColumn<QStringList>("clips");
        QTest::addColumn<QString>("error");
        QTest::newRow("no clips") << QStringList{} << "No clips provided for master release.";
        QTest::newRow("none exists")
            << QStringList{"gone_edited.mp4"} << "None of the clips to stitch exists.";
        QTest::newRow("line break in a path")
            << QStringList{"one_edited.mp4", "two\nlines.mp4"}
            << "Cannot stitch %1: the concat list cannot hold a path with a line break.";
    }

    // Refused at once: one failure, no process, no list file.
    void refusesWhatCannotBeStitched() {
        QFETCH(QStringList, clips);
        QFETCH(QString, error);
        QStringList paths;
        for (const QString& name : clips)
            paths << QDir(clipsFolder()).filePath(name);
        QVERIFY(TestSupport::writeFile(QDir(clipsFolder()).filePath("two\nlines.mp4"), "x"));
        const QString out = dir.filePath("refused/Film_Master_Release.mp4");
        Stitcher stitcher;
        Recorder recorder;
        recorder.attach(stitcher);
        stitcher.stitchClips(paths, out);
        QCOMPARE(recorder.successes, QList<bool>{false});
        QCOMPARE(recorder.paths, QStringList{out});
        QCOMPARE(recorder.errors,
                 QStringList{error.contains("%1") ? error.arg(paths.value(1)) : error});
        QVERIFY(!stitcher.isRunning());
        QCOMPARE(filesBeside(out), QStringList());
    }

    void failsOnCutsThatDoNotMatch_data() {
        QTest::addColumn<QString>("odd");
        QTest::addColumn<QString>("named");
        QTest::newRow("other size") << "small_edited.mp4"
                                    << "small_edited.mp4";
        QTest::newRow("no video") << "notes.mp4"
                                  << "notes.mp4";
    }

    // Stream copy would join these into a broken film that ffmpeg still calls a success; the
    // previous film stays as it was.
    void failsOnCutsThatDoNotMatch() {
        QFETCH(QString, odd);
        QFETCH(QString, named);
        QVERIFY(TestSupport::writeFile(QDir(clipsFolder()).filePath("notes.mp4"), "not a film"));
        const QString out = dir.filePath(
            QString("mismatch %1/Film_Master_Release.mp4").arg(QTest::currentDataTag()));
        QVERIFY(TestSupport::writeFile(out, "previous film"));
        Stitcher stitcher;
        Recorder recorder;
        recorder.attach(stitcher);
        stitcher.stitchClips({cut1, QDir(clipsFolder()).filePath(odd), cut3}, out);
        QVERIFY(recorder.waitForFinish());
        QCOMPARE(recorder.successes, QList<bool>{false});
        QVERIFY2(recorder.errors[0].contains(named), qPrintable(recorder.errors[0]));
        QCOMPARE(recorder.progressAtFinish, 100);
        QCOMPARE(filesBeside(out), QStringList{"Film_Master_Release.mp4"});
        QCOMPARE(TestSupport::readFile(out), QByteArray("previous film"));
    }

    // A named pipe without a writer keeps the stitch busy until it is ended.
    void cancelAndDestructionEndTheStitch_data() {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("cancel") << false;
        QTest::newRow("destroy") << true;
    }

    void cancelAndDestructionEndTheStitch() {
        QFETCH(bool, destroy);
        const QString pipe = dir.filePath(QString("stalled %1.mp4").arg(QTest::currentDataTag()));
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        const QString out = dir.filePath(
            QString("stalled %1/Film_Master_Release.mp4").arg(QTest::currentDataTag()));
        auto stitcher = std::make_unique<Stitcher>();
        Recorder recorder;
        recorder.attach(*stitcher);
        stitcher->stitchClips({pipe, cut1}, out);
        QVERIFY(stitcher->isRunning());
        QTest::qWait(200);
        QVERIFY(stitcher->isRunning());
        QVERIFY(recorder.successes.isEmpty());

        if (destroy) {
            stitcher.reset();
            QTest::qWait(50);
            QVERIFY(recorder.successes.isEmpty());
        } else {
            stitcher->cancel();
            QCOMPARE(recorder.successes, QList<bool>{false});
            QVERIFY(!recorder.errors[0].isEmpty());
            QVERIFY(!stitcher->isRunning());
            stitcher->cancel();
            QCOMPARE(recorder.successes.size(), 1);
        }
        QCOMPARE(filesBeside(out), QStringList());
    }
};

QTEST_GUILESS_MAIN(StitcherTest)
#include "tst_stitcher.moc"
