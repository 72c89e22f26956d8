#pragma once

#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace Tessaryn {

class AudioPlayback;
class CutTimeMap;
class FrameServer;

// The preview pane: plays the loaded clip with picture and sound from decoders that stay open,
// follows the slider live while it is dragged, and in review mode ("Preview Cut") plays the
// source through a reel's render plan, so a cut can be judged before it is rendered. Nothing
// here waits for a decoder: pictures arrive from the frame server's thread.
class VideoPlayerWidget : public QWidget {
public:
    static constexpr int TickMs = 20;
    // Assumed length of a clip whose duration cannot be read.
    static constexpr double UnknownDuration = 60.0;

    // Empty by default; called with (seconds, duration) on every seek, drag step and tick. In
    // review mode the seconds are the edited film's.
    std::function<void(double seconds, double duration)> positionChangedCallback;
    // Review mode switched on or off, by the button or because another clip was loaded.
    std::function<void(bool reviewing)> reviewModeChangedCallback;
    // Problems the user should read: a clip that cannot be decoded, no external player.
    std::function<void(const QString& message)> statusCallback;

    explicit VideoPlayerWidget(QWidget* parent = nullptr);
    ~VideoPlayerWidget() override;

    // Shows the first frame once the clip is open; leaves review mode.
    void loadVideo(const QString& path);
    // The reel whose cut "Preview Cut" reviews; an empty timeline disables the button.
    void setReviewSource(const QString& sourcePath, const TimelineData& timeline,
                         const StreamFacts& facts);
    void setReviewing(bool on);
    void seekSeconds(double seconds);
    void play();
    void pause();
    void stop();
    // Asks the frame server for the picture at the clip's (source) time.
    void requestFrameExtraction(double seconds);

    void onPlayPauseClicked();
    void onStepBackClicked();
    void onStepForwardClicked();
    void onSpeedToggleClicked();
    void onSliderMoved(int value);
    void onPlaybackTimerTimeout();
    void onOpenInExternalPlayer();
    void updateTimecodeDisplay();
    // The transport keys, also for panels that pass on what they do not use; false when the
    // key is not one of them.
    bool transportKey(int key, Qt::KeyboardModifiers modifiers);

    QString loadedPath() const { return videoPath; }
    double currentSeconds() const { return current; }
    double durationSeconds() const { return duration; }
    double playbackSpeed() const { return speed; }
    bool isPlaying() const { return playing; }
    bool isReviewing() const { return reviewing; }
    bool isOpening() const { return opening; }
    // The picture last shown and the source time of its frame; null before the first.
    const QImage& shownImage() const { return shownFrame; }
    double shownFrameSeconds() const { return shownSeconds; }
    const FrameServer& frames() const { return *frameServer; }
    const AudioPlayback& sound() const { return *audio; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void openClip(const QString& path);
    void onOpened(bool ok, double seconds, double frameRate, const QString& error);
    void onFrame(const QImage& image, double frameSeconds);
    void setDuration(double seconds);
    void setSliderValue(int value);
    void onSliderValueChanged(int value);
    void startClock(double signedSpeed);
    void restartSound();
    void showPosition();
    double sourceSecondsAt(double seconds, int* step) const;
    double frameStep() const;

    QLabel* frameLabel = nullptr;
    QLabel* titleLabel = nullptr;
    QSlider* slider = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* stepBackButton = nullptr;
    QPushButton* stepForwardButton = nullptr;
    QPushButton* speedButton = nullptr;
    QPushButton* reviewButton = nullptr;
    QPushButton* externalButton = nullptr;
    QLabel* timeLabel = nullptr;
    QTimer* playbackTimer = nullptr;
    FrameServer* frameServer = nullptr;
    AudioPlayback* audio = nullptr;

    QString videoPath;  // the clip being decoded
    QString loadedClip; // what loadVideo was given: the player returns to it after review
    QString reviewPath;
    std::unique_ptr<CutTimeMap> cutMap;

    double current = 0.0;
    double duration = 0.0;
    double speed = 1.0;
    double clockSpeed = 1.0; // signed: J plays backwards
    double clockStart = 0.0;
    double rate = 0.0; // frames per second of the open clip; 0 until known
    QElapsedTimer clock;
    int soundPiece = -2; // the plan piece the sound was started for in review mode
    bool playing = false;
    bool reviewing = false;
    bool opening = false;
    bool sliderDragging = false;
    bool settingSlider = false; // the slider moves because of the position, not the user
    QImage shownFrame;
    double shownSeconds = -1.0;
};

} // namespace Tessaryn
