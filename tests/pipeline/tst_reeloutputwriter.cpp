#include "TestSupport.h"
#include "app/PipelineSettings.h"
#include "pipeline/ReelOutputWriter.h"
#include "timeline/RenderPlan.h"
#include "timeline/SafeFile.h"
#include "timeline/TimelineEdit.h"
#include "workspace/Reel.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace Tessaryn;

namespace {

Segment part(double from, double to, Classification kind, double speed) {
    Segment segment;
    segment.source_start = from;
    segment.source_end = to;
    segment.classification = kind;
    segment.speed_factor = speed;
    segment.description = QStringLiteral("step");
    return segment;
}

// Kept 0 to 1.96 s (49 frames at 25 fps), a pause, then 201 frames at 10x: 21 frames.
TimelineData sample() {
    TimelineData data;
    data.segments = {part(0.0, 1.96, Classification::Milestone, 1.0),
                     part(1.96, 3.0, Classification::StaticPause, 0.0),
                     part(3.0, 11.04, Classification::RepetitiveAssembly, 10.0)};
    data.segments[0].edited_end = 1.96;
    data.segments[2].edited_start = 1.96;
    data.segments[2].edited_end = 2.764;
    return data;
}

} // namespace

class ReelOutputWriterTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    Reel reelAt(int num, int den) const {
        Reel reel;
        reel.name = "bench";
        reel.timeline_path = dir.filePath("timelines/bench_timeline.json");
        reel.source_markers_path = dir.filePath("markers/bench_source_markers.csv");
        reel.edited_markers_path = dir.filePath("markers/bench_edited_markers.csv");
        reel.source_srt_path = dir.filePath("subtitles/bench_source.srt");
        reel.edited_srt_path = dir.filePath("subtitles/bench_edited.srt");
        reel.source_path = dir.filePath("clips/bench & b\u00e4nch.mp4");
        reel.facts.rateNum = num;
        reel.facts.rateDen = den;
        return reel;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(dir.filePath("settings"));
    }

    void editedFilesFollowTheClipsGrid_data() {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<QString>("markers");
        QTest::addColumn<QString>("subtitles");

        QTest::newRow("25 fps")
            << 25 << 1
            << "\"00:00:00:00\",\"00:00:01:24\",\"step\",\"Green\",\"milestone\"\n"
               "\"00:00:01:24\",\"00:00:02:20\",\"step\",\"Yellow\",\"repetitive_assembly\"\n"
            << "00:00:00,000 --> 00:00:01,960\n"
               "00:00:01,960 --> 00:00:02,800\n";
        // Unknown facts keep the timeline's own times at 30 frames a second.
        QTest::newRow("unknown")
            << 0 << 0
            << "\"00:00:00:00\",\"00:00:01:29\",\"step\",\"Green\",\"milestone\"\n"
               "\"00:00:01:29\",\"00:00:02:23\",\"step\",\"Yellow\",\"repetitive_assembly\"\n"
            << "00:00:00,000 --> 00:00:01,960\n"
               "00:00:01,960 --> 00:00:02,764\n";
    }

    void editedFilesFollowTheClipsGrid() {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(QString, markers);
        QFETCH(QString, subtitles);

        const Reel reel = reelAt(num, den);
        QCOMPARE(ReelOutputWriter::writeExports(reel, sample()), QStringList());
        const QString csv = QString::fromUtf8(TestSupport::readFile(reel.edited_markers_path));
        QCOMPARE(csv.section('\n', 1), markers);
        QString cues;
        for (const QString& line :
             QString::fromUtf8(TestSupport::readFile(reel.edited_srt_path)).split('\n')) {
            if (line.contains("-->"))
                cues += line + '\n';
        }
        QCOMPARE(cues, subtitles);
    }

    // The editor formats go beside the marker lists, named by axis, and name the reel's clip.
    void editorFilesNameTheClip_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("named");
        const QString path = dir.filePath("clips/bench &amp; b\u00e4nch.mp4");
        QTest::newRow("mlt") << "mlt" << path;
        QTest::newRow("otio") << "otio"
                              << QUrl::fromLocalFile(dir.filePath("clips/bench & b\u00e4nch.mp4"))
                                     .toString(QUrl::FullyEncoded);
        QTest::newRow("edl") << "edl"
                             << "TITLE: bench & b\u00e4nch";
    }

    void editorFilesNameTheClip() {
        QFETCH(QString, format);
        QFETCH(QString, named);
        const Reel reel = reelAt(25, 1);
        for (bool edited : {false, true}) {
            QString error;
            QVERIFY2(ReelOutputWriter::writeExport(reel, sample(), format, edited, &error),
                     qPrintable(error));
            const QString path = ReelOutputWriter::exportPath(reel, format, edited);
            QCOMPARE(path, dir.filePath(QStringLiteral("markers/bench_%1.%2")
                                            .arg(edited ? "edited" : "source", format)));
            QVERIFY(QString::fromUtf8(TestSupport::readFile(path)).contains(named));
        }
    }

    // A hand edit rewrites the timeline alone: the exports stay as they were, now older than
    // it, and what is read back plans the same frames as the edit itself.
    void handEditRewritesOnlyTheTimeline() {
        const Reel reel = reelAt(25, 1);
        QVERIFY(ReelOutputWriter::writeAnalysis(reel, sample()).failedFiles.isEmpty());
        const QDateTime earlier = QDateTime::currentDateTimeUtc().addSecs(-60);
        const QStringList exports{reel.source_markers_path, reel.edited_srt_path};
        QList<QByteArray> before;
        for (const QString& path : exports) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(earlier, QFileDevice::FileModificationTime));
            before << TestSupport::readFile(path);
        }

        TimelineData edited = sample();
        QVERIFY(TimelineEdit::moveBoundary(edited, 1, 2.6, reel.facts).isEmpty());
        QVERIFY(TimelineEdit::setSpeed(edited, 2, 2, 4.0).isEmpty());
        QVERIFY(ReelOutputWriter::writeTimeline(reel, edited));

        const auto stored = SafeFile::readJsonObject(reel.timeline_path);
        QVERIFY(stored.has_value());
        QCOMPARE(*stored, edited.toJson());
        const QDateTime saved = QFileInfo(reel.timeline_path).lastModified();
        for (int i = 0; i < exports.size(); ++i) {
            QCOMPARE(TestSupport::readFile(exports[i]), before[i]);
            QVERIFY(QFileInfo(exports[i]).lastModified() < saved);
        }

        const RenderPlan planned = RenderPlan::compute(edited, reel.facts);
        const RenderPlan reread = RenderPlan::compute(TimelineData::fromJson(*stored), reel.facts);
        QCOMPARE(reread.pieces().size(), planned.pieces().size());
        for (int i = 0; i < planned.pieces().size(); ++i) {
            const RenderPlan::Piece& a = planned.pieces()[i];
            const RenderPlan::Piece& b = reread.pieces()[i];
            QCOMPARE(b.firstFrame, a.firstFrame);
            QCOMPARE(b.endFrame, a.endFrame);
            QCOMPARE(b.step, a.step);
        }
        // 2.6 s is frame 65; from there to 11.04 s at 4x takes every fourth of 211 frames.
        QCOMPARE(planned.pieces().last().firstFrame, qint64(65));
        QCOMPARE(planned.pieces().last().step, 4);
        QCOMPARE(planned.totalOutputFrames(), qint64(49 + (276 - 65 + 3) / 4));
    }
};

QTEST_GUILESS_MAIN(ReelOutputWriterTest)
#include "tst_reeloutputwriter.moc"
