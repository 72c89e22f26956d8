#include "ui/TimelineTrackEditor.h"

#include "timeline/TimelineAxis.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineEdit.h"
#include "ui/TimelineWidget.h"

#include <QContextMenuEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// How close, in pixels, the pointer must come to a boundary to take hold of it.
constexpr double BoundaryReach = 4.0;
const QColor SelectionColor(0xFF, 0xFF, 0xFF);

int pixel(double x) {
    return std::isfinite(x) ? static_cast<int>(std::lround(std::clamp(x, -1e6, 1e6))) : 0;
}

} // namespace

TimelineTrackEditor::TimelineTrackEditor(TimelineWidget* track) : view(track) {}

void TimelineTrackEditor::select(int from, int to) {
    first = std::min(from, to);
    last = std::max(from, to);
    view->update();
}

void TimelineTrackEditor::clearSelection() {
    first = last = anchor = -1;
    dragBoundary = -1;
    view->update();
}

void TimelineTrackEditor::clampSelection(int segmentCount) {
    if (last >= segmentCount || dragBoundary + 1 >= segmentCount)
        clearSelection();
}

bool TimelineTrackEditor::onEditedAxis() const {
    return view->axis() == TimelineAxis::Edited;
}

bool TimelineTrackEditor::isShown(const Segment& segment) const {
    return !onEditedAxis() || segment.edited_end > segment.edited_start;
}

double TimelineTrackEditor::trackStart(const Segment& segment) const {
    return onEditedAxis() ? segment.edited_start : segment.source_start;
}

double TimelineTrackEditor::trackEnd(const Segment& segment) const {
    return onEditedAxis() ? segment.edited_end : segment.source_end;
}

double TimelineTrackEditor::toSource(double trackSeconds) const {
    if (!onEditedAxis())
        return trackSeconds;
    // A kept segment's span on the edited axis stands for its source span, evenly.
    const Segment* lastShown = nullptr;
    for (const Segment& s : view->timelineData().segments) {
        if (!isShown(s))
            continue;
        lastShown = &s;
        if (trackSeconds > s.edited_end)
            continue;
        const double into = std::max(0.0, trackSeconds - s.edited_start);
        return s.source_start +
               into * (s.source_end - s.source_start) / (s.edited_end - s.edited_start);
    }
    return lastShown ? lastShown->source_end : trackSeconds;
}

int TimelineTrackEditor::segmentAtX(double x) const {
    const TimelineData& data = view->timelineData();
    const double seconds = view->xToSeconds(pixel(x));
    if (!onEditedAxis())
        return TimelineEdit::segmentAt(data, seconds);
    for (int i = 0; i < data.segments.size(); ++i) {
        const Segment& s = data.segments.at(i);
        if (isShown(s) && s.edited_start <= seconds && seconds <= s.edited_end)
            return i;
    }
    return -1;
}

int TimelineTrackEditor::boundaryNear(double x) const {
    const QList<Segment>& segments = view->timelineData().segments;
    int nearest = -1;
    double best = BoundaryReach;
    for (int i = 0; i + 1 < segments.size(); ++i) {
        const Segment& before = segments.at(i);
        const Segment& after = segments.at(i + 1);
        // Only segments that meet share a boundary; a gap has two edges of its own. A pause
        // has no width on the edited axis, so its boundaries cannot be told apart there.
        if (!isShown(before) || !isShown(after) ||
            TimelineEdit::snapToFrame(before.source_end, frameFacts) !=
                TimelineEdit::snapToFrame(after.source_start, frameFacts))
            continue;
        const double distance = std::abs(view->secondsToX(trackEnd(before)) - x);
        if (distance <= best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

bool TimelineTrackEditor::mousePress(const QMouseEvent* event) {
    if (!isEnabled() || !(view->durationSeconds() > 0.0))
        return false;
    const double x = event->position().x();
    if (event->button() == Qt::LeftButton) {
        dragBoundary = boundaryNear(x);
        if (dragBoundary >= 0) {
            dragSeconds = view->timelineData().segments.at(dragBoundary).source_end;
            dragX = pixel(x);
            dragMoved = false;
            view->update();
            return true;
        }
    }
    const int index = segmentAtX(x);
    if (index < 0) {
        if (event->button() == Qt::LeftButton)
            clearSelection();
        return false;
    }
    if (event->button() == Qt::RightButton) {
        if (index < first || index > last) {
            anchor = index;
            select(index, index);
        }
        return false;
    }
    if (event->button() == Qt::LeftButton) {
        const bool extend = (event->modifiers() & Qt::ShiftModifier) && anchor >= 0;
        if (!extend)
            anchor = index;
        select(anchor, index);
    }
    return false; // the click still moves the playhead
}

bool TimelineTrackEditor::mouseMove(const QMouseEvent* event) {
    if (!isEnabled())
        return false;
    const double x = event->position().x();
    if (dragBoundary >= 0 && (event->buttons() & Qt::LeftButton)) {
        dragX = pixel(x);
        dragSeconds = TimelineEdit::snapToFrame(toSource(view->xToSeconds(dragX)), frameFacts);
        dragMoved = true;
        view->update();
        return true;
    }
    if (event->buttons() == Qt::NoButton) {
        if (boundaryNear(x) >= 0)
            view->setCursor(Qt::SplitHCursor);
        else
            view->unsetCursor();
    }
    return false;
}

bool TimelineTrackEditor::mouseRelease(const QMouseEvent* event) {
    if (dragBoundary < 0 || event->button() != Qt::LeftButton)
        return false;
    const int index = dragBoundary;
    const double seconds = dragSeconds;
    const bool moved = dragMoved;
    dragBoundary = -1;
    view->update();
    if (moved) {
        const StreamFacts facts = frameFacts;
        apply(QStringLiteral("Move Boundary"), [=](TimelineData& data) {
            return TimelineEdit::moveBoundary(data, index, seconds, facts);
        });
    }
    return true;
}

bool TimelineTrackEditor::mouseDoubleClick(const QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton)
        return false;
    const int index = segmentAtX(event->position().x());
    if (index < 0 || boundaryNear(event->position().x()) >= 0)
        return false;
    select(index, index);
    askForDescription(index);
    return true;
}

bool TimelineTrackEditor::keyPress(const QKeyEvent* event) {
    if (!isEnabled())
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_1:
        changeClass(Classification::Milestone);
        return true;
    case Qt::Key_2:
        changeClass(Classification::RepetitiveAssembly);
        return true;
    case Qt::Key_3:
        changeClass(Classification::StaticPause);
        return true;
    case Qt::Key_S:
        splitAtPlayhead();
        return true;
    case Qt::Key_M:
        mergeWithNext();
        return true;
    case Qt::Key_Escape:
        clearSelection();
        return true;
    default:
        return false;
    }
}

bool TimelineTrackEditor::contextMenu(const QContextMenuEvent* event) {
    if (!isEnabled() || view->timelineData().segments.isEmpty())
        return false;
    auto* menu = new QMenu(view);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillMenu(menu);
    menu->popup(event->globalPos());
    return true;
}

void TimelineTrackEditor::paint(QPainter& painter) const {
    const QList<Segment>& segments = view->timelineData().segments;
    painter.save();
    painter.setBrush(Qt::NoBrush);
    if (first >= 0 && last < segments.size()) {
        const int x = view->secondsToX(trackStart(segments.at(first)));
        const int xe = view->secondsToX(trackEnd(segments.at(last)));
        painter.setPen(QPen(SelectionColor, 2));
        painter.drawRect(
            QRect(QPoint(x + 1, 23), QPoint(std::max(xe, x + 2) - 1, view->height() - 4)));
    }
    if (dragBoundary >= 0) {
        painter.setPen(QPen(SelectionColor, 2, Qt::DashLine));
        painter.drawLine(dragX, 22, dragX, view->height());
    }
    painter.restore();
}

void TimelineTrackEditor::apply(const QString& commandName,
                                const std::function<QString(TimelineData&)>& edit) {
    if (!isEnabled())
        return;
    TimelineData edited = view->timelineData();
    const QString refused = edit(edited);
    if (!refused.isEmpty()) {
        if (refusedCallback)
            refusedCallback(refused);
        return;
    }
    editCallback(edited, commandName);
}

} // namespace Tessaryn
