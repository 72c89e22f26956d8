#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QProcess;
class QPushButton;
class QSlider;
class QTimer;

namespace Tessaryn {

class FrameGrabJob;
class ProbeJob;

// The preview pane. It decodes nothing itself: single still frames come from an ffmpeg child
// process on load and on every seek, and playback is simulated by a timer that moves the
// position, the slider and the time display without fetching frames. Nothing here waits for a
// child: the duration arrives from an ffprobe run after the load has returned.
class VideoPlayerWidget : public QWidget {
public:
    static constexpr int TickMs = 100;
    // Assumed length of a clip whose duration cannot be probed.
    static constexpr double UnknownDuration = 60.0;

    // Empty by default; called with (seconds, duration) on every seek, drag step and tick.
    std::function<void(double seconds, double duration)> positionChangedCallback;

    explicit VideoPlayerWidget(QWidget* parent = nullptr);
    ~VideoPlayerWidget() override;

    // Shows frame 0 and starts the duration probe; until it answers the duration is 0, and a
    // clip it cannot measure counts as UnknownDuration long.
    void loadVideo(const QString& path);
    void seekSeconds(double seconds);
    void play();
    void pause();
    void stop();
    // One grab at a time; a request made while one runs replaces any earlier waiting request
    // and starts when the running grab ends, so the picture ends at the latest position.
    void requestFrameExtraction(double seconds);

    void onPlayPauseClicked();
    void onStepBackClicked();
    void onStepForwardClicked();
    void onSpeedToggleClicked();
    void onSliderMoved(int value);
    void onPlaybackTimerTimeout();
    void onThumbnailProcessFinished(bool success);
    void onDurationProbed(bool success, double seconds);
    void onOpenInExternalPlayer();
    void updateTimecodeDisplay();

    QString loadedPath() const { return videoPath; }
    double currentSeconds() const { return current; }
    double durationSeconds() const { return duration; }
    double playbackSpeed() const { return speed; }
    bool isPlaying() const { return playing; }
    bool isProbingDuration() const;
    QProcess* frameGrabProcess() const;

private:
    void setSliderValue(int value);
    void onSliderValueChanged(int value);
    bool startFrameGrab(const QString& path, double seconds);

    QLabel* frameLabel = nullptr;
    QLabel* titleLabel = nullptr;
    QSlider* slider = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* stepBackButton = nullptr;
    QPushButton* stepForwardButton = nullptr;
    QPushButton* speedButton = nullptr;
    QPushButton* externalButton = nullptr;
    QLabel* timeLabel = nullptr;
    QTimer* playbackTimer = nullptr;
    FrameGrabJob* frameGrab = nullptr;
    ProbeJob* durationProbe = nullptr;

    QString videoPath;
    double current = 0.0;
    double duration = 0.0;
    double speed = 1.0;
    bool playing = false;
    bool sliderDragging = false;
    bool settingSlider = false; // the slider moves because of the position, not the user
    bool grabPending = false;
    double pendingSeconds = 0.0;
};

} // namespace Tessaryn
