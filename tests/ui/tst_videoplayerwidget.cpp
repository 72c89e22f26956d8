// The preview player against clips the real ffmpeg generates, most of them showing their own
// frame index: real decoding on load, seek, drag and playback, sound, keys and review mode.
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "media/FrameIndexClips.h"
#include "media/FrameServer.h"
#include "media/MediaTestSupport.h"
#include "timeline/TimelineMath.h"
#include "ui/AudioPlayback.h"
#include "ui/VideoPlayerWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Tessaryn;

namespace {

struct Player {
    VideoPlayerWidget widget;
    QList<QPair<double, double>> reports;
    QStringList messages;

    Player() {
        widget.resize(640, 480);
        widget.show();
        widget.positionChangedCallback = [this](double s, double d) { reports.append({s, d}); };
        widget.statusCallback = [this](const QString& m) { messages << m; };
    }
    bool load(const QString& clip) {
        widget.loadVideo(clip);
        return waitUntil([this] { return !widget.isOpening(); });
    }
    // The decoder is idle and the picture is the one of the current position.
    bool settled() {
        return waitUntil([this] { return !widget.frames().isBusy(); });
    }
    int shown() const { return FrameIndexClips::indexIn(widget.shownImage()); }
    QSlider* slider() const { return widget.findChild<QSlider*>(); }
    QPushButton* button(const QString& text) const {
        for (QPushButton* b : widget.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QString timeText() const {
        for (QLabel* label : widget.findChildren<QLabel*>())
            if (label->text().contains(" / "))
                return label->text();
        return QString();
    }
};

} // namespace

class VideoPlayerWidgetTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString longClip;  // 83.27 s
    QString indexClip; // 100 frames at 25 fps, each showing its index
    QString soundClip; // 3 s with a tone

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        longClip = dir.filePath("long take.mp4");
        QVERIFY(MediaTestSupport::generateClip(longClip, 160, 120, 25, 83.27));
        indexClip = dir.filePath("index.mp4");
        QVERIFY(FrameIndexClips::generate(indexClip, "25", 100, false));
        soundClip = dir.filePath("sound.mp4");
        QVERIFY(MediaTestSupport::generateClip(soundClip, 160, 120, 25, 3.0, true));
        QVERIFY(TestSupport::writeFile(dir.filePath("broken.mp4"), "not a video"));
    }

    void startsEmpty() {
        Player p;
        QCOMPARE(p.slider()->maximum(), 0);
        QVERIFY(p.button("↗ External Player") && !p.button("↗ External Player")->isEnabled());
        QVERIFY(!p.button("Preview Cut")->isEnabled());
        QCOMPARE(p.timeText(), QString("00:00:00 / 00:00:00"));
        QVERIFY(p.widget.shownImage().isNull());
    }

    void loadingReadsTheDuration_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<int>("sliderMax");
        QTest::addColumn<bool>("readable");
        QTest::newRow("83.27 s") << "long take.mp4" << 832 << true;
        QTest::newRow("4 s") << "index.mp4" << 40 << true;
        QTest::newRow("not a video") << "broken.mp4" << 600 << false;
    }
    void loadingReadsTheDuration() {
        QFETCH(QString, clip);
        QFETCH(int, sliderMax);
        QFETCH(bool, readable);
        Player p;
        QVERIFY(p.load(dir.filePath(clip)));
        QCOMPARE(p.slider()->maximum(), sliderMax);
        QVERIFY(p.reports.isEmpty()); // a load is no seek of the owner's
        QVERIFY(p.settled());
        QCOMPARE(p.widget.shownImage().isNull(), !readable);
        // A clip that cannot be decoded is reported, not silently shown black.
        QCOMPARE(p.messages.size(), readable ? 0 : 1);
        if (!readable)
            QVERIFY(p.messages.first().contains("broken.mp4"));
        if (clip == "index.mp4")
            QCOMPARE(p.shown(), 0);
    }

    // Seeks, steps and keys show the exact frame of the position they reach.
    void everyJumpShowsItsFrame_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<double>("from");
        QTest::addColumn<int>("frame");
        QTest::newRow("seek") << "seek 2.5" << 0.0 << 62;
        QTest::newRow("step back clamps") << "⏪ 1s" << 0.4 << 0;
        QTest::newRow("step forward clamps") << "1s ⏩" << 3.5 << 99;
        QTest::newRow("right arrow") << "Right" << 1.0 << 26;
        QTest::newRow("left arrow") << "Left" << 1.0 << 24;
        QTest::newRow("shift right") << "Shift+Right" << 1.0 << 50;
    }
    void everyJumpShowsItsFrame() {
        QFETCH(QString, action);
        QFETCH(double, from);
        QFETCH(int, frame);
        Player p;
        QVERIFY(p.load(indexClip));
        p.widget.seekSeconds(from);
        QVERIFY(p.settled());
        if (action.startsWith("seek"))
            p.widget.seekSeconds(action.mid(5).toDouble());
        else if (p.button(action))
            p.button(action)->click();
        else
            QTest::keySequence(&p.widget, QKeySequence(action));
        QVERIFY(p.settled());
        QCOMPARE(p.shown(), frame);
        QCOMPARE(p.reports.last().first, p.widget.currentSeconds());
        QCOMPARE(p.slider()->value(), int(p.widget.currentSeconds() * 10 + 1e-9));
    }

    // Pictures follow the clock while playing; the end pauses on the last frame.
    void playbackAdvancesDecodedFrames() {
        Player p;
        QVERIFY(p.load(indexClip));
        QVERIFY(p.settled());
        QList<int> seen;
        p.widget.positionChangedCallback = [&](double, double) {
            if (seen.isEmpty() || seen.last() != p.shown())
                seen << p.shown();
        };
        QTest::keyClick(&p.widget, Qt::Key_Space);
        QVERIFY(p.widget.isPlaying());
        QVERIFY(p.button("⏸ Pause"));
        QVERIFY(waitUntil([&] { return !p.widget.isPlaying(); }, 15000));
        QVERIFY(p.settled());
        QCOMPARE(p.widget.currentSeconds(), p.widget.durationSeconds());
        QCOMPARE(p.shown(), 99);
        QVERIFY2(seen.size() >= 10, qPrintable(QString::number(seen.size())));
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
        QVERIFY(p.button("▶ Play"));

        // Paused half-way, the picture is the frame of the position.
        p.widget.seekSeconds(0.0);
        p.widget.play();
        QVERIFY(waitUntil([&] { return p.widget.currentSeconds() > 1.0; }));
        QTest::keyClick(&p.widget, Qt::Key_K);
        QVERIFY(!p.widget.isPlaying());
        QVERIFY(p.settled());
        QCOMPARE(p.shown(), int(p.widget.currentSeconds() * 25 + 1e-6));
    }

    void speedButtonCycles() {
        Player p;
        for (const char* text : {"⚡ 2.0x", "⚡ 4.0x", "⚡ 1.0x"}) {
            p.button(QString("⚡ %1x").arg(p.widget.playbackSpeed(), 0, 'f', 1))->click();
            QVERIFY(p.button(text));
        }
        QCOMPARE(p.widget.playbackSpeed(), 1.0);
    }

    void soundPlaysOnlyWhereThereIsSound_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<bool>("audible");
        QTest::newRow("with a tone") << "sound.mp4" << true;
        QTest::newRow("silent") << "index.mp4" << false;
    }
    void soundPlaysOnlyWhereThereIsSound() {
        QFETCH(QString, clip);
        QFETCH(bool, audible);
        Player p;
        QVERIFY(p.load(dir.filePath(clip)));
        p.widget.play();
        QVERIFY(waitUntil([&] { return p.widget.currentSeconds() > 0.8; }));
        // Sound is handed out at the clock's pace: about as many samples as seconds played.
        QTRY_COMPARE(p.widget.sound().samplesPlayed() > 0, audible);
        if (audible)
            QVERIFY(p.widget.sound().samplesPlayed() <= 48000 * (p.widget.currentSeconds() + 0.5));
        p.widget.pause();
        QVERIFY(!p.widget.sound().isRunning());
    }

    // A drag asks for a frame at every step; one decode runs at a time and the release shows
    // the position let go at.
    void scrubbingFollowsTheHandle() {
        Player p;
        QVERIFY(p.load(indexClip));
        QVERIFY(p.settled());
        QSlider* slider = p.slider();
        const int before = p.widget.frames().decodesStarted();
        emit slider->sliderPressed();
        slider->setSliderDown(true);
        for (int value = 0; value <= 36; ++value)
            slider->setSliderPosition(value);
        QCOMPARE(p.widget.currentSeconds(), 3.6);
        QCOMPARE(p.timeText(), QString("00:00:03 / 00:00:04"));
        QVERIFY(p.widget.frames().decodesStarted() > before); // frames during the drag
        slider->setSliderDown(false);
        QVERIFY(p.settled());
        QCOMPARE(p.widget.frames().mostInFlight(), 1);
        QCOMPARE(p.shown(), 90);
    }

    // The cut plays from the source by its plan: the pause is skipped, the sped part shows
    // every tenth frame.
    void reviewPlaysThePlan() {
        TimelineData timeline;
        timeline.segments = {{0.0, 1.0, "build", Classification::Milestone, 1.0, 0, 0},
                             {1.0, 2.0, "wait", Classification::StaticPause, 1.0, 0, 0},
                             {2.0, 4.0, "sand", Classification::RepetitiveAssembly, 10.0, 0, 0}};
        StreamFacts facts;
        facts.rateNum = 25;
        facts.rateDen = 1;
        facts.duration = 4.0;
        Player p;
        QVERIFY(p.load(indexClip));
        QList<bool> modes;
        p.widget.reviewModeChangedCallback = [&](bool on) { modes << on; };
        p.widget.setReviewSource(indexClip, timeline, facts);
        p.button("Preview Cut")->click();
        QVERIFY(p.widget.isReviewing());
        QVERIFY(waitUntil([&] { return !p.widget.isOpening(); }));
        QCOMPARE(p.widget.durationSeconds(), 1.2); // 25 frames, then 50 at a step of 10
        const QList<QPair<double, int>> points{{0.5, 12}, {1.0, 50}, {1.04, 60}, {1.19, 90}};
        for (const auto& [edited, frame] : points) {
            p.widget.seekSeconds(edited);
            QVERIFY(p.settled());
            QCOMPARE(p.shown(), frame);
        }
        p.widget.seekSeconds(0.0);
        p.widget.play();
        QVERIFY(waitUntil([&] { return !p.widget.isPlaying(); }, 10000));
        QVERIFY(p.settled());
        QCOMPARE(p.shown(), 90);

        p.widget.loadVideo(soundClip); // another clip ends the review
        QVERIFY(!p.widget.isReviewing());
        QCOMPARE(modes, QList<bool>({true, false}));
    }

    void destroyingWhileDecodingIsSafe() {
        auto widget = std::make_unique<VideoPlayerWidget>();
        widget->loadVideo(longClip);
        widget->seekSeconds(40.0);
        widget.reset();
        QTest::qWait(50); // answers still queued must find nothing to call
    }
};

QTEST_MAIN(VideoPlayerWidgetTest)
#include "tst_videoplayerwidget.moc"
