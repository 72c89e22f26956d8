#include "timeline/RenderPlan.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineEdit.h"
#include "timeline/TimelineHistory.h"
#include "timeline/TimelineMath.h"

#include <QJsonDocument>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace Tessaryn;

Q_DECLARE_METATYPE(Tessaryn::Classification)
Q_DECLARE_METATYPE(QList<double>)

namespace {

// 0–10 s kept, 10–40 s of assembly at 10x, 40–50 s of pause: 13 s of film.
TimelineData analysed() {
    TimelineData data;
    data.summary = "Build";
    const struct {
        double start, end;
        Classification cls;
        const char* text;
    } rows[] = {{0, 10, Classification::Milestone, "Intro"},
                {10, 40, Classification::RepetitiveAssembly, "Screws"},
                {40, 50, Classification::StaticPause, "Pause"}};
    for (const auto& r : rows) {
        Segment s;
        s.source_start = r.start;
        s.source_end = r.end;
        s.classification = r.cls;
        s.description = r.text;
        data.segments << s;
    }
    TimelineMath::computeTimeline(data, 10.0, 2.0);
    return data;
}

StreamFacts facts(int num, int den) {
    StreamFacts f;
    f.rateNum = num;
    f.rateDen = den;
    return f;
}

QByteArray json(const TimelineData& data) {
    return QJsonDocument(data.toJson()).toJson(QJsonDocument::Compact);
}

QList<double> boundaries(const TimelineData& data) {
    QList<double> out;
    for (const Segment& s : data.segments)
        out << s.source_start;
    out << data.segments.last().source_end;
    return out;
}

// The edited axis is gap-free and each kept segment lasts its source length over the frame step
// its speed renders with.
void verifyEditedAxis(const TimelineData& data) {
    double cursor = 0.0;
    for (const Segment& s : data.segments) {
        QCOMPARE(s.edited_start, cursor);
        const bool cut = s.classification == Classification::StaticPause;
        const double length =
            cut ? 0.0 : (s.source_end - s.source_start) / RenderPlan::stepFor(s.speed_factor);
        QVERIFY(std::abs(s.edited_end - s.edited_start - length) < 1e-9);
        cursor = s.edited_end;
    }
    QCOMPARE(data.total_edited_duration, cursor);
}

} // namespace

class TimelineEditTest : public QObject {
    Q_OBJECT

private slots:
    void boundaryDragSnapsAndClamps_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("rateNum");
        QTest::addColumn<int>("rateDen");
        QTest::addColumn<QList<double>>("expected"); // empty: refused

        QTest::newRow("snapped to the nearest 25 fps frame")
            << 0 << 12.013 << 25 << 1 << QList<double>{0, 12.0, 40, 50};
        QTest::newRow("unknown rate snaps to 30 fps")
            << 0 << 12.02 << 0 << 0 << QList<double>{0, 361.0 / 30, 40, 50};
        QTest::newRow("NTSC frame grid")
            << 0 << 5.0 << 30000 << 1001 << QList<double>{0, 150 * 1001.0 / 30000, 40, 50};
        QTest::newRow("past the next segment's end stops a frame short")
            << 0 << 60.0 << 25 << 1 << QList<double>{0, 39.96, 40, 50};
        QTest::newRow("before the segment's start stops a frame after it")
            << 0 << -5.0 << 25 << 1 << QList<double>{0, 0.04, 40, 50};
        QTest::newRow("second boundary") << 1 << 45.01 << 25 << 1 << QList<double>{0, 10, 45, 50};
        QTest::newRow("the clip's end is no boundary") << 2 << 45.0 << 25 << 1 << QList<double>{};
        QTest::newRow("no such boundary") << -1 << 5.0 << 25 << 1 << QList<double>{};
        QTest::newRow("not a time")
            << 0 << std::numeric_limits<double>::quiet_NaN() << 25 << 1 << QList<double>{};
        QTest::newRow("already there") << 0 << 10.01 << 25 << 1 << QList<double>{};
    }

    void boundaryDragSnapsAndClamps() {
        QFETCH(int, index);
        QFETCH(double, seconds);
        QFETCH(int, rateNum);
        QFETCH(int, rateDen);
        QFETCH(QList<double>, expected);

        TimelineData data = analysed();
        const QByteArray before = json(data);
        const QString error =
            TimelineEdit::moveBoundary(data, index, seconds, facts(rateNum, rateDen));
        if (expected.isEmpty()) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(json(data), before);
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QList<double> got = boundaries(data);
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(std::abs(got[i] - expected[i]) < 1e-9, qPrintable(QString::number(got[i])));
        QVERIFY(data.segments[index].edited && data.segments[index + 1].edited);
        verifyEditedAxis(data);
    }

    void segmentsThatDoNotMeetShareNoBoundary() {
        TimelineData data = analysed();
        data.segments[1].source_start = 12.0; // a gap of 2 s the film leaves out
        TimelineMath::layOutEditedAxis(data);
        QVERIFY(!TimelineEdit::moveBoundary(data, 0, 11.0, facts(25, 1)).isEmpty());
        QCOMPARE(data.segments[0].source_end, 10.0);
    }

    void splitAndMerge_data() {
        QTest::addColumn<double>("at");
        QTest::addColumn<bool>("splits");

        QTest::newRow("inside, snapped") << 20.013 << true;
        QTest::newRow("one frame after the start") << 10.04 << true;
        QTest::newRow("on the start") << 10.0 << false;
        QTest::newRow("less than a frame before the end") << 39.99 << false;
    }

    void splitAndMerge() {
        QFETCH(double, at);
        QFETCH(bool, splits);

        TimelineData data = analysed();
        const QString error = TimelineEdit::split(data, 1, at, facts(25, 1));
        QCOMPARE(error.isEmpty(), splits);
        if (!splits) {
            QCOMPARE(json(data), json(analysed()));
            return;
        }
        QCOMPARE(data.segments.size(), 4);
        const Segment& first = data.segments[1];
        const Segment& second = data.segments[2];
        QCOMPARE(first.source_end, std::llround(at * 25) / 25.0);
        QCOMPARE(second.source_start, first.source_end);
        for (const Segment* half : {&first, &second}) {
            QCOMPARE(half->classification, Classification::RepetitiveAssembly);
            QCOMPARE(half->speed_factor, 10.0);
            QCOMPARE(half->description, QString("Screws"));
            QVERIFY(half->edited);
        }
        verifyEditedAxis(data);
        QVERIFY(std::abs(data.total_edited_duration - 13.0) < 1e-9);

        // Merged back: one segment over the same source time, one description.
        QVERIFY(TimelineEdit::mergeWithNext(data, 1).isEmpty());
        QCOMPARE(boundaries(data), (QList<double>{0, 10, 40, 50}));
        QCOMPARE(data.segments[1].description, QString("Screws"));
        verifyEditedAxis(data);
    }

    void mergeKeepsBothDescriptionsAndRefusesAtTheEnd() {
        TimelineData data = analysed();
        QVERIFY(TimelineEdit::mergeWithNext(data, 0).isEmpty());
        QCOMPARE(data.segments.size(), 2);
        QCOMPARE(data.segments[0].description, QString("Intro / Screws"));
        QCOMPARE(data.segments[0].classification, Classification::Milestone);
        QCOMPARE(data.total_edited_duration, 40.0); // all of 0–40 s now plays at 1x
        const QByteArray before = json(data);
        QVERIFY(!TimelineEdit::mergeWithNext(data, 1).isEmpty());
        QCOMPARE(json(data), before);
    }

    void speedBounds_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("total"); // negative: refused

        // Kept, but laid out as the film plays it: the render never slows a part down.
        QTest::newRow("slowest") << 0 << 0 << 0.25 << 13.0;
        QTest::newRow("below the slowest") << 0 << 0 << 0.2 << -1.0;
        QTest::newRow("between steps: the nearest") << 1 << 1 << 2.4 << 25.0;
        QTest::newRow("fastest") << 1 << 1 << 100.0 << 10.3;
        QTest::newRow("beyond the fastest") << 1 << 1 << 100.5 << -1.0;
        QTest::newRow("not a number") << 0 << 0 << std::numeric_limits<double>::quiet_NaN() << -1.0;
        QTest::newRow("a pause has no speed") << 2 << 2 << 2.0 << -1.0;
        QTest::newRow("range over a pause") << 0 << 2 << 2.0 << 20.0;
        QTest::newRow("same speed again") << 1 << 1 << 10.0 << -1.0;
    }

    void speedBounds() {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(double, speed);
        QFETCH(double, total);

        TimelineData data = analysed();
        const QString error = TimelineEdit::setSpeed(data, first, last, speed);
        if (total < 0) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(json(data), json(analysed()));
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(data.total_edited_duration, total);
        QCOMPARE(data.segments[2].speed_factor, 0.0); // the pause stays cut
        verifyEditedAxis(data);
    }

    void classChangesRecomputeEditedTimes_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<Classification>("cls");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("total"); // negative: refused

        QTest::newRow("assembly becomes a pause")
            << 1 << 1 << Classification::StaticPause << 0.0 << 10.0;
        QTest::newRow("pause becomes a milestone")
            << 2 << 2 << Classification::Milestone << 1.0 << 23.0;
        QTest::newRow("milestone becomes assembly at the given speed")
            << 0 << 0 << Classification::RepetitiveAssembly << 5.0 << 5.0;
        QTest::newRow("whole range becomes milestones")
            << 0 << 2 << Classification::Milestone << 1.0 << 50.0;
        QTest::newRow("no change") << 2 << 2 << Classification::StaticPause << 0.0 << -1.0;
        QTest::newRow("range past the end") << 1 << 3 << Classification::Milestone << 1.0 << -1.0;
        QTest::newRow("unclassified is no class")
            << 0 << 0 << Classification::Unclassified << 1.0 << -1.0;
    }

    void classChangesRecomputeEditedTimes() {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(Classification, cls);
        QFETCH(double, speed);
        QFETCH(double, total);

        TimelineData data = analysed();
        const QString error = TimelineEdit::changeClass(data, first, last, cls, 5.0);
        if (total < 0) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(json(data), json(analysed()));
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (int i = first; i <= last; ++i) {
            QCOMPARE(data.segments[i].classification, cls);
            QCOMPARE(data.segments[i].speed_factor, speed);
        }
        QCOMPARE(data.total_edited_duration, total);
        QCOMPARE(data.total_source_duration, 50.0);
        verifyEditedAxis(data);
    }

    void undoAndRedoReturnExactlyToEachState() {
        const TimelineData original = analysed();
        TimelineData current = original;
        TimelineHistory history;
        QList<QByteArray> states{json(current)};
        const auto apply = [&](const QString& name, auto edit) {
            TimelineData next = current;
            QVERIFY(edit(next).isEmpty());
            history.record(current, name);
            current = next;
            states << json(current);
        };
        const StreamFacts rate = facts(30000, 1001);
        apply("Move Boundary",
              [&](TimelineData& d) { return TimelineEdit::moveBoundary(d, 0, 7.3, rate); });
        apply("Split Segment",
              [&](TimelineData& d) { return TimelineEdit::split(d, 1, 21.7, rate); });
        apply("Change Class", [](TimelineData& d) {
            return TimelineEdit::changeClass(d, 2, 2, Classification::StaticPause, 10.0);
        });
        apply("Set Speed", [](TimelineData& d) { return TimelineEdit::setSpeed(d, 0, 1, 2.5); });
        apply("Edit Description",
              [](TimelineData& d) { return TimelineEdit::setDescription(d, 0, " Start "); });
        apply("Merge Segments", [](TimelineData& d) { return TimelineEdit::mergeWithNext(d, 0); });

        QCOMPARE(history.undoName(), QString("Merge Segments"));
        for (int i = states.size() - 2; i >= 0; --i) {
            const std::optional<TimelineData> back = history.undo(current);
            QVERIFY(back.has_value());
            current = *back;
            QCOMPARE(json(current), states[i]);
        }
        QVERIFY(!history.canUndo());
        QVERIFY(!history.undo(current).has_value());
        QCOMPARE(history.redoName(), QString("Move Boundary"));
        for (int i = 1; i < states.size(); ++i) {
            current = *history.redo(current);
            QCOMPARE(json(current), states[i]);
        }
        QVERIFY(!history.canRedo());

        // A new edit after an undo leaves nothing to redo.
        current = *history.undo(current);
        apply("Change Class", [](TimelineData& d) {
            return TimelineEdit::changeClass(d, 0, 0, Classification::Milestone, 10.0);
        });
        QVERIFY(!history.canRedo());
        QCOMPARE(history.undoName(), QString("Change Class"));
    }

    void editedFlagIsStoredOnlyWhenSet() {
        const TimelineData original = analysed();
        const QByteArray stored = QJsonDocument(original.toJson()).toJson();
        QVERIFY(!stored.contains("\"edited\""));
        QVERIFY(!original.hasHandEdits());
        // An older file reloads and writes back byte for byte.
        const TimelineData reloaded =
            TimelineData::fromJson(QJsonDocument::fromJson(stored).object());
        QCOMPARE(QJsonDocument(reloaded.toJson()).toJson(), stored);

        TimelineData edited = original;
        QVERIFY(TimelineEdit::setDescription(edited, 2, "Coffee").isEmpty());
        const QJsonObject object = edited.toJson();
        const TimelineData back = TimelineData::fromJson(object);
        QVERIFY(back.hasHandEdits());
        QCOMPARE(back.segments[2].edited, true);
        QCOMPARE(back.segments[1].edited, false);
        QCOMPARE(back.toJson(), object);
    }
};

QTEST_GUILESS_MAIN(TimelineEditTest)
#include "tst_timelineedit.moc"
