// The master film takes the reels Workspace::releaseOrder names, in its order, and only cuts
// that still follow their timelines. Real renders and a real stitch on clips of one colour each,
// so the film's order can be read back from its frames.
#include "TestSupport.h"
#include "media/MediaTestSupport.h"
#include "pipeline/ReelJobQueue.h"
#include "pipeline/ReelOutputWriter.h"
#include "timeline/TimelineMath.h"
#include "workspace/Workspace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

bool colourClip(const QString& path, const QString& colour) {
    return MediaTestSupport::runTool(
        "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                   QStringLiteral("color=c=%1:size=64x64:rate=25:duration=1").arg(colour), "-c:v",
                   "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", path});
}

// The colour of the film at a moment: "r", "g" or "b" for whichever channel dominates.
QString colourAt(const QString& film, double seconds) {
    QByteArray rgb;
    if (!MediaTestSupport::runTool("ffmpeg",
                                   {"-v", "error", "-ss", QString::number(seconds), "-i", film,
                                    "-frames:v", "1", "-vf", "scale=1:1", "-f", "rawvideo",
                                    "-pix_fmt", "rgb24", "-"},
                                   &rgb) ||
        rgb.size() < 3)
        return QStringLiteral("?");
    const int r = quint8(rgb[0]), g = quint8(rgb[1]), b = quint8(rgb[2]);
    if (r > g && r > b)
        return QStringLiteral("r");
    return g > b ? QStringLiteral("g") : QStringLiteral("b");
}

TimelineData keepAll() {
    TimelineData data;
    Segment whole;
    whole.source_end = 1.0;
    whole.classification = Classification::Milestone;
    data.segments = {whole};
    TimelineMath::computeTimeline(data, 10.0, 2.0);
    return data;
}

} // namespace

class ReleaseStitchTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString footage;

    struct Run {
        int clips = -1;
        QString leftOut;
        bool success = false;
        QString output;
    };

    // One stitch (or render) through the queue, waited for.
    static Run stitch(Workspace& workspace) {
        ReelJobQueue queue(&workspace);
        Run run;
        bool done = false;
        queue.jobStartedCallback = [&](JobKind, const QString&, int clips) { run.clips = clips; };
        queue.refusedCallback = [&](ReelJobQueue::Refusal refusal, const QString&,
                                    const QString& detail) {
            if (refusal == ReelJobQueue::Refusal::StaleCutsLeftOut)
                run.leftOut = detail;
            else
                done = true;
        };
        queue.jobFinishedCallback = [&](const JobOutcome& outcome) {
            run.success = outcome.success;
            run.output = outcome.outputPath;
            done = true;
        };
        queue.stitchMaster();
        [[maybe_unused]] const bool finished = QTest::qWaitFor([&] { return done; }, 60000);
        return run;
    }

    static bool render(Workspace& workspace, const QString& name) {
        ReelJobQueue queue(&workspace);
        queue.setSavesWorkspace(false);
        bool done = false;
        bool success = false;
        queue.jobFinishedCallback = [&](const JobOutcome& outcome) {
            success = outcome.success;
            done = true;
        };
        queue.refusedCallback = [&](ReelJobQueue::Refusal, const QString&, const QString&) {
            done = true;
        };
        for (int i = 0; i < workspace.reels.size(); ++i) {
            if (workspace.reels.at(i).name == name)
                queue.renderReel(i);
        }
        return QTest::qWaitFor([&] { return done; }, 60000) && success;
    }

    // A project over the three coloured clips, each analysed and rendered.
    QString renderedProject(const QString& name) {
        const QString root = dir.filePath(name);
        Workspace workspace;
        workspace.remembersRecent = false;
        if (!workspace.create(root, name, footage))
            return QString();
        for (Reel& reel : workspace.reels) {
            reel.timeline = keepAll();
            if (!ReelOutputWriter::writeAnalysis(reel, reel.timeline).timelineSaved)
                return QString();
        }
        for (const Reel& reel : std::as_const(workspace.reels)) {
            if (!render(workspace, reel.name))
                return QString();
        }
        return workspace.save() ? root : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(dir.filePath("settings"));
        footage = dir.filePath("footage");
        QVERIFY(QDir().mkpath(footage));
        // In code-unit order these would run Take 10, Take 9, take 2.
        QVERIFY(colourClip(footage + "/take 2.mp4", "red"));
        QVERIFY(colourClip(footage + "/Take 9.mp4", "green"));
        QVERIFY(colourClip(footage + "/Take 10.mp4", "blue"));
    }

    void filmOrderAndExclusions_data() {
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QString>("colours");
        QTest::newRow("natural") << QStringList() << QStringList() << "rgb";
        QTest::newRow("one left out") << QStringList() << QStringList{"Take 9"} << "rb";
        QTest::newRow("one moved first") << QStringList{"Take 10"} << QStringList() << "brg";
        QTest::newRow("all reordered, one out")
            << QStringList{"Take 10", "Take 9", "take 2"} << QStringList{"take 2"} << "bg";
    }

    void filmOrderAndExclusions() {
        QFETCH(QStringList, order);
        QFETCH(QStringList, excluded);
        QFETCH(QString, colours);
        static const QString root = renderedProject("Order");
        QVERIFY(!root.isEmpty());
        {
            Workspace chooser;
            chooser.remembersRecent = false;
            QVERIFY(chooser.load(root));
            chooser.setReleaseOrder(order, excluded);
            QVERIFY(chooser.save());
        }
        // The choice is read back from workspace.json, as a later session would.
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.load(root));
        const Run run = stitch(workspace);
        QVERIFY(run.success);
        QCOMPARE(run.clips, int(colours.size()));
        QString seen;
        for (int i = 0; i < colours.size(); ++i)
            seen += colourAt(run.output, i + 0.5);
        QCOMPARE(seen, colours);
    }

    void staleCutIsLeftOutUntilRenderedAgain() {
        const QString root = renderedProject("Stale");
        QVERIFY(!root.isEmpty());
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.load(root));
        Reel* edited = workspace.findReelByName("Take 9");
        QVERIFY(edited && edited->hasCurrentCut());

        // The timeline is rewritten after the render, as a re-analysis or a hand edit does.
        QFile cut(edited->rendered_path);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
        cut.close();
        QVERIFY(edited->cutIsStale());
        QVERIFY(!edited->hasCurrentCut());

        Run run = stitch(workspace);
        QCOMPARE(run.leftOut, QString("Take 9"));
        QVERIFY(run.success);
        QCOMPARE(run.clips, 2);
        QCOMPARE(colourAt(run.output, 0.5) + colourAt(run.output, 1.5), QString("rb"));

        QVERIFY(render(workspace, "Take 9"));
        QVERIFY(!workspace.findReelByName("Take 9")->cutIsStale());
        run = stitch(workspace);
        QVERIFY(run.leftOut.isEmpty());
        QCOMPARE(run.clips, 3);
        QVERIFY(run.success);
    }

    void batchRenderBringsStaleCutsUpToDate() {
        const QString root = renderedProject("Batch");
        QVERIFY(!root.isEmpty());
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.load(root));
        const Reel* edited = workspace.findReelByName("take 2");
        QFile cut(edited->rendered_path);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
        cut.close();

        ReelJobQueue queue(&workspace);
        queue.setSavesWorkspace(false);
        QStringList rendered;
        bool finished = false;
        queue.jobFinishedCallback = [&](const JobOutcome& outcome) {
            if (outcome.success)
                rendered << outcome.reelName;
        };
        queue.batchFinishedCallback = [&] { finished = true; };
        queue.startBatch(JobKind::Render);
        QVERIFY(QTest::qWaitFor([&] { return finished; }, 60000));
        // Only the stale cut was rendered again; the current ones were left alone.
        QCOMPARE(rendered, QStringList{"take 2"});
        QVERIFY(workspace.findReelByName("take 2")->hasCurrentCut());
    }

    void everyCutStaleStitchesNothing() {
        const QString root = renderedProject("AllStale");
        QVERIFY(!root.isEmpty());
        Workspace workspace;
        workspace.remembersRecent = false;
        QVERIFY(workspace.load(root));
        for (const Reel& reel : std::as_const(workspace.reels)) {
            QFile cut(reel.rendered_path);
            QVERIFY(cut.open(QIODevice::ReadWrite));
            QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                    QFileDevice::FileModificationTime));
        }
        const Run run = stitch(workspace);
        QCOMPARE(run.leftOut, QString("take 2, Take 9, Take 10"));
        QCOMPARE(run.clips, -1); // nothing started
        QVERIFY(!QFile::exists(workspace.getMasterPath()));
    }
};

QTEST_MAIN(ReleaseStitchTest)
#include "tst_releasestitch.moc"
