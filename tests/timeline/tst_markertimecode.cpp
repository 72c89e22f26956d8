#include "timeline/MarkersCsvExport.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QtTest>

using namespace Tessaryn;

namespace {

StreamFacts factsAt(int num, int den) {
    StreamFacts facts;
    facts.rateNum = num;
    facts.rateDen = den;
    return facts;
}

// The Record In field of the first marker of a clip with one segment starting at the frame.
QString recordIn(const StreamFacts& facts, qint64 frame, bool dropFrame) {
    TimelineData data;
    Segment segment;
    segment.source_start = double(frame) * facts.rateDen / facts.rateNum;
    segment.source_end = segment.source_start + 1.0;
    segment.classification = Classification::Milestone;
    data.segments.append(segment);
    MarkersCsvExport exporter;
    exporter.setStreamFacts(facts);
    exporter.setDropFrame(dropFrame);
    const QStringList lines = exporter.text(data, TimelineAxis::Source).split('\n');
    return lines.value(1).section(',', 0, 0).remove('"');
}

} // namespace

class MarkerTimecodeTest : public QObject {
    Q_OBJECT

private slots:
    void timecodes_data() {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<bool>("dropFrame");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<QString>("timecode");

        // Whole rates count their own frames; 1 min, 10 min and 1 h of real time each.
        QTest::newRow("24 1m") << 24 << 1 << false << qint64(1440) << "00:01:00:00";
        QTest::newRow("24 10m+23") << 24 << 1 << false << qint64(14423) << "00:10:00:23";
        QTest::newRow("24 1h") << 24 << 1 << false << qint64(86400) << "01:00:00:00";
        QTest::newRow("25 1m") << 25 << 1 << false << qint64(1500) << "00:01:00:00";
        QTest::newRow("25 10m+24") << 25 << 1 << false << qint64(15024) << "00:10:00:24";
        QTest::newRow("25 1h") << 25 << 1 << false << qint64(90000) << "01:00:00:00";
        // Non-drop at 29.97 counts 30 labels a second and falls behind the clock.
        QTest::newRow("29.97 ndf 1m") << 30000 << 1001 << false << qint64(1800) << "00:01:00:00";
        QTest::newRow("29.97 ndf 10m") << 30000 << 1001 << false << qint64(17982) << "00:09:59:12";
        QTest::newRow("29.97 ndf 1h") << 30000 << 1001 << false << qint64(107892) << "00:59:56:12";
        // Drop-frame skips ;00 and ;01 of each minute but every tenth, keeping to the clock.
        QTest::newRow("29.97 df last of 0m")
            << 30000 << 1001 << true << qint64(1799) << "00:00:59;29";
        QTest::newRow("29.97 df 1m") << 30000 << 1001 << true << qint64(1800) << "00:01:00;02";
        QTest::newRow("29.97 df 2m") << 30000 << 1001 << true << qint64(3598) << "00:02:00;02";
        QTest::newRow("29.97 df 10m") << 30000 << 1001 << true << qint64(17982) << "00:10:00;00";
        QTest::newRow("29.97 df 11m") << 30000 << 1001 << true << qint64(19782) << "00:11:00;02";
        QTest::newRow("29.97 df 1h") << 30000 << 1001 << true << qint64(107892) << "01:00:00;00";
        QTest::newRow("59.94 ndf 1m") << 60000 << 1001 << false << qint64(3600) << "00:01:00:00";
        QTest::newRow("59.94 ndf 10m") << 60000 << 1001 << false << qint64(35964) << "00:09:59:24";
        QTest::newRow("59.94 ndf 1h") << 60000 << 1001 << false << qint64(215784) << "00:59:56:24";
        QTest::newRow("59.94 df 1m") << 60000 << 1001 << true << qint64(3600) << "00:01:00;04";
        QTest::newRow("59.94 df 10m") << 60000 << 1001 << true << qint64(35964) << "00:10:00;00";
        QTest::newRow("59.94 df 1h") << 60000 << 1001 << true << qint64(215784) << "01:00:00;00";
        // Drop-frame means nothing at whole rates.
        QTest::newRow("25 df ignored") << 25 << 1 << true << qint64(1500) << "00:01:00:00";
    }

    void timecodes() {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(bool, dropFrame);
        QFETCH(qint64, frame);
        QFETCH(QString, timecode);
        QCOMPARE(recordIn(factsAt(num, den), frame, dropFrame), timecode);
    }

    void unknownRateKeepsThirtyFrames() {
        // Half a second is frame 15 at the 30 fps of old; 12 or 13 at the clip's own rates.
        TimelineData data;
        Segment segment;
        segment.source_start = 1.5;
        segment.source_end = 3.0;
        segment.classification = Classification::Milestone;
        data.segments.append(segment);
        const QString line =
            MarkersCsvExport().text(data, TimelineAxis::Source).section('\n', 1, 1);
        QVERIFY2(line.startsWith("\"00:00:01:15\""), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(MarkerTimecodeTest)
#include "tst_markertimecode.moc"
