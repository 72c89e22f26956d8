#include "MediaTestSupport.h"
#include "TestSupport.h"
#include "media/FFmpegEngine.h"
#include "timeline/TimelineData.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Tessaryn;

namespace {

constexpr double Frame = 1.0 / 25.0;

struct Finished {
    bool success = false;
    QString path;
    QString error;
};

struct Progress {
    int percent = 0;
    double seconds = 0.0;
    double total = 0.0;
};

struct Recorder {
    QList<Finished> finished;
    QList<Progress> progress;
    QStringList log;

    void attach(FFmpegEngine& engine) {
        engine.finishedCallback = [this](bool ok, const QString& path, const QString& error) {
            finished.append({ok, path, error});
        };
        engine.progressCallback = [this](int percent, double seconds, double total) {
            progress.append({percent, seconds, total});
        };
        engine.logCallback = [this](const QString& line) { log.append(line); };
    }
};

Segment segment(double start, double end, Classification classification, double speed) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = classification;
    s.speed_factor = speed;
    return s;
}

TimelineData timeline(const QList<Segment>& segments) {
    TimelineData data;
    data.segments = segments;
    for (const Segment& s : segments) {
        if (s.classification != Classification::StaticPause && s.speed_factor > 0)
            data.total_edited_duration += (s.source_end - s.source_start) / s.speed_factor;
    }
    return data;
}

// Every file in the folder, the scratch files of a render included.
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A cut thousands of times longer than its source: every frame is repeated until the render has
// run for minutes, so it is still busy whenever the test ends it.
TimelineData endlessCut() {
    return timeline({segment(0, 2, Classification::Milestone, 0.0005)});
}

} // namespace

class FFmpegEngineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString source;      // 6 s, 320x240 at 25 fps, with a sound track
    QString largeSource; // 2 s, 640x480, with a sound track

    QString folder(const QString& name) const {
        const QString path = dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    // The encoder's delay holds the first readings at zero; after that a new reading arrives
    // about every half second.
    static bool waitForLiveProgress(const Recorder& recorder, int reports = 3) {
        return QTest::qWaitFor([&] { return recorder.progress.size() >= reports; }, 20000);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(FFmpegEngine::isAvailable());
        source = dir.filePath("source.mp4");
        largeSource = dir.filePath("large.mp4");
        QVERIFY(MediaTestSupport::generateClip(source, 320, 240, 25, 6, true));
        QVERIFY(MediaTestSupport::generateClip(largeSource, 640, 480, 25, 2, true));
    }

    void rendersTheEditedTimeline_data() {
        QTest::addColumn<QList<Segment>>("segments");
        QTest::newRow("kept, paused and sped up")
            << QList<Segment>{segment(0, 1.6, Classification::Milestone, 1),
                              segment(1.6, 2.4, Classification::StaticPause, 0),
                              segment(2.4, 6, Classification::RepetitiveAssembly, 10)};
        QTest::newRow("start below 0.0001 s")
            << QList<Segment>{segment(0.00005, 4, Classification::RepetitiveAssembly, 4),
                              segment(4, 6, Classification::Milestone, 1)};
    }

    void rendersTheEditedTimeline() {
        QFETCH(QList<Segment>, segments);
        const TimelineData data = timeline(segments);
        const QString out = QDir(dir.filePath(QString("render %1").arg(QTest::currentDataTag())))
                                .filePath("reel_edited.mp4");
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);

        QVERIFY(engine.renderEditedVideo(source, data, out));
        QCOMPARE(recorder.log,
                 QStringList{QString("Rendering speed-ramped video (2 segments) to %1").arg(out)});
        QVERIFY(QTest::qWaitFor([&] { return !recorder.finished.isEmpty(); }, 30000));
        QTest::qWait(50);
        QCOMPARE(recorder.finished.size(), 1);
        QVERIFY2(recorder.finished[0].success, qPrintable(recorder.finished[0].error));
        QCOMPARE(recorder.finished[0].path, out);
        QCOMPARE(recorder.finished[0].error, QString());
        QVERIFY(!engine.isRunning());

        QCOMPARE(filesIn(QFileInfo(out).path()), QStringList{"reel_edited.mp4"});
        QCOMPARE(MediaTestSupport::streams(out), QStringList{"h264|video|320|240|yuv420p"});
        const double duration = MediaTestSupport::formatDuration(out);
        QVERIFY2(
            qAbs(duration - data.total_edited_duration) <= Frame + 1e-3,
            qPrintable(QString("%1 against %2").arg(duration).arg(data.total_edited_duration)));

        QVERIFY(!recorder.progress.isEmpty());
        for (const Progress& p : recorder.progress) {
            QVERIFY(p.percent >= 0 && p.percent <= 100);
            QCOMPARE(p.total, data.total_edited_duration);
        }
        QVERIFY(recorder.progress.last().percent >= 90);
    }

    void refusesATimelineWithNothingToRender() {
        const QString out = dir.filePath("nothing/reel_edited.mp4");
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);
        const TimelineData data =
            timeline({segment(0, 3, Classification::StaticPause, 0),
                      segment(3, 4, Classification::Milestone, 0),
                      segment(4, 6, Classification::RepetitiveAssembly, -10)});
        QVERIFY(!engine.renderEditedVideo(source, data, out));
        QVERIFY(!engine.isRunning());
        QCOMPARE(recorder.finished.size(), 1);
        QVERIFY(!recorder.finished[0].success);
        QCOMPARE(recorder.finished[0].path, out);
        QCOMPARE(recorder.finished[0].error, QString("No active segments to render."));
        QVERIFY(recorder.log.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath("nothing")));
    }

    void failedRenderKeepsThePreviousCut() {
        const QString cutFolder = folder("failed");
        const QString out = QDir(cutFolder).filePath("reel_edited.mp4");
        QVERIFY(QFile::copy(source, out));
        const QByteArray previous = TestSupport::readFile(out);
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);

        // Refused before any launch: only an existing regular file is a source.
        QVERIFY(!engine.renderEditedVideo(dir.filePath("missing clip.mp4"),
                                          timeline({segment(0, 2, Classification::Milestone, 1)}),
                                          out));
        QVERIFY(!engine.isRunning());
        QCOMPARE(recorder.finished.size(), 1);
        QVERIFY(!recorder.finished[0].success);
        QVERIFY(recorder.finished[0].error.contains("missing clip.mp4"));
        QVERIFY(recorder.finished[0].error.size() <= FFmpegEngine::ErrorTailLength);
        QCOMPARE(TestSupport::readFile(out), previous);
        QCOMPARE(filesIn(cutFolder), QStringList{"reel_edited.mp4"});
    }

    void cancelEndsTheRenderOnce() {
        const QString cutFolder = folder("cancel");
        const QString out = QDir(cutFolder).filePath("reel_edited.mp4");
        QVERIFY(QFile::copy(source, out));
        const QByteArray previous = TestSupport::readFile(out);
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);

        engine.cancel();
        QVERIFY(recorder.finished.isEmpty());
        QVERIFY(engine.renderEditedVideo(source, endlessCut(), out));
        QVERIFY(waitForLiveProgress(recorder, 7));
        // Each report follows the render instead of repeating an earlier reading.
        const qsizetype n = recorder.progress.size();
        QVERIFY(recorder.progress[n - 3].seconds < recorder.progress[n - 2].seconds);
        QVERIFY(recorder.progress[n - 2].seconds < recorder.progress[n - 1].seconds);
        QVERIFY(engine.isRunning());

        engine.cancel();
        QCOMPARE(recorder.finished.size(), 1);
        QVERIFY(!recorder.finished[0].success);
        QCOMPARE(recorder.finished[0].path, out);
        QVERIFY(!recorder.finished[0].error.isEmpty());
        QVERIFY(!engine.isRunning());
        engine.cancel();
        QTest::qWait(50);
        QCOMPARE(recorder.finished.size(), 1);

        QCOMPARE(TestSupport::readFile(out), previous);
        QCOMPARE(filesIn(cutFolder), QStringList{"reel_edited.mp4"});
    }

    // The running job ends before the next starts; a job that its finished callback starts in
    // between is refused rather than run beside or over the requested one.
    void newJobEndsTheRunningOneFirst() {
        const QString cutFolder = folder("takeover");
        const QString first = QDir(cutFolder).filePath("first_edited.mp4");
        const QString nested = QDir(cutFolder).filePath("nested_edited.mp4");
        const QString second = QDir(cutFolder).filePath("second_edited.mp4");
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);
        const TimelineData shortCut = timeline({segment(0, 2, Classification::Milestone, 1)});
        int nestedStarted = -1;
        engine.finishedCallback = [&](bool ok, const QString& path, const QString& error) {
            recorder.finished.append({ok, path, error});
            if (path == first)
                nestedStarted = engine.renderEditedVideo(source, shortCut, nested);
        };

        QVERIFY(engine.renderEditedVideo(source, endlessCut(), first));
        QVERIFY(waitForLiveProgress(recorder));
        QVERIFY(engine.renderEditedVideo(source, shortCut, second));
        QCOMPARE(recorder.finished.size(), 2);
        QCOMPARE(recorder.finished[0].path, first);
        QVERIFY(!recorder.finished[0].success);
        QCOMPARE(recorder.finished[1].path, nested);
        QVERIFY(!recorder.finished[1].success);
        QCOMPARE(nestedStarted, 0);

        QVERIFY(QTest::qWaitFor([&] { return recorder.finished.size() == 3; }, 30000));
        QCOMPARE(recorder.finished[2].path, second);
        QVERIFY2(recorder.finished[2].success, qPrintable(recorder.finished[2].error));
        QCOMPARE(filesIn(cutFolder), QStringList{"second_edited.mp4"});
    }

    void finishedCallbackMayStartTheNextRender() {
        const QString cutFolder = folder("chain");
        const QString first = QDir(cutFolder).filePath("a_edited.mp4");
        const QString second = QDir(cutFolder).filePath("b_edited.mp4");
        const TimelineData shortCut = timeline({segment(0, 2, Classification::Milestone, 1)});
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);
        engine.finishedCallback = [&](bool ok, const QString& path, const QString& error) {
            recorder.finished.append({ok, path, error});
            if (path == first)
                QVERIFY(engine.renderEditedVideo(source, shortCut, second));
        };

        QVERIFY(engine.renderEditedVideo(source, shortCut, first));
        QVERIFY(QTest::qWaitFor([&] { return recorder.finished.size() == 2; }, 30000));
        QVERIFY2(recorder.finished[0].success, qPrintable(recorder.finished[0].error));
        QCOMPARE(recorder.finished[1].path, second);
        QVERIFY2(recorder.finished[1].success, qPrintable(recorder.finished[1].error));
        QCOMPARE(filesIn(cutFolder), (QStringList{"a_edited.mp4", "b_edited.mp4"}));
        QVERIFY(qAbs(MediaTestSupport::formatDuration(second) - 2.0) <= Frame + 1e-3);
    }

    void destroyingTheEngineEndsItsJobSilently() {
        const QString cutFolder = folder("destroyed");
        auto engine = std::make_unique<FFmpegEngine>();
        Recorder recorder;
        recorder.attach(*engine);
        QVERIFY(engine->renderEditedVideo(source, endlessCut(),
                                          QDir(cutFolder).filePath("reel_edited.mp4")));
        QVERIFY(waitForLiveProgress(recorder));
        engine.reset();
        QTest::qWait(50);
        QVERIFY(recorder.finished.isEmpty());
        QCOMPARE(filesIn(cutFolder), QStringList());
    }

    void proxyHasTheRequestedHeight_data() {
        QTest::addColumn<int>("height");
        QTest::newRow("240") << 240;
        QTest::newRow("100, width kept even") << 100;
    }

    void proxyHasTheRequestedHeight() {
        QFETCH(int, height);
        const QString out = dir.filePath(QString("proxies/%1/proxy.mp4").arg(height));
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);
        QVERIFY(engine.createProxy(largeSource, out, height));
        QCOMPARE(recorder.log, QStringList{"Starting proxy generation: " + out});
        QVERIFY(QTest::qWaitFor([&] { return !recorder.finished.isEmpty(); }, 30000));
        QVERIFY2(recorder.finished[0].success, qPrintable(recorder.finished[0].error));

        const QStringList streams = MediaTestSupport::streams(out);
        QCOMPARE(streams.size(), 1); // no sound track
        const QStringList fields = streams[0].split('|');
        QCOMPARE(fields.value(1), QString("video"));
        const int width = fields.value(2).toInt();
        QCOMPARE(fields.value(3).toInt(), height);
        QCOMPARE(width % 2, 0);
        QVERIFY(qAbs(width - height * 4.0 / 3.0) <= 2.0);
        for (const Progress& p : recorder.progress)
            QVERIFY(qAbs(p.total - 2.0) < 0.1);
    }

    void proxyRefusesAHeightBelowTwo() {
        FFmpegEngine engine;
        Recorder recorder;
        recorder.attach(engine);
        QVERIFY(!engine.createProxy(largeSource, dir.filePath("flat/proxy.mp4"), 0));
        QCOMPARE(recorder.finished.size(), 1);
        QVERIFY(!recorder.finished[0].success);
        QVERIFY(!engine.isRunning());
        QVERIFY(!QFileInfo::exists(dir.filePath("flat")));
    }

    void probesTheDuration_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("seconds");
        QTest::newRow("clip") << "source.mp4" << 6.0;
        QTest::newRow("missing") << "missing.mp4" << 0.0;
        QTest::newRow("not a video") << "notes.txt" << 0.0;
        QTest::newRow("folder") << "probe folder" << 0.0;
    }

    void probesTheDuration() {
        QFETCH(QString, path);
        QFETCH(double, seconds);
        QVERIFY(TestSupport::writeFile(dir.filePath("notes.txt"), "not a video\n"));
        QDir().mkpath(dir.filePath("probe folder"));
        QVERIFY(qAbs(FFmpegEngine::getVideoDuration(dir.filePath(path)) - seconds) < 0.05);
    }
};

QTEST_GUILESS_MAIN(FFmpegEngineTest)
#include "tst_ffmpegengine.moc"
