#include "timeline/ClassificationText.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineMath.h"

#include <QtTest>

#include <limits>

using namespace Tessaryn;

namespace {

Segment seg(double start, double end, Classification cls, const QString& desc = QString()) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = cls;
    s.description = desc;
    return s;
}

struct Expected {
    double start;
    double end;
    Classification cls;
    double speed;
    double editedStart;
    double editedEnd;
};

} // namespace

Q_DECLARE_METATYPE(QList<Segment>)
Q_DECLARE_METATYPE(QList<Expected>)

class TimelineMathTest : public QObject {
    Q_OBJECT

private:
    static void compareSegments(const TimelineData& d, const QList<Expected>& expected) {
        QCOMPARE(d.segments.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const Segment& s = d.segments.at(i);
            const Expected& e = expected.at(i);
            const QByteArray where = "segment " + QByteArray::number(i);
            QVERIFY2(qFuzzyCompare(1 + s.source_start, 1 + e.start), where);
            QVERIFY2(qFuzzyCompare(1 + s.source_end, 1 + e.end), where);
            QCOMPARE(s.classification, e.cls);
            QCOMPARE(s.speed_factor, e.speed);
            QVERIFY2(qFuzzyCompare(1 + s.edited_start, 1 + e.editedStart), where);
            QVERIFY2(qFuzzyCompare(1 + s.edited_end, 1 + e.editedEnd), where);
        }
    }

private slots:
    void emptyTimelineZeroesTotals() {
        TimelineData d;
        d.summary = "kept";
        d.total_source_duration = 99;
        d.total_edited_duration = 42;
        TimelineMath::computeTimeline(d, 10.0, 2.0);
        QCOMPARE(d.total_source_duration, 0.0);
        QCOMPARE(d.total_edited_duration, 0.0);
        QCOMPARE(d.summary, QString("kept"));
    }

    void computesEditedAxis_data() {
        QTest::addColumn<QList<Segment>>("input");
        QTest::addColumn<QList<Expected>>("expected");
        QTest::addColumn<double>("sourceTotal");
        QTest::addColumn<double>("editedTotal");

        QTest::newRow("milestone, ramp, pause")
            << QList<Segment>{seg(0, 10, Classification::Milestone),
                              seg(10, 40, Classification::RepetitiveAssembly),
                              seg(40, 50, Classification::StaticPause)}
            << QList<Expected>{{0, 10, Classification::Milestone, 1.0, 0, 10},
                               {10, 40, Classification::RepetitiveAssembly, 10.0, 10, 13},
                               {40, 50, Classification::StaticPause, 0.0, 13, 13}}
            << 50.0 << 13.0;
        QTest::newRow("out of order, gap dropped")
            << QList<Segment>{seg(20, 25, Classification::Milestone),
                              seg(0, 10, Classification::Milestone)}
            << QList<Expected>{{0, 10, Classification::Milestone, 1.0, 0, 10},
                               {20, 25, Classification::Milestone, 1.0, 10, 15}}
            << 25.0 << 15.0;
        QTest::newRow("reversed range clamps to zero length")
            << QList<Segment>{seg(5, 2, Classification::Milestone),
                              seg(6, 8, Classification::Milestone)}
            << QList<Expected>{{5, 5, Classification::Milestone, 1.0, 0, 0},
                               {6, 8, Classification::Milestone, 1.0, 0, 2}}
            << 8.0 << 2.0;
        QTest::newRow("short unclassified pause stays milestone")
            << QList<Segment>{seg(0, 1.5, Classification::Unclassified, "A short pause")}
            << QList<Expected>{{0, 1.5, Classification::Milestone, 1.0, 0, 1.5}} << 1.5 << 1.5;
        QTest::newRow("unclassified pause at threshold is cut")
            << QList<Segment>{seg(0, 2.0, Classification::Unclassified, "PAUSED while thinking")}
            << QList<Expected>{{0, 2.0, Classification::StaticPause, 0.0, 0, 0}} << 2.0 << 0.0;
        QTest::newRow("unclassified without the word is a milestone")
            << QList<Segment>{seg(0, 5, Classification::Unclassified, "Holding still")}
            << QList<Expected>{{0, 5, Classification::Milestone, 1.0, 0, 5}} << 5.0 << 5.0;
        QTest::newRow("explicit pause cut regardless of length")
            << QList<Segment>{seg(0, 0.5, Classification::StaticPause)}
            << QList<Expected>{{0, 0.5, Classification::StaticPause, 0.0, 0, 0}} << 0.5 << 0.0;
        QTest::newRow("case variant of ramp is a milestone")
            << QList<Segment>{seg(0, 10, ClassificationText::fromText("Repetitive_Assembly")),
                              seg(10, 12, ClassificationText::fromText("talking"))}
            << QList<Expected>{{0, 10, Classification::Milestone, 1.0, 0, 10},
                               {10, 12, Classification::Milestone, 1.0, 10, 12}}
            << 12.0 << 12.0;
        QTest::newRow("overlaps play in full, source total is the largest end")
            << QList<Segment>{seg(0, 30, Classification::Milestone),
                              seg(10, 20, Classification::RepetitiveAssembly)}
            << QList<Expected>{{0, 30, Classification::Milestone, 1.0, 0, 30},
                               {10, 20, Classification::RepetitiveAssembly, 10.0, 30, 31}}
            << 30.0 << 31.0;
    }

    void computesEditedAxis() {
        QFETCH(QList<Segment>, input);
        QFETCH(QList<Expected>, expected);
        QFETCH(double, sourceTotal);
        QFETCH(double, editedTotal);

        TimelineData d;
        d.segments = input;
        TimelineMath::computeTimeline(d, 10.0, 2.0);
        compareSegments(d, expected);
        QVERIFY(qFuzzyCompare(1 + d.total_source_duration, 1 + sourceTotal));
        QVERIFY(qFuzzyCompare(1 + d.total_edited_duration, 1 + editedTotal));
    }

    void editedAxisIsGapFree() {
        TimelineData d;
        const Classification kinds[] = {
            Classification::Milestone, Classification::RepetitiveAssembly,
            Classification::StaticPause, ClassificationText::fromText("other"),
            Classification::Unclassified};
        for (int i = 0; i < 500; ++i)
            d.segments.append(seg((i * 7919) % 1000, (i * 7919) % 1000 + (i % 13), kinds[i % 5],
                                  i % 2 ? "pause" : "work"));
        TimelineMath::computeTimeline(d, 4.0, 2.0);
        double previousEnd = 0.0;
        double previousStart = -1.0;
        for (const Segment& s : d.segments) {
            QVERIFY(s.source_start >= previousStart);
            QCOMPARE(s.edited_start, previousEnd);
            QVERIFY(s.edited_end >= s.edited_start);
            previousEnd = s.edited_end;
            previousStart = s.source_start;
        }
        QCOMPARE(d.total_edited_duration, previousEnd);
    }

    void timecodes_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("frames30");
        QTest::addColumn<QString>("srt");

        QTest::newRow("zero") << 0.0 << "00:00:00"
                              << "00:00:00:00"
                              << "00:00:00,000";
        QTest::newRow("negative") << -3.0 << "00:00:00"
                                  << "00:00:00:00"
                                  << "00:00:00,000";
        QTest::newRow("hour, minutes, seconds") << 3725.9 << "01:02:05"
                                                << "01:02:05:27"
                                                << "01:02:05,900";
        QTest::newRow("half second") << 61.5 << "00:01:01"
                                     << "00:01:01:15"
                                     << "00:01:01,500";
        QTest::newRow("milliseconds") << 3725.042 << "01:02:05"
                                      << "01:02:05:01"
                                      << "01:02:05,042";
        QTest::newRow("rounds down") << 1.0004 << "00:00:01"
                                     << "00:00:01:00"
                                     << "00:00:01,000";
        QTest::newRow("quarter") << 59.25 << "00:00:59"
                                 << "00:00:59:08"
                                 << "00:00:59,250";
        // A fraction that rounds to a whole second carries into the seconds field.
        QTest::newRow("carry into the minute") << 59.9996 << "00:00:59"
                                               << "00:01:00:00"
                                               << "00:01:00,000";
        QTest::newRow("carry into the hour") << 3599.9999 << "00:59:59"
                                             << "01:00:00:00"
                                             << "01:00:00,000";
        QTest::newRow("frame carry only") << 10.99 << "00:00:10"
                                          << "00:00:11:00"
                                          << "00:00:10,990";
        QTest::newRow("hundred hours") << 360000.0 << "100:00:00"
                                       << "100:00:00:00"
                                       << "100:00:00,000";
        // A damaged file's absurd time is clamped instead of overflowing the integer fields.
        QTest::newRow("absurd") << 1e300 << "277777777777:46:40"
                                << "277777777777:46:40:00"
                                << "277777777777:46:40,000";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "277777777777:46:40"
                                  << "277777777777:46:40:00"
                                  << "277777777777:46:40,000";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "00:00:00"
                                      << "00:00:00:00"
                                      << "00:00:00,000";
    }

    void timecodes() {
        QFETCH(double, seconds);
        QFETCH(QString, plain);
        QFETCH(QString, frames30);
        QFETCH(QString, srt);
        QCOMPARE(TimelineMath::formatTimecode(seconds, false, 30.0), plain);
        QCOMPARE(TimelineMath::formatTimecode(seconds, true, 30.0), frames30);
        QCOMPARE(TimelineMath::formatSrtTimestamp(seconds), srt);
    }

    void frameRatesAreHonoured_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("fps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("25 fps") << 2.5 << 25.0 << "00:00:02:13";
        QTest::newRow("24 fps last frame") << 2.97 << 24.0 << "00:00:02:23";
        QTest::newRow("29.97 carries at 29") << 4.99 << 29.97 << "00:00:05:00";
        // A rate below one frame per second cannot divide a second; it must not crash.
        QTest::newRow("zero rate") << 4.5 << 0.0 << "00:00:05:00";
        QTest::newRow("not a rate")
            << 4.2 << std::numeric_limits<double>::quiet_NaN() << "00:00:04:00";
    }

    void frameRatesAreHonoured() {
        QFETCH(double, seconds);
        QFETCH(double, fps);
        QFETCH(QString, expected);
        QCOMPARE(TimelineMath::formatTimecode(seconds, true, fps), expected);
    }
};

QTEST_GUILESS_MAIN(TimelineMathTest)
#include "tst_timelinemath.moc"
