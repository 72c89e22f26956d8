#include "TestSupport.h"
#include "workspace/DemoWorkspace.h"
#include "workspace/Workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

class DemoWorkspaceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir;
    QTemporaryDir projects;
    QString ffmpeg;

    double probeDuration(const QString& clip) {
        QProcess probe;
        probe.start(QStandardPaths::findExecutable("ffprobe"),
                    {"-v", "error", "-show_entries", "format=duration", "-of",
                     "default=noprint_wrappers=1:nokey=1", clip});
        if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
            return -1.0;
        return probe.readAllStandardOutput().trimmed().toDouble();
    }

private slots:
    void initTestCase() {
        TestSupport::isolateSettings(settingsDir.path());
        ffmpeg = QStandardPaths::findExecutable("ffmpeg");
        QVERIFY2(!ffmpeg.isEmpty(), "ffmpeg is installed by scripts/install-deps.sh");
    }

    void buildsAnOpenableDemo() {
        const DemoWorkspace::Result result = DemoWorkspace::ensure(projects.path(), ffmpeg);
        QVERIFY2(result.ok, qPrintable(result.error));

        Workspace ws;
        QVERIFY(ws.load(result.workspacePath));
        QVERIFY(ws.project_name.contains("Demo"));
        QCOMPARE(ws.reels.size(), 3);
        int analysed = 0;
        for (const Reel& reel : ws.reels) {
            QVERIFY2(QFileInfo(reel.source_path).isFile(), qPrintable(reel.source_path));
            const double seconds = probeDuration(reel.source_path);
            QVERIFY2(qAbs(seconds - reel.duration) < 0.2, qPrintable(reel.name));
            if (reel.status == ReelStatus::Analyzed) {
                ++analysed;
                QVERIFY(!reel.timeline.segments.isEmpty());
                // Every kept segment lies inside its clip, so a render can trim it.
                for (const Segment& s : reel.timeline.segments)
                    QVERIFY(s.source_end <= seconds + 0.05);
                QVERIFY(reel.timeline.total_edited_duration > 0.0);
                QVERIFY(reel.timeline.total_edited_duration < reel.timeline.total_source_duration);
                for (const QString& file : {reel.source_markers_path, reel.edited_markers_path,
                                            reel.source_srt_path, reel.edited_srt_path})
                    QVERIFY2(QFileInfo(file).size() > 0, qPrintable(file));
            } else {
                QCOMPARE(reel.status, ReelStatus::Pending);
                QVERIFY(reel.timeline.segments.isEmpty());
            }
        }
        QCOMPARE(analysed, 2);
        // The unclassified pause of the second answer was rescued as a cut.
        const Reel* gears = ws.findReelByName("02_gear_train");
        QVERIFY(gears);
        QCOMPARE(gears->timeline.segments.at(2).classification, Classification::StaticPause);
        QCOMPARE(gears->timeline.segments.at(2).speed_factor, 0.0);
        // No half-written clip is left for a scan to pick up.
        QCOMPARE(QDir(projects.filePath(DemoWorkspace::footageFolderName()))
                     .entryList(QDir::Files)
                     .size(),
                 3);
    }

    void secondRunKeepsTheUsersDemo() {
        const QString root = projects.filePath(DemoWorkspace::folderName());
        Workspace ws;
        QVERIFY(ws.load(root));
        ws.project_name = "Renamed by the user";
        QVERIFY(ws.save());
        const DemoWorkspace::Result again = DemoWorkspace::ensure(projects.path(), ffmpeg);
        QVERIFY(again.ok);
        Workspace reloaded;
        QVERIFY(reloaded.load(again.workspacePath));
        QCOMPARE(reloaded.project_name, QString("Renamed by the user"));
    }

    void missingFfmpegIsReported() {
        QTemporaryDir other;
        const DemoWorkspace::Result r =
            DemoWorkspace::ensure(other.path(), other.filePath("no-ffmpeg-here"));
        QVERIFY(!r.ok);
        QVERIFY(r.error.contains("no-ffmpeg-here"));
        QVERIFY(!QFileInfo::exists(QDir(r.workspacePath).filePath("workspace.json")));
    }
};

QTEST_GUILESS_MAIN(DemoWorkspaceTest)
#include "tst_demoworkspace.moc"
