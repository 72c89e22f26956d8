#include "app/Config.h"
#include "timeline/ClassificationText.h"
#include "ui/TimelineWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QToolTip>
#include <QtTest>

#include <cmath>

using namespace Tessaryn;

namespace {

const QRgb Background = qRgb(0x16, 0x18, 0x1E);
const QRgb Gold = Config::COLOR_GOLD.rgb();
const QRgb Red = Config::COLOR_PAUSE_RED.rgb();
const QRgb Green = Config::COLOR_ACCENT_GREEN.rgb();
constexpr int H = 85;

Segment seg(double start, double end, Classification cls, const QString& desc = {},
            double speed = 1.0) {
    Segment s;
    s.source_start = start;
    s.source_end = end;
    s.classification = cls;
    s.description = desc;
    s.speed_factor = speed;
    return s;
}

TimelineData timeline(double duration, const QList<Segment>& segments = {}) {
    TimelineData data;
    data.total_source_duration = duration;
    data.segments = segments;
    return data;
}

QImage render(TimelineWidget& view) {
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

// Antialiased edges blend: a pixel is judged by the reference colour it is closest to.
bool closerTo(QRgb pixel, QRgb wanted, QRgb other) {
    return distance(pixel, wanted) < distance(pixel, other);
}

// Painted over, as opposed to background at most darkened by a half-covered outline.
bool lit(QRgb pixel) {
    return distance(pixel, Background) > 60;
}

bool sameSeconds(const QList<double>& a, const QList<double>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](double x, double y) { return std::abs(x - y) < 1e-9; });
}

} // namespace

Q_DECLARE_METATYPE(QList<QPoint>)
Q_DECLARE_METATYPE(Tessaryn::Classification)
Q_DECLARE_METATYPE(QList<double>)

class TimelineWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void emptyViewShowsMessageAndIgnoresMouse() {
        TimelineWidget view;
        view.resize(600, H);
        // Segments without a source duration leave nothing to draw, click or hover.
        view.setTimelineData(timeline(0.0, {seg(0, 10, Classification::Milestone, "hidden")}));
        const QImage image = render(view);
        QCOMPARE(image.pixel(10, 60), Background);
        QVERIFY(closerTo(image.pixel(300, 20), qRgb(0x3C, 0x41, 0x4E), Background));
        QCOMPARE(image.pixel(300, 22), Background);
        QVERIFY(closerTo(image.pixel(0, 60), qRgb(0x2B, 0x2F, 0x3A), Background));
        int message = 0, gold = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 20; x < 580; ++x) {
                message +=
                    y > 24 && closerTo(image.pixel(x, y), qRgb(0x64, 0x69, 0x78), Background);
                gold += image.pixel(x, y) == Gold;
            }
        QVERIFY(message > 200);
        QCOMPARE(gold, 0);

        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        int seeks = 0;
        view.seekRequestedCallback = [&seeks](double) { ++seeks; };
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(30, 50));
        QTest::mouseMove(&view, QPoint(40, 50));
        QCOMPARE(seeks, 0);
        QCOMPARE(view.playheadSeconds(), 0.0);
        QVERIFY(!QToolTip::isVisible());
    }

    void rulerTicks_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("interval");
        QTest::addColumn<bool>("tickAtRightEdge");
        QTest::newRow("45 s") << 45.0 << 900 << 10.0 << false;
        QTest::newRow("exactly 300 s") << 300.0 << 600 << 10.0 << true;
        QTest::newRow("400 s") << 400.0 << 800 << 30.0 << false;
        QTest::newRow("900 s") << 900.0 << 900 << 60.0 << true;
    }
    void rulerTicks() {
        QFETCH(double, duration);
        QFETCH(int, width);
        QFETCH(double, interval);
        QFETCH(bool, tickAtRightEdge);
        TimelineWidget view;
        view.resize(width, H);
        view.setTimelineData(timeline(duration));
        view.setPlayheadSeconds(-100.0, 0.0); // out of sight
        const QImage image = render(view);
        // A tick at x straddles columns x - 1 and x; the frame owns the two outer columns.
        QSet<int> ticked;
        for (double t = 0; t <= duration; t += interval)
            ticked << int(t / duration * width) - 1 << int(t / duration * width);
        for (int x = 2; x < width - 2; ++x)
            QVERIFY2((image.pixel(x, 17) != Background) == ticked.contains(x),
                     qPrintable(QString("column %1").arg(x)));
        QCOMPARE(image.pixel(width - 1, 17) != image.pixel(width - 1, 60), tickAtRightEdge);
    }

    void segmentBlocks_data() {
        QTest::addColumn<Classification>("classification");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("w");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("milestone")
            << Classification::Milestone << 10.0 << 20.0 << 100 << 100 << Green;
        QTest::newRow("repetitive")
            << Classification::RepetitiveAssembly << 30.0 << 34.5 << 300 << 45 << Gold;
        QTest::newRow("pause") << Classification::StaticPause << 50.0 << 60.09 << 500 << 100 << Red;
        QTest::newRow("other case") << ClassificationText::fromText("Repetitive_Assembly") << 10.0
                                    << 20.0 << 100 << 100 << Green;
        QTest::newRow("unclassified")
            << Classification::Unclassified << 10.0 << 20.0 << 100 << 100 << Green;
        QTest::newRow("narrow is 2 px")
            << Classification::StaticPause << 40.0 << 40.01 << 400 << 2 << Red;
        QTest::newRow("reversed is 2 px")
            << Classification::Milestone << 40.0 << 30.0 << 400 << 2 << Green;
    }
    void segmentBlocks() {
        QFETCH(Classification, classification);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, x);
        QFETCH(int, w);
        QFETCH(QRgb, colour);
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(timeline(100.0, {seg(start, end, classification)}));
        view.setPlayheadSeconds(-100.0, 0.0);
        const QImage image = render(view);
        for (int column = x - 1; column <= x + w; ++column)
            QVERIFY2(lit(image.pixel(column, 50)) == (column >= x && column < x + w),
                     qPrintable(QString("column %1").arg(column)));
        // Rows 24 to H - 5 inclusive; the outline darkens the edge rows but leaves them lit.
        const int middle = x + w / 2;
        QVERIFY(lit(image.pixel(middle, 24)) && lit(image.pixel(middle, H - 5)));
        QVERIFY(!lit(image.pixel(middle, 23)) && !lit(image.pixel(middle, H - 4)));
        for (const QRgb other : {Green, Gold, Red})
            if (other != colour)
                QVERIFY(closerTo(image.pixel(x, 50), colour, other));
        if (w > 2)
            QCOMPARE(image.pixel(middle, 50), colour);
    }

    void labelOnlyAboveFiftyPixels_data() {
        QTest::addColumn<int>("blockWidth");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("labelled");
        QTest::newRow("50 px") << 50 << "WWWW" << false;
        QTest::newRow("51 px") << 51 << "WWWW" << true;
        QTest::newRow("too long is cut") << 51 << QString(40, 'W') << true;
    }
    void labelOnlyAboveFiftyPixels() {
        QFETCH(int, blockWidth);
        QFETCH(QString, description);
        QFETCH(bool, labelled);
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(
            timeline(1000.0, {seg(100, 100 + blockWidth, Classification::Milestone, description)}));
        view.setPlayheadSeconds(-100.0, 0.0);
        const QImage image = render(view);
        const int right = 100 + blockWidth;
        int ink = 0, outside = 0;
        for (int y = 26; y <= H - 8; ++y) {
            for (int x = 104; x < right - 2; ++x)
                ink += closerTo(image.pixel(x, y), qRgb(0x14, 0x14, 0x14), Green);
            for (int x = right + 2; x < right + 100; ++x)
                outside += image.pixel(x, y) != Background;
        }
        QCOMPARE(ink > 0, labelled);
        QCOMPARE(outside, 0);
    }

    void playhead_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("px"); // -1: nowhere in the view
        QTest::newRow("inside") << 25.0 << 250;
        QTest::newRow("at the end") << 100.0 << 1000;
        QTest::newRow("beyond the end, unclamped") << 150.0 << -1;
        QTest::newRow("before the start") << -20.0 << -1;
    }
    void playhead() {
        QFETCH(double, seconds);
        QFETCH(int, px);
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(timeline(100.0));
        view.setPlayheadSeconds(seconds, 0.0);
        const QImage image = render(view);
        for (int x = 0; x < 1000; ++x) {
            // A 2-pixel line covers columns px - 1 and px; at the right edge the frame,
            // drawn last, tints the remaining column.
            const bool line = x == px - 1 || x == px;
            QVERIFY2(
                closerTo(image.pixel(x, 50), line ? Gold : Background, line ? Background : Gold),
                qPrintable(QString("column %1").arg(x)));
        }
        if (px > 0) // the triangle widens the top to 6 pixels either side
            QVERIFY(closerTo(image.pixel(px - 4, 1), Gold, Background));
    }

    void durationIsSetOnceByThePlayer() {
        TimelineWidget view;
        view.resize(1000, H);
        view.setPlayheadSeconds(1.0, std::numeric_limits<double>::infinity());
        QCOMPARE(view.durationSeconds(), 0.0);
        view.setPlayheadSeconds(5.0, 10.0);
        QCOMPARE(view.secondsToX(5.0), 500);
        view.setPlayheadSeconds(5.0, 20.0); // a known duration is kept
        QCOMPARE(view.secondsToX(5.0), 500);
        view.setTimelineData(timeline(20.0));
        QCOMPARE(view.secondsToX(5.0), 250);
        view.setTimelineData(TimelineData()); // no analysis: the duration stays, ruler drawn
        QCOMPARE(view.xToSeconds(250), 5.0);
        QVERIFY(render(view).pixel(500, 17) != Background);
    }

    void absurdTimesStayBounded() {
        TimelineWidget view;
        view.resize(600, H);
        view.setTimelineData(timeline(1e300, {seg(0, 1e300, Classification::Milestone, "all")}));
        view.setPlayheadSeconds(std::nan(""), 0.0);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(render(view).pixel(300, 50), Green);
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(view.secondsToX(1e308 * 10), 1000000);
    }

    // On the edited axis blocks sit at their edited times, pauses take no room, and a click
    // asks for the edited film's time; switching back restores the source layout.
    void editedAxisLaysOutTheFilm() {
        TimelineData data = timeline(100.0, {seg(0, 40, Classification::Milestone),
                                             seg(40, 80, Classification::StaticPause),
                                             seg(80, 100, Classification::RepetitiveAssembly)});
        data.segments[0].edited_end = 40.0;
        data.segments[1].edited_start = data.segments[1].edited_end = 40.0;
        data.segments[2].edited_start = 40.0;
        data.segments[2].edited_end = 42.0;
        data.total_edited_duration = 42.0;
        TimelineWidget view;
        view.resize(1050, H);
        view.setAxis(TimelineAxis::Edited);
        view.setTimelineData(data);
        view.setPlayheadSeconds(-100.0, 0.0);
        QCOMPARE(view.durationSeconds(), 42.0);
        QImage image = render(view);
        QCOMPARE(image.pixel(500, 50), Green); // 0-40 s fill 1000 px
        QCOMPARE(image.pixel(1025, 50), Gold); // the sped part follows at once
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QList<double> seen;
        view.seekRequestedCallback = [&seen](double s) { seen << s; };
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(525, 40));
        QVERIFY(sameSeconds(seen, {21.0}));

        view.setAxis(TimelineAxis::Source);
        QCOMPARE(view.durationSeconds(), 100.0);
        image = render(view);
        QCOMPARE(image.pixel(525, 50), Red);
        view.clear();
        QCOMPARE(view.durationSeconds(), 0.0);
        QVERIFY(view.timelineData().segments.isEmpty());
    }

    void mouseSeeks_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QList<QPoint>>("path"); // press at the first point, drag through the rest
        QTest::addColumn<QList<double>>("seeks");
        QTest::newRow("click") << int(Qt::LeftButton) << QList<QPoint>{{250, 40}}
                               << QList<double>{25.0};
        QTest::newRow("right button ignored")
            << int(Qt::RightButton) << QList<QPoint>{{250, 40}, {300, 40}} << QList<double>{};
        QTest::newRow("drag left of the view")
            << int(Qt::LeftButton) << QList<QPoint>{{500, 40}, {100, 40}, {-100, 40}}
            << QList<double>{50.0, 10.0, -10.0};
        QTest::newRow("drag right of the view")
            << int(Qt::LeftButton) << QList<QPoint>{{990, 40}, {1200, 40}}
            << QList<double>{99.0, 120.0};
    }
    void mouseSeeks() {
        QFETCH(int, button);
        QFETCH(QList<QPoint>, path);
        QFETCH(QList<double>, seeks);
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(timeline(100.0));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QList<double> seen;
        view.seekRequestedCallback = [&seen](double s) { seen << s; };
        const auto mouseButton = static_cast<Qt::MouseButton>(button);
        QTest::mousePress(&view, mouseButton, {}, path.first());
        for (int i = 1; i < path.size(); ++i)
            QTest::mouseMove(&view, path.at(i));
        QTest::mouseRelease(&view, mouseButton, {}, path.last());
        QVERIFY(sameSeconds(seen, seeks));
        QVERIFY(sameSeconds({view.playheadSeconds()}, {seeks.isEmpty() ? 0.0 : seeks.last()}));
    }

    void pressRoundsHalvesAwayFromZero() {
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(timeline(100.0));
        QList<double> seen;
        view.seekRequestedCallback = [&seen](double s) { seen << s; };
        for (const double x : {250.5, 250.4, -0.5}) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 40), QPointF(x, 40),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&view, &press);
        }
        QVERIFY(sameSeconds(seen, {25.1, 25.0, -0.1}));
    }

    void hoverTooltip_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("tip"); // empty: hidden
        const QString first = "<b>Cut &lt;b&gt;panel&lt;/b&gt; &amp; trim</b><br>Time: 00:00:00 - "
                              "00:00:10 (10.0s)<br>Action: milestone (1.0x)";
        QTest::newRow("markup in the description is literal") << 50 << first;
        QTest::newRow("shared boundary shows the earlier segment") << 100 << first;
        QTest::newRow("percent signs stay")
            << 150
            << "<b>Fasten %1 bolts</b><br>Time: 00:00:10 - 00:00:25 (15.0s)<br>Action: "
               "repetitive_assembly (10.0x)";
        QTest::newRow("classification word")
            << 650
            << "<b>Idle</b><br>Time: 00:01:02 - 00:01:09 (7.5s)<br>Action: static_pause (0.0x)";
        QTest::newRow("gap hides the tip") << 400 << QString();
    }
    void hoverTooltip() {
        QFETCH(int, x);
        QFETCH(QString, tip);
        TimelineWidget view;
        view.resize(1000, H);
        view.setTimelineData(timeline(
            100.0, {seg(0, 10, Classification::Milestone, "Cut <b>panel</b> & trim"),
                    seg(10, 25, Classification::RepetitiveAssembly, "Fasten %1 bolts", 10.0),
                    seg(62.25, 69.75, Classification::StaticPause, "Idle", 0.0)}));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Start from a visible tip so that hiding is observable too.
        QTest::mouseMove(&view, QPoint(20, 50));
        QTRY_VERIFY(QToolTip::isVisible());
        QTest::mouseMove(&view, QPoint(x, 50));
        if (tip.isEmpty())
            QTRY_VERIFY(!QToolTip::isVisible());
        else
            QTRY_COMPARE(QToolTip::text(), tip);
    }
};

QTEST_MAIN(TimelineWidgetTest)
#include "tst_timelinewidget.moc"
