#include "ui/VideoPlayerWidget.h"

#include "timeline/CutTimeMap.h"
#include "timeline/RenderPlan.h"
#include "ui/AudioPlayback.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>

namespace Tessaryn {

void VideoPlayerWidget::play() {
    playing = true;
    playButton->setText(QStringLiteral("⏸ Pause"));
    startClock(speed);
    playbackTimer->start(TickMs);
}

void VideoPlayerWidget::pause() {
    const bool wasPlaying = playing;
    playing = false;
    playButton->setText(QStringLiteral("▶ Play"));
    playbackTimer->stop();
    audio->stop();
    // Frames shown while playing may lag the clock; the still must be the paused position's.
    if (wasPlaying)
        requestFrameExtraction(current);
}

void VideoPlayerWidget::stop() {
    pause();
    current = 0.0;
    setSliderValue(0);
    updateTimecodeDisplay();
}

void VideoPlayerWidget::onPlayPauseClicked() {
    if (playing)
        pause();
    else
        play();
}

void VideoPlayerWidget::onStepBackClicked() {
    seekSeconds(current - 1.0);
}

void VideoPlayerWidget::onStepForwardClicked() {
    seekSeconds(current + 1.0);
}

void VideoPlayerWidget::onSpeedToggleClicked() {
    if (speed == 1.0)
        speed = 2.0;
    else if (speed == 2.0)
        speed = 4.0;
    else
        speed = 1.0;
    speedButton->setText(QStringLiteral("⚡ %1x").arg(speed, 0, 'f', 1));
    if (playing)
        startClock(clockSpeed < 0 ? -speed : speed);
}

// Position runs on the wall clock from where playback (re)started, so slow decoding drops
// pictures instead of slowing time, and sound and picture keep together.
void VideoPlayerWidget::startClock(double signedSpeed) {
    clockSpeed = signedSpeed;
    clockStart = current;
    clock.start();
    restartSound();
}

void VideoPlayerWidget::restartSound() {
    soundPiece = -2;
    audio->stop();
    if (clockSpeed <= 0.0)
        return; // no sound backwards
    if (!audio->hasSound())
        return;
    if (!reviewing)
        audio->start(current, clockSpeed);
}

void VideoPlayerWidget::onPlaybackTimerTimeout() {
    current = clockStart + clock.elapsed() / 1000.0 * clockSpeed;
    const bool ended = clockSpeed > 0 ? current >= duration : current <= 0.0;
    current = std::clamp(current, 0.0, duration);
    if (!sliderDragging)
        setSliderValue(int(std::clamp(current * 10.0, 0.0, double(slider->maximum()))));
    updateTimecodeDisplay();
    requestFrameExtraction(current);
    if (reviewing && cutMap && audio->hasSound() && clockSpeed > 0.0) {
        // Sound follows the cut: it starts afresh where a piece begins and is left out of sped
        // pieces, whose sound the render speeds up but a preview cannot follow frame by frame.
        const CutTimeMap::Point point = cutMap->sourceAt(current);
        if (point.piece != soundPiece) {
            soundPiece = point.piece;
            audio->stop();
            if (point.step == 1)
                audio->start(point.sourceSeconds, clockSpeed);
        }
    }
    audio->pump();
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
    if (ended)
        pause();
}

void VideoPlayerWidget::setReviewSource(const QString& sourcePath, const TimelineData& timeline,
                                        const StreamFacts& facts) {
    reviewPath = sourcePath;
    cutMap = timeline.segments.isEmpty() || sourcePath.isEmpty()
                 ? nullptr
                 : std::make_unique<CutTimeMap>(RenderPlan::compute(timeline, facts));
    const bool usable = cutMap && cutMap->totalSeconds() > 0.0;
    reviewButton->setEnabled(usable);
    if (!usable && reviewing) {
        setReviewing(false);
        return;
    }
    if (reviewing) {
        // An edited cut shows at once where the review stands.
        setDuration(cutMap->totalSeconds());
        showPosition();
    }
}

void VideoPlayerWidget::setReviewing(bool on) {
    if (on && (!cutMap || cutMap->totalSeconds() <= 0.0))
        on = false;
    reviewButton->setChecked(on);
    if (on == reviewing)
        return;
    reviewing = on;
    openClip(on ? reviewPath : loadedClip);
    if (reviewModeChangedCallback)
        reviewModeChangedCallback(on);
}

double VideoPlayerWidget::frameStep() const {
    if (reviewing && cutMap)
        return cutMap->frameSeconds();
    return rate > 0.0 ? 1.0 / rate : 1.0 / 30.0;
}

// Keys of every editor: Space plays and pauses; J, K and L play backwards, pause and play
// forwards (L again goes faster); arrows step one frame, with Shift one second.
bool VideoPlayerWidget::transportKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool shift = modifiers & Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_Space:
        onPlayPauseClicked();
        return true;
    case Qt::Key_K:
        pause();
        return true;
    case Qt::Key_L:
        if (playing && clockSpeed > 0)
            onSpeedToggleClicked();
        else if (playing)
            startClock(speed);
        else
            play();
        return true;
    case Qt::Key_J:
        if (!playing)
            play();
        startClock(-speed);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        pause();
        seekSeconds(current + (key == Qt::Key_Left ? -1 : 1) * (shift ? 1.0 : frameStep()));
        return true;
    default:
        return false;
    }
}

void VideoPlayerWidget::keyPressEvent(QKeyEvent* event) {
    if (videoPath.isEmpty() || !transportKey(event->key(), event->modifiers()))
        QWidget::keyPressEvent(event);
}

} // namespace Tessaryn
