// The preview player against clips the real ffmpeg generates: the probe on load, one frame grab
// per seek with the picture it decodes, simulated playback and the transport buttons.
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "media/MediaTestSupport.h"
#include "ui/VideoPlayerWidget.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Tessaryn;

namespace {

struct Player {
    VideoPlayerWidget widget;
    int grabs = 0; // processes started, counted as start() is called
    QList<QPair<double, double>> reports;

    Player() {
        widget.resize(640, 480);
        widget.show();
        widget.positionChangedCallback = [this](double s, double d) { reports.append({s, d}); };
        QObject::connect(widget.frameGrabProcess(), &QProcess::stateChanged, &widget,
                         [this](QProcess::ProcessState state) {
                             if (state == QProcess::Starting)
                                 ++grabs;
                         });
    }
    // The duration arrives after the load has returned, from a probe of its own.
    bool waitUntilProbed() {
        return waitUntil([this] { return !widget.isProbingDuration(); });
    }
    bool load(const QString& clip) {
        widget.loadVideo(clip);
        return waitUntilProbed();
    }
    QSlider* slider() const { return widget.findChild<QSlider*>(); }
    QLabel* frame() const {
        for (QLabel* label : widget.findChildren<QLabel*>())
            if (label->minimumWidth() == 480)
                return label;
        return nullptr;
    }
    QLabel* label(const QString& prefix) const {
        for (QLabel* label : widget.findChildren<QLabel*>())
            if (label->text().startsWith(prefix))
                return label;
        return nullptr;
    }
    QPushButton* button(const QString& text) const {
        for (QPushButton* b : widget.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QString timeText() const { return label("00:")->text(); }
    bool waitIdle() {
        return waitUntil(
            [this] { return widget.frameGrabProcess()->state() == QProcess::NotRunning; });
    }
    QString grabTime() const { return widget.frameGrabProcess()->arguments().value(1); }
    // The picture shown, as the label scaled it.
    QImage shown() const {
        return frame()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The frame at that time decoded independently and scaled the same way.
    QImage expected(const QString& clip, const QString& time) const {
        QByteArray bmp;
        if (!MediaTestSupport::runTool("ffmpeg",
                                       {"-ss", time, "-i", clip, "-vframes", "1", "-f",
                                        "image2pipe", "-vcodec", "bmp", "-"},
                                       &bmp))
            return QImage();
        QImage image;
        image.loadFromData(bmp, "BMP");
        return QPixmap::fromImage(image)
            .scaled(frame()->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

class VideoPlayerWidgetTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString longClip;  // 83.27 s
    QString shortClip; // 10 s

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        longClip = dir.filePath("long clip.mp4");
        shortClip = dir.filePath("short.mp4");
        QVERIFY(MediaTestSupport::generateClip(longClip, 160, 120, 25, 83.27));
        QVERIFY(MediaTestSupport::generateClip(shortClip, 160, 120, 25, 10.0));
        QVERIFY(TestSupport::writeFile(dir.filePath("broken.mp4"), "not a video"));
    }

    void startsEmpty() {
        Player p;
        QCOMPARE(p.slider()->maximum(), 0);
        QVERIFY(p.label("No Video Loaded"));
        QVERIFY(!p.button("↗ External Player")->isEnabled());
        QCOMPARE(p.timeText(), QString("00:00:00 / 00:00:00"));
        p.widget.seekSeconds(3.0); // nothing loaded: nothing to grab
        QCOMPARE(p.grabs, 0);
    }

    void loadingProbesTheDuration_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("sliderMax");
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("grabs");
        QTest::newRow("83.27 s clip") << "long clip.mp4" << 832 << "00:00:00 / 00:01:23" << 1;
        QTest::newRow("unprobeable file") << "broken.mp4" << 600 << "00:00:00 / 00:01:00" << 1;
        QTest::newRow("missing file") << "gone.mp4" << 600 << "00:00:00 / 00:01:00" << 0;
    }

    void loadingProbesTheDuration() {
        QFETCH(QString, name);
        QFETCH(int, sliderMax);
        QFETCH(QString, time);
        QFETCH(int, grabs);
        Player p;
        p.widget.loadVideo(dir.filePath(name));
        QCOMPARE(p.grabs, grabs); // the first frame is asked for at once
        QVERIFY(p.waitUntilProbed());
        QCOMPARE(p.slider()->maximum(), sliderMax);
        QCOMPARE(p.slider()->value(), 0);
        QCOMPARE(p.timeText(), time);
        QVERIFY(p.label(name)); // the file name, shown literally
        QVERIFY(p.button("↗ External Player")->isEnabled());
        QCOMPARE(p.grabs, grabs);
        if (grabs)
            QCOMPARE(p.grabTime(), QString("0.00"));
        QVERIFY(p.reports.isEmpty()); // a load is no seek of the owner's
        QVERIFY(p.waitIdle());
    }

    void aSeekGrabsOneFrameAndShowsIt() {
        Player p;
        QVERIFY(p.load(longClip));
        QVERIFY(p.waitIdle());
        const QImage before = p.shown();
        p.reports.clear();
        p.grabs = 0;

        p.widget.seekSeconds(42.5);
        QCOMPARE(p.grabs, 1);
        QCOMPARE(p.grabTime(), QString("42.50"));
        QCOMPARE(p.widget.frameGrabProcess()->arguments().mid(2, 2), QStringList({"-i", longClip}));
        QCOMPARE(p.slider()->value(), 425);
        QCOMPARE(p.timeText(), QString("00:00:42 / 00:01:23"));
        QCOMPARE(p.reports.size(), 1);
        QCOMPARE(p.reports[0].first, 42.5);
        QCOMPARE(p.reports[0].second, p.widget.durationSeconds());
        QVERIFY(p.waitIdle());
        QTRY_COMPARE(p.shown(), p.expected(longClip, "42.50"));
        QVERIFY(p.shown() != before);
        QCOMPARE(p.grabs, 1);
    }

    // While a grab runs no second process starts; the latest request waits and runs next, so
    // the picture ends at the last position asked for.
    void seeksDuringAGrabWaitForIt() {
        Player p;
        QVERIFY(p.load(shortClip));
        QVERIFY(p.waitIdle());
        p.grabs = 0;
        int running = 0;
        int mostAtOnce = 0;
        connect(p.widget.frameGrabProcess(), &QProcess::started, &p.widget,
                [&] { mostAtOnce = std::max(mostAtOnce, ++running); });
        connect(p.widget.frameGrabProcess(), &QProcess::finished, &p.widget, [&] { --running; });

        p.widget.seekSeconds(2.0);
        p.widget.seekSeconds(5.0);
        p.widget.seekSeconds(7.25);
        QCOMPARE(p.grabs, 1);
        QCOMPARE(p.grabTime(), QString("2.00"));
        QVERIFY(waitUntil([&] { return p.grabs == 2; }));
        QCOMPARE(p.grabTime(), QString("7.25"));
        QVERIFY(p.waitIdle());
        QTest::qWait(50);
        QCOMPARE(p.grabs, 2);
        QCOMPARE(mostAtOnce, 1);
        QCOMPARE(p.shown(), p.expected(shortClip, "7.25"));
    }

    void ticksAdvanceBySpeed_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("speedPresses");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<double>("end");
        QTest::addColumn<bool>("playing");
        QTest::newRow("1x") << 3.0 << 0 << 3 << 3.3 << true;
        QTest::newRow("2x") << 3.0 << 1 << 2 << 3.4 << true;
        QTest::newRow("4x") << 3.0 << 2 << 2 << 3.8 << true;
        QTest::newRow("back to 1x") << 3.0 << 3 << 1 << 3.1 << true;
        QTest::newRow("reaches the end") << 9.95 << 0 << 1 << 10.0 << false;
        QTest::newRow("4x past the end") << 9.7 << 2 << 1 << 10.0 << false;
        QTest::newRow("started at the end") << 10.0 << 0 << 1 << 10.0 << false;
    }

    void ticksAdvanceBySpeed() {
        QFETCH(double, start);
        QFETCH(int, speedPresses);
        QFETCH(int, ticks);
        QFETCH(double, end);
        QFETCH(bool, playing);
        Player p;
        QVERIFY(p.load(shortClip));
        QCOMPARE(p.widget.durationSeconds(), 10.0);
        p.widget.seekSeconds(start);
        const QStringList speedTexts{"⚡ 1.0x", "⚡ 2.0x", "⚡ 4.0x", "⚡ 1.0x"};
        for (int i = 0; i < speedPresses; ++i)
            p.button(speedTexts[i])->click();
        QVERIFY(p.button(speedTexts[speedPresses]));
        p.button("▶ Play")->click();
        QVERIFY(p.widget.isPlaying());
        QVERIFY(p.button("⏸ Pause"));
        p.reports.clear();
        const int grabs = p.grabs;
        for (int i = 0; i < ticks; ++i)
            p.widget.onPlaybackTimerTimeout();
        QCOMPARE(qRound(p.widget.currentSeconds() * 1000), qRound(end * 1000));
        QCOMPARE(p.widget.isPlaying(), playing);
        QVERIFY(p.button(playing ? "⏸ Pause" : "▶ Play"));
        QCOMPARE(p.slider()->value(), int(p.widget.currentSeconds() * 10));
        QCOMPARE(p.reports.size(), ticks);
        QCOMPARE(p.reports.last().first, p.widget.currentSeconds());
        QCOMPARE(p.grabs, grabs); // playback fetches no frames
        QVERIFY(p.waitIdle());
    }

    void stepsClamp_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<QString>("button");
        QTest::addColumn<double>("end");
        QTest::newRow("back from 0.4") << 0.4 << "⏪ 1s" << 0.0;
        QTest::newRow("back from 5") << 5.0 << "⏪ 1s" << 4.0;
        QTest::newRow("forward from 9.5") << 9.5 << "1s ⏩" << 10.0;
        QTest::newRow("forward from 3") << 3.0 << "1s ⏩" << 4.0;
    }

    void stepsClamp() {
        QFETCH(double, start);
        QFETCH(QString, button);
        QFETCH(double, end);
        Player p;
        QVERIFY(p.load(shortClip));
        p.widget.seekSeconds(start);
        QVERIFY(p.waitIdle());
        p.grabs = 0;
        p.button(button)->click();
        QCOMPARE(p.widget.currentSeconds(), end);
        QCOMPARE(p.grabs, 1);
        QCOMPARE(p.grabTime(), QString::number(end, 'f', 2));
        QCOMPARE(p.reports.last().first, end);
        QVERIFY(p.waitIdle());
    }

    // Dragging moves the time without grabs; the release seeks once. A click on the groove is
    // a seek as well, so slider and time never disagree.
    void sliderDragAndClick() {
        Player p;
        QVERIFY(p.load(shortClip));
        QVERIFY(p.waitIdle());
        p.grabs = 0;
        QSlider* slider = p.slider();
        emit slider->sliderPressed();
        slider->setSliderDown(true);
        slider->setSliderPosition(63);
        QCOMPARE(p.widget.currentSeconds(), 6.3);
        QCOMPARE(p.timeText(), QString("00:00:06 / 00:00:10"));
        QCOMPARE(p.grabs, 0);
        slider->setSliderDown(false); // emits the release
        QCOMPARE(p.grabs, 1);
        QCOMPARE(p.grabTime(), QString("6.30"));
        QVERIFY(p.waitIdle());

        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(p.widget.currentSeconds(), 7.3);
        QCOMPARE(p.grabs, 2);
        QVERIFY(p.waitIdle());
    }

    void destroyingEndsARunningGrab() {
        auto widget = std::make_unique<VideoPlayerWidget>();
        widget->loadVideo(longClip);
        QPointer<QProcess> process = widget->frameGrabProcess();
        QVERIFY(process->state() != QProcess::NotRunning);
        widget.reset();
        QVERIFY(process.isNull());
    }
};

QTEST_MAIN(VideoPlayerWidgetTest)
#include "tst_videoplayerwidget.moc"
