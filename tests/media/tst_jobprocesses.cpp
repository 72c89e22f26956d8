// What every ffmpeg and ffprobe child of the studio has in common: it never sees the API key, it
// dies with the studio, and its scratch files are its own.
#include "FakeTools.h"
#include "MediaTestSupport.h"
#include "TestSupport.h"
#include "media/FFmpegEngine.h"
#include "media/FrameGrabJob.h"
#include "media/ProbeJob.h"
#include "media/Stitcher.h"
#include "timeline/TimelineData.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Tessaryn;

namespace {

TimelineData timeline(double end, double speed) {
    Segment s;
    s.source_end = end;
    s.classification = Classification::Milestone;
    s.speed_factor = speed;
    TimelineData data;
    data.segments = {s};
    data.total_edited_duration = end / speed;
    return data;
}

// A process that has ended, whether or not anybody has reaped it yet.
bool alive(qint64 pid) {
    const QByteArray stat = TestSupport::readFile(QString("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (stat.isEmpty() || close < 0)
        return false;
    const char state = close + 2 < stat.size() ? stat.at(close + 2) : 'X';
    return state != 'Z' && state != 'X';
}

// The studio in miniature for the orphan test: a render that runs for minutes, until killed.
int holdRender(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FFmpegEngine engine;
    if (!engine.renderEditedVideo(QString::fromLocal8Bit(argv[2]), timeline(2, 0.0005),
                                  QString::fromLocal8Bit(argv[3])))
        return 1;
    return app.exec();
}

} // namespace

class JobProcessesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString one; // 1 s
    QString two; // 2 s

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        one = dir.filePath("one.mp4");
        two = dir.filePath("two.mp4");
        QVERIFY(MediaTestSupport::generateClip(one, 160, 120, 25, 1));
        QVERIFY(MediaTestSupport::generateClip(two, 160, 120, 25, 2));
    }

    void cleanup() { qunsetenv("GEMINI_API_KEY"); }

    void childrenNeverSeeTheApiKey_data() {
        QTest::addColumn<QString>("job");
        for (const char* job :
             {"render", "proxy", "stitch", "probe", "frame grab", "blocking probe"})
            QTest::newRow(job) << job;
    }

    void childrenNeverSeeTheApiKey() {
        QFETCH(QString, job);
        FakeTools tools(dir.filePath(QString("tools %1").arg(job)));
        const QString seen = QDir(tools.dir).filePath("seen.txt");
        for (const QString& tool : {QString("ffmpeg"), QString("ffprobe")}) {
            const QString real = tool == "ffmpeg" ? tools.realFFmpeg : tools.realFFprobe;
            QVERIFY(tools.place(tool, QString("echo \"%1 ${GEMINI_API_KEY-absent}\" >> '%2'\n"
                                              "exec '%3' \"$@\"")
                                          .arg(tool, seen, real)));
        }
        tools.activate();
        qputenv("GEMINI_API_KEY", "test-key");
        // Any other child of the studio inherits the key, so its absence below is the jobs' doing.
        QVERIFY(MediaTestSupport::runTool(QDir(tools.dir).filePath("ffprobe"), {"-version"}));
        QCOMPARE(TestSupport::readFile(seen), QByteArray("ffprobe test-key\n"));
        QFile::remove(seen);

        const QString out = QDir(tools.dir).filePath("out.mp4");
        bool success = false;
        bool done = false;
        const auto record = [&](bool ok, const QString&, const QString&) {
            success = ok;
            done = true;
        };
        FFmpegEngine engine;
        engine.finishedCallback = record;
        Stitcher stitcher;
        stitcher.finishedCallback = record;
        ProbeJob probe(one);
        FrameGrabJob grab;
        probe.finishedCallback = grab.finishedCallback = [&](bool ok, const QString&) {
            record(ok, QString(), QString());
        };
        grab.setRequest(one, 0.5);
        if (job == "render")
            engine.renderEditedVideo(one, timeline(1, 1), out);
        else if (job == "proxy")
            engine.createProxy(one, out, 60);
        else if (job == "stitch")
            stitcher.stitchClips({one, two}, out);
        else if (job == "probe")
            probe.start();
        else if (job == "frame grab")
            grab.start();
        else
            record(FFmpegEngine::getVideoDuration(one) > 0.0, QString(), QString());
        QVERIFY(QTest::qWaitFor([&] { return done; }, 60000));
        QVERIFY(success);
        const QStringList lines =
            QString::fromUtf8(TestSupport::readFile(seen)).split('\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines)
            QVERIFY2(line.endsWith(" absent"), qPrintable(line));
    }

    // The studio is killed outright, with no chance to end its render; the render goes too.
    void childrenDieWithTheStudio() {
        FakeTools tools(dir.filePath("tools orphans"));
        const QString pids = QDir(tools.dir).filePath("pids.txt");
        // Its standard error goes elsewhere: a child that writes nothing to the dead studio's pipes
        // gets no SIGPIPE and, left alone, would render on for minutes.
        QVERIFY(tools.place(
            "ffmpeg",
            QString("echo $$ >> '%1'\nexec '%2' \"$@\" 2>/dev/null").arg(pids, tools.realFFmpeg)));
        QVERIFY(tools.placeRealProbe());
        tools.activate();
        QProcess studio;
        studio.start(QCoreApplication::applicationFilePath(),
                     {"--hold-render", two, dir.filePath("orphans/film.mp4")});
        QVERIFY(studio.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return !TestSupport::readFile(pids).isEmpty(); }, 30000));
        const qint64 render = TestSupport::readFile(pids).trimmed().toLongLong();
        QVERIFY(render > 0);
        QVERIFY(alive(render));

        studio.kill();
        QVERIFY(studio.waitForFinished());
        const bool ended = QTest::qWaitFor([&] { return !alive(render); }, 10000);
        // An orphan left by a failure is ended through its own id, never by name.
        if (!ended)
            ::kill(static_cast<pid_t>(render), SIGKILL);
        QVERIFY(ended);
    }

    // Two stitches into one folder at once: neither may join the other's list.
    void stitchesSideBySide() {
        const QString folder = dir.filePath("side by side");
        const QString first = QDir(folder).filePath("First_Master_Release.mp4");
        const QString second = QDir(folder).filePath("Second_Master_Release.mp4");
        Stitcher a;
        Stitcher b;
        QList<QPair<bool, QString>> finished;
        a.finishedCallback =
            b.finishedCallback = [&](bool ok, const QString& path, const QString& error) {
                finished.append({ok, ok ? path : error});
            };
        a.stitchClips({one, two}, first);
        b.stitchClips({two, two}, second);
        QVERIFY(QTest::qWaitFor([&] { return finished.size() == 2; }, 60000));
        QVERIFY2(finished[0].first, qPrintable(finished[0].second));
        QVERIFY2(finished[1].first, qPrintable(finished[1].second));
        QVERIFY(qAbs(MediaTestSupport::formatDuration(first) - 3.0) < 0.1);
        QVERIFY(qAbs(MediaTestSupport::formatDuration(second) - 4.0) < 0.1);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"First_Master_Release.mp4", "Second_Master_Release.mp4"}));
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--hold-render")
        return holdRender(argc, argv);
    QCoreApplication app(argc, argv);
    JobProcessesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_jobprocesses.moc"
