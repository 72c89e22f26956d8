#include "media/FFmpegEngine.h"
#include "timeline/ClassificationText.h"
#include "timeline/TimelineData.h"

#include <QtTest>

using namespace Tessaryn;

namespace {

Segment segment(double start, double end, Classification classification, double speed) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = classification;
    s.speed_factor = speed;
    return s;
}

} // namespace

// The filter graph and the progress reading, the two texts the engine exchanges with ffmpeg.
class RenderGraphTest : public QObject {
    Q_OBJECT

private slots:
    void filterGraph_data() {
        QTest::addColumn<QList<Segment>>("segments");
        QTest::addColumn<QString>("graph");
        const QString tail = QStringLiteral(",fps=source_fps[outv]");
        QTest::newRow("kept and sped")
            << QList<Segment>{segment(0, 12.5, Classification::Milestone, 1),
                              segment(12.5, 80, Classification::RepetitiveAssembly, 10)}
            << "[0:v]trim=start=0:end=12.5,setpts=1*(PTS-STARTPTS)[v0];"
               "[0:v]trim=start=12.5:end=80,setpts=0.1*(PTS-STARTPTS)[v1];"
               "[v0][v1]concat=n=2:v=1:a=0" +
                   tail;
        QTest::newRow("pauses and non-positive speeds leave no gap in the labels")
            << QList<Segment>{segment(0, 1, Classification::StaticPause, 0),
                              segment(1, 2, Classification::Milestone, 0),
                              segment(2, 3, Classification::Milestone, -1),
                              segment(3, 7, ClassificationText::fromText("other"), 4),
                              segment(7, 8, ClassificationText::fromText("Static_Pause"), 0.5)}
            << "[0:v]trim=start=3:end=7,setpts=0.25*(PTS-STARTPTS)[v0];"
               "[0:v]trim=start=7:end=8,setpts=2*(PTS-STARTPTS)[v1];"
               "[v0][v1]concat=n=2:v=1:a=0" +
                   tail;
        QTest::newRow("rounding to six digits and five decimals")
            << QList<Segment>{segment(1234.5678, 1300, Classification::RepetitiveAssembly, 3)}
            << "[0:v]trim=start=1234.57:end=1300,setpts=0.33333*(PTS-STARTPTS)[v0];"
               "[v0]concat=n=1:v=1:a=0" +
                   tail;
        // ffmpeg refuses 5e-05 and 1.23457e+06 as durations.
        QTest::newRow("tiny and huge times stay plain decimals")
            << QList<Segment>{segment(0.00005, 1234567.8, Classification::Milestone, 1),
                              segment(0.0000123456789, 0.0001, Classification::Milestone, 1)}
            << "[0:v]trim=start=0.00005:end=1234570,setpts=1*(PTS-STARTPTS)[v0];"
               "[0:v]trim=start=0.0000123457:end=0.0001,setpts=1*(PTS-STARTPTS)[v1];"
               "[v0][v1]concat=n=2:v=1:a=0" +
                   tail;
    }

    void filterGraph() {
        QFETCH(QList<Segment>, segments);
        QFETCH(QString, graph);
        TimelineData timeline;
        timeline.segments = segments;
        QCOMPARE(FFmpegEngine::buildFilterGraph(FFmpegEngine::activeSegments(timeline)), graph);
    }

    void progressReading_data() {
        QTest::addColumn<QStringList>("reads");
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("seconds"); // of the last read; negative: no reading
        QTest::addColumn<int>("percent");
        QTest::newRow("half way") << QStringList{"frame=1 time=00:01:30.50 bitrate=1"} << 180.0
                                  << 90.5 << 50;
        QTest::newRow("no total") << QStringList{"time=00:00:07.25 "} << 0.0 << 7.25 << 0;
        QTest::newRow("beyond the total")
            << QStringList{"time=01:00:00.00"} << 60.0 << 3600.0 << 100;
        QTest::newRow("latest in one read")
            << QStringList{"time=00:00:10.00 x\rtime=00:00:20.00 y"} << 40.0 << 20.0 << 50;
        QTest::newRow("earlier read is stale")
            << QStringList{"time=00:00:10.00\r", "time=00:00:30.00\r"} << 40.0 << 30.0 << 75;
        QTest::newRow("read without a time reports nothing")
            << QStringList{"time=00:00:10.00\r", "[mp4 @ 0x1] warning\n"} << 40.0 << -1.0 << 0;
        QTest::newRow("reading split across reads")
            << QStringList{"frame=9 time=00:0", "0:12.00 bitrate"} << 24.0 << 12.0 << 50;
    }

    void progressReading() {
        QFETCH(QStringList, reads);
        QFETCH(double, total);
        QFETCH(double, seconds);
        QFETCH(int, percent);
        QString buffer;
        std::optional<double> reading;
        for (const QString& text : reads)
            reading = FFmpegEngine::readProgress(buffer, text);
        QCOMPARE(reading.has_value(), seconds >= 0);
        if (reading) {
            QCOMPARE(*reading, seconds);
            QCOMPARE(FFmpegEngine::progressPercent(*reading, total), percent);
        }
    }

    void retainedTextIsBounded() {
        QString buffer(3000, QLatin1Char('a'));
        const QString text = QString(1980, QLatin1Char('b')) + "time=00:00:01.00" + "    ";
        QCOMPARE(FFmpegEngine::readProgress(buffer, text), std::optional<double>(1.0));
        QCOMPARE(buffer.size(), FFmpegEngine::StderrKeep);
        QVERIFY(buffer.endsWith("time=00:00:01.00    "));
        QVERIFY(buffer.startsWith(QString(48, QLatin1Char('a')) + "b"));

        QString small(100, QLatin1Char('c'));
        FFmpegEngine::readProgress(small, QString(3000, QLatin1Char('d')));
        QCOMPARE(small.size(), 3100);
    }
};

QTEST_GUILESS_MAIN(RenderGraphTest)
#include "tst_rendergraph.moc"
