#include "ui/TimelineWidget.h"

#include "app/Config.h"
#include "timeline/ClassificationText.h"
#include "timeline/TimelineMath.h"
#include "ui/TimelineTrackEditor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

const QColor BackgroundColor(0x16, 0x18, 0x1E);
const QColor BaselineColor(0x3C, 0x41, 0x4E);
const QColor EmptyTextColor(0x64, 0x69, 0x78);
const QColor TickColor(0x8C, 0x91, 0xA0);
const QColor LabelColor(0x14, 0x14, 0x14);
const QColor OutlineColor(0x12, 0x13, 0x16, 180);
const QColor FrameColor(0x2B, 0x2F, 0x3A);

// Far beyond any screen, yet small enough that the int conversion and the painter's fixed-point
// coordinates stay defined for absurd or non-finite times.
constexpr double MaxPixel = 1e6;
// A corrupt duration must not stall painting with millions of ticks.
constexpr double MaxTicks = 10000;

int truncatedPixel(double x) {
    if (std::isnan(x))
        return 0;
    return static_cast<int>(std::clamp(x, -MaxPixel, MaxPixel));
}

// Halves away from zero, as std::lround does (qRound sends -0.5 to 0).
int roundedPixel(double x) {
    if (std::isnan(x))
        return 0;
    return static_cast<int>(std::lround(std::clamp(x, -MaxPixel, MaxPixel)));
}

QColor blockColor(Classification classification) {
    if (classification == Classification::RepetitiveAssembly)
        return Config::COLOR_GOLD;
    if (classification == Classification::StaticPause)
        return Config::COLOR_PAUSE_RED;
    return Config::COLOR_ACCENT_GREEN;
}

QFont segoeFont(int pointSize, int weight) {
    QFont font(QStringLiteral("Segoe UI"), pointSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// One decimal as a rule; a typed 0.25 must not read as 0.3.
QString speedText(double speed) {
    const double tenths = speed * 10.0;
    return QString::number(speed, 'f', tenths == std::round(tenths) ? 1 : 2);
}

QString timecode(double seconds) {
    return TimelineMath::formatTimecode(seconds, false, 30.0);
}

} // namespace

TimelineWidget::TimelineWidget(QWidget* parent)
    : QWidget(parent), editor(std::make_unique<TimelineTrackEditor>(this)) {
    setMinimumHeight(85);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus); // the editing keys reach the track once it is clicked
}

TimelineWidget::~TimelineWidget() = default;

bool TimelineWidget::isUsableDuration(double seconds) {
    return seconds > 0.0 && std::isfinite(seconds);
}

void TimelineWidget::setTimelineData(const TimelineData& data) {
    timeline = data;
    editor->clampSelection(int(data.segments.size()));
    if (isUsableDuration(axisDuration()))
        duration = axisDuration();
    update();
}

void TimelineWidget::clear() {
    timeline = TimelineData();
    editor->clearSelection();
    duration = 0.0;
    playhead = 0.0;
    update();
}

void TimelineWidget::setAxis(TimelineAxis axis) {
    if (axis == shownAxis)
        return;
    shownAxis = axis;
    // The other axis' length would place every block and the playhead wrongly.
    duration = isUsableDuration(axisDuration()) ? axisDuration() : 0.0;
    update();
}

double TimelineWidget::axisDuration() const {
    return shownAxis == TimelineAxis::Edited ? timeline.total_edited_duration
                                             : timeline.total_source_duration;
}

double TimelineWidget::startOf(const Segment& segment) const {
    return shownAxis == TimelineAxis::Edited ? segment.edited_start : segment.source_start;
}

double TimelineWidget::endOf(const Segment& segment) const {
    return shownAxis == TimelineAxis::Edited ? segment.edited_end : segment.source_end;
}

void TimelineWidget::setPlayheadSeconds(double seconds, double totalSeconds) {
    playhead = seconds;
    if (isUsableDuration(totalSeconds) && !(duration > 0.0))
        duration = totalSeconds;
    update();
}

double TimelineWidget::xToSeconds(int x) const {
    if (!(duration > 0.0) || width() <= 0)
        return 0.0;
    return static_cast<double>(x) / width() * duration;
}

int TimelineWidget::secondsToX(double seconds) const {
    if (!(duration > 0.0))
        return 0;
    return truncatedPixel(width() * (seconds / duration));
}

void TimelineWidget::seekTo(double x) {
    const double seconds = xToSeconds(roundedPixel(x));
    playhead = seconds;
    update();
    if (seekRequestedCallback)
        seekRequestedCallback(seconds);
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
    if (editor->mousePress(event))
        return;
    if (event->button() == Qt::LeftButton && duration > 0.0)
        seekTo(event->position().x());
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
    if (editor->mouseMove(event))
        return;
    if (!(duration > 0.0))
        return;
    if (event->buttons() & Qt::LeftButton)
        seekTo(event->position().x());
    else if (event->buttons() == Qt::NoButton)
        showSegmentTip(event);
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!editor->mouseRelease(event))
        QWidget::mouseReleaseEvent(event);
}

void TimelineWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!editor->mouseDoubleClick(event))
        mousePressEvent(event);
}

void TimelineWidget::keyPressEvent(QKeyEvent* event) {
    if (!editor->keyPress(event) && !(unusedKeyCallback && unusedKeyCallback(event)))
        QWidget::keyPressEvent(event);
}

void TimelineWidget::contextMenuEvent(QContextMenuEvent* event) {
    if (!editor->contextMenu(event))
        QWidget::contextMenuEvent(event);
}

void TimelineWidget::showSegmentTip(const QMouseEvent* event) {
    const double seconds = xToSeconds(roundedPixel(event->position().x()));
    const QPoint globalPos = event->globalPosition().toPoint();
    for (const Segment& s : timeline.segments) {
        if (startOf(s) <= seconds && seconds <= endOf(s) && endOf(s) > startOf(s)) {
            // Description and classification come from the model: shown literally, never as
            // markup. One multi-argument pass keeps a "%1" inside them from being expanded.
            const QString text =
                QStringLiteral("<b>%1</b><br>Time: %2 - %3 (%4s)<br>Action: %5 (%6x)")
                    .arg(s.description.toHtmlEscaped(), timecode(s.source_start),
                         timecode(s.source_end),
                         QString::number(s.source_end - s.source_start, 'f', 1),
                         ClassificationText::toText(s.classification).toHtmlEscaped(),
                         speedText(s.speed_factor));
            QToolTip::showText(globalPos, text, this);
            return;
        }
    }
    QToolTip::showText(globalPos, QString(), this);
}

void TimelineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    const auto xOf = [this, w](double t) { return truncatedPixel(t / duration * w); };

    painter.fillRect(rect(), BackgroundColor);
    painter.setPen(BaselineColor);
    painter.drawLine(0, 20, w, 20);

    if (!(duration > 0.0)) {
        painter.setPen(EmptyTextColor);
        painter.setFont(segoeFont(10, 600));
        painter.drawText(rect(), Qt::AlignCenter,
                         QStringLiteral("No Timeline Segments (Load reel and analyze to display "
                                        "track)"));
    } else {
        double interval = duration <= 300.0 ? 10.0 : (duration <= 600.0 ? 30.0 : 60.0);
        while (duration / interval > MaxTicks)
            interval *= 10.0;
        painter.setFont(segoeFont(8, 400));
        painter.setPen(TickColor);
        for (int i = 0; i * interval <= duration; ++i) {
            const double t = i * interval;
            const int x = xOf(t);
            painter.drawLine(x, 14, x, 20);
            painter.drawText(QPoint(x + 2, 12), timecode(t));
        }

        for (const Segment& s : timeline.segments) {
            if (shownAxis == TimelineAxis::Edited && !(endOf(s) > startOf(s)))
                continue; // cut out of the film
            const int x = xOf(startOf(s));
            const int blockWidth = xOf(endOf(s)) - x;
            const QRect block(QPoint(x, 24), QPoint(x + std::max(blockWidth, 2) - 1, h - 5));
            painter.setBrush(blockColor(s.classification));
            painter.setPen(OutlineColor);
            painter.drawRect(block);
            if (blockWidth > 50) {
                painter.setPen(LabelColor);
                painter.setFont(segoeFont(8, 700));
                // A cut-off word reads as a different one; the full text is in the tooltip.
                const QRect text = block.adjusted(4, 2, -2, -2);
                painter.drawText(
                    text, Qt::AlignLeft | Qt::AlignVCenter,
                    painter.fontMetrics().elidedText(s.description, Qt::ElideRight, text.width()));
            }
        }

        editor->paint(painter);

        const int px = xOf(playhead);
        painter.setPen(QPen(Config::COLOR_GOLD, 2));
        painter.drawLine(px, 0, px, h);
        painter.setBrush(Config::COLOR_GOLD);
        const QPoint triangle[] = {QPoint(px - 6, 0), QPoint(px + 6, 0), QPoint(px, 8)};
        painter.drawPolygon(triangle, 3);
    }

    painter.setBrush(Qt::NoBrush);
    painter.setPen(FrameColor);
    painter.drawRect(QRect(QPoint(0, 0), QPoint(w - 2, h - 2)));
}

} // namespace Tessaryn
