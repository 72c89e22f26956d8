#include "ui/VideoPlayerWidget.h"

#include "app/Config.h"
#include "media/FrameServer.h"
#include "timeline/CutTimeMap.h"
#include "timeline/TimelineMath.h"
#include "ui/AudioPlayback.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
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
    // Clicking the picture gives the player the keys (Space, J/K/L, arrows).
    setFocusPolicy(Qt::StrongFocus);
    buildControls();

    playbackTimer = new QTimer(this);
    playbackTimer->setTimerType(Qt::PreciseTimer);
    frameServer = new FrameServer(this);
    frameServer->openedCallback = [this](bool ok, const VideoFrameDecoder::Facts& facts,
                                         const QString& error) {
        onOpened(ok, facts.duration, facts.rate, error);
    };
    frameServer->frameCallback = [this](const QImage& image, double seconds) {
        onFrame(image, seconds);
    };
    audio = new AudioPlayback(this);

    connect(playButton, &QPushButton::clicked, this, [this] { onPlayPauseClicked(); });
    connect(stepBackButton, &QPushButton::clicked, this, [this] { onStepBackClicked(); });
    connect(stepForwardButton, &QPushButton::clicked, this, [this] { onStepForwardClicked(); });
    connect(speedButton, &QPushButton::clicked, this, [this] { onSpeedToggleClicked(); });
    connect(reviewButton, &QPushButton::clicked, this, [this](bool on) { setReviewing(on); });
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
    // Answers still on their way must not reach a widget being taken apart.
    frameServer->openedCallback = nullptr;
    frameServer->frameCallback = nullptr;
}

void VideoPlayerWidget::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout();
    titleLabel = new QLabel(QStringLiteral("No Video Loaded"), this);
    // File names are outside text and never markup.
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setStyleSheet(
        QStringLiteral("font-weight: bold; color: #D4AF37; padding: 2px; font-size: 13px;"));
    reviewButton = transportButton(QStringLiteral("Preview Cut"), 100, this);
    reviewButton->setCheckable(true);
    reviewButton->setEnabled(false);
    reviewButton->setToolTip(QStringLiteral(
        "Play the source through the reel's cut: pauses skipped, sped parts at their speed"));
    externalButton = transportButton(QStringLiteral("↗ External Player"), 125, this);
    externalButton->setEnabled(false);
    header->addWidget(titleLabel, 1);
    header->addWidget(reviewButton);
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
    for (QPushButton* button : {playButton, stepBackButton, stepForwardButton, speedButton}) {
        button->setFocusPolicy(Qt::NoFocus); // Space belongs to the player, not the button
        controls->addWidget(button);
    }
    controls->addStretch();
    controls->addWidget(timeLabel);
    layout->addLayout(controls);
}

void VideoPlayerWidget::loadVideo(const QString& path) {
    loadedClip = path;
    if (reviewing) {
        reviewing = false;
        reviewButton->setChecked(false);
        if (reviewModeChangedCallback)
            reviewModeChangedCallback(false);
    }
    openClip(path);
}

void VideoPlayerWidget::openClip(const QString& path) {
    pause();
    current = 0.0;
    setSliderValue(0);
    videoPath = path;
    const QString name = QFileInfo(path).fileName();
    titleLabel->setText(reviewing ? QStringLiteral("%1 — cut preview").arg(name) : name);
    externalButton->setEnabled(true);
    audio->close();
    rate = 0.0;
    opening = true;
    setDuration(0.0);
    frameServer->open(path);
}

void VideoPlayerWidget::onOpened(bool ok, double seconds, double frameRate, const QString& error) {
    opening = false;
    rate = ok ? frameRate : 0.0;
    audio->adopt(frameServer->takeSound());
    if (!ok && statusCallback)
        statusCallback(
            QStringLiteral("Cannot preview %1: %2").arg(QFileInfo(videoPath).fileName(), error));
    if (reviewing && cutMap)
        setDuration(cutMap->totalSeconds());
    else
        setDuration(ok && seconds > 0.0 ? seconds : UnknownDuration);
    if (ok)
        requestFrameExtraction(current);
}

void VideoPlayerWidget::setDuration(double seconds) {
    duration = seconds;
    current = std::min(current, duration);
    settingSlider = true;
    slider->setRange(0, tenths(duration));
    settingSlider = false;
    setSliderValue(tenths(current));
    updateTimecodeDisplay();
}

void VideoPlayerWidget::onFrame(const QImage& image, double frameSeconds) {
    shownFrame = image;
    shownSeconds = frameSeconds;
    const auto quality = playing ? Qt::FastTransformation : Qt::SmoothTransformation;
    frameLabel->setPixmap(QPixmap::fromImage(image).scaled(frameLabel->contentsRect().size(),
                                                           Qt::KeepAspectRatio, quality));
}

void VideoPlayerWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Decoding straight to the shown size spares a scale of every full-size picture.
    frameServer->setMaxSize(frameLabel->contentsRect().size());
}

void VideoPlayerWidget::seekSeconds(double seconds) {
    if (std::isnan(seconds))
        return;
    current = std::min(std::max(seconds, 0.0), duration);
    showPosition();
    if (playing)
        startClock(clockSpeed);
}

void VideoPlayerWidget::showPosition() {
    setSliderValue(tenths(current));
    updateTimecodeDisplay();
    requestFrameExtraction(current);
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
}

void VideoPlayerWidget::requestFrameExtraction(double seconds) {
    if (videoPath.isEmpty() || opening)
        return;
    int step = 1;
    frameServer->request(sourceSecondsAt(seconds, &step));
}

double VideoPlayerWidget::sourceSecondsAt(double seconds, int* step) const {
    if (!reviewing || !cutMap)
        return seconds;
    const CutTimeMap::Point point = cutMap->sourceAt(seconds);
    *step = point.step;
    return point.sourceSeconds;
}

void VideoPlayerWidget::updateTimecodeDisplay() {
    timeLabel->setText(
        QStringLiteral("%1 / %2").arg(TimelineMath::formatTimecode(current, false, 30.0),
                                      TimelineMath::formatTimecode(duration, false, 30.0)));
}

void VideoPlayerWidget::onOpenInExternalPlayer() {
    if (videoPath.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(videoPath)) && statusCallback)
        statusCallback(QStringLiteral("No application opened %1: set a default video player "
                                      "for this file type in the desktop's settings.")
                           .arg(QFileInfo(videoPath).fileName()));
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

// Frames follow the handle while it is held; the frame server drops what it cannot keep up
// with.
void VideoPlayerWidget::onSliderMoved(int value) {
    current = value / 10.0;
    updateTimecodeDisplay();
    requestFrameExtraction(current);
    if (positionChangedCallback)
        positionChangedCallback(current, duration);
}

} // namespace Tessaryn
