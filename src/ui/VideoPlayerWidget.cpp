#include "ui/VideoPlayerWidget.h"

#include "app/Config.h"
#include "media/FFmpegEngine.h"
#include "media/FrameGrabJob.h"
#include "media/ProbeJob.h"
#include "timeline/TimelineMath.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace Tessaryn {

namespace {

// Slider positions are tenths of a second; a huge duration must not overflow the int.
int tenths(double seconds) {
    return static_cast<int>(std::clamp(seconds * 10.0, 0.0, static_cast<double>(INT_MAX)));
}

QPushButton* transportButton(const QString& text, int minimumWidth, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setMinimumWidth(minimumWidth);
    return button;
}

} // namespace

VideoPlayerWidget::VideoPlayerWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout();
    titleLabel = new QLabel(QStringLiteral("No Video Loaded"), this);
    // File names are outside text and never markup.
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setStyleSheet(
        QStringLiteral("font-weight: bold; color: #D4AF37; padding: 2px; font-size: 13px;"));
    externalButton = transportButton(QStringLiteral("↗ External Player"), 125, this);
    externalButton->setEnabled(false);
    header->addWidget(titleLabel, 1);
    header->addWidget(externalButton);
    layout->addLayout(header);

    frameLabel = new QLabel(this);
    frameLabel->setAlignment(Qt::AlignCenter);
    frameLabel->setStyleSheet(QStringLiteral(
        "background-color: #0A0B0E; border: 1px solid #232731; border-radius: 6px;"));
    frameLabel->setMinimumSize(480, 270);
    // The picture follows the pane's size; it must not make the pane grow with every frame.
    frameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    const QPixmap logo = Config::getAppLogoPixmap(180);
    if (!logo.isNull())
        frameLabel->setPixmap(logo);
    layout->addWidget(frameLabel, 1);

    slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, 0);
    layout->addWidget(slider);

    auto* controls = new QHBoxLayout();
    controls->setContentsMargins(4, 2, 4, 4);
    controls->setSpacing(8);
    playButton = transportButton(QStringLiteral("▶ Play"), 80, this);
    playButton->setObjectName(QStringLiteral("goldButton"));
    stepBackButton = transportButton(QStringLiteral("⏪ 1s"), 68, this);
    stepForwardButton = transportButton(QStringLiteral("1s ⏩"), 68, this);
    speedButton = transportButton(QStringLiteral("⚡ 1.0x"), 72, this);
    timeLabel = new QLabel(QStringLiteral("00:00:00 / 00:00:00"), this);
    timeLabel->setStyleSheet(QStringLiteral(
        "color: #D4AF37; font-family: 'Consolas', 'Cascadia Code', monospace; font-size: 13px; "
        "font-weight: bold; padding: 4px 8px; background-color: #14161E; border: 1px solid "
        "#282C37; border-radius: 4px;"));
    for (QPushButton* button : {playButton, stepBackButton, stepForwardButton, speedButton})
        controls->addWidget(button);
    controls->addStretch();
    controls->addWidget(timeLabel);
    layout->addLayout(controls);

    playbackTimer = new QTimer(this);
    frameGrab = new FrameGrabJob(this);
    frameGrab->finishedCallback = [this](bool success, const QString&) {
        onThumbnailProcessFinished(success);
    };
    durationProbe = new ProbeJob(QString(), this);
    // ffprobe prints nothing until it answers, so this bounds a probe that would never end.
    durationProbe->setStallTimeoutMs(FFmpegEngine::ProbeTimeoutMs);
    durationProbe->probedCallback = [this](bool success, double seconds, const QString&) {
        onDurationProbed(success, seconds);
    };

    connect(playButton, &QPushButton::clicked, this, [this] { onPlayPauseClicked(); });
    connect(stepBackButton, &QPushButton::clicked, this, [this] { onStepBackClicked(); });
    connect(stepForwardButton, &QPushButton::clicked, this, [this] { onStepForwardClicked(); });
    connect(speedButton, &QPushButton::clicked, this, [this] { onSpeedToggleClicked(); });
    connect(externalButton, &QPushButton::clicked, this, [this] { onOpenInExternalPlayer(); });
    connect(slider, &QSlider::sliderMoved, this, [this](int value) { onSliderMoved(value); });
    connect(slider, &QSlider::sliderPressed, this, [this] { sliderDragging = true; });
    connect(slider, &QSlider::sliderReleased, this, [this] {
        sliderDragging = false;
        seekSeconds(slider->value() / 10.0);
    });
    connect(slider, &QSlider::valueChanged, this,
            [this](int value) { onSliderValueChanged(value); });
    connect(playbackTimer, &QTimer::timeout, this, [this] { onPlaybackTimerTimeout(); });
}

VideoPlayerWidget::~VideoPlayerWidget() {
    stop();
    grabPending = false;
    // The ending runs must not reach a widget being taken apart.
    frameGrab->finishedCallback = nullptr;
    durationProbe->probedCallback = nullptr;
    frameGrab->cancel();
    durationProbe->cancel();
}

bool VideoPlayerWidget::isProbingDuration() const {
    return durationProbe->isRunning();
}

QProcess* VideoPlayerWidget::frameGrabProcess() const {
    return frameGrab->processHandle();
}

void VideoPlayerWidget::loadVideo(const QString& path) {
    pause();
    current = 0.0;
    setSliderValue(0);
    updateTimecodeDisplay();

    videoPath = path;
    titleLabel->setText(QFileInfo(path).fileName());
    externalButton->setEnabled(true);

    // The previous clip's answer must not size this one.
    durationProbe->cancel();
    duration = 0.0;
    settingSlider = true;
    slider->setRange(0, 0);
    settingSlider = false;
    updateTimecodeDisplay();
    durationProbe->setPath(path);
    if (!QFile::exists(FFmpegEngine::findFFprobe()) || !durationProbe->start())
        onDurationProbed(false, 0.0);
    requestFrameExtraction(0.0);
}

void VideoPlayerWidget::onDurationProbed(bool success, double seconds) {
    duration = success && seconds > 0.0 ? seconds : UnknownDuration;
    settingSlider = true;
    slider->setRange(0, tenths(duration));
    settingSlider = false;
    setSliderValue(tenths(current));
    updateTimecodeDisplay();
}

void VideoPlayerWidget::seekSeconds(double seconds) {
    if (std::isnan(seconds))
        return;
    current = std::min(std::max(seconds, 0.0), duration);
    setSliderValue(tenths(current));
    updateTimecodeDisplay();
    requestFrameExtraction(current);
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
}

void VideoPlayerWidget::play() {
    playing = true;
    playButton->setText(QStringLiteral("⏸ Pause"));
    playbackTimer->start(TickMs);
}

void VideoPlayerWidget::pause() {
    playing = false;
    playButton->setText(QStringLiteral("▶ Play"));
    playbackTimer->stop();
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
}

void VideoPlayerWidget::onSliderMoved(int value) {
    current = value / 10.0;
    updateTimecodeDisplay();
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
}

void VideoPlayerWidget::onPlaybackTimerTimeout() {
    current += 0.1 * speed;
    if (current >= duration) {
        current = duration;
        pause();
    }
    if (!sliderDragging)
        setSliderValue(tenths(current));
    updateTimecodeDisplay();
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
}

void VideoPlayerWidget::updateTimecodeDisplay() {
    timeLabel->setText(
        QStringLiteral("%1 / %2").arg(TimelineMath::formatTimecode(current, false, 30.0),
                                      TimelineMath::formatTimecode(duration, false, 30.0)));
}

void VideoPlayerWidget::onOpenInExternalPlayer() {
    if (!videoPath.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(videoPath));
}

void VideoPlayerWidget::setSliderValue(int value) {
    settingSlider = true;
    slider->setValue(value);
    settingSlider = false;
}

// A click on the groove, a key or the wheel moves the slider without a drag: that is a seek
// too, or the picture and the time would disagree with the slider.
void VideoPlayerWidget::onSliderValueChanged(int value) {
    if (settingSlider || sliderDragging || slider->isSliderDown())
        return;
    seekSeconds(value / 10.0);
}

void VideoPlayerWidget::requestFrameExtraction(double seconds) {
    if (videoPath.isEmpty() || !QFileInfo::exists(videoPath))
        return;
    if (frameGrab->isRunning()) {
        grabPending = true;
        pendingSeconds = seconds;
        return;
    }
    grabPending = false;
    startFrameGrab(videoPath, seconds);
}

bool VideoPlayerWidget::startFrameGrab(const QString& path, double seconds) {
    const QString program = FFmpegEngine::findFFmpeg();
    if (!QFileInfo::exists(program))
        return false;
    frameGrab->setRequest(path, seconds);
    return frameGrab->start();
}

void VideoPlayerWidget::onThumbnailProcessFinished(bool success) {
    const QByteArray data = frameGrab->picture();
    QImage image;
    // A grab of a clip loaded before the current one is no picture of it.
    if (success && frameGrab->clipPath() == videoPath && !data.isEmpty() &&
        image.loadFromData(data, "BMP"))
        frameLabel->setPixmap(QPixmap::fromImage(image).scaled(
            frameLabel->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    if (grabPending)
        requestFrameExtraction(pendingSeconds);
}

} // namespace Tessaryn
