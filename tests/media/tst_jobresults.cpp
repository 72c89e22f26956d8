// ffmpeg's exit code 0 is no proof of a good film: a render or stitch replaces the previous file
// only when nothing went wrong in the final write and the result lasts as long as it must.
#include "FakeTools.h"
#include "MediaTestSupport.h"
#include "TestSupport.h"
#include "media/FFmpegEngine.h"
#include "media/ProbeJob.h"
#include "media/Stitcher.h"
#include "timeline/TimelineData.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace Tessaryn;

namespace {

struct Outcome {
    int reports = 0;
    bool success = false;
    QString error;
};

Segment segment(double start, double end, double speed = 1.0) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = Classification::Milestone;
    s.speed_factor = speed;
    return s;
}

TimelineData timeline(const QList<Segment>& segments) {
    TimelineData data;
    data.segments = segments;
    for (const Segment& s : segments)
        data.total_edited_duration += (s.source_end - s.source_start) / s.speed_factor;
    return data;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class JobResultsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString source; // 6 s
    QString one;    // 1 s
    QString two;    // 2 s
    QString three;  // 3 s

    // Renders 3 s of the source, or stitches one and two, over a previous output.
    Outcome runJob(const QString& kind, const QString& out) {
        Outcome outcome;
        const auto record = [&outcome](bool ok, const QString&, const QString& error) {
            ++outcome.reports;
            outcome.success = ok;
            outcome.error = error;
        };
        FFmpegEngine engine;
        Stitcher stitcher;
        engine.finishedCallback = record;
        stitcher.finishedCallback = record;
        if (kind == "render")
            engine.renderEditedVideo(source, timeline({segment(0, 3)}), out);
        else
            stitcher.stitchClips({one, two}, out);
        if (!QTest::qWaitFor([&] { return outcome.reports > 0; }, 60000))
            outcome.error = QStringLiteral("no report");
        QTest::qWait(50);
        return outcome;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        source = dir.filePath("source.mp4");
        one = dir.filePath("one.mp4");
        two = dir.filePath("two.mp4");
        three = dir.filePath("three.mp4");
        QVERIFY(MediaTestSupport::generateClip(source, 160, 120, 25, 6));
        QVERIFY(MediaTestSupport::generateClip(one, 160, 120, 25, 1));
        QVERIFY(MediaTestSupport::generateClip(two, 160, 120, 25, 2));
        QVERIFY(MediaTestSupport::generateClip(three, 160, 120, 25, 3));
    }

    void cleanExitIsNoProof_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("noise");
        QString statistics;
        for (int i = 0; i < 30; ++i)
            statistics += "echo '[libx264 @ 0x5581] frame P:120 Avg QP:23.10 size: 1843' >&2\n";
        for (const char* kind : {"render", "stitch"}) {
            // A film of the right length, so only the write failure can give it away.
            QTest::addRow("%s, trailer not written", kind)
                << kind
                << QString("echo 'Error writing trailer of x.mp4: No space left on device' >&2\n"
                           "cp '%1' \"$last\"\nexit 0")
                       .arg(three)
                << "Error writing trailer of x.mp4: No space left on device"
                << "";
            QTest::addRow("%s, empty film", kind) << kind << ": > \"$last\"\nexit 0"
                                                  << "empty"
                                                  << "";
            QTest::addRow("%s, film too short", kind)
                << kind << QString("cp '%1' \"$last\"\nexit 0").arg(one) << "expected"
                << "";
            QTest::addRow("%s, cause before the statistics", kind)
                << kind << "echo \"$last: Invalid argument\" >&2\n" + statistics + "exit 1"
                << "Invalid argument"
                << "Avg QP";
        }
    }

    void cleanExitIsNoProof() {
        QFETCH(QString, kind);
        QFETCH(QString, script);
        QFETCH(QString, cause);
        QFETCH(QString, noise);
        FakeTools tools(dir.filePath(QString("tools %1").arg(QTest::currentDataTag())));
        QVERIFY(tools.place("ffmpeg", script));
        QVERIFY(tools.placeRealProbe());
        tools.activate();
        const QString folder = dir.filePath(QString("out %1").arg(QTest::currentDataTag()));
        const QString out = QDir(folder).filePath("film.mp4");
        QVERIFY(QFile::copy(source, out) || (QDir().mkpath(folder) && QFile::copy(source, out)));
        const QByteArray previous = TestSupport::readFile(out);

        const Outcome outcome = runJob(kind, out);
        QCOMPARE(outcome.reports, 1);
        QVERIFY(!outcome.success);
        QVERIFY2(outcome.error.contains(cause), qPrintable(outcome.error));
        if (!noise.isEmpty())
            QVERIFY2(!outcome.error.contains(noise), qPrintable(outcome.error));
        QCOMPARE(TestSupport::readFile(out), previous);
        QCOMPARE(filesIn(folder), QStringList{"film.mp4"});
    }

    // A timeline reaching past the end of its source: ffmpeg writes what there is and exits 0.
    void renderOfASourceThatEndsEarlyFails() {
        const QString folder = dir.filePath("early");
        const QString out = QDir(folder).filePath("film.mp4");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(TestSupport::writeFile(out, "previous cut"));
        FFmpegEngine engine;
        Outcome outcome;
        engine.finishedCallback = [&](bool ok, const QString&, const QString& error) {
            ++outcome.reports;
            outcome.success = ok;
            outcome.error = error;
        };
        QVERIFY(engine.renderEditedVideo(two, timeline({segment(0, 4)}), out));
        QVERIFY(QTest::qWaitFor([&] { return outcome.reports > 0; }, 60000));
        QVERIFY(!outcome.success);
        QVERIFY2(outcome.error.contains("4.000 s were expected"), qPrintable(outcome.error));
        QCOMPARE(TestSupport::readFile(out), QByteArray("previous cut"));
        QCOMPARE(filesIn(folder), QStringList{"film.mp4"});
    }

    // Past about 1,780 pieces the graph outgrows the limit on one command-line argument.
    void renderOfTwoThousandPieces() {
        QList<Segment> pieces;
        for (int i = 0; i < 2000; ++i) {
            // Five frames each, cycling through the first 4 s of a tiny source; the bounds are
            // written as precisely as real timelines write theirs.
            const double start = (i % 20) * 0.2 + 0.00001;
            pieces << segment(start, start + 0.2);
        }
        const TimelineData data = timeline(pieces);
        QVERIFY(FFmpegEngine::buildFilterGraph(pieces).toUtf8().size() > 128 * 1024);
        const QString folder = dir.filePath("long timeline");
        const QString out = QDir(folder).filePath("film.mp4");
        FFmpegEngine engine;
        Outcome outcome;
        engine.finishedCallback = [&](bool ok, const QString&, const QString& error) {
            ++outcome.reports;
            outcome.success = ok;
            outcome.error = error;
        };
        const QString tiny = dir.filePath("tiny.mp4");
        QVERIFY(MediaTestSupport::generateClip(tiny, 64, 64, 25, 6));
        QVERIFY(engine.renderEditedVideo(tiny, data, out));
        QVERIFY(QTest::qWaitFor([&] { return outcome.reports > 0; }, 240000));
        QVERIFY2(outcome.success, qPrintable(outcome.error));
        QVERIFY(qAbs(MediaTestSupport::formatDuration(out) - 400.0) <= 0.04 + 1e-3);
        QCOMPARE(filesIn(folder), QStringList{"film.mp4"});
    }

    void renderRefusesWhatIsNoLocalFile_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("web address") << "http://example.com/clip.mp4";
        QTest::newRow("ffmpeg protocol") << "pipe:0";
        QTest::newRow("missing file") << dir.filePath("gone.mp4");
        QTest::newRow("folder") << dir.path();
        QTest::newRow("named pipe") << dir.filePath("clip.pipe");
    }

    void renderRefusesWhatIsNoLocalFile() {
        QFETCH(QString, input);
        const QString pipe = dir.filePath("clip.pipe");
        QVERIFY(QFileInfo::exists(pipe) ||
                ::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        const QString out = dir.filePath("refused/film.mp4");
        FFmpegEngine engine;
        QStringList errors;
        engine.finishedCallback = [&](bool ok, const QString&, const QString& error) {
            QVERIFY(!ok);
            errors << error;
        };
        QVERIFY(!engine.renderEditedVideo(input, timeline({segment(0, 1)}), out));
        QVERIFY(!engine.isRunning());
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith("Cannot render " + input + ": "), qPrintable(errors[0]));
        QVERIFY(!QFileInfo::exists(dir.filePath("refused")));
    }

    // An ffmpeg that hangs without a word is stopped and reported; the previous cut stays.
    void stalledRenderIsStopped() {
        FakeTools tools(dir.filePath("tools stalled"));
        QVERIFY(tools.place("ffmpeg", "exec sleep 120"));
        QVERIFY(tools.placeRealProbe());
        tools.activate();
        const QString out = dir.filePath("stalled/film.mp4");
        QVERIFY(TestSupport::writeFile(out, "previous cut"));
        FFmpegEngine engine;
        engine.setStallTimeoutMs(300);
        Outcome outcome;
        engine.finishedCallback = [&](bool ok, const QString&, const QString& error) {
            ++outcome.reports;
            outcome.success = ok;
            outcome.error = error;
        };
        QVERIFY(engine.renderEditedVideo(source, timeline({segment(0, 3)}), out));
        QVERIFY(QTest::qWaitFor([&] { return outcome.reports > 0; }, 30000));
        QVERIFY(!outcome.success);
        QVERIFY2(outcome.error.contains("wrote nothing"), qPrintable(outcome.error));
        QVERIFY(!engine.isRunning());
        QCOMPARE(TestSupport::readFile(out), QByteArray("previous cut"));
        QCOMPARE(filesIn(dir.filePath("stalled")), QStringList{"film.mp4"});
    }

    // The probe answers later, through its callback, and only once.
    void probeAnswersWithoutBlocking_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("success");
        QTest::addColumn<double>("seconds");
        QTest::newRow("clip") << "source.mp4" << true << 6.0;
        QTest::newRow("missing") << "gone.mp4" << false << 0.0;
        QTest::newRow("not a film") << "notes.txt" << false << 0.0;
    }

    void probeAnswersWithoutBlocking() {
        QFETCH(QString, name);
        QFETCH(bool, success);
        QFETCH(double, seconds);
        QVERIFY(TestSupport::writeFile(dir.filePath("notes.txt"), "not a film\n"));
        ProbeJob probe(dir.filePath(name));
        QList<Outcome> answers;
        double answered = -1.0;
        probe.probedCallback = [&](bool ok, double value, const QString& error) {
            answers.append({1, ok, error});
            answered = value;
        };
        QVERIFY(probe.start());
        QVERIFY(answers.isEmpty());
        QVERIFY(probe.isRunning());
        QVERIFY(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 30000));
        QTest::qWait(50);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].success, success);
        QVERIFY(qAbs(answered - seconds) < 0.05);
        QCOMPARE(answers[0].error.isEmpty(), success);
    }
};

QTEST_GUILESS_MAIN(JobResultsTest)
#include "tst_jobresults.moc"
