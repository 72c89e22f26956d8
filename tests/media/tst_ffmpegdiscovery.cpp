#include "MediaTestSupport.h"
#include "TestSupport.h"
#include "media/FFmpegEngine.h"
#include "media/Stitcher.h"
#include "timeline/TimelineData.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

// Discovery follows PATH and the user's data folder, which each case sets up and then restores.
class FFmpegDiscoveryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QByteArray originalPath;
    QByteArray originalDataHome;
    QString clip;

    // An executable placeholder: discovery looks for files, it never runs them.
    QString placeTool(const QString& relativePath) {
        const QString path = dir.filePath(relativePath);
        if (!TestSupport::writeFile(path, "#!/bin/sh\nexit 1\n"))
            return {};
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    void usePath(const QStringList& folders, const QString& dataHome) {
        QStringList absolute;
        for (const QString& folder : folders)
            absolute << dir.filePath(folder);
        qputenv("PATH", QFile::encodeName(absolute.join(QDir::listSeparator())));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(dataHome)));
        QDir().mkpath(dir.filePath(dataHome));
    }

    // Neither ffmpeg nor ffprobe can be found anywhere.
    void hideEverything() { usePath({"empty"}, "empty-data"); }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        originalPath = qgetenv("PATH");
        originalDataHome = qgetenv("XDG_DATA_HOME");
        clip = dir.filePath("clip.mp4");
        QVERIFY(MediaTestSupport::generateClip(clip, 160, 120, 25, 1));
    }

    void cleanup() {
        qputenv("PATH", originalPath);
        if (originalDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", originalDataHome);
    }

    void findsTheTools_data() {
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("ffmpeg");
        QTest::addColumn<QString>("ffprobe");
        QTest::addColumn<bool>("available");
        QTest::newRow("side by side on PATH")
            << QStringList{"a/ffmpeg", "a/ffprobe"} << QStringList{"a"} << "a/ffmpeg"
            << "a/ffprobe" << true;
        QTest::newRow("ffprobe elsewhere on PATH")
            << QStringList{"b1/ffmpeg", "b2/ffprobe"} << QStringList{"b1", "b2"} << "b1/ffmpeg"
            << "b2/ffprobe" << true;
        QTest::newRow("no ffprobe is never ffmpeg")
            << QStringList{"c/ffmpeg"} << QStringList{"c"} << "c/ffmpeg"
            << "ffprobe" << true;
        QTest::newRow("WinGet links of the current user")
            << QStringList{"d-data/Microsoft/WinGet/Links/ffmpeg.exe",
                           "d-data/Microsoft/WinGet/Links/ffprobe.exe"}
            << QStringList{"empty"} << "d-data/Microsoft/WinGet/Links/ffmpeg.exe"
            << "d-data/Microsoft/WinGet/Links/ffprobe.exe" << true;
        QTest::newRow("nothing installed") << QStringList{} << QStringList{"empty"} << "ffmpeg"
                                           << "ffprobe" << false;
    }

    void findsTheTools() {
        QFETCH(QStringList, tools);
        QFETCH(QStringList, path);
        QFETCH(QString, ffmpeg);
        QFETCH(QString, ffprobe);
        QFETCH(bool, available);
        for (const QString& tool : tools)
            QVERIFY(!placeTool(tool).isEmpty());
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        usePath(path, tag.startsWith("WinGet") ? "d-data" : "empty-data");
        const auto resolved = [this](const QString& name) {
            return name.contains('/') ? dir.filePath(name) : name;
        };
        QCOMPARE(FFmpegEngine::findFFmpeg(), resolved(ffmpeg));
        QCOMPARE(FFmpegEngine::findFFprobe(), resolved(ffprobe));
        QCOMPARE(FFmpegEngine::isAvailable(), available);
    }

    // A program that cannot be started must still end the job with one failure naming it.
    void engineReportsAProgramThatCannotStart_data() {
        QTest::addColumn<bool>("proxy");
        QTest::newRow("render") << false;
        QTest::newRow("proxy") << true;
    }

    void engineReportsAProgramThatCannotStart() {
        QFETCH(bool, proxy);
        hideEverything();
        const QString out = dir.filePath("unstarted/cut.mp4");
        FFmpegEngine engine;
        QList<QPair<bool, QString>> finished;
        engine.finishedCallback = [&](bool ok, const QString& path, const QString& error) {
            QCOMPARE(path, out);
            finished.append({ok, error});
        };
        TimelineData data;
        Segment s;
        s.source_end = 1.0;
        s.classification = Classification::Milestone;
        data.segments = {s};
        data.total_edited_duration = 1.0;
        if (proxy)
            engine.createProxy(clip, out, 60);
        else
            engine.renderEditedVideo(clip, data, out);
        QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 5000));
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!finished[0].first);
        QVERIFY2(finished[0].second.startsWith("Cannot start ffmpeg: ") &&
                     finished[0].second.size() > QString("Cannot start ffmpeg: ").size(),
                 qPrintable(finished[0].second));
        QVERIFY(!engine.isRunning());
        QCOMPARE(QDir(dir.filePath("unstarted")).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void stitcherReportsAProgramThatCannotStart_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("no ffprobe") << "ffprobe";
        QTest::newRow("no ffmpeg") << "ffmpeg";
    }

    void stitcherReportsAProgramThatCannotStart() {
        QFETCH(QString, program);
        hideEverything();
        if (program == "ffmpeg") {
            // The real ffprobe alone, so the probe passes and ffmpeg is what is missing.
            const QString real = QStandardPaths::findExecutable("ffprobe", {"/usr/bin"});
            QVERIFY(!real.isEmpty());
            QDir().mkpath(dir.filePath("probe-only"));
            QFile::link(real, dir.filePath("probe-only/ffprobe"));
            usePath({"probe-only"}, "empty-data");
        }
        const QString out =
            dir.filePath(QString("release-%1/Film_Master_Release.mp4").arg(program));
        Stitcher stitcher;
        QList<QPair<bool, QString>> finished;
        stitcher.finishedCallback = [&](bool ok, const QString&, const QString& error) {
            finished.append({ok, error});
        };
        stitcher.stitchClips({clip, clip}, out);
        QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 10000));
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!finished[0].first);
        QVERIFY2(finished[0].second.startsWith("Cannot start " + program + ": "),
                 qPrintable(finished[0].second));
        QVERIFY(!stitcher.isRunning());
        QCOMPARE(QDir(QFileInfo(out).path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(FFmpegDiscoveryTest)
#include "tst_ffmpegdiscovery.moc"
